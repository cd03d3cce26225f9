// Reading and writing single pixels of 32-bit surfaces in tests.
#pragma once

#include "imaging/cDIB.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

inline uint32_t Pixel32(const cDIB& d, int x, int y) {
    uint32_t v;
    std::memcpy(
        &v, d.lpBits() + std::size_t(y) * std::size_t(d.BytesPerScanline()) + 4 * std::size_t(x),
        4);
    return v & 0xFFFFFF;
}

inline void SetPixel32(cDIB& d, int x, int y, uint32_t v) {
    std::memcpy(d.lpBits() + std::size_t(y) * std::size_t(d.BytesPerScanline()) +
                    4 * std::size_t(x),
                &v, 4);
}

// The largest difference of one channel between two 0x00RRGGBB colours.
inline int MaxDifference(uint32_t a, uint32_t b) {
    int d = 0;
    for (int shift : {0, 8, 16})
        d = std::max(d, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
    return d;
}

// The peak signal-to-noise ratio of two 32-bit surfaces of the same size, in
// decibels over their red, green and blue (99 for equal pictures).
inline double Psnr(const cDIB& a, const cDIB& b) {
    double sum = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            const uint32_t p = Pixel32(a, x, y), q = Pixel32(b, x, y);
            for (int shift : {0, 8, 16}) {
                const double d = double((p >> shift) & 0xFF) - double((q >> shift) & 0xFF);
                sum += d * d;
            }
        }
    const double mse = sum / (3.0 * a.Width() * a.Height());
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}
