#include "platform/InputEvents.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace InputEvents {

MouseArgs FromMouse(const QMouseEvent* e) {
    MouseArgs a;
    // A press or release names its own button; a move names those held.
    const Qt::MouseButtons buttons =
        e->type() == QEvent::MouseMove ? e->buttons() : Qt::MouseButtons(e->button());
    if (buttons & Qt::LeftButton) a.button |= 1;
    if (buttons & Qt::RightButton) a.button |= 2;
    if (buttons & Qt::MiddleButton) a.button |= 4;
    const Qt::KeyboardModifiers m = e->modifiers();
    if (m & Qt::ShiftModifier) a.shift |= 1;
    if (m & Qt::ControlModifier) a.shift |= 2;
    if (m & Qt::AltModifier) a.shift |= 4;
    a.x = float(e->position().x());
    a.y = float(e->position().y());
    return a;
}

bool KeyAscii(const QKeyEvent* e, int16_t& KeyAscii) {
    switch (e->key()) {
    case Qt::Key_Escape:
        KeyAscii = kKeyEscape;
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        KeyAscii = kKeyEnter;
        return true;
    case Qt::Key_Backspace:
        KeyAscii = 8;
        return true;
    case Qt::Key_Tab:
        KeyAscii = 9;
        return true;
    default:
        break;
    }
    const QString text = e->text();
    if (text.size() != 1 || text[0].unicode() >= 256 || text[0].unicode() == 0) return false;
    KeyAscii = int16_t(text[0].unicode());
    return true;
}

} // namespace InputEvents
