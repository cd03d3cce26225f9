// Embedded colour profiles converted to sRGB. The profiles are made here with
// LittleCMS (Display P3, Adobe RGB (1998), a grey one, a CMYK one) and the
// pictures that carry them are written by FreeImage (JPEG, PNG, TIFF, WebP)
// and ImageMagick (CMYK JPEG). A picture with a profile decodes to what
// LittleCMS makes of the same picture decoded without it, on the whole and
// the fitted road and in the confined helper; pictures without a profile,
// with an sRGB, a CMYK or a damaged one decode as they are.
#include "TempDir.h"
#include "imaging/ColourProfile.h"
#include "imaging/MFreeImage_2.h"
#include "imaging/QtImageReaders.h"
#include "imaging/StillDecoder.h"
#include "tests/ColourUtil.h"
#include "tests/PixelUtil.h"

#include <FreeImage.h>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <lcms2.h>
#include <random>
#include <string_view>
#include <thread>
#include <vector>

namespace {

Icc DisplayP3() {
    return RgbProfile({{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}}, SrgbCurve());
}

Icc Srgb() {
    return Saved(cmsCreate_sRGBProfile());
}

Icc GreyGamma22() {
    cmsToneCurve* curve = cmsBuildGamma(nullptr, 2.2);
    cmsHPROFILE profile = cmsCreateGrayProfile(cmsD50_xyY(), curve);
    cmsFreeToneCurve(curve);
    return Saved(profile);
}

// A CMYK printer profile: ink darkens, evenly for each colour.
Icc Cmyk() {
    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 2.1); // a table of 16-bit entries
    cmsSetDeviceClass(profile, cmsSigOutputClass);
    cmsSetColorSpace(profile, cmsSigCmykData);
    cmsSetPCS(profile, cmsSigLabData);
    cmsPipeline* lut = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage* table = cmsStageAllocCLut16bit(nullptr, 2, 4, 3, nullptr);
    cmsStageSampleCLut16bit(
        table,
        [](const cmsUInt16Number in[], cmsUInt16Number out[], void*) -> cmsInt32Number {
            const double ink = (in[0] + in[1] + in[2]) / (3.0 * 65535) + in[3] / 65535.0;
            const cmsCIELab lab{100 * (1 - std::min(1.0, ink)), 0, 0};
            cmsFloat2LabEncoded(out, &lab);
            return TRUE;
        },
        nullptr, 0);
    cmsPipelineInsertStage(lut, cmsAT_BEGIN, table);
    cmsWriteTag(profile, cmsSigAToB0Tag, lut);
    cmsPipelineFree(lut);
    return Saved(profile);
}

// LittleCMS's own transform from `icc` to sRGB (8-bit red, green, blue),
// perceptual.
cmsHTRANSFORM DirectTransform(const Icc& icc, cmsUInt32Number inputFormat,
                              cmsUInt32Number outputFormat = TYPE_RGB_8) {
    cmsHPROFILE in = cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size()));
    cmsHPROFILE out = cmsCreate_sRGBProfile();
    cmsHTRANSFORM t = cmsCreateTransform(in, inputFormat, out, outputFormat, INTENT_PERCEPTUAL, 0);
    cmsCloseProfile(in);
    cmsCloseProfile(out);
    EXPECT_NE(t, nullptr);
    return t;
}

// What LittleCMS makes of one 0xRRGGBB colour under `icc`.
uint32_t LcmsSrgb(const Icc& icc, uint32_t rgb) {
    cmsHTRANSFORM t = DirectTransform(icc, TYPE_RGB_8);
    if (!t) return rgb;
    const uint8_t pixel[3] = {uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb)};
    uint8_t result[3] = {};
    cmsDoTransform(t, pixel, result, 1);
    cmsDeleteTransform(t);
    return (uint32_t(result[0]) << 16) | (uint32_t(result[1]) << 8) | result[2];
}

