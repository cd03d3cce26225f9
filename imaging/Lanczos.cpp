#include "imaging/Lanczos.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    std::vector<int16_t> weights; // `stride` a target pixel, zero past its count
    int widest = 0, stride = 0;   // an even stride: taps are read in pairs
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
    t.stride = (t.widest + 2) & ~1;
    t.first.resize(std::size_t(toSize));
    t.count.resize(std::size_t(toSize));
    t.weights.assign(std::size_t(toSize) * std::size_t(t.stride), 0);
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
        int16_t* out = &t.weights[std::size_t(u) * std::size_t(t.stride)];
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

// sums[k] += wa * a[k] + wb * b[k] over a row of `n` bytes.
inline void AddRows(int32_t* sums, const uint8_t* a, int16_t wa, const uint8_t* b, int16_t wb,
                    std::size_t n) {
    std::size_t k = 0;
#if defined(__SSE2__)
    // Eight bytes of both rows a step, each byte paired with the one below
    // it for one multiply-add.
    const __m128i zero = _mm_setzero_si128();
    const __m128i weights =
        _mm_set1_epi32(int32_t(uint32_t(uint16_t(wa)) | (uint32_t(uint16_t(wb)) << 16)));
    for (; k + 8 <= n; k += 8) {
        const __m128i x =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a + k)), zero);
        const __m128i y =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + k)), zero);
        auto* s = reinterpret_cast<__m128i*>(sums + k);
        _mm_storeu_si128(s, _mm_add_epi32(_mm_loadu_si128(s),
                                          _mm_madd_epi16(_mm_unpacklo_epi16(x, y), weights)));
        _mm_storeu_si128(s + 1, _mm_add_epi32(_mm_loadu_si128(s + 1),
                                              _mm_madd_epi16(_mm_unpackhi_epi16(x, y), weights)));
    }
#endif
    for (; k < n; ++k)
        sums[k] += wa * a[k] + wb * b[k];
}

// One target pixel of a row from its `count` source pixels at `p` and their
// weights (a zero weight past the count).
inline void Across(const uint8_t* p, const int16_t* w, int count, uint8_t* out) {
#if defined(__SSE2__)
    // Two source pixels a step, their channels paired for one multiply-add.
    const __m128i zero = _mm_setzero_si128();
    __m128i sum = _mm_set1_epi32(kHalf);
    for (int i = 0; i < count; i += 2, p += 2 * kChannels) {
        const __m128i two =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
        const __m128i paired = _mm_unpacklo_epi16(two, _mm_srli_si128(two, 8));
        const __m128i weights = _mm_set1_epi32(
            int32_t(uint32_t(uint16_t(w[i])) | (uint32_t(uint16_t(w[i + 1])) << 16)));
        sum = _mm_add_epi32(sum, _mm_madd_epi16(paired, weights));
    }
    const __m128i shifted = _mm_srai_epi32(sum, kWeightBits);
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(shifted, shifted), zero);
    const int32_t pixel = _mm_cvtsi128_si32(bytes);
    std::memcpy(out, &pixel, kChannels);
#else
    int32_t s[kChannels] = {};
    for (int i = 0; i < count; ++i, p += kChannels)
        for (int c = 0; c < kChannels; ++c)
            s[c] += w[i] * p[c];
    for (int c = 0; c < kChannels; ++c)
        out[c] = Clamp(s[c]);
#endif
}

} // namespace

bool Resample(const uint8_t* const* from, int fromWidth, int fromHeight, uint8_t* const* to,
              int toWidth, int toHeight) {
    if (fromWidth <= 0 || fromHeight <= 0 || toWidth <= 0 || toHeight <= 0) return false;
    try {
        const Taps down = TapsFor(fromHeight, toHeight);
        const Taps across = TapsFor(fromWidth, toWidth);
        // Down first, whole rows at a time, two source rows a step,
        // into `toHeight` rows of the source's width.
        const std::size_t rowBytes = std::size_t(fromWidth) * kChannels;
        // A pixel more at the end: taps are read in pairs.
        std::vector<uint8_t> between(rowBytes * std::size_t(toHeight) + kChannels);
        std::vector<int32_t> sums(rowBytes);
        for (int y = 0; y < toHeight; ++y) {
            std::fill(sums.begin(), sums.end(), 0);
            const int16_t* w = &down.weights[std::size_t(y) * std::size_t(down.stride)];
            const int first = down.first[std::size_t(y)], count = down.count[std::size_t(y)];
            for (int i = 0; i < count; i += 2) {
                const bool pair = i + 1 < count;
                AddRows(sums.data(), from[first + i], w[i], from[first + (pair ? i + 1 : i)],
                        pair ? w[i + 1] : int16_t(0), rowBytes);
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
                const int16_t* w = &across.weights[std::size_t(x) * std::size_t(across.stride)];
                const uint8_t* p = in + std::size_t(across.first[std::size_t(x)]) * kChannels;
                Across(p, w, across.count[std::size_t(x)], out + std::size_t(x) * kChannels);
            }
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

} // namespace Lanczos
