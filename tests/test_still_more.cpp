// Still pictures beyond what FreeImage reads: valid bitmaps it refuses (V5
// headers, RLE) decoded by the Qt readers, and photos turned upright by their
// EXIF Orientation tag.
#include "imaging/MFreeImage_2.h"
#include "imaging/mScaleImage.h"
#include "tests/PixelUtil.h"
#include "tests/TempDir.h"

#include <FreeImage.h>
#include <QGuiApplication>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <unistd.h>

namespace {

using MFreeImage_2::LoadImageFile;

void Put16(std::string& s, unsigned v) {
    s += char(v & 0xFF);
    s += char((v >> 8) & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

// A bitmap file with a 124-byte (V5) header, as ImageMagick and GIMP write
// them. `pixels` are the stored rows, bottom-up and padded; `palette` the
// colour table (4 bytes an entry).
std::string BitmapV5(int w, int h, int bpp, uint32_t compression, const std::string& pixels,
                     const std::string& palette = {}, bool alphaMask = false) {
    constexpr uint32_t kFileHeader = 14, kV5Header = 124;
    std::string s = "BM";
    const uint32_t offset = kFileHeader + kV5Header + uint32_t(palette.size());
    Put32(s, offset + uint32_t(pixels.size()));
    Put32(s, 0);
    Put32(s, offset);
    Put32(s, kV5Header);
    Put32(s, uint32_t(w));
    Put32(s, uint32_t(h));
    Put16(s, 1);
    Put16(s, unsigned(bpp));
    Put32(s, compression);
    Put32(s, uint32_t(pixels.size()));
    Put32(s, 2835);
    Put32(s, 2835);
    Put32(s, uint32_t(palette.size() / 4));
    Put32(s, 0);
    // Channel masks (red, green, blue, alpha), then the colour space: sRGB.
    Put32(s, 0x00FF0000);
    Put32(s, 0x0000FF00);
    Put32(s, 0x000000FF);
    Put32(s, alphaMask ? 0xFF000000 : 0);
    Put32(s, 0x73524742);
    s += std::string(36 + 12, '\0'); // end points and gammas
    Put32(s, 4);                     // rendering intent
    Put32(s, 0);
    Put32(s, 0);
    Put32(s, 0);
    return s + palette + pixels;
}

struct Picture {
    PictureBox box;
    bool loaded = false;
    uint32_t At(int x, int y) const { return Pixel32(box.Surface(), x, y); }
};

Picture Load(const TempDir& dir, const std::string& name, const std::string& bytes) {
    Picture p;
    p.loaded = LoadImageFile(dir.Write(name, bytes).string(), p.box);
    return p;
}

} // namespace

TEST(StillFallback, BitmapsFreeImageRefusesStillShow) {
    TempDir dir;
    { // 24 bits, 3 x 2: rows bottom-up, each padded to 12 bytes
        std::string px;
        px += std::string("\x00\x00\xFF"
                          "\x00\xFF\x00"
                          "\xFF\x00\x00"
                          "\0\0\0",
                          12); // bottom: red green blue
        px += std::string("\xFF\xFF\xFF"
                          "\x00\x00\x00"
                          "\x80\x80\x80"
                          "\0\0\0",
                          12); // top: white black grey
        const Picture p = Load(dir, "v5.bmp", BitmapV5(3, 2, 24, 0, px));
        ASSERT_TRUE(p.loaded);
        EXPECT_EQ(p.box.Width(), 3);
        EXPECT_EQ(p.box.Height(), 2);
        EXPECT_EQ(p.At(0, 0), 0xFFFFFFu);
        EXPECT_EQ(p.At(2, 0), 0x808080u);
        EXPECT_EQ(p.At(0, 1), 0xFF0000u);
        EXPECT_EQ(p.At(2, 1), 0x0000FFu);
    }
    { // 32 bits with alpha: half-transparent red over the light grey background
        std::string px;
        px += std::string("\x00\x00\xFF\x80"
                          "\x00\xFF\x00\xFF",
                          8);
        const Picture p = Load(dir, "alpha.bmp", BitmapV5(2, 1, 32, 3, px, {}, true));
        ASSERT_TRUE(p.loaded);
        EXPECT_LE(MaxDifference(p.At(0, 0), 0xF07070u), 1); // (255 x 128 + 224 x 127) / 255
        EXPECT_EQ(p.At(1, 0), 0x00FF00u);
    }
    { // 8 bits, RLE: 4 x 2, a run of 4 then a run of 2 and 2, end of lines, end of bitmap
        const std::string palette("\x00\x00\xFF\x00"
                                  "\xFF\x00\x00\x00",
                                  8); // 0 red, 1 blue
        const std::string rle("\x04\x00"
                              "\x00\x00"
                              "\x02\x01\x02\x00"
                              "\x00\x00"
                              "\x00\x01",
                              12);
        const Picture p = Load(dir, "rle.bmp", BitmapV5(4, 2, 8, 1, rle, palette));
        ASSERT_TRUE(p.loaded);
        EXPECT_EQ(p.At(0, 1), 0xFF0000u); // the bottom row: red
        EXPECT_EQ(p.At(0, 0), 0x0000FFu); // the top row: blue, blue, red, red
        EXPECT_EQ(p.At(3, 0), 0xFF0000u);
    }
    { // neither reader: a failure that keeps the earlier picture
        PictureBox box;
        ASSERT_TRUE(LoadImageFile(
            dir.Write("ok.bmp", BitmapV5(1, 1, 24, 0, std::string(4, '\0'))).string(), box));
        EXPECT_FALSE(LoadImageFile(dir.Write("junk.bmp", "BM not really").string(), box));
        EXPECT_FALSE(LoadImageFile(dir.Write("junk.webp", "RIFF....WEBPVP8 ").string(), box));
        EXPECT_EQ(box.Width(), 1);
        // A header that claims more than memory allows is refused before any pixels.
        EXPECT_FALSE(LoadImageFile(
            dir.Write("huge.bmp", BitmapV5(100000, 100000, 24, 0, "")).string(), box));
        EXPECT_EQ(box.Width(), 1);
    }
}

namespace {

// A 16 x 8 JPEG whose quadrants are red, green (top) and blue, white (bottom).
std::string QuadrantJpeg(const TempDir& dir) {
    FIBITMAP* b = FreeImage_Allocate(16, 8, 24);
    for (int y = 0; y < 8; ++y) {
        BYTE* row = FreeImage_GetScanLine(b, 7 - y);
        for (int x = 0; x < 16; ++x) {
            const bool right = x >= 8, bottom = y >= 4;
            const uint32_t c =
                !bottom ? (right ? 0x00FF00 : 0xFF0000) : (right ? 0xFFFFFF : 0x0000FF);
            row[3 * x + FI_RGBA_RED] = BYTE(c >> 16);
            row[3 * x + FI_RGBA_GREEN] = BYTE(c >> 8);
            row[3 * x + FI_RGBA_BLUE] = BYTE(c);
        }
    }
    const auto path = dir.path() / "plain.jpg";
    EXPECT_TRUE(FreeImage_Save(FIF_JPEG, b, path.c_str(), JPEG_QUALITYSUPERB));
    FreeImage_Unload(b);
    return TempDir::Read(path);
}

// The JPEG with an APP1 segment holding an EXIF block with one Orientation entry.
std::string WithOrientation(const std::string& jpeg, int orientation, bool damaged = false) {
    std::string exif("Exif\0\0", 6);
    exif += std::string("II*\0", 4);
    Put32(exif, damaged ? 0xFFF0 : 8); // the first directory's offset
    Put16(exif, 1);                    // one entry
    Put16(exif, 0x0112);               // Orientation
    Put16(exif, 3);                    // SHORT
    Put32(exif, 1);
    Put16(exif, unsigned(orientation));
    Put16(exif, 0);
    Put32(exif, 0);
    std::string app1("\xFF\xE1", 2);
    app1 += char((exif.size() + 2) >> 8);
    app1 += char((exif.size() + 2) & 0xFF);
    return jpeg.substr(0, 2) + app1 + exif + jpeg.substr(2);
}

// For each EXIF orientation, where the quadrants of a picture stored as red,
// green (top) and blue, white (bottom) land once it is upright: its corners
// (top left, top right, bottom left, bottom right), and whether its sides
// are swapped.
struct Upright {
    int orientation;
    uint32_t tl, tr, bl, br;
    bool swapped;
};
constexpr uint32_t R = 0xFF0000, G = 0x00FF00, B = 0x0000FF, W = 0xFFFFFF;
constexpr Upright kUpright[] = {
    {1, R, G, B, W, false}, {2, G, R, W, B, false}, {3, W, B, G, R, false}, {4, B, W, R, G, false},
    {5, R, B, G, W, true},  {6, B, R, W, G, true},  {7, W, G, B, R, true},  {8, G, W, R, B, true},
};

// The picture (stored `wide` x `tall`) is upright: its size and its corners,
// each channel within `tolerance`.
void ExpectUpright(const PictureBox& box, const Upright& r, int wide, int tall, int tolerance) {
    ASSERT_EQ(box.Width(), r.swapped ? tall : wide) << r.orientation;
    ASSERT_EQ(box.Height(), r.swapped ? wide : tall) << r.orientation;
    const int w = box.Width() - 1, h = box.Height() - 1;
    const cDIB& s = box.Surface();
    EXPECT_LE(MaxDifference(Pixel32(s, 0, 0), r.tl), tolerance) << r.orientation;
    EXPECT_LE(MaxDifference(Pixel32(s, w, 0), r.tr), tolerance) << r.orientation;
    EXPECT_LE(MaxDifference(Pixel32(s, 0, h), r.bl), tolerance) << r.orientation;
    EXPECT_LE(MaxDifference(Pixel32(s, w, h), r.br), tolerance) << r.orientation;
}

} // namespace

TEST(StillOrientation, PhotosAreShownUpright) {
    TempDir dir;
    const std::string jpeg = QuadrantJpeg(dir);
    constexpr int kJpegTolerance = 40; // JPEG's own loss at the quadrants' edges
    for (const Upright& r : kUpright) {
        PictureBox box;
        const std::string name = std::string("o") + char('0' + r.orientation) + ".jpg";
        const auto file = dir.Write(name, WithOrientation(jpeg, r.orientation));
        ASSERT_TRUE(LoadImageFile(file.string(), box)) << r.orientation;
        ExpectUpright(box, r, 16, 8, kJpegTolerance);
    }
    // Without EXIF, and with a damaged block: as stored.
    for (const std::string& bytes : {jpeg, WithOrientation(jpeg, 6, true)}) {
        PictureBox box;
        ASSERT_TRUE(LoadImageFile(dir.Write("as-stored.jpg", bytes).string(), box));
        EXPECT_EQ(box.Width(), 16);
        EXPECT_LE(MaxDifference(Pixel32(box.Surface(), 0, 0), R), kJpegTolerance);
    }
}

namespace {

// A 4 x 2 uncompressed RGB TIFF (quadrants: red, green on top; blue, white
// below) with an Orientation tag.
std::string QuadrantTiff(int orientation) {
    const uint8_t px[2][4][3] = {{{255, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 255, 0}},
                                 {{0, 0, 255}, {0, 0, 255}, {255, 255, 255}, {255, 255, 255}}};
    std::string s("II*\0", 4);
    constexpr uint32_t kPixels = 8, kPixelBytes = 24, kBits = kPixels + kPixelBytes;
    constexpr uint32_t kIfd = kBits + 6;
    Put32(s, kIfd);
    for (const auto& row : px)
        for (const auto& p : row)
            s.append(reinterpret_cast<const char*>(p), 3);
    Put16(s, 8), Put16(s, 8), Put16(s, 8); // bits per sample
    const struct {
        uint16_t tag, type;
        uint32_t count, value;
    } entries[] = {{256, 3, 1, 4},
                   {257, 3, 1, 2},
                   {258, 3, 3, kBits},
                   {259, 3, 1, 1},
                   {262, 3, 1, 2},
                   {273, 4, 1, kPixels},
                   {274, 3, 1, uint32_t(orientation)},
                   {277, 3, 1, 3},
                   {278, 3, 1, 2},
                   {279, 4, 1, kPixelBytes},
                   {284, 3, 1, 1}};
    Put16(s, unsigned(std::size(entries)));
    for (const auto& e : entries) {
        Put16(s, e.tag);
        Put16(s, e.type);
        Put32(s, e.count);
        Put32(s, e.value); // SHORT values sit in the low half, little-endian
    }
    Put32(s, 0);
    return s;
}

} // namespace

TEST(StillOrientation, TiffsAreShownUprightToo) {
    TempDir dir;
    for (const Upright& r : kUpright) {
        PictureBox box;
        const std::string name = std::string("t") + char('0' + r.orientation) + ".tif";
        ASSERT_TRUE(LoadImageFile(dir.Write(name, QuadrantTiff(r.orientation)).string(), box))
            << r.orientation;
        ExpectUpright(box, r, 4, 2, 0); // uncompressed: exact
    }
}

// Transparency of every kind lands on the box's background colour the same way.
constexpr uint32_t kBackValue = 0x996633; // a colour value: red is the low byte
constexpr uint32_t kBack = 0x336699;      // the same as a 0x00RRGGBB pixel
constexpr uint8_t kHalf = 128, kQuarter = 64;

// `rgb` with alpha `a` over the background, each channel rounded.
uint32_t OverBack(uint32_t rgb, unsigned a) {
    uint32_t out = 0;
    for (int shift : {16, 8, 0}) {
        const unsigned top = (rgb >> shift) & 0xFF, under = (kBack >> shift) & 0xFF;
        out |= ((top * a + under * (255 - a) + 127) / 255) << shift;
    }
    return out;
}

struct AlphaCase {
    const char* name;
    int bpp;                 // 8: palette or grey with a transparency table; 32: RGBA
    bool grey;               // a grey ramp palette, pixels 0, 60, 120, 180
    std::vector<BYTE> alpha; // of the four pixels
};

// Four pixels, FreeImage's own file: red, green, blue and white (or four
// greys), with the alphas of the case.
FIBITMAP* AlphaPicture(const AlphaCase& c) {
    const RGBQUAD colours[4] = {{0, 0, 255, 0}, {0, 255, 0, 0}, {255, 0, 0, 0}, {255, 255, 255, 0}};
    FIBITMAP* b = FreeImage_Allocate(4, 1, c.bpp);
    BYTE* row = FreeImage_GetScanLine(b, 0);
    if (c.bpp == 32) {
        for (int x = 0; x < 4; ++x) {
            row[4 * x + FI_RGBA_RED] = colours[x].rgbRed;
            row[4 * x + FI_RGBA_GREEN] = colours[x].rgbGreen;
            row[4 * x + FI_RGBA_BLUE] = colours[x].rgbBlue;
            row[4 * x + FI_RGBA_ALPHA] = c.alpha[std::size_t(x)];
        }
        return b;
    }
    RGBQUAD* palette = FreeImage_GetPalette(b);
    std::vector<BYTE> table(256, 255);
    for (int i = 0; i < 256; ++i)
        palette[i] = c.grey ? RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0} : RGBQUAD{0, 0, 0, 0};
    for (int x = 0; x < 4; ++x) {
        const int index = c.grey ? 60 * x : x;
        if (!c.grey) palette[index] = colours[x];
        table[std::size_t(index)] = c.alpha[std::size_t(x)];
        row[x] = BYTE(index);
    }
    FreeImage_SetTransparencyTable(b, table.data(), 256);
    return b;
}

TEST(StillTransparency, EveryKindBlendsOntoTheBackground) {
    const AlphaCase cases[] = {
        {"palette-trns.png", 8, false, {255, 0, kHalf, kQuarter}},
        {"rgba.png", 32, false, {255, 0, kHalf, kQuarter}},
        {"palette-index.png", 8, false, {255, 0, 255, 255}},
        {"palette.gif", 8, false, {255, 0, 255, 255}}, // GIF: one transparent index
        {"grey-trns.png", 8, true, {255, 0, 255, 255}},
    };
    TempDir dir;
    for (const AlphaCase& c : cases) {
        const std::string file = (dir.path() / c.name).string();
        FIBITMAP* b = AlphaPicture(c);
        ASSERT_TRUE(FreeImage_Save(FreeImage_GetFIFFromFilename(c.name), b, file.c_str(), 0))
            << c.name;
        FreeImage_Unload(b);
        const uint32_t colours[4] = {c.grey ? 0x000000u : 0xFF0000u, c.grey ? 0x3C3C3Cu : 0x00FF00u,
                                     c.grey ? 0x787878u : 0x0000FFu,
                                     c.grey ? 0xB4B4B4u : 0xFFFFFFu};
        std::ifstream in(file, std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
        for (bool fromBytes : {false, true}) {
            PictureBox box;
            box.SetBackColor(kBackValue);
            ASSERT_TRUE(fromBytes ? MFreeImage_2::LoadImageBytes(bytes, file, box)
                                  : LoadImageFile(file, box))
                << c.name;
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(Pixel32(box.Surface(), x, 0),
                          OverBack(colours[x], c.alpha[std::size_t(x)]))
                    << c.name << " pixel " << x << (fromBytes ? " from bytes" : " from the file");
        }
    }
}

// Standard error while `run` runs.
std::string StandardErrorOf(const std::function<void()>& run) {
    std::fflush(stderr);
    FILE* capture = std::tmpfile();
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(::fileno(capture), STDERR_FILENO);
    run();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    std::string text;
    std::rewind(capture);
    for (int ch; (ch = std::fgetc(capture)) != EOF;)
        text += char(ch);
    std::fclose(capture);
    return text;
}

TEST(StillMessages, LoadsWriteNothingToStandardError) {
    // FreeImage's TIFF reader asks libtiff for tags the file lacks, which
    // libtiff reports as errors, dozens a picture.
    TempDir dir;
    const std::string file = (dir.path() / "plain.tif").string();
    FIBITMAP* b = FreeImage_Allocate(3, 2, 24);
    ASSERT_TRUE(FreeImage_Save(FIF_TIFF, b, file.c_str(), 0));
    FreeImage_Unload(b);
    PictureBox box;
    bool loaded = false;
    EXPECT_EQ(StandardErrorOf([&] { loaded = LoadImageFile(file, box); }), "");
    EXPECT_TRUE(loaded);
    EXPECT_EQ(box.Width(), 3);
}

namespace {

// A photo-like picture: smooth shapes with a fine grain, as cameras give.
FIBITMAP* PhotoLike(int w, int h) {
    FIBITMAP* b = FreeImage_Allocate(w, h, 24);
    uint32_t seed = 7;
    for (int y = 0; y < h; ++y) {
        BYTE* row = FreeImage_GetScanLine(b, y);
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = int(seed >> 28); // 0 to 15
            row[3 * x] = BYTE((x / 13 + (y * y) / 900 + grain) & 0xFF);
            row[3 * x + 1] = BYTE((128 + 100 * std::sin(x / 70.0) + grain));
            row[3 * x + 2] = BYTE(((x + 2 * y) / 21 + grain) & 0xFF);
        }
    }
    return b;
}

std::vector<uint8_t> FileBytes(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

// The picture at the size shown: the original's size stays exact, only the
// fitted picture is made, and the reduced JPEG road looks as the full-size
// Lanczos road does (PSNR against it, on a photo-like picture).
TEST(StillFitted, ReducedDecodeKeepsTheSizeAndTheLook) {
    TempDir dir;
    FIBITMAP* photo = PhotoLike(3000, 2000);
    const std::string jpeg = (dir.path() / "photo.jpg").string();
    const std::string png = (dir.path() / "photo.png").string();
    ASSERT_TRUE(FreeImage_Save(FIF_JPEG, photo, jpeg.c_str(), 90));
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, photo, png.c_str(), PNG_Z_BEST_SPEED));
    FreeImage_Unload(photo);
    struct Row {
        const std::string* file;
        MFreeImage_2::Box box;
        int shownW, shownH;
        double minPsnr;
    };
    const Row rows[] = {
        {&jpeg, {800, 600}, 800, 533, 40}, {&jpeg, {1920, 1080}, 1620, 1080, 40},
        {&jpeg, {400, 400}, 400, 267, 40}, {&png, {800, 600}, 800, 533, 60},
        {&png, {400, 400}, 400, 267, 40}, // shrunk by blocks first
    };
    for (const Row& r : rows) {
        const std::vector<uint8_t> bytes = FileBytes(*r.file);
        PictureBox shown;
        const MFreeImage_2::Fitted fitted =
            MFreeImage_2::LoadImageFitted(bytes, *r.file, r.box, shown);
        ASSERT_TRUE(fitted.loaded);
        EXPECT_EQ(fitted.fullWidth, 3000);
        EXPECT_EQ(fitted.fullHeight, 2000);
        ASSERT_EQ(shown.Width(), r.shownW) << r.box.width;
        ASSERT_EQ(shown.Height(), r.shownH) << r.box.width;
        // The full-size road: the whole picture, then the same Lanczos fit.
        PictureBox whole, reference;
        ASSERT_TRUE(MFreeImage_2::LoadImageBytes(bytes, *r.file, whole));
        reference.SetSize(r.shownW, r.shownH);
        mScaleImage::ScaleImageToBox(whole, reference, 0, true);
        const double psnr = Psnr(shown.Surface(), reference.Surface());
        std::printf("fitted %s into %dx%d: PSNR %.1f dB against the full-size road\n",
                    r.file->substr(r.file->size() - 3).c_str(), r.box.width, r.box.height, psnr);
        EXPECT_GE(psnr, r.minPsnr) << *r.file << " " << r.box.width;
    }
    // No box, or a box larger than the picture: the whole picture, never enlarged.
    for (const MFreeImage_2::Box box : {MFreeImage_2::Box{}, MFreeImage_2::Box{4000, 4000}}) {
        PictureBox shown;
        const MFreeImage_2::Fitted fitted =
            MFreeImage_2::LoadImageFitted(FileBytes(jpeg), jpeg, box, shown);
        ASSERT_TRUE(fitted.loaded);
        EXPECT_EQ(shown.Width(), 3000);
        EXPECT_EQ(fitted.fullWidth, 3000);
    }
    // A file that does not decode leaves the box as it was.
    PictureBox untouched;
    const std::vector<uint8_t> junk = {'n', 'o', 't'};
    EXPECT_FALSE(MFreeImage_2::LoadImageFitted(junk, "junk.jpg", {800, 600}, untouched).loaded);
    EXPECT_EQ(untouched.Width(), 0);
}

// Transparency survives the fit: a large palette picture with a transparency
// table, fitted small, shows its opaque half as it is and its transparent
// half as the background, as the whole picture would.
TEST(StillFitted, TransparencyIsKeptWhenFitted) {
    TempDir dir;
    FIBITMAP* b = FreeImage_Allocate(2000, 1000, 8);
    RGBQUAD* palette = FreeImage_GetPalette(b);
    palette[0] = {0, 0, 255, 0}; // red, opaque
    palette[1] = {0, 255, 0, 0}; // green, transparent
    BYTE alpha[2] = {255, 0};
    FreeImage_SetTransparencyTable(b, alpha, 2);
    for (int y = 0; y < 1000; ++y) {
        BYTE* row = FreeImage_GetScanLine(b, y);
        for (int x = 0; x < 2000; ++x)
            row[x] = x < 1000 ? 0 : 1;
    }
    const std::string png = (dir.path() / "half.png").string();
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, b, png.c_str(), 0));
    FreeImage_Unload(b);
    PictureBox shown;
    shown.SetBackColor(0x00FF0000); // blue, as a colour value
    const MFreeImage_2::Fitted fitted =
        MFreeImage_2::LoadImageFitted(FileBytes(png), png, {200, 200}, shown);
    ASSERT_TRUE(fitted.loaded);
    EXPECT_EQ(fitted.fullWidth, 2000);
    ASSERT_EQ(shown.Width(), 200);
    ASSERT_EQ(shown.Height(), 100);
    EXPECT_LE(MaxDifference(Pixel32(shown.Surface(), 20, 50), 0xFF0000), 2);  // red
    EXPECT_LE(MaxDifference(Pixel32(shown.Surface(), 180, 50), 0x0000FF), 2); // the background
}