// Six patches of 128 x 96 in three columns and two rows: colours that a
// wider gamut moves, and some it does not.
constexpr int kPatchW = 128, kPatchH = 96, kColumns = 3, kRows = 2;
constexpr int kWidth = kPatchW * kColumns, kHeight = kPatchH * kRows;
constexpr std::array<uint32_t, kColumns* kRows> kPatchColours = {
    0xFF0000, // pure red
    0x008000, // mid-green
    0x808080, // mid-grey
    0x28A0DC, // sky
    0xDC7828, // orange
    0x00FF00, // pure green
};
// How far the centre of a patch may differ between the whole and the fitted
// road (resampling, and a JPEG decoded at a reduced scale).
constexpr int kRoadsAgree = 3;
// The fitted road's box: a quarter of the picture's sides.
constexpr MFreeImage_2::Box kBox{kWidth / 4, kHeight / 4};

FIBITMAP* PatchPicture() {
    FIBITMAP* b = FreeImage_Allocate(kWidth, kHeight, 24);
    for (int y = 0; y < kHeight; ++y) {
        BYTE* row = FreeImage_GetScanLine(b, kHeight - 1 - y);
        for (int x = 0; x < kWidth; ++x) {
            const uint32_t c = kPatchColours[std::size_t(y / kPatchH * kColumns + x / kPatchW)];
            row[3 * x + FI_RGBA_RED] = BYTE(c >> 16);
            row[3 * x + FI_RGBA_GREEN] = BYTE(c >> 8);
            row[3 * x + FI_RGBA_BLUE] = BYTE(c);
        }
    }
    return b;
}

// The profile a file carries, as FreeImage reads it back. FreeImage keeps
// nothing of a PNG's iCCP chunk: there it is enough that the chunk is there.
Icc Carried(const std::vector<uint8_t>& bytes, const Icc& written) {
    static constexpr std::string_view kPngChunk = "iCCP";
    FIMEMORY* memory = FreeImage_OpenMemory(const_cast<BYTE*>(bytes.data()), DWORD(bytes.size()));
    const FREE_IMAGE_FORMAT format = FreeImage_GetFileTypeFromMemory(memory);
    FIBITMAP* b = FreeImage_LoadFromMemory(format, memory);
    Icc icc;
    if (const FIICCPROFILE* p = b ? FreeImage_GetICCProfile(b) : nullptr; p && p->size)
        icc.assign(static_cast<uint8_t*>(p->data), static_cast<uint8_t*>(p->data) + p->size);
    if (b) FreeImage_Unload(b);
    FreeImage_CloseMemory(memory);
    if (format == FIF_PNG &&
        std::search(bytes.begin(), bytes.end(), kPngChunk.begin(), kPngChunk.end()) != bytes.end())
        return written;
    return icc;
}

struct Format {
    const char* name;
    FREE_IMAGE_FORMAT format;
    int flags;
};
const Format kJpeg{"p.jpg", FIF_JPEG, JPEG_QUALITYSUPERB | JPEG_SUBSAMPLING_444};
const Format kPng{"p.png", FIF_PNG, 0};
const Format kTiff{"p.tif", FIF_TIFF, TIFF_DEFLATE};
const Format kWebp{"p.webp", FIF_WEBP, WEBP_LOSSLESS};

enum class Road { Whole, Fitted };

bool Decode(const std::vector<uint8_t>& bytes, const char* name, Road road, PictureBox& out) {
    return road == Road::Whole ? MFreeImage_2::LoadImageBytes(bytes, name, out)
                               : MFreeImage_2::LoadImageFitted(bytes, name, kBox, out).loaded;
}

// The centre of patch `i` on a picture of `width` (the whole one or fitted).
uint32_t PatchCentre(const cDIB& d, std::size_t i) {
    const double scale = double(d.Width()) / kWidth;
    const int column = int(i) % kColumns, row = int(i) / kColumns;
    return Pixel32(d, int((column + 0.5) * kPatchW * scale), int((row + 0.5) * kPatchH * scale));
}

bool SamePixels(const cDIB& a, const cDIB& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (Pixel32(a, x, y) != Pixel32(b, x, y)) return false;
    return true;
}

std::string Hex(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%06X", v);
    return text;
}

