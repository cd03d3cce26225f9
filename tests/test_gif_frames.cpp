#include "gif/IndexedRows.h"
#include "gif/cGIF.h"
#include "tests/GifTestUtil.h"

#include "tests/PixelUtil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

void SetEntry(uint8_t* palette, int i, uint32_t rgb) {
    palette[4 * i] = uint8_t(rgb);
    palette[4 * i + 1] = uint8_t(rgb >> 8);
    palette[4 * i + 2] = uint8_t(rgb >> 16);
}

// A 4x2 frame: indices 0 1 2 3 / 3 2 1 0; entries 0 and 2 share a colour.
void MakeFrame(cGIF& gif, int n, int transparent) {
    gif.FrameInsert(n, 4, 2);
    cDIB& image = gif.FrameDIBXOR(n);
    const uint8_t rows[2][4] = {{0, 1, 2, 3}, {3, 2, 1, 0}};
    for (int y = 0; y < 2; ++y)
        std::memcpy(image.lpBits() + y * image.BytesPerScanline(), rows[y], 4);
    uint8_t* palette = gif.LocalPalette(n);
    SetEntry(palette, 0, 0xFF0000);
    SetEntry(palette, 1, 0x00FF00);
    SetEntry(palette, 2, 0xFF0000);
    SetEntry(palette, 3, 0x0000FF);
    gif.SetFrameUseTransparentColor(n, transparent >= 0);
    if (transparent >= 0) gif.SetFrameTransparentColorIndex(n, uint8_t(transparent));
    gif.FrameMask(n, uint8_t(transparent >= 0 ? transparent : 0));
}

// A 32-bit target filled with `fill` (0x00RRGGBB).
std::unique_ptr<cDIB> Target(int w, int h, uint32_t fill) {
    auto t = std::make_unique<cDIB>();
    t->Create(w, h, 32);
    t->Cls(((fill >> 16) & 0xFF) | (fill & 0xFF00) | ((fill & 0xFF) << 16));
    return t;
}

TEST(GifFrames, TransparentPixelsLeaveTheTargetUntouched) {
    cGIF gif;
    MakeFrame(gif, 1, 0);
    // Only index 0 is transparent, not index 2 with the same colour.
    cDIB& mask = gif.FrameDIBAND(1);
    EXPECT_TRUE(MaskBit(mask, 0, 0));
    EXPECT_FALSE(MaskBit(mask, 2, 0));
    EXPECT_TRUE(MaskBit(mask, 3, 1));
    // The image's table has the transparent entry black; the record keeps the colour.
    EXPECT_EQ(gif.FrameDIBXOR(1).TableColor(0), 0u);
    EXPECT_EQ(gif.LocalPaletteRGBEntry(1, 0), 0x0000FFu); // red as red + 256 green + 65536 blue

    auto target = Target(4, 2, 0x777777);
    gif.FrameDraw(target.get(), 1, 0, 0, 1.0f, false);
    EXPECT_EQ(Pixel32(*target, 0, 0), 0x777777u);
    EXPECT_EQ(Pixel32(*target, 1, 0), 0x00FF00u);
    EXPECT_EQ(Pixel32(*target, 2, 0), 0xFF0000u);
    EXPECT_EQ(Pixel32(*target, 3, 1), 0x777777u);
}

TEST(GifFrames, UnusedTransparentIndexDrawsOpaque) {
    cGIF gif;
    MakeFrame(gif, 1, 200);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_FALSE(MaskBit(gif.FrameDIBAND(1), x, y));
    auto target = Target(4, 2, 0x777777);
    gif.FrameDraw(target.get(), 1, 0, 0, 1.0f, false);
    EXPECT_EQ(Pixel32(*target, 0, 0), 0xFF0000u);
    // Turning transparency off clears the mask again.
    gif.SetFrameUseTransparentColor(1, false);
    gif.FrameMask(1, 0);
    EXPECT_FALSE(MaskBit(gif.FrameDIBAND(1), 0, 0));
}

