#include "viewers/PicturePane.h"

#include <QImage>
#include <QPainter>

PicturePane::PicturePane(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(1, 1);
}

void PicturePane::resizeEvent(QResizeEvent*) {
    if (box_.SetSize(width(), height())) box_.Cls();
    emit resized();
}

void PicturePane::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const cDIB& s = box_.Surface();
    if (!s.lpBits()) {
        p.fillRect(rect(), QColor::fromRgb(box_.BackColor()));
        return;
    }
    // A view over the surface's memory: no copy.
    const QImage view(s.lpBits(), s.Width(), s.Height(), s.BytesPerScanline(),
                      QImage::Format_RGB32);
    p.drawImage(0, 0, view);
}
