#include "app/AppIcon.h"

#include <QPainter>
#include <QPainterPath>

namespace AppIcon {

QImage Draw(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0); // drawn on a 64-unit grid, as the SVG
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2B, 0x5F, 0xA8));
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
    p.setBrush(QColor(0xF4, 0xF1, 0xE8));
    p.drawRect(QRectF(10, 12, 44, 40));
    p.setBrush(QColor(0x9C, 0xD3, 0xF2));
    p.drawRect(QRectF(13, 15, 38, 34));
    p.setBrush(QColor(0xF6, 0xC2, 0x3A));
    p.drawEllipse(QPointF(40, 24), 5, 5);
    QPainterPath hills;
    hills.moveTo(13, 49);
    hills.lineTo(13, 40);
    hills.lineTo(24, 28);
    hills.lineTo(33, 38);
    hills.lineTo(39, 32);
    hills.lineTo(51, 44);
    hills.lineTo(51, 49);
    hills.closeSubpath();
    p.setBrush(QColor(0x3F, 0x8F, 0x4A));
    p.drawPath(hills);
    return image;
}

QIcon Icon() {
    QIcon icon;
    for (int s : kSizes)
        icon.addPixmap(QPixmap::fromImage(Draw(s)));
    return icon;
}

} // namespace AppIcon
