// Frames decoded on demand: the same pixels and compositions as decoding
// every frame at once, whatever the cap on decoded frames; the cap kept,
// least recently used frames let go first; frames past the size limit never
// decoded; a file cut in a late frame still showing the earlier ones; edits
// seeing the pixels they saw before.
#include "gif/ByteSink.h"
#include "gif/GifAnimation.h"
#include "gif/cGIF.h"
#include "tests/GifOracle.h"
#include "tests/GifTestUtil.h"

#include <functional>
#include <gtest/gtest.h>
#include <limits>

using oracle::Container;
using oracle::FramePlan;
using oracle::GifPlan;

namespace {

constexpr std::size_t kNoCap = std::numeric_limits<std::size_t>::max();

// Limits with the cap on decoded frames at `bytes`.
cGIF::Limits ResidentCap(std::size_t bytes) {
    cGIF::Limits limits;
    limits.residentBytes = bytes;
    return limits;
}

// Surface and mask bytes of a decoded w x h frame (rows padded to 4 bytes).
std::size_t FrameBytes(int w, int h) {
    const std::size_t stride = (std::size_t(w) + 3) / 4 * 4;
    const std::size_t maskStride = (std::size_t(w) + 31) / 32 * 4;
    return (stride + maskStride) * std::size_t(h);
}

// Random animations with every disposal, transparency, interlacing, local
// tables and frames reaching past the screen.
GifPlan RandomPlan(std::mt19937& rng, int frames) {
    GifPlan s;
    s.width = int(rng() % 60) + 1, s.height = int(rng() % 50) + 1;
    s.global = oracle::GreyRamp(16);
    for (int i = 0; i < frames; ++i) {
        FramePlan f;
        f.left = int(rng() % 50), f.top = int(rng() % 40);
        f.width = int(rng() % 40) + 1, f.height = int(rng() % 40) + 1;
        f.disposal = int(rng() % 5);
        f.interlaced = rng() % 3 == 0;
        int colors = 16;
        if (rng() % 3 == 0) {
            colors = 4;
            f.local = oracle::GreyRamp(colors);
        }
        f.transparent = rng() % 2 ? int(rng() % unsigned(colors)) : -1;
        for (int p = 0; p < f.width * f.height; ++p)
            f.indices.push_back(uint8_t(rng() % unsigned(colors)));
        s.frames.push_back(f);
    }
    return s;
}

// The display buffer of every step of `loops` loops, on black.
std::vector<std::vector<uint8_t>> Compose(cGIF& gif, int loops) {
    GifAnimation anim(gif);
    std::vector<std::vector<uint8_t>> steps;
    if (!anim.CreateBuffers(0)) return steps;
    for (int k = 0; k < loops * gif.FramesCount(); ++k) {
        anim.Advance();
        const cDIB& d = anim.Display();
        steps.emplace_back(d.lpBits(), d.lpBits() + d.size());
    }
    return steps;
}

// Every frame read once, as a document that decoded them all when it loaded.
void DecodeAll(const cGIF& gif) {
    for (int n = 1; n <= gif.FramesCount(); ++n)
        gif.FrameDIBXOR(n);
}

std::vector<uint8_t> Saved(cGIF& gif) {
    VectorSink sink;
    return gif.SaveTo(sink) ? sink.bytes : std::vector<uint8_t>{};
}

// What a document shows and writes back: every step of `loops` loops and
// the file saved after them, under a cap of `capBytes`, after `edit`. With
// `decodeAll` every frame is read first, as when loading decoded them all.
struct Played {
    std::vector<std::vector<uint8_t>> steps;
    std::vector<uint8_t> saved;
};
Played Play(const std::vector<uint8_t>& bytes, std::size_t capBytes, bool decodeAll, int loops,
            const std::function<void(cGIF&)>& edit = {}) {
    cGIF gif(ResidentCap(capBytes));
    Played p;
    if (!gif.LoadFromStream(bytes)) return p;
    if (decodeAll) DecodeAll(gif);
    if (edit) edit(gif);
    p.steps = Compose(gif, loops);
    p.saved = Saved(gif);
    return p;
}

// A small GIF of `frames` w x h noise frames with a global table.
GifPlan Noise(int frames, int w, int h, uint32_t seed = 1) {
    std::mt19937 rng(seed);
    GifPlan s;
    s.width = w, s.height = h;
    s.global = oracle::GreyRamp(256);
    for (int i = 0; i < frames; ++i) {
        FramePlan f;
        f.width = w, f.height = h;
        f.disposal = i % 3;
        for (int p = 0; p < w * h; ++p)
            f.indices.push_back(uint8_t(rng()));
        s.frames.push_back(f);
    }
    return s;
}

} // namespace

