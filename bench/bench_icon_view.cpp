// The large-icon view of the real main window (1280 x 880, off-screen) on a
// folder of 1,000 photos: from the View command until every cell on screen
// holds its thumbnail and is painted, with the thumbnail cache full and
// empty; and the longest the window's thread went without turning its
// event loop while the whole folder's thumbnails were made into an empty
// cache (what a user would feel as a stutter).
#include "app/fMain.h"
#include "app/mSetup.h"
#include "bench/BenchSupport.h"
#include "tests/WindowControls.h"

#include <FreeImage.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <filesystem>
#include <random>

namespace {

constexpr int kPhotos = 1000;
constexpr int kPhotoWidth = 800, kPhotoHeight = 600;
constexpr int kWindowWidth = 1280, kWindowHeight = 880;

double Ms(const QElapsedTimer& t) {
    constexpr double kNsPerMs = 1e6;
    return double(t.nsecsElapsed()) / kNsPerMs;
}

// A folder of photo-like JPEGs (smooth colours under grain), each a file of its own.
const std::string& Photos() {
    static const std::string dir = [] {
        const std::string d = ScratchFolder();
        FIBITMAP* b = FreeImage_Allocate(kPhotoWidth, kPhotoHeight, 24);
        std::mt19937 rng(11);
        for (int y = 0; y < kPhotoHeight; ++y) {
            BYTE* row = FreeImage_GetScanLine(b, y);
            for (int x = 0; x < kPhotoWidth; ++x, row += 3) {
                const unsigned grain = rng() & 15;
                row[FI_RGBA_RED] = BYTE((x * 255 / kPhotoWidth + grain) & 0xFF);
                row[FI_RGBA_GREEN] = BYTE((y * 255 / kPhotoHeight + grain) & 0xFF);
                row[FI_RGBA_BLUE] = BYTE(((x + y) / 8 + grain) & 0xFF);
            }
        }
        const std::string first = d + "/IMG_0000.jpg";
        FreeImage_Save(FIF_JPEG, b, first.c_str(), JPEG_QUALITYGOOD);
        FreeImage_Unload(b);
        for (int i = 1; i < kPhotos; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/IMG_%04d.jpg", i);
            std::filesystem::copy_file(first, d + name);
        }
        return d;
    }();
    return dir;
}

// The thumbnail cache the window uses: a folder of the run's own.
const std::string& Cache() {
    static const std::string dir = [] {
        const std::string d = ScratchFolder();
        qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(d));
        return d;
    }();
    return dir;
}

struct Window {
    BrowsingState browsing;
    SetupRecord setup = mSetup::Defaults();
    DecoderPool pool;
    std::unique_ptr<fMain> main;
    Window() {
        Cache();
        main = std::make_unique<fMain>(browsing, setup, pool);
        main->resize(kWindowWidth, kWindowHeight);
        main->show();
        browsing.sCurrentPath = Photos();
        main->nPathchange();
        while (main->Listing())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::processEvents();
    }
    // Every cell on screen holds its thumbnail.
    bool ScreenDone() {
        FileListView* list = Control<FileListView>(main.get(), "lvFiles");
        ThumbnailScheduler* s = main->IconThumbnails()->Scheduler();
        const auto [first, last] = list->ShownIconRows();
        if (!s || last < first) return false;
        for (int row = first; row <= last; ++row)
            if (s->Thumbnail(row).isNull()) return false;
        return true;
    }
    void WaitFor(const std::function<bool()>& done) {
        while (!done())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
};

void ClearCache() {
    std::error_code ec;
    std::filesystem::remove_all(Cache() + "/thumbnails", ec);
}

void FirstScreen(benchmark::State& state, bool cacheFull) {
    Window w;
    if (cacheFull) { // filled once, by the view itself
        w.main->ViewSwitch();
        w.WaitFor([&] { return w.ScreenDone(); });
        w.main->ViewSwitch();
    }
    int shown = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (!cacheFull) ClearCache();
        state.ResumeTiming();
        w.main->ViewSwitch(); // to the large icons
        w.WaitFor([&] { return w.ScreenDone(); });
        Control<FileListView>(w.main.get(), "lvFiles")
            ->IconView()
            ->viewport()
            ->repaint(); // painted with them
        state.PauseTiming();
        const auto [first, last] = Control<FileListView>(w.main.get(), "lvFiles")->ShownIconRows();
        shown = last - first + 1;
        w.main->ViewSwitch(); // back, letting them go
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["cells_on_screen"] = shown;
}

// The whole folder into an empty cache, while a 2 ms timer on the window's
// thread notes the longest wait between its ticks.
void WindowStall(benchmark::State& state) {
    Window w;
    double longest = 0, total = 0;
    int ticks = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ClearCache();
        bool handled = false;
        state.ResumeTiming();
        w.main->ViewSwitch();
        ThumbnailScheduler* s = w.main->IconThumbnails()->Scheduler();
        const QMetaObject::Connection done =
            QObject::connect(s, &ThumbnailScheduler::AllHandled, [&](quint64) { handled = true; });
        QElapsedTimer since;
        since.start();
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            longest = std::max(longest, Ms(since));
            total += Ms(since);
            ++ticks;
            since.restart();
        });
        tick.start(2);
        w.WaitFor([&] { return handled; });
        tick.stop();
        QObject::disconnect(done);
        state.PauseTiming();
        w.main->ViewSwitch();
        state.ResumeTiming();
    }
    state.counters["longest_tick_gap_ms"] = longest;
    state.counters["mean_tick_gap_ms"] = ticks ? total / ticks : 0;
}

int Register() {
    for (const bool full : {true, false})
        benchmark::RegisterBenchmark(full ? "IconView/1000photos/first_screen/cache_full/vantrel"
                                          : "IconView/1000photos/first_screen/cache_empty/vantrel",
                                     FirstScreen, full)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(full ? 20 : 5);
    benchmark::RegisterBenchmark("IconView/1000photos/whole_folder_window_thread/vantrel",
                                 WindowStall)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(1);
    return 0;
}

const int registered = Register();

} // namespace
