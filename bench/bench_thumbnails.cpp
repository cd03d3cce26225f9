// Thumbnails: a folder of 24 MP photos (JPEG, then PNG) made into large
// thumbnails through the program's road (the thumbnails' helper decoding at
// the box, the PNG written into an empty cache) next to a plain FreeImage
// load and rescale of each file in the same run, in thumbnails a second; the
// time until the first screen (40 rows) of a folder of 1,000 photos shows its
// thumbnails, with the cache empty and full, next to the plain loop for those
// 40; the whole folder's thumbnails from a full cache, with the memory
// the scheduler then holds; and the time from asking for a chosen 24 MP
// photo's cached xx-large thumbnail to its picture fitted to the pane, next
// to FreeImage loading the same PNG.
#include "bench/BenchSupport.h"
#include "imaging/ThumbnailMaker.h"
#include "imaging/ThumbnailPeek.h"
#include "imaging/ThumbnailScheduler.h"
#include "imaging/mScaleImage.h"

#include <FreeImage.h>
#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <filesystem>
#include <poll.h>
#include <random>
#include <sys/resource.h>

namespace {

constexpr int kPhotoWidth = 6000, kPhotoHeight = 4000; // 24 MP
constexpr int kJpegCount = 10, kPngCount = 4;
constexpr int kSmallWidth = 800, kSmallHeight = 600;
constexpr int kFolderRows = 1000, kScreenRows = 40;
constexpr ThumbnailSize kSize = ThumbnailSize::Large;

// A photo-like picture: smooth shapes under a little grain.
FIBITMAP* Photo(int w, int h) {
    FIBITMAP* b = FreeImage_Allocate(w, h, 24);
    std::mt19937 rng(7);
    for (int y = 0; y < h; ++y) {
        BYTE* row = FreeImage_GetScanLine(b, y);
        for (int x = 0; x < w; ++x, row += 3) {
            const unsigned grain = rng() & 7;
            row[FI_RGBA_RED] = BYTE((x * 255 / w + grain) & 0xFF);
            row[FI_RGBA_GREEN] = BYTE((y * 255 / h + grain) & 0xFF);
            row[FI_RGBA_BLUE] = BYTE(((x + y) / 32 + grain) & 0xFF);
        }
    }
    return b;
}

// `count` copies of one photo saved as `format`, each a file of its own.
std::vector<std::string> Folder(int count, int w, int h, FREE_IMAGE_FORMAT format) {
    const std::string dir = ScratchFolder();
    const char* extension = format == FIF_JPEG ? ".jpg" : ".png";
    const std::string first = dir + "/photo0000" + extension;
    FIBITMAP* b = Photo(w, h);
    FreeImage_Save(format, b, first.c_str(),
                   format == FIF_JPEG ? JPEG_QUALITYGOOD : PNG_Z_BEST_SPEED);
    FreeImage_Unload(b);
    std::vector<std::string> files{first};
    for (int i = 1; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/photo%04d%s", i, extension);
        std::filesystem::copy_file(first, dir + name);
        files.push_back(dir + name);
    }
    return files;
}

const std::vector<std::string>& Photos(FREE_IMAGE_FORMAT format) {
    static const std::vector<std::string> jpeg =
        Folder(kJpegCount, kPhotoWidth, kPhotoHeight, FIF_JPEG);
    static const std::vector<std::string> png =
        Folder(kPngCount, kPhotoWidth, kPhotoHeight, FIF_PNG);
    return format == FIF_JPEG ? jpeg : png;
}

const std::vector<std::string>& SmallPhotos() {
    static const std::vector<std::string> files =
        Folder(kFolderRows, kSmallWidth, kSmallHeight, FIF_JPEG);
    return files;
}

void ClearFolder(const std::string& dir) {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

// The program's road into an empty cache, one thumbnail after another.
void MakeVantrel(benchmark::State& state, FREE_IMAGE_FORMAT format) {
    const std::vector<std::string>& files = Photos(format);
    const std::string root = ScratchFolder() + "/thumbnails";
    ThumbnailMaker maker{ThumbnailCache(root)};
    maker.Make(SmallPhotos().front(), kSize); // the helper started beforehand, as in a session
    for (auto _ : state) {
        state.PauseTiming();
        ClearFolder(root);
        state.ResumeTiming();
        for (const std::string& file : files)
            if (maker.Make(file, kSize).outcome != ThumbnailOutcome::Made)
                state.SkipWithError("a photo gave no thumbnail");
    }
    state.counters["thumbnails/s"] = benchmark::Counter(
        double(state.iterations()) * double(files.size()), benchmark::Counter::kIsRate);
}

// What a program without scaled decoding or a helper does: load, rescale.
FIBITMAP* PlainThumbnail(const std::string& file, FREE_IMAGE_FORMAT format) {
    FIBITMAP* b = FreeImage_Load(format, file.c_str(), 0);
    if (!b) return nullptr;
    const int side = ThumbnailCache::Side(kSize);
    const auto fit = mScaleImage::FitInBox(int(FreeImage_GetWidth(b)), int(FreeImage_GetHeight(b)),
                                           side, side, 0, true);
    FIBITMAP* r = FreeImage_Rescale(b, fit.width, fit.height, FILTER_BILINEAR);
    FreeImage_Unload(b);
    return r;
}

void MakeFreeImage(benchmark::State& state, FREE_IMAGE_FORMAT format) {
    const std::vector<std::string>& files = Photos(format);
    for (auto _ : state)
        for (const std::string& file : files) {
            FIBITMAP* r = PlainThumbnail(file, format);
            benchmark::DoNotOptimize(r);
            FreeImage_Unload(r);
        }
    state.counters["thumbnails/s"] = benchmark::Counter(
        double(state.iterations()) * double(files.size()), benchmark::Counter::kIsRate);
}

// CPU time of every thread of this process so far: next to the wall-clock
// time, it shows what a round costs when other programs take the cores.
double ProcessCpuMs() {
    rusage used{};
    ::getrusage(RUSAGE_SELF, &used);
    const auto ms = [](const timeval& t) {
        return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3;
    };
    return ms(used.ru_utime) + ms(used.ru_stime);
}

// Runs the event loop until `done`.
template <typename Done> void Spin(Done done) {
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// The same folder through the road the large-icon view takes: the
// scheduler, whose writer puts each PNG in the cache while the helper
// decodes the next picture; the cache emptied before each round.
void MakeScheduled(benchmark::State& state, FREE_IMAGE_FORMAT format) {
    const std::vector<std::string>& files = Photos(format);
    const std::string root = ScratchFolder() + "/thumbnails";
    ThumbnailScheduler scheduler{ThumbnailCache(root)};
    int made = 0;
    QObject::connect(&scheduler, &ThumbnailScheduler::ThumbnailReady,
                     [&](quint64, int) { ++made; });
    bool handled = false;
    QObject::connect(&scheduler, &ThumbnailScheduler::AllHandled, [&](quint64) { handled = true; });
    scheduler.SetRows({SmallPhotos().front()}, kSize); // the helper started beforehand
    scheduler.SetVisible(0, 0);
    Spin([&] { return handled; });
    for (auto _ : state) {
        state.PauseTiming();
        scheduler.Clear();
        ClearFolder(root);
        made = 0;
        handled = false;
        state.ResumeTiming();
        scheduler.SetRows(files, kSize);
        scheduler.SetVisible(0, int(files.size()) - 1);
        Spin([&] { return handled; });
    }
    if (made != int(files.size())) state.SkipWithError("a photo gave no thumbnail");
    state.counters["thumbnails/s"] = benchmark::Counter(
        double(state.iterations()) * double(files.size()), benchmark::Counter::kIsRate);
}

// From the folder's rows given to the scheduler until the 40 rows on screen
// hold their thumbnails; the cache emptied before each round, or filled once.
struct ScreenCase {
    bool cacheFull;
    ThumbnailSize size;
};

void FirstScreen(benchmark::State& state, ScreenCase c) {
    const std::vector<std::string>& files = SmallPhotos();
    const bool cacheFull = c.cacheFull;
    const std::string root = ScratchFolder() + "/thumbnails";
    ThumbnailScheduler scheduler{ThumbnailCache(root)};
    int shown = 0;
    bool handled = false;
    QObject::connect(&scheduler, &ThumbnailScheduler::ThumbnailReady,
                     [&](quint64, int row) { shown += row < kScreenRows; });
    QObject::connect(&scheduler, &ThumbnailScheduler::AllHandled, [&](quint64) { handled = true; });
    if (cacheFull) {
        scheduler.SetRows(files, c.size);
        scheduler.SetVisible(0, kScreenRows - 1);
        Spin([&] { return handled; });
    }
    double cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        scheduler.Clear(); // nothing held from the round before
        if (!cacheFull) ClearFolder(root);
        shown = 0;
        const double before = ProcessCpuMs();
        state.ResumeTiming();
        scheduler.SetRows(files, c.size);
        scheduler.SetVisible(0, kScreenRows - 1);
        Spin([&] { return shown == kScreenRows; });
        cpu += ProcessCpuMs() - before;
    }
    // Every thread of this process; the helper's decoding, in another, is not counted.
    state.counters["process_cpu_ms"] = cpu / double(state.iterations());
}

void FirstScreenFreeImage(benchmark::State& state, ScreenCase) {
    const std::vector<std::string>& files = SmallPhotos();
    for (auto _ : state)
        for (int row = 0; row < kScreenRows; ++row) {
            FIBITMAP* r = PlainThumbnail(files[std::size_t(row)], FIF_JPEG);
            benchmark::DoNotOptimize(r);
            FreeImage_Unload(r);
        }
}

// Every row of the folder from a full cache, and the memory then held.
void WholeFolderFromCache(benchmark::State& state) {
    const std::vector<std::string>& files = SmallPhotos();
    const std::string root = ScratchFolder() + "/thumbnails";
    ThumbnailScheduler scheduler{ThumbnailCache(root)};
    bool handled = false;
    QObject::connect(&scheduler, &ThumbnailScheduler::AllHandled, [&](quint64) { handled = true; });
    scheduler.SetRows(files, kSize);
    scheduler.SetVisible(0, kScreenRows - 1);
    Spin([&] { return handled; });
    for (auto _ : state) {
        state.PauseTiming();
        scheduler.Clear();
        handled = false;
        state.ResumeTiming();
        scheduler.SetRows(files, kSize);
        scheduler.SetVisible(0, kScreenRows - 1);
        Spin([&] { return handled; });
    }
    state.counters["held_MB"] = double(scheduler.HeldBytes()) / (1 << 20);
    state.counters["cap_MB"] = double(ThumbnailScheduler::kHeldBytesCap) / (1 << 20);
}

// A 24 MP photo with its xx-large thumbnail made in a cache of its own.
struct Peeked {
    std::string photo, root, thumbnail;
};

const Peeked& PeekedPhoto() {
    static const Peeked peeked = [] {
        Peeked p{Photos(FIF_JPEG).front(), ScratchFolder() + "/thumbnails", {}};
        ThumbnailMaker maker{ThumbnailCache(p.root)};
        p.thumbnail = maker.Make(p.photo, ThumbnailSize::XXLarge).file;
        return p;
    }();
    return peeked;
}

// From the question to the answer taken: the worker reads the thumbnails,
// decodes the chosen one and fits it to the pane. A pane the thumbnail
// covers gets the exact resampling (it is the picture); a larger one, the
// quick one (shown until the decode).
void PeekVantrel(benchmark::State& state, MFreeImage_2::Box pane) {
    const Peeked& p = PeekedPhoto();
    ThumbnailPeek peek{ThumbnailCache(p.root)};
    bool picture = false;
    const double cpuBefore = ProcessCpuMs();
    for (auto _ : state) {
        const ThumbnailPeek::Ticket ticket = peek.Peek(p.photo, pane, 0);
        pollfd ready{peek.NotifyFd(), POLLIN, 0};
        for (bool answered = false; !answered && ::poll(&ready, 1, -1) == 1;)
            for (const ThumbnailPeek::Answer& a : peek.TakeAnswers()) {
                answered = a.ticket == ticket;
                picture = a.IsThePicture();
                if (!a.found || a.size != ThumbnailSize::XXLarge)
                    state.SkipWithError("the xx-large thumbnail was not found");
            }
    }
    state.counters["is_the_picture"] = picture;
    // The work on every thread (the peek's own among them) for each peek.
    state.counters["cpu_ms"] = (ProcessCpuMs() - cpuBefore) / double(state.iterations());
}

void PeekFreeImage(benchmark::State& state, MFreeImage_2::Box) {
    const Peeked& p = PeekedPhoto();
    const double cpuBefore = ProcessCpuMs();
    for (auto _ : state) {
        FIBITMAP* b = FreeImage_Load(FIF_PNG, p.thumbnail.c_str(), 0);
        if (!b) state.SkipWithError("the thumbnail did not load");
        benchmark::DoNotOptimize(b);
        FreeImage_Unload(b);
    }
    state.counters["cpu_ms"] = (ProcessCpuMs() - cpuBefore) / double(state.iterations());
}

int Register() {
    RegisterPair("Thumbnails/jpeg24MPx10", MakeVantrel, "freeimage_load_rescale", MakeFreeImage,
                 FIF_JPEG);
    RegisterPair("Thumbnails/png24MPx4", MakeVantrel, "freeimage_load_rescale", MakeFreeImage,
                 FIF_PNG);
    for (const FREE_IMAGE_FORMAT format : {FIF_JPEG, FIF_PNG})
        benchmark::RegisterBenchmark(format == FIF_JPEG ? "Thumbnails/jpeg24MPx10/vantrel_scheduler"
                                                        : "Thumbnails/png24MPx4/vantrel_scheduler",
                                     MakeScheduled, format)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    RegisterPair("ThumbnailsFirstScreen/1000photos/cache_empty/large", FirstScreen,
                 "freeimage_load_rescale", FirstScreenFreeImage, ScreenCase{false, kSize});
    for (const ThumbnailSize size : {ThumbnailSize::Normal, ThumbnailSize::Large})
        benchmark::RegisterBenchmark((std::string("ThumbnailsFirstScreen/1000photos/cache_full/") +
                                      ThumbnailCache::FolderName(size) + "/vantrel")
                                         .c_str(),
                                     FirstScreen, ScreenCase{true, size})
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    benchmark::RegisterBenchmark("ThumbnailsWholeFolder/1000photos/cache_full/vantrel",
                                 WholeFolderFromCache)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    RegisterPair("ThumbnailPeek/24MP_xxlarge_cached/pane960x640", PeekVantrel, "freeimage_load_png",
                 PeekFreeImage, MFreeImage_2::Box{960, 640});
    RegisterPair("ThumbnailPeek/24MP_xxlarge_cached/pane1600x1000", PeekVantrel,
                 "freeimage_load_png", PeekFreeImage, MFreeImage_2::Box{1600, 1000});
    return 0;
}

const int registered = Register();

} // namespace
