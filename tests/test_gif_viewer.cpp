// The animated viewer over documents whose frames decode on demand: the
// first frame shows from a read that decoded nothing else, files with no
// frame that may be shown are refused, and a document shared by the preview
// and the full view plays the same pictures within the cap on decoded frames;
// a picture shrunk to fit is composed at the size shown, and follows the size.
// Playing from the timer composes frames decoded ahead on the viewer's
// worker, and the viewer ends cleanly while that worker decodes.
#include "GifOracle.h"
#include "PixelUtil.h"
#include "gif/mGIFLZWDec.h"
#include "viewers/ucGIFViewer.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

using oracle::FramePlan;
using oracle::GifPlan;

namespace {

GifPlan Noise(int frames, int w, int h) {
    std::mt19937 rng(uint32_t(frames * 31 + w));
    GifPlan s;
    s.width = w, s.height = h;
    s.global = oracle::GreyRamp(256);
    for (int i = 0; i < frames; ++i) {
        FramePlan f;
        f.width = w - i % 5, f.height = h - i % 3;
        f.left = i % 5, f.top = i % 3;
        f.disposal = i % 4;
        f.transparent = i % 2 ? int(i * 7 % 256) : -1;
        for (int p = 0; p < f.width * f.height; ++p)
            f.indices.push_back(uint8_t(rng() % 32));
        s.frames.push_back(f);
    }
    return s;
}

std::vector<uint8_t> Pixels(const cDIB& d) {
    return {d.lpBits(), d.lpBits() + d.size()};
}

// Surface and mask bytes of a decoded w x h frame.
std::size_t FrameBytes(int w, int h) {
    return ((std::size_t(w) + 3) / 4 * 4 + (std::size_t(w) + 31) / 32 * 4) * std::size_t(h);
}

} // namespace

class GifViewerTest : public QObject {
    Q_OBJECT
  private slots:
    void firstFrameShowsOthersWait();
    void filesNothingCanShowAreRefused_data();
    void filesNothingCanShowAreRefused();
    void sharedDocumentPlaysWithinTheCap();
    void shrunkPictureIsComposedAtTheSizeShown();
    void timerComposesFramesDecodedAhead_data();
    void timerComposesFramesDecodedAhead();
    void endingWhileAFrameDecodesAheadIsClean_data();
    void endingWhileAFrameDecodesAheadIsClean();

  private:
    std::string Write(const std::vector<uint8_t>& bytes, const char* name) {
        const std::string path = dir_.filePath(name).toStdString();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }
    QTemporaryDir dir_;
};

void GifViewerTest::firstFrameShowsOthersWait() {
    const std::vector<uint8_t> bytes = oracle::Encode(Noise(8, 64, 48));
    const std::string path = Write(bytes, "eight.gif");
    std::shared_ptr<cGIF> doc = ucGIFViewer::ReadDocument(path);
    QVERIFY(doc);
    QCOMPARE(doc->FramesCount(), int16_t(8));
    QVERIFY(doc->FrameDecoded(1));
    for (int n = 2; n <= 8; ++n)
        QVERIFY(!doc->FrameDecoded(n));
    ucGIFViewer v;
    QVERIFY(v.ShowDocument(doc));
    QCOMPARE(v.GIFCurrentFrame(), int16_t(2)); // frame 1 shown
    QVERIFY(!doc->FrameDecoded(2));
    const std::size_t buffers = 2 * std::size_t(64 * 48 * 4);
    QCOMPARE(v.HeldBytes(), buffers + FrameBytes(64, 48) + bytes.size());
    v.NextFrame();
    QVERIFY(doc->FrameDecoded(2));
}

