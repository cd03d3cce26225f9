// One animation step of the GIF viewer (compose, dispose, paint into the
// widget's backing store), next to the floor of copying one full-HD buffer;
// and the memory a loaded animation holds next to its index data. One frame
// back in a 1000-frame full-HD GIF from the key frames, next to composing
// it from frame 1; the processor time and memory of playing it, and a
// 40-frame full-HD GIF, in a viewer of the preview's size and of the full
// view's.
#include "bench/BenchSupport.h"
#include "bench/GifInputs.h"
#include "bench/LoopWatchdog.h"
#include "gif/IndexedRows.h"
#include "viewers/ucGIFViewer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sys/resource.h>

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

void StepVantrel(benchmark::State& state, const std::string& name, bool control) {
    const oracle::GifPlan plan = StepInput(name);
    ucGIFViewer viewer;
    viewer.SetUserControl(control); // key frames kept as in the full view
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
    state.counters["vector_rows"] = IndexedRows::Vectorised() ? 1 : 0; // AVX2 on this processor
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

// The 1000-frame full-HD animation of a moving block, 50 ms a frame, made
// once a run.
constexpr int kLongFrames = 1000;
constexpr int kFiftyMs = 5; // hundredths
const std::string& LongGif() {
    static const std::string path =
        WriteInput(MovingBlockPlan(kLongFrames, kScreenW, kScreenH, kFiftyMs), "block1000");
    return path;
}

// 40 full-HD frames with scattered transparent pixels, 50 ms a frame.
const std::string& FullHd40Gif() {
    static const std::string path = [] {
        oracle::GifPlan s = StepInput("fullhd");
        s.frames.resize(1);
        for (int i = 1; i < 40; ++i) {
            oracle::FramePlan f = BenchFrame(kScreenW, kScreenH, 255, true, false, uint32_t(i));
            for (std::size_t p = std::size_t(i % 7); p < f.indices.size(); p += 7)
                f.indices[p] = 255;
            f.transparent = 255, f.disposal = 1, f.delay = kFiftyMs;
            s.frames.push_back(std::move(f));
        }
        return WriteInput(s, "fullhd40");
    }();
    return path;
}

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

// One frame back from a random frame, after playing has passed every frame
// once: from the key frames, or (none kept) composed from frame 1. Only the
// step back is timed. The slowest step (the frame just before a key frame)
// is timed on its own.
void BackStep(benchmark::State& state, bool keyFrames) {
    cGIF gif;
    GifAnimation anim(gif);
    anim.KeepKeyFrames(keyFrames ? GifAnimation::kKeyFrameBytes : 0);
    if (!gif.LoadFromFile(LongGif()) || !anim.CreateBuffers(0)) {
        state.SkipWithError("load failed");
        return;
    }
    const int frames = gif.FramesCount();
    for (int n = 0; n < frames; ++n)
        anim.Advance();
    const int spacing = anim.KeyFrameSpacing();
    const int slowest = spacing > 0 ? 2 * spacing : frames - 1; // from the key frame 1 + spacing
    double worst = 0;
    for (int k = 0; k < 3; ++k) {
        anim.ShowFrame(slowest + 1);
        const Clock::time_point t0 = Clock::now();
        anim.ShowFrame(slowest);
        worst = std::max(worst, Seconds(t0));
    }
    std::mt19937 rng(7);
    uint64_t composed = 0;
    for (auto _ : state) {
        const int n = 2 + int(rng() % unsigned(frames - 1));
        anim.ShowFrame(n); // where the user paused
        const uint64_t before = anim.Compositions();
        const Clock::time_point t0 = Clock::now();
        anim.ShowFrame(n - 1);
        state.SetIterationTime(Seconds(t0));
        composed += anim.Compositions() - before;
    }
    state.counters["composed"] = double(composed) / double(state.iterations());
    state.counters["slowest_ms"] = worst * 1e3;
    state.counters["spacing"] = spacing;
    state.counters["keys_MB"] = double(anim.KeyFrameBytes()) / 1e6;
}

// The full view's ',' (delta -1) or '.' (+1) held down: one frame after
// another, each painted; back from the last frame to the first (played on
// to the last again, untimed, at frame 1), or forward through the frames,
// key frames kept as it passes them.
void StepViewer(benchmark::State& state, int delta) {
    ucGIFViewer viewer;
    viewer.SetUserControl(true);
    viewer.resize(kScreenW, kScreenH);
    viewer.show();
    if (!viewer.LoadFromFile(LongGif())) {
        state.SkipWithError("load failed");
        return;
    }
    for (auto _ : state) {
        if (delta < 0 && viewer.GIFShownFrame() <= 1) {
            state.PauseTiming();
            while (viewer.GIFShownFrame() != viewer.GIFFrames())
                viewer.NextFrame();
            QCoreApplication::processEvents();
            state.ResumeTiming();
        }
        viewer.StepFrame(delta);
        QCoreApplication::processEvents(); // paints it
    }
    state.counters["held_MB"] = double(viewer.HeldBytes()) / 1e6;
    state.counters["keys_MB"] = double(viewer.KeyFrameBytes()) / 1e6;
}

double ProcessorSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// A viewer of the given size playing a GIF from its own timer for a few
// seconds: the process's processor time over the wall time (over the first
// loop too, which decodes every frame), the frames shown a second, and the
// most the viewer held. The preview keeps no key frames and composes at its
// own size; the full view (user control) keeps them and composes the whole
// screen.
constexpr int kPlayMs = 4000;
constexpr int kWarmMs = 2500;
constexpr int kWarmFrames = 50;
constexpr int kPollMs = 10;
struct PlayArgs {
    const std::string& (*file)();
    int width, height;
    bool control;
};

void PlayCpu(benchmark::State& state, PlayArgs a) {
    ucGIFViewer viewer;
    viewer.SetUserControl(a.control);
    viewer.SetAutoPlay(true);
    viewer.resize(a.width, a.height);
    viewer.show();
    const std::string& path = a.file();
    std::size_t held = 0;
    int shown = 0;
    QObject::connect(&viewer, &ucGIFViewer::GIFFrameRendered, [&](int16_t) {
        ++shown;
        held = std::max(held, viewer.HeldBytes());
    });
    if (!viewer.LoadFromFile(path)) {
        state.SkipWithError("load failed");
        return;
    }
    // A whole loop first (every frame decoded once; of a long GIF, its first
    // kWarmFrames), and at least a moment: what plays on is the steady
    // state. The first loop is timed on its own.
    const double firstCpu0 = ProcessorSeconds();
    const Clock::time_point first0 = Clock::now();
    double firstCpu = 0, firstWall = 0;
    {
        QEventLoop warm;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (firstWall == 0 && shown >= std::min<int>(viewer.GIFFrames(), kWarmFrames)) {
                firstCpu = ProcessorSeconds() - firstCpu0;
                firstWall = Seconds(first0);
            }
            if (firstWall > 0 && Seconds(first0) * 1000 >= kWarmMs) warm.quit();
        });
        poll.start(kPollMs);
        warm.exec();
    }
    shown = 0;
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const double cpu0 = ProcessorSeconds();
        const Clock::time_point t0 = Clock::now();
        QEventLoop loop;
        QTimer::singleShot(kPlayMs, &loop, &QEventLoop::quit);
        loop.exec();
        cpu += ProcessorSeconds() - cpu0;
        wall += Seconds(t0);
    }
    const std::size_t file = std::size_t(std::ifstream(path, std::ios::ate).tellg());
    state.counters["cpu_pct"] = 100.0 * cpu / wall;
    state.counters["first_loop_cpu_pct"] = firstWall > 0 ? 100.0 * firstCpu / firstWall : 0;
    state.counters["fps"] = double(shown) / wall;
    state.counters["held_MB"] = double(held) / 1e6;
    state.counters["keys_MB"] = double(viewer.KeyFrameBytes()) / 1e6;
    // What the viewer may hold: two buffers, the key frames' cap, the
    // decoded frames' cap and the file.
    state.counters["cap_MB"] = double(2 * std::size_t(viewer.DisplayBuffer().size()) +
                                      (a.control ? viewer.ViewerLimits().keyFrameBytes : 0) +
                                      viewer.ViewerLimits().document.residentBytes + file) /
                               1e6;
}

