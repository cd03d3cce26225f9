// The one shrink-on-load policy: the factor it gives for each kind of box and
// picture, the promise it keeps for every size (the landed picture covers its
// fit with the reduction's margin, and no larger factor would), and each
// reader's preview looking as the whole picture resampled would.
#include "DngWriter.h"
#include "HeifGrid.h"
#include "TempDir.h"
#include "imaging/MFreeImage_2.h"
#include "imaging/ShrinkOnLoad.h"
#include "imaging/mFit.h"
#include "imaging/mScaleImage.h"
#include "tests/PixelUtil.h"

#include <FreeImage.h>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using ShrinkOnLoad::Factor;
using ShrinkOnLoad::kBlockMeans;
using ShrinkOnLoad::kJpegDct;

int64_t Landed(int side, int factor) {
    return (int64_t(side) + factor - 1) / factor;
}

TEST(ShrinkPolicy, FactorsForEachKindOfBox) {
    struct Row {
        const char* what;
        int width, height, boxWidth, boxHeight;
        bool turned;
        int dct, blocks;
    };
    const Row rows[] = {
        {"whole-picture box", 6000, 4000, 0, 0, false, 1, 1},
        {"a box with no height", 6000, 4000, 800, 0, false, 1, 1},
        {"a box larger than the picture", 1000, 800, 4000, 4000, false, 1, 1},
        {"the picture's own size", 1000, 800, 1000, 800, false, 1, 1},
        {"an exact multiple of 8", 6400, 4800, 800, 600, false, 8, 2},
        {"one pixel short of it", 6392, 4792, 800, 600, false, 4, 2},
        {"an exact multiple of 2", 1600, 1200, 800, 600, false, 2, 1},
        {"24 MP into a pane", 6000, 4000, 800, 600, false, 4, 2},
        {"a phone's 12 MP into a pane", 4032, 3024, 800, 600, false, 4, 1},
        {"1 px wide", 1, 10000, 800, 600, false, 8, 5},
        {"1 px high", 10000, 1, 800, 600, false, 8, 4},
        {"a box 1 px high", 3, 9000, 800, 1, false, 8, 1},
        {"1 x 1", 1, 1, 800, 600, false, 1, 1},
        // Stored 3000 x 2000, turned upright to 2000 x 3000: its fit is 800 x 1200,
        // not 1600 x 1067.
        {"turned by EXIF", 3000, 2000, 1600, 1200, true, 2, 1},
        {"the same, not turned", 3000, 2000, 1600, 1200, false, 1, 1},
        {"a huge picture in a tiny box", 60000, 40000, 2, 2, false, 8, 11999},
        {"the largest sides there are", INT_MAX, INT_MAX, 1, 1, false, 8, INT_MAX / 2},
        {"the largest box there is", 4000, 3000, INT_MAX, INT_MAX, false, 1, 1},
        {"a negative box", 4000, 3000, -800, -600, false, 1, 1},
        {"no picture", 0, 0, 800, 600, false, 1, 1},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(Factor(r.width, r.height, r.boxWidth, r.boxHeight, kJpegDct, r.turned), r.dct)
            << r.what;
        EXPECT_EQ(Factor(r.width, r.height, r.boxWidth, r.boxHeight, kBlockMeans, r.turned),
                  r.blocks)
            << r.what;
    }
}

