// What the benchmarks share: scratch folders removed at the end of the run,
// and registering a measurement next to its reference under one name.
#pragma once

#include <benchmark/benchmark.h>

#include <string>

// A new empty folder under /tmp, removed by RemoveScratchFolders.
std::string ScratchFolder();
void RemoveScratchFolders();

// Registers `<base>/vantrel` and `<base>/<referenceName>`, in milliseconds of
// wall-clock time (work done in a helper process counts).
template <typename Ours, typename Reference, typename Arg>
void RegisterPair(const std::string& base, Ours ours, const char* referenceName,
                  Reference reference, Arg arg) {
    benchmark::RegisterBenchmark((base + "/vantrel").c_str(), ours, arg)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark((base + "/" + referenceName).c_str(), reference, arg)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}
