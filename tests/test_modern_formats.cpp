// Still pictures in the formats of today's phones and cameras: HEIF, AVIF, JPEG XL, RAW.
// Files are made in a temporary folder by Debian's tools (heif-enc, cjxl,
// exiftool) and by libheif's own encoder, then decoded in this process and
// in the confined helper: the expected pixels, the file's orientation,
// alpha over the background, a box's reduced decode, and damaged files that
// end as failed loads with the helper ready for the next picture.
#include "DngWriter.h"
#include "HeifGrid.h"
#include "TempDir.h"
#include "imaging/AlphaOver.h"
#include "imaging/MFreeImage_2.h"
#include "imaging/ModernReaders.h"
#include "imaging/RawReader.h"
#include "imaging/StillDecoder.h"
#include "tests/PixelUtil.h"

#include <FreeImage.h>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <lcms2.h>
#include <libheif/heif.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using dng::kRawHeight;
using dng::kRawWidth;

constexpr int kWidth = 64, kHeight = 48;
// The four quadrants: top left, top right, bottom left, bottom right.
constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;
constexpr uint32_t kQuadrants[2][2] = {{kRed, kGreen}, {kBlue, kWhite}};
// Lossy coding moves a flat colour's centre by a few levels at most.
constexpr int kTolerance = 16;
// A grey background, the same whichever byte order a colour value has.
constexpr uint32_t kGrey = 0x808080;
constexpr uint8_t kHalfAlpha = 128;

