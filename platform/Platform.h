// The small layer that stands in for the desktop services the program needs:
// event pumping, the busy pointer, system colours and twips.
#pragma once

#include <QColor>
#include <cstdint>

namespace Platform {

constexpr int kTwipsPerPixel = 15;

// Lets pending user-interface events run once.
void PumpEvents();
// Blocks until at least one event arrived and runs what is pending.
void WaitForEvents();

// The application-wide busy pointer, nested like the platform's override cursor.
void SetBusyPointer();
void RestorePointer();

// A colour value (red + 256 x green + 65536 x blue) or a system colour code
// (0x80000000 + index) as a plain colour, system colours from the palette.
QColor TranslateColor(uint32_t value);

inline int TwipsToPixels(int twips) {
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

} // namespace Platform