TEST(GifFrames, ScreenCropAndScaling) {
    cGIF gif;
    MakeFrame(gif, 1, -1);
    gif.SetScreenWidth(3); // the frame runs one column past the screen
    gif.SetFrameLeft(1, 0);
    auto target = Target(6, 4, 0x777777);
    gif.FrameDraw(target.get(), 1, 1, 1, 1.0f, true);
    EXPECT_EQ(Pixel32(*target, 3, 1), 0xFF0000u);
    EXPECT_EQ(Pixel32(*target, 4, 1), 0x777777u) << "column 3 is beyond the screen";
    EXPECT_EQ(Pixel32(*target, 0, 0), 0x777777u);

    // Entirely beyond the right edge: nothing drawn.
    gif.SetFrameLeft(1, 5);
    auto untouched = Target(6, 4, 0x777777);
    gif.FrameDraw(untouched.get(), 1, 0, 0, 1.0f, true);
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(Pixel32(*untouched, x, 0), 0x777777u);

    // Scale 0.5: positions 1.5 and 2.5 both round to 2.
    for (int at : {3, 5}) {
        gif.SetScreenWidth(100);
        gif.SetScreenHeight(100);
        gif.SetFrameLeft(1, int16_t(at));
        gif.SetFrameTop(1, int16_t(at));
        auto t = Target(8, 8, 0x777777);
        gif.FrameDraw(t.get(), 1, 0, 0, 0.5f, false);
        EXPECT_EQ(Pixel32(*t, 1, 1), 0x777777u) << at;
        EXPECT_NE(Pixel32(*t, 2, 2), 0x777777u) << at;
        EXPECT_EQ(Pixel32(*t, 4, 2), 0x777777u) << "2 columns wide: " << at;
    }
}

TEST(GifFrames, FrameListEdits) {
    cGIF gif;
    gif.FrameInsert(5, 10, 20); // into an empty document: becomes frame 1
    ASSERT_EQ(gif.FramesCount(), 1);
    EXPECT_EQ(gif.ScreenWidth(), 10);
    EXPECT_EQ(gif.ScreenHeight(), 20);
    EXPECT_EQ(gif.FrameDIBXOR(1).bpp(), 8);
    EXPECT_EQ(gif.FrameDIBAND(1).bpp(), 1);
    EXPECT_EQ(gif.FrameDIBAND(1).TableColor(1), 0xFFFFFFu);
    gif.SetFrameDelay(1, 1);
    gif.FrameInsert(2, 3, 3);
    gif.SetFrameDelay(2, 2);
    gif.FrameInsert(3, 4, 4);
    gif.SetFrameDelay(3, 3);
    EXPECT_EQ(gif.ScreenWidth(), 10) << "only the first frame sets the screen";

    gif.FrameInsert(2, 7, 7); // old 2 and 3 become 3 and 4
    ASSERT_EQ(gif.FramesCount(), 4);
    EXPECT_EQ(gif.FrameDelay(2), 0);
    EXPECT_EQ(gif.FrameDIBXOR(2).Width(), 7);
    EXPECT_EQ(gif.FrameDelay(3), 2);
    EXPECT_EQ(gif.FrameDelay(4), 3);

    gif.FrameMoveUp(4);
    EXPECT_EQ(gif.FrameDelay(3), 3);
    EXPECT_EQ(gif.FrameDIBXOR(3).Width(), 4) << "surfaces move with their records";
    gif.FrameMoveDown(3);
    EXPECT_EQ(gif.FrameDelay(4), 3);
    gif.FrameMoveUp(1); // out of range: nothing happens
    gif.FrameMoveDown(4);
    EXPECT_EQ(gif.FrameDelay(1), 1);

    gif.FrameRemove(2);
    ASSERT_EQ(gif.FramesCount(), 3);
    EXPECT_EQ(gif.FrameDelay(2), 2);
    gif.FrameRemove(0);
    gif.FrameRemove(9);
    EXPECT_EQ(gif.FramesCount(), 3);
    for (int i = 0; i < 3; ++i)
        gif.FrameRemove(1);
    EXPECT_EQ(gif.FramesCount(), 0);
    EXPECT_EQ(gif.ScreenWidth(), 10) << "removing frames leaves the screen size";
}

TEST(GifFrames, SizesAndPositionsUseAllSixteenBits) {
    // Sizes and positions run to 65535; none of them turns negative past 32767.
    const struct {
        uint16_t width, height, left, top;
    } rows[] = {{32768, 1, 32768, 0}, {1, 40000, 0, 50000}, {65535, 2, 65535, 65535}};
    for (const auto& r : rows) {
        cGIF gif;
        gif.FrameInsert(1, r.width, r.height);
        ASSERT_EQ(gif.FramesCount(), 1);
        EXPECT_EQ(gif.ScreenWidth(), r.width);
        EXPECT_EQ(gif.ScreenHeight(), r.height);
        EXPECT_EQ(gif.FrameDIBXOR(1).Width(), r.width);
        EXPECT_EQ(gif.FrameDIBXOR(1).Height(), r.height);
        gif.SetFrameLeft(1, r.left);
        gif.SetFrameTop(1, r.top);
        EXPECT_EQ(gif.FrameLeft(1), r.left);
        EXPECT_EQ(gif.FrameTop(1), r.top);
    }

    // Drawn half size, a frame at column 40000 lands at column 20000.
    cGIF gif;
    MakeFrame(gif, 1, -1);
    gif.SetScreenWidth(40004);
    gif.SetFrameLeft(1, 40000);
    auto t = Target(20004, 2, 0x777777);
    gif.FrameDraw(t.get(), 1, 0, 0, 0.5f, true);
    EXPECT_EQ(Pixel32(*t, 19999, 0), 0x777777u);
    EXPECT_NE(Pixel32(*t, 20000, 0), 0x777777u);
}

