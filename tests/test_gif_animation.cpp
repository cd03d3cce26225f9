// The stepping of an animation without widgets: intervals, composition,
// disposal, the clean start of every loop, and bad logical screens.
#include "GifOracle.h"
#include "PixelUtil.h"
#include "gif/GifAnimation.h"
#include "gif/cGIF.h"

#include <gtest/gtest.h>

using oracle::Color;
using oracle::FramePlan;
using oracle::GifPlan;

namespace {

constexpr uint32_t kWhite = 0x00FFFFFF;
// Palette: 0 red, 1 green, 2 blue, 3 black.
const std::vector<Color> kColors = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {0, 0, 0}};
constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;

FramePlan Solid(int left, int top, int w, int h, uint8_t index, int disposal = 0) {
    FramePlan f;
    f.left = left, f.top = top, f.width = w, f.height = h;
    f.disposal = disposal;
    f.indices.assign(std::size_t(w * h), index);
    return f;
}

uint32_t Pixel(const cDIB& d, int x, int y) {
    return Pixel32(d, x, y);
}

struct Loaded {
    cGIF gif;
    GifAnimation anim{gif};
    explicit Loaded(const GifPlan& plan, uint32_t back = kWhite) {
        EXPECT_TRUE(gif.LoadFromStream(oracle::Encode(plan)));
        EXPECT_TRUE(anim.CreateBuffers(back));
    }
};

GifPlan Screen(int w, int h) {
    GifPlan s;
    s.width = w, s.height = h;
    s.global = kColors;
    return s;
}

} // namespace

TEST(GifAnimation, IntervalsFollowTheDelayRule) {
    const struct {
        int16_t delay;
        int32_t ms;
    } rows[] = {{0, 100},
                {1, 50},
                {2, 50},
                {4, 50},
                {5, 50},
                {7, 70},
                {3276, 32760},
                {3277, 32770},
                {6553, 65530},
                {6554, 65535},
                {32767, 65535},
                {-1, 60000},
                {int16_t(-32768), 60000}};
    for (const auto& r : rows)
        EXPECT_EQ(GifAnimation::IntervalForDelay(r.delay), r.ms) << r.delay;
}

TEST(GifAnimation, StepsMoveThroughTheFramesAndLoopForEver) {
    GifPlan s = Screen(4, 4);
    s.loops = 1; // a loop count of 1 still loops for ever
    for (uint8_t i = 0; i < 3; ++i) {
        s.frames.push_back(Solid(0, 0, 4, 4, i));
        s.frames.back().delay = 7;
    }
    Loaded l(s);
    const uint32_t expect[] = {kRed, kGreen, kBlue, kRed, kGreen, kBlue, kRed};
    for (int k = 0; k < 7; ++k) {
        const GifAnimation::Step step = l.anim.Advance();
        EXPECT_EQ(step.frame, k % 3 + 1);
        EXPECT_EQ(step.interval, 70);
        EXPECT_EQ(Pixel(l.anim.Display(), 3, 3), expect[k]);
        EXPECT_EQ(l.anim.CurrentFrame(), (k + 1) % 3 + 1);
    }
}

TEST(GifAnimation, DisposalRestoresBackgroundOrPrevious) {
    // Frame 1 fills the screen red; frame 2 (disposal 2 or 3) paints a blue
    // square at (10, 10); frame 3 paints one green pixel at (0, 0).
    for (int disposal : {0, 1, 2, 3, 4, 7}) {
        GifPlan s = Screen(40, 40);
        s.frames.push_back(Solid(0, 0, 40, 40, 0));
        s.frames.push_back(Solid(10, 10, 20, 20, 2, disposal));
        s.frames.push_back(Solid(0, 0, 1, 1, 1));
        Loaded l(s);
        l.anim.Advance();
        l.anim.Advance();
        EXPECT_EQ(Pixel(l.anim.Display(), 15, 15), kBlue);
        l.anim.Advance();
        const cDIB& d = l.anim.Display();
        const uint32_t inside = disposal == 2 ? kWhite : disposal <= 1 ? kBlue : kRed;
        EXPECT_EQ(Pixel(d, 10, 10), inside) << disposal;
        EXPECT_EQ(Pixel(d, 29, 29), inside) << disposal;
        EXPECT_EQ(Pixel(d, 30, 30), kRed) << disposal; // outside the rectangle
        EXPECT_EQ(Pixel(d, 9, 9), kRed) << disposal;
        EXPECT_EQ(Pixel(d, 0, 0), kGreen) << disposal;
    }
}