void GifViewerTest::filesNothingCanShowAreRefused_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("loads");
    QTest::addColumn<qulonglong>("maxHeld"); // what a loaded file may hold
    // A frame over three codes (one pixel, then the end), declaring any size.
    auto frame = [](int left, int top, int w, int h) {
        return std::vector<uint8_t>{0x2C,
                                    uint8_t(left),
                                    uint8_t(left >> 8),
                                    uint8_t(top),
                                    uint8_t(top >> 8),
                                    uint8_t(w),
                                    uint8_t(w >> 8),
                                    uint8_t(h),
                                    uint8_t(h >> 8),
                                    0,
                                    2,
                                    2,
                                    0x4C,
                                    0x01,
                                    0};
    };
    auto file = [](std::vector<std::vector<uint8_t>> frames, int sw, int sh) {
        std::vector<uint8_t> g = {'G',         'I',
                                  'F',         '8',
                                  '9',         'a',
                                  uint8_t(sw), uint8_t(sw >> 8),
                                  uint8_t(sh), uint8_t(sh >> 8),
                                  0x80,        0,
                                  0,           0,
                                  0,           0,
                                  255,         255,
                                  255};
        for (const auto& f : frames)
            g.insert(g.end(), f.begin(), f.end());
        g.push_back(0x3B);
        return QByteArray(reinterpret_cast<const char*>(g.data()), qsizetype(g.size()));
    };
    constexpr qulonglong kSlack = 1024; // the file's bytes and a small frame or two
    QTest::newRow("only an oversize frame")
        << file({frame(0, 0, 44664, 15599)}, 200, 100) << false << qulonglong(0);
    QTest::newRow("an oversize frame, then one that can show")
        << file({frame(0, 0, 44664, 15599), frame(0, 0, 2, 2)}, 200, 100) << true
        << qulonglong(2 * 200 * 100 * 4) + kSlack;
    QTest::newRow("no screen, frames placed far off after a small first one")
        << file({frame(0, 0, 3, 3), frame(16000, 4000, 2, 2), frame(0, 60000, 1, 1)}, 0, 0) << true
        << qulonglong(2 * 3 * 3 * 4) + kSlack;
}

void GifViewerTest::filesNothingCanShowAreRefused() {
    QFETCH(QByteArray, file);
    QFETCH(bool, loads);
    QFETCH(qulonglong, maxHeld);
    const std::string path = Write({file.begin(), file.end()}, "case.gif");
    QCOMPARE(bool(ucGIFViewer::ReadDocument(path)), loads);
    ucGIFViewer v;
    QCOMPARE(v.LoadFromFile(path), loads);
    for (int k = 0; k < 6; ++k)
        v.NextFrame();
    if (loads) QVERIFY2(v.HeldBytes() <= maxHeld, std::to_string(v.HeldBytes()).c_str());
}

void GifViewerTest::sharedDocumentPlaysWithinTheCap() {
    // The pictures of two loops played with every frame kept, then the same
    // played by a preview and a full view sharing one document, seven frames
    // apart, with room for four decoded frames: the same pictures, the cap kept.
    constexpr int kFrames = 30, kW = 120, kH = 90;
    const std::vector<uint8_t> bytes = oracle::Encode(Noise(kFrames, kW, kH));
    const std::string path = Write(bytes, "thirty.gif");
    std::vector<std::vector<uint8_t>> reference;
    {
        ucGIFViewer v;
        QVERIFY(v.LoadFromFile(path));
        for (int k = 0; k < 2 * kFrames; ++k) {
            reference.push_back(Pixels(v.DisplayBuffer()));
            v.NextFrame();
        }
    }
    ucGIFViewer::Limits limits;
    limits.document.residentBytes = 4 * FrameBytes(kW, kH);
    ucGIFViewer preview(nullptr, limits), full;
    QVERIFY(preview.LoadFromFile(path));
    QVERIFY(full.ShowDocumentOf(preview));
    constexpr int kApart = 7;
    for (int k = 0; k < kApart; ++k)
        full.NextFrame();
    const std::size_t ceiling =
        2 * std::size_t(kW * kH * 4) + limits.document.residentBytes + bytes.size();
    for (int k = 0; k < 2 * kFrames - kApart; ++k) {
        QVERIFY2(Pixels(preview.DisplayBuffer()) == reference[std::size_t(k)],
                 ("preview step " + std::to_string(k)).c_str());
        QVERIFY2(Pixels(full.DisplayBuffer()) == reference[std::size_t(k + kApart)],
                 ("full view step " + std::to_string(k)).c_str());
        QVERIFY2(preview.HeldBytes() <= ceiling, std::to_string(preview.HeldBytes()).c_str());
        preview.NextFrame();
        full.NextFrame();
    }
}

