#include "imaging/MFreeImage_2.h"
#include "imaging/mScaleImage.h"
#include "tests/TempDir.h"

#include "tests/PixelUtil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

using MFreeImage_2::LoadImageFile;

uint32_t Pixel(const PictureBox& box, int x, int y) {
    return Pixel32(box.Surface(), x, y);
}

// A 24-bit test picture: colour bars with a gradient, so every conversion shows.
FIBITMAP* TestPicture(int w, int h) {
    FIBITMAP* b = FreeImage_Allocate(w, h, 24);
    for (int y = 0; y < h; ++y) {
        BYTE* row = FreeImage_GetScanLine(b, h - 1 - y); // row 0 is the top
        for (int x = 0; x < w; ++x) {
            row[3 * x + FI_RGBA_RED] = BYTE(x * 255 / std::max(1, w - 1));
            row[3 * x + FI_RGBA_GREEN] = BYTE(y * 255 / std::max(1, h - 1));
            row[3 * x + FI_RGBA_BLUE] = BYTE((x / 4) % 2 ? 200 : 30);
        }
    }
    return b;
}

// What FreeImage itself reads from a file, as 0x00RRGGBB rows from the top.
std::vector<uint32_t> Reference(const std::string& file) {
    FREE_IMAGE_FORMAT format = FreeImage_GetFileType(file.c_str(), 0);
    if (format == FIF_UNKNOWN) format = FreeImage_GetFIFFromFilename(file.c_str());
    FIBITMAP* b = FreeImage_Load(format, file.c_str(), format == FIF_JPEG ? JPEG_ACCURATE : 0);
    EXPECT_NE(b, nullptr) << file;
    std::vector<uint32_t> out;
    if (!b) return out;
    FIBITMAP* c = FreeImage_ConvertTo32Bits(b);
    const int w = int(FreeImage_GetWidth(c)), h = int(FreeImage_GetHeight(c));
    for (int y = 0; y < h; ++y) {
        const BYTE* row = FreeImage_GetScanLine(c, h - 1 - y);
        for (int x = 0; x < w; ++x)
            out.push_back((uint32_t(row[4 * x + FI_RGBA_RED]) << 16) |
                          (uint32_t(row[4 * x + FI_RGBA_GREEN]) << 8) | row[4 * x + FI_RGBA_BLUE]);
    }
    FreeImage_Unload(c);
    FreeImage_Unload(b);
    return out;
}

struct Case {
    const char* name;
    FREE_IMAGE_FORMAT format;
    std::function<FIBITMAP*(FIBITMAP*)> convert;
    int tolerance;
};

FIBITMAP* Keep(FIBITMAP* b) {
    return FreeImage_Clone(b);
}

TEST(StillImages, EveryFormatDecodesToTheLibrarysPixels) {
    TempDir dir;
    const Case cases[] = {
        {"bmp1.bmp", FIF_BMP, [](FIBITMAP* b) { return FreeImage_Threshold(b, 128); }, 0},
        {"bmp4.bmp", FIF_BMP, [](FIBITMAP* b) { return FreeImage_ConvertTo4Bits(b); }, 0},
        {"bmp8.bmp", FIF_BMP, [](FIBITMAP* b) { return FreeImage_ColorQuantize(b, FIQ_WUQUANT); },
         0},
        {"bmp555.bmp", FIF_BMP, [](FIBITMAP* b) { return FreeImage_ConvertTo16Bits555(b); }, 1},
        {"bmp565.bmp", FIF_BMP, [](FIBITMAP* b) { return FreeImage_ConvertTo16Bits565(b); }, 1},
        {"bmp24.bmp", FIF_BMP, Keep, 0},
        {"bmp32.bmp", FIF_BMP, [](FIBITMAP* b) { return FreeImage_ConvertTo32Bits(b); }, 0},
        {"palette.png", FIF_PNG,
         [](FIBITMAP* b) { return FreeImage_ColorQuantize(b, FIQ_NNQUANT); }, 0},
        {"grey.png", FIF_PNG, [](FIBITMAP* b) { return FreeImage_ConvertToGreyscale(b); }, 0},
        {"rgb.png", FIF_PNG, Keep, 0},
        {"photo.jpg", FIF_JPEG, Keep, 0},
        {"rgb.tif", FIF_TIFF, Keep, 0},
        {"image.tga", FIF_TARGA, Keep, 0},
        {"image.pbm", FIF_PBMRAW, [](FIBITMAP* b) { return FreeImage_Threshold(b, 100); }, 0},
        {"image.pgm", FIF_PGMRAW, [](FIBITMAP* b) { return FreeImage_ConvertToGreyscale(b); }, 0},
        {"image.ppm", FIF_PPMRAW, Keep, 0},
        {"icon.ico", FIF_ICO, Keep, 0},
        {"image.xpm", FIF_XPM, [](FIBITMAP* b) { return FreeImage_ColorQuantize(b, FIQ_WUQUANT); },
         0},
    };
    FIBITMAP* picture = TestPicture(32, 32); // square, as icons want
    for (const Case& c : cases) {
        const std::string file = (dir.path() / c.name).string();
        FIBITMAP* converted = c.convert(picture);
        ASSERT_NE(converted, nullptr) << c.name;
        ASSERT_TRUE(FreeImage_Save(c.format, converted, file.c_str(), 0)) << c.name;
        FreeImage_Unload(converted);
        PictureBox box;
        ASSERT_TRUE(LoadImageFile(file, box)) << c.name;
        ASSERT_EQ(box.Width(), 32) << c.name;
        ASSERT_EQ(box.Height(), 32) << c.name;
        const std::vector<uint32_t> expected = Reference(file);
        ASSERT_EQ(expected.size(), 32u * 32u);
        int worst = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                worst = std::max(
                    worst, MaxDifference(Pixel(box, x, y), expected[std::size_t(y * 32 + x)]));
        EXPECT_LE(worst, c.tolerance) << c.name;
    }
    FreeImage_Unload(picture);
}

