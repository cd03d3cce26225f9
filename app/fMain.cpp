// The main window's controls, load steps and layout arithmetic.
#include "app/fMain.h"

#include "app/ImageFormatFilters.h"
#include "app/mSetup.h"
#include "app/mSetupUi.h"
#include "browse/mDirTreeview.h"
#include "imaging/mScaleImage.h"
#include "platform/Files.h"
#include "platform/InputEvents.h"
#include "platform/Platform.h"
#include "platform/Product.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QMessageBox>
#include <QScreen>
#include <algorithm>

namespace {
constexpr int kPercentScale = 100;
}

fMain::fMain(BrowsingState& state, SetupRecord& setup, DecoderPool& pool, QWidget* parent)
    : QWidget(parent), state_(state), setup_(setup), pool_(pool) {
    BuildControls();

    // Load, in order. 1: the file list builder is a member.
    if (setup_.MainWindowState == mSetup::kWindowMaximised) setWindowState(Qt::WindowMaximized);
    lblCount->setText(QString());

    // A stored share above 100 (a damaged file) is read as all of it
    // (leniency settings-share-over-100, gif/README.md).
    hSplit->SetChild1(pictreeview);
    hSplit->SetChild2(picLV);
    hSplit->SetOrientation(setup_.HSplitOrientation);
    hSplit->SetSplitPercent(std::min<int>(setup_.HSplitPercent, kPercentScale));
    vSplit->SetChild1(hSplit);
    vSplit->SetChild2(imgPane);
    vSplit->SetOrientation(setup_.VSplitOrientation);
    vSplit->SetSplitPercent(std::min<int>(setup_.VSplitPercent, kPercentScale));

    for (const ImageFormatFilter& f : ImageFormatFilters)
        ComboFilter->addItem(QString::fromUtf8(f.description.data(), int(f.description.size())));
    connect(ComboFilter, &QComboBox::currentIndexChanged, this, &fMain::OnFilterChanged);
    ComboFilter->setCurrentIndex(0);
    OnFilterChanged(0);

    lvFiles->SetLargeIconView(false); // the report view, whole rows selected

    FileView.SetListView(lvFiles);
    FileView.SetPattern(std::string(AllSupportedPattern));
    state_.CurrentPattern = FileView.Pattern();
    if (!FileView.AssignSysIL()) {
        QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(Product::kName),
                        QStringLiteral("Error in AssignSysIl"), QMessageBox::Ok, this);
        box.exec();
    }
    ucGIF1->hide();
    setWindowTitle(QString::fromLatin1(Product::kName) + QStringLiteral(" by ") +
                   QString::fromLatin1(Product::kPublisher));
    cmdVisit->setText(QStringLiteral("Visit ") + QString::fromLatin1(Product::kPublisher));

    state_.TreeHost = pictreeview;
    state_.PathChanged = [this] { nPathchange(); };
    // A folder that went while listed is listed again: the list empties and
    // the status says why.
    state_.FolderGone = [this] {
        if (!sFolder.empty() && !Files::IsFolder(sFolder)) nPathchange();
    };
    FileView.RowsArrived = [this] {
        ShowCount(lvFiles->Model()->rowCount());
        emit listUpdated();
    };
    FileView.Listed = [this](bool listed) {
        OnListed(listed);
        emit listUpdated();
    };
    FileView.Changed = [this](const RowChanges& changes) {
        OnFolderChanged(changes);
        ChooseRestored();
        emit listUpdated();
    };
    FileView.FolderGone = [this] { nPathchange(); };

    // The decoder pool's answers, taken as they come.
    poolNotifier_ = new QSocketNotifier(pool_.NotifyFd(), QSocketNotifier::Read, this);
    connect(poolNotifier_, &QSocketNotifier::activated, this, &fMain::OnPoolAnswers);
    peekNotifier_ = new QSocketNotifier(peek_.NotifyFd(), QSocketNotifier::Read, this);
    connect(peekNotifier_, &QSocketNotifier::activated, this, &fMain::OnPeekAnswers);
    // Once the pane has kept its size a moment, its picture is fitted anew.
    settleTimer_.setSingleShot(true);
    settleTimer_.setInterval(kSettleMs);
    connect(&settleTimer_, &QTimer::timeout, this, &fMain::ReadAhead);
}

fMain::~fMain() {
    FileView.StopWatching();
    CancelDecodes(false);
    CancelDecodes(true);
    finished_ = true; // no busy pointer any more
    UpdateBusyPointer();
}

