#include "gif/ByteSink.h"
#include "gif/cGIF.h"
#include "gif/mGIFLZWEnc.h"
#include "tests/GifOracle.h"
#include "tests/GifTestUtil.h"
#include "tests/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

namespace {

std::vector<uint8_t> ReadBytes(const std::filesystem::path& p) {
    const std::string s = TempDir::Read(p);
    return std::vector<uint8_t>(s.begin(), s.end());
}

// Sub-block lengths of the sequence starting at `pos` (a length byte).
std::vector<int> SubBlockLengths(const std::vector<uint8_t>& b, std::size_t pos) {
    std::vector<int> lengths;
    while (pos < b.size() && b[pos] != 0) {
        lengths.push_back(b[pos]);
        pos += b[pos] + 1u;
    }
    return lengths;
}

std::vector<int> EncodedLengths(const cDIB& dib, int initialWidth, bool interlaced) {
    VectorSink sink;
    EXPECT_TRUE(mGIFLZWEnc::EncodeFromDIB(sink, dib, uint8_t(initialWidth), interlaced));
    sink.bytes.push_back(0);
    return SubBlockLengths(sink.bytes, 0);
}

void FillNoise(cDIB& d, int colors, uint32_t seed) {
    std::mt19937 rng(seed);
    for (int y = 0; y < d.Height(); ++y)
        for (int x = 0; x < d.Width(); ++x)
            d.lpBits()[y * d.BytesPerScanline() + x] = uint8_t(rng() % unsigned(colors));
}

oracle::GifPlan RandomPlan(std::mt19937& rng, int doc) {
    oracle::GifPlan plan;
    plan.width = 1 + int(rng() % 150);
    plan.height = 1 + int(rng() % 150);
    const int bits = 2 + doc % 7;
    plan.global = oracle::GreyRamp(1 << bits);
    plan.background = doc % 3;
    if (doc % 2) plan.loops = doc * 131;
    for (int i = 0; i < 1 + doc % 3; ++i) {
        oracle::FramePlan f;
        f.width = 1 + int(rng() % unsigned(plan.width));
        f.height = 1 + int(rng() % unsigned(plan.height));
        f.left = int(rng() % unsigned(plan.width - f.width + 1));
        f.top = int(rng() % unsigned(plan.height - f.height + 1));
        f.interlaced = (doc + i) % 2 == 0;
        int colors = 1 << bits;
        if (i == 1) {
            colors = 1 << (1 + doc % 8);
            f.local = oracle::GreyRamp(colors);
        }
        f.transparent = (doc + i) % 3 == 0 ? int(rng() % unsigned(colors)) : -1;
        f.disposal = (doc + i) % 8;
        f.delay = doc * 7 + i;
        f.userInput = doc % 5 == 0;
        for (int p = 0; p < f.width * f.height; ++p)
            f.indices.push_back(uint8_t(doc % 2 ? rng() % unsigned(colors) : (p / 3) % colors));
        plan.frames.push_back(f);
    }
    return plan;
}

// Documents read, saved, read again: every field and index the same, and
// giflib reads what we wrote to the same indices.
TEST(GifWriter, RoundTripsThroughOurReaderAndGiflib) {
    TempDir dir;
    std::mt19937 rng(99);
    for (int doc = 0; doc < 40; ++doc) {
        const oracle::GifPlan plan = RandomPlan(rng, doc);
        cGIF a;
        ASSERT_TRUE(a.LoadFromStream(oracle::Encode(plan)));
        const auto file = dir.path() / ("doc" + std::to_string(doc) + ".gif");
        ASSERT_TRUE(a.Save(file.string())) << doc;
        const std::vector<uint8_t> bytes = ReadBytes(file);
        cGIF b;
        ASSERT_TRUE(b.LoadFromStream(bytes));
        ASSERT_EQ(b.FramesCount(), a.FramesCount());
        EXPECT_EQ(b.ScreenWidth(), a.ScreenWidth());
        EXPECT_EQ(b.ScreenHeight(), a.ScreenHeight());
        EXPECT_EQ(b.ScreenBackgroundColorIndex(), a.ScreenBackgroundColorIndex());
        EXPECT_EQ(b.AnimationLoops(), a.AnimationLoops());
        EXPECT_EQ(b.GlobalPaletteEntries(), a.GlobalPaletteEntries());
        EXPECT_EQ(std::memcmp(b.lpGlobalPalette(), a.lpGlobalPalette(), 1024), 0);
        const auto reference = oracle::Decode(bytes);
        ASSERT_TRUE(reference) << "giflib rejects document " << doc;
        for (int n = 1; n <= a.FramesCount(); ++n) {
            SCOPED_TRACE("doc " + std::to_string(doc) + " frame " + std::to_string(n));
            EXPECT_EQ(FrameIndices(b, n), FrameIndices(a, n));
            EXPECT_EQ(reference->frames[std::size_t(n - 1)].indices, FrameIndices(a, n));
            EXPECT_EQ(b.FrameLeft(n), a.FrameLeft(n));
            EXPECT_EQ(b.FrameTop(n), a.FrameTop(n));
            EXPECT_EQ(b.FrameInterlaced(n), a.FrameInterlaced(n));
            EXPECT_EQ(b.FrameDelay(n), a.FrameDelay(n));
            EXPECT_EQ(b.FrameDisposalMethod(n), a.FrameDisposalMethod(n));
            EXPECT_EQ(b.FrameUserInput(n), a.FrameUserInput(n));
            EXPECT_EQ(b.FrameUseTransparentColor(n), a.FrameUseTransparentColor(n));
            if (a.FrameUseTransparentColor(n)) {
                EXPECT_EQ(b.FrameTransparentColorIndex(n), a.FrameTransparentColorIndex(n));
            }
            EXPECT_EQ(b.LocalPaletteUsed(n), a.LocalPaletteUsed(n));
            EXPECT_EQ(b.LocalPaletteEntries(n), a.LocalPaletteEntries(n));
            EXPECT_EQ(std::memcmp(b.lpLocalPalette(n), a.lpLocalPalette(n), 1024), 0);
        }
    }
}

// Every code size, both row orders, short heights and a table filled many times over.
TEST(GifEncoder, GiflibDecodesEveryShape) {
    for (int bits = 2; bits <= 8; ++bits)
        for (int height : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 200})
            for (bool interlaced : {false, true}) {
                cDIB d;
                const int width = height == 200 ? 300 : 7;
                ASSERT_TRUE(d.Create(width, height, 8));
                FillNoise(d, 1 << bits, uint32_t(bits * 100 + height));
                VectorSink sink;
                ASSERT_TRUE(mGIFLZWEnc::EncodeFromDIB(sink, d, uint8_t(bits + 1), interlaced));
                sink.bytes.push_back(0);
                // Wrap the data in a file: one frame, a global table of 2^bits entries.
                std::vector<uint8_t> lzw;
                for (std::size_t p = 0; sink.bytes[p] != 0; p += sink.bytes[p] + 1u)
                    lzw.insert(lzw.end(), sink.bytes.begin() + std::ptrdiff_t(p + 1),
                               sink.bytes.begin() + std::ptrdiff_t(p + 1 + sink.bytes[p]));
                const auto file = oracle::Container(width, height, bits, lzw, interlaced, bits);
                const auto reference = oracle::Decode(file);
                ASSERT_TRUE(reference) << bits << " " << height;
                cGIF gif;
                ASSERT_TRUE(gif.LoadFromStream(file));
                std::vector<uint8_t> expected;
                for (int y = 0; y < height; ++y)
                    expected.insert(expected.end(), d.lpBits() + y * d.BytesPerScanline(),
                                    d.lpBits() + y * d.BytesPerScanline() + width);
                EXPECT_EQ(reference->frames[0].indices, expected)
                    << bits << " " << height << " " << interlaced;
                EXPECT_EQ(FrameIndices(gif, 1), expected);
            }
}

