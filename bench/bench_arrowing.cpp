// Arrowing through a folder of 24 MP photos in the real main window
// (off-screen): holding Down at a key repeat of 30 a second (how many decoder
// helpers start, the longest time the window's thread is busy in one go, and
// how long the last picture takes after the last key), and a key to a row
// nothing has read ahead (Page Down, End, Home) until its picture is in the
// pane, beside the plain FreeImage road (load whole, Lanczos into the same
// box) and libjpeg-turbo's own djpeg at the same scale, in the same run.
#include "app/fMain.h"
#include "app/mSetup.h"
#include "bench/BenchSupport.h"
#include "bench/GrainyPhoto.h"
#include "bench/LoopWatchdog.h"
#include "imaging/ThumbnailMaker.h"
#include "imaging/mFit.h"

#include <FreeImage.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

constexpr int kPhotos = 40, kDistinct = 4;
constexpr int kPhotoWidth = 6000, kPhotoHeight = 4000;
constexpr int kWindowWidth = 1280, kWindowHeight = 880;
constexpr int kKeyRepeatMs = 33;

double Ms(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e6;
}

// 40 photo-like JPEGs of 24 MP (four pictures, each file a copy of its own).
const std::string& Photos() {
    static const std::string dir = [] {
        const std::string d = ScratchFolder();
        std::vector<std::string> made;
        for (int p = 0; p < kDistinct; ++p) {
            FIBITMAP* b = GrainyPhoto(kPhotoWidth, kPhotoHeight, unsigned(p + 1), p);
            made.push_back(d + "/src" + std::to_string(p) + ".jpg.src");
            FreeImage_Save(FIF_JPEG, b, made.back().c_str(), JPEG_QUALITYGOOD);
            FreeImage_Unload(b);
        }
        for (int i = 0; i < kPhotos; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/DSC_%04d.jpg", i);
            std::filesystem::copy_file(made[std::size_t(i % kDistinct)], d + name);
        }
        return d;
    }();
    return dir;
}

// A thumbnail cache of its own and empty: nothing stands in for a picture.
void EmptyThumbnailCache() {
    static const std::string empty = ScratchFolder();
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(empty));
}

struct Window {
    BrowsingState browsing;
    SetupRecord setup = mSetup::Defaults();
    DecoderPool pool;
    std::unique_ptr<fMain> main;
    FileListView* list = nullptr;
    explicit Window(const std::string& folder = Photos()) {
        main = std::make_unique<fMain>(browsing, setup, pool);
        main->resize(kWindowWidth, kWindowHeight);
        main->show();
        list = main->findChild<FileListView*>();
        browsing.sCurrentPath = folder;
        main->nPathchange();
        WaitFor([&] { return !main->Listing(); });
        QCoreApplication::processEvents();
    }
    // Blocks for events until `done`: the loop never spins beside the work measured.
    static void WaitFor(const std::function<bool()>& done) {
        while (!done())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    void Key(int key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(list->CurrentView(), &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QCoreApplication::sendEvent(list->CurrentView(), &release);
    }
    // The picture of the row selected now is in the pane.
    bool Shown() const {
        const cPreviewCore& p = main->Preview();
        const int row = list->SelectedRow();
        return row >= 0 && p.Name() == list->Model()->Row(row).name &&
               p.state() == cPreviewCore::State::Shown;
    }
    void Start() {
        list->CurrentView()->setFocus();
        list->SelectRow(0);
        main->ChooseRow(0);
        WaitFor([&] { return Shown() && main->ReadAheadIdle(); });
    }
    // The pane's box, as the window decodes for it.
    MFreeImage_2::Box Pane() const {
        auto* pane = main->findChild<PicturePane*>();
        return {pane->Box().Width(), pane->Box().Height()};
    }
};

// Down held through the folder: a key every 33 ms from the first row to the
// last, then the last picture.
void HoldDown(benchmark::State& state) {
    EmptyThumbnailCache();
    Window w;
    double longest = 0, longestCpu = 0, lastKeyToPicture = 0;
    uint64_t starts = 0;
    for (auto _ : state) {
        state.PauseTiming();
        w.Start();
        const uint64_t before = w.pool.HelperStarts();
        LoopWatchdog watchdog;
        state.ResumeTiming();
        watchdog.Start();
        int keys = 0;
        QElapsedTimer sinceLast;
        QTimer repeat;
        repeat.setTimerType(Qt::PreciseTimer);
        QObject::connect(&repeat, &QTimer::timeout, [&] {
            if (++keys >= kPhotos) return repeat.stop();
            w.Key(Qt::Key_Down);
            sinceLast.start();
        });
        repeat.start(kKeyRepeatMs);
        Window::WaitFor([&] { return !repeat.isActive() && w.Shown(); });
        lastKeyToPicture = Ms(sinceLast);
        watchdog.Stop();
        longest = std::max(longest, watchdog.LongestBusyMs());
        longestCpu = std::max(longestCpu, watchdog.LongestBusyCpuMs());
        starts = w.pool.HelperStarts() - before;
        state.PauseTiming();
        Window::WaitFor([&] { return w.main->ReadAheadIdle(); });
        state.ResumeTiming();
    }
    state.counters["helper_starts"] = double(starts);
    state.counters["longest_busy_ms"] = longest;
    state.counters["longest_busy_cpu_ms"] = longestCpu;
    state.counters["last_key_to_picture_ms"] = lastKeyToPicture;
}

// Page Down, End and Home in turn, each to a row nothing has read ahead,
// from the key until the row's picture is in the pane.
void KeyToPicture(benchmark::State& state) {
    EmptyThumbnailCache();
    Window w;
    w.Start();
    const int keys[] = {Qt::Key_PageDown, Qt::Key_End, Qt::Key_Home};
    std::size_t next = 0;
    double longest = 0, longestCpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Window::WaitFor([&] { return w.main->ReadAheadIdle(); });
        LoopWatchdog watchdog;
        watchdog.Start();
        state.ResumeTiming();
        w.Key(keys[next++ % std::size(keys)]);
        Window::WaitFor([&] { return w.Shown(); });
        state.PauseTiming();
        watchdog.Stop();
        longest = std::max(longest, watchdog.LongestBusyMs());
        longestCpu = std::max(longestCpu, watchdog.LongestBusyCpuMs());
        state.ResumeTiming();
    }
    state.counters["longest_busy_ms"] = longest;
    state.counters["longest_busy_cpu_ms"] = longestCpu;
}

// The same keys through a folder whose photos' xx-large thumbnails the
// desktop's cache holds: from the key until a picture of the row is in the
// pane (the thumbnail, standing in or as the picture itself).
void KeyToThumbnail(benchmark::State& state) {
    const std::string cache = ScratchFolder();
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(cache));
    const std::string folder = ScratchFolder();
    ThumbnailMaker maker{ThumbnailCache()};
    for (int i = 0; i < kPhotos; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/DSC_%04d.jpg", i);
        std::filesystem::copy_file(Photos() + name, folder + name);
        maker.Make(folder + name, ThumbnailSize::XXLarge);
    }
    Window w(folder);
    w.Start();
    const int keys[] = {Qt::Key_PageDown, Qt::Key_End, Qt::Key_Home};
    std::size_t next = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Window::WaitFor([&] { return w.main->ReadAheadIdle(); });
        state.ResumeTiming();
        w.Key(keys[next++ % std::size(keys)]);
        Window::WaitFor([&] { return w.Shown() || w.main->Preview().StandInShown(); });
    }
    qunsetenv("XDG_CACHE_HOME");
}