bool Have(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

bool RunTool(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Quoted(const fs::path& p) {
    return "'" + p.string() + "'";
}

// A PNG written by FreeImage: the quadrants, or half-transparent red all over.
fs::path WritePng(const TempDir& dir, const std::string& name, bool halfRed = false) {
    FIBITMAP* b = FreeImage_Allocate(kWidth, kHeight, 32);
    for (int y = 0; y < kHeight; ++y) {
        BYTE* row = FreeImage_GetScanLine(b, kHeight - 1 - y); // FreeImage's rows go up
        for (int x = 0; x < kWidth; ++x) {
            const uint32_t c = halfRed ? kRed : kQuadrants[y * 2 / kHeight][x * 2 / kWidth];
            row[4 * x + FI_RGBA_RED] = BYTE(c >> 16);
            row[4 * x + FI_RGBA_GREEN] = BYTE(c >> 8);
            row[4 * x + FI_RGBA_BLUE] = BYTE(c);
            row[4 * x + FI_RGBA_ALPHA] = halfRed ? kHalfAlpha : 255;
        }
    }
    FIBITMAP* saved = halfRed ? b : FreeImage_ConvertTo24Bits(b);
    const fs::path path = dir.path() / name;
    EXPECT_TRUE(FreeImage_Save(FIF_PNG, saved, path.c_str()));
    if (saved != b) FreeImage_Unload(saved);
    FreeImage_Unload(b);
    return path;
}

// A HEIC of the quadrants written by libheif's encoder, standing as
// `orientation` says (it writes the rotation and mirror properties).
fs::path WriteHeicTurned(const TempDir& dir, heif_orientation orientation) {
    const fs::path path = dir.path() / ("turned" + std::to_string(int(orientation)) + ".heic");
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_image* image = nullptr;
    bool ok =
        heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code ==
            heif_error_Ok &&
        heif_image_create(kWidth, kHeight, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image)
                .code == heif_error_Ok &&
        heif_image_add_plane(image, heif_channel_interleaved, kWidth, kHeight, 8).code ==
            heif_error_Ok;
    if (ok) {
        int stride = 0;
        uint8_t* p = heif_image_get_plane(image, heif_channel_interleaved, &stride);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const uint32_t c = kQuadrants[y * 2 / kHeight][x * 2 / kWidth];
                uint8_t* px = p + y * stride + 3 * x;
                px[0] = uint8_t(c >> 16), px[1] = uint8_t(c >> 8), px[2] = uint8_t(c);
            }
        heif_encoder_set_lossy_quality(encoder, 95);
        heif_encoding_options* options = heif_encoding_options_alloc();
        options->image_orientation = orientation;
        ok = heif_context_encode_image(context, image, encoder, options, nullptr).code ==
                 heif_error_Ok &&
             heif_context_write_to_file(context, path.c_str()).code == heif_error_Ok;
        heif_encoding_options_free(options);
    }
    if (image) heif_image_release(image);
    if (encoder) heif_encoder_release(encoder);
    heif_context_free(context);
    EXPECT_TRUE(ok) << "libheif could not write a HEIC";
    return path;
}

// The helper beside the build's programs (the test runs in its tests folder).
std::string HelperPath() {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return {};
    const fs::path exe(std::string(self, std::size_t(n)));
    for (const fs::path& folder : {exe.parent_path(), exe.parent_path().parent_path()})
        if (::access((folder / "vantrel-decoder").c_str(), X_OK) == 0)
            return (folder / "vantrel-decoder").string();
    return {};
}

std::vector<uint8_t> Bytes(const fs::path& p) {
    const std::string s = TempDir::Read(p);
    return {s.begin(), s.end()};
}

// The colour at the centre of each quadrant of a picture standing as stored
// (`turned`: a quarter turn clockwise) matches the quadrants.
void ExpectQuadrants(const PictureBox& box, bool turned, const std::string& what,
                     int tolerance = kTolerance) {
    const int w = box.Width(), h = box.Height();
    ASSERT_GT(w, 0) << what;
    for (int qy = 0; qy < 2; ++qy)
        for (int qx = 0; qx < 2; ++qx) {
            // Turned clockwise, the stored top left lands at the top right.
            const uint32_t want = turned ? kQuadrants[1 - qx][qy] : kQuadrants[qy][qx];
            const uint32_t got = Pixel32(box.Surface(), (2 * qx + 1) * w / 4, (2 * qy + 1) * h / 4);
            EXPECT_LE(MaxDifference(got, want), tolerance)
                << what << " quadrant " << qx << "," << qy << std::hex << " got " << got << " want "
                << want;
        }
}

struct Made {
    const char* name;
    const char* tool;
    std::string command; // {in} and {out} stand for the paths
};

std::string Fill(std::string command, const fs::path& in, const fs::path& out) {
    command.replace(command.find("{in}"), 4, Quoted(in));
    command.replace(command.find("{out}"), 5, Quoted(out));
    return command;
}

// Each format, as Debian's tools write it.
const Made kFormats[] = {
    {"lossy.heic", "heif-enc", "heif-enc -q 92 {in} -o {out}"},
    {"lossless.heic", "heif-enc",
     "heif-enc -L -p chroma=444 --matrix_coefficients=0 {in} -o {out}"},
    {"lossy.avif", "heif-enc", "heif-enc -A -p chroma=444 -q 92 {in} -o {out}"},
    {"lossy.jxl", "cjxl", "cjxl -d 1 {in} {out}"},
    {"lossless.jxl", "cjxl", "cjxl -d 0 {in} {out}"},
};

class ModernFormats : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string helper = HelperPath();
        if (!helper.empty()) decoder_.SetHelperPath(helper);
    }
    // Decodes through the helper (a 0 x 0 box: the whole picture) into
    // `box`; `last_` holds the whole answer.
    bool InHelper(const fs::path& p, PictureBox& box, MFreeImage_2::Box fit = {}) {
        last_ = decoder_.Decode(p.string(), fit, box.BackColor());
        if (last_.picture) box.AdoptSurface(last_.picture);
        return last_.Decoded();
    }
    bool HelperThere() { return decoder_.HelperAvailable() && !HelperPath().empty(); }

    TempDir dir_;
    StillDecoder decoder_;
    DecodeResult last_;
};

