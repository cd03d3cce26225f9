#include "controls/fAbout.h"

#include "platform/KeyStore.h"
#include "platform/Platform.h"
#include "platform/Product.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPainter>
#include <QProcess>
#include <QStyle>

fAbout::fAbout(QWidget* owner)
    : QWidget(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint) {
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(Platform::TwipsToPixels(kInnerWidthTwips),
                 Platform::TwipsToPixels(kInnerHeightTwips));
    lblTitle = new QLabel(this);
    lblTitle->setGeometry(Platform::TwipsRect(1050, 240, 3885, 480));
    QFont big = lblTitle->font();
    big.setPointSize(14);
    big.setBold(true);
    lblTitle->setFont(big);
    lblVersion = new QLabel(this);
    lblVersion->setGeometry(Platform::TwipsRect(1050, 780, 3885, 225));
    lblDescription = new QLabel(this);
    lblDescription->setGeometry(Platform::TwipsRect(1050, 1125, 3885, 1170));
    lblDescription->setWordWrap(true);
    lblDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblDisclaimer = new QLabel(this);
    lblDisclaimer->setGeometry(Platform::TwipsRect(255, 2625, 3870, 825));
    picIcon = new QLabel(this);
    picIcon->setGeometry(Platform::TwipsRect(240, 240, 300, 300));
    picIcon->setPixmap(QApplication::windowIcon().isNull()
                           ? style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(20, 20)
                           : QApplication::windowIcon().pixmap(20, 20));
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setGeometry(Platform::TwipsRect(4245, 2625, 1260, 345));
    cmdOK->setDefault(true);
    cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    cmdSysInfo->setGeometry(Platform::TwipsRect(4260, 3075, 1245, 345));
    connect(cmdOK, &QPushButton::clicked, this, &QWidget::close);
    connect(cmdSysInfo, &QPushButton::clicked, this, &fAbout::StartSysInfo);

    const QString product = QString::fromLatin1(Product::kName);
    setWindowTitle(QStringLiteral("About ") + product);
    lblVersion->setText(QStringLiteral("Version %1.%2.%3").arg(kMajor).arg(kMinor).arg(kRevision));
    lblTitle->setText(product);
    lblDescription->setText(
        product + QStringLiteral(" is a handy tool which you can use for a variety of") +
        QStringLiteral(" Image Browsing tasks. For more information on this "
                       "and other software,") +
        QStringLiteral(" Please contact us at: ") + QString::fromLatin1(Product::kPublisherUrl));

    if (owner) move(owner->geometry().center() - rect().center()); // centred on its owner
    Message = [this](const QString& text) {
        QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(Product::kName), text,
                        QMessageBox::Ok, this);
        box.exec();
    };
    Start = [](const QString& program) { return QProcess::startDetached(program, {}); };
}

void fAbout::StartSysInfo() {
    using namespace KeyStore;
    std::string path;
    if (!GetKeyValue(HKEY_LOCAL_MACHINE, kMsInfoKey, kMsInfoValue, path)) {
        std::string folder;
        const bool found =
            GetKeyValue(HKEY_LOCAL_MACHINE, kToolsLocationKey, kToolsLocationValue, folder) &&
            QFileInfo::exists(
                QFile::decodeName(QByteArray::fromStdString(folder + "/MSINFO32.EXE")));
        if (!found) {
            Message(QString::fromLatin1(kUnavailable));
            return;
        }
        path = folder + "/MSINFO32.EXE";
    }
    if (!Start(QFile::decodeName(QByteArray::fromStdString(path))))
        Message(QString::fromLatin1(kUnavailable));
}

void fAbout::paintEvent(QPaintEvent*) {
    // The etched pair of separator lines.
    QPainter p(this);
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawLine(Platform::TwipsToPixels(90), Platform::TwipsToPixels(2445),
               Platform::TwipsToPixels(5654), Platform::TwipsToPixels(2445));
    p.setPen(QColor(0xFF, 0xFF, 0xFF));
    p.drawLine(Platform::TwipsToPixels(105), Platform::TwipsToPixels(2460),
               Platform::TwipsToPixels(5654), Platform::TwipsToPixels(2460));
}

void fAbout::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier)
        close();
    else
        QWidget::keyPressEvent(e);
}
