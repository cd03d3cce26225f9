// Where a profile's conversion is easy to get wrong: profiles close to sRGB
// (a slightly different tone curve, white point or red), which move some
// colour by a few levels and must be converted all the same, while those that
// move nothing by more than a level are left alone; and pictures that only
// Qt's readers decode (ICNS: FreeImage knows no such file), whose profile is
// applied once, on the whole and the fitted road. The profiles are made with
// LittleCMS, which is also the oracle; FreeImage and Qt write the files.
#include "imaging/ColourProfile.h"
#include "imaging/MFreeImage_2.h"
#include "imaging/QtImageReaders.h"
#include "tests/ColourUtil.h"
#include "tests/PixelUtil.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImage>
#include <QImageWriter>
#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// sRGB's primaries (its white point is kD65).
constexpr cmsCIExyYTRIPLE kSrgbPrimaries{{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}};

// What LittleCMS makes of a whole 32-bit surface under `icc` (perceptual,
// into sRGB), as blue, green, red and a fourth byte.
std::vector<uint8_t> LcmsSrgb(const Icc& icc, const cDIB& surface) {
    cmsHPROFILE in = cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM t = cmsCreateTransform(in, TYPE_BGRA_8, srgb, TYPE_BGRA_8, INTENT_PERCEPTUAL, 0);
    cmsCloseProfile(in);
    cmsCloseProfile(srgb);
    std::vector<uint8_t> out;
    EXPECT_NE(t, nullptr);
    if (!t) return out;
    for (int y = 0; y < surface.Height(); ++y) {
        const uint8_t* row =
            surface.lpBits() + std::size_t(y) * std::size_t(surface.BytesPerScanline());
        const std::size_t at = out.size();
        out.resize(at + 4 * std::size_t(surface.Width()));
        cmsDoTransform(t, row, out.data() + at, cmsUInt32Number(surface.Width()));
    }
    cmsDeleteTransform(t);
    return out;
}

// How far `got` is from LittleCMS's conversion of `asIs` under `icc`, and
// how far it moved from `asIs`: the largest difference of one channel.
struct Distances {
    int fromLcms = 0, moved = 0;
};
Distances Measure(const cDIB& asIs, const cDIB& got, const Icc& icc) {
    Distances d{256, 0};
    if (asIs.Width() != got.Width() || asIs.Height() != got.Height()) return d;
    const std::vector<uint8_t> want = LcmsSrgb(icc, asIs);
    d.fromLcms = 0;
    for (int y = 0; y < got.Height(); ++y)
        for (int x = 0; x < got.Width(); ++x) {
            const uint8_t* w = want.data() + 4 * (std::size_t(y) * std::size_t(got.Width()) + x);
            const uint32_t wanted = (uint32_t(w[2]) << 16) | (uint32_t(w[1]) << 8) | w[0];
            d.fromLcms = std::max(d.fromLcms, MaxDifference(Pixel32(got, x, y), wanted));
            d.moved = std::max(d.moved, MaxDifference(Pixel32(got, x, y), Pixel32(asIs, x, y)));
        }
    return d;
}

constexpr MFreeImage_2::Box kWhole{};

bool Decode(const std::vector<uint8_t>& bytes, const char* name, MFreeImage_2::Box box,
            PictureBox& out) {
    return box.width == 0 ? MFreeImage_2::LoadImageBytes(bytes, name, out)
                          : MFreeImage_2::LoadImageFitted(bytes, name, box, out).loaded;
}

// Every colour the conversion's sRGB check samples (each channel at 0, 17,
// 34 ... 255): 16 x 16 x 16 of them, one a pixel.
constexpr int kGridSide = 64;
constexpr int kGridStep = 17;

FIBITMAP* GridPicture() {
    FIBITMAP* b = FreeImage_Allocate(kGridSide, kGridSide, 24);
    for (int i = 0; i < kGridSide * kGridSide; ++i) {
        BYTE* p = FreeImage_GetScanLine(b, kGridSide - 1 - i / kGridSide) + 3 * (i % kGridSide);
        p[FI_RGBA_RED] = BYTE(kGridStep * (i % 16));
        p[FI_RGBA_GREEN] = BYTE(kGridStep * (i / 16 % 16));
        p[FI_RGBA_BLUE] = BYTE(kGridStep * (i / 256));
    }
    return b;
}

