// Reading and writing single pixels of 32-bit surfaces in tests.
#pragma once

#include "imaging/cDIB.h"

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
