#include "app/fMain.h"

#include "app/ImageFormatFilters.h"
#include "app/mSetup.h"
#include "app/mSetupUi.h"
#include "browse/mDirTreeview.h"
#include "imaging/MFreeImage_2.h"
#include "imaging/mScaleImage.h"
#include "platform/Platform.h"

#include <QCloseEvent>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>
#include <fstream>

std::string CurrentPattern;

fMain::fMain(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Vantrel by Corvane"));
    setMinimumSize(kMinWidth, kMinHeight);
    if (Setup.MainWindowState == mSetup::kWindowMaximised) setWindowState(Qt::WindowMaximized);

    vSplit = new QSplitter(Qt::Horizontal, this);
    hSplit = new QSplitter(Setup.HSplitOrientation ? Qt::Vertical : Qt::Horizontal, vSplit);
    pictreeview = new QWidget(hSplit);
    auto* listPane = new QWidget(hSplit);
    auto* listLayout = new QVBoxLayout(listPane);
    listLayout->setContentsMargins(0, 0, 0, 0);
    ComboFilter = new QComboBox(listPane);
    lvFiles = new FileListView(listPane);
    lblCount = new QLabel(listPane);
    listLayout->addWidget(ComboFilter);
    listLayout->addWidget(lvFiles, 1);
    listLayout->addWidget(lblCount);
    imgPane = new PicturePane(vSplit);
    ucGIF1 = new ucGIFViewer(imgPane);
    ucGIF1->SetBackColor(PictureBox::kDefaultBackColor);
    ucGIF1->hide();
    connect(imgPane, &PicturePane::resized, this, &fMain::RedrawPreview);
    connect(lvFiles, &FileListView::selectedRowChanged, this, &fMain::ShowRow);
    setCentralWidget(vSplit);

    // A stored share above 100 (a damaged file) is read as all of it.
    constexpr int kPercentScale = 100;
    const int h = std::min<int>(Setup.HSplitPercent, kPercentScale);
    const int v = std::min<int>(Setup.VSplitPercent, kPercentScale);
    hSplit->setSizes({h, kPercentScale - h});
    vSplit->setSizes({v, kPercentScale - v});

    // The filter rows; choosing one lists the current folder again.
    for (const ImageFormatFilter& f : ImageFormatFilters)
        ComboFilter->addItem(QString::fromUtf8(f.description.data(), int(f.description.size())));
    connect(ComboFilter, &QComboBox::currentIndexChanged, this, &fMain::OnFilterChanged);
    ComboFilter->setCurrentIndex(0);
    OnFilterChanged(0);

    FileView.SetListView(lvFiles);
    FileView.SetPattern(std::string(AllSupportedPattern));
    CurrentPattern = FileView.Pattern();
    FileView.AssignSysIL();

    mDirTreeview::SetPathChangeHandler([this] { nPathchange(); });
}

void fMain::SetSizeTwips(int widthTwips, int heightTwips) {
    resize(Platform::TwipsToPixels(widthTwips), Platform::TwipsToPixels(heightTwips));
}

void fMain::OnFilterChanged(int row) {
    if (row >= 0 && row < int(ImageFormatFilters.size()))
        CurrentPattern = std::string(ImageFormatFilters[std::size_t(row)].pattern);
    nPathchange();
}

void fMain::ShowRow(int row) {
    if (row < 0 || row >= lvFiles->Model()->rowCount() || mDirTreeview::sCurrentPath.empty())
        return;
    std::string file = mDirTreeview::sCurrentPath;
    if (file.back() != '/') file += '/';
    file += lvFiles->Model()->Row(row).name;
    char signature[3] = {};
    std::ifstream(file, std::ios::binary).read(signature, 3);
    QString size;
    if (std::string(signature, 3) == "GIF") {
        showingStill_ = false;
        ucGIF1->SetAutoPlay(true);
        ucGIF1->Destroy();
        ucGIF1->LoadFromFile(file);
        ucGIF1->show();
        size = QStringLiteral("%1x%2  %3 Frames")
                   .arg(ucGIF1->GIFWidth())
                   .arg(ucGIF1->GIFHeight())
                   .arg(ucGIF1->GIFFrames());
    } else {
        ucGIF1->hide();
        showingStill_ = true;
        MFreeImage_2::LoadImageFile(file, PicLoad);
        size = QStringLiteral("%1x%2").arg(PicLoad.Width()).arg(PicLoad.Height());
    }
    RedrawPreview();
    statusBar()->showMessage(lvFiles->Model()->NameText(row) + QStringLiteral("    ") + size);
}

void fMain::RedrawPreview() {
    PictureBox& pane = imgPane->Box();
    if (showingStill_) {
        mScaleImage::ScaleImageToBox(PicLoad, pane, 0, true);
    } else {
        pane.Cls();
    }
    imgPane->update();
    ucGIF1->setGeometry(0, 0, imgPane->width(), imgPane->height());
}

void fMain::nPathchange() {
    showingStill_ = false;
    ucGIF1->Destroy();
    imgPane->Box().Cls();
    imgPane->update();
    if (mDirTreeview::sCurrentPath.empty()) return;
    FileView.SetPattern(CurrentPattern);
    if (FileView.ListFiles(mDirTreeview::sCurrentPath, true)) {
        Setup.LastPath = mDirTreeview::sCurrentPath;
        lblCount->setText(QString::number(lvFiles->Model()->rowCount()) +
                          QStringLiteral(" Image Files"));
    }
}

void fMain::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    emit shown();
}

void fMain::closeEvent(QCloseEvent* e) {
    if (!isMinimized()) {
        Setup.MainWindowState = isMaximized() ? mSetup::kWindowMaximised : mSetup::kWindowNormal;
    }
    const QSize normal = (isMaximized() || isMinimized()) ? normalGeometry().size() : size();
    Setup.MainWidth = mSetup::ToTwipsField(double(normal.width()) * Platform::kTwipsPerPixel);
    Setup.MainHeight = mSetup::ToTwipsField(double(normal.height()) * Platform::kTwipsPerPixel);
    auto percent = [](const QList<int>& s) {
        const int total = s.size() == 2 ? s[0] + s[1] : 0;
        return total > 0 ? uint8_t((s[0] * 100 + total / 2) / total) : uint8_t(50);
    };
    Setup.HSplitPercent = percent(hSplit->sizes());
    Setup.VSplitPercent = percent(vSplit->sizes());
    mSetup::SaveSettings();
    mDirTreeview::CloseFolderTree();
    e->accept();
}
