// The main window changing folders between two folders of 100,000 files: the
// time of one change (list, count, clear the preview) and the resident memory
// after 20 changes, next to the resident memory after the first. With argument
// 1 the allocator hands freed memory back after each change, which shows the
// memory still in use rather than what the allocator keeps for reuse.
#include "app/fMain.h"
#include "app/mSetup.h"
#include "bench/BenchSupport.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <fstream>
#include <malloc.h>
#include <unistd.h>

namespace {

constexpr int kFiles = 100000;

std::string BigFolder() {
    const std::string dir = ScratchFolder();
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = dir + "/IMG_" + std::to_string(i) + (i % 2 ? ".jpg" : ".png");
        ::close(::open(name.c_str(), O_CREAT | O_WRONLY, 0644));
    }
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

void FolderChanges(benchmark::State& state) {
    const std::string a = BigFolder(), b = BigFolder();
    Setup = mSetup::Defaults();
    BrowsingState browsing;
    fMain main(browsing);
    main.resize(900, 600);
    main.show();
    QCoreApplication::processEvents();
    double afterFirst = 0;
    int changes = 0;
    for (auto _ : state) {
        browsing.sCurrentPath = changes % 2 ? b : a;
        main.nPathchange();
        QCoreApplication::processEvents();
        if (++changes == 1) afterFirst = ResidentMB();
        if (state.range(0)) malloc_trim(0);
    }
    state.counters["rss_after_first_MB"] = afterFirst;
    state.counters["rss_after_all_MB"] = ResidentMB();
    state.counters["changes"] = changes;
}

const bool registered = [] {
    benchmark::RegisterBenchmark("FolderChange/100000/vantrel", FolderChanges)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(20)
        ->Arg(0)
        ->Arg(1);
    return true;
}();

} // namespace