TEST(GifEncoder, PacketsAndCodeWidths) {
    cDIB d;
    ASSERT_TRUE(d.Create(1, 1, 8));
    d.lpBits()[0] = 1;
    VectorSink one;
    ASSERT_TRUE(mGIFLZWEnc::EncodeFromDIB(one, d, 3, false));
    // clear (4), the pixel (1), end (5), 3 bits each: 9 bits in 2 bytes.
    EXPECT_EQ(one.bytes, (std::vector<uint8_t>{2, 0x4C, 0x01}));

    // 600 bytes of data: sub-blocks of 254, 254 and 92.
    bool found = false;
    for (int width = 300; width < 700 && !found; ++width) {
        ASSERT_TRUE(d.Create(width, 1, 8));
        FillNoise(d, 256, 1);
        const std::vector<int> lengths = EncodedLengths(d, 9, false);
        if (std::accumulate(lengths.begin(), lengths.end(), 0) == 600) {
            EXPECT_EQ(lengths, (std::vector<int>{254, 254, 92}));
            found = true;
        }
    }
    EXPECT_TRUE(found) << "some noise row encodes to exactly 600 bytes";

    // Sub-blocks carry 254 bytes each but the last, for any amount of data.
    for (int width : {50, 300, 701}) {
        ASSERT_TRUE(d.Create(width, 9, 8));
        FillNoise(d, 256, uint32_t(width));
        const std::vector<int> lengths = EncodedLengths(d, 9, false);
        ASSERT_FALSE(lengths.empty());
        for (std::size_t i = 0; i + 1 < lengths.size(); ++i)
            EXPECT_EQ(lengths[i], 254);
        EXPECT_GE(lengths.back(), 1);
        EXPECT_LE(lengths.back(), 254);
    }

    // Refused: not 8 bits, no pixels, a width outside 2 to 9, an index too big for it.
    cDIB four;
    ASSERT_TRUE(four.Create(2, 2, 4));
    VectorSink sink;
    EXPECT_FALSE(mGIFLZWEnc::EncodeFromDIB(sink, four, 3, false));
    cDIB empty;
    EXPECT_FALSE(mGIFLZWEnc::EncodeFromDIB(sink, empty, 3, false));
    ASSERT_TRUE(d.Create(2, 1, 8));
    EXPECT_FALSE(mGIFLZWEnc::EncodeFromDIB(sink, d, 1, false));
    EXPECT_FALSE(mGIFLZWEnc::EncodeFromDIB(sink, d, 10, false));
    d.lpBits()[1] = 4;
    EXPECT_FALSE(mGIFLZWEnc::EncodeFromDIB(sink, d, 3, false));
}