TEST(StillImages, AlphaAndDeepPixelsShow) {
    TempDir dir;
    // RGBA: half-transparent red over the light grey background.
    FIBITMAP* rgba = FreeImage_Allocate(2, 1, 32);
    BYTE* row = FreeImage_GetScanLine(rgba, 0);
    const BYTE px[2][4] = {{0, 0, 255, 255}, {0, 0, 255, 128}}; // blue, green, red, alpha
    std::memcpy(row, px, 8);
    const std::string rgbaFile = (dir.path() / "rgba.png").string();
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, rgba, rgbaFile.c_str(), 0));
    FreeImage_Unload(rgba);
    PictureBox box;
    ASSERT_TRUE(LoadImageFile(rgbaFile, box));
    EXPECT_EQ(Pixel(box, 0, 0), 0xFF0000u);
    EXPECT_EQ(Pixel(box, 1, 0), (uint32_t((255 * 128 + 0xE0 * 127 + 127) / 255) << 16) |
                                    (uint32_t((0xE0 * 127 + 127) / 255) << 8) |
                                    uint32_t((0xE0 * 127 + 127) / 255));

    // 16 bits a channel (48-bit PNG, 16-bit TIFF) shows its high bytes.
    for (const char* name : {"deep.png", "deep.tif"}) {
        FIBITMAP* deep = FreeImage_AllocateT(FIT_RGB16, 3, 2);
        for (int y = 0; y < 2; ++y) {
            auto* p = reinterpret_cast<FIRGB16*>(FreeImage_GetScanLine(deep, y));
            for (int x = 0; x < 3; ++x)
                p[x] = FIRGB16{WORD(0x1234 * (x + 1)), WORD(0xABCD), WORD(0x0100 * (y + 1))};
        }
        const std::string file = (dir.path() / name).string();
        ASSERT_TRUE(FreeImage_Save(FreeImage_GetFIFFromFilename(name), deep, file.c_str(), 0))
            << name;
        FreeImage_Unload(deep);
        PictureBox d;
        ASSERT_TRUE(LoadImageFile(file, d)) << name;
        EXPECT_EQ(d.Width(), 3);
        // 0x2468, 0xABCD, 0x0200: the top row is FreeImage's scanline 1 (rows run bottom-up).
        EXPECT_EQ(Pixel(d, 1, 0), 0x24AB02u) << name;
    }
    // Floating point (PFM) is tone-mapped, not left blank.
    FIBITMAP* hdr = FreeImage_AllocateT(FIT_RGBF, 4, 4);
    for (int y = 0; y < 4; ++y) {
        auto* p = reinterpret_cast<FIRGBF*>(FreeImage_GetScanLine(hdr, y));
        for (int x = 0; x < 4; ++x)
            p[x] = FIRGBF{float(x) * 10.0f, 1.0f, 0.5f};
    }
    const std::string pfm = (dir.path() / "light.pfm").string();
    ASSERT_TRUE(FreeImage_Save(FIF_PFM, hdr, pfm.c_str(), 0));
    FreeImage_Unload(hdr);
    PictureBox h;
    ASSERT_TRUE(LoadImageFile(pfm, h));
    EXPECT_GT(Pixel(h, 3, 0) >> 16, Pixel(h, 0, 0) >> 16) << "brighter stays brighter";
}