TEST(GifAnimation, TransparentPixelsLeaveTheCanvasAndEveryLoopStartsClean) {
    GifPlan s = Screen(3, 1);
    FramePlan a = Solid(0, 0, 3, 1, 0);
    FramePlan b = Solid(0, 0, 3, 1, 1);
    b.indices = {1, 3, 1}; // index 3 transparent: the red of frame 1 shows through
    b.transparent = 3;
    FramePlan c = Solid(1, 0, 1, 1, 2);
    c.transparent = 2; // wholly transparent
    s.frames = {a, b};
    {
        Loaded l(s);
        l.anim.Advance();
        l.anim.Advance();
        EXPECT_EQ(Pixel(l.anim.Display(), 0, 0), kGreen);
        EXPECT_EQ(Pixel(l.anim.Display(), 1, 0), kRed);
    }
    // A transparent first frame after a full loop shows the background, not
    // the last picture.
    s.frames = {c, Solid(0, 0, 3, 1, 0)};
    Loaded l(s);
    l.anim.Advance();
    l.anim.Advance();
    EXPECT_EQ(Pixel(l.anim.Display(), 1, 0), kRed);
    l.anim.Advance();
    EXPECT_EQ(Pixel(l.anim.Display(), 1, 0), kWhite);
}

TEST(GifAnimation, FramesOutsideTheScreenAreClipped) {
    GifPlan s = Screen(10, 10);
    s.frames.push_back(Solid(8, 8, 5, 5, 2, 2)); // reaches 3 pixels past the edge
    s.frames.push_back(Solid(20, 20, 4, 4, 1));  // wholly outside
    Loaded l(s);
    l.anim.Advance();
    EXPECT_EQ(Pixel(l.anim.Display(), 9, 9), kBlue);
    EXPECT_EQ(Pixel(l.anim.Display(), 7, 7), kWhite);
    l.anim.Advance();
    EXPECT_EQ(Pixel(l.anim.Display(), 9, 9), kWhite); // disposed to background
}

TEST(GifAnimation, FramesPastColumnOrRow32767AreDrawn) {
    // Positions are unsigned 16-bit values: a frame at 32768 or beyond is
    // drawn there, and the changed part reports it.
    const struct {
        int screenW, screenH, left, top;
    } rows[] = {
        {32770, 2, 32768, 0}, {2, 32770, 0, 32768}, {40001, 1, 40000, 0}, {65535, 1, 65534, 0}};
    for (const auto& r : rows) {
        GifPlan s = Screen(r.screenW, r.screenH);
        s.frames.push_back(Solid(r.left, r.top, 1, 1, 1));
        Loaded l(s);
        ASSERT_TRUE(l.anim.HasBuffers()) << r.left;
        l.anim.Advance();
        EXPECT_EQ(Pixel(l.anim.Display(), r.left, r.top), kGreen) << r.left << "," << r.top;
        const GifAnimation::Rect c = l.anim.Changed();
        EXPECT_TRUE(c.x <= r.left && r.left < c.x + c.w && c.y <= r.top && r.top < c.y + c.h)
            << r.left << "," << r.top;
    }
}

