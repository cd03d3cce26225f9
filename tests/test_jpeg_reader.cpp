// JPEGs at the size shown through libjpeg itself (JpegReader) look as they do
// through FreeImage's road: every subsampling, baseline and progressive,
// grey, each EXIF orientation, an embedded wide-gamut profile, a truncated
// file; what the reader does not take (CMYK, a damaged header) is FreeImage's
// picture exactly.
#include "imaging/JpegReader.h"
#include "imaging/MFreeImage_2.h"
#include "tests/ColourUtil.h"
#include "tests/PixelUtil.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <jpeglib.h>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// The pixels of the two roads are within JPEG's and Lanczos's rounding of
// each other (both decode with libjpeg's accurate transform at the same scale).
constexpr double kMinPsnr = 40;

// A photo-like picture: smooth gradients, edges and grain.
FIBITMAP* PhotoLike(int w, int h, bool grey = false) {
    FIBITMAP* b = FreeImage_Allocate(w, h, 24);
    std::mt19937 rng(7);
    for (int y = 0; y < h; ++y) {
        BYTE* row = FreeImage_GetScanLine(b, y);
        for (int x = 0; x < w; ++x, row += 3) {
            const int grain = int(rng() % 9);
            const BYTE r = BYTE((x * 255 / w + grain) & 0xFF);
            const BYTE g = BYTE(128 + 100 * std::sin(y / 23.0) + grain);
            const BYTE bl = BYTE(((x / 37 + y / 29) % 2) * 180 + grain);
            row[FI_RGBA_RED] = r;
            row[FI_RGBA_GREEN] = grey ? r : g;
            row[FI_RGBA_BLUE] = grey ? r : bl;
        }
    }
    if (!grey) return b;
    FIBITMAP* g = FreeImage_ConvertToGreyscale(b);
    FreeImage_Unload(b);
    return g;
}

Bytes Jpeg(FIBITMAP* b, int flags, const Icc& icc = {}) {
    return Encoded(b, FIF_JPEG, flags, icc);
}

// The JPEG with an APP1 segment holding an EXIF block with one Orientation
// entry (big-endian, as many cameras write it).
Bytes WithOrientation(const Bytes& jpeg, int orientation) {
    const uint8_t exif[] = {
        'E', 'x', 'i', 'f',  0,    0, 'M', 'M', 0, 42, 0, 0, 0,
        8,   0,   1,   0x01, 0x12, 0, 3,   0,   0, 0,  1, 0, uint8_t(orientation),
        0,   0,   0,   0,    0,    0};
    const uint8_t marker[] = {0xFF, 0xE1, 0, uint8_t(sizeof exif + 2)};
    Bytes out;
    out.reserve(jpeg.size() + sizeof marker + sizeof exif);
    out.push_back(jpeg[0]);
    out.push_back(jpeg[1]);
    for (const uint8_t b : marker)
        out.push_back(b);
    for (const uint8_t b : exif)
        out.push_back(b);
    for (std::size_t i = 2; i < jpeg.size(); ++i)
        out.push_back(jpeg[i]);
    return out;
}

// A CMYK JPEG written by libjpeg (FreeImage writes none).
Bytes CmykJpeg(int w, int h) {
    jpeg_compress_struct c{};
    jpeg_error_mgr errors{};
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    unsigned char* data = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &data, &size);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = 4;
    c.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(std::size_t(w) * 4);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            row[std::size_t(x) * 4 + 0] = uint8_t(x * 255 / w);
            row[std::size_t(x) * 4 + 1] = uint8_t(y * 255 / h);
            row[std::size_t(x) * 4 + 2] = uint8_t((x + y) & 0xFF);
            row[std::size_t(x) * 4 + 3] = uint8_t(40);
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes out(data, data + size);
    std::free(data);
    return out;
}

struct Roads {
    PictureBox reader, freeImage;
    MFreeImage_2::Fitted readerFitted, freeImageFitted;
    bool readerTook = false; // JpegReader itself took the file
};

Roads BothRoads(const Bytes& bytes, MFreeImage_2::Box box) {
    Roads r;
    PictureBox alone;
    r.readerTook = JpegReader::LoadFitted(bytes, box.width, box.height, alone).loaded;
    r.readerFitted = MFreeImage_2::LoadImageFitted(bytes, "p.jpg", box, r.reader);
    r.freeImageFitted = MFreeImage_2::LoadImageFittedByFreeImage(bytes, "p.jpg", box, r.freeImage);
    return r;
}