TEST(GifOnDemand, LoadingDecodesOnlyTheFirstFrame) {
    const std::vector<uint8_t> bytes = oracle::Encode(Noise(5, 30, 20));
    cGIF gif;
    ASSERT_TRUE(gif.LoadFromStream(bytes));
    ASSERT_EQ(gif.FramesCount(), 5);
    EXPECT_TRUE(gif.FrameDecoded(1));
    for (int n = 2; n <= 5; ++n) {
        EXPECT_FALSE(gif.FrameDecoded(n)) << n;
        EXPECT_EQ(gif.FrameWidth(n), 30) << "sizes are known undecoded";
        EXPECT_EQ(gif.FrameHeight(n), 20);
    }
    EXPECT_EQ(gif.PixelBytes(), FrameBytes(30, 20));
    EXPECT_EQ(gif.SourceBytes(), bytes.size());
}

TEST(GifOnDemand, ComposesAsAFullDecodeUnderAnyCap) {
    // Random animations: every step's picture, the frames' indices (against
    // giflib) and the file written back are the same whether every frame
    // was decoded up front or frames come and go under a cap.
    std::mt19937 rng(18);
    for (int round = 0; round < 25; ++round) {
        const GifPlan plan = RandomPlan(rng, int(rng() % 7) + 2);
        const std::vector<uint8_t> bytes = oracle::Encode(plan);
        const auto giflib = oracle::Decode(bytes);
        ASSERT_TRUE(giflib.has_value());
        const Played full = Play(bytes, kNoCap, true, 3);
        ASSERT_FALSE(full.steps.empty());
        const std::size_t oneFrame = FrameBytes(40, 40);
        for (const std::size_t capBytes : {std::size_t(0), oneFrame, 3 * oneFrame, kNoCap}) {
            const Played p = Play(bytes, capBytes, false, 3);
            EXPECT_TRUE(p.steps == full.steps) << "round " << round << " cap " << capBytes;
            EXPECT_TRUE(p.saved == full.saved) << "round " << round << " cap " << capBytes;
            cGIF gif(ResidentCap(capBytes));
            ASSERT_TRUE(gif.LoadFromStream(bytes));
            for (int n = 1; n <= gif.FramesCount(); ++n)
                EXPECT_TRUE(ReadIndices(gif, n) == giflib->frames[std::size_t(n - 1)].indices)
                    << "round " << round << " frame " << n << " cap " << capBytes;
        }
    }
}