std::string RoadName(MFreeImage_2::Box box) {
    return box.width == 0 ? "whole" : "fitted";
}

} // namespace

// A profile that moves some colour by 2 to 7 levels is no sRGB: the picture
// is converted, to LittleCMS's colours within a level, in the file and on the
// surface alone; one that moves none by more than a level is sRGB in all but
// name and leaves the picture exactly as decoded.
TEST(ColourProfiles, NearSrgbProfilesAreConverted) {
    struct Row {
        const char* what;
        Icc icc;
        bool converts;
    };
    cmsCIExyYTRIPLE redder = kSrgbPrimaries;
    redder.Red.x += 0.003;
    const cmsCIExyY greener{kD65.x, kD65.y + 0.0003, 1.0};
    const Row rows[] = {
        {"tone curve 2.45", RgbProfile(kSrgbPrimaries, SrgbCurve(2.45)), true},
        {"tone curve 2.5", RgbProfile(kSrgbPrimaries, SrgbCurve(2.5)), true},
        {"white point y + 0.0003", RgbProfile(kSrgbPrimaries, SrgbCurve(), greener), true},
        {"red x + 0.003", RgbProfile(redder, SrgbCurve()), true},
        {"sRGB by its parameters", RgbProfile(kSrgbPrimaries, SrgbCurve()), false},
        {"tone curve 2.42", RgbProfile(kSrgbPrimaries, SrgbCurve(2.42)), false},
    };
    constexpr int kFewestMoved = 2, kMostMoved = 7;
    struct Format {
        const char* name;
        FREE_IMAGE_FORMAT format;
        int flags;
    };
    const Format formats[] = {{"p.png", FIF_PNG, 0},
                              {"p.jpg", FIF_JPEG, JPEG_QUALITYSUPERB | JPEG_SUBSAMPLING_444},
                              {"p.tif", FIF_TIFF, TIFF_DEFLATE}};
    constexpr MFreeImage_2::Box kFitted{kGridSide / 2, kGridSide / 2};
    FIBITMAP* picture = GridPicture();
    for (const Row& row : rows) {
        // The surface alone.
        PictureBox surface;
        ASSERT_TRUE(Decode(Encoded(picture, FIF_PNG, 0, {}), "p.png", kWhole, surface));
        cDIB converted;
        surface.Surface().CloneTo(converted);
        EXPECT_EQ(ColourProfile::ToSrgb(converted, row.icc), row.converts) << row.what;
        const Distances alone = Measure(surface.Surface(), converted, row.icc);
        EXPECT_LE(alone.fromLcms, 1) << row.what;
        if (row.converts) {
            EXPECT_GE(alone.moved, kFewestMoved) << row.what;
            EXPECT_LE(alone.moved, kMostMoved) << row.what << ": near sRGB";
        }
        // In files, whole and fitted.
        for (const Format& format : formats)
            for (MFreeImage_2::Box box : {kWhole, kFitted}) {
                const std::string where =
                    std::string(row.what) + " in " + format.name + ", " + RoadName(box);
                PictureBox asIs, loaded;
                ASSERT_TRUE(Decode(Encoded(picture, format.format, format.flags, {}), format.name,
                                   box, asIs))
                    << where;
                ASSERT_TRUE(Decode(Encoded(picture, format.format, format.flags, row.icc),
                                   format.name, box, loaded))
                    << where;
                const Distances d = Measure(asIs.Surface(), loaded.Surface(), row.icc);
                EXPECT_LE(d.fromLcms, 1) << where;
                if (row.converts)
                    EXPECT_GE(d.moved, kFewestMoved) << where;
                else
                    EXPECT_EQ(d.moved, 0) << where;
            }
    }
    FreeImage_Unload(picture);
}