// The longest time the window's thread stays busy in one go while a viewer
// plays a GIF from its own timer, from just after the load through
// kBusyLoops loops (the first decodes every frame after the first), seen by
// the watchdog; the worst of the runs.
constexpr int kBusyLoops = 2;
constexpr int kBusyRuns = 3;
void PlayBusy(benchmark::State& state, PlayArgs a) {
    const std::string& path = a.file();
    double longest = 0;
    for (auto _ : state) {
        for (int run = 0; run < kBusyRuns; ++run) {
            ucGIFViewer viewer;
            viewer.SetUserControl(a.control);
            viewer.SetAutoPlay(true);
            viewer.resize(a.width, a.height);
            viewer.show();
            QEventLoop loop;
            int shown = 0, target = 0;
            QObject::connect(&viewer, &ucGIFViewer::GIFFrameRendered, [&](int16_t) {
                if (++shown >= target) loop.quit();
            });
            if (!viewer.LoadFromFile(path)) {
                state.SkipWithError("load failed");
                return;
            }
            target = kBusyLoops * viewer.GIFFrames();
            LoopWatchdog watchdog;
            watchdog.Start();
            loop.exec();
            watchdog.Stop();
            longest = std::max(longest, watchdog.LongestBusyMs());
        }
    }
    state.counters["longest_busy_ms"] = longest;
}

