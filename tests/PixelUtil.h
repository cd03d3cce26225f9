// Reading and writing single pixels of 32-bit surfaces in tests.
#pragma once

#include "imaging/cDIB.h"

#include <algorithm>
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
