#include "gif/ByteSink.h"
#include "gif/cGIF.h"
#include "gif/mGIFLZWDec.h"
#include "gif/mGIFLZWEnc.h"
#include "tests/GifOracle.h"
#include "tests/GifTestUtil.h"
#include "tests/TempDir.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

namespace {

using oracle::CodeWriter;
using oracle::Container;

std::vector<uint8_t> RandomIndices(std::mt19937& rng, int w, int h, int colors, bool smooth) {
    std::vector<uint8_t> v(std::size_t(w) * std::size_t(h));
    std::uniform_int_distribution<int> pick(0, colors - 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            v[std::size_t(y) * std::size_t(w) + std::size_t(x)] =
                uint8_t(smooth ? ((x / 7 + y / 5) % colors) : pick(rng));
    return v;
}

// giflib writes random documents; every frame must read back to its indices and fields.
TEST(GifReader, MatchesGiflibOnRandomDocuments) {
    std::mt19937 rng(20261207);
    for (int doc = 0; doc < 60; ++doc) {
        oracle::GifPlan plan;
        const bool big = doc % 15 == 0;
        std::uniform_int_distribution<int> size(1, big ? 2000 : 120);
        plan.width = size(rng);
        plan.height = size(rng);
        const int codeSize = 2 + doc % 7; // minimum code sizes 2 to 8
        plan.global = oracle::GreyRamp(1 << codeSize);
        if (doc % 3 == 0) plan.loops = doc * 97 % 65536;
        const int frames = big ? 1 : 1 + doc % 4;
        for (int i = 0; i < frames; ++i) {
            oracle::FramePlan f;
            f.width = std::uniform_int_distribution<int>(1, plan.width)(rng);
            f.height = std::uniform_int_distribution<int>(1, plan.height)(rng);
            f.left = std::uniform_int_distribution<int>(0, plan.width - f.width)(rng);
            f.top = std::uniform_int_distribution<int>(0, plan.height - f.height)(rng);
            f.interlaced = (doc + i) % 2 == 1;
            int colors = int(plan.global.size());
            if ((doc + i) % 4 == 1) {
                colors = 1 << (2 + (doc + 3 * i) % 7);
                f.local = oracle::GreyRamp(colors);
            }
            f.transparent = (doc + i) % 3 == 0 ? int(rng() % unsigned(colors)) : -1;
            f.disposal = (doc + i) % 8;
            f.delay = int(rng() % 1000);
            f.userInput = i % 2 == 1;
            f.indices = RandomIndices(rng, f.width, f.height, colors, doc % 2 == 0);
            plan.frames.push_back(f);
        }
        const std::vector<uint8_t> bytes = oracle::Encode(plan);
        cGIF gif;
        ASSERT_TRUE(gif.LoadFromStream(bytes)) << doc;
        ASSERT_EQ(gif.FramesCount(), frames) << doc;
        EXPECT_EQ(gif.ScreenWidth(), plan.width);
        EXPECT_EQ(gif.AnimationLoops(), int16_t(plan.loops.value_or(0)));
        EXPECT_EQ(gif.GlobalPaletteEntries(), int(plan.global.size()));
        for (int n = 1; n <= frames; ++n) {
            const oracle::FramePlan& f = plan.frames[std::size_t(n - 1)];
            SCOPED_TRACE("doc " + std::to_string(doc) + " frame " + std::to_string(n));
            EXPECT_EQ(FrameIndices(gif, n), f.indices);
            EXPECT_EQ(gif.FrameLeft(n), f.left);
            EXPECT_EQ(gif.FrameTop(n), f.top);
            EXPECT_EQ(gif.FrameInterlaced(n), f.interlaced);
            EXPECT_EQ(gif.FrameDelay(n), f.delay);
            EXPECT_EQ(gif.FrameDisposalMethod(n), f.disposal);
            EXPECT_EQ(gif.FrameUserInput(n), f.userInput);
            EXPECT_EQ(gif.FrameUseTransparentColor(n), f.transparent >= 0);
            EXPECT_EQ(gif.LocalPaletteUsed(n), !f.local.empty());
            const auto& colors = f.local.empty() ? plan.global : f.local;
            EXPECT_EQ(gif.LocalPaletteEntries(n), int(colors.size()));
            const oracle::Color c = colors.back();
            EXPECT_EQ(gif.LocalPaletteRGBEntry(n, uint8_t(colors.size() - 1)),
                      uint32_t(c.r | (c.g << 8) | (c.b << 16)));
            if (f.transparent >= 0) {
                // The mask is white exactly where the index is the transparent one.
                cDIB& mask = gif.FrameDIBAND(n);
                for (int y = 0; y < f.height; y += std::max(1, f.height / 7))
                    for (int x = 0; x < f.width; x += std::max(1, f.width / 7))
                        ASSERT_EQ(MaskBit(mask, x, y),
                                  f.indices[std::size_t(y * f.width + x)] == f.transparent);
            }
        }
    }
}

TEST(GifReader, InterlacedFramesOfEveryShortHeight) {
    for (int h = 1; h <= 10; ++h) {
        oracle::GifPlan plan;
        plan.width = 3;
        plan.height = h;
        plan.global = oracle::GreyRamp(16);
        oracle::FramePlan f;
        f.width = 3;
        f.height = h;
        f.interlaced = true;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < 3; ++x)
                f.indices.push_back(uint8_t(y + x));
        plan.frames.push_back(f);
        cGIF gif;
        ASSERT_TRUE(gif.LoadFromStream(oracle::Encode(plan)));
        EXPECT_EQ(FrameIndices(gif, 1), f.indices) << "height " << h;
    }
}

// Hand-made streams, m = 2 (clear 4, end 5, codes 3 bits wide at first).
struct Stream {
    CodeWriter w;
    int width = 3;
    Stream& operator()(int code) {
        w.Put(code, width);
        return *this;
    }
};

std::vector<uint8_t> DecodeOne(const std::vector<uint8_t>& file) {
    cGIF gif;
    EXPECT_TRUE(gif.LoadFromStream(file));
    EXPECT_EQ(gif.FramesCount(), 1);
    return FrameIndices(gif, 1);
}

TEST(GifDecoder, HandMadeStreams) {
    { // a code equal to the next free code: previous string plus its own first byte
        Stream s;
        s(4)(1)(6)(5); // 1, then code 6 = "1" + "1"
        EXPECT_EQ(DecodeOne(Container(3, 1, 2, s.w.Finish(), false, 2)),
                  (std::vector<uint8_t>{1, 1, 1}));
    }
    { // no clear code first: the first code is the frame's first pixel, as giflib reads it
        Stream s;
        s(1)(6)(5);
        const std::vector<uint8_t> file = Container(3, 1, 2, s.w.Finish(), false, 2);
        EXPECT_EQ(DecodeOne(file), (std::vector<uint8_t>{1, 1, 1}));
        const auto reference = oracle::Decode(file);
        ASSERT_TRUE(reference);
        EXPECT_EQ(reference->frames[0].indices, (std::vector<uint8_t>{1, 1, 1}));
    }
    { // two clear codes in a row: the second resets again and emits nothing
        Stream s;
        s(4)(4)(2)(4)(3)(5);
        EXPECT_EQ(DecodeOne(Container(2, 1, 2, s.w.Finish(), false, 2)),
                  (std::vector<uint8_t>{2, 3}));
    }
    { // data cut in the middle of a code: what was decoded stays, the rest is 0
        Stream s;
        s(4)(1)(2)(3);
        std::vector<uint8_t> data = s.w.Finish(); // 12 bits: 2 bytes, the last code cut
        data.pop_back();
        EXPECT_EQ(DecodeOne(Container(4, 1, 2, data, false, 2)),
                  (std::vector<uint8_t>{1, 0, 0, 0}));
    }
    { // a code above the next free code stops the frame
        Stream s;
        s(4)(1)(7)(2)(5);
        EXPECT_EQ(DecodeOne(Container(3, 1, 2, s.w.Finish(), false, 2)),
                  (std::vector<uint8_t>{1, 0, 0}));
    }
    { // more pixels than the frame holds: the surplus is dropped, the padding untouched
        Stream s;
        s(4)(1)(2)(3); // entry 7 is added here: codes are 4 bits wide from now on
        s.width = 4;
        s(1)(2)(3)(5);
        EXPECT_EQ(DecodeOne(Container(5, 1, 2, s.w.Finish(), false, 2)),
                  (std::vector<uint8_t>{1, 2, 3, 1, 2}));
    }
}

// giflib's reading of the first frame of a file whose image data may stop
// early: the indices DGifGetLine leaves in a zeroed frame, row by row in the
// order they are stored, up to its first error.
std::vector<uint8_t> GiflibReadsFirstFrame(const std::vector<uint8_t>& file) {
    oracle::Reader reader{&file};
    int error = 0;
    GifFileType* gif = DGifOpen(&reader, oracle::ReadFromVector, &error);
    if (!gif) return {};
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    while (DGifGetRecordType(gif, &type) == GIF_OK && type != IMAGE_DESC_RECORD_TYPE &&
           type != TERMINATE_RECORD_TYPE) {
    }
    std::vector<uint8_t> indices;
    if (type == IMAGE_DESC_RECORD_TYPE && DGifGetImageDesc(gif) == GIF_OK) {
        const GifImageDesc& d = gif->Image;
        indices.assign(std::size_t(d.Width) * std::size_t(d.Height), 0);
        for (int row : oracle::StoredRowOrder(d.Height, d.Interlace))
            if (DGifGetLine(gif, indices.data() + std::size_t(row) * std::size_t(d.Width),
                            d.Width) != GIF_OK)
                break;
    }
    DGifCloseFile(gif, &error);
    return indices;
}

// The image data of a one-frame file without extensions, its sub-blocks joined.
std::vector<uint8_t> JoinedImageData(const std::vector<uint8_t>& file, std::size_t tableEntries) {
    constexpr std::size_t kScreen = 13, kDescriptor = 10, kCodeSize = 1;
    std::vector<uint8_t> data;
    std::size_t at = kScreen + 3 * tableEntries + kDescriptor + kCodeSize;
    while (at < file.size() && file[at] != 0) {
        data.insert(data.end(), file.begin() + std::ptrdiff_t(at + 1),
                    file.begin() + std::ptrdiff_t(at + 1 + file[at]));
        at += 1 + file[at];
    }
    return data;
}

// A frame whose data stops early keeps what was decoded, and every index
// after the last decoded pixel is 0, as giflib reads it; whatever the
// decoder's memory held before (a whole frame decoded just before on the
// same thread), and whether the rows go straight into the surface (no
// padding), through a run of pixels (padded rows) or in interlace passes.
// Every index the file holds is 1 or more, so a stale one shows.
TEST(GifDecoder, DataThatStopsEarlyLeavesZeroAfterTheLastPixel) {
    constexpr int kColours = 16, kCodeSize = 4, kCuts = 9;
    const struct {
        int width, height;
        bool interlaced;
    } shapes[] = {{200, 100, false}, {201, 100, false}, {200, 100, true}};
    std::mt19937 rng(28);
    for (const auto& shape : shapes) {
        oracle::GifPlan plan;
        plan.width = shape.width, plan.height = shape.height;
        plan.global = oracle::GreyRamp(kColours);
        oracle::FramePlan f;
        f.width = shape.width, f.height = shape.height, f.interlaced = shape.interlaced;
        f.gce = false;
        for (int y = 0; y < f.height; ++y)
            for (int x = 0; x < f.width; ++x)
                f.indices.push_back(uint8_t(1 + (x / 5 + y / 3 + int(rng() % 3 == 0)) % 15));
        plan.frames.push_back(f);
        const std::vector<uint8_t> whole = oracle::Encode(plan);
        const std::vector<uint8_t> data = JoinedImageData(whole, kColours);
        ASSERT_EQ(GiflibReadsFirstFrame(whole), f.indices);
        for (int cut = 1; cut <= kCuts; ++cut) {
            const std::size_t kept =
                data.size() * std::size_t(cut) / (kCuts + 1) + std::size_t(cut);
            const auto file = Container(shape.width, shape.height, kCodeSize,
                                        std::vector<uint8_t>(data.begin(), data.begin() + kept),
                                        shape.interlaced, kCodeSize);
            const std::vector<uint8_t> reference = GiflibReadsFirstFrame(file);
            ASSERT_EQ(reference.size(), f.indices.size());
            const auto zeros = std::size_t(std::count(reference.begin(), reference.end(), 0));
            ASSERT_GT(zeros, 0u) << "the cut stops the frame early";
            ASSERT_LT(zeros, reference.size()) << "and after some pixels";
            EXPECT_EQ(DecodeOne(whole), f.indices); // the scratch now holds a whole frame
            EXPECT_EQ(DecodeOne(file), reference)
                << shape.width << " x " << shape.height << (shape.interlaced ? " interlaced" : "")
                << ", data cut to " << kept << " of " << data.size() << " bytes";
        }
    }
}

TEST(GifDecoder, FullTableWithoutClearKeepsDecodingAtTwelveBits) {
    // Fill the table with m = 2: each code after the first adds one entry.
    // Codes 0,1,0,1,... build entries; then keep going past 4096 at 12 bits.
    CodeWriter w;
    int width = 3, next = 6;
    w.Put(4, width);
    std::vector<uint8_t> expected;
    int previous = -1;
    std::mt19937 rng(7);
    for (int i = 0; i < 6000; ++i) {
        const int code = int(rng() % 4); // roots only: always valid
        w.Put(code, width);
        expected.push_back(uint8_t(code));
        if (previous >= 0 && next < 4096) {
            ++next;
            if (next > (1 << width) - 1 && width < 12) ++width;
        }
        previous = code;
    }
    w.Put(5, width);
    const std::vector<uint8_t> file = Container(100, 60, 2, w.Finish(), false, 2);
    EXPECT_EQ(DecodeOne(file), expected);
    const auto reference = oracle::Decode(file);
    ASSERT_TRUE(reference);
    EXPECT_EQ(reference->frames[0].indices, expected);
}

TEST(GifDecoder, UnusableCodeSizesLeaveTheFrameBlank) {
    for (int m : {0, 12, 255}) {
        std::vector<uint8_t> data(40, 0xAB);
        const std::vector<uint8_t> v = DecodeOne(Container(4, 4, m, data));
        EXPECT_EQ(v, std::vector<uint8_t>(16, 0)) << m;
    }
    // Size 11 still decodes: clear 2048, codes 12 bits wide.
    CodeWriter w;
    w.Put(2048, 12);
    w.Put(0x7FF, 12); // low 8 bits 0xFF
    w.Put(2049, 12);
    EXPECT_EQ(DecodeOne(Container(1, 1, 11, w.Finish())), (std::vector<uint8_t>{0xFF}));
}

TEST(GifDecoder, LongStringsWithSmallCodeSizes) {
    // One colour over a big frame makes strings thousands of bytes long.
    oracle::GifPlan plan;
    plan.width = 2000;
    plan.height = 2000;
    plan.global = oracle::GreyRamp(4);
    oracle::FramePlan f;
    f.width = f.height = 2000;
    f.indices.assign(2000u * 2000u, 3);
    plan.frames.push_back(f);
    cGIF gif;
    ASSERT_TRUE(gif.LoadFromStream(oracle::Encode(plan)));
    EXPECT_EQ(FrameIndices(gif, 1), f.indices);
}

// A small document with every kind of block, put together by hand.
std::vector<uint8_t> Header(const char* version = "89a") {
    const uint8_t head[13] = {
        'G',  'I', 'F', uint8_t(version[0]), uint8_t(version[1]), uint8_t(version[2]), 4, 0, 2, 0,
        0x81, 1,   0};
    std::vector<uint8_t> g;
    g.reserve(1024);
    g.assign(head, head + 13);
    for (int i = 0; i < 4; ++i) {
        g.push_back(uint8_t(60 * i));
        g.push_back(uint8_t(i));
        g.push_back(9);
    }
    return g;
}
void AddGce(std::vector<uint8_t>& g, uint8_t packed, uint16_t delay, uint8_t transparent) {
    g.insert(g.end(), {0x21, 0xF9, 4, packed, uint8_t(delay), uint8_t(delay >> 8), transparent, 0});
}
void AddImage(std::vector<uint8_t>& g, std::vector<uint8_t> localTable = {}) {
    const uint8_t packed = localTable.empty() ? 0 : uint8_t(0x80 | 0x20 | 1); // 4 entries, sorted
    g.insert(g.end(), {0x2C, 0, 0, 0, 0, 4, 0, 2, 0, packed});
    g.insert(g.end(), localTable.begin(), localTable.end());
    CodeWriter w;
    w.Put(4, 3);
    for (int i = 0; i < 8; ++i) {
        w.Put(4, 3); // clear before every pixel keeps the widths at 3 bits
        w.Put(i % 4, 3);
    }
    w.Put(5, 3);
    const auto data = w.Finish();
    g.push_back(2);
    g.push_back(uint8_t(data.size()));
    g.insert(g.end(), data.begin(), data.end());
    g.push_back(0);
}

TEST(GifReader, HeaderChecks) {
    cGIF gif;
    auto g = Header();
    g.push_back(0x3B);
    EXPECT_TRUE(gif.LoadFromStream(g));
    EXPECT_EQ(gif.FramesCount(), 0);
    EXPECT_EQ(gif.Version(), "89a");
    for (const char* bad : {"gif89a", "GIF88a", "GIF89b", "GIF"}) {
        std::vector<uint8_t> b(g);
        std::memcpy(b.data(), bad, std::min<std::size_t>(6, std::strlen(bad)));
        if (std::strlen(bad) < 6) b.resize(std::strlen(bad));
        EXPECT_FALSE(gif.LoadFromStream(b)) << bad;
        EXPECT_EQ(gif.FramesCount(), 0);
        EXPECT_EQ(gif.ScreenWidth(), 0) << "a failed load leaves the document empty";
    }
    EXPECT_FALSE(gif.LoadFromStream({}));
}

TEST(GifReader, ExtensionsAndTheirSlots) {
    auto g = Header();
    AddGce(g, 0x01, 10, 3);         // transparent index 3
    AddGce(g, (2 << 2) | 2, 20, 0); // second one wins, no transparency, index stays 3
    // A comment holding "!", "," and ";" and ending in a zero data byte.
    g.insert(g.end(), {0x21, 0xFE, 5, '!', ',', ';', 'x', 0, 0});
    // An application extension with no data sub-blocks.
    g.insert(g.end(), {0x21, 0xFF, 11, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', '1', '2', '3', 0});
    g.insert(g.end(), {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1,
                       0xFF, 0xFF, 0});
    AddImage(g);
    AddImage(g, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    AddGce(g, 0x01, 99, 1); // after the last image: a slot that stays unused
    g.push_back(0x3B);

    cGIF gif;
    ASSERT_TRUE(gif.LoadFromStream(g));
    ASSERT_EQ(gif.FramesCount(), 2);
    EXPECT_EQ(gif.AnimationLoops(), -1);
    EXPECT_EQ(gif.FrameDelay(1), 20);
    EXPECT_EQ(gif.FrameDisposalMethod(1), 2);
    EXPECT_TRUE(gif.FrameUserInput(1));
    EXPECT_FALSE(gif.FrameUseTransparentColor(1));
    EXPECT_EQ(gif.FrameTransparentColorIndex(1), 3);
    EXPECT_EQ(FrameIndices(gif, 1), (std::vector<uint8_t>{0, 1, 2, 3, 0, 1, 2, 3}));
    // The frame without a control extension takes the defaults.
    EXPECT_EQ(gif.FrameDelay(2), 0);
    EXPECT_EQ(gif.FrameDisposalMethod(2), 0);
    EXPECT_FALSE(gif.FrameUseTransparentColor(2));
    EXPECT_TRUE(gif.LocalPaletteUsed(2));
    EXPECT_TRUE(gif.LocalPaletteSorted(2));
    EXPECT_EQ(gif.LocalPaletteEntries(2), 4);
    EXPECT_EQ(gif.LocalPaletteRGBEntry(2, 0), uint32_t(1 | (2 << 8) | (3 << 16)));
    EXPECT_EQ(gif.LocalPaletteRGBEntry(2, 4), 0u);
    EXPECT_EQ(gif.GlobalPaletteRGBEntry(1), uint32_t(60 | (1 << 8) | (9 << 16)));
    // The image's colour table is the frame palette (global entry 2 is red 120, green 2, blue 9).
    EXPECT_EQ(gif.FrameDIBXOR(1).TableColor(2), (120u << 16) | (2u << 8) | 9u);
}

TEST(GifReader, PixelAspectRatioProperty) {
    cGIF gif;
    EXPECT_FLOAT_EQ(gif.ScreenPixelAspectRatio(), 0.234375f);
    EXPECT_TRUE(gif.SetScreenPixelAspectRatio(0.234375f));
    EXPECT_EQ(gif.ScreenPixelAspectByte(), 0);
    EXPECT_TRUE(gif.SetScreenPixelAspectRatio(1.0f));
    EXPECT_EQ(gif.ScreenPixelAspectByte(), 49);
    EXPECT_FALSE(gif.SetScreenPixelAspectRatio(5.0f)); // 305: overflow, nothing stored
    EXPECT_EQ(gif.ScreenPixelAspectByte(), 49);
}

TEST(GifReader, EveryTruncationLoadsWithoutHarm) {
    oracle::GifPlan plan;
    plan.width = 30;
    plan.height = 20;
    plan.global = oracle::GreyRamp(16);
    plan.loops = 3;
    std::mt19937 rng(3);
    for (int i = 0; i < 3; ++i) {
        oracle::FramePlan f;
        f.width = 30;
        f.height = 20;
        f.interlaced = i == 1;
        f.transparent = i == 2 ? 5 : -1;
        f.indices = RandomIndices(rng, 30, 20, 16, false);
        plan.frames.push_back(f);
    }
    const auto full = oracle::Encode(plan);
    int lastFrames = 0;
    for (std::size_t n = 0; n <= full.size(); ++n) {
        cGIF gif;
        const bool ok = gif.LoadFromStream(std::span(full).first(n));
        EXPECT_EQ(ok, n >= 6);
        EXPECT_GE(gif.FramesCount(), lastFrames) << "frames only appear as the file grows";
        lastFrames = gif.FramesCount();
    }
    EXPECT_EQ(lastFrames, 3);
}

TEST(GifReader, LimitsOnCountsAndSizes) {
    // More image descriptors than the count can hold: counting stops at 32767.
    auto g = Header();
    const std::vector<uint8_t> tiny = {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x4C, 0x01, 0};
    for (int i = 0; i < cGIF::kMaxFrames + 5; ++i)
        g.insert(g.end(), tiny.begin(), tiny.end());
    g.push_back(0x3B);
    cGIF gif;
    ASSERT_TRUE(gif.LoadFromStream(g));
    EXPECT_EQ(gif.FramesCount(), cGIF::kMaxFrames);

    // Frames of 65535 x 65535: kept in the list without pixels, their size readable.
    auto h = Header();
    for (int i = 0; i < 50; ++i)
        h.insert(h.end(), {0x2C, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 2, 2, 0x4C, 0x01, 0});
    ASSERT_TRUE(gif.LoadFromStream(h));
    EXPECT_EQ(gif.FramesCount(), 50);
    EXPECT_EQ(gif.FrameDIBXOR(50).Width(), 65535);
    EXPECT_EQ(gif.FrameDIBXOR(50).lpBits(), nullptr);

    // Within one document's budget, later frames go without pixels.
    cGIF small({.documentBytes = 3 * 1000 * 1000});
    auto k = Header();
    for (int i = 0; i < 5; ++i)
        k.insert(k.end(), {0x2C, 0, 0, 0, 0, 0xE8, 0x03, 0xE8, 0x03, 0, 2, 2, 0x4C, 0x01, 0});
    ASSERT_TRUE(small.LoadFromStream(k));
    EXPECT_NE(small.FrameDIBXOR(2).lpBits(), nullptr);
    EXPECT_EQ(small.FrameDIBXOR(4).lpBits(), nullptr);
}

TEST(GifReader, FilesOnDisk) {
    TempDir dir;
    cGIF gif;
    EXPECT_FALSE(gif.LoadFromFile((dir.path() / "missing.gif").string()));
    EXPECT_FALSE(gif.LoadFromFile(dir.Write("empty.gif", "").string()));
    EXPECT_FALSE(gif.LoadFromFile(dir.str())); // a folder
    auto g = Header();
    AddImage(g);
    g.push_back(0x3B);
    const auto file = dir.Write("one.gif", std::string(g.begin(), g.end()));
    EXPECT_TRUE(gif.LoadFromFile(file.string()));
    EXPECT_EQ(gif.FramesCount(), 1);
}

} // namespace

TEST(GifDecoder, LargeFramesReleaseTheirScratchHoweverDecodingEnds) {
    // Frames larger than the scratch a thread keeps: once each is decoded,
    // whole, cut off, interlaced or not, the decoder holds no more than that.
    constexpr int kSide = 6000; // 36 MB of pixels
    const struct {
        bool interlaced;
        int width;
        bool cut;
    } rows[] = {{true, kSide, false}, {true, kSide, true}, {false, kSide + 1, false}};
    for (const auto& r : rows) {
        cDIB source;
        ASSERT_TRUE(source.Create(r.width, kSide, 8));
        for (int y = 0; y < kSide; ++y)
            std::memset(source.lpBits() + std::size_t(y) * std::size_t(source.BytesPerScanline()),
                        y % 4, std::size_t(r.width));
        VectorSink sink;
        ASSERT_TRUE(mGIFLZWEnc::EncodeFromDIB(sink, source, 3, r.interlaced));
        std::vector<uint8_t> data = sink.bytes;
        if (r.cut) data.resize(data.size() / 2);
        cDIB frame;
        ASSERT_TRUE(frame.Create(r.width, kSide, 8));
        mGIFLZWDec::DecodeSubBlocksToDIB(frame, r.interlaced, 2, data);
        EXPECT_EQ(frame.lpBits()[std::size_t(2) * std::size_t(frame.BytesPerScanline())], 2)
            << "decoded: row 2";
        EXPECT_LE(mGIFLZWDec::KeptScratchBytes(), mGIFLZWDec::kMaxKeptScratchBytes)
            << r.interlaced << r.width << r.cut;
    }
}

TEST(GifReader, TwoDocumentsLoadOnTwoThreadsAtOnce) {
    // Each load has its own codec state: two threads decoding (and writing)
    // different documents at the same time each get their own exact indices.
    std::vector<std::vector<uint8_t>> files;
    std::vector<std::vector<uint8_t>> expected;
    for (int k = 0; k < 2; ++k) {
        oracle::GifPlan plan;
        plan.width = 300 + 40 * k, plan.height = 200;
        plan.global = oracle::GreyRamp(k ? 16 : 256);
        oracle::FramePlan f;
        f.width = plan.width, f.height = plan.height, f.interlaced = k == 1;
        std::mt19937 rng(uint32_t(k + 1));
        for (int i = 0; i < f.width * f.height; ++i)
            f.indices.push_back(uint8_t(rng() % (k ? 16 : 256)));
        plan.frames.push_back(f);
        files.push_back(oracle::Encode(plan));
        expected.push_back(f.indices);
    }
    // What the encoder makes of each frame, alone.
    std::vector<std::vector<uint8_t>> encoded;
    for (int k = 0; k < 2; ++k) {
        cGIF gif;
        ASSERT_TRUE(gif.LoadFromStream(files[std::size_t(k)]));
        VectorSink sink;
        ASSERT_TRUE(mGIFLZWEnc::EncodeFromDIB(sink, gif.FrameDIBXOR(1), k ? 5 : 9, k == 1));
        encoded.push_back(sink.bytes);
    }
    std::atomic<int> mismatches{0};
    auto work = [&](int k) {
        for (int round = 0; round < 40; ++round) {
            cGIF gif;
            if (!gif.LoadFromStream(files[std::size_t(k)]) ||
                FrameIndices(gif, 1) != expected[std::size_t(k)])
                ++mismatches;
            VectorSink sink; // and encoded again, with the encoder's own tables too
            if (!mGIFLZWEnc::EncodeFromDIB(sink, gif.FrameDIBXOR(1), k ? 5 : 9, k == 1) ||
                sink.bytes != encoded[std::size_t(k)])
                ++mismatches;
        }
    };
    std::thread a(work, 0), b(work, 1);
    a.join();
    b.join();
    EXPECT_EQ(mismatches.load(), 0);
}