// A photo turned by its EXIF Orientation: the original's size is given upright.
TEST(StillFitted, TurnedPhotosGiveTheirUprightSize) {
    TempDir dir;
    FIBITMAP* photo = PhotoLike(640, 320);
    const std::string plain = (dir.path() / "plain.jpg").string();
    ASSERT_TRUE(FreeImage_Save(FIF_JPEG, photo, plain.c_str(), 90));
    FreeImage_Unload(photo);
    std::ifstream in(plain, std::ios::binary);
    const std::string jpeg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const int orientation : {1, 6}) {
        const std::string bytes = WithOrientation(jpeg, orientation);
        const std::vector<uint8_t> data(bytes.begin(), bytes.end());
        PictureBox shown;
        const MFreeImage_2::Fitted fitted =
            MFreeImage_2::LoadImageFitted(data, "turned.jpg", {100, 100}, shown);
        ASSERT_TRUE(fitted.loaded);
        const bool turned = orientation == 6;
        EXPECT_EQ(fitted.fullWidth, turned ? 320 : 640) << orientation;
        EXPECT_EQ(fitted.fullHeight, turned ? 640 : 320) << orientation;
        EXPECT_EQ(shown.Width(), turned ? 50 : 100) << orientation;
        EXPECT_EQ(shown.Height(), turned ? 100 : 50) << orientation;
    }
}

int main(int argc, char** argv) {
    // The Qt readers' plugins need an application object.
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