TEST(GifAnimation, UnusableScreensAreNotDrawn) {
    { // a 0 x 0 screen takes the first frame's extent
        GifPlan s = Screen(0, 0);
        s.frames.push_back(Solid(2, 1, 3, 3, 1));
        cGIF gif;
        ASSERT_TRUE(gif.LoadFromStream(oracle::Encode(s)));
        GifAnimation anim(gif);
        ASSERT_TRUE(anim.CreateBuffers(kWhite));
        EXPECT_EQ(anim.Display().Width(), 5);
        EXPECT_EQ(anim.Display().Height(), 4);
        anim.Advance();
        EXPECT_EQ(Pixel(anim.Display(), 4, 3), kGreen);
    }
    { // later frames placed far off neither grow the buffers nor are drawn past them
        GifPlan s = Screen(0, 0);
        s.frames.push_back(Solid(2, 1, 3, 3, 1));
        s.frames.push_back(Solid(16000, 4000, 1, 1, 2));
        s.frames.push_back(Solid(0, 60000, 2, 2, 0));
        cGIF gif;
        ASSERT_TRUE(gif.LoadFromStream(oracle::Encode(s)));
        GifAnimation anim(gif);
        ASSERT_TRUE(anim.CreateBuffers(kWhite));
        EXPECT_EQ(anim.BufferBytes(), 2u * 5 * 4 * 4);
        for (int k = 0; k < 6; ++k)
            anim.Advance();
        EXPECT_EQ(Pixel(anim.Display(), 4, 3), kGreen);
        EXPECT_EQ(anim.BufferBytes(), 2u * 5 * 4 * 4);
    }
    { // a huge screen with one small frame: refused, the earlier buffers stay
        GifPlan small = Screen(2, 2);
        small.frames.push_back(Solid(0, 0, 2, 2, 0));
        cGIF gif;
        ASSERT_TRUE(gif.LoadFromStream(oracle::Encode(small)));
        GifAnimation anim(gif);
        ASSERT_TRUE(anim.CreateBuffers(kWhite));
        anim.Advance();
        GifPlan huge = Screen(65535, 65535);
        huge.frames.push_back(Solid(0, 0, 1, 1, 2));
        ASSERT_TRUE(gif.LoadFromStream(oracle::Encode(huge)));
        EXPECT_FALSE(anim.CreateBuffers(kWhite));
        ASSERT_TRUE(anim.HasBuffers());
        EXPECT_EQ(anim.Display().Width(), 2);
        EXPECT_EQ(Pixel(anim.Display(), 1, 1), kRed);
        EXPECT_LE(anim.BufferBytes(), 2 * 16u);
    }
}

// The canvas a file calls for is judged from its header, before any frame is
// decoded, and agrees with what the buffers can take.
TEST(GifAnimation, CanvasIsJudgedBeforeDecoding) {
    struct Row {
        const char* what;
        int screenW, screenH;
        int left, top, w, h; // the first frame, as declared
        bool fits;
    };
    const Row rows[] = {
        {"a small screen", 300, 200, 0, 0, 300, 200, true},
        {"a screen past the limit", 30000, 30000, 0, 0, 1, 1, false},
        {"the largest square that fits", 8192, 8192, 0, 0, 1, 1, true},
        {"one row too many", 8192, 8193, 0, 0, 1, 1, false},
        {"no screen, a small first frame", 0, 0, 10, 10, 40, 30, true},
        {"no screen, a huge first frame", 0, 0, 0, 0, 44664, 15599, false},
        {"no height, a frame placed far down", 3000, 0, 0, 60000, 100, 5000, false},
    };
    const auto put16 = [](std::vector<uint8_t>& b, std::size_t at, int v) {
        b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8);
    };
    for (const Row& r : rows) {
        GifPlan s = Screen(1, 1);
        s.frames.push_back(Solid(0, 0, 1, 1, 0));
        std::vector<uint8_t> bytes = oracle::Encode(s);
        // The declared sizes written in; no pixel needs decoding to judge them.
        put16(bytes, 6, r.screenW);
        put16(bytes, 8, r.screenH);
        for (std::size_t at = 13 + 3 * 4; at + 9 < bytes.size(); ++at)
            if (bytes[at] == 0x2C) {
                put16(bytes, at + 1, r.left);
                put16(bytes, at + 3, r.top);
                put16(bytes, at + 5, r.w);
                put16(bytes, at + 7, r.h);
                break;
            }
        EXPECT_EQ(GifAnimation::CanvasFits(bytes), r.fits) << r.what;
    }
    // Too short or damaged to say: the reader decides.
    const std::vector<uint8_t> shortHeader = {'G', 'I', 'F', '8', '9', 'a', 0, 0};
    EXPECT_TRUE(GifAnimation::CanvasFits(shortHeader));
    std::vector<uint8_t> noFrame = oracle::Encode(Screen(0, 0));
    noFrame.resize(13);
    EXPECT_TRUE(GifAnimation::CanvasFits(noFrame));
}