// The reader took the file, and its picture is FreeImage's road's in size,
// original's size and look.
void ExpectSamePicture(const Roads& r, const std::string& what, double minPsnr = kMinPsnr) {
    EXPECT_TRUE(r.readerTook) << what;
    ASSERT_TRUE(r.readerFitted.loaded) << what;
    ASSERT_TRUE(r.freeImageFitted.loaded) << what;
    EXPECT_EQ(r.readerFitted.fullWidth, r.freeImageFitted.fullWidth) << what;
    EXPECT_EQ(r.readerFitted.fullHeight, r.freeImageFitted.fullHeight) << what;
    ASSERT_EQ(r.reader.Width(), r.freeImage.Width()) << what;
    ASSERT_EQ(r.reader.Height(), r.freeImage.Height()) << what;
    const double psnr = Psnr(r.reader.Surface(), r.freeImage.Surface());
    std::printf("%s: %dx%d, PSNR %.1f dB against FreeImage's road\n", what.c_str(),
                r.reader.Width(), r.reader.Height(), psnr);
    EXPECT_GE(psnr, minPsnr) << what;
    // The fourth byte as every road leaves an opaque picture.
    EXPECT_EQ(Pixel32(r.reader.Surface(), 0, 0) >> 24, 0u) << what;
}

} // namespace

// Baseline and progressive, 4:2:0, 4:2:2 and 4:4:4, grey: decoded at the
// fit (straight onto the surface), at a DCT scale and then resampled, and
// at full scale then resampled.
TEST(JpegReader, LooksAsFreeImagesRoadForEveryKindOfJpeg) {
    FIBITMAP* colour = PhotoLike(1200, 800);
    FIBITMAP* grey = PhotoLike(1200, 800, true);
    struct Kind {
        const char* what;
        FIBITMAP* picture;
        int flags;
    };
    const Kind kinds[] = {
        {"baseline 4:2:0", colour, JPEG_QUALITYGOOD | JPEG_SUBSAMPLING_420 | JPEG_BASELINE},
        {"baseline 4:2:2", colour, JPEG_QUALITYGOOD | JPEG_SUBSAMPLING_422 | JPEG_BASELINE},
        {"baseline 4:4:4", colour, JPEG_QUALITYGOOD | JPEG_SUBSAMPLING_444 | JPEG_BASELINE},
        {"progressive 4:2:0", colour, JPEG_QUALITYGOOD | JPEG_SUBSAMPLING_420 | JPEG_PROGRESSIVE},
        {"progressive 4:4:4", colour, JPEG_QUALITYGOOD | JPEG_SUBSAMPLING_444 | JPEG_PROGRESSIVE},
        {"grey", grey, JPEG_QUALITYGOOD},
    };
    const MFreeImage_2::Box boxes[] = {{300, 300}, {500, 400}, {1100, 1000}};
    for (const Kind& k : kinds) {
        const Bytes bytes = Jpeg(k.picture, k.flags);
        for (const MFreeImage_2::Box box : boxes)
            ExpectSamePicture(BothRoads(bytes, box),
                              std::string(k.what) + " in " + std::to_string(box.width));
    }
    FreeImage_Unload(colour);
    FreeImage_Unload(grey);
}

// Each EXIF orientation: upright, with the original's size upright, as
// FreeImage's road turns it; at a DCT scale and at the fit.
TEST(JpegReader, TurnsEachExifOrientationAsFreeImagesRoad) {
    FIBITMAP* picture = PhotoLike(960, 480);
    const Bytes plain = Jpeg(picture, JPEG_QUALITYGOOD);
    FreeImage_Unload(picture);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const Bytes bytes = WithOrientation(plain, orientation);
        for (const MFreeImage_2::Box box :
             {MFreeImage_2::Box{300, 300}, MFreeImage_2::Box{240, 480}}) {
            const Roads r = BothRoads(bytes, box);
            ExpectSamePicture(r, "orientation " + std::to_string(orientation) + " in " +
                                     std::to_string(box.width) + "x" + std::to_string(box.height));
            const bool turned = orientation >= 5;
            EXPECT_EQ(r.readerFitted.fullWidth, turned ? 480 : 960) << orientation;
        }
    }
    EXPECT_EQ(JpegReader::ExifOrientation({}), 1);
}

