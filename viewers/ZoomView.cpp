#include "viewers/ZoomView.h"

#include "platform/InputEvents.h"
#include "platform/Platform.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <cmath>

namespace {

// One wheel notch, in the units of QWheelEvent::angleDelta.
constexpr int kNotch = 120;
// The view's pixels a wheel notch moves the picture.
constexpr int kWheelPixels = 120;

QImage View(const StdPicture& p) {
    if (!p || !p->lpBits() || p->bpp() != 32) return {};
    return QImage(p->lpBits(), p->Width(), p->Height(), p->BytesPerScanline(),
                  QImage::Format_RGB32);
}

} // namespace

ZoomView::ZoomView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setCursor(Qt::OpenHandCursor);
    indicator_ = new QLabel(viewport());
    indicator_->setStyleSheet(QStringLiteral(
        "QLabel { background: rgba(0, 0, 0, 160); color: white; padding: 6px 10px; }"));
    indicator_->hide();
    indicatorTimer_.setSingleShot(true);
    indicatorTimer_.setInterval(kIndicatorMs);
    connect(&indicatorTimer_, &QTimer::timeout, indicator_, &QWidget::hide);
}

void ZoomView::SetBackColor(uint32_t colour) {
    backColor_ = colour;
    viewport()->update();
}

void ZoomView::SetPicture(const StdPicture& picture) {
    picture_ = picture && picture->lpBits() && picture->bpp() == 32 ? picture : nullptr;
    turn_ = {};
    ShowTurned(false);
}

void ZoomView::SetViewTurn(ViewTurn turn) {
    turn = turn.Normal();
    if (turn == turn_) return;
    turn_ = turn;
    ShowTurned(state_.Fitted());
}

void ZoomView::ShowTurned(bool fit) {
    levels_.clear();
    levels_.push_back(turn_.Upright() ? View(picture_) : TurnedImage(View(picture_), turn_));
    state_.SetPicture(levels_[0].width(), levels_[0].height());
    SetViewSize();
    if (fit) state_.Fit();
    Changed(false);
}

double ZoomView::Ratio() const {
    return viewport()->devicePixelRatioF();
}

bool ZoomView::SetViewSize() {
    // The zoom counts the screen's own pixels: at 100 % one picture pixel
    // is one pixel of the screen, whatever its ratio.
    const int w = int(std::lround(viewport()->width() * Ratio()));
    const int h = int(std::lround(viewport()->height() * Ratio()));
    if (w == state_.ViewWidth() && h == state_.ViewHeight()) return false;
    state_.SetView(w, h);
    return true;
}

QString ZoomView::ZoomText() const {
    const double percent = state_.Zoom() * 100.0;
    const QString number =
        percent >= 10 ? QString::number(std::lround(percent)) : QString::number(percent, 'f', 1);
    return (state_.Fitted() ? QStringLiteral("Fit · ") : QString()) + number + QStringLiteral(" %");
}

void ZoomView::Changed(bool zoomChanged) {
    SyncScrollBars();
    viewport()->update();
    if (!zoomChanged) return;
    indicator_->setText(ZoomText());
    indicator_->adjustSize();
    indicator_->move((viewport()->width() - indicator_->width()) / 2,
                     viewport()->height() - indicator_->height() - 2 * indicator_->height());
    indicator_->show();
    indicator_->raise();
    indicatorTimer_.start();
}

void ZoomView::SyncScrollBars() {
    // A bar's value is how far the picture's left (top) edge lies before the view's.
    syncing_ = true;
    auto set = [](QScrollBar* bar, double shown, int view, double origin) {
        const int range = std::max(0, int(std::ceil(shown)) - view);
        bar->setRange(0, range);
        bar->setPageStep(view);
        bar->setSingleStep(std::max(1, view / 20));
        bar->setValue(int(std::lround(-origin)));
    };
    set(horizontalScrollBar(), state_.ShownWidth(), state_.ViewWidth(), state_.OriginX());
    set(verticalScrollBar(), state_.ShownHeight(), state_.ViewHeight(), state_.OriginY());
    syncing_ = false;
}

void ZoomView::scrollContentsBy(int, int) {
    if (syncing_) return;
    state_.PanTo(-horizontalScrollBar()->value(), -verticalScrollBar()->value());
    viewport()->update();
}

void ZoomView::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    SetViewSize();
    Changed(false);
}