TEST(GifAnimation, UnscaledDrawingMatchesTheMaskAndImageBlits) {
    // The one-pass drawing of frames at their own size gives exactly what the
    // two raster operations give, for random frames wider and narrower than
    // the eight-pixel groups, some drawn from left of the target's edge.
    std::mt19937 rng(11);
    for (int round = 0; round < 60; ++round) {
        GifPlan s = Screen(70, 20);
        s.global = oracle::GreyRamp(16);
        FramePlan f;
        f.left = int(rng() % 80) - 5, f.top = int(rng() % 30) - 5;
        f.left = std::max(f.left, 0), f.top = std::max(f.top, 0);
        f.width = int(rng() % 70) + 1, f.height = int(rng() % 25) + 1;
        f.transparent = round % 2 ? int(rng() % 16) : -1;
        for (int i = 0; i < f.width * f.height; ++i)
            f.indices.push_back(uint8_t(rng() % 16));
        s.frames.push_back(f);
        cGIF gif;
        ASSERT_TRUE(gif.LoadFromStream(oracle::Encode(s)));
        const int dx = -int(rng() % 12); // where the row starts inside a mask byte
        cDIB fast, slow;
        ASSERT_TRUE(fast.Create(70, 20, 32));
        ASSERT_TRUE(slow.Create(70, 20, 32));
        fast.Cls(0x123456);
        slow.Cls(0x123456);
        gif.FrameDraw(fast.hDC(), 1, dx, 0, 1.0f, false);
        const int w = gif.FrameDIBXOR(1).Width(), h = gif.FrameDIBXOR(1).Height();
        if (gif.FrameUseTransparentColor(1)) {
            gif.FrameDIBAND(1).Stretch(slow.hDC(), f.left + dx, f.top, w, h, 0, 0, w, h, SRCAND,
                                       COLORONCOLOR);
            gif.FrameDIBXOR(1).Stretch(slow.hDC(), f.left + dx, f.top, w, h, 0, 0, w, h, SRCPAINT,
                                       COLORONCOLOR);
        } else {
            gif.FrameDIBXOR(1).Stretch(slow.hDC(), f.left + dx, f.top, w, h, 0, 0, w, h, SRCCOPY,
                                       COLORONCOLOR);
        }
        EXPECT_EQ(std::memcmp(fast.lpBits(), slow.lpBits(), std::size_t(fast.size())), 0) << round;
    }
}

namespace {

// The composition in its plainest form: a full copy of the canvas into the
// display buffer, the frame drawn over it, and the disposal on the canvas.
struct PlainComposer {
    cGIF& gif;
    cDIB display, canvas;
    uint32_t back = 0;
    PlainComposer(cGIF& g, int w, int h) : gif(g) {
        display.Create(w, h, 32);
        canvas.Create(w, h, 32);
        display.Cls(back);
        canvas.Cls(back);
    }
    void Render(int n) {
        if (n == 1) canvas.Cls(back);
        display.LoadBlt(&canvas, 0, 0, 0, 0);
        gif.FrameDraw(display.hDC(), n, 0, 0, 1.0f, false);
        const int d = gif.FrameDisposalMethod(n);
        if (d == 0 || d == 1) {
            canvas.LoadBlt(&display, 0, 0, 0, 0);
        } else if (d == 2) {
            for (int y = 0; y < gif.FrameDIBXOR(n).Height(); ++y)
                for (int x = 0; x < gif.FrameDIBXOR(n).Width(); ++x) {
                    const int cx = gif.FrameLeft(n) + x, cy = gif.FrameTop(n) + y;
                    if (cx < canvas.Width() && cy < canvas.Height())
                        SetPixel32(canvas, cx, cy, 0); // the tests compose on black
                }
        }
    }
};

} // namespace

