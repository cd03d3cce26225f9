// On a screen of device pixel ratio 2: the preview pane, the full view's
// zooming view and the main window's preview draw pictures at the screen's
// own pixels, so a one-pixel checkerboard at 100 % stays one.
#include "app/fMain.h"
#include "app/mSetup.h"
#include "tests/TestDecoderPool.h"
#include "tests/WindowControls.h"
#include "viewers/PicturePane.h"
#include "viewers/ZoomView.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

namespace {

constexpr int kRatio = 2;

QImage CheckerImage(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, (x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u);
    return image;
}

StdPicture Checker(int w, int h) {
    auto dib = std::make_shared<cDIB>();
    dib->Create(w, h, 32);
    const QImage image = CheckerImage(w, h);
    for (int y = 0; y < h; ++y)
        std::memcpy(dib->lpBits() + std::size_t(y) * dib->BytesPerScanline(), image.scanLine(y),
                    std::size_t(w) * 4);
    return dib;
}

// The longest run along row `y` of `shot` where each pixel differs from the one before.
int AlternatingRun(const QImage& shot, int y) {
    const auto bw = [&](int x) {
        const QRgb c = shot.pixel(x, y) & 0xFFFFFF;
        return c == 0 || c == 0xFFFFFF;
    };
    int longest = 0, run = 0;
    for (int x = 1; x < shot.width(); ++x) {
        const bool flips = bw(x) && bw(x - 1) && shot.pixel(x, y) != shot.pixel(x - 1, y);
        run = flips ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest + 1;
}

} // namespace

class HiDpiTest : public QObject {
    Q_OBJECT
  private slots:
    void theScreenHasRatioTwo();
    void paneHoldsTheScreensPixels();
    void zoomCountsTheScreensPixels();
    void previewIsDecodedForTheScreensPixels();
};

void HiDpiTest::theScreenHasRatioTwo() {
    QCOMPARE(qApp->devicePixelRatio(), qreal(kRatio));
}

void HiDpiTest::paneHoldsTheScreensPixels() {
    PicturePane pane;
    pane.resize(300, 200);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    QCOMPARE(pane.Box().Width(), 300 * kRatio);
    QCOMPARE(pane.Box().Height(), 200 * kRatio);
    const StdPicture checker = Checker(300 * kRatio, 200 * kRatio);
    pane.Box().hDC()->LoadBlt(checker.get(), 0, 0, checker->Width(), checker->Height());
    QImage shot = pane.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shot.size(), QSize(600, 400));
    shot.setDevicePixelRatio(1);
    QCOMPARE(shot, CheckerImage(600, 400));
}

void HiDpiTest::zoomCountsTheScreensPixels() {
    ZoomView view;
    view.resize(400, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.SetPicture(Checker(1600, 1200));
    QCOMPARE(view.State().ViewWidth(), 400 * kRatio);
    QCOMPARE(view.State().ViewHeight(), 300 * kRatio);
    // 100 %: every pixel of the screen is one of the picture's.
    QImage shot = view.viewport()->grab().toImage();
    QCOMPARE(shot.width(), 400 * kRatio);
    QCOMPARE(AlternatingRun(shot, 301), 400 * kRatio);
    // 200 %: blocks of two screen pixels.
    QTest::keyClick(&view, Qt::Key_Plus);
    QTest::keyClick(&view, Qt::Key_Plus);
    QCOMPARE(view.State().Zoom(), 2.0);
    shot = view.viewport()->grab().toImage();
    int last = -1;
    for (int x = 1; x < shot.width(); ++x) {
        if (shot.pixel(x, 300) == shot.pixel(x - 1, 300)) continue;
        if (last >= 0) QCOMPARE(x - last, 2);
        last = x;
    }
    // The wheel zooms around the picture's point under the pointer, given
    // in the widget's logical pixels.
    QTest::keyClick(&view, Qt::Key_1);
    const QPointF pointer(100, 75);
    const double px = view.State().PictureX(pointer.x() * kRatio);
    const double py = view.State().PictureY(pointer.y() * kRatio);
    QWheelEvent wheel(pointer, view.viewport()->mapToGlobal(pointer), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(view.viewport(), &wheel);
    QVERIFY(view.State().Zoom() > 1.0);
    QVERIFY(std::abs(view.State().PictureX(pointer.x() * kRatio) - px) < 1e-6);
    QVERIFY(std::abs(view.State().PictureY(pointer.y() * kRatio) - py) < 1e-6);
    // The fit fills the screen's pixels of the view.
    QTest::keyClick(&view, Qt::Key_F);
    QCOMPARE(view.State().ShownWidth(), double(400 * kRatio));
}

void HiDpiTest::previewIsDecodedForTheScreensPixels() {
    QTemporaryDir dir;
    QVERIFY(CheckerImage(300, 200).save(dir.filePath("checker.png"), "PNG"));
    SetupRecord setup = mSetup::Defaults();
    BrowsingState state;
    fMain main(state, setup, TestDecoderPool());
    main.resize(1000, 700);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    state.sCurrentPath = dir.path().toStdString();
    main.nPathchange();
    QTRY_VERIFY(!main.Listing());
    Control<FileListView>(&main, "lvFiles")->SelectRow(0);
    main.ChooseRow(0);
    QTRY_VERIFY(main.ReadAheadIdle());
    QCOMPARE(Control<StatusPanels>(&main, "sbInfo")->Text(2), QStringLiteral("300x200"));
    // The pane's box is twice its logical size, and the picture lies in it
    // pixel for pixel: 300 alternating pixels along a row through it.
    PictureBox& box = Control<PicturePane>(&main, "imgPane")->Box();
    QCOMPARE(box.Width(), Control<PicturePane>(&main, "imgPane")->width() * kRatio);
    const cDIB& s = box.Surface();
    const QImage view(s.lpBits(), s.Width(), s.Height(), s.BytesPerScanline(),
                      QImage::Format_RGB32);
    QCOMPARE(AlternatingRun(view, s.Height() / 2), 300);
}

int main(int argc, char** argv) {
    qputenv("QT_SCALE_FACTOR", QByteArray::number(kRatio));
    QApplication app(argc, argv);
    HiDpiTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_hidpi.moc"
