// The preview road for large photos: the decode in the confined helper +
// ScaleImageToBox into an 800 x 600 pane, next to the library's own floor
// (FreeImage_Load + FreeImage_Rescale to the same size) in the same run; the
// cost of the hand-over to the helper for a small picture; the time to
// replace a helper that died.
#include "bench/BenchSupport.h"
#include "bench/GrainyPhoto.h"
#include "imaging/FileBytes.h"
#include "imaging/MFreeImage_2.h"
#include "imaging/StillDecoder.h"
#include "imaging/mScaleImage.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The decoder of these benchmarks, its helper kept from one run to the next.
StillDecoder& BenchDecoder() {
    static StillDecoder decoder;
    return decoder;
}

constexpr int kWidth = 6000, kHeight = 4000, kPaneWidth = 800, kPaneHeight = 600;

std::map<std::string, std::string> made; // input name -> file

// Rewrites a bitmap file's 40-byte header as the 124-byte one (V5) that
// ImageMagick and GIMP write: the same pixels, which FreeImage refuses and
// the Qt readers take.
void ToV5Header(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    constexpr std::size_t kFileHeader = 14, kV3 = 40, kV5 = 124;
    auto put32 = [&b](std::size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + std::size_t(i)] = char((v >> (8 * i)) & 0xFF);
    };
    std::string extra(kV5 - kV3, '\0');
    extra[16] = 'B', extra[17] = 'G', extra[18] = 'R', extra[19] = 's'; // "sRGB", little-endian
    b.insert(kFileHeader + kV3, extra);
    put32(2, uint32_t(b.size()));
    put32(10, uint32_t(kFileHeader + kV5)); // pixels follow the header (24 bits: no table)
    put32(14, uint32_t(kV5));
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(b.data(), std::streamsize(b.size()));
}

const std::string& File(const std::string& name) {
    auto it = made.find(name);
    if (it != made.end()) return it->second;
    const std::string dir = ScratchFolder();
    FIBITMAP* b = GrainyPhoto(kWidth, kHeight, 5);
    const bool jpeg = name == "jpeg6000x4000";
    const bool bmp = name.rfind("bmp", 0) == 0;
    const std::string file = dir + (jpeg ? "/photo.jpg" : bmp ? "/photo.bmp" : "/photo.png");
    FreeImage_Save(jpeg  ? FIF_JPEG
                   : bmp ? FIF_BMP
                         : FIF_PNG,
                   b, file.c_str(),
                   jpeg  ? JPEG_QUALITYGOOD
                   : bmp ? BMP_DEFAULT
                         : PNG_Z_BEST_SPEED);
    FreeImage_Unload(b);
    if (name == "bmp_v5") ToV5Header(file);
    return made.emplace(name, file).first->second;
}