TEST(GifAnimation, MatchesThePlainCompositionStepByStep) {
    // Random animations with every disposal, transparency and positions
    // (some past the screen): every step's picture equals the plain one, and
    // everything that changed on screen lies inside Changed().
    std::mt19937 rng(5);
    for (int round = 0; round < 30; ++round) {
        GifPlan s = Screen(int(rng() % 40) + 1, int(rng() % 30) + 1);
        s.global = oracle::GreyRamp(16);
        const int frames = int(rng() % 6) + 1;
        for (int i = 0; i < frames; ++i) {
            FramePlan f;
            f.left = int(rng() % 45), f.top = int(rng() % 35);
            f.width = int(rng() % 20) + 1, f.height = int(rng() % 20) + 1;
            f.disposal = int(rng() % 5);
            f.transparent = rng() % 2 ? int(rng() % 16) : -1;
            for (int p = 0; p < f.width * f.height; ++p)
                f.indices.push_back(uint8_t(rng() % 16));
            s.frames.push_back(f);
        }
        cGIF gif;
        ASSERT_TRUE(gif.LoadFromStream(oracle::Encode(s)));
        GifAnimation anim(gif);
        ASSERT_TRUE(anim.CreateBuffers(0)); // black: the plain disposal fills with 0
        PlainComposer plain(gif, s.width, s.height);
        cDIB before;
        anim.Display().CloneTo(before);
        for (int step = 0; step < 3 * frames; ++step) {
            const int n = anim.Advance().frame;
            plain.Render(n);
            const cDIB& now = anim.Display();
            const GifAnimation::Rect c = anim.Changed();
            for (int y = 0; y < s.height; ++y)
                for (int x = 0; x < s.width; ++x) {
                    ASSERT_EQ(Pixel32(now, x, y), Pixel32(plain.display, x, y))
                        << "round " << round << " step " << step << " at " << x << "," << y;
                    if (Pixel32(now, x, y) != Pixel32(before, x, y)) {
                        ASSERT_TRUE(x >= c.x && x < c.x + c.w && y >= c.y && y < c.y + c.h)
                            << "round " << round << " step " << step << " outside Changed()";
                    }
                }
            now.CloneTo(before);
        }
    }
}

namespace {

// A random animation over a small screen: frames of every disposal (the
// unknown values 4 to 7 too), transparent or not, some reaching past the
// screen or lying wholly outside it, some covering the whole screen.
GifPlan RandomAnimation(std::mt19937& rng, int frames) {
    GifPlan s = Screen(int(rng() % 24) + 4, int(rng() % 16) + 4);
    s.global = oracle::GreyRamp(16);
    for (int i = 0; i < frames; ++i) {
        FramePlan f;
        if (rng() % 6 == 0) { // the whole screen, maybe more
            f.width = s.width + int(rng() % 3), f.height = s.height + int(rng() % 3);
        } else {
            f.left = int(rng() % unsigned(s.width + 6)),
            f.top = int(rng() % unsigned(s.height + 6));
            f.width = int(rng() % 12) + 1, f.height = int(rng() % 12) + 1;
        }
        f.disposal = int(rng() % 8);
        f.transparent = rng() % 3 == 0 ? int(rng() % 16) : -1;
        for (int p = 0; p < f.width * f.height; ++p)
            f.indices.push_back(uint8_t(rng() % 16));
        s.frames.push_back(f);
    }
    return s;
}

std::vector<uint8_t> Bytes(const cDIB& d) {
    return {d.lpBits(), d.lpBits() + d.size()};
}

} // namespace

TEST(GifAnimation, ShowingAnyFrameEqualsPlayingFromFrameOne) {
    // Every frame of random animations shown in three orders (each frame
    // back from the last, forward from the first, random jumps) with key
    // frames at several spacings: the display and the canvas are byte for
    // byte those of playing from frame 1, and a seek composes at most one
    // spacing's worth of frames once playing has passed the key frames.
    std::mt19937 rng(21);
    for (int round = 0; round < 24; ++round) {
        const int frames = int(rng() % 40) + 1;
        const GifPlan plan = RandomAnimation(rng, frames);
        cGIF gif;
        ASSERT_TRUE(gif.LoadFromStream(oracle::Encode(plan)));
        GifAnimation played(gif);
        ASSERT_TRUE(played.CreateBuffers(kWhite));
        std::vector<std::vector<uint8_t>> display(std::size_t(frames) + 1), canvas = display;
        for (int n = 1; n <= frames; ++n) {
            played.Advance();
            display[std::size_t(n)] = Bytes(played.Display());
            canvas[std::size_t(n)] = Bytes(played.Canvas());
        }
        for (int spacing : {1, 2, 3, 7, 16}) {
            GifAnimation anim(gif);
            anim.KeepKeyFrames(GifAnimation::kKeyFrameBytes, spacing);
            ASSERT_TRUE(anim.CreateBuffers(kWhite));
            for (int n = 1; n <= frames; ++n) // playing makes the key frames
                anim.Advance();
            ASSERT_EQ(anim.KeyFramesHeld(), (frames - 1) / spacing);
            std::vector<int> order;
            for (int n = frames; n >= 1; --n)
                order.push_back(n);
            for (int n = 1; n <= frames; ++n)
                order.push_back(n);
            for (int k = 0; k < 2 * frames; ++k)
                order.push_back(int(rng() % unsigned(frames)) + 1);
            for (int n : order) {
                const uint64_t before = anim.Compositions();
                const int32_t interval = anim.ShowFrame(n);
                const std::string where = "round " + std::to_string(round) + " spacing " +
                                          std::to_string(spacing) + " frame " + std::to_string(n);
                ASSERT_EQ(Bytes(anim.Display()), display[std::size_t(n)]) << where;
                ASSERT_EQ(Bytes(anim.Canvas()), canvas[std::size_t(n)]) << where;
                ASSERT_LE(anim.Compositions() - before, uint64_t(spacing)) << where;
                ASSERT_EQ(interval, GifAnimation::IntervalForDelay(gif.FrameDelay(n)));
                ASSERT_EQ(anim.Shown(), n);
                ASSERT_EQ(anim.CurrentFrame(), n % frames + 1);
            }
            // Playing on from a seek: the next steps are the plain ones.
            anim.ShowFrame(frames / 2 + 1);
            for (int k = 0; k < frames + 2; ++k) {
                const int n = anim.Advance().frame;
                ASSERT_EQ(Bytes(anim.Display()), display[std::size_t(n)]) << round << " " << n;
            }
        }
    }
}

