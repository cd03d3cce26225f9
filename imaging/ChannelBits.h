// Colour channels stored in fewer than 8 bits, widened to 8 by repeating
// their top bits, so that the largest value becomes 255.
#pragma once

#include <cstdint>

inline uint8_t Expand5(unsigned v) {
    return uint8_t((v << 3) | (v >> 2));
}
inline uint8_t Expand6(unsigned v) {
    return uint8_t((v << 2) | (v >> 4));
}