// The encoder in its plainest form: one hash lookup a pixel,
// codes written one at a time. The real one adds shortcuts that must never
// change a single output byte.
std::vector<uint8_t> ReferenceEncode(const cDIB& d, int initBits, bool interlaced) {
    std::vector<int32_t> htab(5003, -1), codetab(5003, 0);
    std::vector<uint8_t> out, packet;
    uint32_t accum = 0;
    int bits = 0, nBits = initBits, maxCode = (1 << nBits) - 1;
    const int clear = 1 << (initBits - 1), eof = clear + 1;
    int freeEnt = clear + 2;
    bool clearFlag = false;
    auto flush = [&] {
        if (packet.empty()) return;
        out.push_back(uint8_t(packet.size()));
        out.insert(out.end(), packet.begin(), packet.end());
        packet.clear();
    };
    auto charOut = [&](uint8_t c) {
        packet.push_back(c);
        if (packet.size() == 254) flush();
    };
    auto output = [&](int code) {
        accum &= (1u << bits) - 1;
        accum = bits > 0 ? accum | (uint32_t(code) << bits) : uint32_t(code);
        bits += nBits;
        for (; bits >= 8; bits -= 8, accum >>= 8)
            charOut(uint8_t(accum));
        if (freeEnt > maxCode || clearFlag) {
            if (clearFlag) {
                nBits = initBits;
                maxCode = (1 << nBits) - 1;
                clearFlag = false;
            } else {
                ++nBits;
                maxCode = nBits == 12 ? 4096 : (1 << nBits) - 1;
            }
        }
        if (code == eof) {
            for (; bits > 0; bits -= 8, accum >>= 8)
                charOut(uint8_t(accum));
            flush();
        }
    };
    std::vector<int> pixels;
    for (int r : oracle::StoredRowOrder(d.Height(), interlaced))
        for (int x = 0; x < d.Width(); ++x)
            pixels.push_back(d.lpBits()[r * d.BytesPerScanline() + x]);
    output(clear);
    int ent = pixels[0];
    for (std::size_t p = 1; p < pixels.size(); ++p) {
        const int c = pixels[p];
        const int fcode = (c << 12) + ent;
        int i = (c << 4) ^ ent;
        if (htab[std::size_t(i)] == fcode) {
            ent = codetab[std::size_t(i)];
            continue;
        }
        bool found = false;
        if (htab[std::size_t(i)] >= 0) {
            const int disp = i == 0 ? 1 : 5003 - i;
            do {
                if ((i -= disp) < 0) i += 5003;
                if (htab[std::size_t(i)] == fcode) {
                    ent = codetab[std::size_t(i)];
                    found = true;
                    break;
                }
            } while (htab[std::size_t(i)] > 0);
        }
        if (found) continue;
        output(ent);
        if (freeEnt < 4096) {
            codetab[std::size_t(i)] = freeEnt++;
            htab[std::size_t(i)] = fcode;
        } else {
            std::fill(htab.begin(), htab.end(), -1);
            freeEnt = clear + 2;
            clearFlag = true;
            output(clear);
        }
        ent = c;
    }
    output(ent);
    output(eof);
    return out;
}

