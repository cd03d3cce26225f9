#include "app/fFullview.h"

#include "platform/InputEvents.h"
#include "platform/Product.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

namespace {
constexpr uint32_t kBlack = 0;
// The failure's text: larger than the window's, and kept off the edges.
constexpr int kFailurePointSize = 14;
constexpr int kFailureMargin = 40;
} // namespace

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
    // Over the pictures; the mouse goes through it to the view below, so
    // that a double click still closes the window.
    lblFailure = new QLabel(this);
    lblFailure->setTextFormat(Qt::PlainText);
    lblFailure->setAlignment(Qt::AlignCenter);
    lblFailure->setWordWrap(true);
    lblFailure->setAttribute(Qt::WA_TransparentForMouseEvents);
    lblFailure->setFocusPolicy(Qt::NoFocus);
    lblFailure->setStyleSheet(QStringLiteral("color: white; background: transparent"));
    QFont font = lblFailure->font();
    font.setPointSize(kFailurePointSize);
    lblFailure->setFont(font);
    lblFailure->hide();
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

void fFullview::ShowStill(const StdPicture& picture) {
    lblFailure->hide();
    ucGIFView->Destroy(); // a GIF shown before never comes back on a resize
    ucGIFView->hide();
    imView->SetPicture(picture);
}

void fFullview::ShowGifOf(const ucGIFViewer& source) {
    lblFailure->hide();
    imView->SetPicture({}); // nothing of a still picture before shows when the GIF goes
    ucGIFView->ShowDocumentOf(source);
    ucGIFView->show();
    ucGIFView->raise();
}

void fFullview::ShowFailure(const QString& name, const QString& reason) {
    ShowStill({});
    lblFailure->setText(name + QLatin1Char('\n') + reason);
    lblFailure->show();
    lblFailure->raise();
}

void fFullview::SetCommands(const QList<QAction*>& commands) {
    addActions(commands);
    setContextMenuPolicy(Qt::ActionsContextMenu);
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
    lblFailure->setGeometry(
        rect().adjusted(kFailureMargin, kFailureMargin, -kFailureMargin, -kFailureMargin));
}