// A hand-made 8-bit PCX (FreeImage reads PCX but does not write it): 2 x 2
// pixels, run-length coded, with a 256-entry palette at the end.
std::string Pcx() {
    std::string f(128, '\0');
    f[0] = 0x0A;                     // manufacturer
    f[1] = 5;                        // version
    f[2] = 1;                        // run-length coding
    f[3] = 8;                        // bits per pixel
    f[8] = 1;                        // xmax = 1
    f[10] = 1;                       // ymax = 1
    f[65] = 1;                       // planes
    f[66] = 2;                       // bytes per line
    f[68] = 1;                       // colour palette
    f += std::string("\x01\x02", 2); // row 0: indices 1, 2
    f += std::string("\xC2\x03", 2); // row 1: index 3 twice, as a run
    f += '\x0C';
    std::string palette(768, '\0');
    const unsigned char colours[4][3] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 3; ++k)
            palette[std::size_t(3 * i + k)] = char(colours[i][k]);
    return f + palette;
}

TEST(StillImages, DetectionFailuresAndLimits) {
    TempDir dir;
    PictureBox box;
    ASSERT_TRUE(LoadImageFile(dir.Write("hand.pcx", Pcx()).string(), box));
    EXPECT_EQ(box.Width(), 2);
    EXPECT_EQ(Pixel(box, 0, 0), 0xFF0000u);
    EXPECT_EQ(Pixel(box, 1, 0), 0x00FF00u);
    EXPECT_EQ(Pixel(box, 1, 1), 0x0000FFu);

    // A format without a signature is found by its extension.
    FIBITMAP* one = FreeImage_Allocate(1, 1, 24);
    FreeImage_GetScanLine(one, 0)[FI_RGBA_RED] = 0x40;
    FIBITMAP* mono = FreeImage_Threshold(one, 1);
    const std::string wbmp = (dir.path() / "tiny.wbmp").string();
    ASSERT_TRUE(FreeImage_Save(FIF_WBMP, mono, wbmp.c_str(), 0));
    EXPECT_EQ(FreeImage_GetFileType(wbmp.c_str(), 0), FIF_UNKNOWN);
    PictureBox w;
    EXPECT_TRUE(LoadImageFile(wbmp, w));
    EXPECT_EQ(w.Width(), 1);
    FreeImage_Unload(mono);

    // A 1 x 1 picture; then failing loads keep it.
    const std::string tiny = (dir.path() / "tiny.bmp").string();
    ASSERT_TRUE(FreeImage_Save(FIF_BMP, one, tiny.c_str(), 0));
    FreeImage_Unload(one);
    PictureBox keep;
    ASSERT_TRUE(LoadImageFile(tiny, keep));
    EXPECT_EQ(keep.Width(), 1);
    EXPECT_EQ(Pixel(keep, 0, 0), 0x400000u);
    EXPECT_FALSE(LoadImageFile(dir.Write("notes.qqq", "hello, world").string(), keep));
    EXPECT_FALSE(LoadImageFile(dir.Write("broken.png", "\x89PNG\r\n\x1a\nrubbish").string(), keep));
    EXPECT_FALSE(LoadImageFile((dir.path() / "missing.png").string(), keep));
    EXPECT_FALSE(LoadImageFile(dir.str(), keep));
    ASSERT_EQ(::mkfifo((dir.path() / "fifo.png").c_str(), 0600), 0);
    EXPECT_FALSE(LoadImageFile((dir.path() / "fifo.png").string(), keep));
    // A bitmap header claiming 100000 x 100000: too large to show, a failed load.
    std::string huge = "BM" + std::string(12, '\0');
    huge[10] = 54;
    std::string info(40, '\0');
    info[0] = 40;
    const uint32_t side = 100000;
    std::memcpy(&info[4], &side, 4);
    std::memcpy(&info[8], &side, 4);
    info[12] = 1;
    info[14] = 24;
    EXPECT_FALSE(LoadImageFile(dir.Write("huge.bmp", huge + info).string(), keep));
    EXPECT_EQ(keep.Width(), 1);
    EXPECT_EQ(Pixel(keep, 0, 0), 0x400000u);

    // Names with any bytes load.
    const std::string odd = (dir.path() / "caf\xe9 \xff\n.bmp").string();
    std::filesystem::copy_file(tiny, odd);
    PictureBox oddBox;
    EXPECT_TRUE(LoadImageFile(odd, oddBox));
}

