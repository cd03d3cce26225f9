#include "viewers/ImageAceX.h"

#include "imaging/mFit.h"
#include "platform/InputEvents.h"
#include "platform/Platform.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kOutOfView = -20000;

// Rounds to the nearest integer, halves to even.
int Round(double v) {
    return int(std::nearbyint(v));
}

QImage View(const StdPicture& p) {
    if (!p || !p->lpBits() || p->bpp() != 32) return {};
    return QImage(p->lpBits(), p->Width(), p->Height(), p->BytesPerScanline(),
                  QImage::Format_RGB32);
}

// The viewport: clips its children and keeps the fitted drawing.
class Viewport : public QWidget {
  public:
    Viewport(QWidget* parent, const QImage& image, const uint32_t& back)
        : QWidget(parent), image_(image), back_(back) {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Platform::TranslateColor(back_));
        if (!image_.isNull()) p.drawImage(0, 0, image_);
    }

  private:
    const QImage& image_;
    const uint32_t& back_;
};

// The picture at actual size.
class PictureView : public QWidget {
  public:
    PictureView(QWidget* parent, const StdPicture& picture, const uint32_t& back)
        : QWidget(parent), picture_(picture), back_(back) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFocusPolicy(Qt::StrongFocus);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QImage view = View(picture_);
        if (view.isNull())
            p.fillRect(rect(), Platform::TranslateColor(back_));
        else
            p.drawImage(0, 0, view);
    }

  private:
    const StdPicture& picture_;
    const uint32_t& back_;
};

} // namespace

ImageAceX::ImageAceX(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    picScl = new Viewport(this, viewportImage_, backColor_);
    picDst = new PictureView(picScl, shown_, backColor_);
    hSB = new QScrollBar(Qt::Horizontal, picScl);
    vSB = new QScrollBar(Qt::Vertical, picScl);
    cmdCorner = new QPushButton(picScl);
    for (QScrollBar* bar : {hSB, vSB}) {
        bar->setMinimum(0);
        bar->setSingleStep(1);
        bar->setFocusPolicy(Qt::NoFocus); // keys reach the host through picDst
        bar->hide();
    }
    cmdCorner->setFocusPolicy(Qt::NoFocus);
    cmdCorner->hide();
    connect(hSB, &QScrollBar::valueChanged, this, [this](int v) { picDst->move(-v, picDst->y()); });
    connect(vSB, &QScrollBar::valueChanged, this, [this](int v) { picDst->move(picDst->x(), -v); });
    for (QWidget* w : {static_cast<QWidget*>(this), picScl, picDst})
        w->installEventFilter(this);
    for (QWidget* w : {static_cast<QWidget*>(hSB), static_cast<QWidget*>(vSB)})
        w->installEventFilter(this);
    setFocusProxy(picDst);
}

void ImageAceX::SetBorderStyle(int32_t New_BorderStyle) {
    borderStyle_ = New_BorderStyle;
    update();
}

void ImageAceX::SetDisplaymode(int32_t New_Displaymode) {
    displayMode_ = New_Displaymode;
    OnResize();
}

void ImageAceX::SetBackColor(uint32_t New_BackColor) {
    backColor_ = New_BackColor;
    update();
    picScl->update();
    picDst->update();
}

void ImageAceX::SetPicture(const StdPicture& New_Picture) {
    source_ = New_Picture;
    LayoutActualSize();
}

QSize ImageAceX::ShownSize() const {
    return shown_ && shown_->lpBits() ? QSize(shown_->Width(), shown_->Height()) : QSize(0, 0);
}

void ImageAceX::resizeEvent(QResizeEvent*) {
    OnResize();
}

void ImageAceX::OnResize() {
    if (displayMode_ == DisplayActualSize) {
        shown_ = source_;
        viewportImage_ = QImage(); // the fitted drawing of mode 1 goes with it
        picDst->show();
        picDst->update();
        LayoutActualSize();
    } else if (displayMode_ == DisplayFit) {
        shown_.reset();
        picDst->hide();
        picScl->setGeometry(kInset, kInset, width() - 2 * kInset, height() - 2 * kInset);
        for (QWidget* w : {static_cast<QWidget*>(vSB), static_cast<QWidget*>(hSB),
                           static_cast<QWidget*>(cmdCorner)})
            w->move(kOutOfView, w->y());
        DrawFitted(source_, kInset, true);
    }
}