// For every size: the picture shrunk by the factor covers its fit, `margin`
// times over where it is that large, and the next factor the reader could
// do would not.
TEST(ShrinkPolicy, LandedPictureCoversItsFitAndNoLargerFactorWould) {
    const int sides[] = {1,   2,   7,    8,    9,    15,   16,   17,   100,  533,  599,
                         600, 601, 1199, 1200, 1201, 2047, 3000, 4032, 6000, 10007};
    const int boxes[][2] = {{1, 1}, {37, 23}, {160, 120}, {800, 600}, {1920, 1080}, {600, 800}};
    for (const ShrinkOnLoad::Reduction way : {kJpegDct, kBlockMeans})
        for (const int w : sides)
            for (const int h : sides)
                for (const auto& box : boxes)
                    for (const bool turned : {false, true}) {
                        const int f = Factor(w, h, box[0], box[1], way, turned);
                        const int uw = turned ? h : w, uh = turned ? w : h; // upright
                        const mFit::Placement fit =
                            mFit::FitInBox(uw, uh, box[0], box[1], 0, false);
                        const auto covers = [&](int k) {
                            return Landed(uw, k) >=
                                       std::min<int64_t>(uw, int64_t(fit.width) * way.margin) &&
                                   Landed(uh, k) >=
                                       std::min<int64_t>(uh, int64_t(fit.height) * way.margin);
                        };
                        const std::string what =
                            std::to_string(w) + "x" + std::to_string(h) + " in " +
                            std::to_string(box[0]) + "x" + std::to_string(box[1]) +
                            (turned ? " turned" : "") + " margin " + std::to_string(way.margin);
                        ASSERT_GE(f, 1) << what;
                        EXPECT_TRUE(covers(f)) << what << " factor " << f;
                        int next = f + 1;
                        if (!way.factors.empty()) {
                            next = 0;
                            for (const int k : way.factors)
                                if (k > f && next == 0) next = k;
                        }
                        // Past the longest side every factor lands one pixel.
                        if (next > 0 && next <= std::max(w, h)) {
                            EXPECT_FALSE(covers(next)) << what << " factor " << f;
                        }
                    }
}

// A photo-like picture: shapes, gradients, fine stripes and grain, which a
// blurred or aliased preview would give away.
heifgrid::Rgb PhotoLike(int w, int h) {
    heifgrid::Rgb rgb{w, h, std::vector<uint8_t>(std::size_t(w) * h * 3)};
    uint32_t seed = 3;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = int(seed >> 29);
            const double fx = double(x) / w, fy = double(y) / h;
            const bool disc = (fx - 0.4) * (fx - 0.4) + (fy - 0.5) * (fy - 0.5) < 0.05;
            uint8_t* p = &rgb.pixels[(std::size_t(y) * w + x) * 3];
            p[0] = uint8_t(disc ? 210 + grain : (x / 13 + y * y / 900 + grain) & 0xFF);
            p[1] =
                uint8_t(std::clamp(int(128 + 90 * std::sin(x / 23.0 + y / 41.0)) + grain, 0, 255));
            p[2] = uint8_t(((x + 2 * y) / 21 + grain) & 0xFF); // hard diagonal edges
        }
    return rgb;
}

FIBITMAP* Bitmap(const heifgrid::Rgb& rgb) {
    FIBITMAP* b = FreeImage_Allocate(rgb.width, rgb.height, 24);
    for (int y = 0; y < rgb.height; ++y) {
        BYTE* row = FreeImage_GetScanLine(b, rgb.height - 1 - y);
        for (int x = 0; x < rgb.width; ++x) {
            const uint8_t* p = &rgb.pixels[(std::size_t(y) * rgb.width + x) * 3];
            row[3 * x + FI_RGBA_RED] = p[0];
            row[3 * x + FI_RGBA_GREEN] = p[1];
            row[3 * x + FI_RGBA_BLUE] = p[2];
        }
    }
    return b;
}

std::string Saved(const heifgrid::Rgb& rgb, FREE_IMAGE_FORMAT format, int flags) {
    FIBITMAP* b = Bitmap(rgb);
    FIMEMORY* memory = FreeImage_OpenMemory();
    std::string out;
    if (FreeImage_SaveToMemory(format, b, memory, flags)) {
        BYTE* data = nullptr;
        DWORD size = 0;
        FreeImage_AcquireMemory(memory, &data, &size);
        out.assign(reinterpret_cast<const char*>(data), size);
    }
    FreeImage_CloseMemory(memory);
    FreeImage_Unload(b);
    return out;
}

// An EXIF block with one Orientation entry, after the JPEG's first marker.
std::string WithOrientation(const std::string& jpeg, int orientation) {
    const std::string exif =
        std::string("Exif\0\0II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0", 24) +
        char(orientation) + std::string(7, '\0');
    std::string app1("\xFF\xE1", 2);
    app1 += char((exif.size() + 2) >> 8);
    app1 += char((exif.size() + 2) & 0xFF);
    return jpeg.substr(0, 2) + app1 + exif + jpeg.substr(2);
}

