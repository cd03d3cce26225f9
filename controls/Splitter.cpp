#include "controls/Splitter.h"

#include "platform/Platform.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

namespace {

// Twips to whole pixels, halves to even.
int ToPixels(double twips) {
    return int(std::nearbyint(twips / Platform::kTwipsPerPixel));
}

} // namespace

Splitter::Splitter(QWidget* parent) : QWidget(parent) {
    bar_ = new QWidget(this);
    bar_->setAttribute(Qt::WA_OpaquePaintEvent);
    bar_->installEventFilter(this);
    UpdateCursor();
}

void Splitter::SetOrientation(int32_t New_Orientation) {
    orientation_ = New_Orientation != 0;
    UpdateCursor();
    Layout();
}

void Splitter::SetChild1(QWidget* New_Child1) {
    child1_ = New_Child1;
    if (child1_ && child1_->parentWidget() != this) child1_->setParent(this);
    if (child1_) child1_->show();
    bar_->raise();
    Layout();
}

void Splitter::SetChild2(QWidget* New_Child2) {
    child2_ = New_Child2;
    if (child2_ && child2_->parentWidget() != this) child2_->setParent(this);
    if (child2_) child2_->show();
    bar_->raise();
    Layout();
}

uint8_t Splitter::SplitPercent() const {
    return uint8_t(int(std::nearbyint(fraction_ * 100.0f)));
}

void Splitter::SetSplitPercent(int New_SplitPercent) {
    fraction_ = float(New_SplitPercent) / 100.0f;
    Layout();
}

uint32_t Splitter::BarColor() const {
    if (exactColor_) return splitterColor_;
    return splitterColor_ == 0 || splitterColor_ == kButtonFace ? kButtonFace : splitterColor_;
}

double Splitter::WidthTwips() const {
    return double(width()) * Platform::kTwipsPerPixel;
}

double Splitter::HeightTwips() const {
    return double(height()) * Platform::kTwipsPerPixel;
}

void Splitter::MoveTwips(QWidget* w, const QRectF& twips) {
    if (!w) return;
    // A negative size (a share above 100, a control narrower than the bar)
    // is refused like any failed move: the widget keeps its place.
    if (twips.width() < 0 || twips.height() < 0) return;
    const int x = ToPixels(twips.x()), y = ToPixels(twips.y());
    const int r = ToPixels(twips.x() + twips.width()), b = ToPixels(twips.y() + twips.height());
    w->setGeometry(x, y, r - x, b - y);
}

void Splitter::Layout() {
    const double W = WidthTwips(), H = HeightTwips(), S = splitterWidth_;
    const double f = fraction_;
    if (orientation_) {
        const double a = float((H - S) * f), b = float((H - S) * (1 - f));
        child1Twips_ = QRectF(0, 0, W, a);
        child2Twips_ = QRectF(0, S + a, W, b);
        barTwips_ = QRectF(0, a, W, S);
    } else {
        const double a = float((W - S) * f), b = float((W - S) * (1 - f));
        child1Twips_ = QRectF(0, 0, a, H);
        child2Twips_ = QRectF(S + a, 0, b, H);
        barTwips_ = QRectF(a, 0, S, H);
    }
    MoveTwips(child1_, child1Twips_);
    MoveTwips(child2_, child2Twips_);
    MoveTwips(bar_, barTwips_);
    if (child1_) child1_->update();
    if (child2_) child2_->update();
    emit Resize();
}

void Splitter::UpdateCursor() {
    bar_->setCursor(orientation_ ? Qt::SizeVerCursor : Qt::SizeHorCursor);
}

void Splitter::resizeEvent(QResizeEvent*) {
    Layout();
}

void Splitter::paintEvent(QPaintEvent*) {
    exactColor_ = false; // the control's paint gives the bar its resting colour
    bar_->update();
}

bool Splitter::eventFilter(QObject* watched, QEvent* e) {
    if (watched != bar_) return false;
    switch (e->type()) {
    case QEvent::Paint: {
        QPainter p(bar_);
        p.fillRect(bar_->rect(), Platform::TranslateColor(BarColor()));
        return true;
    }
    case QEvent::MouseButtonPress:
        if (static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
            exactColor_ = true;
            bar_->raise();
            bar_->update();
        }
        return true;
    case QEvent::MouseMove: {
        auto* m = static_cast<QMouseEvent*>(e);
        if (m->buttons() != Qt::LeftButton) return true;
        const double S = splitterWidth_;
        const double x = m->position().x() * Platform::kTwipsPerPixel;
        const double y = m->position().y() * Platform::kTwipsPerPixel;
        double f;
        if (orientation_) {
            const double p = barTwips_.y() + y - S;
            f = p / HeightTwips();
            barTwips_.moveTop(p);
        } else {
            const double p = barTwips_.x() + x - S;
            f = p / WidthTwips();
            barTwips_.moveLeft(p);
        }
        if (!(f >= kMinFraction)) f = kMinFraction; // also not a number
        if (f > kMaxFraction) f = kMaxFraction;
        fraction_ = float(f);
        MoveTwips(bar_, barTwips_);
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
            exactColor_ = true;
            bar_->update();
            Layout();
        }
        return true;
    default:
        return false;
    }
}
