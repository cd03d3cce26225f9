#include "controls/fHelp.h"

#include "platform/Platform.h"
#include "platform/Product.h"

#include <QKeyEvent>

// A dialog of its owner, as About and Options are: it stays in front of the
// main window. Esc closes it.
fHelp::fHelp(QWidget* owner)
    : QWidget(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint) {
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(Platform::TwipsToPixels(kInnerWidthTwips),
                 Platform::TwipsToPixels(kInnerHeightTwips));
    setWindowTitle(QString::fromLatin1(Product::kName) + QStringLiteral(" Help "));
    lblhelp = new QLabel(this);
    lblhelp->setGeometry(Platform::TwipsRect(75, 105, 4530, 4755));
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(9);
    lblhelp->setFont(font);
    lblhelp->setWordWrap(true);
    lblhelp->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblhelp->setTextFormat(Qt::PlainText);
    lblhelp->move(width() / 2 - lblhelp->width() / 2, height() / 2 - lblhelp->height() / 2);
    // Every CR is shown as a line break.
    lblhelp->setText(HelpText().replace(QLatin1Char('\r'), QLatin1Char('\n')));
    if (owner) move(owner->geometry().center() - rect().center()); // centred on its owner
}

QString fHelp::HelpText() {
    const QString CR(QLatin1Char('\r'));
    const QString rule = QStringLiteral("--------------");
    return QStringLiteral("  Using the Image Viewer is quite easy. Simply navigate to folders "
                          "which contain images") +
           QStringLiteral(" by using the standard folder tree on the main interface.") + CR + CR +
           QStringLiteral(" From the toolbar, you can set program options, change browser views, "
                          "load images into the Windows default") +
           QStringLiteral(" editor, refresh the browser, read this help, and exit the program.") +
           CR + CR +
           QStringLiteral(" To view the selected image at its actual size, dblclick on the image "
                          "in the preview or press the <ENTER> key.") +
           QStringLiteral(" dblclick again or press <ESC> to return to the browser.") + CR + rule +
           CR +
           QStringLiteral(" This program utilizes portions of the Freeimage Image library. For "
                          "more") +
           QStringLiteral(" information, visit ") + QString::fromLatin1(kFreeImageUrl) +
           QStringLiteral(".") + CR + rule + CR + QStringLiteral(" ") +
           QString::fromLatin1(Product::kPublisher);
}

void fHelp::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier)
        close();
    else
        QWidget::keyPressEvent(e);
}
