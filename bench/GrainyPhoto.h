// A photo-like picture for the benchmarks: smooth shapes under a photo's grain,
// which compresses and decodes as a camera's picture does. `variant` shifts the
// shapes and colours, so that the photos of one folder differ. The caller
// unloads the bitmap.
#pragma once

#include <FreeImage.h>
#include <random>

inline FIBITMAP* GrainyPhoto(int width, int height, unsigned seed, int variant = 0) {
    FIBITMAP* b = FreeImage_Allocate(width, height, 24);
    std::mt19937 rng(seed);
    for (int y = 0; y < height; ++y) {
        BYTE* row = FreeImage_GetScanLine(b, y);
        for (int x = 0; x < width; ++x, row += 3) {
            const unsigned grain = rng() & 15;
            row[FI_RGBA_RED] = BYTE((x / (24 + variant) + grain) & 0xFF);
            row[FI_RGBA_GREEN] = BYTE((y / 16 + grain) & 0xFF);
            row[FI_RGBA_BLUE] = BYTE(((x + y) / 40 + variant * 60 + grain) & 0xFF);
        }
    }
    return b;
}
