// GIF decoding and encoding, ours next to giflib's, on the same inputs.
#include "bench/BenchSupport.h"
#include "bench/GifInputs.h"
#include "gif/ByteSink.h"
#include "gif/cGIF.h"
#include "gif/mGIFLZWEnc.h"
#include "viewers/ucGIFViewer.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

const char* const kDecodeInputs[] = {"noise", "gradient", "interlaced", "anim100"};

void DecodeVantrel(benchmark::State& state, const std::string& name) {
    const GifInput& in = Input(name);
    cGIF gif;
    for (auto _ : state) {
        // Loading decodes the first frame; reading the others decodes them.
        gif.LoadFromStream(in.bytes);
        for (int n = 1; n <= gif.FramesCount(); ++n)
            benchmark::DoNotOptimize(std::as_const(gif).FrameDIBXOR(n).lpBits());
    }
    state.SetItemsProcessed(state.iterations() * in.pixels);
}

void DecodeGiflib(benchmark::State& state, const std::string& name) {
    const GifInput& in = Input(name);
    for (auto _ : state) {
        oracle::Reader reader{&in.bytes};
        int error = 0;
        GifFileType* gif = DGifOpen(&reader, oracle::ReadFromVector, &error);
        DGifSlurp(gif);
        benchmark::DoNotOptimize(gif->SavedImages[0].RasterBits);
        DGifCloseFile(gif, &error);
    }
    state.SetItemsProcessed(state.iterations() * in.pixels);
}

const char* const kEncodeInputs[] = {"noise", "gradient", "flat", "anim1000"};

// The frames of an input as our 8-bit surfaces.
std::vector<std::unique_ptr<cDIB>> Surfaces(const GifInput& in) {
    std::vector<std::unique_ptr<cDIB>> out;
    for (const auto& f : in.plan.frames) {
        auto d = std::make_unique<cDIB>();
        d->Create(f.width, f.height, 8);
        for (int y = 0; y < f.height; ++y)
            std::memcpy(d->lpBits() + std::size_t(y) * std::size_t(d->BytesPerScanline()),
                        f.indices.data() + std::size_t(y) * std::size_t(f.width),
                        std::size_t(f.width));
        out.push_back(std::move(d));
    }
    return out;
}

void EncodeVantrel(benchmark::State& state, const std::string& name) {
    const GifInput& in = Input(name);
    const auto frames = Surfaces(in);
    std::size_t bytes = 0;
    for (auto _ : state) {
        VectorSink sink;
        sink.bytes.reserve(in.bytes.size() + 4096);
        for (const auto& d : frames)
            mGIFLZWEnc::EncodeFromDIB(sink, *d, 9, false);
        bytes = sink.bytes.size();
        benchmark::DoNotOptimize(sink.bytes.data());
    }
    state.SetItemsProcessed(state.iterations() * in.pixels);
    state.counters["bytes_out"] = double(bytes);
}

void EncodeGiflib(benchmark::State& state, const std::string& name) {
    const GifInput& in = Input(name);
    std::size_t bytes = 0;
    ColorMapObject* map = oracle::MakeMap(in.plan.global);
    for (auto _ : state) {
        std::vector<uint8_t> out;
        out.reserve(in.bytes.size() + 4096);
        int error = 0;
        GifFileType* gif = EGifOpen(&out, oracle::WriteToVector, &error);
        EGifPutScreenDesc(gif, in.plan.width, in.plan.height, 8, 0, map);
        std::size_t header = out.size();
        for (const auto& f : in.plan.frames) {
            EGifPutImageDesc(gif, 0, 0, f.width, f.height, false, nullptr);
            for (int y = 0; y < f.height; ++y)
                EGifPutLine(gif,
                            const_cast<GifPixelType*>(f.indices.data()) +
                                std::size_t(y) * std::size_t(f.width),
                            f.width);
        }
        EGifCloseFile(gif, &error);
        // Image data only, as ours: drop the screen, the descriptors and code-size bytes.
        bytes = out.size() - header - in.plan.frames.size() * 12 - 1;
        benchmark::DoNotOptimize(out.data());
    }
    GifFreeMapObject(map);
    state.SetItemsProcessed(state.iterations() * in.pixels);
    state.counters["bytes_out"] = double(bytes);
}

