#include "controls/fSplash.h"

#include "platform/Product.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

fSplash::fSplash(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setFixedSize(kInnerWidth, kInnerHeight);
    setWindowTitle(QString());
    setAutoFillBackground(true);

    lblprogramname = new QLabel(this);
    lblcompanyname = new QLabel(this);
    lblLegal = new QLabel(this);
    lblprogramname->setGeometry(33, 18, 328, 51);
    lblcompanyname->setGeometry(33, 75, 328, 103);
    lblLegal->setGeometry(12, 195, 373, 44);
    for (QLabel* l : {lblprogramname, lblcompanyname, lblLegal}) {
        l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        l->setWordWrap(true);
    }

    // Load: the texts, the fonts, then the delay.
    const QString publisher = QString::fromLatin1(Product::kPublisher);
    lblprogramname->setText(QString::fromLatin1(Product::kName));
    lblcompanyname->setText(QStringLiteral("Image browser and viewer") + QStringLiteral(" by ") +
                            publisher);
    lblLegal->setText(QStringLiteral("This program is provided as is, without warranty of any "
                                     "kind. Copyright \u00A9 ") +
                      publisher + QLatin1Char('.'));
    QFont big(QStringLiteral("Verdana"));
    big.setPointSize(14);
    lblprogramname->setFont(big);
    lblcompanyname->setFont(big);

    ready_ = false;
    tmrDelay.setSingleShot(true);
    tmrDelay.setTimerType(Qt::PreciseTimer); // a coarse timer may fire up to 5% early
    tmrDelay.setInterval(kDelayMs);
    connect(&tmrDelay, &QTimer::timeout, this, &fSplash::OnDelay);
    tmrDelay.start();

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void fSplash::OnDelay() {
    tmrDelay.stop();
    ready_ = true;
}

void fSplash::resizeEvent(QResizeEvent*) {
    const int w = width();
    lblprogramname->move(w / 2 - lblprogramname->width() / 2, lblprogramname->y());
    lblcompanyname->setGeometry(lblprogramname->x(),
                                lblprogramname->y() + lblprogramname->height() + 5,
                                lblprogramname->width(), lblcompanyname->height());
    lblLegal->move(w / 2 - lblLegal->width() / 2, lblLegal->y());
}

void fSplash::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int right = width() - kSeparatorInset;
    p.setPen(QColor(0, 0, 0));
    p.drawLine(kSeparatorInset, kSeparatorY, right, kSeparatorY);
    p.setPen(QColor(255, 255, 255));
    p.drawLine(kSeparatorInset, kSeparatorY + 1, right, kSeparatorY + 1);
    // The fixed dialog border: a raised frame around the inner area.
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(0, 0, width() - 1, 0);
    p.drawLine(0, 0, 0, height() - 1);
    p.setPen(palette().color(QPalette::Shadow));
    p.drawLine(width() - 1, 0, width() - 1, height() - 1);
    p.drawLine(0, height() - 1, width() - 1, height() - 1);
}

void fSplash::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange) {
        // Only a real loss of focus closes the splash, not never having had it.
        if (isActiveWindow())
            wasActive_ = true;
        else if (wasActive_ && isVisible())
            close();
    }
    QWidget::changeEvent(e);
}

void fSplash::closeEvent(QCloseEvent* e) {
    closed_ = true;
    tmrDelay.stop();
    e->accept();
}