TEST_F(ModernFormats, EachDecodesToItsPixelsHereAndInTheHelper) {
    const fs::path png = WritePng(dir_, "quadrants.png");
    for (const Made& made : kFormats) {
        if (!Have(made.tool)) GTEST_SKIP() << made.tool << " is not installed";
        const fs::path file = dir_.path() / made.name;
        ASSERT_TRUE(RunTool(Fill(made.command, png, file))) << made.name;
        PictureBox here;
        ASSERT_TRUE(MFreeImage_2::LoadImageFile(file.string(), here)) << made.name;
        EXPECT_EQ(here.Width(), kWidth) << made.name;
        EXPECT_EQ(here.Height(), kHeight) << made.name;
        ExpectQuadrants(here, false, made.name);
        // Named for another format, it is still known by its bytes.
        const fs::path misnamed = dir_.path() / (std::string(made.name) + ".png");
        fs::copy_file(file, misnamed);
        PictureBox byBytes;
        EXPECT_TRUE(MFreeImage_2::LoadImageFile(misnamed.string(), byBytes)) << made.name;
        if (!HelperThere()) continue;
        PictureBox there;
        ASSERT_TRUE(InHelper(file, there)) << made.name << ": " << last_.reason;
        EXPECT_EQ(last_.fullWidth, kWidth);
        EXPECT_FALSE(last_.embeddedPreview);
        ExpectQuadrants(there, false, std::string(made.name) + " in the helper");
        PictureBox small;
        ASSERT_TRUE(InHelper(file, small, {32, 32})) << made.name;
        EXPECT_EQ(small.Width(), 32) << made.name;
        EXPECT_EQ(small.Height(), 24) << made.name;
        EXPECT_EQ(last_.fullHeight, kHeight) << made.name;
        ExpectQuadrants(small, false, std::string(made.name) + " fitted");
    }
}

// A HEIF file stands as its own rotation says; an EXIF Orientation inside it
// is not applied on top. JPEG XL turns by its orientation field, which cjxl
// takes from the EXIF of the PNG it reads.
TEST_F(ModernFormats, Orientation) {
    const fs::path png = WritePng(dir_, "quadrants.png");
    struct Case {
        const char* name;
        bool turned;
    };
    std::vector<std::pair<fs::path, Case>> files;
    files.push_back({WriteHeicTurned(dir_, heif_orientation_rotate_90_cw), {"irot", true}});
    files.push_back({WriteHeicTurned(dir_, heif_orientation_normal), {"no irot", false}});
    const bool exif = Have("exiftool");
    const fs::path png6 = dir_.path() / "turned6.png";
    if (exif) {
        fs::copy_file(png, png6);
        ASSERT_TRUE(RunTool("exiftool -q -overwrite_original -Orientation#=6 " + Quoted(png6)));
    }
    if (exif && Have("heif-enc")) {
        // heif-enc copies the EXIF block (Orientation 6) without a rotation property.
        const fs::path heic = dir_.path() / "exif6.heic";
        ASSERT_TRUE(RunTool("heif-enc -q 92 " + Quoted(png6) + " -o " + Quoted(heic)));
        files.push_back({heic, {"heic with EXIF 6", false}});
    }
    if (exif && Have("cjxl")) {
        const fs::path jxl = dir_.path() / "exif6.jxl";
        ASSERT_TRUE(RunTool("cjxl -d 0 " + Quoted(png6) + " " + Quoted(jxl)));
        files.push_back({jxl, {"jxl with orientation 6", true}});
    }
    for (const auto& [file, c] : files) {
        PictureBox here;
        ASSERT_TRUE(MFreeImage_2::LoadImageFile(file.string(), here)) << c.name;
        EXPECT_EQ(here.Width(), c.turned ? kHeight : kWidth) << c.name;
        ExpectQuadrants(here, c.turned, c.name);
        if (!HelperThere()) continue;
        PictureBox small;
        ASSERT_TRUE(InHelper(file, small, {24, 24})) << c.name;
        EXPECT_EQ(last_.fullWidth, c.turned ? kHeight : kWidth) << c.name;
        EXPECT_EQ(small.Width(), c.turned ? 18 : 24) << c.name;
        ExpectQuadrants(small, c.turned, std::string(c.name) + " fitted");
    }
}

