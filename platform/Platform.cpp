#include "platform/Platform.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

namespace Platform {

namespace {

// System colour indices the program uses.
constexpr uint32_t kSystemColourFlag = 0x80000000u;
constexpr uint32_t COLOR_WINDOW = 0x05;
constexpr uint32_t COLOR_WINDOWTEXT = 0x08;
constexpr uint32_t COLOR_HIGHLIGHT = 0x0D;
constexpr uint32_t COLOR_HIGHLIGHTTEXT = 0x0E;
constexpr uint32_t COLOR_BTNFACE = 0x0F;
constexpr uint32_t COLOR_BTNSHADOW = 0x10;
constexpr uint32_t COLOR_BTNTEXT = 0x12;
constexpr uint32_t COLOR_BTNHIGHLIGHT = 0x14;
constexpr uint32_t COLOR_3DDKSHADOW = 0x15;
constexpr uint32_t COLOR_3DLIGHT = 0x16;

QColor System(uint32_t index) {
    return TranslateColor(kSystemColourFlag | index);
}

void Line(QPainter& p, const QColor& c, int x1, int y1, int x2, int y2) {
    p.setPen(c);
    p.drawLine(x1, y1, x2, y2);
}

// One border ring on `r` (inclusive corners): `lit` on the top and left sides,
// `shade` on the bottom and right.
void Ring(QPainter& p, const QRect& r, const QColor& lit, const QColor& shade, int flags) {
    if (r.width() <= 0 || r.height() <= 0) return;
    const int l = r.left(), t = r.top(), rt = r.right(), b = r.bottom();
    if (flags & BF_BOTTOM) Line(p, shade, l, b, rt, b);
    if (flags & BF_RIGHT) Line(p, shade, rt, t, rt, b);
    if (flags & BF_TOP) Line(p, lit, l, t, rt - ((flags & BF_RIGHT) ? 1 : 0), t);
    if (flags & BF_LEFT) Line(p, lit, l, t, l, b - ((flags & BF_BOTTOM) ? 1 : 0));
}

} // namespace

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
    if ((value & kSystemColourFlag) == 0)
        return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
    const QPalette pal = QApplication::palette();
    switch (value & 0xFF) {
    case COLOR_WINDOW:
        return pal.color(QPalette::Base);
    case COLOR_WINDOWTEXT:
        return pal.color(QPalette::Text);
    case COLOR_HIGHLIGHT:
        return pal.color(QPalette::Highlight);
    case COLOR_HIGHLIGHTTEXT:
        return pal.color(QPalette::HighlightedText);
    case COLOR_BTNSHADOW:
        return pal.color(QPalette::Dark);
    case COLOR_BTNTEXT:
        return pal.color(QPalette::ButtonText);
    case COLOR_BTNHIGHLIGHT:
        return pal.color(QPalette::Light);
    case COLOR_3DDKSHADOW:
        return pal.color(QPalette::Shadow);
    case COLOR_3DLIGHT:
        return pal.color(QPalette::Midlight);
    case COLOR_BTNFACE:
    default:
        return pal.color(QPalette::Button);
    }
}

uint32_t ColorRef(uint32_t value) {
    const QColor c = TranslateColor(value);
    return uint32_t(c.red()) | (uint32_t(c.green()) << 8) | (uint32_t(c.blue()) << 16);
}

bool DrawEdge(QPainter& painter, const QRect& rect, int edge, int flags) {
    const int outer = edge & (BDR_RAISEDOUTER | BDR_SUNKENOUTER);
    const int inner = edge & (BDR_RAISEDINNER | BDR_SUNKENINNER);
    if (!outer && !inner) return false;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    QRect r = rect.adjusted(0, 0, -1, -1); // inclusive corners
    if (outer) {
        if (outer & BDR_RAISEDOUTER)
            Ring(painter, r, System(COLOR_3DLIGHT), System(COLOR_3DDKSHADOW), flags);
        else
            Ring(painter, r, System(COLOR_BTNSHADOW), System(COLOR_BTNHIGHLIGHT), flags);
        r.adjust((flags & BF_LEFT) ? 1 : 0, (flags & BF_TOP) ? 1 : 0, (flags & BF_RIGHT) ? -1 : 0,
                 (flags & BF_BOTTOM) ? -1 : 0);
    }
    if (inner) {
        if (inner & BDR_RAISEDINNER)
            Ring(painter, r, System(COLOR_BTNHIGHLIGHT), System(COLOR_BTNSHADOW), flags);
        else
            Ring(painter, r, System(COLOR_3DDKSHADOW), System(COLOR_3DLIGHT), flags);
    }
    painter.restore();
    return true;
}

int EdgeForStyle(int style) {
    static constexpr int kEdges[] = {
        0,           BDR_RAISEDOUTER, BDR_RAISEDINNER, BDR_SUNKENOUTER, BDR_SUNKENINNER,
        EDGE_RAISED, EDGE_SUNKEN,     EDGE_ETCHED,     EDGE_BUMP};
    return style >= 0 && style < int(std::size(kEdges)) ? kEdges[style] : 0;
}

} // namespace Platform
