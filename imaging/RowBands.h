// Work over the rows (or columns) of a picture split into bands, a band on
// a thread per processor. Standard library only.
#pragma once

#include <algorithm>
#include <sched.h>
#include <system_error>
#include <thread>
#include <utility>
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

// `work(first, end)` for bands of [0, count) that together cover it, at
// least `least` a band, one a processor; the last band on the calling
// thread. A thread that cannot be had leaves its band to the caller. `work`
// must not throw.
template <class Work> void InBands(int count, int least, Work work) {
    const int bands = std::clamp(count / std::max(1, least), 1, Processors());
    std::vector<std::thread> helpers;
    std::vector<std::pair<int, int>> left;
    for (int b = 0; b + 1 < bands; ++b) {
        const int first = int(int64_t(count) * b / bands);
        const int end = int(int64_t(count) * (b + 1) / bands);
        try {
            helpers.emplace_back(work, first, end);
        } catch (const std::system_error&) {
            left.emplace_back(first, end);
        }
    }
    work(int(int64_t(count) * (bands - 1) / bands), count);
    for (const auto& [first, end] : left)
        work(first, end);
    for (std::thread& t : helpers)
        t.join();
}

} // namespace RowBands