constexpr std::size_t kHeaderBytes = 128;
constexpr std::size_t kTagEntryBytes = 12;

uint32_t BigEndian(const Icc& icc, std::size_t at) {
    return (uint32_t(icc[at]) << 24) | (uint32_t(icc[at + 1]) << 16) |
           (uint32_t(icc[at + 2]) << 8) | icc[at + 3];
}
void SetBigEndian(Icc& icc, std::size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        icc[at + std::size_t(i)] = uint8_t(v >> (24 - 8 * i));
}
std::size_t TagCount(const Icc& icc) {
    return BigEndian(icc, kHeaderBytes);
}

// Profiles damaged in one way each.
struct Damage {
    const char* what;
    Icc (*make)(Icc);
};
const Damage kDamages[] = {
    {"cut after its tag table",
     [](Icc icc) {
         icc.resize(kHeaderBytes + 4 + kTagEntryBytes * TagCount(icc));
         return icc;
     }},
    {"cut inside its header",
     [](Icc icc) {
         icc.resize(kHeaderBytes / 2);
         return icc;
     }},
    {"garbage",
     [](Icc icc) {
         std::mt19937 random(22);
         std::ranges::generate(icc, [&] { return uint8_t(random()); });
         return icc;
     }},
    {"a size field smaller than its tags",
     [](Icc icc) {
         SetBigEndian(icc, 0, uint32_t(kHeaderBytes + 4));
         return icc;
     }},
    {"every tag past the end",
     [](Icc icc) {
         for (std::size_t i = 0; i < TagCount(icc); ++i)
             SetBigEndian(icc, kHeaderBytes + 4 + kTagEntryBytes * i + 4, 0x7FFFFF00);
         return icc;
     }},
    {"a tag count of 2^32 - 1",
     [](Icc icc) {
         SetBigEndian(icc, kHeaderBytes, 0xFFFFFFFF);
         return icc;
     }},
};

std::filesystem::path ExecutableFolder() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

} // namespace

// Pure Display P3 red lies outside sRGB: LittleCMS clips it to sRGB's red
// (the files below decode to it).
TEST(Colour, DisplayP3RedIsClippedRed) {
    const uint32_t red = LcmsSrgb(DisplayP3(), 0xFF0000);
    EXPECT_LE(MaxDifference(red, 0xFF0000), 3) << Hex(red);
}

// Every picture with a profile decodes, whole and fitted, to the colours
// LittleCMS gives for the same picture decoded without it (P3's pure red to
// sRGB's, Adobe RGB's mid-green 0x008000 to 0x008100, the sky and the orange
// visibly); sRGB's own profile changes nothing.
TEST(Colour, ProfilesConvertToSrgb) {
    struct Row {
        const char* profile;
        Icc icc;
        Format format;
        bool moves; // some patch moves visibly
    };
    const Icc p3 = DisplayP3(), adobe = AdobeRgb(), srgb = Srgb();
    const Row rows[] = {
        {"Display P3", p3, kJpeg, true},   {"Display P3", p3, kPng, true},
        {"Display P3", p3, kTiff, true},   {"Display P3", p3, kWebp, true},
        {"Adobe RGB", adobe, kJpeg, true}, {"Adobe RGB", adobe, kPng, true},
        {"Adobe RGB", adobe, kTiff, true}, {"sRGB", srgb, kJpeg, false},
        {"sRGB", srgb, kPng, false},
    };
    FIBITMAP* picture = PatchPicture();
    for (const Row& row : rows) {
        const std::string label = std::string(row.profile) + " in " + row.format.name;
        const auto plain = Encoded(picture, row.format.format, row.format.flags, {});
        const auto tagged = Encoded(picture, row.format.format, row.format.flags, row.icc);
        ASSERT_EQ(Carried(tagged, row.icc), row.icc) << label << ": the file carries the profile";
        std::array<uint32_t, kPatchColours.size()> wholeCentres{};
        for (Road road : {Road::Whole, Road::Fitted}) {
            const std::string where = label + (road == Road::Whole ? ", whole" : ", fitted");
            PictureBox asIs, converted;
            ASSERT_TRUE(Decode(plain, row.format.name, road, asIs)) << where;
            ASSERT_TRUE(Decode(tagged, row.format.name, road, converted)) << where;
            if (!row.moves) {
                EXPECT_TRUE(SamePixels(asIs.Surface(), converted.Surface())) << where;
                continue;
            }
            int moved = 0;
            for (std::size_t i = 0; i < kPatchColours.size(); ++i) {
                const uint32_t before = PatchCentre(asIs.Surface(), i);
                const uint32_t want = LcmsSrgb(row.icc, before);
                const uint32_t got = PatchCentre(converted.Surface(), i);
                EXPECT_LE(MaxDifference(got, want), 1)
                    << where << ", patch " << Hex(kPatchColours[i]) << ": " << Hex(got) << " for "
                    << Hex(want);
                moved = std::max(moved, MaxDifference(got, before));
                // The fitted picture is converted after its resampling, the
                // whole one before: they agree all the same.
                if (road == Road::Whole)
                    wholeCentres[i] = got;
                else
                    EXPECT_LE(MaxDifference(got, wholeCentres[i]), kRoadsAgree) << where;
            }
            EXPECT_GE(moved, 8) << where;
        }
    }
    FreeImage_Unload(picture);
}