bool Have(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Each reader's preview (shrunk while landed, then the Lanczos step) against
// the whole picture through the same reader resampled to the same size.
TEST(ShrinkPolicy, EveryReaderLooksAsTheWholePictureResampled) {
    TempDir dir;
    const heifgrid::Rgb photo = PhotoLike(3000, 2000);
    const heifgrid::Rgb tall = PhotoLike(2000, 3000);
    const std::string jpeg = Saved(photo, FIF_JPEG, 92);
    const std::string preview = Saved(PhotoLike(2400, 1800), FIF_JPEG, 92);
    struct Row {
        std::string what, name, bytes;
        MFreeImage_2::Box box;
        // The whole picture the preview is compared with, when it is not the file's.
        std::string wholeName, wholeBytes;
        double minPsnr;
    };
    std::vector<Row> rows = {
        {"JPEG, DCT 1/2", "photo.jpg", jpeg, {1100, 1000}, {}, {}, 40},
        {"JPEG, DCT 1/4", "photo.jpg", jpeg, {640, 480}, {}, {}, 40},
        {"JPEG, DCT 1/8 then blocks", "photo.jpg", jpeg, {120, 90}, {}, {}, 40},
        {"JPEG turned upright", "turned.jpg", WithOrientation(jpeg, 6), {800, 600}, {}, {}, 40},
        {"PNG by blocks",
         "photo.png",
         Saved(photo, FIF_PNG, PNG_Z_BEST_SPEED),
         {400, 400},
         {},
         {},
         40},
        {"PNG 1 px wide",
         "thin.png",
         Saved(PhotoLike(1, 5000), FIF_PNG, 0),
         {800, 600},
         {},
         {},
         40},
        {"RAW's embedded preview",
         "photo.dng",
         dng::MakeDng(1, preview, 2400, 1800),
         {400, 300},
         "preview.jpg",
         preview,
         40},
    };
    std::string heic = heifgrid::EncodeHeic(tall, 90);
    if (!heic.empty()) {
        rows.push_back({"HEIC by blocks", "tall.heic", heic, {300, 300}, {}, {}, 40});
        rows.push_back({"HEIC grid by blocks",
                        "grid.heic",
                        heifgrid::MakeGridHeic(PhotoLike(2048, 1536), 512, 0),
                        {320, 240},
                        {},
                        {},
                        40});
    }
    if (Have("cjxl")) {
        const auto png = dir.Write("photo.png", Saved(photo, FIF_PNG, PNG_Z_BEST_SPEED));
        const auto jxl = dir.path() / "photo.jxl";
        if (std::system(
                ("cjxl -d 0.5 -e 3 '" + png.string() + "' '" + jxl.string() + "' >/dev/null 2>&1")
                    .c_str()) == 0)
            rows.push_back(
                {"JPEG XL by blocks", "photo.jxl", TempDir::Read(jxl), {400, 400}, {}, {}, 40});
    }
    for (const Row& r : rows) {
        const std::vector<uint8_t> bytes(r.bytes.begin(), r.bytes.end());
        PictureBox shown;
        const MFreeImage_2::Fitted fitted =
            MFreeImage_2::LoadImageFitted(bytes, r.name, r.box, shown);
        ASSERT_TRUE(fitted.loaded) << r.what;
        const std::string& wholeBytes = r.wholeBytes.empty() ? r.bytes : r.wholeBytes;
        const std::vector<uint8_t> all(wholeBytes.begin(), wholeBytes.end());
        PictureBox whole, reference;
        ASSERT_TRUE(
            MFreeImage_2::LoadImageBytes(all, r.wholeName.empty() ? r.name : r.wholeName, whole))
            << r.what;
        const mFit::Placement fit = mFit::FitInBox(fitted.fullWidth, fitted.fullHeight, r.box.width,
                                                   r.box.height, 0, false);
        ASSERT_EQ(shown.Width(), fit.width) << r.what;
        ASSERT_EQ(shown.Height(), fit.height) << r.what;
        reference.SetSize(fit.width, fit.height);
        mScaleImage::StretchImageTo(whole, reference);
        const double psnr = Psnr(shown.Surface(), reference.Surface());
        std::printf("%-28s into %4dx%-4d shown %4dx%-4d PSNR %.1f dB\n", r.what.c_str(),
                    r.box.width, r.box.height, fit.width, fit.height, psnr);
        EXPECT_GE(psnr, r.minPsnr) << r.what;
    }
}

} // namespace