// A 3000 x 2000 noise GIF written to disk once; the whole load of the file
// (open, read, parse, decode), ours and giflib's from its file name.
const std::string& NoiseFile() {
    static const std::string path = [] {
        oracle::GifPlan plan;
        plan.width = 3000, plan.height = 2000;
        plan.global = oracle::GreyRamp(256);
        plan.frames.push_back(BenchFrame(3000, 2000, 256, false, false, 9));
        return WriteScratchGif(oracle::Encode(plan), "noise3000x2000.gif");
    }();
    return path;
}

void LoadFileVantrel(benchmark::State& state, int) {
    const std::string& file = NoiseFile();
    for (auto _ : state) {
        cGIF gif;
        gif.LoadFromFile(file);
        benchmark::DoNotOptimize(gif.FrameDIBXOR(1).lpBits());
    }
    state.SetItemsProcessed(state.iterations() * 3000 * 2000);
}

void LoadFileGiflib(benchmark::State& state, int) {
    const std::string& file = NoiseFile();
    for (auto _ : state)
        GiflibReadFile(file);
    state.SetItemsProcessed(state.iterations() * 3000 * 2000);
}

// The peak resident memory of the process since the last reset (VmHWM), in
// MB, and the reset itself, so that a benchmark reports its own peak.
void ResetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}
double PeakMemoryMB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        double kb = 0;
        if (key == "VmHWM:" && status >> kb) return kb / 1024.0;
    }
    return 0;
}

// Two 1920 x 1080 animations of 80 frames: "noisy", smooth and noisy frames
// in turn (a large file, about 92 MB); "moving", a smooth picture with a
// block of noise moving over it (about 16 MB), as a screen recording.
constexpr int kHdW = 1920, kHdH = 1080, kHdFrames = 80;
constexpr int kBlockW = 320, kBlockH = 180;
const std::string& HdFile(const std::string& kind) {
    static std::map<std::string, std::string> paths;
    auto it = paths.find(kind);
    if (it != paths.end()) return it->second;
    oracle::GifPlan s;
    s.width = kHdW, s.height = kHdH;
    s.global = oracle::GreyRamp(256);
    s.loops = 0;
    for (int i = 0; i < kHdFrames; ++i) {
        const bool smooth = kind == "moving" || i % 2 == 0;
        oracle::FramePlan f = BenchFrame(kHdW, kHdH, 64, smooth, false, uint32_t(i));
        if (kind == "moving") {
            const oracle::FramePlan block = BenchFrame(kBlockW, kBlockH, 64, false, false, 7);
            const int left = i * (kHdW - kBlockW) / kHdFrames,
                      top = i * (kHdH - kBlockH) / kHdFrames;
            for (int y = 0; y < kBlockH; ++y)
                std::copy_n(block.indices.begin() + std::ptrdiff_t(y) * kBlockW, kBlockW,
                            f.indices.begin() + std::ptrdiff_t(top + y) * kHdW + left);
        }
        s.frames.push_back(std::move(f));
    }
    return paths.emplace(kind, WriteScratchGif(oracle::Encode(s), "hd80" + kind + ".gif"))
        .first->second;
}

// From the file's name to the first frame painted: the document read (its
// first frame decoded), shown, and the viewer painted.
void FirstFrameVantrel(benchmark::State& state, const std::string& kind) {
    const std::string& file = HdFile(kind);
    ucGIFViewer viewer;
    viewer.resize(kHdW, kHdH);
    viewer.show();
    for (auto _ : state) {
        if (!viewer.ShowDocument(ucGIFViewer::ReadDocument(file))) {
            state.SkipWithError("not loaded");
            return;
        }
        viewer.repaint();
    }
    state.counters["held_MB"] = double(viewer.HeldBytes()) / 1e6;
}

