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

// One pixel under a mask bit: the target's pixel, ORed with the colour,
// where `keep` is all ones (bit 1); the colour where it is zero; the top
// byte cleared either way.
inline uint32_t Under(uint32_t target, uint32_t colour, uint32_t keep) {
    return ((target & keep) | colour) & 0xFFFFFF;
}

// Bit i of a mask row (most significant bit of each byte first) as all
// ones (1) or zero.
inline uint32_t KeepAt(const uint8_t* bits, std::size_t i) {
    return 0u - ((uint32_t(bits[i / 8]) >> (7 - i % 8)) & 1u);
}

// out[i] = Under(out[i], lut[in[i]], KeepAt(bits, firstBit + i)) for i
// below n: where the mask is 1 the target keeps its pixel. `bits` is the
// mask's row from its pixel 0; in[0] lies at its pixel `firstBit`.
void Masked(uint32_t* out, const uint8_t* in, const uint8_t* bits, std::size_t firstBit,
            std::size_t n, const uint32_t* lut);

// The mask of a row: bit i (most significant first) is 1 where in[i] ==
// index, for i below n. The bits of the last byte past n keep their values.
void MaskOf(uint8_t* bits, const uint8_t* in, std::size_t n, uint8_t index);

// Whether the vector rows run here (for the benchmarks' report).
bool Vectorised();

} // namespace IndexedRows