TEST_F(ModernFormats, AlphaLiesOverTheBackground) {
    const fs::path png = WritePng(dir_, "half.png", true);
    // Half red over grey.
    const uint32_t want = AlphaOver(kGrey, 255, 0, 0, kHalfAlpha);
    const Made withAlpha[] = {kFormats[0], kFormats[2], kFormats[4]};
    for (const Made& made : withAlpha) {
        if (!Have(made.tool)) GTEST_SKIP() << made.tool << " is not installed";
        const fs::path file = dir_.path() / made.name;
        ASSERT_TRUE(RunTool(Fill(made.command, png, file))) << made.name;
        PictureBox here;
        here.SetBackColor(kGrey);
        ASSERT_TRUE(MFreeImage_2::LoadImageFile(file.string(), here)) << made.name;
        EXPECT_LE(MaxDifference(Pixel32(here.Surface(), kWidth / 2, kHeight / 2), want), kTolerance)
            << made.name << std::hex << " got " << Pixel32(here.Surface(), kWidth / 2, kHeight / 2);
        if (!HelperThere()) continue;
        PictureBox there;
        there.SetBackColor(kGrey);
        ASSERT_TRUE(InHelper(file, there, {32, 32})) << made.name;
        EXPECT_LE(MaxDifference(Pixel32(there.Surface(), 16, 12), want), kTolerance) << made.name;
    }
}

// Grey pictures come out grey in all three channels; a picture that claims
// more pixels than a surface holds is refused before any are decoded.
TEST_F(ModernFormats, GreyAndTooLarge) {
    if (!Have("heif-enc") || !Have("cjxl")) GTEST_SKIP() << "heif-enc or cjxl is not installed";
    const fs::path png = WritePng(dir_, "quadrants.png");
    FIBITMAP* colour = FreeImage_Load(FIF_PNG, png.c_str());
    FIBITMAP* grey = FreeImage_ConvertToGreyscale(colour);
    const fs::path greyPng = dir_.path() / "grey.png";
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, grey, greyPng.c_str()));
    FreeImage_Unload(grey);
    FreeImage_Unload(colour);
    for (const Made& made : kFormats) {
        const fs::path file = dir_.path() / ("grey-" + std::string(made.name));
        ASSERT_TRUE(RunTool(Fill(made.command, greyPng, file))) << made.name;
        PictureBox here;
        ASSERT_TRUE(MFreeImage_2::LoadImageFile(file.string(), here)) << made.name;
        const uint32_t p = Pixel32(here.Surface(), kWidth / 4, kHeight / 4); // red, as grey
        const int r = int(p >> 16), g = int((p >> 8) & 0xFF), b = int(p & 0xFF);
        EXPECT_LE(std::max({r, g, b}) - std::min({r, g, b}), 4) << made.name << std::hex << p;
        EXPECT_GT(r, 40) << made.name; // not black
        EXPECT_LT(r, 110) << made.name;
    }
    // Each 'ispe' property (the picture's and its coded tile's size) claims
    // 20000 x 20000: 1.6 GB of pixels.
    const fs::path heic = dir_.path() / "lossy.heic";
    ASSERT_TRUE(RunTool(Fill(kFormats[0].command, png, heic)));
    std::string bytes = TempDir::Read(heic);
    const std::string claim = std::string("\0\0\x4E\x20", 4); // 20000, big-endian
    std::size_t ispe = bytes.find("ispe");
    ASSERT_NE(ispe, std::string::npos);
    for (; ispe != std::string::npos; ispe = bytes.find("ispe", ispe + 1)) {
        bytes.replace(ispe + 8, 4, claim);
        bytes.replace(ispe + 12, 4, claim);
    }
    const std::vector<uint8_t> large(bytes.begin(), bytes.end());
    PictureBox whole;
    EXPECT_EQ(ModernReaders::Load(large, "large.heic", {}, whole).outcome,
              ModernReaders::Outcome::TooLarge);
    EXPECT_EQ(whole.Width(), 0);
}