TEST(StillImages, BitmapFilesIntoSurfacesKeepTheirRowOrder) {
    TempDir dir;
    FIBITMAP* picture = TestPicture(5, 3);
    FIBITMAP* eight = FreeImage_ColorQuantize(picture, FIQ_WUQUANT);
    const std::string file = (dir.path() / "eight.bmp").string();
    ASSERT_TRUE(FreeImage_Save(FIF_BMP, eight, file.c_str(), 0));
    cDIB d;
    EXPECT_EQ(d.CreateFromBitmapFile(file), 8);
    EXPECT_EQ(d.Width(), 5);
    EXPECT_EQ(d.BytesPerScanline(), 8);
    // Row 0 of the surface is the file's first row: the bottom of the picture.
    EXPECT_EQ(d.lpBits()[0], FreeImage_GetScanLine(eight, 0)[0]);
    const RGBQUAD* palette = FreeImage_GetPalette(eight);
    EXPECT_EQ(d.TableColor(1), (uint32_t(palette[1].rgbRed) << 16) |
                                   (uint32_t(palette[1].rgbGreen) << 8) | palette[1].rgbBlue);
    FreeImage_Unload(eight);
    FreeImage_Unload(picture);
    // An empty file leaves the surface as it was; a broken one empties it.
    EXPECT_EQ(d.CreateFromBitmapFile(dir.Write("empty.bmp", "").string()), 0);
    EXPECT_EQ(d.Width(), 5);
    EXPECT_EQ(d.CreateFromBitmapFile(dir.Write("bad.bmp", "BMnonsense").string()), 0);
    EXPECT_EQ(d.Width(), 0);
    EXPECT_EQ(d.CreateFromBitmapFile((dir.path() / "missing.bmp").string()), 0);
}

TEST(Scaling, FitArithmetic) {
    using mScaleImage::FitInBox;
    using mScaleImage::Placement;
    EXPECT_EQ(FitInBox(1000, 500, 400, 300, 0, true), (Placement{0, 50, 400, 200}));
    EXPECT_EQ(FitInBox(500, 1000, 400, 300, 0, true), (Placement{125, 0, 150, 300}));
    EXPECT_EQ(FitInBox(1200, 900, 400, 300, 0, true), (Placement{0, 0, 400, 300}));
    EXPECT_EQ(FitInBox(100, 50, 400, 300, 0, true), (Placement{150, 125, 100, 50}));
    EXPECT_EQ(FitInBox(3, 1, 2, 2, 0, true), (Placement{0, 0, 2, 1}));
    EXPECT_EQ(FitInBox(1000, 500, 0, 300, 0, true), (Placement{0, 150, 0, 0}));
    EXPECT_EQ(FitInBox(100, 50, 400, 300, 10, false), (Placement{10, 10, 100, 50}));
}

TEST(Scaling, DrawsIntoTheBox) {
    PictureBox source;
    ASSERT_TRUE(source.SetSize(1000, 500));
    source.SetBackColor(0x0000FF); // a red picture (colour value: red is the low byte)
    source.Cls();
    PictureBox target;
    ASSERT_TRUE(target.SetSize(400, 300));
    const auto p = mScaleImage::ScaleImageToBox(source, target, 0, true);
    EXPECT_EQ(p, (mScaleImage::Placement{0, 50, 400, 200}));
    EXPECT_EQ(Pixel(target, 200, 10), 0xE0E0E0u) << "outside the picture: the background";
    EXPECT_EQ(Pixel(target, 200, 150), 0xFF0000u);
    EXPECT_EQ(Pixel(target, 399, 249), 0xFF0000u);
    EXPECT_EQ(Pixel(target, 0, 250), 0xE0E0E0u);

    // A pane 0 wide draws nothing and does not fail; an empty source just clears.
    PictureBox empty;
    EXPECT_EQ(mScaleImage::ScaleImageToBox(source, empty, 0, true).width, 0);
    mScaleImage::ScaleImageToBox(PictureBox(), target, 0, true);
    EXPECT_EQ(Pixel(target, 200, 150), 0xE0E0E0u);
}

TEST(Scaling, RescaleBitmapSizes) {
    using mScaleImage::RescaleBitmap;
    using mScaleImage::ScaleSize;
    FIBITMAP* b = FreeImage_Allocate(400, 300, 24);
    FIBITMAP* r =
        RescaleBitmap(b, ScaleSize::Pixels(200), ScaleSize(), false, false, mScaleImage::kLanczos3);
    EXPECT_EQ(FreeImage_GetWidth(r), 200u);
    EXPECT_EQ(FreeImage_GetHeight(r), 150u);
    FreeImage_Unload(r);
    r = RescaleBitmap(b, ScaleSize(), ScaleSize::Pixels(150), false, false, mScaleImage::kLanczos3);
    EXPECT_EQ(FreeImage_GetWidth(r), 200u);
    FreeImage_Unload(r);
    r = RescaleBitmap(b, ScaleSize::Factor(25), ScaleSize::Factor(50), true, false,
                      mScaleImage::kLanczos3);
    EXPECT_EQ(FreeImage_GetWidth(r), 100u);
    EXPECT_EQ(FreeImage_GetHeight(r), 150u);
    FreeImage_Unload(r);
    EXPECT_EQ(RescaleBitmap(b, ScaleSize(), ScaleSize(), false, true, mScaleImage::kLanczos3), b)
        << "no size: the same bitmap back";
    FreeImage_Unload(b);
}

} // namespace
