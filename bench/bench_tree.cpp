// Expanding a folder of 10,000 subfolders in the real folder tree (shown
// off-screen): from the expand until every child is in the tree and laid
// out, next to the floor, a bare readdir of the same folder, in the same
// run; and the longest the window's thread went without turning its event
// loop meanwhile (`longest_busy_ms`, from the loop's watchdog).
#include "bench/BenchSupport.h"
#include "bench/LoopWatchdog.h"
#include "browse/FolderTreeModel.h"
#include "browse/mDirTreeview.h"

#include <QCoreApplication>
#include <QTreeView>
#include <benchmark/benchmark.h>

#include <dirent.h>
#include <string>
#include <sys/stat.h>

namespace {

constexpr int kSubfolders = 10000;
constexpr int kHostWidth = 300, kHostHeight = 700;

// A folder holding `kSubfolders` folders, made once per run.
const std::string& Parent() {
    static const std::string dir = [] {
        const std::string d = ScratchFolder() + "/many";
        ::mkdir(d.c_str(), 0755);
        for (int i = 0; i < kSubfolders; ++i)
            ::mkdir((d + "/Folder " + std::to_string(i * 7919 % kSubfolders)).c_str(), 0755);
        return d;
    }();
    return dir;
}

void ExpandVantrel(benchmark::State& state, int) {
    const std::string& dir = Parent();
    LoopWatchdog watchdog;
    double longest = 0, longestCpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QWidget host;
        host.resize(kHostWidth, kHostHeight);
        host.show();
        BrowsingState browsing;
        browsing.TreeHost = &host;
        mDirTreeview::AdoptTree(browsing, dir);
        QTreeView* tree = browsing.Tree;
        auto* model = static_cast<FolderTreeModel*>(tree->model());
        const QModelIndex folder = model->IndexOf(dir);
        bool loaded = false;
        QObject::connect(model, &FolderTreeModel::childrenLoaded, tree,
                         [&](const QModelIndex& parent) { loaded |= parent == folder; });
        QCoreApplication::processEvents(); // the tree shown and laid out before
        watchdog.Start();
        state.ResumeTiming();

        tree->expand(folder);
        while (!loaded)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        // The view lays out what came last at its next turn.
        QCoreApplication::processEvents();

        state.PauseTiming();
        watchdog.Stop();
        longest = std::max(longest, watchdog.LongestBusyMs());
        longestCpu = std::max(longestCpu, watchdog.LongestBusyCpuMs());
        if (model->rowCount(folder) != kSubfolders) state.SkipWithError("children missing");
        mDirTreeview::CloseFolderTree(browsing);
        QCoreApplication::processEvents(); // the tree deleted
        state.ResumeTiming();
    }
    state.counters["longest_busy_ms"] = longest;
    state.counters["longest_busy_cpu_ms"] = longestCpu;
    state.SetItemsProcessed(state.iterations() * kSubfolders);
}

// The floor: the folder's entries read, nothing else.
void ExpandFloor(benchmark::State& state, int) {
    const std::string& dir = Parent();
    for (auto _ : state) {
        DIR* d = ::opendir(dir.c_str());
        int folders = 0;
        while (const dirent* e = ::readdir(d))
            folders += e->d_type == DT_DIR;
        ::closedir(d);
        benchmark::DoNotOptimize(folders);
    }
    state.SetItemsProcessed(state.iterations() * kSubfolders);
}

int Register() {
    RegisterPair("TreeExpand/" + std::to_string(kSubfolders), ExpandVantrel, "readdir", ExpandFloor,
                 0);
    return 0;
}
const int registered = Register();

} // namespace
