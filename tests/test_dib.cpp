#include "imaging/cDIB.h"

#include "tests/PixelUtil.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

uint8_t& Byte(cDIB& d, int x, int y) {
    return d.lpBits()[std::size_t(y) * std::size_t(d.BytesPerScanline()) + std::size_t(x)];
}
std::vector<uint8_t> Table(std::initializer_list<uint32_t> rgb) {
    std::vector<uint8_t> t;
    for (uint32_t c : rgb)
        t.insert(t.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0});
    return t;
}

TEST(Dib, LayoutsAndScanlines) {
    struct Row {
        int w, h, bpp, stride, size;
    } rows[] = {{10, 5, 8, 12, 60}, {3, 2, 24, 12, 24}, {1, 1, 1, 4, 4},   {33, 2, 1, 8, 16},
                {7, 3, 4, 4, 12},   {5, 1, 16, 12, 12}, {2, 2, 32, 8, 16}, {1, 1, 8, 4, 4}};
    for (const Row& r : rows) {
        cDIB d;
        ASSERT_TRUE(d.Create(r.w, r.h, r.bpp)) << r.w << "x" << r.h << "x" << r.bpp;
        EXPECT_EQ(d.BytesPerScanline(), r.stride);
        EXPECT_EQ(d.size(), r.size);
        EXPECT_NE(d.hDIB(), 0u);
        EXPECT_EQ(d.hDC(), &d);
    }
    cDIB d;
    ASSERT_TRUE(d.Create(10, 5, 8));
    std::vector<uint8_t> palette;
    d.GetPalette(palette);
    EXPECT_EQ(palette, std::vector<uint8_t>(1024, 0)) << "a new table is all black";
}

TEST(Dib, BadRequestsLeaveTheObjectEmpty) {
    cDIB d;
    for (int bpp : {0, 2, 3, 5, 7, 12, 64}) {
        EXPECT_FALSE(d.Create(8, 8, bpp)) << bpp;
        EXPECT_EQ(d.hDIB(), 0u);
        EXPECT_EQ(d.Width(), 0);
    }
    EXPECT_FALSE(d.Create(0, 8, 8));
    EXPECT_FALSE(d.Create(8, -1, 8));
    // Too large for memory: no pixels, the requested size stays readable.
    EXPECT_FALSE(d.Create(65535, 65535, 32));
    EXPECT_EQ(d.hDIB(), 0u);
    EXPECT_EQ(d.Width(), 65535);
    EXPECT_EQ(d.size(), int64_t(65535) * 65535 * 4);
    // Drawing on an empty surface does nothing.
    cDIB target;
    ASSERT_TRUE(target.Create(2, 2, 32));
    EXPECT_EQ(d.Stretch(&target, 0, 0, 2, 2, 0, 0, 0, 0, SRCCOPY, COLORONCOLOR), 0);
    EXPECT_EQ(d.LoadBlt(&target, 0, 0, 0, 0), 0);
    d.Cls(0xFFFFFF);
    d.Destroy();
    d.Destroy();
    EXPECT_EQ(d.Width(), 0);
    EXPECT_EQ(d.lpBits(), nullptr);
}

TEST(Dib, BestFit) {
    cDIB d;
    int x = -1, y = -1, w = -1, h = -1;
    d.GetBestFitInfo(100, 100, x, y, w, h, false);
    EXPECT_EQ(x, -1) << "without a surface the outputs are not touched";
    struct Row {
        int sw, sh, dw, dh;
        bool stretch;
        int x, y, w, h;
    } rows[] = {{200, 100, 100, 100, false, 0, 25, 100, 50},
                {50, 40, 100, 100, false, 25, 30, 50, 40},
                {50, 40, 100, 100, true, 0, 10, 100, 80},
                {3, 2, 5, 1, false, 1, 0, 2, 1}, // 1.5 rounds to even 2
                {5, 2, 5, 1, false, 1, 0, 2, 1}, // 2.5 rounds to even 2
                {10, 10, 10, 10, false, 0, 0, 10, 10}};
    for (const Row& r : rows) {
        ASSERT_TRUE(d.Create(r.sw, r.sh, 8));
        d.GetBestFitInfo(r.dw, r.dh, x, y, w, h, r.stretch);
        EXPECT_EQ(std::vector<int>({x, y, w, h}), std::vector<int>({r.x, r.y, r.w, r.h}))
            << r.sw << "x" << r.sh << " in " << r.dw << "x" << r.dh;
    }
}

