// Small helpers shared by the GIF tests.
#pragma once

#include "gif/cGIF.h"

#include <vector>

// An 8-bit surface's indices, rows top to bottom, `Width` bytes a row.
inline std::vector<uint8_t> IndicesOf(const cDIB& dib) {
    std::vector<uint8_t> out;
    if (!dib.lpBits()) return out;
    for (int32_t r = 0; r < dib.Height(); ++r) {
        const uint8_t* row = dib.lpBits() + std::size_t(r) * std::size_t(dib.BytesPerScanline());
        out.insert(out.end(), row, row + dib.Width());
    }
    return out;
}

// The frame's palette indices (its surface taken for writing: held for good).
inline std::vector<uint8_t> FrameIndices(cGIF& gif, int n) {
    return IndicesOf(gif.FrameDIBXOR(n));
}

// The same read through the reading surface, so that the frame is not held
// for good and the cap on decoded frames applies.
inline std::vector<uint8_t> ReadIndices(const cGIF& gif, int n) {
    return IndicesOf(gif.FrameDIBXOR(n));
}

inline bool MaskBit(cDIB& mask, int x, int y) {
    const uint8_t* row = mask.lpBits() + std::size_t(y) * std::size_t(mask.BytesPerScanline());
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
}