// A picture in Display P3 (an ICC profile LittleCMS made, in the PNG that
// heif-enc and cjxl read) shows as LittleCMS converts it to sRGB.
TEST_F(ModernFormats, EmbeddedProfileBecomesSrgb) {
    if (!Have("exiftool") || !Have("heif-enc") || !Have("cjxl"))
        GTEST_SKIP() << "a tool is missing";
    const cmsCIExyY d65{0.3127, 0.3290, 1};
    const cmsCIExyYTRIPLE p3{{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
    const cmsFloat64Number srgbCurve[] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgbCurve);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&d65, &p3, curves);
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    const uint8_t colour[3] = {60, 180, 60};
    uint8_t want[3] = {};
    cmsHTRANSFORM toSrgb =
        cmsCreateTransform(profile, TYPE_RGB_8, srgb, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
    cmsDoTransform(toSrgb, colour, want, 1);
    const fs::path icc = dir_.path() / "p3.icc";
    ASSERT_TRUE(cmsSaveProfileToFile(profile, icc.c_str()));
    cmsDeleteTransform(toSrgb);
    cmsCloseProfile(srgb);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(curve);
    FIBITMAP* b = FreeImage_Allocate(kWidth, kHeight, 24);
    RGBQUAD fill{colour[2], colour[1], colour[0], 0};
    FreeImage_FillBackground(b, &fill);
    const fs::path png = dir_.path() / "p3.png";
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, b, png.c_str()));
    FreeImage_Unload(b);
    ASSERT_TRUE(RunTool("exiftool -q -overwrite_original '-ICC_Profile<=" + icc.string() + "' " +
                        Quoted(png)));
    const uint32_t expected = (uint32_t(want[0]) << 16) | (uint32_t(want[1]) << 8) | want[2];
    const uint32_t asStored = (uint32_t(colour[0]) << 16) | (uint32_t(colour[1]) << 8) | colour[2];
    ASSERT_GT(MaxDifference(expected, asStored), 2 * kTolerance);
    for (const Made& made : kFormats) {
        const fs::path file = dir_.path() / ("p3-" + std::string(made.name));
        ASSERT_TRUE(RunTool(Fill(made.command, png, file))) << made.name;
        PictureBox here;
        ASSERT_TRUE(MFreeImage_2::LoadImageFile(file.string(), here)) << made.name;
        const uint32_t got = Pixel32(here.Surface(), kWidth / 2, kHeight / 2);
        EXPECT_LE(MaxDifference(got, expected), kTolerance)
            << made.name << std::hex << " got " << got << " want " << expected;
    }
}

// A HEIC with a thumbnail: a small box decodes the thumbnail (at least the
// fit, smaller than the picture); a large one the picture itself.
TEST_F(ModernFormats, SmallBoxTakesTheHeifThumbnail) {
    if (!Have("heif-enc")) GTEST_SKIP() << "heif-enc is not installed";
    const fs::path png = WritePng(dir_, "quadrants.png");
    const fs::path big = dir_.path() / "big.png";
    FIBITMAP* source = FreeImage_Load(FIF_PNG, png.c_str());
    FIBITMAP* scaled = FreeImage_Rescale(source, kWidth * 10, kHeight * 10, FILTER_BOX);
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, scaled, big.c_str()));
    FreeImage_Unload(scaled);
    FreeImage_Unload(source);
    const fs::path heic = dir_.path() / "thumb.heic";
    ASSERT_TRUE(RunTool("heif-enc -q 90 -t 160 " + Quoted(big) + " -o " + Quoted(heic)));
    const std::vector<uint8_t> bytes = Bytes(heic);
    struct Case {
        MFreeImage_2::Box box;
        int minWidth, maxWidth;
    };
    const Case cases[] = {
        {{80, 80}, 80, 160},                // the 160 x 120 thumbnail covers 80 x 60
        {{400, 400}, 400, kWidth * 10},     // the picture, perhaps shrunk while landed
        {{0, 0}, kWidth * 10, kWidth * 10}, // the whole picture
    };
    for (const Case& c : cases) {
        PictureBox whole;
        const ModernReaders::Landed landed = ModernReaders::Load(bytes, "thumb.heic", c.box, whole);
        ASSERT_EQ(landed.outcome, ModernReaders::Outcome::Loaded);
        EXPECT_EQ(landed.fullWidth, kWidth * 10);
        EXPECT_EQ(landed.fullHeight, kHeight * 10);
        EXPECT_GE(whole.Width(), c.minWidth) << c.box.width;
        EXPECT_LE(whole.Width(), c.maxWidth) << c.box.width;
        ExpectQuadrants(whole, false, "box " + std::to_string(c.box.width));
    }
}

