// The user's control of an animated GIF: the decisions of GifControls (keys,
// speed steps, frame steps, the overlay's text), the keys in the full view
// (pause and play, a frame back and forward, slower and faster, the overlay,
// Esc and the next picture as before), the preview left playing on its own,
// and a long GIF under the user's control within its memory cap.
#include "GifOracle.h"
#include "app/fFullview.h"
#include "viewers/GifControls.h"
#include "viewers/ucGIFViewer.h"

#include <QFileInfo>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

using oracle::FramePlan;
using oracle::GifPlan;

namespace {

constexpr int kDelay = 10; // hundredths: 100 ms a frame

// A block moving over a ramp: frame 1 fills the screen, the others cover
// the block's old and new place; every fourth is restored to the previous
// picture, every fifth has a transparent colour.
GifPlan MovingBlock(int frames, int w, int h) {
    GifPlan s;
    s.width = w, s.height = h;
    s.global = oracle::GreyRamp(64);
    FramePlan first;
    first.width = w, first.height = h, first.delay = kDelay;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            first.indices.push_back(uint8_t((x + y) * 63 / (w + h)));
    s.frames.push_back(first);
    constexpr int kBlock = 6;
    for (int i = 1; i < frames; ++i) {
        FramePlan f;
        f.left = (i * 3) % (w - kBlock), f.top = (i * 2) % (h - kBlock);
        f.width = kBlock, f.height = kBlock, f.delay = kDelay;
        f.disposal = i % 4 == 0 ? 3 : 1;
        f.transparent = i % 5 == 0 ? 0 : -1;
        f.indices.assign(std::size_t(kBlock * kBlock), uint8_t(i % 64));
        s.frames.push_back(f);
    }
    return s;
}

std::vector<uint8_t> Pixels(const cDIB& d) {
    return {d.lpBits(), d.lpBits() + d.size()};
}

QString Utf8(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

class GifControlsTest : public QObject {
    Q_OBJECT
  private slots:
    void keysSpeedsAndSteps();
    void overlayText_data();
    void overlayText();
    void fullViewKeys();
    void stillPictureKeepsItsKeys();
    void previewPlaysOnItsOwn();
    void longGifWithinItsCap();

  private:
    std::string Write(const GifPlan& plan, const char* name) {
        const std::vector<uint8_t> bytes = oracle::Encode(plan);
        const std::string path = dir_.filePath(name).toStdString();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }
    // The picture of frame n as playing from frame 1 shows it.
    std::vector<uint8_t> Played(const std::string& path, int n) {
        ucGIFViewer v;
        if (!v.LoadFromFile(path)) return {};
        while (v.GIFShownFrame() != n)
            v.NextFrame();
        return Pixels(v.DisplayBuffer());
    }
    QTemporaryDir dir_;
};

void GifControlsTest::keysSpeedsAndSteps() {
    using A = GifControls::Action;
    const struct {
        int key;
        A action;
    } keys[] = {{' ', A::PlayPause}, {',', A::StepBack}, {'.', A::StepForward}, {'[', A::Slower},
                {']', A::Faster},    {'f', A::None},     {27, A::None},         {0, A::None}};
    for (const auto& k : keys)
        QCOMPARE(GifControls::ActionForKey(k.key), k.action);

    // Five speeds; the ends hold. Intervals at each, at least 1 ms.
    GifControls c;
    QCOMPARE(Utf8(c.SpeedText()), QStringLiteral("1 ×"));
    const struct {
        bool faster, changed;
        const char* text;
        int32_t ms100, ms1;
    } presses[] = {{true, true, "2 ×", 50, 1},     {true, true, "4 ×", 25, 1},
                   {true, false, "4 ×", 25, 1},    {false, true, "2 ×", 50, 1},
                   {false, true, "1 ×", 100, 1},   {false, true, "1/2 ×", 200, 2},
                   {false, true, "1/4 ×", 400, 4}, {false, false, "1/4 ×", 400, 4},
                   {true, true, "1/2 ×", 200, 2}};
    for (const auto& p : presses) {
        QCOMPARE(p.faster ? c.Faster() : c.Slower(), p.changed);
        QCOMPARE(Utf8(c.SpeedText()), QString::fromUtf8(p.text));
        QCOMPARE(c.Interval(100), p.ms100);
        QCOMPARE(c.Interval(1), p.ms1);
    }
    GifControls fast;
    fast.Faster();
    fast.Faster();
    QCOMPARE(fast.Interval(1), 1);   // never 0
    QCOMPARE(fast.Interval(70), 18); // 17.5 rounded
    QCOMPARE(fast.Interval(65535), 16384);

    const struct {
        int shown, delta, frames, target;
    } steps[] = {{5, -1, 80, 4},   {5, 1, 80, 6},  {1, -1, 80, 1}, {80, 1, 80, 1},
                 {80, -1, 80, 79}, {0, 1, 80, 1},  {0, -1, 80, 1}, {1, 1, 1, 1},
                 {1, -1, 1, 1},    {99, 1, 80, 1}, {3, 1, 0, 0}};
    for (const auto& s : steps)
        QCOMPARE(GifControls::StepTarget(s.shown, s.delta, s.frames), s.target);
}

void GifControlsTest::overlayText_data() {
    QTest::addColumn<int>("faster"); // presses of ']' (negative: '[')
    QTest::addColumn<int>("frame");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("ms");
    QTest::addColumn<bool>("paused");
    QTest::addColumn<QString>("text");
    QTest::newRow("playing fast") << 1 << 12 << 80 << 100 << false
                                  << QStringLiteral("frame 12 / 80 · 100 ms · 2 ×");
    QTest::newRow("paused slow") << -2 << 1 << 3 << 50 << true
                                 << QStringLiteral("frame 1 / 3 · 50 ms · 1/4 × · paused");
    QTest::newRow("one frame") << 0 << 1 << 1 << 60000 << true
                               << QStringLiteral("frame 1 / 1 · 60000 ms · 1 × · paused");
}

void GifControlsTest::overlayText() {
    QFETCH(int, faster);
    QFETCH(int, frame);
    QFETCH(int, frames);
    QFETCH(int, ms);
    QFETCH(bool, paused);
    QFETCH(QString, text);
    GifControls c;
    for (int k = 0; k < std::abs(faster); ++k)
        faster > 0 ? c.Faster() : c.Slower();
    QCOMPARE(Utf8(c.OverlayText(frame, frames, ms, paused)), text);
}

void GifControlsTest::fullViewKeys() {
    constexpr int kFrames = 40;
    const std::string path = Write(MovingBlock(kFrames, 64, 48), "block.gif");
    QPointer<fFullview> f = new fFullview;
    f->resize(320, 240);
    QVERIFY(f->ucGIFView->LoadFromFile(path));
    f->ucGIFView->show();
    f->show();
    QSignalSpy steps(f, &fFullview::StepRequested);
    ucGIFViewer* v = f->ucGIFView;
    QVERIFY(v->GIFIsPlaying());
    QTRY_VERIFY(v->GIFShownFrame() >= 3);
    QCOMPARE(v->TimerInterval(), 100);

    // Space pauses: the overlay says so; the picture stays.
    QTest::keyClick(f->imView, Qt::Key_Space);
    QVERIFY(!v->GIFIsPlaying());
    QVERIFY(v->OverlayVisible());
    const int paused = v->GIFShownFrame();
    QVERIFY(
        v->OverlayText().startsWith(QStringLiteral("frame %1 / 40 · 100 ms · 1 ×").arg(paused)));
    QVERIFY(v->OverlayText().endsWith(QStringLiteral("paused")));
    // The overlay goes a second after the key, ten frames' time: no frame
    // came before it.
    QSignalSpy drawn(v, &ucGIFViewer::GIFFrameRendered);
    QTRY_VERIFY_WITH_TIMEOUT(!v->OverlayVisible(), 10 * ucGIFViewer::kOverlayMs);
    QCOMPARE(drawn.count(), 0);
    QCOMPARE(int(v->GIFShownFrame()), paused);
    QCOMPARE(steps.count(), 0); // Space moved to no other picture

    // ',' and '.' step, each frame the picture playing from frame 1 shows;
    // back stops at frame 1.
    const struct {
        Qt::Key key;
        int frame;
    } moves[] = {
        {Qt::Key_Comma, paused - 1}, {Qt::Key_Comma, paused - 2}, {Qt::Key_Period, paused - 1}};
    for (const auto& m : moves) {
        QTest::keyClick(f->imView, m.key);
        QCOMPARE(int(v->GIFShownFrame()), m.frame);
        QVERIFY(!v->GIFIsPlaying());
        QVERIFY(Pixels(v->DisplayBuffer()) == Played(path, m.frame));
    }
    for (int k = 0; k < kFrames; ++k)
        QTest::keyClick(f->imView, Qt::Key_Comma);
    QCOMPARE(int(v->GIFShownFrame()), 1);
    QVERIFY(v->OverlayText().startsWith(QStringLiteral("frame 1 / 40")));
    QVERIFY(Pixels(v->DisplayBuffer()) == Played(path, 1));
    QTest::keyClick(f->imView, Qt::Key_Comma); // stays
    QCOMPARE(int(v->GIFShownFrame()), 1);
    // Forward from the last frame wraps to frame 1.
    for (int k = 1; k < kFrames; ++k)
        QTest::keyClick(f->imView, Qt::Key_Period);
    QCOMPARE(int(v->GIFShownFrame()), kFrames);
    QVERIFY(Pixels(v->DisplayBuffer()) == Played(path, kFrames));
    QTest::keyClick(f->imView, Qt::Key_Period);
    QCOMPARE(int(v->GIFShownFrame()), 1);
    QVERIFY(v->KeyFrameBytes() > 0); // the way forward kept key frames

    // ']' and '[' while paused: the overlay shows the speed; Space plays at it.
    QTest::keyClick(f->imView, Qt::Key_BracketRight);
    QVERIFY(v->OverlayText().contains(QStringLiteral("· 2 ×")));
    QVERIFY(!v->GIFIsPlaying());
    QTest::keyClick(f->imView, Qt::Key_Space);
    QVERIFY(v->GIFIsPlaying());
    QCOMPARE(v->TimerInterval(), 50);
    QVERIFY(!v->OverlayText().contains(QStringLiteral("paused")));
    QTest::keyClick(f->imView, Qt::Key_BracketRight);
    QTest::keyClick(f->imView, Qt::Key_BracketRight); // 4 × holds
    QCOMPARE(v->TimerInterval(), 25);
    for (int k = 0; k < 5; ++k)
        QTest::keyClick(f->imView, Qt::Key_BracketLeft);
    QCOMPARE(v->TimerInterval(), 400);
    QVERIFY(v->OverlayText().contains(QStringLiteral("1/4 ×")));
    QVERIFY(v->GIFIsPlaying());

    // The overlay goes after a second; the keys of the still view still work.
    QTRY_VERIFY_WITH_TIMEOUT(!v->OverlayVisible(), 3000);
    QTest::keyClick(f->imView, Qt::Key_PageDown);
    QCOMPARE(steps.count(), 1);
    QCOMPARE(steps.first().first().toInt(), 1);
    QTest::keyClick(f->imView, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!f);
}

void GifControlsTest::stillPictureKeepsItsKeys() {
    // With no GIF shown, Space is the next picture and ',' reaches the window.
    QPointer<fFullview> f = new fFullview;
    f->resize(200, 200);
    f->show();
    QSignalSpy steps(f, &fFullview::StepRequested);
    QTest::keyClick(f->imView, Qt::Key_Space);
    QCOMPARE(steps.count(), 1);
    QTest::keyClick(f->imView, Qt::Key_Comma);
    QVERIFY(!f->ucGIFView->OverlayVisible());
    delete f;
}

void GifControlsTest::previewPlaysOnItsOwn() {
    // The preview's viewer keeps no key frames and hands every key on.
    const std::string path = Write(MovingBlock(12, 40, 30), "preview.gif");
    ucGIFViewer preview;
    preview.SetAutoPlay(true);
    QVERIFY(preview.LoadFromFile(path));
    int keys = 0;
    connect(&preview, &ucGIFViewer::KeyPress, this, [&keys](int16_t&) { ++keys; });
    for (Qt::Key k : {Qt::Key_Space, Qt::Key_Comma, Qt::Key_Period, Qt::Key_BracketLeft})
        QTest::keyClick(&preview, k);
    QCOMPARE(keys, 4);
    QVERIFY(preview.GIFIsPlaying());
    QTRY_VERIFY(preview.GIFShownFrame() >= 12);
    QCOMPARE(preview.KeyFrameBytes(), std::size_t(0));
    QCOMPARE(preview.TimerInterval(), 100);
    QVERIFY(!preview.OverlayVisible());
}

void GifControlsTest::longGifWithinItsCap() {
    // 300 frames over 200 x 150 with room for six key frames and sixteen
    // decoded blocks: played through twice and stepped back over the whole
    // animation, the pictures are those of playing from frame 1 and what the
    // viewer holds stays within its caps.
    constexpr int kFrames = 300, kW = 200, kH = 150;
    const std::size_t canvas = std::size_t(kW) * kH * 4;
    ucGIFViewer::Limits caps;
    caps.document.residentBytes = std::size_t(kW) * kH * 2; // the first frame and blocks
    caps.keyFrameBytes = 6 * canvas;
    const std::string path = Write(MovingBlock(kFrames, kW, kH), "long.gif");
    std::vector<std::vector<uint8_t>> played(kFrames + 1);
    {
        ucGIFViewer v;
        QVERIFY(v.LoadFromFile(path));
        for (int n = 1; n <= kFrames; ++n, v.NextFrame())
            played[std::size_t(n)] = Pixels(v.DisplayBuffer());
    }
    ucGIFViewer v(nullptr, caps);
    v.SetUserControl(true);
    QVERIFY(v.LoadFromFile(path));
    const std::size_t ceiling = 2 * canvas + caps.keyFrameBytes + caps.document.residentBytes +
                                std::size_t(QFileInfo(QString::fromStdString(path)).size());
    std::size_t most = 0;
    for (int k = 1; k < 2 * kFrames; ++k) { // two loops, to the last frame
        v.NextFrame();
        most = std::max(most, v.HeldBytes());
    }
    QCOMPARE(int(v.GIFShownFrame()), kFrames);
    QCOMPARE(v.KeyFrameBytes(), 5 * canvas); // every 50 frames: 299 / 6 rounded up
    for (int n = kFrames - 1; n >= 1; --n) {
        v.StepFrame(-1);
        QCOMPARE(int(v.GIFShownFrame()), n);
        QVERIFY2(Pixels(v.DisplayBuffer()) == played[std::size_t(n)], std::to_string(n).c_str());
        most = std::max(most, v.HeldBytes());
    }
    QVERIFY2(most <= ceiling, (std::to_string(most) + " > " + std::to_string(ceiling)).c_str());
}

QTEST_MAIN(GifControlsTest)
#include "test_gif_controls.moc"
