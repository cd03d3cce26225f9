// The preview road for large photos: LoadImageFile + ScaleImageToBox into an
// 800 x 600 pane, next to the library's own floor (FreeImage_Load +
// FreeImage_Rescale to the same size) in the same run.
#include "bench/BenchSupport.h"
#include "imaging/MFreeImage_2.h"
#include "imaging/mScaleImage.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <random>
#include <unistd.h>

namespace {

constexpr int kWidth = 6000, kHeight = 4000, kPaneWidth = 800, kPaneHeight = 600;

std::map<std::string, std::string> made; // input name -> file

const std::string& File(const std::string& name) {
    auto it = made.find(name);
    if (it != made.end()) return it->second;
    const std::string dir = ScratchFolder();
    FIBITMAP* b = FreeImage_Allocate(kWidth, kHeight, 24);
    std::mt19937 rng(5);
    for (int y = 0; y < kHeight; ++y) {
        BYTE* row = FreeImage_GetScanLine(b, y);
        for (int x = 0; x < kWidth; ++x) {
            const unsigned n = rng() & 15; // a photo's grain over smooth shapes
            row[3 * x] = BYTE((x / 24 + n) & 0xFF);
            row[3 * x + 1] = BYTE((y / 16 + n) & 0xFF);
            row[3 * x + 2] = BYTE(((x + y) / 40 + n) & 0xFF);
        }
    }
    const bool jpeg = name == "jpeg6000x4000";
    const std::string file = dir + (jpeg ? "/photo.jpg" : "/photo.png");
    FreeImage_Save(jpeg ? FIF_JPEG : FIF_PNG, b, file.c_str(),
                   jpeg ? JPEG_QUALITYGOOD : PNG_Z_BEST_SPEED);
    FreeImage_Unload(b);
    return made.emplace(name, file).first->second;
}

void PreviewVantrel(benchmark::State& state, const std::string& name) {
    const std::string& file = File(name);
    PictureBox PicLoad, pane;
    pane.SetSize(kPaneWidth, kPaneHeight);
    for (auto _ : state) {
        MFreeImage_2::LoadImageFile(file, PicLoad);
        benchmark::DoNotOptimize(mScaleImage::ScaleImageToBox(PicLoad, pane, 0, true));
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
}

void PreviewFloor(benchmark::State& state, const std::string& name) {
    const std::string& file = File(name);
    const FREE_IMAGE_FORMAT format = FreeImage_GetFileType(file.c_str(), 0);
    const auto fit = mScaleImage::FitInBox(kWidth, kHeight, kPaneWidth, kPaneHeight, 0, true);
    for (auto _ : state) {
        FIBITMAP* b = FreeImage_Load(format, file.c_str(), format == FIF_JPEG ? JPEG_ACCURATE : 0);
        FIBITMAP* r = FreeImage_Rescale(b, fit.width, fit.height, FILTER_LANCZOS3);
        benchmark::DoNotOptimize(r);
        FreeImage_Unload(r);
        FreeImage_Unload(b);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
}

int Register() {
    for (const char* name : {"jpeg6000x4000", "png6000x4000"})
        RegisterPair(std::string("Preview/") + name, PreviewVantrel, "floor", PreviewFloor,
                     std::string(name));
    return 0;
}
const int registered = Register();

} // namespace
