// Resampling 32-bit pixels with the Lanczos filter (three lobes), in integer
// arithmetic: the taps and weights FreeImage's Lanczos resampling uses, each
// weight in 14 bits, two passes (across, then down) with 8-bit pixels
// between them. Its pixels are FreeImage's within a level of rounding, in a
// fraction of its time (no floating point per pixel, rows the compiler
// vectorises). Standard library only.
#pragma once

#include <cstdint>

namespace Lanczos {

// The picture whose rows are `from[0 .. fromHeight)` (each `fromWidth`
// pixels of four bytes) resampled onto the rows `to[0 .. toHeight)`, each
// `toWidth` pixels. All four bytes of a pixel are resampled alike. False,
// with nothing written, for a size of 0 or when memory runs out.
bool Resample(const uint8_t* const* from, int fromWidth, int fromHeight, uint8_t* const* to,
              int toWidth, int toHeight);

} // namespace Lanczos