void ImageAceX::LayoutActualSize() {
    // The viewport: inset for every border style but none.
    if (borderStyle_ == BorderNone)
        picScl->setGeometry(0, 0, width(), height());
    else
        picScl->setGeometry(kInset, kInset, width() - 2 * kInset, height() - 2 * kInset);
    const QSize picture = ShownSize();
    picDst->setGeometry(0, 0, picture.width(), picture.height());
    const int vw = picScl->width(), vh = picScl->height();
    const int pw = picture.width(), ph = picture.height();
    const int bar = kBarThickness;

    hSB->setGeometry(0, vh - bar, vw - bar, bar);
    double hMax = double(pw) - vw + bar;
    hSB->setPageStep(Round(vw / 2.0));
    hSB->setValue(0);
    hSB->setVisible(vw < pw);
    hSB->raise();

    vSB->setGeometry(vw - bar, 0, bar, vh - bar);
    double vMax = double(ph) - vh + bar;
    vSB->setPageStep(Round(vh / 2.0));
    vSB->setValue(0);
    vSB->setVisible(vh < ph);
    vSB->raise();

    QPoint at(0, 0);
    if (vh >= ph) { // the height fits
        hMax -= bar;
        at.setX(Round(vw / 2.0 - pw / 2.0));
    }
    if (vw >= pw) { // the width fits
        vMax -= bar;
        at.setY(Round(vh / 2.0 - ph / 2.0));
    }
    if (vh < ph || vw < pw) at = QPoint(0, 0);
    picDst->move(at);

    // Exact, however wide the picture: every pixel can be scrolled to.
    hMax_ = Round(hMax);
    vMax_ = Round(vMax);
    hSB->setMaximum(std::max<int>(0, hMax_));
    vSB->setMaximum(std::max<int>(0, vMax_));

    cmdCorner->setGeometry(vSB->x(), vSB->y() + vSB->height(), bar, bar);
    cmdCorner->setVisible(vw < pw || vh < ph);
    cmdCorner->raise();
}

void ImageAceX::DrawFitted(const StdPicture& source, int margin, bool centre) {
    const int tw = picScl->width(), th = picScl->height();
    viewportImage_ = QImage(std::max(tw, 1), std::max(th, 1), QImage::Format_RGB32);
    viewportImage_.fill(Platform::TranslateColor(backColor_));
    fitted_ = QRect();
    const QImage src = View(source);
    if (!src.isNull()) {
        const mFit::Placement fit =
            mFit::FitInBox(src.width(), src.height(), tw, th, int16_t(margin), centre);
        fitted_ = QRect(fit.x, fit.y, fit.width, fit.height);
        if (fit.width > 0 && fit.height > 0) {
            // Area averaging, the halftone stretch's quality.
            QPainter p(&viewportImage_);
            p.drawImage(
                QPoint(fit.x, fit.y),
                src.scaled(fit.width, fit.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        }
    }
    picScl->update();
}

void ImageAceX::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Platform::TranslateColor(backColor_));
    Platform::DrawEdge(p, rect(), Platform::EdgeForStyle(borderStyle_), Platform::BF_RECT);
}

bool ImageAceX::eventFilter(QObject* watched, QEvent* e) {
    if (watched == hSB || watched == vSB) {
        // A bar never keeps the focus: it goes to the picture at once.
        if (e->type() == QEvent::FocusIn) picDst->setFocus();
        return false;
    }
    switch (e->type()) {
    case QEvent::MouseButtonPress: {
        auto a = InputEvents::FromMouse(static_cast<QMouseEvent*>(e));
        emit MouseDown(a.button, a.shift, a.x, a.y);
        return true; // raised once, by the child that received it
    }
    case QEvent::MouseButtonRelease: {
        auto* m = static_cast<QMouseEvent*>(e);
        if (static_cast<QWidget*>(watched)->rect().contains(m->position().toPoint())) emit Click();
        auto a = InputEvents::FromMouse(m);
        emit MouseUp(a.button, a.shift, a.x, a.y);
        return true;
    }
    case QEvent::MouseButtonDblClick:
        emit DblClick();
        return true;
    case QEvent::KeyPress: {
        int16_t key = 0;
        if (InputEvents::KeyAscii(static_cast<QKeyEvent*>(e), key)) {
            emit KeyPress(key);
            return true;
        }
        break;
    }
    default:
        break;
    }
    return false;
}
