// A pixel with alpha laid over the colour under it (0x00RRGGBB), rounded.
// Both still-image readers compose transparent pictures onto the load
// surface's background this way.
#pragma once

#include <cstdint>

inline uint32_t AlphaOver(uint32_t under, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    const auto rgb = [](unsigned r8, unsigned g8, unsigned b8) {
        return (uint32_t(r8) << 16) | (uint32_t(g8) << 8) | b8;
    };
    if (a == 255) return rgb(r, g, b);
    const auto mix = [a](unsigned top, unsigned bottom) {
        return (top * a + bottom * (255u - a) + 127u) / 255u;
    };
    return rgb(mix(r, (under >> 16) & 0xFF), mix(g, (under >> 8) & 0xFF), mix(b, under & 0xFF));
}