// A phone's HEIC: 512 x 512 tiles under a grid item, the last row and column
// reaching past the picture, and a thumbnail item. The tiles are decoded on
// threads of the confined helper as well as here; a box the thumbnail
// covers takes the thumbnail, a larger one the grid.
TEST_F(ModernFormats, PhoneGridDecodesHereAndInTheHelper) {
    constexpr int kSide = 512, kGridWidth = 1500, kGridHeight = 1100, kThumbFactor = 6;
    heifgrid::Rgb quadrants{kGridWidth, kGridHeight,
                            std::vector<uint8_t>(std::size_t(kGridWidth) * kGridHeight * 3)};
    for (int y = 0; y < kGridHeight; ++y)
        for (int x = 0; x < kGridWidth; ++x) {
            const uint32_t c = kQuadrants[y * 2 / kGridHeight][x * 2 / kGridWidth];
            uint8_t* p = &quadrants.pixels[(std::size_t(y) * kGridWidth + x) * 3];
            p[0] = uint8_t(c >> 16), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c);
        }
    const std::string file = heifgrid::MakeGridHeic(quadrants, kSide, kThumbFactor);
    ASSERT_FALSE(file.empty()) << "libheif could not encode the tiles";
    const fs::path heic = dir_.Write("phone.heic", file);
    const std::vector<uint8_t> bytes = Bytes(heic);
    struct Case {
        MFreeImage_2::Box box;
        int minWidth, maxWidth;
    };
    const int thumbWidth = kGridWidth / kThumbFactor;
    const Case cases[] = {
        {{200, 200}, 200, thumbWidth},    // the 250 x 183 thumbnail covers 200 x 147
        {{800, 600}, 800, kGridWidth},    // the grid, perhaps shrunk while landed
        {{0, 0}, kGridWidth, kGridWidth}, // the whole grid
    };
    for (const Case& c : cases) {
        const std::string what = "box " + std::to_string(c.box.width);
        PictureBox whole;
        const ModernReaders::Landed landed = ModernReaders::Load(bytes, "phone.heic", c.box, whole);
        ASSERT_EQ(landed.outcome, ModernReaders::Outcome::Loaded) << what;
        EXPECT_EQ(landed.fullWidth, kGridWidth) << what;
        EXPECT_EQ(landed.fullHeight, kGridHeight) << what;
        EXPECT_GE(whole.Width(), c.minWidth) << what;
        EXPECT_LE(whole.Width(), c.maxWidth) << what;
        ExpectQuadrants(whole, false, what);
        if (!HelperThere()) continue;
        PictureBox there;
        ASSERT_TRUE(InHelper(heic, there, c.box)) << what << ": " << last_.reason;
        EXPECT_EQ(last_.fullWidth, kGridWidth) << what;
        ExpectQuadrants(there, false, what + " in the helper");
    }
}

// Damaged files end as failed loads: here, and in the helper, which then
// decodes the next good picture at once.
TEST_F(ModernFormats, DamagedFilesFailWithoutHarm) {
    const fs::path png = WritePng(dir_, "quadrants.png");
    const fs::path goodPng = WritePng(dir_, "good.png");
    std::vector<fs::path> damaged;
    for (const Made& made : kFormats) {
        if (!Have(made.tool)) continue;
        const fs::path file = dir_.path() / made.name;
        ASSERT_TRUE(RunTool(Fill(made.command, png, file)));
        const std::string bytes = TempDir::Read(file);
        const std::size_t half = bytes.size() / 2;
        std::string flipped = bytes;
        for (std::size_t i = half; i < std::min(bytes.size(), half + 64); ++i)
            flipped[i] = char(~flipped[i]);
        // The first bytes (signature and the start of the header), then noise.
        std::string garbage = bytes.substr(0, std::min<std::size_t>(bytes.size(), 40));
        for (uint32_t i = 0, x = 12345; garbage.size() < bytes.size() + 4096; ++i)
            garbage.push_back(char((x = x * 1103515245u + 12345u) >> 24));
        const std::string name(made.name);
        damaged.push_back(dir_.Write("cut-" + name, bytes.substr(0, half)));
        damaged.push_back(dir_.Write("flipped-" + name, flipped));
        damaged.push_back(dir_.Write("garbage-" + name, garbage));
        damaged.push_back(dir_.Write("header-only-" + name, bytes.substr(0, 20)));
    }
    const std::string raw = dng::MakeDng(1, "");
    damaged.push_back(dir_.Write("cut-raw.dng", raw.substr(0, raw.size() / 2)));
    const fs::path samples = fs::path(__FILE__).parent_path() / "samples" / "damaged";
    for (const char* name : {"heic-truncated.heic", "avif-flipped.avif", "jxl-truncated.jxl"}) {
        ASSERT_TRUE(fs::exists(samples / name)) << name;
        damaged.push_back(samples / name);
    }
    for (const fs::path& file : damaged) {
        const std::string name = file.filename().string();
        PictureBox here;
        // A flipped lossy file may still decode to some picture; it must not crash.
        const bool loaded = MFreeImage_2::LoadImageFile(file.string(), here);
        if (name.rfind("cut-", 0) == 0 || name.rfind("garbage-", 0) == 0 ||
            name.rfind("header-only-", 0) == 0 || file.parent_path() == samples) {
            EXPECT_FALSE(loaded) << name;
        }
        if (!HelperThere()) continue;
        PictureBox there;
        const bool helperLoaded = InHelper(file, there, {32, 32});
        EXPECT_EQ(helperLoaded, loaded) << name << ": " << last_.reason;
        EXPECT_TRUE(last_.reason.empty()) << name << ": " << last_.reason;
        PictureBox next;
        ASSERT_TRUE(InHelper(goodPng, next)) << "after " << name;
        ExpectQuadrants(next, false, "after " + name);
    }
}