// A picture without a profile is left exactly as it was written.
TEST(Colour, NoProfileLeavesPixelsAsWritten) {
    FIBITMAP* picture = PatchPicture();
    for (const Format& format : {kPng, kTiff, kWebp}) {
        PictureBox box;
        ASSERT_TRUE(Decode(Encoded(picture, format.format, format.flags, {}), format.name,
                           Road::Whole, box))
            << format.name;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                ASSERT_EQ(Pixel32(box.Surface(), x, y),
                          kPatchColours[std::size_t(y / kPatchH * kColumns + x / kPatchW)])
                    << format.name << " at " << x << ", " << y;
    }
    FreeImage_Unload(picture);
}

// A damaged profile is ignored: the surface is untouched, and a file that
// carries it loads with the colours it has without one.
TEST(Colour, DamagedProfilesAreIgnored) {
    const Icc p3 = DisplayP3();
    FIBITMAP* picture = PatchPicture();
    for (const auto& [what, make] : kDamages) {
        const Icc icc = make(p3);
        cDIB surface;
        ASSERT_TRUE(surface.Create(4, 4, 32));
        for (int i = 0; i < 16; ++i)
            SetPixel32(surface, i % 4, i / 4, 0x5AFF0000u + uint32_t(i));
        EXPECT_FALSE(ColourProfile::ToSrgb(surface, icc)) << what;
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(Pixel32(surface, i % 4, i / 4), 0xFF0000u + uint32_t(i)) << what;

        for (const Format& format : {kJpeg, kTiff}) {
            const std::string label = std::string(what) + " in " + format.name;
            const auto tagged = Encoded(picture, format.format, format.flags, icc);
            ASSERT_EQ(Carried(tagged, icc), icc) << label << ": the file carries the profile";
            for (Road road : {Road::Whole, Road::Fitted}) {
                PictureBox asIs, loaded;
                ASSERT_TRUE(Decode(Encoded(picture, format.format, format.flags, {}), format.name,
                                   road, asIs));
                ASSERT_TRUE(Decode(tagged, format.name, road, loaded)) << label;
                EXPECT_TRUE(SamePixels(asIs.Surface(), loaded.Surface())) << label;
            }
        }
    }
    FreeImage_Unload(picture);
}

