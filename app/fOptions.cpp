#include "app/fOptions.h"

#include "app/mSetup.h"
#include "app/mSetupUi.h"
#include "platform/Platform.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

// A small drawing of the layout an option gives: the tree and the list
// stacked or side by side on the left, the preview on the right.
QPixmap LayoutPicture(bool stacked) {
    const int s = fOptions::kPictureSize;
    QPixmap pm(s, s);
    pm.fill(Qt::white);
    QPainter p(&pm);
    p.setPen(Qt::black);
    p.drawRect(0, 0, s - 1, s - 1);
    const QColor tree(0x9C, 0xC3, 0xE6), list(0xF4, 0xD0, 0x8A), preview(0xC8, 0xC8, 0xC8);
    p.fillRect(27, 3, 20, 44, preview);
    if (stacked) {
        p.fillRect(3, 3, 21, 20, tree);
        p.fillRect(3, 26, 21, 21, list);
    } else {
        p.fillRect(3, 3, 10, 44, tree);
        p.fillRect(14, 3, 10, 44, list);
    }
    return pm;
}

} // namespace

fOptions::fOptions(SetupRecord& setup, Splitter* hSplit, QWidget* owner)
    : QWidget(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint),
      setup_(setup), hSplit_(hSplit) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Options"));
    setFixedSize(Platform::TwipsToPixels(kInnerWidthTwips),
                 Platform::TwipsToPixels(kInnerHeightTwips));
    lblOpts = new QLabel(this);
    lblOpts->setGeometry(Platform::TwipsRect(75, 60, 4530, 2805));
    lblOpts->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    frsplitter1 = new QGroupBox(QStringLiteral(" Interface Orientation: "), this);
    frsplitter1->setGeometry(Platform::TwipsRect(810, 285, 3045, 1395));
    optSplitters[1] = new QRadioButton(frsplitter1);
    optSplitters[1]->setGeometry(Platform::TwipsRect(285, 555, 210, 330));
    Image1 = new QLabel(frsplitter1);
    Image1->setGeometry(Platform::TwipsRect(525, 345, 750, 750));
    Image1->setPixmap(LayoutPicture(true));
    optSplitters[0] = new QRadioButton(frsplitter1);
    optSplitters[0]->setGeometry(Platform::TwipsRect(1605, 555, 240, 330));
    Image2 = new QLabel(frsplitter1);
    Image2->setGeometry(Platform::TwipsRect(1785, 360, 750, 750));
    Image2->setPixmap(LayoutPicture(false));
    for (QLabel* picture : {Image1, Image2}) {
        picture->setCursor(Qt::PointingHandCursor);
        picture->installEventFilter(this);
    }
    // Never shown; their values are still loaded and stored.
    ckOptions[0] =
        new QCheckBox(QStringLiteral("&Start with last browsed image path"), frsplitter1);
    ckOptions[0]->setGeometry(Platform::TwipsRect(240, 645, 2805, 345));
    ckOptions[1] =
        new QCheckBox(QStringLiteral("Start browser in  &Thumbnail View  "), frsplitter1);
    ckOptions[1]->setGeometry(Platform::TwipsRect(300, 495, 2910, 345));
    ckOptions[1]->setEnabled(false);
    for (QCheckBox* c : ckOptions)
        c->hide();
    cmdAction[0] = new QPushButton(QStringLiteral("&Apply"), this);
    cmdAction[0]->setGeometry(Platform::TwipsRect(1155, 2970, 1620, 375));
    cmdAction[1] = new QPushButton(QStringLiteral("&Ok"), this);
    cmdAction[1]->setGeometry(Platform::TwipsRect(2985, 2955, 1620, 375));
    for (int i = 0; i < 2; ++i) {
        connect(cmdAction[i], &QPushButton::clicked, this, [this, i] { cmdAction_Click(i); });
        connect(optSplitters[i], &QRadioButton::clicked, this, &fOptions::optSplitters_Click);
    }
    Save = [this] { return mSetup::SaveSettings(setup_); };

    // Load: the label centred, then the settings.
    lblOpts->move((width() - lblOpts->width()) / 2, lblOpts->y());
    ShowSettings();
    if (owner) move(owner->geometry().center() - rect().center());
}

void fOptions::Select(int option) {
    optSplitters[option]->setChecked(true);
    optSplitters_Click(); // as a user's click would
}

void fOptions::ShowSettings() {
    if (setup_.HSplitOrientation == mSetup::kFalse)
        Select(0);
    else if (setup_.HSplitOrientation == mSetup::kTrue)
        Select(1);
    // Any other value: neither button is selected.
    ckOptions[0]->setChecked(setup_.StartWithLastPath != 0);
    ckOptions[1]->setChecked(setup_.StartInThumbnailView != 0);
}

void fOptions::optSplitters_Click() {
    if (hSplit_) hSplit_->SetOrientation(optSplitters[1]->isChecked() ? 1 : 0);
}

void fOptions::Image_Click(int which) {
    Select(which == 1 ? 1 : 0);
}

void fOptions::cmdAction_Click(int Index) {
    setup_.StartWithLastPath = ckOptions[0]->isChecked() ? mSetup::kTrue : mSetup::kFalse;
    setup_.StartInThumbnailView = ckOptions[1]->isChecked() ? mSetup::kTrue : mSetup::kFalse;
    setup_.HSplitOrientation = optSplitters[1]->isChecked() ? mSetup::kTrue : mSetup::kFalse;
    Save();
    if (Index == 1) close();
}

bool fOptions::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
        if (watched == Image1) Image_Click(1);
        if (watched == Image2) Image_Click(2);
    }
    return false;
}

void fOptions::keyPressEvent(QKeyEvent* e) {
    if (e->key() != Qt::Key_Escape || e->modifiers() != Qt::NoModifier) {
        QWidget::keyPressEvent(e);
        return;
    }
    // Cancel: the stored choice shows again (the layout with it) and nothing is saved.
    ShowSettings();
    close();
}