// A DNG: its embedded preview for a box it covers (said so), its raw data
// developed for a larger box and for the whole picture, upright by its
// Orientation either way, here and in the helper.
TEST_F(ModernFormats, RawShowsThePreviewOrDevelops) {
    const fs::path png = WritePng(dir_, "quadrants.png");
    FIBITMAP* b = FreeImage_Load(FIF_PNG, png.c_str());
    const fs::path jpegPath = dir_.path() / "preview.jpg";
    ASSERT_TRUE(FreeImage_Save(FIF_JPEG, b, jpegPath.c_str(), JPEG_QUALITYSUPERB));
    FreeImage_Unload(b);
    const std::string preview = TempDir::Read(jpegPath);
    // The develop maps the lit cells through a made-up colour matrix: near
    // the quadrants' colours, not on them.
    constexpr int kDevelopTolerance = 64;
    struct Case {
        int orientation;
        bool withPreview;
        MFreeImage_2::Box box;
        bool shownPreview;
        int minWidth; // upright
    };
    const Case cases[] = {
        {1, true, {32, 32}, true, 32},           // the 64 x 48 preview covers 32 x 24
        {6, true, {32, 32}, true, 18},           // turned: 18 x 24, from the preview turned too
        {1, true, {120, 120}, false, 120},       // 120 x 90: the raw data, at full size
        {1, true, {0, 0}, false, kRawWidth / 2}, // the whole picture: half size
        {1, false, {32, 32}, false, 32},         // no preview: developed at half size
        {6, false, {0, 0}, false, kRawHeight / 2},
    };
    // Without a helper program, pictures are decoded on a thread of this process.
    StillDecoder inProcess;
    inProcess.SetHelperPath((dir_.path() / "no-helper").string());
    for (const Case& c : cases) {
        const std::string what = "orientation " + std::to_string(c.orientation) +
                                 (c.withPreview ? " with preview, box " : ", box ") +
                                 std::to_string(c.box.width);
        const fs::path dng = dir_.Write(
            "raw.dng", dng::MakeDng(c.orientation, c.withPreview ? preview : "", kWidth, kHeight));
        const std::vector<uint8_t> bytes = Bytes(dng);
        EXPECT_TRUE(RawReader::Recognises(bytes, "photo.dng")) << what;
        PictureBox whole;
        const ModernReaders::Landed landed = ModernReaders::Load(bytes, "raw.dng", c.box, whole);
        ASSERT_EQ(landed.outcome, ModernReaders::Outcome::Loaded) << what;
        const bool turned = c.orientation == 6;
        EXPECT_EQ(landed.fullWidth, turned ? kRawHeight : kRawWidth) << what;
        EXPECT_EQ(landed.embeddedPreview, c.shownPreview) << what;
        PictureBox fitted;
        const MFreeImage_2::Fitted shown =
            MFreeImage_2::LoadImageFitted(bytes, "raw.dng", c.box, fitted);
        EXPECT_TRUE(shown.loaded) << what;
        EXPECT_EQ(shown.embeddedPreview, c.shownPreview) << what;
        EXPECT_GE(whole.Width(), c.minWidth) << what;
        EXPECT_EQ(whole.Width() > whole.Height(), !turned) << what;
        ExpectQuadrants(whole, turned, what, c.shownPreview ? kTolerance : kDevelopTolerance);
        const DecodeResult byThread = inProcess.Decode(dng.string(), c.box);
        ASSERT_TRUE(byThread.Decoded()) << what;
        EXPECT_EQ(byThread.embeddedPreview, c.shownPreview) << what;
        if (!HelperThere()) continue;
        PictureBox there;
        ASSERT_TRUE(InHelper(dng, there, c.box)) << what << ": " << last_.reason;
        EXPECT_EQ(last_.embeddedPreview, c.shownPreview) << what;
        // The photo's own size, also for the whole picture, which is developed at half size.
        EXPECT_EQ(last_.fullWidth, turned ? kRawHeight : kRawWidth) << what;
    }
}

