// The main window changing folders between two folders of 100,000 files: the
// first screen of rows, from the click until they are painted; the whole
// change (list, count, clear the preview) and the resident memory after 20
// changes, next to the resident memory after the first (with argument 1 the
// allocator hands freed memory back after each change, which shows the
// memory still in use rather than what the allocator keeps for reuse).
// A listed folder that changes: 10,000 files copied in, from the end of the
// copy until the list shows them all, next to the copy itself; and what
// watching a folder costs while nothing changes in it: the event loop's
// wake-ups and the processor time of two quiet seconds.
#include "app/fMain.h"
#include "app/mSetup.h"
#include "bench/BenchSupport.h"
#include "tests/WindowControls.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <fstream>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int kFiles = 100000;
constexpr int kBurstFiles = 10000;
constexpr int kQuietMs = 2000;

void MakeFiles(const std::string& dir, const std::string& prefix, int count) {
    for (int i = 0; i < count; ++i) {
        const std::string name = dir + "/" + prefix + std::to_string(i) + (i % 2 ? ".jpg" : ".png");
        ::close(::open(name.c_str(), O_CREAT | O_WRONLY, 0644));
    }
}

std::string BigFolder() {
    const std::string dir = ScratchFolder();
    MakeFiles(dir, "IMG_", kFiles);
    return dir;
}

// Resident set size in megabytes, from /proc.
double ResidentMB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            double kb = 0;
            status >> kb;
            return kb / 1024.0;
        }
        status.ignore(1 << 10, '\n');
    }
    return 0;
}

double Ms(const QElapsedTimer& t) {
    constexpr double kNsPerMs = 1e6;
    return double(t.nsecsElapsed()) / kNsPerMs;
}

// A main window shown, as the program has it.
struct Window {
    BrowsingState browsing;
    SetupRecord setup = mSetup::Defaults();
    DecoderPool pool;
    std::unique_ptr<fMain> main;
    Window() {
        main = std::make_unique<fMain>(browsing, setup, pool);
        main->resize(900, 600);
        main->show();
        QCoreApplication::processEvents();
    }
    void Change(const std::string& folder) {
        browsing.sCurrentPath = folder;
        main->nPathchange();
    }
    void WaitForListing() {
        while (main->Listing())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
};

void FolderChanges(benchmark::State& state) {
    const std::string a = BigFolder(), b = BigFolder();
    Window w;
    double afterFirst = 0;
    int changes = 0;
    for (auto _ : state) {
        w.Change(changes % 2 ? b : a);
        w.WaitForListing();
        QCoreApplication::processEvents();
        if (++changes == 1) afterFirst = ResidentMB();
        if (state.range(0)) malloc_trim(0);
    }
    state.counters["rss_after_first_MB"] = afterFirst;
    state.counters["rss_after_all_MB"] = ResidentMB();
    state.counters["changes"] = changes;
}

// From the click until the first rows of the new folder are painted.
void FirstScreen(benchmark::State& state) {
    const std::string a = BigFolder(), b = BigFolder();
    Window w;
    QAbstractItemView* view = Control<FileListView>(w.main.get(), "lvFiles")->ReportView();
    int changes = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        w.Change(changes++ % 2 ? b : a);
        while (Control<FileListView>(w.main.get(), "lvFiles")->Model()->rowCount() == 0)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        view->viewport()->repaint();
        state.SetIterationTime(Ms(clock) / 1000);
        w.WaitForListing(); // the rest, not counted
    }
}

// 10,000 files made in the folder shown: from the last one closed until
// the list has them all.
void BurstShown(benchmark::State& state) {
    Window w;
    int bursts = 0;
    double copyMs = 0;
    for (auto _ : state) {
        const std::string dir = ScratchFolder();
        w.Change(dir);
        w.WaitForListing();
        QElapsedTimer copy;
        copy.start();
        MakeFiles(dir, "burst" + std::to_string(bursts++) + "_", kBurstFiles);
        copyMs += Ms(copy);
        QElapsedTimer shown;
        shown.start();
        while (Control<FileListView>(w.main.get(), "lvFiles")->Model()->rowCount() < kBurstFiles)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        state.SetIterationTime(Ms(shown) / 1000);
    }
    state.counters["burst_made_in_ms"] = copyMs / bursts;
}

// Two quiet seconds of a window watching its folder: how often the event
// loop woke and the processor time it took, next to two quiet seconds of the
// same window before it listed (and watched) anything.
void QuietFolder(benchmark::State& state) {
    const std::string dir = ScratchFolder();
    MakeFiles(dir, "p", 100);
    Window w;
    int wakeups = 0;
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake,
                     [&wakeups] { ++wakeups; });
    const auto cpu = [] {
        rusage u{};
        ::getrusage(RUSAGE_SELF, &u);
        constexpr double kMsPerS = 1000, kUsPerMs = 1000;
        return (double(u.ru_utime.tv_sec) + double(u.ru_stime.tv_sec)) * kMsPerS +
               double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / kUsPerMs;
    };
    // The wake-ups and milliseconds of two quiet seconds.
    const auto quiet = [&] {
        QEventLoop loop;
        QTimer::singleShot(kQuietMs, &loop, &QEventLoop::quit);
        wakeups = 0;
        const double before = cpu();
        loop.exec();
        return std::make_pair(wakeups, cpu() - before);
    };
    quiet(); // the window settles
    const auto [idleWakeups, idleMs] = quiet();
    w.Change(dir);
    w.WaitForListing();
    quiet();
    for (auto _ : state) {
        const auto [watchedWakeups, watchedMs] = quiet();
        state.counters["wakeups_watching"] = watchedWakeups;
        state.counters["cpu_ms_watching"] = watchedMs;
    }
    state.counters["wakeups_before"] = idleWakeups;
    state.counters["cpu_ms_before"] = idleMs;
}

const bool registered = [] {
    benchmark::RegisterBenchmark("FolderChange/100000/vantrel", FolderChanges)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(20)
        ->Arg(0)
        ->Arg(1);
    benchmark::RegisterBenchmark("FirstScreen/100000/vantrel", FirstScreen)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(10);
    benchmark::RegisterBenchmark("BurstShown/10000/vantrel", BurstShown)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(3);
    benchmark::RegisterBenchmark("QuietFolder/2s/vantrel", QuietFolder)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    return true;
}();

} // namespace
