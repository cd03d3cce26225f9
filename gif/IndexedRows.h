// Rows of a decoded frame's 8-bit colour indices turned into 32-bit pixels
// through a lookup table of the frame's colours, and the 1-bit transparency
// mask made from them. Every step of an animation draws a whole frame this
// way, so the rows run eight pixels at a time in vector registers where the
// processor has them (chosen once, at the first call); the results are the
// same, bit for bit, on every processor. Standard library only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace IndexedRows {

// out[i] = lut[in[i]] for i below n.
void Copy(uint32_t* out, const uint8_t* in, std::size_t n, const uint32_t* lut);

// out[i] = ((out[i] if the mask bit is 1, else 0) | lut[in[i]]) & 0xFFFFFF
// for i below n: where the mask is 1 the target keeps its pixel. `bits` is
// the mask's row from pixel 0, most significant bit first; n need not be a
// multiple of 8.
void Masked(uint32_t* out, const uint8_t* in, const uint8_t* bits, std::size_t n,
            const uint32_t* lut);

// The mask of a row: bit i (most significant first) is 1 where in[i] ==
// index, for i below n. The bits of the last byte past n keep their values.
void MaskOf(uint8_t* bits, const uint8_t* in, std::size_t n, uint8_t index);

// Whether the vector rows run here (for the benchmarks' report).
bool Vectorised();

} // namespace IndexedRows
