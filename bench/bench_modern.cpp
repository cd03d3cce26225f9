// Previews of HEIC and JPEG XL pictures next to their libraries' own decode of the whole picture.
// A phone's HEIC, 12 MP in 512 x 512 tiles under a grid item with a
// thumbnail item (tests/HeifGrid.h), is previewed through the helper next
// to libheif's decode of it on one thread.
// A 12 MP HEIC and a 24 MP JPEG XL are made once a run from a generated
// photo-like PNG (heif-enc with x265's fastest preset, cjxl at effort 3, to
// keep the setup short; decoding costs much the same whatever the effort).
// The preview is the program's road for an 800 x 600 pane,
// MFreeImage_2::LoadImageFitted, in this process and through the confined
// helper; the reference is libheif's or libjxl's decode of the whole picture
// to 8-bit RGB, on the same threads the readers use, and nothing else.
#include "bench/BenchSupport.h"
#include "imaging/MFreeImage_2.h"
#include "imaging/StillDecoder.h"
#include "tests/HeifGrid.h"

#include <FreeImage.h>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <jxl/decode_cxx.h>
#include <jxl/thread_parallel_runner_cxx.h>
#include <libheif/heif.h>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kHeicWidth = 4000, kHeicHeight = 3000; // 12 MP
constexpr int kJxlWidth = 6000, kJxlHeight = 4000;   // 24 MP
constexpr MFreeImage_2::Box kPane{800, 600};
constexpr int kRgb = 3;

// A photo-like picture: soft light over a few large shapes, fine texture and grain.
FIBITMAP* Photo(int w, int h) {
    FIBITMAP* b = FreeImage_Allocate(w, h, 24);
    std::mt19937 rng(11);
    for (int y = 0; y < h; ++y) {
        BYTE* row = FreeImage_GetScanLine(b, h - 1 - y);
        const double fy = double(y) / h;
        for (int x = 0; x < w; ++x, row += kRgb) {
            const double fx = double(x) / w;
            const double light = 0.55 + 0.45 * std::sin(3.1 * fx + 1.7 * fy);
            const bool disc = (fx - 0.6) * (fx - 0.6) + (fy - 0.4) * (fy - 0.4) < 0.04;
            const double texture = 12 * std::sin(x * 0.21) * std::cos(y * 0.17);
            const int grain = int(rng() % 9) - 4;
            const auto level = [&](double base) {
                return BYTE(std::clamp(int(base * light + texture) + grain, 0, 255));
            };
            row[FI_RGBA_RED] = level(disc ? 220 : 90 + 120 * fy);
            row[FI_RGBA_GREEN] = level(disc ? 80 : 140 - 60 * fx);
            row[FI_RGBA_BLUE] = level(disc ? 60 : 200 - 100 * fy);
        }
    }
    return b;
}

std::string PhotoPng(const std::string& dir, int w, int h) {
    FIBITMAP* b = Photo(w, h);
    const std::string path = dir + "/photo-" + std::to_string(w) + ".png";
    FreeImage_Save(FIF_PNG, b, path.c_str(), PNG_Z_BEST_SPEED);
    FreeImage_Unload(b);
    return path;
}

struct Sample {
    std::string path;
    std::vector<uint8_t> bytes;
};

// `command` run on a new photo of `w` x `h` ({in} and {out} its paths);
// empty when the tool is missing or fails.
Sample Made(int w, int h, const std::string& extension, const std::string& command) {
    const std::string dir = ScratchFolder();
    const std::string in = PhotoPng(dir, w, h);
    Sample s{dir + "/photo" + extension, {}};
    std::string line = command;
    line.replace(line.find("{in}"), 4, in);
    line.replace(line.find("{out}"), 5, s.path);
    if (std::system((line + " >/dev/null 2>&1").c_str()) != 0) return {};
    std::ifstream file(s.path, std::ios::binary);
    s.bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return s;
}

const Sample& Heic() {
    static const Sample s =
        Made(kHeicWidth, kHeicHeight, ".heic", "heif-enc -q 85 -p preset=ultrafast {in} -o {out}");
    return s;
}

// A phone's photo: 12 MP in 512 x 512 tiles, its thumbnail 336 x 252.
constexpr int kGridWidth = 4032, kGridHeight = 3024, kGridTile = 512, kGridThumbnail = 12;

const Sample& GridHeic() {
    static const Sample s = [] {
        FIBITMAP* b = Photo(kGridWidth, kGridHeight);
        heifgrid::Rgb rgb{kGridWidth, kGridHeight,
                          std::vector<uint8_t>(std::size_t(kGridWidth) * kGridHeight * kRgb)};
        for (int y = 0; y < kGridHeight; ++y) {
            const BYTE* row = FreeImage_GetScanLine(b, kGridHeight - 1 - y);
            for (int x = 0; x < kGridWidth; ++x, row += kRgb) {
                uint8_t* p = &rgb.pixels[(std::size_t(y) * kGridWidth + x) * kRgb];
                p[0] = row[FI_RGBA_RED], p[1] = row[FI_RGBA_GREEN], p[2] = row[FI_RGBA_BLUE];
            }
        }
        FreeImage_Unload(b);
        const std::string file = heifgrid::MakeGridHeic(rgb, kGridTile, kGridThumbnail);
        Sample made{ScratchFolder() + "/grid.heic", {file.begin(), file.end()}};
        std::ofstream(made.path, std::ios::binary) << file;
        return file.empty() ? Sample{} : made;
    }();
    return s;
}