void fMain::BuildControls() {
    BuildToolbar();

    vSplit = new Splitter(this);
    hSplit = new Splitter(vSplit);
    for (Splitter* s : {vSplit, hSplit})
        s->SetSplitterWidth(kSplitterWidthTwips);
    imgPane = new PicturePane(vSplit);
    imgPane->Box().SetBackColor(kPaneGrey);
    ucGIF1 = new ucGIFViewer(imgPane);
    ucGIF1->SetBackColor(kPaneGrey);
    pictreeview = new QWidget(hSplit);
    picLV = new QWidget(hSplit);
    picLV->setAutoFillBackground(true);
    QPalette grey = picLV->palette();
    grey.setColor(QPalette::Window, Platform::TranslateColor(kPaneGrey));
    picLV->setPalette(grey);
    ComboFilter = new QComboBox(picLV);
    lvFiles = new FileListView(picLV);
    thumbnails_ = new cIconThumbnails(lvFiles, FileView, this);

    cmdAbout = new QPushButton(QStringLiteral("&About this program"), this);
    cmdVisit = new QPushButton(this);
    for (QPushButton* b : {cmdAbout, cmdVisit})
        b->resize(b->width(), kButtonHeight);
    picStatus = new QWidget(this);
    picStatus->resize(picStatus->width(), kStatusHeight);
    sbInfo = new StatusPanels(picStatus);
    pbThumbs = new Kv_Progbar(picStatus);
    pbThumbs->SetBackColor(0x00C0C0C0);
    pbThumbs->SetBarcolor(0x00808080);
    pbThumbs->SetBarstyle(5);
    pbThumbs->hide(); // kept, never shown: nothing lays it out

    const std::pair<QObject*, const char*> names[] = {
        {tbrMain, "tbrMain"},         {picCount, "picCount"},       {lblCount, "lblCount"},
        {vSplit, "vSplit"},           {hSplit, "hSplit"},           {imgPane, "imgPane"},
        {ucGIF1, "ucGIF1"},           {pictreeview, "pictreeview"}, {picLV, "picLV"},
        {ComboFilter, "ComboFilter"}, {lvFiles, "lvFiles"},         {cmdAbout, "cmdAbout"},
        {cmdVisit, "cmdVisit"},       {picStatus, "picStatus"},     {sbInfo, "sbInfo"},
        {pbThumbs, "pbThumbs"}};
    for (const auto& [control, name] : names)
        control->setObjectName(QString::fromLatin1(name));
    for (QWidget* w : {picLV, picStatus, pictreeview})
        w->installEventFilter(this);
    connect(imgPane, &PicturePane::resized, this, &fMain::OnPaneResized);
    for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(lvFiles->ReportView()),
                                 static_cast<QAbstractItemView*>(lvFiles->IconView())})
        v->installEventFilter(this);
    imgPane->installEventFilter(this);
    // A row is chosen by a press of the mouse (also on the row selected
    // already) or by moving the selection with the keyboard.
    connect(lvFiles, &FileListView::selectedRowChanged, this, [this](int row) {
        if (QGuiApplication::mouseButtons() == Qt::NoButton) ChooseRow(row);
    });
    connect(lvFiles, &FileListView::rowPressed, this, &fMain::ChooseRow);
    connect(lvFiles, &FileListView::rowDoubleClicked, this, [this](int) { RequestFullView(); });
    connect(ucGIF1, &ucGIFViewer::DblClick, this, &fMain::RequestFullView);
    // The commands also from the preview's context menu, those on files after them.
    auto* filesApart = new QAction(this);
    filesApart->setSeparator(true);
    for (QWidget* w : {static_cast<QWidget*>(imgPane), static_cast<QWidget*>(ucGIF1)}) {
        w->setContextMenuPolicy(Qt::ActionsContextMenu);
        w->addActions(commands_->Commands());
        w->addAction(CommandAction(Command::FullScreen));
        w->addAction(filesApart);
        w->addActions(commands_->FileCommands());
    }
    BuildFileCommands();
    BuildTransferDialogs();
    connect(this, &fMain::exitRequested, this, &QWidget::close);
    connect(cmdAbout, &QPushButton::clicked, this, &fMain::ShowAbout);
    connect(cmdVisit, &QPushButton::clicked, this, [] { ShellOpen(Product::kPublisherUrl); });
}

