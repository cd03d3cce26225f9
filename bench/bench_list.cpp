// Listing big folders: the listing on the worker (the window's way) and
// ListFiles (the probe's) into an off-screen list, next to the floor, the
// bare readdir + stat of the same folder, in the same run; for the listing
// on the worker into a list on show, also the longest the window's thread
// went without turning its event loop (`longest_busy_ms`). Sorting the
// rows of a big folder by a column, next to a plain sort of the names by
// their bytes.
#include "bench/BenchSupport.h"
#include "bench/LoopWatchdog.h"
#include "browse/FileListView.h"
#include "browse/RowOrder.h"
#include "browse/cFileView.h"

#include <QCoreApplication>
#include <QWindow>
#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <numeric>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::map<int, std::string> made; // files -> folder
constexpr int kSortedFiles = 100000;
constexpr int kListWidth = 900, kListHeight = 700;

// A folder of `files` files with image names, made once per run.
const std::string& Folder(int files) {
    auto it = made.find(files);
    if (it != made.end()) return it->second;
    const std::string dir = ScratchFolder();
    static const char* const ext[] = {".jpg", ".png", ".gif", ".bmp", ".txt"};
    for (int i = 0; i < files; ++i) {
        const std::string name = dir + "/IMG_" + std::to_string(i * 7919 % files) + ext[i % 5];
        ::close(::open(name.c_str(), O_CREAT | O_WRONLY, 0644));
    }
    return made.emplace(files, dir).first->second;
}

void ListVantrel(benchmark::State& state, int files) {
    const std::string& dir = Folder(files);
    FileListView list;
    cFileView view;
    view.SetListView(&list);
    view.SetPattern("*.*");
    for (auto _ : state)
        benchmark::DoNotOptimize(view.ListFiles(dir, true));
    state.SetItemsProcessed(state.iterations() * files);
}

// From the request until every row is in the list and the first selected;
// the list is on show, as in the window, and the watchdog times the loop.
void ListOnWorker(benchmark::State& state, int files) {
    const std::string& dir = Folder(files);
    FileListView list;
    list.resize(kListWidth, kListHeight);
    list.show();
    // The window was on show and painted before the listing, as in the program.
    while (!list.windowHandle() || !list.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    list.repaint();
    cFileView view;
    view.SetListView(&list);
    view.SetPattern("*.*");
    bool listed = false;
    view.Listed = [&listed](bool) { listed = true; };
    LoopWatchdog watchdog;
    double longest = 0, longestCpu = 0;
    for (auto _ : state) {
        listed = false;
        watchdog.Start();
        view.StartListing(dir, true);
        while (!listed)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::processEvents(); // the view lays out and paints the last rows
        watchdog.Stop();
        longest = std::max(longest, watchdog.LongestBusyMs());
        longestCpu = std::max(longestCpu, watchdog.LongestBusyCpuMs());
    }
    view.StopWatching();
    state.counters["longest_busy_ms"] = longest;
    state.counters["longest_busy_cpu_ms"] = longestCpu;
    state.SetItemsProcessed(state.iterations() * files);
}

void ListFloor(benchmark::State& state, int files) {
    const std::string& dir = Folder(files);
    for (auto _ : state) {
        DIR* d = ::opendir(dir.c_str());
        int64_t total = 0;
        while (const dirent* e = ::readdir(d)) {
            struct stat st {};
            if (::fstatat(::dirfd(d), e->d_name, &st, 0) == 0) total += st.st_size;
        }
        ::closedir(d);
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * files);
}

// The rows of a camera's folder of `files` pictures, in the listing's order:
// mixed-case names with numbers, sizes of a few megabytes, a picture every
// few seconds (a burst now and then shares its second).
std::vector<FileRow> CameraRows(int files) {
    constexpr int64_t kStart = 1700000000;
    constexpr uint64_t kMegabyte = 1 << 20;
    constexpr uint32_t kPrime = 7919, kSpread = 2654435761u;
    std::vector<FileRow> rows;
    for (int i = 0; i < files; ++i) {
        const uint32_t n = uint32_t(i) * kPrime % uint32_t(files);
        FileRow row;
        row.name = (n % 3 == 0 ? "img_" : "IMG_") + std::to_string(n) + (n % 2 ? ".JPG" : ".jpg");
        row.size = 2 * kMegabyte + (n * kSpread) % (4 * kMegabyte);
        row.mtime = kStart + int64_t(n) * 3 - int64_t(n % 7 == 0);
        row.typeIndex = 0;
        rows.push_back(std::move(row));
    }
    std::sort(rows.begin(), rows.end(),
              [](const FileRow& a, const FileRow& b) { return NameLess(a.name, b.name); });
    return rows;
}

void SortVantrel(benchmark::State& state, RowSort sort) {
    const std::vector<FileRow> rows = CameraRows(kSortedFiles);
    const NaturalOrder names("en_US");
    for (auto _ : state)
        benchmark::DoNotOptimize(SortedOrder(rows, sort, false, names));
    state.SetItemsProcessed(state.iterations() * kSortedFiles);
}

// The reference: the same rows put in the order of their names' bytes.
void SortBytes(benchmark::State& state, RowSort) {
    const std::vector<FileRow> rows = CameraRows(kSortedFiles);
    for (auto _ : state) {
        std::vector<uint32_t> order(rows.size());
        std::iota(order.begin(), order.end(), 0u);
        std::sort(order.begin(), order.end(),
                  [&](uint32_t a, uint32_t b) { return rows[a].name < rows[b].name; });
        benchmark::DoNotOptimize(order);
    }
    state.SetItemsProcessed(state.iterations() * kSortedFiles);
}

// What a click on the header costs: the model sorted and its rows moved,
// from the listing's order each time.
void SortList(benchmark::State& state, int column) {
    FileListModel model;
    model.SetRows(CameraRows(kSortedFiles), true);
    for (auto _ : state) {
        state.PauseTiming();
        model.Sort(-1, Qt::AscendingOrder);
        state.ResumeTiming();
        model.Sort(column, Qt::AscendingOrder);
    }
    state.SetItemsProcessed(state.iterations() * kSortedFiles);
}

int Register() {
    for (const int files : {10000, 100000}) {
        RegisterPair("Listing/" + std::to_string(files), ListOnWorker, "floor", ListFloor, files);
        RegisterPair("ListFiles/" + std::to_string(files), ListVantrel, "floor", ListFloor, files);
    }
    const std::string rows = std::to_string(kSortedFiles);
    const std::pair<const char*, RowSort> sorts[] = {
        {"name", RowSort::Name}, {"size", RowSort::Size}, {"date", RowSort::Date}};
    for (const auto& [name, sort] : sorts)
        RegisterPair("SortRows/" + std::string(name) + "/" + rows, SortVantrel, "bytes", SortBytes,
                     sort);
    for (const int column : {FileListModel::ColName, FileListModel::ColDate})
        benchmark::RegisterBenchmark(
            ("SortList/column" + std::to_string(column) + "/" + rows).c_str(), SortList, column)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    return 0;
}
const int registered = Register();

} // namespace
