// The animated GIF viewer, the image display control and the full view
// window as widgets, off-screen.
#include "GifOracle.h"
#include "PixelUtil.h"
#include "app/fFullview.h"
#include "viewers/ImageAceX.h"
#include "viewers/ucGIFViewer.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

using oracle::FramePlan;
using oracle::GifPlan;

namespace {

constexpr uint32_t kWhite = 0x00FFFFFF;
constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;

FramePlan Solid(int w, int h, uint8_t index, int delay = 0) {
    FramePlan f;
    f.width = w, f.height = h, f.delay = delay;
    f.indices.assign(std::size_t(w * h), index);
    return f;
}

StdPicture Picture(int w, int h, uint32_t colour = kRed) {
    auto p = std::make_shared<cDIB>();
    p->Create(w, h, 32);
    p->Cls(((colour >> 16) & 0xFF) | (colour & 0xFF00) | ((colour & 0xFF) << 16));
    return p;
}

} // namespace

class ViewersTest : public QObject {
    Q_OBJECT
  private slots:
    void singleFrameWithAutoPlayDoesNotPlay();
    void threeFramesStepByHand();
    void fitRectangles();
    void backColorRestartsFromFrameOne();
    void failedLoadKeepsThePicture();
    void destroyEmptiesTheControl();
    void imageControlLayout_data();
    void imageControlLayout();
    void imageControlScrollsAndInsets();
    void imageControlFitMode();
    void thinGifShowsARow_data();
    void thinGifShowsARow();
    void thinPictureFitShowsARow_data() { thinGifShowsARow_data(); }
    void thinPictureFitShowsARow();
    void fullViewClosesOnEscAndDoubleClick();

  private:
    std::string Write(const GifPlan& plan, const char* name) {
        const std::string path = dir_.filePath(name).toStdString();
        const std::vector<uint8_t> bytes = oracle::Encode(plan);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }
    std::string Animation(int frames, int w = 4, int h = 4, int delay = 7) {
        GifPlan s;
        s.width = w, s.height = h;
        s.global = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {0, 0, 0}};
        for (int i = 0; i < frames; ++i)
            s.frames.push_back(Solid(w, h, uint8_t(i % 3), delay));
        return Write(s,
                     ("anim" + std::to_string(frames) + "-" + std::to_string(w) + ".gif").c_str());
    }
    QTemporaryDir dir_;
};

void ViewersTest::singleFrameWithAutoPlayDoesNotPlay() {
    ucGIFViewer v;
    v.resize(50, 50);
    v.SetAutoPlay(true);
    QSignalSpy rendered(&v, &ucGIFViewer::GIFFrameRendered);
    QVERIFY(v.LoadFromFile(Animation(1)));
    QCOMPARE(v.GIFFrames(), int16_t(1));
    QVERIFY(!v.GIFIsPlaying());
    QCOMPARE(v.GIFCurrentFrame(), int16_t(1));
    QCOMPARE(rendered.count(), 1);
    QCOMPARE(Pixel32(v.DisplayBuffer(), 0, 0), kRed);
    v.Play();
    QVERIFY(!v.GIFIsPlaying());
}

void ViewersTest::threeFramesStepByHand() {
    ucGIFViewer v;
    v.resize(50, 50);
    QSignalSpy rendered(&v, &ucGIFViewer::GIFFrameRendered);
    QVERIFY(v.LoadFromFile(Animation(3)));
    QCOMPARE(Pixel32(v.DisplayBuffer(), 1, 1), kRed);
    QCOMPARE(v.GIFCurrentFrame(), int16_t(2));
    QCOMPARE(v.TimerInterval(), 70);
    v.NextFrame();
    QCOMPARE(Pixel32(v.DisplayBuffer(), 1, 1), kGreen);
    QCOMPARE(v.GIFCurrentFrame(), int16_t(3));
    QCOMPARE(rendered.count(), 2);
    QCOMPARE(rendered.at(1).at(0).value<int16_t>(), int16_t(2));
    v.Play();
    QVERIFY(v.GIFIsPlaying());
    v.NextFrame(); // does nothing while playing
    QCOMPARE(rendered.count(), 2);
    QTRY_COMPARE(Pixel32(v.DisplayBuffer(), 1, 1), kBlue);
    v.Pause();
    QVERIFY(!v.GIFIsPlaying());
    v.Rewind();
    QCOMPARE(v.GIFCurrentFrame(), int16_t(1));

    // AutoPlay: the timer starts with a 1 ms tick for frame 1.
    ucGIFViewer autoPlay;
    autoPlay.SetAutoPlay(true);
    QVERIFY(autoPlay.LoadFromFile(Animation(3)));
    QVERIFY(autoPlay.GIFIsPlaying());
    QCOMPARE(autoPlay.TimerInterval(), 1);
}