void fMain::SetSizeTwips(int widthTwips, int heightTwips) {
    QSize size(Platform::TwipsToPixels(widthTwips), Platform::TwipsToPixels(heightTwips));
    // A stored size larger than the screen opens at the screen's available size.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size());
    resize(size);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void fMain::OnFilterChanged(int row) {
    if (row >= 0 && row < int(ImageFormatFilters.size()))
        state_.CurrentPattern = std::string(ImageFormatFilters[std::size_t(row)].pattern);
    nPathchange();
}

void fMain::resizeEvent(QResizeEvent*) {
    if (isMinimized()) return;
    const QSize outer = frameGeometry().size();
    const QSize frame = outer - size();
    const int minW = Platform::TwipsToPixels(kMinWidthTwips);
    const int minH = Platform::TwipsToPixels(kMinHeightTwips);
    // Below the smallest size the window snaps back to it; the panes are laid
    // out for the size it has now all the same, since a snap to the size it
    // already has (a frame not counted yet) brings no further resize.
    if (outer.width() < minW) resize(minW - frame.width(), height());
    if (outer.height() < minH) resize(width(), minH - frame.height());
    LayOut();
}

void fMain::FitToolbar() {
    // Captions beside the icons where they fit; icons alone in a window too
    // narrow for them (the tooltips name each command and its key).
    tbrMain->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    // Measured as laid out now: a count that grew since the last fit (rows
    // arriving in parts) must not be measured at its earlier length.
    for (QWidget* w : {picCount, static_cast<QWidget*>(tbrMain)})
        if (QLayout* layout = w->layout()) layout->invalidate();
    if (tbrMain->sizeHint().width() > width()) tbrMain->setToolButtonStyle(Qt::ToolButtonIconOnly);
}

void fMain::LayOut() {
    const int SW = width(), SH = height();
    FitToolbar();
    tbrMain->setGeometry(0, 0, SW, kToolbarHeight);
    const int toolTop = tbrMain->y(), toolHeight = tbrMain->height();
    const int statusHeight = picStatus->height(), aboutHeight = cmdAbout->height();
    vSplit->setGeometry(kMargin, toolTop + toolHeight + kMargin, SW - 2 * kMargin,
                        SH - toolHeight - statusHeight - aboutHeight - 2 * kMargin);
    cmdAbout->setGeometry(kMargin, vSplit->y() + vSplit->height() + kGap, vSplit->width() / 2,
                          aboutHeight);
    cmdVisit->setGeometry(cmdAbout->x() + cmdAbout->width() + kGap, cmdAbout->y(),
                          vSplit->width() / 2 - kGap, cmdVisit->height());
    picStatus->setGeometry(kMargin, cmdAbout->y() + cmdAbout->height() + kGap, SW - 2 * kMargin,
                           kStatusHeight);
}

void fMain::OnPaneResized() {
    // Drawn at once from what is held, quickly; the picture fitted to the
    // new size is decoded once the size stays. A pane that shows no picture
    // yet (the first layout, a choice still decoding) postpones nothing: a
    // picture that arrives is fitted to the pane as it is then.
    RedrawStill(true);
    ucGIF1->setGeometry(0, 0, imgPane->width(), imgPane->height());
    if (preview_.state() == cPreviewCore::State::Shown) settleTimer_.start();
}

bool fMain::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::Resize) {
        if (watched == picLV) {
            const int comboHeight = ComboFilter->sizeHint().height();
            ComboFilter->setGeometry(0, 0, picLV->width(), comboHeight);
            lvFiles->setGeometry(0, comboHeight, picLV->width(), picLV->height() - comboHeight);
        } else if (watched == picStatus) {
            sbInfo->setGeometry(0, 0, picStatus->width(), picStatus->height());
        } else if (watched == pictreeview) {
            mDirTreeview::MoveTree(state_, 0, 0, pictreeview->width(), pictreeview->height());
        }
        return false;
    }
    if (e->type() == QEvent::KeyPress &&
        (watched == lvFiles->ReportView() || watched == lvFiles->IconView())) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_Escape || k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
            OnListKey(k);
            return true;
        }
        // Space chooses the row under the cursor, as a click would: the one
        // way to preview the first row, selected by the listing, by keys.
        if (k->key() == Qt::Key_Space && k->modifiers() == Qt::NoModifier) {
            ChooseRow(lvFiles->SelectedRow());
            return true;
        }
        return false;
    }
    if (e->type() == QEvent::MouseButtonDblClick && watched == imgPane) {
        RequestFullView();
        return true;
    }
    return false;
}

void fMain::keyPressEvent(QKeyEvent* e) {
    int16_t key = 0;
    if (InputEvents::KeyAscii(e, key) && key == InputEvents::kKeyEscape && !CancelWaitingFullView())
        emit exitRequested();
}

void fMain::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    emit shown();
}

void fMain::StoreLayout() {
    // A window that fills the screen keeps the size and state it had before.
    const QSize normal =
        (isMaximized() || isMinimized() || isFullScreen()) ? normalGeometry().size() : size();
    setup_.MainWidth = mSetup::ToTwipsField(double(normal.width()) * Platform::kTwipsPerPixel);
    setup_.MainHeight = mSetup::ToTwipsField(double(normal.height()) * Platform::kTwipsPerPixel);
    setup_.HSplitPercent = hSplit->SplitPercent();
    setup_.VSplitPercent = vSplit->SplitPercent();
    if (!isMinimized())
        setup_.MainWindowState = isMaximized() ? mSetup::kWindowMaximised : mSetup::kWindowNormal;
}

void fMain::closeEvent(QCloseEvent* e) {
    // Every way of closing asks first; the window stays unless the answer is Yes.
    if (!exiting_) {
        e->ignore();
        if (asking_) return;
        asking_ = true;
        const bool yes = AskExit();
        asking_ = false;
        if (!yes || exiting_) return; // No, or ended while the question was open
        exiting_ = true;
    }
    FinishExit();
    e->accept();
}

void fMain::FinishExit() {
    if (finished_) return; // a second request to end saves nothing twice
    finished_ = true;
    ucGIF1->Destroy();
    mDirTreeview::CloseFolderTree(state_);
    StoreLayout();
    mSetup::SaveSettings(setup_); // a file that cannot be written stays as it was
    for (QWidget* w : std::initializer_list<QWidget*>{fullView_, options_, help_, about_})
        if (w) w->close();
}