// RAW is taken by what FreeImage's RAW reader says of the bytes: a plain
// TIFF, under its own name or a RAW name, is read as the TIFF it is.
TEST_F(ModernFormats, PlainTiffIsNotRaw) {
    const fs::path png = WritePng(dir_, "quadrants.png");
    FIBITMAP* b = FreeImage_Load(FIF_PNG, png.c_str());
    for (const char* name : {"plain.tif", "plain.dng", "plain.nef"}) {
        const fs::path tiff = dir_.path() / name;
        ASSERT_TRUE(FreeImage_Save(FIF_TIFF, b, tiff.c_str()));
        const std::vector<uint8_t> bytes = Bytes(tiff);
        EXPECT_FALSE(RawReader::Recognises(bytes, "plain.tif"));
        PictureBox here;
        ASSERT_TRUE(MFreeImage_2::LoadImageFile(tiff.string(), here)) << name;
        ExpectQuadrants(here, false, name);
        PictureBox fitted;
        const MFreeImage_2::Fitted shown =
            MFreeImage_2::LoadImageFitted(bytes, name, {32, 32}, fitted);
        EXPECT_TRUE(shown.loaded) << name;
        EXPECT_FALSE(shown.embeddedPreview) << name;
        if (!HelperThere()) continue;
        PictureBox there;
        ASSERT_TRUE(InHelper(tiff, there, {32, 32})) << name;
        ExpectQuadrants(there, false, std::string(name) + " in the helper");
        EXPECT_FALSE(last_.embeddedPreview) << name;
    }
    FreeImage_Unload(b);
}

// Files are taken by their bytes: the brands of an ISO media file, the JPEG
// XL signatures; a video's ftyp or a JPEG is not theirs, whatever its name.
TEST_F(ModernFormats, OnlyTheirOwnBytes) {
    struct Case {
        std::vector<uint8_t> bytes;
        const char* name;
        bool mine;
    };
    const auto text = [](const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); };
    const Case cases[] = {
        {text(std::string("\0\0\0\x18"
                          "ftypheic\0\0\0\0mif1heic",
                          24)),
         "a.heic", true},
        {text(std::string("\0\0\0\x18"
                          "ftypavif\0\0\0\0mif1miaf",
                          24)),
         "a.avif", true},
        {text(std::string("\0\0\0\x14"
                          "ftypisom\0\0\0\0mp41",
                          20)),
         "a.heic", false},
        {text(std::string("\0\0\0\x10"
                          "ftypmp42\0\0\0\0avif",
                          20)),
         "a.heic", false},
        {text("\xFF\x0A"), "a.jxl", true},
        {text(std::string("\0\0\0\x0CJXL \x0D\x0A\x87\x0A", 12)), "a.jxl", true},
        {text("\xFF\xD8\xFF\xE0"), "a.jxl", false},
        {text("plain text"), "a.heic", false},
    };
    for (const Case& c : cases) {
        PictureBox whole;
        const auto outcome = ModernReaders::Load(c.bytes, c.name, {}, whole).outcome;
        EXPECT_EQ(outcome != ModernReaders::Outcome::NotMine, c.mine) << c.name;
        EXPECT_NE(outcome, ModernReaders::Outcome::Loaded) << c.name;
        EXPECT_EQ(whole.Width(), 0) << c.name;
    }
}

} // namespace