void ViewersTest::fitRectangles() {
    ucGIFViewer v;
    v.resize(200, 200);
    v.show();
    QVERIFY(v.LoadFromFile(Animation(1, 400, 300)));
    QCOMPARE(v.FitRect(), QRect(0, 25, 200, 150));
    QVERIFY(v.LoadFromFile(Animation(1, 100, 50)));
    QCOMPARE(v.FitRect(), QRect(50, 75, 100, 50));
    v.resize(60, 60); // a resize fits again
    QCOMPARE(v.FitRect(), QRect(0, 15, 60, 30));
}

void ViewersTest::backColorRestartsFromFrameOne() {
    GifPlan s;
    s.width = 4, s.height = 4;
    s.global = {{255, 0, 0}, {0, 255, 0}};
    s.frames = {Solid(2, 2, 0), Solid(2, 2, 1)};
    ucGIFViewer v;
    v.SetBackColor(kWhite);
    QVERIFY(v.LoadFromFile(Write(s, "small.gif")));
    v.NextFrame();
    QCOMPARE(v.GIFCurrentFrame(), int16_t(1));
    QCOMPARE(Pixel32(v.DisplayBuffer(), 3, 3), kWhite);
    v.SetBackColor(0x00FF0000); // blue as a colour value
    QCOMPARE(v.GIFCurrentFrame(), int16_t(2));
    QCOMPARE(Pixel32(v.DisplayBuffer(), 0, 0), kRed);
    QCOMPARE(Pixel32(v.DisplayBuffer(), 3, 3), kBlue);
    QVERIFY(!v.GIFIsPlaying());
}

void ViewersTest::failedLoadKeepsThePicture() {
    ucGIFViewer v;
    QVERIFY(v.LoadFromFile(Animation(2)));
    const std::string text = dir_.filePath("not.gif").toStdString();
    std::ofstream(text) << "GIF but not really";
    QVERIFY(!v.LoadFromFile(text));
    QVERIFY(!v.GIFLoaded());
    QCOMPARE(v.GIFFrames(), int16_t(0));
    QCOMPARE(Pixel32(v.DisplayBuffer(), 0, 0), kRed);    // the last picture stays
    v.NextFrame();                                       // nothing loaded: nothing happens
    QVERIFY(!v.LoadFromFile(dir_.path().toStdString())); // a folder
    QVERIFY(!v.LoadFromResource(QStringLiteral("missing"), QStringLiteral("GIF")));

    // A screen too large to draw: not loaded, no buffers of that size.
    GifPlan huge;
    huge.width = huge.height = 65535;
    huge.global = {{0, 0, 0}, {1, 1, 1}};
    huge.frames = {Solid(1, 1, 1)};
    QVERIFY(!v.LoadFromFile(Write(huge, "huge.gif")));
    QVERIFY(!v.GIFLoaded());
    QVERIFY(v.HeldBytes() < 1000);
}

void ViewersTest::destroyEmptiesTheControl() {
    ucGIFViewer v;
    v.SetAutoPlay(true);
    QVERIFY(v.LoadFromFile(Animation(3)));
    v.Destroy();
    QVERIFY(!v.GIFLoaded());
    QVERIFY(!v.GIFIsPlaying());
    QVERIFY(v.FitRect().isEmpty());
    QVERIFY(!v.GIFCurrentFrameImage());
}