const Sample& Jxl() {
    static const Sample s = Made(kJxlWidth, kJxlHeight, ".jxl", "cjxl -d 1 -e 3 {in} {out}");
    return s;
}

void Preview(benchmark::State& state, const Sample& (*sample)()) {
    const Sample& s = sample();
    if (s.bytes.empty()) return state.SkipWithError("heif-enc or cjxl is missing");
    for (auto _ : state) {
        PictureBox shown;
        if (!MFreeImage_2::LoadImageFitted(s.bytes, s.path, kPane, shown).loaded)
            return state.SkipWithError("the preview did not load");
        benchmark::DoNotOptimize(shown.Surface().lpBits());
    }
}

void PreviewInHelper(benchmark::State& state, const Sample& (*sample)()) {
    const Sample& s = sample();
    if (s.bytes.empty()) return state.SkipWithError("heif-enc or cjxl is missing");
    StillDecoder decoder;
    if (!decoder.HelperAvailable())
        return state.SkipWithError("no vantrel-decoder beside the bench");
    for (auto _ : state) {
        const DecodeResult shown = decoder.Decode(s.path, kPane);
        if (!shown.Decoded()) return state.SkipWithError("the helper did not decode the preview");
        benchmark::DoNotOptimize(shown.picture->lpBits());
    }
}

// libheif's own decode of the whole picture to RGB; `maxThreads` for the
// tiles of a grid, or its own choice when negative.
bool LibheifDecode(const Sample& s, int maxThreads) {
    heif_context* context = heif_context_alloc();
    if (maxThreads >= 0) heif_context_set_max_decoding_threads(context, maxThreads);
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    const bool ok =
        heif_context_read_from_memory_without_copy(context, s.bytes.data(), s.bytes.size(), nullptr)
                .code == heif_error_Ok &&
        heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok &&
        heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr)
                .code == heif_error_Ok;
    if (image) heif_image_release(image);
    if (handle) heif_image_handle_release(handle);
    heif_context_free(context);
    return ok;
}

void LibheifWhole(benchmark::State& state, const Sample& (*sample)()) {
    const Sample& s = sample();
    if (s.bytes.empty()) return state.SkipWithError("heif-enc is missing");
    for (auto _ : state)
        if (!LibheifDecode(s, -1)) return state.SkipWithError("libheif did not decode");
}

// The tiles of a grid on one thread.
void LibheifOneThread(benchmark::State& state, const Sample& (*sample)()) {
    const Sample& s = sample();
    if (s.bytes.empty()) return state.SkipWithError("libheif could not encode the tiles");
    for (auto _ : state)
        if (!LibheifDecode(s, 1)) return state.SkipWithError("libheif did not decode");
}

void LibjxlWhole(benchmark::State& state, const Sample& (*sample)()) {
    const Sample& s = sample();
    if (s.bytes.empty()) return state.SkipWithError("cjxl is missing");
    for (auto _ : state) {
        const JxlDecoderPtr decoder = JxlDecoderMake(nullptr);
        const JxlThreadParallelRunnerPtr runner =
            JxlThreadParallelRunnerMake(nullptr, JxlThreadParallelRunnerDefaultNumWorkerThreads());
        JxlDecoderSetParallelRunner(decoder.get(), JxlThreadParallelRunner, runner.get());
        JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_FULL_IMAGE);
        JxlDecoderSetInput(decoder.get(), s.bytes.data(), s.bytes.size());
        JxlDecoderCloseInput(decoder.get());
        const JxlPixelFormat format{kRgb, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
        std::vector<uint8_t> pixels;
        bool done = false;
        while (!done) {
            switch (JxlDecoderProcessInput(decoder.get())) {
            case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
                std::size_t size = 0;
                JxlDecoderImageOutBufferSize(decoder.get(), &format, &size);
                pixels.resize(size);
                JxlDecoderSetImageOutBuffer(decoder.get(), &format, pixels.data(), size);
                break;
            }
            case JXL_DEC_FULL_IMAGE:
                done = true;
                break;
            default:
                return state.SkipWithError("libjxl did not decode");
            }
        }
        benchmark::DoNotOptimize(pixels.data());
    }
}

const bool registered = [] {
    RegisterPair("HeicPreview12MP", Preview, "libheif_whole", LibheifWhole, Heic);
    RegisterPair("JxlPreview24MP", Preview, "libjxl_whole", LibjxlWhole, Jxl);
    RegisterPair("HeicGrid12MP", PreviewInHelper, "libheif_one_thread", LibheifOneThread, GridHeic);
    benchmark::RegisterBenchmark("HeicPreview12MP/vantrel_helper", PreviewInHelper, Heic)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("JxlPreview24MP/vantrel_helper", PreviewInHelper, Jxl)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    return true;
}();

} // namespace