const bool registered = [] {
    benchmark::RegisterBenchmark("GifRefused/screen30000x30000/vantrel", RefusedVantrel)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("GifRefused/screen30000x30000/giflib_read", RefusedGiflib)
        ->Unit(benchmark::kMillisecond);
    for (const char* name : {"fullhd", "small"}) {
        benchmark::RegisterBenchmark((std::string("GifStep/") + name + "/vantrel").c_str(),
                                     StepVantrel, std::string(name), false)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((std::string("GifStep/") + name + "/vantrel_fullview").c_str(),
                                     StepVantrel, std::string(name), true)
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
    benchmark::RegisterBenchmark("GifBack/block1000x1080p/keyframes", BackStep, true)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime();
    benchmark::RegisterBenchmark("GifBack/block1000x1080p/from_frame1", BackStep, false)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime();
    benchmark::RegisterBenchmark("GifBack/block1000x1080p/fullview_painted", StepViewer, -1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("GifStep/block1000x1080p/fullview_painted", StepViewer, 1)
        ->Unit(benchmark::kMicrosecond);
    constexpr int kPreviewW = 640, kPreviewH = 360;
    const struct {
        const char* name;
        PlayArgs args;
    } plays[] = {
        {"GifPlayCpu/block1000x1080p/preview", {LongGif, kPreviewW, kPreviewH, false}},
        {"GifPlayCpu/block1000x1080p/preview_keyframes", {LongGif, kPreviewW, kPreviewH, true}},
        {"GifPlayCpu/block1000x1080p/fullview", {LongGif, kScreenW, kScreenH, true}},
        {"GifPlayCpu/fullhd40/preview", {FullHd40Gif, kPreviewW, kPreviewH, false}},
        {"GifPlayCpu/fullhd40/preview_keyframes", {FullHd40Gif, kPreviewW, kPreviewH, true}},
        {"GifPlayCpu/fullhd40/fullview", {FullHd40Gif, kScreenW, kScreenH, true}},
    };
    for (const auto& p : plays)
        benchmark::RegisterBenchmark(p.name, PlayCpu, p.args)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1)
            ->UseRealTime();
    benchmark::RegisterBenchmark("GifPlayBusy/fullhd40/preview", PlayBusy,
                                 PlayArgs{FullHd40Gif, kPreviewW, kPreviewH, false})
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->UseRealTime();
    return true;
}();

} // namespace
