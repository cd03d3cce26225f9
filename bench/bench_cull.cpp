// Culling a folder in the real main window (off-screen): Delete held on the
// list at a key repeat of 30 a second, 100 presses, each sending the row's
// photo to the trash (a trash of the run's own, through XDG_DATA_HOME) while
// the list moves on to the next row and previews it. Measured: the longest
// time the window's thread is busy in one go (LoopWatchdog), and the time
// from the first key until every file is in the trash with its .trashinfo.
// Beside it: Down held on the same list at the same pace (the window moving
// on to the next row and previewing it, nothing trashed), and the same files
// trashed by the core alone, without a window.
#include "app/FileActions.h"
#include "app/fMain.h"
#include "app/mSetup.h"
#include "bench/BenchSupport.h"
#include "bench/GrainyPhoto.h"
#include "bench/LoopWatchdog.h"

#include <FreeImage.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <filesystem>

namespace {

constexpr int kPhotos = 120, kPresses = 100, kDistinct = 4;
constexpr int kPhotoWidth = 2400, kPhotoHeight = 1600;
constexpr int kWindowWidth = 1280, kWindowHeight = 880;
constexpr int kKeyRepeatMs = 33;

// Four photo-like JPEGs, made once; each run copies them into a folder of its own.
const std::vector<std::string>& Sources() {
    static const std::vector<std::string> made = [] {
        const std::string d = ScratchFolder();
        std::vector<std::string> paths;
        for (int p = 0; p < kDistinct; ++p) {
            FIBITMAP* b = GrainyPhoto(kPhotoWidth, kPhotoHeight, unsigned(p + 7), p);
            paths.push_back(d + "/src" + std::to_string(p) + ".jpg.src");
            FreeImage_Save(FIF_JPEG, b, paths.back().c_str(), JPEG_QUALITYGOOD);
            FreeImage_Unload(b);
        }
        return paths;
    }();
    return made;
}

// A folder of kPhotos photos, and the trash beside it on the same file system.
struct Culling {
    std::string folder = ScratchFolder();
    std::string data = ScratchFolder();
    Culling() {
        for (int i = 0; i < kPhotos; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/IMG_%04d.jpg", i);
            std::filesystem::copy_file(Sources()[std::size_t(i % kDistinct)], folder + name);
        }
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(data));
        qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(ScratchFolder()));
    }
    // Files and .trashinfo files in the trash.
    std::pair<int, int> Trashed() const {
        const auto count = [](const std::string& dir, const char* ending) {
            int n = 0;
            std::error_code ec;
            for (const auto& e : std::filesystem::directory_iterator(dir, ec))
                n += e.path().string().ends_with(ending);
            return n;
        };
        return {count(data + "/Trash/files", ".jpg"), count(data + "/Trash/info", ".trashinfo")};
    }
};

void WaitFor(const std::function<bool()>& done) {
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// `key` held: Delete (to the trash) or Down (the reference, nothing trashed).
void HoldKey(benchmark::State& state, Qt::Key key) {
    const bool trash = key == Qt::Key_Delete;
    double longest = 0, longestCpu = 0, allTrashedMs = 0;
    int files = 0, infos = 0, rowsLeft = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Culling culling;
        BrowsingState browsing;
        SetupRecord setup = mSetup::Defaults();
        DecoderPool pool;
        auto main = std::make_unique<fMain>(browsing, setup, pool);
        main->resize(kWindowWidth, kWindowHeight);
        main->show();
        auto* list = main->findChild<FileListView*>();
        browsing.sCurrentPath = culling.folder;
        main->nPathchange();
        WaitFor([&] { return !main->Listing(); });
        list->CurrentView()->setFocus();
        list->SelectRow(0);
        main->ChooseRow(0);
        WaitFor([&] { return main->ReadAheadIdle(); });
        LoopWatchdog watchdog;
        state.ResumeTiming();

        watchdog.Start();
        QElapsedTimer clock;
        clock.start();
        int presses = 0;
        QTimer repeat;
        repeat.setTimerType(Qt::PreciseTimer);
        QObject::connect(&repeat, &QTimer::timeout, [&] {
            QTest::keyClick(list->CurrentView(), key);
            if (++presses == kPresses) repeat.stop();
        });
        repeat.start(kKeyRepeatMs);
        WaitFor([&] {
            return !repeat.isActive() && !main->FileRunner()->Busy() &&
                   (!trash || culling.Trashed() == std::pair(kPresses, kPresses));
        });
        allTrashedMs = double(clock.nsecsElapsed()) / 1e6;
        watchdog.Stop();
        longest = std::max(longest, watchdog.LongestBusyMs());
        longestCpu = std::max(longestCpu, watchdog.LongestBusyCpuMs());
        std::tie(files, infos) = culling.Trashed();
        rowsLeft = list->Model()->rowCount();

        state.PauseTiming();
        WaitFor([&] { return main->ReadAheadIdle(); });
        main.reset();
        state.ResumeTiming();
    }
    state.counters["longest_busy_ms"] = longest;
    state.counters["longest_busy_cpu_ms"] = longestCpu;
    state.counters["first_key_to_all_done_ms"] = allTrashedMs;
    state.counters["trashed_files"] = files;
    state.counters["trashinfo_files"] = infos;
    state.counters["rows_left"] = rowsLeft;
}

// The same 100 files to the trash by the core alone, one action each, as the
// window's worker runs them.
void CoreAlone(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        Culling culling;
        FileActions actions(nullptr);
        state.ResumeTiming();
        for (int i = 0; i < kPresses; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/IMG_%04d.jpg", i);
            benchmark::DoNotOptimize(actions.MoveToTrash({culling.folder + name}));
        }
        state.PauseTiming();
        if (culling.Trashed() != std::pair(kPresses, kPresses))
            state.SkipWithError("not every file is in the trash with its .trashinfo");
        state.ResumeTiming();
    }
}

const bool registered = [] {
    benchmark::RegisterBenchmark("Cull/Delete100KeyRepeat/vantrel", HoldKey, Qt::Key_Delete)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(2);
    benchmark::RegisterBenchmark("Cull/Delete100KeyRepeat/down_arrow_held", HoldKey, Qt::Key_Down)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(2);
    benchmark::RegisterBenchmark("Cull/Delete100KeyRepeat/core_alone", CoreAlone)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(2);
    return true;
}();

} // namespace