// A PNG's iCCP chunk is read by this program itself: one that is damaged
// (a name without its end, deflated garbage, a profile that inflates past
// any profile's size, a grey profile on a colour picture) leaves the
// picture as decoded; one that is sound converts it.
TEST(Colour, PngProfileChunks) {
    const auto chunk = [](const std::string& body) {
        std::vector<uint8_t> c(4);
        for (int i = 0; i < 4; ++i)
            c[std::size_t(i)] = uint8_t(body.size() >> (24 - 8 * i));
        const std::string typed = "iCCP" + body;
        c.insert(c.end(), typed.begin(), typed.end());
        const DWORD crc = FreeImage_ZLibCRC32(
            0, reinterpret_cast<BYTE*>(const_cast<char*>(typed.data())), DWORD(typed.size()));
        for (int i = 0; i < 4; ++i)
            c.push_back(uint8_t(crc >> (24 - 8 * i)));
        return c;
    };
    const auto deflated = [](const std::vector<uint8_t>& raw) {
        std::vector<uint8_t> out(raw.size() + raw.size() / 100 + 64);
        out.resize(FreeImage_ZLibCompress(out.data(), DWORD(out.size()),
                                          const_cast<uint8_t*>(raw.data()), DWORD(raw.size())));
        return std::string(out.begin(), out.end());
    };
    const std::string named = std::string("Profile") + '\0' + '\0';
    constexpr std::size_t kTooLarge = (8u << 20) + 1;
    struct Row {
        const char* what;
        std::string body;
        bool converts;
    };
    const Icc p3 = DisplayP3();
    Icc padded = p3;
    padded.resize(kTooLarge);
    SetBigEndian(padded, 0, uint32_t(padded.size()));
    const Row rows[] = {
        {"a sound profile", named + deflated(p3), true},
        {"a name without its end", std::string(90, 'n'), false},
        {"deflated garbage", named + "\x78\x9c garbage that inflates to nothing", false},
        {"a profile cut short", named + deflated(p3).substr(0, 100), false},
        {"a sound profile padded past any profile's size", named + deflated(padded), false},
        {"a grey profile", named + deflated(GreyGamma22()), false},
    };
    FIBITMAP* picture = PatchPicture();
    const auto plain = Encoded(picture, FIF_PNG, 0, {});
    FreeImage_Unload(picture);
    constexpr std::size_t kAfterHeader = 8 + 25; // the signature and IHDR
    PictureBox asIs;
    ASSERT_TRUE(Decode(plain, "p.png", Road::Whole, asIs));
    for (const Row& row : rows) {
        auto bytes = plain;
        const auto c = chunk(row.body);
        bytes.insert(bytes.begin() + kAfterHeader, c.begin(), c.end());
        PictureBox loaded;
        ASSERT_TRUE(Decode(bytes, "p.png", Road::Whole, loaded)) << row.what;
        EXPECT_EQ(!SamePixels(asIs.Surface(), loaded.Surface()), row.converts) << row.what;
    }
}

// The conversion on the surface itself: each profile's own colours whatever
// the order the profiles come in (the last one's conversion is kept), the
// fourth byte of each pixel kept, grey through a grey profile's curve, and
// profiles that describe no RGB picture refused.
TEST(Colour, SurfaceConversion) {
    const Icc p3 = DisplayP3(), adobe = AdobeRgb(), grey = GreyGamma22();
    constexpr uint32_t kFourth = 0xA5000000;
    for (const Icc* icc : {&p3, &adobe, &p3, &p3, &adobe}) {
        cDIB surface;
        ASSERT_TRUE(surface.Create(3, 1, 32));
        for (int x = 0; x < 3; ++x)
            SetPixel32(surface, x, 0, kFourth | kPatchColours[std::size_t(x + 3)]);
        ASSERT_TRUE(ColourProfile::ToSrgb(surface, *icc));
        for (int x = 0; x < 3; ++x) {
            uint32_t whole = 0;
            std::memcpy(&whole, surface.lpBits() + 4 * x, 4);
            EXPECT_EQ(whole & 0xFF000000, kFourth);
            EXPECT_LE(MaxDifference(whole, LcmsSrgb(*icc, kPatchColours[std::size_t(x + 3)])), 1);
        }
    }

    // Grey: what LittleCMS gives for each level.
    cmsHTRANSFORM t = DirectTransform(grey, TYPE_GRAY_8);
    ASSERT_NE(t, nullptr);
    cDIB levels;
    ASSERT_TRUE(levels.Create(256, 1, 32));
    for (int v = 0; v < 256; ++v)
        SetPixel32(levels, v, 0, uint32_t(v) * 0x010101u);
    ASSERT_TRUE(ColourProfile::ToSrgb(levels, grey));
    for (int v = 0; v < 256; ++v) {
        const uint8_t level = uint8_t(v);
        uint8_t rgb[3];
        cmsDoTransform(t, &level, rgb, 1);
        const uint32_t want = (uint32_t(rgb[0]) << 16) | (uint32_t(rgb[1]) << 8) | rgb[2];
        EXPECT_LE(MaxDifference(Pixel32(levels, v, 0), want), 1) << v;
    }
    cmsDeleteTransform(t);

    // Nothing to convert from: CMYK inks, an empty profile, sRGB.
    for (const Icc& icc : {Cmyk(), Icc{}, Srgb()}) {
        cDIB surface;
        ASSERT_TRUE(surface.Create(2, 1, 32));
        SetPixel32(surface, 0, 0, 0x336699);
        SetPixel32(surface, 1, 0, 0xFF0000);
        EXPECT_FALSE(ColourProfile::ToSrgb(surface, icc));
        EXPECT_EQ(Pixel32(surface, 0, 0), 0x336699u);
        EXPECT_EQ(Pixel32(surface, 1, 0), 0xFF0000u);
    }
}

