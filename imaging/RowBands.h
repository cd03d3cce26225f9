// Work over the rows (or columns) of a picture split into bands, a band on
// a thread per processor. Standard library only.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <sched.h>
#include <system_error>
#include <thread>
#include <vector>

namespace RowBands {

// The processors this process may run on, asked of the scheduler (which the
// confined helper may do; it may not read /sys).
inline int Processors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) != 0) return 1;
    return std::max(1, CPU_COUNT(&set));
}

// `work(first, end)` for bands of [0, count) of `least` each (the last may
// be longer) that together cover it, on a thread per processor. Each thread,
// the calling one too, takes the next band not yet taken, so a thread the
// machine's other work holds back leaves its share to the rest. A thread that
// cannot be had leaves its bands to the others. `work` must not throw.
template <class Work> void InBands(int count, int least, Work work) {
    const int bands = std::max(1, count / std::max(1, least));
    std::atomic<int> next{0};
    const auto take = [&] {
        for (int b = next++; b < bands; b = next++)
            work(int(int64_t(count) * b / bands), int(int64_t(count) * (b + 1) / bands));
    };
    std::vector<std::thread> helpers;
    for (int t = 1; t < std::min(bands, Processors()); ++t) {
        try {
            helpers.emplace_back(take);
        } catch (const std::system_error&) {
            break;
        }
    }
    take();
    for (std::thread& t : helpers)
        t.join();
}

} // namespace RowBands