// The plain road: the whole photo loaded, then Lanczos into its fit in the same pane.
void FreeImageRoad(benchmark::State& state) {
    const std::string file = Photos() + "/DSC_0001.jpg";
    MFreeImage_2::Box pane;
    {
        Window w;
        pane = w.Pane();
    }
    for (auto _ : state) {
        FIBITMAP* whole = FreeImage_Load(FIF_JPEG, file.c_str(), JPEG_DEFAULT);
        const mFit::Placement fit =
            mFit::FitInBox(kPhotoWidth, kPhotoHeight, pane.width, pane.height, 0, true);
        FIBITMAP* shown = FreeImage_Rescale(whole, fit.width, fit.height, FILTER_LANCZOS3);
        benchmark::DoNotOptimize(shown);
        FreeImage_Unload(shown);
        FreeImage_Unload(whole);
    }
}

// libjpeg-turbo's djpeg at the scale the preview decodes at: the largest
// 1/N whose picture still covers the photo's fit in the pane.
void Djpeg(benchmark::State& state) {
    const std::string file = Photos() + "/DSC_0001.jpg";
    MFreeImage_2::Box pane;
    {
        Window w;
        pane = w.Pane();
    }
    const mFit::Placement fit =
        mFit::FitInBox(kPhotoWidth, kPhotoHeight, pane.width, pane.height, 0, true);
    int n = 8;
    while (n > 1 && (kPhotoWidth / n < fit.width || kPhotoHeight / n < fit.height))
        n /= 2;
    const std::string scale = "1/" + std::to_string(n);
    std::string program = "djpeg";
    std::vector<std::string> args = {program, "-scale", scale, "-outfile", "/dev/null", file};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto _ : state) {
        pid_t pid = -1;
        if (::posix_spawnp(&pid, "djpeg", nullptr, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("djpeg cannot be run (Debian package libjpeg-turbo-progs)");
            break;
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    state.counters["scale_denominator"] = n;
}

const bool registered = [] {
    benchmark::RegisterBenchmark("Arrowing/HoldDown24MP/vantrel", HoldDown)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(2);
    benchmark::RegisterBenchmark("Arrowing/KeyToPicture24MP/vantrel", KeyToPicture)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(12);
    benchmark::RegisterBenchmark("Arrowing/KeyToThumbnailCached24MP/vantrel", KeyToThumbnail)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(12);
    benchmark::RegisterBenchmark("Arrowing/KeyToPicture24MP/freeimage_whole_lanczos", FreeImageRoad)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(3);
    benchmark::RegisterBenchmark("Arrowing/KeyToPicture24MP/djpeg_scaled", Djpeg)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(12);
    return true;
}();

} // namespace
