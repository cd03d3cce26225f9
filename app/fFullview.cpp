#include "app/fFullview.h"

#include "platform/InputEvents.h"
#include "platform/Product.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

namespace {
constexpr uint32_t kBlack = 0;
}

fFullview::fFullview(QWidget* owner) : QWidget(owner, Qt::Window | Qt::FramelessWindowHint) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromLatin1(Product::kName));
    imView = new ZoomView(this);
    imView->SetBackColor(kBlack);
    ucGIFView = new ucGIFViewer(this);
    ucGIFView->SetAutoPlay(true);
    ucGIFView->SetBackColor(kBlack);
    ucGIFView->SetUserControl(true);
    ucGIFView->setFocusPolicy(Qt::NoFocus);
    ucGIFView->hide();
    setFocusProxy(imView);
    imView->installEventFilter(this); // the GIF's keys, while one shows

    connect(imView, &ZoomView::DblClick, this, &QWidget::close);
    connect(ucGIFView, &ucGIFViewer::DblClick, this, &QWidget::close);
    connect(imView, &ZoomView::KeyPress, this, &fFullview::OnKeyPress);
    connect(imView, &ZoomView::StepRequested, this, &fFullview::StepRequested);
    connect(ucGIFView, &ucGIFViewer::KeyPress, this, &fFullview::OnKeyPress);
    // Maximised; without a window manager to honour that, the screen's size.
    if (const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen())
        setGeometry(screen->availableGeometry());
    setWindowState(Qt::WindowMaximized);
}

void fFullview::OnKeyPress(int16_t& KeyAscii) {
    if (KeyAscii == InputEvents::kKeyEscape) close();
}

bool fFullview::eventFilter(QObject* watched, QEvent* event) {
    if (watched == imView && event->type() == QEvent::KeyPress && !ucGIFView->isHidden()) {
        int16_t key = 0;
        if (InputEvents::KeyAscii(static_cast<QKeyEvent*>(event), key) &&
            ucGIFView->ControlKey(key))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void fFullview::resizeEvent(QResizeEvent*) {
    Form_Resize();
}

void fFullview::showEvent(QShowEvent*) {
    imView->setFocus();
}

void fFullview::Form_Resize() {
    if (isMinimized()) return;
    ucGIFView->setGeometry(0, 0, width(), height());
    if (ucGIFView->GIFLoaded()) {
        ucGIFView->show();
        ucGIFView->raise();
    }
    imView->setGeometry(0, 0, width(), height());
}