TEST(GifOnDemand, CapIsKeptLeastRecentlyUsedGoFirst) {
    // Ten 100 x 100 frames; the cap holds three. Each row reads frames in
    // an order; the frames decoded afterwards are the three read last.
    struct Row {
        const char* what;
        std::vector<int> reads;
        std::vector<int> held;
    };
    const Row rows[] = {
        {"in order", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {8, 9, 10}},
        {"a frame read again stays", {1, 2, 3, 1, 4}, {1, 3, 4}},
        {"an evicted frame comes back", {1, 2, 3, 4, 5, 1}, {4, 5, 1}},
        {"backwards", {10, 9, 8, 7, 6, 5, 4, 3, 2, 1}, {1, 2, 3}},
        {"the same frame over and over", {6, 6, 6, 6}, {1, 6}},
    };
    const GifPlan plan = Noise(10, 100, 100);
    const std::vector<uint8_t> bytes = oracle::Encode(plan);
    for (const Row& r : rows) {
        cGIF gif(ResidentCap(3 * FrameBytes(100, 100)));
        ASSERT_TRUE(gif.LoadFromStream(bytes)); // decodes frame 1
        for (int n : r.reads) {
            EXPECT_TRUE(ReadIndices(gif, n) == plan.frames[std::size_t(n - 1)].indices)
                << r.what << ": frame " << n << " decodes to its pixels, again and again";
            EXPECT_LE(gif.PixelBytes(), gif.DocumentLimits().residentBytes) << r.what;
        }
        std::vector<int> held;
        for (int n = 1; n <= 10; ++n)
            if (gif.FrameDecoded(n)) held.push_back(n);
        std::vector<int> expected = r.held;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(held, expected) << r.what;
        EXPECT_EQ(gif.PixelBytes(), held.size() * FrameBytes(100, 100)) << r.what;
    }
}

TEST(GifOnDemand, FramesPastTheSizeLimitAreNeverDecoded) {
    // A small screen; frame 1 is one pixel, frame 2 declares the row's size
    // over a stream of three codes. A frame whose 8-bit surface passes the
    // limit keeps its size without pixels and costs nothing.
    struct Row {
        int w, h;
        bool drawable;
    };
    const Row rows[] = {
        {44664, 15599, false}, // 697 MB of indices from a few bytes
        {16384, 16384, true},  // exactly the limit
        {16384, 16385, false}, {65535, 65535, false}, {65535, 4096, true},
    };
    static_assert(std::size_t(16384) * 16384 == cGIF::kMaxFrameBytes);
    for (const Row& r : rows) {
        std::vector<uint8_t> g = Container(1, 1, 2, {0x4C, 0x01}); // one pixel: clear, 0, end
        g.pop_back();                                              // the trailer
        g.insert(g.end(), {0x2C, 0, 0, 0, 0, uint8_t(r.w), uint8_t(r.w >> 8), uint8_t(r.h),
                           uint8_t(r.h >> 8), 0, 2, 2, 0x4C, 0x01, 0, 0x3B});
        cGIF gif;
        ASSERT_TRUE(gif.LoadFromStream(g));
        ASSERT_EQ(gif.FramesCount(), 2);
        EXPECT_EQ(gif.FrameDrawable(2), r.drawable) << r.w << "x" << r.h;
        EXPECT_EQ(gif.FrameWidth(2), r.w);
        EXPECT_EQ(gif.FrameHeight(2), r.h);
        EXPECT_FALSE(gif.FrameDecoded(2)) << "nothing decoded past the first frame";
        EXPECT_TRUE(gif.AnyFrameDrawable());
        if (r.drawable) continue;
        EXPECT_EQ(std::as_const(gif).FrameDIBXOR(2).lpBits(), nullptr);
        EXPECT_EQ(gif.PixelBytes(), FrameBytes(1, 1)) << "reading it decoded nothing";
        // Alone in a file, nothing can be shown; drawing it draws nothing.
        const std::vector<uint8_t> alone = Container(r.w, r.h, 2, {0x4C, 0x01});
        ASSERT_TRUE(gif.LoadFromStream(alone));
        EXPECT_FALSE(gif.AnyFrameDrawable());
        EXPECT_EQ(gif.PixelBytes(), 0u);
        cDIB target;
        ASSERT_TRUE(target.Create(4, 4, 32));
        target.Cls(0x123456);
        gif.FrameDraw(target.hDC(), 1, 0, 0, 1.0f, false);
        EXPECT_EQ(gif.PixelBytes(), 0u);
    }
}

