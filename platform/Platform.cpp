#include "platform/Platform.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPalette>

namespace Platform {

void PumpEvents() {
    QCoreApplication::processEvents();
}

void WaitForEvents() {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void SetBusyPointer() {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

void RestorePointer() {
    QGuiApplication::restoreOverrideCursor();
}

QColor TranslateColor(uint32_t value) {
    constexpr uint32_t kSystemColourFlag = 0x80000000u;
    if ((value & kSystemColourFlag) == 0)
        return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
    const QPalette pal = QApplication::palette();
    switch (value & 0xFF) {
    case 0x05:
        return pal.color(QPalette::Base); // window background
    case 0x08:
        return pal.color(QPalette::Text); // window text
    case 0x0D:
        return pal.color(QPalette::Highlight); // highlight
    case 0x0E:
        return pal.color(QPalette::HighlightedText); // highlight text
    case 0x10:
        return pal.color(QPalette::Mid); // button shadow
    case 0x12:
        return pal.color(QPalette::ButtonText); // button text
    case 0x14:
        return pal.color(QPalette::Light); // button highlight
    case 0x15:
        return pal.color(QPalette::Shadow); // dark shadow
    case 0x0F:                              // button face
    default:
        return pal.color(QPalette::Button);
    }
}

} // namespace Platform