TEST(GifEncoder, OutputIsExactlyThePlainAlgorithms) {
    std::mt19937 rng(17);
    struct Shape {
        int w, h, colors;
        int zeroPercent; // zeros make the key 0 that ends probes early
        bool smooth, interlaced;
    } shapes[] = {{300, 200, 256, 0, false, false}, {300, 200, 4, 0, false, true},
                  {500, 300, 256, 0, true, false},  {257, 301, 16, 70, false, false},
                  {400, 400, 2, 90, false, true},   {1000, 50, 256, 40, true, false},
                  {64, 64, 8, 100, false, false}};
    for (const Shape& s : shapes) {
        cDIB d;
        ASSERT_TRUE(d.Create(s.w, s.h, 8));
        for (int y = 0; y < s.h; ++y)
            for (int x = 0; x < s.w; ++x) {
                int v = s.smooth ? ((x + y) * s.colors / (s.w + s.h)) % s.colors
                                 : int(rng() % unsigned(s.colors));
                if (int(rng() % 100) < s.zeroPercent) v = 0;
                d.lpBits()[y * d.BytesPerScanline() + x] = uint8_t(v);
            }
        int bits = 1;
        while ((1 << bits) < s.colors)
            ++bits;
        const int initBits = std::max(2, bits) + 1;
        VectorSink sink;
        ASSERT_TRUE(mGIFLZWEnc::EncodeFromDIB(sink, d, uint8_t(initBits), s.interlaced));
        EXPECT_EQ(sink.bytes, ReferenceEncode(d, initBits, s.interlaced))
            << s.w << "x" << s.h << " colours " << s.colors << " zeros " << s.zeroPercent;
    }
}

