#include "gif/cGIF.h"
#include "tests/GifTestUtil.h"

#include "tests/PixelUtil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

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

} // namespace