void GifViewerTest::shrunkPictureIsComposedAtTheSizeShown() {
    // A 200 x 100 GIF whose frames after the first all build on the ones
    // before, in a viewer of half its size, next to one showing it whole.
    constexpr int kFrames = 12, kW = 200, kH = 100;
    const std::string path = Write(oracle::Encode(Noise(kFrames, kW, kH)), "shrunk.gif");
    // Room to compose about five frames of the whole size again at once.
    ucGIFViewer::Limits limits;
    limits.resampleBudget = 5 * uint64_t(kW) * kH;
    ucGIFViewer whole, small(nullptr, limits);
    whole.resize(kW, kH);
    small.resize(kW / 2, kH / 2);
    whole.show();
    small.show();
    QVERIFY(whole.LoadFromFile(path));
    QVERIFY(small.LoadFromFile(path));
    auto sameAsWholeShrunk = [&](const char* when) {
        const cDIB& d = small.DisplayBuffer();
        const std::vector<int32_t> xs = SampleMap(d.Width(), 0, kW, false);
        const std::vector<int32_t> ys = SampleMap(d.Height(), 0, kH, false);
        for (int j = 0; j < d.Height(); ++j)
            for (int i = 0; i < d.Width(); ++i)
                QVERIFY2(Pixel32(d, i, j) ==
                             Pixel32(whole.DisplayBuffer(), xs[std::size_t(i)], ys[std::size_t(j)]),
                         (std::string(when) + " frame " + std::to_string(small.GIFShownFrame()))
                             .c_str());
    };
    auto step = [&] {
        whole.NextFrame();
        small.NextFrame();
        QCOMPARE(small.GIFShownFrame(), whole.GIFShownFrame());
    };
    // Half the pixels each way, every frame of a loop and a half.
    QCOMPARE(small.DisplayBuffer().Width(), kW / 2);
    QCOMPARE(small.FitRect(), QRect(0, 0, kW / 2, kH / 2));
    for (int k = 0; k < kFrames * 3 / 2; ++k) {
        sameAsWholeShrunk("half");
        step();
    }
    // Within the budget: frame 7 of the next loop is composed at three
    // quarters of the size when the size settles; the picture shows
    // stretched until then.
    while (small.GIFShownFrame() != 7)
        step();
    small.resize(150, 75);
    QCOMPARE(small.DisplayBuffer().Width(), kW / 2);
    QTRY_COMPARE(small.DisplayBuffer().Width(), 150);
    QVERIFY(!small.NewSizeWaitsForLoop());
    sameAsWholeShrunk("resized");
    // Frame 11 at nearly the whole size: too much to compose again at once;
    // the new size waits for the loop to start over, and the frames on are
    // the same all along.
    while (small.GIFShownFrame() != 11)
        step();
    small.resize(190, 95);
    QTRY_VERIFY(small.NewSizeWaitsForLoop());
    QCOMPARE(small.DisplayBuffer().Width(), 150);
    step();
    sameAsWholeShrunk("waiting");
    step();
    QCOMPARE(small.GIFShownFrame(), int16_t(1));
    QCOMPARE(small.DisplayBuffer().Width(), 190);
    sameAsWholeShrunk("loop start");
    // Under the user's control the whole screen is composed.
    small.SetUserControl(true);
    QTRY_COMPARE(small.DisplayBuffer().Width(), kW);
    QVERIFY(Pixels(small.DisplayBuffer()) == Pixels(whole.DisplayBuffer()));
}

void GifViewerTest::timerComposesFramesDecodedAhead_data() {
    QTest::addColumn<QByteArray>("file");
    const std::vector<uint8_t> noise = oracle::Encode(Noise(6, 120, 90));
    auto bytes = [](const std::vector<uint8_t>& b, std::size_t cut) {
        return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size() - cut));
    };
    QTest::newRow("every disposal, transparency") << bytes(noise, 0);
    // Leniency cut-file: the last frame shows the pixels its data reaches.
    constexpr std::size_t kCutInLastFrame = 300;
    QTest::newRow("cut in the last frame") << bytes(noise, kCutInLastFrame);
}