// The picture decoded in the helper at the size shown (the pane's box, as
// the figure asks, or a full-HD screen's, as the window asks while
// the pane may grow to it), then fitted into the pane as the window does.
void PreviewAt(benchmark::State& state, const std::string& name, MFreeImage_2::Box box) {
    const std::string& file = File(name);
    PictureBox PicLoad, pane;
    pane.SetSize(kPaneWidth, kPaneHeight);
    for (auto _ : state) {
        const DecodeResult decoded = BenchDecoder().Decode(file, box);
        if (decoded.picture) PicLoad.AdoptSurface(decoded.picture);
        benchmark::DoNotOptimize(mScaleImage::DrawFitted(
            PicLoad, decoded.fullWidth, decoded.fullHeight, pane, mScaleImage::Resample::Exact));
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
}

void PreviewVantrel(benchmark::State& state, const std::string& name) {
    PreviewAt(state, name, {kPaneWidth, kPaneHeight});
}

constexpr int kScreenWidth = 1920, kScreenHeight = 1080;

void PreviewScreenBox(benchmark::State& state, const std::string& name) {
    PreviewAt(state, name, {kScreenWidth, kScreenHeight});
}

// A 100 x 100 PNG decoded through the helper, and in this process.
const std::string& SmallFile() {
    static const std::string file = [] {
        FIBITMAP* b = FreeImage_Allocate(100, 100, 24);
        const std::string path = ScratchFolder() + "/small.png";
        FreeImage_Save(FIF_PNG, b, path.c_str(), PNG_Z_BEST_SPEED);
        FreeImage_Unload(b);
        return path;
    }();
    return file;
}

void HandOverHelper(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(BenchDecoder().Decode(SmallFile()).picture);
}

void HandOverInProcess(benchmark::State& state) {
    PictureBox box;
    for (auto _ : state)
        benchmark::DoNotOptimize(MFreeImage_2::LoadImageFile(SmallFile(), box));
}

// A helper killed, then the next picture: the time includes starting a new one.
void ReplaceDeadHelper(benchmark::State& state) {
    StillDecoder& d = BenchDecoder();
    for (auto _ : state) {
        state.PauseTiming();
        d.Decode(SmallFile());
        const pid_t pid = d.HelperPid();
        ::kill(pid, SIGKILL);
        ::waitid(P_PID, id_t(pid), nullptr, WEXITED | WNOWAIT); // dead, not yet reaped
        state.ResumeTiming();
        benchmark::DoNotOptimize(d.Decode(SmallFile()).picture);
    }
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

// A pane resize: the window's work on its own thread while the pane changes
// size, drawing the picture it holds into the pane once more. The window
// draws from the photo fitted to a full-HD screen, quickly (the picture
// fitted to the pane follows from the helper once the size stays); next to
// it the Lanczos fit of that picture, and of the whole picture the window
// held before pictures came at the size shown.
void ResizeFrom(benchmark::State& state, MFreeImage_2::Box box, mScaleImage::Resample how) {
    PictureBox held, pane;
    const DecodeResult photo = BenchDecoder().Decode(File("jpeg6000x4000"), box);
    if (!photo.Decoded()) {
        state.SkipWithError("the photo did not decode");
        return;
    }
    held.AdoptSurface(photo.picture);
    int step = 0;
    for (auto _ : state) {
        pane.SetSize(kPaneWidth - (step++ & 1), kPaneHeight); // a new size each time
        benchmark::DoNotOptimize(mScaleImage::DrawFitted(held, kWidth, kHeight, pane, how));
    }
}

// The decode alone, in this process, into the pane's box: the JPEG reader
// on libjpeg itself beside FreeImage's road (the same picture).
void JpegInProcess(benchmark::State& state, bool jpegReader) {
    const std::string& file = File("jpeg6000x4000");
    std::vector<uint8_t> bytes;
    ReadFileBytes(file, bytes);
    PictureBox shown;
    const MFreeImage_2::Box box{kPaneWidth, kPaneHeight};
    for (auto _ : state)
        benchmark::DoNotOptimize(
            jpegReader ? MFreeImage_2::LoadImageFitted(bytes, file, box, shown)
                       : MFreeImage_2::LoadImageFittedByFreeImage(bytes, file, box, shown));
}

int Register() {
    benchmark::RegisterBenchmark("Preview/jpeg6000x4000/in_process_jpeg_reader", JpegInProcess,
                                 true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Preview/jpeg6000x4000/in_process_freeimage_road", JpegInProcess,
                                 false)
        ->Unit(benchmark::kMillisecond);
    const MFreeImage_2::Box screen{kScreenWidth, kScreenHeight};
    benchmark::RegisterBenchmark("PaneResize/jpeg6000x4000/vantrel", ResizeFrom, screen,
                                 mScaleImage::Resample::Quick)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("PaneResize/jpeg6000x4000/screen_picture_lanczos", ResizeFrom,
                                 screen, mScaleImage::Resample::Exact)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("PaneResize/jpeg6000x4000/whole_picture_lanczos", ResizeFrom,
                                 MFreeImage_2::Box{}, mScaleImage::Resample::Exact)
        ->Unit(benchmark::kMillisecond);
    for (const char* name : {"jpeg6000x4000", "png6000x4000"}) {
        RegisterPair(std::string("Preview/") + name, PreviewVantrel, "floor", PreviewFloor,
                     std::string(name));
        benchmark::RegisterBenchmark(
            (std::string("Preview/") + name + "/vantrel_screen_box").c_str(), PreviewScreenBox,
            std::string(name))
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::RegisterBenchmark("Decoder/handover100x100/helper", HandOverHelper)
        ->Unit(benchmark::kMicrosecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("Decoder/handover100x100/in_process", HandOverInProcess)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Decoder/replace_dead_helper/helper", ReplaceDeadHelper)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    // A V5 bitmap through the Qt readers, next to FreeImage reading the same
    // picture as a V3 bitmap.
    benchmark::RegisterBenchmark("Preview/bmp6000x4000_v5/vantrel", PreviewVantrel,
                                 std::string("bmp_v5"))
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("Preview/bmp6000x4000_v3/vantrel", PreviewVantrel,
                                 std::string("bmp_v3"))
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    return 0;
}
const int registered = Register();

} // namespace
