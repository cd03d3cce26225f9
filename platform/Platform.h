// The small layer that stands in for the desktop services the program needs:
// event pumping, the busy pointer, system colours, 3D edges and twips.
#pragma once

#include "platform/Twips.h"

#include <QColor>
#include <QRect>
#include <cstdint>

class QPainter;

namespace Platform {

using ::kTwipsPerPixel;

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

// The same as a plain colour value (red + 256 x green + 65536 x blue), for
// handing to surfaces, which know no palette.
uint32_t ColorRef(uint32_t value);

inline int TwipsToPixels(int twips) {
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

// 3D edges in the desktop's classic look: each border is a one-pixel line,
// lit on the top and left and shaded on the bottom and right (or the other
// way round when sunken). The outer border is drawn on the rectangle's edge,
// the inner one a pixel inside it.
constexpr int BDR_RAISEDOUTER = 0x1;
constexpr int BDR_SUNKENOUTER = 0x2;
constexpr int BDR_RAISEDINNER = 0x4;
constexpr int BDR_SUNKENINNER = 0x8;
constexpr int EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER; // 5
constexpr int EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER; // 10
constexpr int EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER; // 6
constexpr int EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER;   // 9
constexpr int BF_LEFT = 0x1;
constexpr int BF_TOP = 0x2;
constexpr int BF_RIGHT = 0x4;
constexpr int BF_BOTTOM = 0x8;
constexpr int BF_RECT = BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM; // 15

// Draws `edge` on the sides of `rect` named by `flags`. False when the edge
// has no border bits.
bool DrawEdge(QPainter& painter, const QRect& rect, int edge, int flags);

// The edge of a control's border style 1 to 8 (raised outer, raised inner,
// sunken outer, sunken inner, raised, sunken, etched, bump); 0 for none or
// any other value.
int EdgeForStyle(int style);

} // namespace Platform

namespace Platform {

// A rectangle given in twips, in whole pixels.
inline QRect TwipsRect(int left, int top, int width, int height) {
    return QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                 TwipsToPixels(height));
}

} // namespace Platform