TEST(GifFrames, FramesOutsideTheListReadAsOneEmptyFrame) {
    cGIF gif;
    MakeFrame(gif, 1, 2);
    gif.SetFrameDelay(1, 7);
    const cDIB& outside = gif.FrameDIBXOR(0);
    const uint8_t* outsidePalette = gif.lpLocalPalette(0);
    auto t = Target(4, 2, 0x777777);
    for (int n : {0, -1, 2, 99}) {
        // Writes outside the list go nowhere; reads see the same empty record,
        // so a reference taken earlier stays valid.
        gif.SetFrameLeft(n, 5);
        gif.SetFrameDelay(n, 9);
        gif.SetFrameUseTransparentColor(n, true);
        gif.FrameMask(n, 1);
        gif.FrameDraw(t.get(), n, 0, 0, 1.0f, false);
        EXPECT_EQ(&gif.FrameDIBXOR(n), &outside) << n;
        EXPECT_EQ(gif.lpLocalPalette(n), outsidePalette) << n;
        EXPECT_EQ(gif.LocalPalette(n), nullptr) << n;
        EXPECT_EQ(gif.FrameLeft(n), 0) << n;
        EXPECT_EQ(gif.FrameDelay(n), 0) << n;
        EXPECT_FALSE(gif.FrameUseTransparentColor(n)) << n;
        EXPECT_EQ(gif.FrameDIBAND(n).lpBits(), nullptr) << n;
    }
    EXPECT_EQ(outside.Width(), 0);
    EXPECT_EQ(outside.lpBits(), nullptr);
    EXPECT_EQ(Pixel32(*t, 0, 0), 0x777777u) << "nothing drawn";
    EXPECT_EQ(gif.FrameDelay(1), 7) << "the frame in the list is untouched";
    EXPECT_EQ(gif.FrameDIBXOR(1).Width(), 4);
}

} // namespace

TEST(GifFrames, VectorRowsMatchThePlainFormula) {
    // Rows of every length around the eight-pixel groups, with colours that
    // carry a top byte and targets with one: the lookup copies it, the masked
    // draw clears it; the mask of a row leaves the bits past its end alone.
    std::mt19937 rng(5);
    uint32_t lut[256];
    for (uint32_t& c : lut)
        c = uint32_t(rng());
    for (std::size_t n = 0; n <= 70; ++n) {
        std::vector<uint8_t> in(n), bits((n + 7) / 8 + 1);
        std::vector<uint32_t> target(n);
        for (auto& v : in)
            v = uint8_t(rng() % 4 == 0 ? 9 : rng());
        for (auto& b : bits)
            b = uint8_t(rng() % 3 == 0 ? 0 : rng() % 3 == 0 ? 0xFF : rng());
        for (auto& t : target)
            t = uint32_t(rng());
        std::vector<uint32_t> copied(n), masked = target;
        IndexedRows::Copy(copied.data(), in.data(), n, lut);
        const std::size_t first = n % 8; // where the row starts in its mask
        IndexedRows::Masked(masked.data(), in.data(), bits.data(), first, n - first, lut);
        for (std::size_t i = 0; i < n; ++i) {
            ASSERT_EQ(copied[i], lut[in[i]]) << n << " " << i;
            const std::size_t at = first + i; // its mask bit
            const uint32_t keep = (bits[at / 8] >> (7 - at % 8)) & 1 ? 0xFFFFFFFFu : 0u;
            const uint32_t expected =
                i < n - first ? ((target[i] & keep) | lut[in[i]]) & 0xFFFFFF : target[i];
            ASSERT_EQ(masked[i], expected) << n << " " << i;
        }
        std::vector<uint8_t> mask = bits;
        IndexedRows::MaskOf(mask.data(), in.data(), n, 9);
        for (std::size_t i = 0; i < mask.size() * 8; ++i) {
            const int bit = (mask[i / 8] >> (7 - i % 8)) & 1;
            const int expected = i < n ? in[i] == 9 : (bits[i / 8] >> (7 - i % 8)) & 1;
            ASSERT_EQ(bit, expected) << n << " " << i;
        }
    }
}
