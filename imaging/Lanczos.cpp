#include "imaging/Lanczos.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <new>
#include <vector>

namespace Lanczos {

namespace {

constexpr double kLobes = 3;
constexpr int kWeightBits = 14;
constexpr int32_t kOne = 1 << kWeightBits, kHalf = kOne / 2;
constexpr int kChannels = 4;
constexpr double kPi = 3.14159265358979323846;

double Sinc(double x) {
    if (x == 0) return 1;
    x *= kPi;
    return std::sin(x) / x;
}

double Filter(double x) {
    x = std::fabs(x);
    return x < kLobes ? Sinc(x) * Sinc(x / kLobes) : 0;
}

// The source pixels each target pixel of a line reads, and their weights.
struct Taps {
    std::vector<int> first, count;
    std::vector<int16_t> weights; // `widest` a target pixel
    int widest = 0;
};

// FreeImage's taps: each target pixel's centre mapped back to the source,
// the filter widened by the reduction, weights normalised to 1; here
// rounded to 14 bits.
Taps TapsFor(int fromSize, int toSize) {
    const double scale = double(toSize) / double(fromSize);
    const double width = scale < 1 ? kLobes / scale : kLobes;
    const double filterScale = scale < 1 ? scale : 1;
    const double offset = 0.5 / scale;
    Taps t;
    t.widest = 2 * int(std::ceil(width)) + 1;
    t.first.resize(std::size_t(toSize));
    t.count.resize(std::size_t(toSize));
    t.weights.assign(std::size_t(toSize) * std::size_t(t.widest), 0);
    std::vector<double> w(std::size_t(t.widest));
    for (int u = 0; u < toSize; ++u) {
        const double centre = double(u) / scale + offset;
        const int left = std::max(0, int(centre - width + 0.5));
        const int right = std::min(int(centre + width + 0.5), fromSize);
        const int n = std::min(right - left, t.widest);
        double total = 0;
        for (int i = 0; i < n; ++i) {
            w[std::size_t(i)] =
                filterScale * Filter(filterScale * (double(left + i) + 0.5 - centre));
            total += w[std::size_t(i)];
        }
        int16_t* out = &t.weights[std::size_t(u) * std::size_t(t.widest)];
        for (int i = 0; i < n; ++i)
            out[i] = int16_t(std::lround((total > 0 ? w[std::size_t(i)] / total : 0) * kOne));
        t.first[std::size_t(u)] = left;
        t.count[std::size_t(u)] = std::max(n, 0);
    }
    return t;
}

inline uint8_t Clamp(int32_t sum) {
    return uint8_t(std::clamp((sum + kHalf) >> kWeightBits, 0, 255));
}

} // namespace

bool Resample(const uint8_t* const* from, int fromWidth, int fromHeight, uint8_t* const* to,
              int toWidth, int toHeight) {
    if (fromWidth <= 0 || fromHeight <= 0 || toWidth <= 0 || toHeight <= 0) return false;
    try {
        const Taps down = TapsFor(fromHeight, toHeight);
        const Taps across = TapsFor(fromWidth, toWidth);
        // Down first, whole rows at a time (the loop the compiler vectorises),
        // into `toHeight` rows of the source's width.
        const std::size_t rowBytes = std::size_t(fromWidth) * kChannels;
        std::vector<uint8_t> between(rowBytes * std::size_t(toHeight));
        std::vector<int32_t> sums(rowBytes);
        for (int y = 0; y < toHeight; ++y) {
            std::fill(sums.begin(), sums.end(), 0);
            const int16_t* w = &down.weights[std::size_t(y) * std::size_t(down.widest)];
            for (int i = 0; i < down.count[std::size_t(y)]; ++i) {
                const uint8_t* row = from[down.first[std::size_t(y)] + i];
                const int32_t weight = w[i];
                for (std::size_t k = 0; k < rowBytes; ++k)
                    sums[k] += weight * row[k];
            }
            uint8_t* out = &between[std::size_t(y) * rowBytes];
            for (std::size_t k = 0; k < rowBytes; ++k)
                out[k] = Clamp(sums[k]);
        }
        // Then across each of those rows.
        for (int y = 0; y < toHeight; ++y) {
            const uint8_t* in = &between[std::size_t(y) * rowBytes];
            uint8_t* out = to[y];
            for (int x = 0; x < toWidth; ++x) {
                const int16_t* w = &across.weights[std::size_t(x) * std::size_t(across.widest)];
                const uint8_t* p = in + std::size_t(across.first[std::size_t(x)]) * kChannels;
                int32_t s[kChannels] = {};
                for (int i = 0; i < across.count[std::size_t(x)]; ++i, p += kChannels)
                    for (int c = 0; c < kChannels; ++c)
                        s[c] += w[i] * p[c];
                for (int c = 0; c < kChannels; ++c)
                    out[std::size_t(x) * kChannels + std::size_t(c)] = Clamp(s[c]);
            }
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

} // namespace Lanczos