// A picture of more than a megapixel is converted in bands of rows on
// several threads: every byte as one pass of LittleCMS over it gives.
TEST(Colour, LargePicturesConvertInBands) {
    const Icc adobe = AdobeRgb();
    cDIB surface;
    ASSERT_TRUE(surface.Create(1501, 997, 32)); // rows no multiple of any band count
    std::mt19937 random(7);
    for (int64_t i = 0; i < surface.size(); ++i)
        surface.lpBits()[i] = uint8_t(random());
    std::vector<uint8_t> want(surface.lpBits(), surface.lpBits() + surface.size());
    cmsHTRANSFORM t = DirectTransform(adobe, TYPE_BGRA_8, TYPE_BGRA_8);
    ASSERT_NE(t, nullptr);
    cmsDoTransform(t, want.data(), want.data(), cmsUInt32Number(want.size() / 4));
    cmsDeleteTransform(t);
    ASSERT_TRUE(ColourProfile::ToSrgb(surface, adobe));
    EXPECT_TRUE(std::equal(want.begin(), want.end(), surface.lpBits()));
}

// Decodes on several threads at once, each picture with one of two profiles,
// all get their own profile's colours.
TEST(Colour, ThreadsShareTheKeptConversion) {
    const std::array<Icc, 2> profiles = {DisplayP3(), AdobeRgb()};
    constexpr uint32_t kColour = 0x28A0DC;
    const std::array<uint32_t, 2> want = {LcmsSrgb(profiles[0], kColour),
                                          LcmsSrgb(profiles[1], kColour)};
    constexpr int kThreads = 4, kRounds = 50;
    std::array<int, kThreads> wrong{};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                const std::size_t which = std::size_t(round + t) % 2;
                cDIB surface;
                if (!surface.Create(64, 8, 32)) return;
                surface.Cls(0xDCA028); // Cls takes red + 256 x green + 65536 x blue
                ColourProfile::ToSrgb(surface, profiles[which]);
                for (int x = 0; x < 64; x += 7)
                    if (MaxDifference(Pixel32(surface, x, 3), want[which]) > 1) ++wrong[t];
            }
        });
    for (auto& thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(wrong[t], 0) << "thread " << t;
}