// A wide-gamut profile is applied (the picture is not as decoded) as the
// FreeImage road applies it.
TEST(JpegReader, ConvertsAnEmbeddedProfileAsFreeImagesRoad) {
    FIBITMAP* picture = PhotoLike(800, 600);
    const Icc proPhoto = RgbProfile({{0.7347, 0.2653, 1}, {0.1596, 0.8404, 1}, {0.0366, 0.0001, 1}},
                                    cmsBuildGamma(nullptr, 1.8));
    const Bytes tagged = Jpeg(picture, JPEG_QUALITYGOOD, proPhoto);
    const Bytes plain = Jpeg(picture, JPEG_QUALITYGOOD);
    FreeImage_Unload(picture);
    for (const MFreeImage_2::Box box : {MFreeImage_2::Box{400, 300}, MFreeImage_2::Box{300, 300}}) {
        const Roads r = BothRoads(tagged, box);
        ExpectSamePicture(r, "ProPhoto in " + std::to_string(box.width));
        PictureBox asDecoded;
        MFreeImage_2::LoadImageFitted(plain, "p.jpg", box, asDecoded);
        EXPECT_LT(Psnr(r.reader.Surface(), asDecoded.Surface()), 30) << "not converted";
    }
}

// CMYK and a damaged header are left to FreeImage, whose picture comes back
// exactly; a truncated file shows what it holds, as through FreeImage.
TEST(JpegReader, LeavesWhatItDoesNotTakeToFreeImage) {
    const MFreeImage_2::Box box{300, 300};
    const Roads cmyk = BothRoads(CmykJpeg(640, 480), box);
    EXPECT_FALSE(cmyk.readerTook);
    ASSERT_TRUE(cmyk.readerFitted.loaded);
    ASSERT_EQ(cmyk.reader.Width(), cmyk.freeImage.Width());
    EXPECT_EQ(Psnr(cmyk.reader.Surface(), cmyk.freeImage.Surface()), 99.0);

    FIBITMAP* picture = PhotoLike(1200, 800);
    for (const int flags : {JPEG_BASELINE, JPEG_PROGRESSIVE}) {
        const Bytes whole = Jpeg(picture, JPEG_QUALITYGOOD | flags);
        const Bytes truncated(whole.begin(), whole.begin() + std::ptrdiff_t(whole.size() / 2));
        ExpectSamePicture(BothRoads(truncated, box),
                          flags == JPEG_BASELINE ? "truncated baseline" : "truncated progressive");
        // Cut inside its header: nothing, as through FreeImage, and no crash.
        for (const std::size_t cut : {std::size_t(3), std::size_t(40), std::size_t(200)}) {
            const Bytes damaged(whole.begin(), whole.begin() + std::ptrdiff_t(cut));
            const Roads r = BothRoads(damaged, box);
            EXPECT_FALSE(r.readerTook) << cut;
            EXPECT_EQ(r.readerFitted.loaded, r.freeImageFitted.loaded) << cut;
        }
    }
    FreeImage_Unload(picture);
}

// Damaged JPEGs (bytes changed anywhere, the file cut short after them):
// a picture of the fit or none, never a crash, whichever road ends up
// decoding them.
TEST(JpegReader, DamagedFilesGiveASoundResult) {
    FIBITMAP* picture = PhotoLike(320, 240);
    const Bytes progressive = Jpeg(picture, JPEG_QUALITYGOOD | JPEG_PROGRESSIVE);
    const Bytes baseline = WithOrientation(Jpeg(picture, JPEG_QUALITYGOOD), 6);
    FreeImage_Unload(picture);
    std::mt19937 rng(29);
    const MFreeImage_2::Box box{100, 100};
    int loaded = 0;
    for (int round = 0; round < 300; ++round) {
        Bytes bytes = round % 2 ? progressive : baseline;
        for (int changes = 1 + int(rng() % 8); changes > 0; --changes)
            bytes[2 + rng() % (bytes.size() - 2)] = uint8_t(rng());
        if (round % 3 == 0) bytes.resize(2 + rng() % (bytes.size() - 2));
        PictureBox shown;
        const MFreeImage_2::Fitted fitted =
            MFreeImage_2::LoadImageFitted(bytes, "d.jpg", box, shown);
        if (!fitted.loaded) continue;
        ++loaded;
        EXPECT_GT(shown.Width(), 0) << round;
        EXPECT_LE(shown.Width(), box.width) << round;
        EXPECT_LE(shown.Height(), box.height) << round;
    }
    EXPECT_GT(loaded, 0); // most damage leaves a picture, as through FreeImage
}