TEST(Dib, PalettesOnlyOnTableSurfaces) {
    cDIB d;
    ASSERT_TRUE(d.Create(2, 2, 24));
    std::vector<uint8_t> keep = {1, 2, 3};
    d.GetPalette(keep);
    EXPECT_EQ(keep, (std::vector<uint8_t>{1, 2, 3}));
    d.SetPalette(Table({0xFF0000}));
    EXPECT_EQ(d.TableColor(0), 0u);

    ASSERT_TRUE(d.Create(2, 2, 4));
    d.SetPalette(Table({0x112233, 0x445566}));
    std::vector<uint8_t> got;
    d.GetPalette(got);
    ASSERT_EQ(got.size(), 64u);
    EXPECT_EQ(d.TableColor(1), 0x445566u);
    EXPECT_EQ(got[4], 0x66);
    EXPECT_EQ(got[6], 0x44);
}

TEST(Dib, StretchSamplesNearestPixelsAndClips) {
    cDIB src, dst;
    ASSERT_TRUE(src.Create(2, 2, 8));
    src.SetPalette(Table({0x000000, 0xFF0000, 0x00FF00, 0x0000FF}));
    Byte(src, 0, 0) = 0;
    Byte(src, 1, 0) = 1;
    Byte(src, 0, 1) = 2;
    Byte(src, 1, 1) = 3;
    ASSERT_TRUE(dst.Create(5, 5, 32));
    dst.Cls(0xFFFFFF);
    // A zero source size means the whole surface; 2x2 onto 4x4 at (1, 1).
    EXPECT_NE(src.Stretch(&dst, 1, 1, 4, 4, 0, 0, 0, 0, SRCCOPY, COLORONCOLOR), 0);
    EXPECT_EQ(Pixel32(dst, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(Pixel32(dst, 1, 1), 0x000000u);
    EXPECT_EQ(Pixel32(dst, 2, 2), 0x000000u);
    EXPECT_EQ(Pixel32(dst, 3, 1), 0xFF0000u);
    EXPECT_EQ(Pixel32(dst, 4, 4), 0x0000FFu);
    EXPECT_EQ(Pixel32(dst, 1, 4), 0x00FF00u);
    // The stretch mode is set for the call and put back afterwards.
    EXPECT_EQ(dst.StretchBltMode(), BLACKONWHITE);
    // A target width of 0 draws nothing; rectangles off the surface are clipped.
    dst.Cls(0xFFFFFF);
    src.Stretch(&dst, 0, 0, 0, 5, 0, 0, 0, 0, SRCCOPY, COLORONCOLOR);
    src.Stretch(&dst, -100, 3, 200, 200, 0, 0, 0, 0, SRCCOPY, COLORONCOLOR);
    EXPECT_EQ(Pixel32(dst, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(Pixel32(dst, 4, 4), 0xFF0000u); // column 104, row 1 of the 200x200 sample grid
    // Negative extents mirror.
    src.Stretch(&dst, 2, 0, -2, 2, 0, 0, 2, 2, SRCCOPY, COLORONCOLOR);
    EXPECT_EQ(Pixel32(dst, 0, 0), 0xFF0000u);
    EXPECT_EQ(Pixel32(dst, 1, 0), 0x000000u);
}

TEST(Dib, RasterOperationsAndMonochrome) {
    cDIB src, dst;
    ASSERT_TRUE(src.Create(2, 1, 32));
    SetPixel32(src, 0, 0, 0xF0F0F0);
    SetPixel32(src, 1, 0, 0x0F0F0F);
    ASSERT_TRUE(dst.Create(2, 1, 32));
    SetPixel32(dst, 0, 0, 0x123456);
    SetPixel32(dst, 1, 0, 0x123456);
    src.Stretch(&dst, 0, 0, 2, 1, 0, 0, 2, 1, SRCAND, COLORONCOLOR);
    EXPECT_EQ(Pixel32(dst, 0, 0), 0x103050u);
    EXPECT_EQ(Pixel32(dst, 1, 0), 0x020406u);
    src.Stretch(&dst, 0, 0, 2, 1, 0, 0, 2, 1, SRCPAINT, COLORONCOLOR);
    EXPECT_EQ(Pixel32(dst, 0, 0), 0xF0F0F0u);
    EXPECT_EQ(Pixel32(dst, 1, 0), 0x0F0F0Fu);

    // Colour to one bit: only white becomes 1, however near another colour is.
    cDIB colour, mono;
    ASSERT_TRUE(colour.Create(4, 1, 8));
    colour.SetPalette(Table({0xFFFFFF, 0xFEFEFE, 0x000000, 0xFFFFFF}));
    for (int i = 0; i < 4; ++i)
        Byte(colour, i, 0) = uint8_t(i);
    ASSERT_TRUE(mono.Create(4, 1, 1));
    mono.SetPalette(Table({0x000000, 0xFFFFFF}));
    EXPECT_NE(mono.LoadBlt(&colour, 0, 0, 0, 0), 0);
    EXPECT_EQ(mono.lpBits()[0] >> 4, 0b1001);

    // One bit onto colour goes through the table; AND then OR is a masked draw.
    ASSERT_TRUE(dst.Create(4, 1, 32));
    for (int i = 0; i < 4; ++i)
        SetPixel32(dst, i, 0, 0x336699);
    mono.Stretch(&dst, 0, 0, 4, 1, 0, 0, 0, 0, SRCAND, COLORONCOLOR);
    EXPECT_EQ(Pixel32(dst, 0, 0), 0x336699u);
    EXPECT_EQ(Pixel32(dst, 1, 0), 0x000000u);
}

TEST(Dib, ClsMapsToTheNearestEntryAndClones) {
    cDIB d;
    ASSERT_TRUE(d.Create(3, 2, 8));
    d.SetPalette(Table({0x000000, 0xFF0000, 0x0000F0}));
    d.Cls(0x0000FE); // colour value red 0xFE: nearest is entry 1
    EXPECT_EQ(Byte(d, 2, 1), 1);
    d.Cls(0x8F0000); // blue 0x8F: nearest is entry 2 (blue 0xF0)
    EXPECT_EQ(Byte(d, 0, 0), 2);
    d.Cls(0x8000000F); // a system colour code is translated, not used as bits
    EXPECT_LT(Byte(d, 0, 0), 3);

    cDIB copy;
    d.CloneTo(copy);
    EXPECT_EQ(copy.Width(), 3);
    EXPECT_EQ(copy.TableColor(1), 0xFF0000u);
    EXPECT_EQ(std::memcmp(copy.lpBits(), d.lpBits(), std::size_t(d.size())), 0);

    ASSERT_TRUE(d.Create(9, 1, 1));
    d.SetPalette(Table({0x000000, 0xFFFFFF}));
    d.Cls(0xFFFFFF);
    EXPECT_EQ(d.lpBits()[0], 0xFF);
    EXPECT_EQ(d.lpBits()[1] & 0x80, 0x80);
}

TEST(Dib, PicturesRoundTrip) {
    cDIB d;
    ASSERT_TRUE(d.Create(2, 1, 8));
    d.SetPalette(Table({0x102030, 0x405060}));
    Byte(d, 1, 0) = 1;
    StdPicture picture = d.Image();
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->bpp(), 32);
    EXPECT_EQ(Pixel32(*picture, 0, 0), 0x102030u);
    EXPECT_EQ(Pixel32(*picture, 1, 0), 0x405060u);

    cDIB back;
    EXPECT_EQ(back.CreateFromStdPicture(picture, false), 32);
    EXPECT_EQ(Pixel32(back, 1, 0), 0x405060u);
    EXPECT_EQ(back.CreateFromStdPicture(nullptr, true), 0);
    cDIB eight;
    EXPECT_EQ(eight.CreateFromStdPicture(std::shared_ptr<cDIB>(&d, [](cDIB*) {}), false), 8);
    EXPECT_EQ(eight.TableColor(1), 0x405060u);
    EXPECT_EQ(eight.lpBits()[1], 1);
}

} // namespace

TEST(Dib, OneCheckedLayoutForEverySurface) {
    // Rows padded to 4 bytes at every depth; sides past the cap and sizes past
    // the limit refused, with no product overflowing on the way.
    const SurfaceLayout l = LayoutSurface(3, 2, 24, kMaxSurfaceBytes);
    EXPECT_TRUE(l.fits);
    EXPECT_EQ(l.bytesPerScanline, 12u);
    EXPECT_EQ(l.size, 24u);
    EXPECT_EQ(LayoutSurface(9, 1, 1, kMaxSurfaceBytes).bytesPerScanline, 4u);
    EXPECT_FALSE(LayoutSurface(kMaxSurfaceSide + 1, 1, 8, kMaxSurfaceBytes).fits);
    EXPECT_FALSE(LayoutSurface(INT64_MAX, INT64_MAX, 32, SIZE_MAX).fits);
    EXPECT_FALSE(LayoutSurface(0, 5, 8, kMaxSurfaceBytes).fits);
    const SurfaceLayout big = LayoutSurface(65535, 65535, 32, kMaxSurfaceBytes);
    EXPECT_FALSE(big.fits);
    EXPECT_EQ(big.size, std::size_t(65535) * 65535 * 4); // still readable
    cDIB d;
    EXPECT_FALSE(d.Create(65535, 65535, 32));
    EXPECT_EQ(d.BytesPerScanline(), 65535 * 4); // the size asked for stays readable
    EXPECT_EQ(d.lpBits(), nullptr);
    EXPECT_FALSE(d.Create(int32_t(kMaxSurfaceSide + 1), 1, 1));
}
