// Mouse and key events in the terms the controls raise them to their hosts:
// the button and shift masks and position of a mouse event, and the character
// code (KeyAscii) of a key press.
#pragma once

#include <cstdint>

class QMouseEvent;
class QKeyEvent;

namespace InputEvents {

// Buttons: 1 left, 2 right, 4 middle. Shift: 1 Shift, 2 Ctrl, 4 Alt.
struct MouseArgs {
    int16_t button = 0;
    int16_t shift = 0;
    float x = 0;
    float y = 0;
};
MouseArgs FromMouse(const QMouseEvent* e);

// The character code of a key press (Esc 27, Enter 13, Backspace 8, Tab 9,
// printable characters below 256); false for keys that type no character.
bool KeyAscii(const QKeyEvent* e, int16_t& KeyAscii);

constexpr int16_t kKeyEnter = 13;
constexpr int16_t kKeyEscape = 27;

} // namespace InputEvents