TEST(GifAnimation, KeyFramesStayWithinTheirCap) {
    // 200 frames of 40 x 30 (4800 bytes a canvas): the spacing widens so that
    // the key frames fit the cap; a cap below one canvas keeps none, and the
    // pictures stay exact either way.
    std::mt19937 rng(3);
    GifPlan s = Screen(40, 30);
    s.global = oracle::GreyRamp(16);
    for (int i = 0; i < 200; ++i) {
        FramePlan f =
            Solid(int(rng() % 30), int(rng() % 20), 10, 10, uint8_t(rng() % 16), int(rng() % 4));
        f.transparent = i % 3 == 0 ? 5 : -1;
        s.frames.push_back(f);
    }
    cGIF gif;
    ASSERT_TRUE(gif.LoadFromStream(oracle::Encode(s)));
    constexpr std::size_t kCanvas = 40 * 30 * 4;
    const struct {
        std::size_t cap;
        int minSpacing, spacing, held;
    } rows[] = {
        {GifAnimation::kKeyFrameBytes, 8, 8, 24}, // room for all: the least spacing
        {10 * kCanvas, 8, 20, 9},                 // 199 frames in 10 stretches
        {10 * kCanvas + kCanvas / 2, 4, 20, 9},   // part of a canvas does not count
        {kCanvas, 8, 199, 1},
        {kCanvas - 1, 8, 0, 0}, // none
        {0, 8, 0, 0},
    };
    GifAnimation plain(gif);
    ASSERT_TRUE(plain.CreateBuffers(kWhite));
    for (const auto& r : rows) {
        GifAnimation anim(gif);
        anim.KeepKeyFrames(r.cap, r.minSpacing);
        ASSERT_TRUE(anim.CreateBuffers(kWhite));
        EXPECT_EQ(anim.KeyFrameSpacing(), r.spacing) << r.cap;
        for (int k = 0; k < 2 * 200; ++k) { // two loops: nothing is kept twice
            anim.Advance();
            ASSERT_LE(anim.KeyFrameBytes(), r.cap);
        }
        EXPECT_EQ(anim.KeyFramesHeld(), r.held) << r.cap;
        EXPECT_EQ(anim.KeyFrameBytes(), std::size_t(r.held) * kCanvas) << r.cap;
        for (int n : {200, 150, 99, 2, 1, 180}) {
            anim.ShowFrame(n);
            plain.ShowFrame(n); // no key frames: from frame 1
            ASSERT_EQ(Bytes(anim.Display()), Bytes(plain.Display())) << r.cap << " " << n;
        }
        // New buffers (another back colour) drop them.
        ASSERT_TRUE(anim.CreateBuffers(0));
        EXPECT_EQ(anim.KeyFrameBytes(), 0u);
    }
}