// A CMYK JPEG with a CMYK profile loads with the colours FreeImage gives it
// without the profile (FreeImage has turned its inks into RGB already).
TEST(Colour, CmykJpegLoadsAsDecoded) {
    TempDir dir;
    const auto profile = dir.path() / "cmyk.icc";
    const Icc cmyk = Cmyk();
    dir.Write("cmyk.icc", std::string(cmyk.begin(), cmyk.end()));
    const auto plain = dir.path() / "plain.jpg", tagged = dir.path() / "tagged.jpg";
    const std::string make = "convert -size 64x48 xc:'#C04020' -colorspace CMYK ";
    if (std::system((make + plain.string() + " 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    ASSERT_EQ(std::system((make + "-profile " + profile.string() + " " + tagged.string()).c_str()),
              0);
    const std::string taggedBytes = TempDir::Read(tagged);
    ASSERT_NE(taggedBytes.find("ICC_PROFILE"), std::string::npos);
    PictureBox asIs, loaded;
    ASSERT_TRUE(MFreeImage_2::LoadImageFile(plain.string(), asIs));
    ASSERT_TRUE(MFreeImage_2::LoadImageFile(tagged.string(), loaded));
    EXPECT_TRUE(SamePixels(asIs.Surface(), loaded.Surface()));
}

// Qt's readers hand over the profile a file embeds, and leave the pixels.
TEST(Colour, QtReadersReportTheProfile) {
    FIBITMAP* picture = PatchPicture();
    const Icc p3 = DisplayP3();
    const auto bytes = Encoded(picture, FIF_JPEG, kJpeg.flags, p3);
    FreeImage_Unload(picture);
    PictureBox box;
    Icc icc;
    ASSERT_TRUE(LoadWithQtReaders(bytes, "p.jpg", box, icc));
    EXPECT_EQ(icc, p3);
    EXPECT_LE(MaxDifference(PatchCentre(box.Surface(), 0), 0xFF0000), 2);
}

// In the confined helper, whole and fitted: the same pixels as in this
// process.
TEST(Colour, HelperConvertsAsThisProcessDoes) {
    StillDecoder decoder;
    for (const auto& folder : {ExecutableFolder(), ExecutableFolder().parent_path()})
        if (std::filesystem::exists(folder / "vantrel-decoder"))
            decoder.SetHelperPath((folder / "vantrel-decoder").string());
    ASSERT_TRUE(decoder.HelperAvailable()) << "build vantrel-decoder next to the tests";
    ASSERT_FALSE(decoder.DecodesInProcess());
    TempDir dir;
    FIBITMAP* picture = PatchPicture();
    for (const Format& format : {kJpeg, kPng}) {
        const auto bytes = Encoded(picture, format.format, format.flags, DisplayP3());
        const auto path = dir.Write(format.name, std::string(bytes.begin(), bytes.end()));
        for (Road road : {Road::Whole, Road::Fitted}) {
            PictureBox here;
            const DecodeResult inHelper =
                decoder.Decode(path.string(), road == Road::Whole ? MFreeImage_2::Box{} : kBox);
            ASSERT_TRUE(inHelper.Decoded()) << format.name << ": " << inHelper.reason;
            EXPECT_GT(decoder.HelperPid(), 0);
            ASSERT_TRUE(Decode(bytes, format.name, road, here));
            EXPECT_TRUE(SamePixels(*inHelper.picture, here.Surface())) << format.name;
            EXPECT_GE(MaxDifference(PatchCentre(here.Surface(), 3), 0x28A0DC), 8) << format.name;
        }
    }
    FreeImage_Unload(picture);

    // Large enough to be converted in bands, on the helper's threads.
    constexpr int kLargeScale = 4;
    picture = PatchPicture();
    FIBITMAP* large =
        FreeImage_Rescale(picture, kWidth * kLargeScale, kHeight * kLargeScale, FILTER_BOX);
    FreeImage_Unload(picture);
    const auto bytes = Encoded(large, FIF_JPEG, kJpeg.flags, DisplayP3());
    FreeImage_Unload(large);
    const auto path = dir.Write("large.jpg", std::string(bytes.begin(), bytes.end()));
    PictureBox here;
    const DecodeResult inHelper = decoder.Decode(path.string());
    ASSERT_TRUE(inHelper.Decoded()) << inHelper.reason;
    ASSERT_TRUE(Decode(bytes, "large.jpg", Road::Whole, here));
    EXPECT_EQ(here.Width(), kWidth * kLargeScale);
    EXPECT_TRUE(SamePixels(*inHelper.picture, here.Surface()));
}