namespace {

// Eight patches of 64 x 128 on an icon of 256 x 256 (ICNS holds squares of a
// power of two): colours a wide gamut moves far, and grey.
constexpr int kIconSide = 256;
constexpr uint32_t kIconColours[] = {0xFF0000, 0x008000, 0x808080, 0x28A0DC,
                                     0xDC7828, 0x00FF00, 0x3050A0, 0xF0E0C0};
constexpr int kIconColumns = 4;

// The icon as Qt writes an ICNS file, with `icc` as its colour space.
std::vector<uint8_t> Icon(const Icc& icc) {
    QImage image(kIconSide, kIconSide, QImage::Format_RGB32);
    constexpr int kPatchW = kIconSide / kIconColumns, kPatchH = kIconSide / 2;
    for (int y = 0; y < kIconSide; ++y)
        for (int x = 0; x < kIconSide; ++x)
            image.setPixel(x, y,
                           0xFF000000u | kIconColours[y / kPatchH * kIconColumns + x / kPatchW]);
    if (!icc.empty()) {
        const QColorSpace space = QColorSpace::fromIccProfile(
            QByteArray(reinterpret_cast<const char*>(icc.data()), qsizetype(icc.size())));
        EXPECT_TRUE(space.isValid());
        image.setColorSpace(space);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(QImageWriter(&buffer, "icns").write(image));
    return {bytes.begin(), bytes.end()};
}

} // namespace

// An ICNS file, which only Qt's readers decode, carrying a profile far from
// sRGB (Adobe RGB's primaries, ProPhoto's): the picture is converted once,
// whole and fitted into a box smaller than it, to LittleCMS's colours within
// a level.
TEST(ColourProfiles, QtReadersPicturesAreConvertedOnce) {
    struct Row {
        const char* what;
        Icc icc;
    };
    const cmsCIExyY d50{0.3457, 0.3585, 1.0};
    const Row rows[] = {
        {"Adobe RGB", AdobeRgb()},
        {"ProPhoto RGB", RgbProfile({{0.7347, 0.2653, 1}, {0.1596, 0.8404, 1}, {0.0366, 0.0001, 1}},
                                    cmsBuildGamma(nullptr, 1.8), d50)},
    };
    constexpr int kFarMoved = 8;
    const std::vector<uint8_t> plain = Icon({});
    {
        FIMEMORY* memory =
            FreeImage_OpenMemory(const_cast<BYTE*>(plain.data()), DWORD(plain.size()));
        ASSERT_EQ(FreeImage_GetFileTypeFromMemory(memory), FIF_UNKNOWN) << "Qt's road only";
        FreeImage_CloseMemory(memory);
        ASSERT_EQ(FreeImage_GetFIFFromFilename("p.icns"), FIF_UNKNOWN) << "Qt's road only";
    }
    for (const Row& row : rows) {
        const std::vector<uint8_t> tagged = Icon(row.icc);
        PictureBox reported;
        Icc carried;
        ASSERT_TRUE(LoadWithQtReaders(tagged, "p.icns", reported, carried)) << row.what;
        ASSERT_EQ(carried, row.icc) << row.what << ": the file carries the profile";
        for (MFreeImage_2::Box box : {kWhole, MFreeImage_2::Box{kIconSide / 4, kIconSide / 4}}) {
            const std::string where = std::string(row.what) + ", " + RoadName(box);
            PictureBox asIs, loaded;
            ASSERT_TRUE(Decode(plain, "p.icns", box, asIs)) << where;
            ASSERT_TRUE(Decode(tagged, "p.icns", box, loaded)) << where;
            ASSERT_EQ(loaded.Width(), box.width == 0 ? kIconSide : box.width) << where;
            if (box.width == 0) {
                for (std::size_t i = 0; i < std::size(kIconColours); ++i)
                    EXPECT_EQ(Pixel32(asIs.Surface(), int(i % kIconColumns) * kIconSide / 4,
                                      int(i / kIconColumns) * kIconSide / 2),
                              kIconColours[i])
                        << "without a profile the icon is as written";
            }
            const Distances d = Measure(asIs.Surface(), loaded.Surface(), row.icc);
            EXPECT_LE(d.fromLcms, 1) << where;
            EXPECT_GE(d.moved, kFarMoved) << where;
        }
    }
}