TEST(GifAnimation, KeyFramesComeOnlyFromFramesPlayedInOrder) {
    // A frame drawn out of order leaves a canvas that playing from frame 1
    // never has: no key frame is kept from it until frame 1 or a frame that
    // covers the screen without transparency starts it afresh.
    GifPlan s = Screen(8, 8);
    for (int i = 0; i < 12; ++i)
        s.frames.push_back(Solid(i % 8, i % 8, 1, 1, uint8_t(i % 3)));
    s.frames[9] = Solid(0, 0, 8, 8, 3); // frame 10 resets the canvas
    cGIF gif;
    ASSERT_TRUE(gif.LoadFromStream(oracle::Encode(s)));
    GifAnimation anim(gif);
    anim.KeepKeyFrames(GifAnimation::kKeyFrameBytes, 2);
    ASSERT_TRUE(anim.CreateBuffers(kWhite));
    anim.SetCurrentFrame(4); // frames 4 and 5 drawn over a clean canvas
    anim.Advance();
    anim.Advance(); // before frame 5 would be a key frame: not kept
    EXPECT_EQ(anim.KeyFramesHeld(), 0);
    for (int k = 0; k < 7; ++k) // frames 6 to 12: kept from frame 10 on (before 11)
        anim.Advance();
    EXPECT_EQ(anim.KeyFramesHeld(), 1);
    GifAnimation plain(gif);
    ASSERT_TRUE(plain.CreateBuffers(kWhite));
    for (int n = 12; n >= 1; --n) {
        anim.ShowFrame(n);
        plain.ShowFrame(n);
        ASSERT_EQ(Bytes(anim.Display()), Bytes(plain.Display())) << n;
    }
}

TEST(GifAnimation, SampledBuffersShowTheShrunkComposition) {
    // Random animations composed into buffers of a smaller shown size, two
    // loops, and shown from a seek: every frame is the whole composition
    // shrunk by the nearest-pixel sampling of a stretch, and the part said to
    // have changed covers every pixel that did.
    std::mt19937 rng(33);
    for (int round = 0; round < 40; ++round) {
        const int frames = int(rng() % 30) + 1;
        const GifPlan plan = RandomAnimation(rng, frames);
        cGIF gif;
        ASSERT_TRUE(gif.LoadFromStream(oracle::Encode(plan)));
        GifAnimation whole(gif), sampled(gif);
        const int w = int(rng() % unsigned(plan.width)) + 1;
        const int h = round % 4 == 0 ? plan.height + 5 : int(rng() % unsigned(plan.height)) + 1;
        ASSERT_TRUE(whole.CreateBuffers(kWhite));
        ASSERT_TRUE(sampled.CreateBuffers(kWhite, w, h));
        ASSERT_EQ(sampled.Display().Width(), w);
        ASSERT_EQ(sampled.Display().Height(), std::min(h, plan.height));
        ASSERT_EQ(sampled.Sampled(), true);
        const std::vector<int32_t> xs = SampleMap(w, 0, plan.width, false);
        const std::vector<int32_t> ys =
            SampleMap(sampled.Display().Height(), 0, plan.height, false);
        auto check = [&](const std::string& where) {
            for (std::size_t j = 0; j < ys.size(); ++j)
                for (std::size_t i = 0; i < xs.size(); ++i)
                    ASSERT_EQ(Pixel(sampled.Display(), int(i), int(j)),
                              Pixel(whole.Display(), xs[i], ys[j]))
                        << where << " at " << i << "," << j;
        };
        std::vector<uint8_t> before = Bytes(sampled.Display());
        for (int k = 0; k < 2 * frames; ++k) {
            const int n = whole.Advance().frame;
            ASSERT_EQ(sampled.Advance().frame, n);
            check("round " + std::to_string(round) + " frame " + std::to_string(n));
            const GifAnimation::Rect c = sampled.Changed();
            const std::vector<uint8_t> after = Bytes(sampled.Display());
            const auto stride = std::size_t(sampled.Display().BytesPerScanline());
            for (std::size_t at = 0; at < after.size(); ++at) {
                const auto x = int32_t(at % stride / 4), y = int32_t(at / stride);
                const bool inside = x >= c.x && x < c.x + c.w && y >= c.y && y < c.y + c.h;
                ASSERT_TRUE(after[at] == before[at] || inside)
                    << round << " " << n << " " << x << "," << y;
            }
            before = after;
        }
        const int n = int(rng() % unsigned(frames)) + 1;
        whole.ShowFrame(n);
        sampled.ShowFrame(n);
        check("round " + std::to_string(round) + " shown " + std::to_string(n));
    }
}