// giflib reads the same file whole: every frame decoded before any is shown.
void FirstFrameGiflib(benchmark::State& state, const std::string& kind) {
    const std::string& file = HdFile(kind);
    for (auto _ : state)
        GiflibReadFile(file);
}

// 300 frames of 2000 x 2000, each of one colour with a square of another
// moving over it: about 1.2 MB of file for 1.2 GB of indices.
constexpr int kBigSide = 2000, kBigFrames = 300;
constexpr int kSquare = 100;
const std::string& BigFile() {
    static const std::string path = [] {
        oracle::GifPlan s;
        s.width = s.height = kBigSide;
        s.global = oracle::GreyRamp(16);
        s.loops = 0;
        for (int i = 0; i < kBigFrames; ++i) {
            oracle::FramePlan f;
            f.width = f.height = kBigSide;
            f.delay = 4;
            f.indices.assign(std::size_t(kBigSide) * kBigSide, uint8_t(i % 16));
            const int at = i * (kBigSide - kSquare) / kBigFrames;
            for (int y = at; y < at + kSquare; ++y)
                std::fill_n(f.indices.begin() + std::ptrdiff_t(y) * kBigSide + at, kSquare,
                            uint8_t((i + 8) % 16));
            s.frames.push_back(std::move(f));
        }
        return WriteScratchGif(oracle::Encode(s), "big300.gif");
    }();
    return path;
}

// Opening the file and stepping through every frame once in a viewer, the
// most it held at any step, and the process's peak.
void PlayVantrel(benchmark::State& state, int) {
    const std::string& file = BigFile();
    std::size_t peak = 0;
    ResetPeakMemory();
    for (auto _ : state) {
        ucGIFViewer viewer;
        if (!viewer.LoadFromFile(file)) {
            state.SkipWithError("not loaded");
            return;
        }
        for (int k = 1; k < kBigFrames; ++k) {
            viewer.NextFrame();
            peak = std::max(peak, viewer.HeldBytes());
        }
    }
    state.counters["peak_held_MB"] = double(peak) / 1e6;
    state.counters["file_MB"] = double(std::filesystem::file_size(file)) / 1e6;
    state.counters["rss_peak_MB"] = PeakMemoryMB();
    state.SetItemsProcessed(state.iterations() * kBigFrames);
}

// giflib decodes every frame of the same file, holding them all.
void PlayGiflib(benchmark::State& state, int) {
    const std::string& file = BigFile();
    ResetPeakMemory();
    for (auto _ : state)
        GiflibReadFile(file);
    state.counters["held_MB"] = double(kBigFrames) * kBigSide * kBigSide / 1e6;
    state.counters["rss_peak_MB"] = PeakMemoryMB();
    state.SetItemsProcessed(state.iterations() * kBigFrames);
}

int Register() {
    for (const char* kind : {"noisy", "moving"})
        RegisterPair(std::string("GifFirstFrame/hd80") + kind, FirstFrameVantrel, "giflib",
                     FirstFrameGiflib, std::string(kind));
    RegisterPair("GifPlay/300x2000x2000", PlayVantrel, "giflib", PlayGiflib, 0);
    RegisterPair("GifLoadFile/noise3000x2000", LoadFileVantrel, "giflib", LoadFileGiflib, 0);
    for (const char* name : kDecodeInputs)
        RegisterPair(std::string("GifDecode/") + name, DecodeVantrel, "giflib", DecodeGiflib,
                     std::string(name));
    for (const char* name : kEncodeInputs)
        RegisterPair(std::string("GifEncode/") + name, EncodeVantrel, "giflib", EncodeGiflib,
                     std::string(name));
    return 0;
}
const int registered = Register();

} // namespace