void GifViewerTest::timerComposesFramesDecodedAhead() {
    // A loop played from the timer: each step shows what composing the
    // frames in order shows, and no frame is decoded on this thread after
    // the load (which decodes the first): the worker decoded each ahead.
    QFETCH(QByteArray, file);
    const std::string path = Write({file.begin(), file.end()}, "ahead.gif");
    cGIF doc;
    GifAnimation anim(doc);
    QVERIFY(doc.LoadFromStream(
        {reinterpret_cast<const uint8_t*>(file.data()), std::size_t(file.size())}));
    QVERIFY(anim.CreateBuffers(0));
    const int frames = doc.FramesCount();
    std::vector<std::vector<uint8_t>> expected;
    for (int n = 1; n <= frames; ++n) {
        anim.Advance();
        expected.push_back(Pixels(anim.Display()));
    }
    ucGIFViewer v;
    v.resize(640, 480); // the GIF fits: composed at its own size
    v.SetBackColor(0);
    v.SetAutoPlay(true);
    std::vector<int> order;
    std::vector<std::vector<uint8_t>> shown;
    connect(&v, &ucGIFViewer::GIFFrameRendered, this, [&](int16_t frame) {
        order.push_back(frame);
        shown.push_back(Pixels(v.DisplayBuffer()));
    });
    QSignalSpy steps(&v, &ucGIFViewer::GIFFrameRendered);
    QVERIFY(v.LoadFromFile(path));
    const uint64_t decodedHere = mGIFLZWDec::DecodesOnThisThread();
    while (int(shown.size()) < frames + 1) // the loop and the first frame again
        QVERIFY(steps.wait());
    QCOMPARE(mGIFLZWDec::DecodesOnThisThread(), decodedHere);
    for (int k = 0; k < frames; ++k) {
        QCOMPARE(order[std::size_t(k)], k + 1);
        QVERIFY2(shown[std::size_t(k)] == expected[std::size_t(k)],
                 ("frame " + std::to_string(k + 1)).c_str());
    }
    QCOMPARE(order.back(), 1);
    QVERIFY(shown.back() == expected.front());
}

void GifViewerTest::endingWhileAFrameDecodesAheadIsClean_data() {
    QTest::addColumn<QString>("end");
    QTest::newRow("the viewer is deleted") << QStringLiteral("delete");
    QTest::newRow("Destroy, then another GIF plays") << QStringLiteral("destroy");
    QTest::newRow("another document is shown") << QStringLiteral("other");
}

void GifViewerTest::endingWhileAFrameDecodesAheadIsClean() {
    // A small first frame, then a 4000 x 3000 noise frame that the worker
    // starts on as soon as the first is shown: the viewer ends right then.
    QFETCH(QString, end);
    static const std::string big = [this] {
        constexpr int kW = 4000, kH = 3000;
        GifPlan s;
        s.width = kW, s.height = kH;
        s.global = oracle::GreyRamp(256);
        std::mt19937 rng(5);
        for (const int side : {8, kW}) {
            FramePlan f;
            f.width = side, f.height = side == kW ? kH : side;
            for (int p = 0; p < f.width * f.height; ++p)
                f.indices.push_back(uint8_t(rng()));
            s.frames.push_back(std::move(f));
        }
        return Write(oracle::Encode(s), "big.gif");
    }();
    const std::string small = Write(oracle::Encode(Noise(3, 30, 20)), "small.gif");
    auto* v = new ucGIFViewer;
    v->SetAutoPlay(true);
    QSignalSpy steps(v, &ucGIFViewer::GIFFrameRendered);
    std::shared_ptr<cGIF> doc = ucGIFViewer::ReadDocument(big);
    QVERIFY(v->ShowDocument(doc));
    QVERIFY(steps.wait()); // frame 1 shown: frame 2 is being decoded
    QCOMPARE(steps.takeFirst().at(0).value<int16_t>(), int16_t(1));
    if (end == QLatin1String("delete")) {
        delete v;
        QCoreApplication::sendPostedEvents(); // what the worker posted goes with the viewer
        QVERIFY(!doc->FrameDecoded(2));
        return;
    }
    if (end == QLatin1String("destroy")) {
        v->Destroy();
        QVERIFY(!v->GIFLoaded());
        QVERIFY(v->LoadFromFile(small));
    } else {
        QVERIFY(v->LoadFromFile(small));
    }
    // The new GIF plays a loop, frame after frame, and the big frame is
    // never handed to the document it came from.
    std::vector<int> order;
    while (order.size() < 4) {
        QVERIFY(steps.wait());
        while (!steps.isEmpty())
            order.push_back(steps.takeFirst().at(0).value<int16_t>());
    }
    QCOMPARE(std::vector<int>(order.begin(), order.begin() + 4), (std::vector<int>{1, 2, 3, 1}));
    QVERIFY(!doc->FrameDecoded(2));
    delete v;
}

QTEST_MAIN(GifViewerTest)
#include "test_gif_viewer.moc"