TEST(GifOnDemand, FileCutInALateFrameShowsTheEarlierOnes) {
    // Cut at every few bytes of the last frame (from its descriptor to its
    // terminator): the earlier frames are whole, the last keeps what its
    // data reached, and frames let go decode again to the same pixels.
    const GifPlan plan = Noise(4, 40, 30, 9);
    const std::vector<uint8_t> whole = oracle::Encode(plan);
    std::size_t last = whole.size();
    while (last > 0 && whole[last - 1] != 0x2C)
        --last;
    ASSERT_GT(last, 0u);
    for (std::size_t end = last - 1; end < whole.size(); end += 37) {
        const std::vector<uint8_t> cut(whole.begin(), whole.begin() + std::ptrdiff_t(end));
        cGIF gif(ResidentCap(0)); // only the frame being read is held
        ASSERT_TRUE(gif.LoadFromStream(cut)) << end;
        ASSERT_GE(gif.FramesCount(), 3) << end;
        for (int n = 1; n <= 3; ++n)
            EXPECT_TRUE(ReadIndices(gif, n) == plan.frames[std::size_t(n - 1)].indices) << end;
        const std::vector<std::vector<uint8_t>> first = Compose(gif, 2);
        EXPECT_TRUE(Compose(gif, 2) == first) << end << ": decoded again, the same";
        if (gif.FramesCount() < 4) continue;
        const std::vector<uint8_t> partial = ReadIndices(gif, 4);
        ASSERT_EQ(partial.size(), plan.frames[3].indices.size()) << end;
        // The pixels the data reached are the frame's; the rest stay 0.
        std::size_t reached = 0;
        while (reached < partial.size() && partial[reached] == plan.frames[3].indices[reached])
            ++reached;
        for (std::size_t p = reached; p < partial.size(); ++p)
            ASSERT_EQ(partial[p], 0) << end << " at " << p;
    }
}

TEST(GifOnDemand, EditsSeeThePixelsDecodedBefore) {
    // Each edit is made to a document that decoded every frame first and to
    // one under a cap of nothing, where most frames are not decoded when the
    // edit comes: the pictures and the file written back are the same.
    struct Row {
        const char* what;
        std::function<void(cGIF&)> edit;
    };
    const Row rows[] = {
        {"a pixel written",
         [](cGIF& g) {
             g.FrameDIBXOR(2).lpBits()[5] = 3;
             g.FrameDIBXOR(3).lpBits()[0] = 200;
         }},
        {"transparent index changed", [](cGIF& g) { g.SetFrameTransparentColorIndex(3, 7); }},
        {"transparency turned on", [](cGIF& g) { g.SetFrameUseTransparentColor(4, true); }},
        {"interlace flag flipped", [](cGIF& g) { g.SetFrameInterlaced(2, true); }},
        {"local table changed", [](cGIF& g) { g.LocalPalette(3)[4] = 0xAB; }},
        {"mask rebuilt", [](cGIF& g) { g.FrameMask(4, 9); }},
        {"frame inserted", [](cGIF& g) { g.FrameInsert(2, 12, 9); }},
        {"frame removed", [](cGIF& g) { g.FrameRemove(2); }},
        {"frames moved",
         [](cGIF& g) {
             g.FrameMoveUp(4);
             g.FrameMoveDown(1);
         }},
    };
    GifPlan plan = Noise(5, 24, 16, 4);
    plan.frames[2].transparent = 5;
    plan.frames[3].indices[0] = 9;
    const std::vector<uint8_t> bytes = oracle::Encode(plan);
    for (const Row& r : rows) {
        const Played before = Play(bytes, kNoCap, true, 2, r.edit);
        const Played after = Play(bytes, 0, false, 2, r.edit);
        EXPECT_FALSE(before.steps.empty()) << r.what;
        EXPECT_FALSE(before.saved.empty()) << r.what;
        EXPECT_TRUE(after.steps == before.steps) << r.what;
        EXPECT_TRUE(after.saved == before.saved) << r.what;
    }
}