void ViewersTest::imageControlLayout_data() {
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<bool>("hBar");
    QTest::addColumn<bool>("vBar");
    QTest::addColumn<int>("hMax");
    QTest::addColumn<int>("vMax");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<bool>("corner");
    // Viewport 300 x 200 inside a 304 x 204 control with a border.
    QTest::newRow("fits") << QSize(200, 100) << false << false << -100 << -100 << QPoint(50, 50)
                          << false;
    QTest::newRow("wide") << QSize(500, 150) << true << false << 200 << -35 << QPoint(0, 0) << true;
    QTest::newRow("both") << QSize(500, 400) << true << true << 215 << 215 << QPoint(0, 0) << true;
    QTest::newRow("tall") << QSize(290, 400) << false << true << 5 << 200 << QPoint(0, 0) << true;
}

void ViewersTest::imageControlLayout() {
    QFETCH(QSize, picture);
    ImageAceX c;
    c.SetBorderStyle(ImageAceX::BorderSunken);
    c.resize(304, 204);
    c.SetPicture(Picture(picture.width(), picture.height()));
    c.SetDisplaymode(ImageAceX::DisplayActualSize); // shows the new picture
    QCOMPARE(c.picScl->geometry(), QRect(2, 2, 300, 200));
    QTEST(!c.hSB->isHidden(), "hBar");
    QTEST(!c.vSB->isHidden(), "vBar");
    QTEST(int(c.HMax()), "hMax");
    QTEST(int(c.VMax()), "vMax");
    QTEST(c.picDst->pos(), "at");
    QTEST(!c.cmdCorner->isHidden(), "corner");
    QCOMPARE(c.cmdCorner->geometry(), QRect(285, 185, 15, 15));
    QCOMPARE(c.hSB->pageStep(), 150);
}

void ViewersTest::imageControlScrollsAndInsets() {
    ImageAceX c;
    c.resize(304, 204);
    c.show();
    c.SetPicture(Picture(500, 400));
    QCOMPARE(c.Shown(), StdPicture()); // shown from the next resize on
    c.resize(304, 205);
    QCOMPARE(c.Shown(), c.Picture());
    QCOMPARE(c.picScl->geometry(), QRect(0, 0, 304, 205)); // border 0: no inset
    c.hSB->setValue(120);
    QCOMPARE(c.picDst->x(), -120);
    c.vSB->setValue(30);
    QCOMPARE(c.picDst->pos(), QPoint(-120, -30));
    c.SetBorderStyle(9); // no edge, but the inset
    c.SetDisplaymode(ImageAceX::DisplayActualSize);
    QCOMPARE(c.picScl->geometry(), QRect(2, 2, 300, 201));
    // A picture wider than 32767 pixels: its right edge can be scrolled to.
    c.SetPicture(Picture(40000, 1));
    c.SetDisplaymode(ImageAceX::DisplayActualSize);
    QCOMPARE(c.HMax(), 40000 - 300 + 15 - 15);
    c.hSB->setValue(c.hSB->maximum());
    QCOMPARE(c.picDst->x() + 40000, c.picScl->width());
    // A bar handed the focus gives it to the picture.
    c.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&c));
    c.hSB->setFocus();
    QTRY_VERIFY(c.picDst->hasFocus());
}

void ViewersTest::imageControlFitMode() {
    ImageAceX c;
    c.resize(404, 304);
    c.show();
    c.SetBackColor(kWhite);
    c.SetPicture(Picture(1000, 500));
    c.SetDisplaymode(ImageAceX::DisplayFit);
    QCOMPARE(c.picScl->geometry(), QRect(2, 2, 400, 300));
    QCOMPARE(c.FittedRect(), QRect(1, 50, 398, 199));
    QVERIFY(c.picDst->isHidden());
    QVERIFY(c.hSB->x() < -10000);
    QCOMPARE(c.ViewportImage().pixel(200, 150) & 0xFFFFFF, kRed);
    QCOMPARE(c.ViewportImage().pixel(200, 20) & 0xFFFFFF, kWhite);
    c.SetPicture(Picture(100, 50));
    c.resize(404, 304);
    c.SetDisplaymode(ImageAceX::DisplayFit);
    QCOMPARE(c.FittedRect(), QRect(150, 125, 100, 50));
    // Back to actual size: the bars and the picture return.
    c.SetDisplaymode(ImageAceX::DisplayActualSize);
    QVERIFY(!c.picDst->isHidden());
    QCOMPARE(c.picDst->pos(), QPoint(152, 127));
    c.SetDisplaymode(7); // any other mode: nothing changes
    QCOMPARE(c.picDst->pos(), QPoint(152, 127));
}

