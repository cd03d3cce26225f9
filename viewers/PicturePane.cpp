#include "viewers/PicturePane.h"

#include <QImage>
#include <QMetaObject>
#include <QPainter>
#include <cmath>

PicturePane::PicturePane(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(1, 1);
}

QSize PicturePane::DeviceSize() const {
    const qreal ratio = devicePixelRatioF();
    return {std::max(1, int(std::lround(width() * ratio))),
            std::max(1, int(std::lround(height() * ratio)))};
}

QSize PicturePane::BoxSize() const {
    const QSize size = DeviceSize();
    return turn_.Sideways() ? size.transposed() : size;
}

void PicturePane::SetViewTurn(ViewTurn turn) {
    turn = turn.Normal();
    if (turn == turn_) return;
    const bool remade = turn.Sideways() != turn_.Sideways();
    turn_ = turn;
    if (remade) resizeEvent(nullptr);
    update();
}

void PicturePane::resizeEvent(QResizeEvent*) {
    const QSize size = BoxSize();
    if (box_.SetSize(size.width(), size.height())) box_.Cls();
    emit resized();
}

void PicturePane::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const cDIB& s = box_.Surface();
    if (!s.lpBits()) {
        p.fillRect(rect(), QColor::fromRgb(box_.BackColor()));
        return;
    }
    // The box holds the screen's own pixels; on a screen of another ratio
    // (the window moved) it is remade at that ratio, as a new size would be.
    if (QSize(s.Width(), s.Height()) != BoxSize()) {
        QMetaObject::invokeMethod(
            this, [this] { resizeEvent(nullptr); }, Qt::QueuedConnection);
        p.fillRect(rect(), QColor::fromRgb(box_.BackColor()));
        return;
    }
    // A view over the surface's memory (no copy), one box pixel to one
    // pixel of the screen.
    QImage view(s.lpBits(), s.Width(), s.Height(), s.BytesPerScanline(), QImage::Format_RGB32);
    if (!turn_.Upright()) view = TurnedImage(view, turn_); // the box's size turned: the pane's
    view.setDevicePixelRatio(devicePixelRatioF());
    p.drawImage(0, 0, view);
}
