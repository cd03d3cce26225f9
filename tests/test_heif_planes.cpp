// A HEIF picture as the reader lands it has the colours libheif's own
// conversion to RGB gives, for each chroma layout, matrix and range Debian's
// heif-enc writes (a reader that turned the YCbCr planes itself must match
// it). Files are made in a temporary folder from a textured picture, so that
// chroma taken from the wrong sample, or turned by the wrong matrix or range,
// shows.
#include "TempDir.h"
#include "imaging/MFreeImage_2.h"

#include <FreeImage.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <libheif/heif.h>
#include <string>

namespace {

namespace fs = std::filesystem;

// Odd sides: the last chroma sample of a row or column covers one pixel.
constexpr int kWidth = 121, kHeight = 87;
// With chroma for every pixel, libheif's integer conversion and the
// reader's may round a level or two apart.
constexpr int kRounding = 2;
// Subsampled chroma may be spread differently (each pixel's nearest sample,
// or blended as libheif at times does), which moves only pixels at sharp
// chroma edges; a wrong matrix or range moves every pixel (25 to 28 dB).
constexpr double kSubsampledPsnr = 34;

// Bands of strong colour that change from one pixel to the next.
fs::path WriteTexturedPng(const TempDir& dir) {
    FIBITMAP* b = FreeImage_Allocate(kWidth, kHeight, 24);
    for (int y = 0; y < kHeight; ++y) {
        BYTE* row = FreeImage_GetScanLine(b, kHeight - 1 - y);
        for (int x = 0; x < kWidth; ++x, row += 3) {
            row[FI_RGBA_RED] = BYTE((x * 37 + y * 11) % 256);
            row[FI_RGBA_GREEN] = BYTE((x * 5 + y * 53) % 256);
            row[FI_RGBA_BLUE] = BYTE(((x / 3) % 2) ? 230 : 20);
        }
    }
    const fs::path path = dir.path() / "textured.png";
    EXPECT_TRUE(FreeImage_Save(FIF_PNG, b, path.c_str()));
    FreeImage_Unload(b);
    return path;
}

struct Difference {
    int largest = -1; // of a channel; -1 when either picture cannot be had
    double psnr = 0;
};

// The reader's picture of `file` next to libheif's own decode of it to RGB.
Difference Compared(const fs::path& file) {
    PictureBox landed;
    if (!MFreeImage_2::LoadImageFile(file.string(), landed)) return {};
    heif_context* context = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    Difference d;
    if (heif_context_read_from_file(context, file.c_str(), nullptr).code == heif_error_Ok &&
        heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok &&
        heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr)
                .code == heif_error_Ok &&
        landed.Width() == kWidth && landed.Height() == kHeight) {
        int stride = 0;
        const uint8_t* rgb =
            heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
        const cDIB& surface = landed.Surface();
        d.largest = 0;
        double squares = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                uint32_t shown = 0;
                std::copy_n(surface.lpBits() + std::size_t(y) * surface.BytesPerScanline() + 4 * x,
                            4, reinterpret_cast<uint8_t*>(&shown));
                const uint8_t* p = rgb + std::size_t(y) * std::size_t(stride) + 3 * x;
                for (int c = 0; c < 3; ++c) {
                    const int e = int((shown >> (16 - 8 * c)) & 0xFF) - p[c];
                    d.largest = std::max(d.largest, std::abs(e));
                    squares += double(e) * e;
                }
            }
        const double mean = squares / (3.0 * kWidth * kHeight);
        d.psnr = mean > 0 ? 10 * std::log10(255.0 * 255.0 / mean) : 99;
    }
    if (image) heif_image_release(image);
    if (handle) heif_image_handle_release(handle);
    heif_context_free(context);
    return d;
}

TEST(HeifPlanes, EachLayoutMatrixAndRangeTurnsAsLibheifTurnsIt) {
    if (std::system("command -v heif-enc >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "heif-enc is not installed";
    TempDir dir;
    const fs::path png = WriteTexturedPng(dir);
    const struct {
        const char* name;
        const char* options;
        bool subsampled;
    } kinds[] = {
        {"4:4:4, BT.601, full range", "-p chroma=444", false},
        {"BT.709, limited range", "-p chroma=444 --matrix_coefficients=1 --full_range_flag=0",
         false},
        {"BT.2020, limited range", "-p chroma=444 --matrix_coefficients=9 --full_range_flag=0",
         false},
        {"BT.470 System B, G", "-p chroma=444 --matrix_coefficients=5", false},
        {"4:2:0", "", true},
        {"4:2:2", "-p chroma=422", true},
        {"4:2:0, BT.709, limited range", "--matrix_coefficients=1 --full_range_flag=0", true},
    };
    // heif-enc is asked for each matrix and range; where it writes them into
    // the coded stream rather than a colr box, libheif takes its defaults and
    // the reader must take the same.
    int n = 0;
    for (const auto& kind : kinds) {
        const fs::path heic = dir.path() / ("kind" + std::to_string(n++) + ".heic");
        const std::string command = "heif-enc -q 90 " + std::string(kind.options) + " '" +
                                    png.string() + "' -o '" + heic.string() + "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << kind.name;
        const Difference d = Compared(heic);
        ASSERT_GE(d.largest, 0) << kind.name;
        if (kind.subsampled)
            EXPECT_GE(d.psnr, kSubsampledPsnr) << kind.name;
        else
            EXPECT_LE(d.largest, kRounding) << kind.name;
    }
}

} // namespace
