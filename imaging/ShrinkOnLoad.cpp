#include "imaging/ShrinkOnLoad.h"

#include "imaging/mFit.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace ShrinkOnLoad {

namespace {

// The largest factor that leaves a side of `side` pixels at least `need`
// pixels long (each side is rounded up when shrunk).
int64_t LargestKeeping(int64_t side, int64_t need) {
    if (need <= 1) return std::numeric_limits<int64_t>::max(); // any factor leaves a pixel
    return std::max<int64_t>(1, (side - 1) / (need - 1));
}

} // namespace

int Factor(int width, int height, int boxWidth, int boxHeight, Reduction way, bool turned) {
    if (width <= 0 || height <= 0 || boxWidth <= 0 || boxHeight <= 0) return 1;
    if (turned) std::swap(width, height); // now upright, as the box sees it
    const mFit::Placement fit = mFit::FitInBox(width, height, boxWidth, boxHeight, 0, false);
    if (fit.width <= 0 || fit.height <= 0) return 1;
    const int64_t margin = std::max(1, way.margin);
    const int64_t needWidth = std::min<int64_t>(width, fit.width * margin);
    const int64_t needHeight = std::min<int64_t>(height, fit.height * margin);
    // Past the longest side, a larger factor changes nothing.
    const int64_t largest =
        std::min({LargestKeeping(width, needWidth), LargestKeeping(height, needHeight),
                  int64_t(std::max(width, height))});
    if (way.factors.empty()) return int(std::max<int64_t>(1, largest));
    int chosen = 1;
    for (const int f : way.factors)
        if (f >= 1 && f <= largest) chosen = std::max(chosen, f);
    return chosen;
}

} // namespace ShrinkOnLoad