const QImage& ZoomView::LevelFor(double zoom, double& scale) {
    // The smallest halved copy still at least as large as what is shown.
    std::size_t k = 0;
    scale = 1;
    while (zoom <= scale / 2 && !levels_[k].isNull() && levels_[k].width() > 1 &&
           levels_[k].height() > 1) {
        if (k + 1 == levels_.size()) {
            const QImage& from = levels_[k];
            levels_.push_back(from.scaled(from.width() / 2, from.height() / 2,
                                          Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        }
        ++k;
        scale /= 2;
    }
    // The halved copies' sides are whole pixels: their true scale.
    if (k > 0 && !levels_[0].isNull())
        scale = double(levels_[k].width()) / double(levels_[0].width());
    return levels_[k];
}

void ZoomView::paintEvent(QPaintEvent*) {
    if (SetViewSize()) SyncScrollBars(); // moved to a screen of another ratio
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), Platform::TranslateColor(backColor_));
    if (levels_.empty() || levels_[0].isNull()) return;
    // From here on, the screen's pixels.
    const double ratio = Ratio();
    p.scale(1 / ratio, 1 / ratio);
    const QRectF view(0, 0, state_.ViewWidth(), state_.ViewHeight());
    double scale = 1;
    const QImage& level = LevelFor(state_.Zoom(), scale);
    // At actual size and above, whole pixels: the picture's corner on a pixel.
    const bool sharp = state_.Zoom() >= 1;
    const double x = sharp ? std::round(state_.OriginX()) : state_.OriginX();
    const double y = sharp ? std::round(state_.OriginY()) : state_.OriginY();
    const QRectF target(x, y, state_.ShownWidth(), state_.ShownHeight());
    const QRectF visible = target.intersected(view);
    if (visible.isEmpty()) return;
    // The part of the copy that lands in view.
    const double toLevel = scale / state_.Zoom();
    const QRectF source((visible.x() - x) * toLevel, (visible.y() - y) * toLevel,
                        visible.width() * toLevel, visible.height() * toLevel);
    p.setRenderHint(QPainter::SmoothPixmapTransform, !sharp);
    p.drawImage(visible, level, source);
}

void ZoomView::keyPressEvent(QKeyEvent* e) {
    const double cx = state_.ViewWidth() / 2.0, cy = state_.ViewHeight() / 2.0;
    const double panX = state_.ViewWidth() / double(kArrowShare);
    const double panY = state_.ViewHeight() / double(kArrowShare);
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    switch (e->key()) {
    case Qt::Key_F:
        state_.ToggleFit();
        return Changed(true);
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        state_.ZoomBy(1, cx, cy);
        return Changed(true);
    case Qt::Key_Minus:
        state_.ZoomBy(-1, cx, cy);
        return Changed(true);
    case Qt::Key_1:
    case Qt::Key_0:
        if (e->key() == Qt::Key_0 && !ctrl) break;
        state_.ActualSize();
        return Changed(true);
    case Qt::Key_Left:
        state_.PanBy(panX, 0);
        return Changed(false);
    case Qt::Key_Right:
        state_.PanBy(-panX, 0);
        return Changed(false);
    case Qt::Key_Up:
        state_.PanBy(0, panY);
        return Changed(false);
    case Qt::Key_Down:
        state_.PanBy(0, -panY);
        return Changed(false);
    case Qt::Key_PageDown:
    case Qt::Key_Space:
        emit StepRequested(1);
        return;
    case Qt::Key_PageUp:
    case Qt::Key_Backspace:
        emit StepRequested(-1);
        return;
    default:
        break;
    }
    int16_t ascii = 0;
    if (InputEvents::KeyAscii(e, ascii)) emit KeyPress(ascii);
}

void ZoomView::wheelEvent(QWheelEvent* e) {
    const QPoint delta = e->angleDelta();
    if (e->modifiers() & Qt::ControlModifier) {
        const int notches = delta.y() / kNotch;
        if (notches == 0) return;
        state_.ZoomBy(notches, e->position().x() * Ratio(), e->position().y() * Ratio());
        Changed(true);
    } else {
        state_.PanBy(double(delta.x()) * kWheelPixels / kNotch * Ratio(),
                     double(delta.y()) * kWheelPixels / kNotch * Ratio());
        Changed(false);
    }
    e->accept();
}

void ZoomView::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    dragging_ = true;
    dragFrom_ = e->position().toPoint();
    viewport()->setCursor(Qt::ClosedHandCursor);
}

void ZoomView::mouseMoveEvent(QMouseEvent* e) {
    if (!dragging_) return;
    const QPoint now = e->position().toPoint();
    state_.PanBy((now.x() - dragFrom_.x()) * Ratio(), (now.y() - dragFrom_.y()) * Ratio());
    dragFrom_ = now;
    Changed(false);
}

void ZoomView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    dragging_ = false;
    viewport()->setCursor(Qt::OpenHandCursor);
}

void ZoomView::mouseDoubleClickEvent(QMouseEvent*) {
    emit DblClick();
}
