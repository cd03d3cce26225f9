// One animation step of the GIF viewer (compose, dispose, paint into the
// widget's backing store), next to the floor of copying one full-HD buffer;
// and the memory a loaded animation holds next to its index data.
#include "bench/BenchSupport.h"
#include "bench/GifInputs.h"
#include "viewers/ucGIFViewer.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <cstring>
#include <fstream>

namespace {

constexpr int kScreenW = 1920, kScreenH = 1080;

// Full-HD frames with scattered transparent pixels, or 100 x 100 frames
// wandering over a full-HD screen and restored to the background.
oracle::GifPlan StepInput(const std::string& name) {
    oracle::GifPlan s;
    s.width = kScreenW, s.height = kScreenH;
    s.global = oracle::GreyRamp(256);
    s.loops = 0;
    for (int i = 0; i < 4; ++i) {
        oracle::FramePlan f;
        if (name == "fullhd") {
            f = BenchFrame(kScreenW, kScreenH, 255, true, false, uint32_t(i));
            for (std::size_t p = std::size_t(i); p < f.indices.size(); p += 7)
                f.indices[p] = 255;
            f.transparent = 255;
            f.disposal = 1;
        } else {
            f = BenchFrame(100, 100, 255, false, false, uint32_t(i));
            f.left = 300 * i, f.top = 200 * i;
            f.disposal = 2;
        }
        f.delay = 5;
        s.frames.push_back(f);
    }
    return s;
}

std::string WriteInput(const oracle::GifPlan& plan, const std::string& name) {
    const std::string path = ScratchFolder() + "/" + name + ".gif";
    const std::vector<uint8_t> bytes = oracle::Encode(plan);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

void StepVantrel(benchmark::State& state, const std::string& name) {
    const oracle::GifPlan plan = StepInput(name);
    ucGIFViewer viewer;
    viewer.resize(kScreenW, kScreenH);
    viewer.show();
    if (!viewer.LoadFromFile(WriteInput(plan, name))) {
        state.SkipWithError("load failed");
        return;
    }
    QCoreApplication::processEvents();
    int64_t pixels = 0;
    int n = 0;
    for (auto _ : state) {
        viewer.NextFrame();
        QCoreApplication::processEvents(); // paints the changed part
        const auto& f = plan.frames[std::size_t(n)];
        pixels += int64_t(f.width) * f.height;
        n = (n + 1) % int(plan.frames.size());
    }
    state.SetItemsProcessed(pixels);
}

// The composition alone, without painting.
void ComposeOnly(benchmark::State& state, const std::string& name) {
    const oracle::GifPlan plan = StepInput(name);
    cGIF gif;
    GifAnimation anim(gif);
    if (!gif.LoadFromStream(oracle::Encode(plan)) || !anim.CreateBuffers(0)) {
        state.SkipWithError("load failed");
        return;
    }
    int64_t pixels = 0;
    for (auto _ : state) {
        const GifAnimation::Step s = anim.Advance();
        const auto& f = plan.frames[std::size_t(s.frame - 1)];
        pixels += int64_t(f.width) * f.height;
    }
    state.SetItemsProcessed(pixels);
}

void StepCopyFloor(benchmark::State& state, const std::string&) {
    std::vector<uint32_t> a(std::size_t(kScreenW) * kScreenH, 1), b(a.size());
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size() * 4);
        benchmark::DoNotOptimize(b.data());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(a.size()));
}

// Frames and buffers held by a loaded 100-frame 1000 x 1000 animation.
void HeldMemory(benchmark::State& state) {
    oracle::GifPlan s;
    s.width = s.height = 1000;
    s.global = oracle::GreyRamp(256);
    for (int i = 0; i < 100; ++i)
        s.frames.push_back(BenchFrame(1000, 1000, 256, true, false, uint32_t(i)));
    const std::string path = WriteInput(s, "held");
    ucGIFViewer viewer;
    for (auto _ : state)
        benchmark::DoNotOptimize(viewer.LoadFromFile(path));
    state.counters["held_MB"] = double(viewer.HeldBytes()) / 1e6;
    state.counters["index_MB"] = 100.0 * 1000 * 1000 / 1e6;
}

// A file that declares a logical screen no buffer can hold (30000 x 30000)
// over one 1000 x 1000 noise frame: the viewer refuses it from its header,
// next to giflib reading the same file whole.
std::string HugeScreenFile() {
    static const std::string path = [] {
        oracle::GifPlan s;
        s.width = 1000, s.height = 1000;
        s.global = oracle::GreyRamp(256);
        s.frames.push_back(BenchFrame(1000, 1000, 256, false, false, 7));
        std::string file = WriteInput(s, "huge-screen");
        std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
        constexpr char kScreen[] = {char(0x30), char(0x75), char(0x30), char(0x75)}; // 30000
        f.seekp(6);
        f.write(kScreen, sizeof kScreen);
        return file;
    }();
    return path;
}

void RefusedVantrel(benchmark::State& state) {
    const std::string path = HugeScreenFile();
    ucGIFViewer viewer;
    for (auto _ : state)
        benchmark::DoNotOptimize(viewer.LoadFromFile(path));
    if (viewer.GIFLoaded()) state.SkipWithError("a screen past the limit was loaded");
}

void RefusedGiflib(benchmark::State& state) {
    const std::string path = HugeScreenFile();
    for (auto _ : state)
        GiflibReadFile(path);
}

const bool registered = [] {
    benchmark::RegisterBenchmark("GifRefused/screen30000x30000/vantrel", RefusedVantrel)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("GifRefused/screen30000x30000/giflib_read", RefusedGiflib)
        ->Unit(benchmark::kMillisecond);
    for (const char* name : {"fullhd", "small"}) {
        benchmark::RegisterBenchmark((std::string("GifStep/") + name + "/vantrel").c_str(),
                                     StepVantrel, std::string(name))
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((std::string("GifStep/") + name + "/compose_only").c_str(),
                                     ComposeOnly, std::string(name))
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::RegisterBenchmark("GifStep/fullhd/copy_floor", StepCopyFloor, std::string())
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("GifHeld/anim100x1000x1000/vantrel", HeldMemory)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    return true;
}();

} // namespace