TEST(GifWriter, BlockLayoutChoices) {
    TempDir dir;
    cGIF gif;
    // No frames: "87a", no looping block; a 6-entry table is written as 8.
    gif.SetScreenWidth(5);
    gif.SetScreenHeight(4);
    gif.SetGlobalPaletteExists(true);
    gif.SetGlobalPaletteEntries(6);
    for (int i = 0; i < 6; ++i)
        gif.GlobalPalette()[4 * i + 2] = uint8_t(10 + i); // red
    const auto empty = dir.path() / "empty.gif";
    ASSERT_TRUE(gif.Save(empty.string()));
    std::vector<uint8_t> b = ReadBytes(empty);
    ASSERT_EQ(b.size(), 13u + 24u + 1u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 6), "GIF87a");
    EXPECT_EQ(b[10], 0x80 | (2 << 4) | 2);
    EXPECT_EQ(b[13], 10);
    EXPECT_EQ(b[13 + 15], 15);
    EXPECT_EQ(b[13 + 18], 0) << "entries past the count are black";
    EXPECT_EQ(b.back(), 0x3B);

    // One frame with a 2-colour local table, disposal 3, user input, transparent 7.
    gif.FrameInsert(1, 5, 4);
    gif.SetLocalPaletteUsed(1, true);
    gif.SetLocalPaletteEntries(1, 2);
    gif.SetFrameDisposalMethod(1, 3);
    gif.SetFrameUserInput(1, true);
    gif.SetFrameUseTransparentColor(1, true);
    gif.SetFrameTransparentColorIndex(1, 7);
    gif.SetAnimationLoops(-1);
    const auto framed = dir.path() / "framed.gif";
    ASSERT_TRUE(gif.Save(framed.string()));
    b = ReadBytes(framed);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 6), "GIF89a");
    std::size_t p = 13 + 24;
    EXPECT_EQ(std::string(b.begin() + std::ptrdiff_t(p + 3), b.begin() + std::ptrdiff_t(p + 14)),
              "NETSCAPE2.0");
    EXPECT_EQ(b[p + 16], 0xFF);
    EXPECT_EQ(b[p + 17], 0xFF);
    p += 19;
    EXPECT_EQ(b[p], 0x21);
    EXPECT_EQ(b[p + 1], 0xF9);
    EXPECT_EQ(b[p + 3], 0x0F);
    EXPECT_EQ(b[p + 6], 7);
    p += 8;
    EXPECT_EQ(b[p], 0x2C);
    EXPECT_EQ(b[p + 9], 0x80) << "size field 0 for two entries";
    EXPECT_EQ(b[p + 10 + 6], 2) << "minimum code size at least 2";
}

TEST(GifWriter, WhatCannotBeWrittenSoundlyIsFalse) {
    TempDir dir;
    const std::string out = (dir.path() / "out.gif").string();
    cGIF gif;
    gif.FrameInsert(1, 3, 3); // no local table and no global table
    EXPECT_FALSE(gif.Save(out));

    gif.SetLocalPaletteUsed(1, true);
    for (int bad : {0, 1, 257, -4}) {
        gif.SetLocalPaletteEntries(1, int16_t(bad));
        EXPECT_FALSE(gif.Save(out)) << bad;
    }
    gif.SetLocalPaletteEntries(1, 4);
    EXPECT_TRUE(gif.Save(out));
    gif.FrameDIBXOR(1).lpBits()[0] = 9; // an index the 4-entry table cannot carry
    EXPECT_FALSE(gif.Save(out));
    gif.FrameDIBXOR(1).lpBits()[0] = 0;

    gif.FrameInsert(2, 0, 5); // a frame without pixels
    gif.SetLocalPaletteUsed(2, true);
    gif.SetLocalPaletteEntries(2, 4);
    EXPECT_FALSE(gif.Save(out));
    gif.FrameRemove(2);

    EXPECT_FALSE(gif.Save((dir.path() / "no-folder" / "x.gif").string()));
    if (std::filesystem::exists("/dev/full")) {
        EXPECT_FALSE(gif.Save("/dev/full")) << "a full disk is a failed save";
        EXPECT_TRUE(std::filesystem::exists("/dev/full"));
    }
}

} // namespace
