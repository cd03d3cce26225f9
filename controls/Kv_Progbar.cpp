#include "controls/Kv_Progbar.h"

#include "platform/Platform.h"

#include <QEvent>
#include <QPainter>
#include <cmath>

Kv_Progbar::Kv_Progbar(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    picBar = new QWidget(this);
    picBar->setAttribute(Qt::WA_OpaquePaintEvent);
    picBar->installEventFilter(this);
    picBar->hide();
}

void Kv_Progbar::SetValue(int32_t New_Value) {
    value_ = New_Value;
    DrawBar();
}

void Kv_Progbar::SetBackColor(uint32_t New_BackColor) {
    backColor_ = New_BackColor;
    update();
}

void Kv_Progbar::SetBarcolor(uint32_t New_Barcolor) {
    barColor_ = New_Barcolor;
    picBar->update();
}

void Kv_Progbar::SetBorderStyle(int32_t New_BorderStyle) {
    borderStyle_ = New_BorderStyle;
    update();
}

void Kv_Progbar::DrawBar() {
    picBar->setVisible(value_ != 0);
    const bool offset = barOffset_ == 1;
    const int inset = offset ? kBarInset : 0;
    const int w = width() - 2 * inset, h = height() - 2 * inset;
    // Without a full scale the width cannot be computed: the bar keeps its size.
    if (max_ != 0) {
        const double barWidth = double(value_) / double(max_) * double(w);
        if (barWidth >= 0 && h >= 0)
            picBar->setGeometry(inset, inset, int(std::nearbyint(barWidth)), h);
    }
    picBar->repaint();
    Platform::PumpEvents();
}

void Kv_Progbar::resizeEvent(QResizeEvent*) {
    picBar->move(0, 0);
}

void Kv_Progbar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Platform::TranslateColor(backColor_));
    Platform::DrawEdge(p, rect(), Platform::EdgeForStyle(borderStyle_), Platform::BF_RECT);
}

bool Kv_Progbar::eventFilter(QObject* watched, QEvent* e) {
    if (watched != picBar || e->type() != QEvent::Paint) return false;
    QPainter p(picBar);
    p.fillRect(picBar->rect(), Platform::TranslateColor(barColor_));
    Platform::DrawEdge(p, picBar->rect(), Platform::EdgeForStyle(barStyle_), Platform::BF_RECT);
    return true;
}