void ViewersTest::thinGifShowsARow_data() {
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<QRect>("gifFit");   // in a 128 x 128 viewer: offsets halved down
    QTest::addColumn<QRect>("imageFit"); // in the control's 128 x 128 viewport, inset by 2
    QTest::newRow("10000 x 1") << 10000 << 1 << QRect(0, 63, 128, 1) << QRect(1, 64, 126, 1);
    QTest::newRow("1 x 10000") << 1 << 10000 << QRect(63, 0, 1, 128) << QRect(64, 1, 1, 126);
    QTest::newRow("5000 x 3") << 5000 << 3 << QRect(0, 63, 128, 1) << QRect(1, 64, 126, 1);
    QTest::newRow("3 x 5000") << 3 << 5000 << QRect(63, 0, 1, 128) << QRect(64, 1, 1, 126);
}

// A picture far thinner than its box shrinks to a row (or a column) of its
// own colour in the animated viewer and in the image display control's fit.
void ViewersTest::thinGifShowsARow() {
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(QRect, gifFit);
    ucGIFViewer v;
    v.SetBackColor(kWhite);
    v.resize(128, 128);
    v.show();
    QVERIFY(v.LoadFromFile(Animation(1, w, h)));
    QCOMPARE(v.FitRect(), gifFit);
    QCOMPARE(v.grab().toImage().pixel(gifFit.center()) & 0xFFFFFF, kRed);
}

void ViewersTest::thinPictureFitShowsARow() {
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(QRect, imageFit);
    ImageAceX c;
    c.resize(132, 132);
    c.show();
    c.SetBackColor(kWhite);
    c.SetPicture(Picture(w, h));
    c.SetDisplaymode(ImageAceX::DisplayFit);
    QCOMPARE(c.FittedRect(), imageFit);
    QCOMPARE(c.ViewportImage().pixel(imageFit.center()) & 0xFFFFFF, kRed);
}

void ViewersTest::fullViewClosesOnEscAndDoubleClick() {
    auto settle = [] { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); };
    { // Enter does nothing; Esc on the picture closes and destroys the window
        QPointer<fFullview> f = new fFullview;
        f->imView->SetPicture(Picture(50, 40));
        f->show();
        QTest::keyClick(f->imView, Qt::Key_Return);
        settle();
        QVERIFY(f && f->isVisible());
        QTest::keyClick(f->imView, Qt::Key_Escape);
        settle();
        QVERIFY(!f);
    }
    { // Esc from the GIF viewer's key press
        QPointer<fFullview> f = new fFullview;
        QVERIFY(f->ucGIFView->LoadFromFile(Animation(2)));
        f->ucGIFView->show();
        f->show();
        QVERIFY(f->ucGIFView->GIFIsPlaying()); // auto-play
        int16_t enter = 13;
        emit f->ucGIFView->KeyPress(enter);
        settle();
        QVERIFY(f);
        QTest::keyClick(f->ucGIFView, Qt::Key_Escape);
        settle();
        QVERIFY(!f);
    }
    for (int which = 0; which < 2; ++which) { // a double click on either control
        QPointer<fFullview> f = new fFullview;
        f->resize(200, 200);
        if (which) QVERIFY(f->ucGIFView->LoadFromFile(Animation(2)));
        f->show();
        QWidget* target = which ? static_cast<QWidget*>(f->ucGIFView) : f->imView->viewport();
        QTest::mouseDClick(target, Qt::LeftButton);
        settle();
        QVERIFY2(!f, which ? "gif" : "still");
    }
}

QTEST_MAIN(ViewersTest)
#include "test_viewers.moc"
