#include "app/fMain.h"

#include "app/ImageFormatFilters.h"
#include "app/mSetup.h"
#include "app/mSetupUi.h"
#include "browse/mDirTreeview.h"
#include "platform/Platform.h"

#include <QCloseEvent>
#include <QVBoxLayout>

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
    picPreview = new QWidget(vSplit);
    picPreview->setMinimumSize(1, 1);
    setCentralWidget(vSplit);

    constexpr int kPercentScale = 100;
    hSplit->setSizes({Setup.HSplitPercent, kPercentScale - Setup.HSplitPercent});
    vSplit->setSizes({Setup.VSplitPercent, kPercentScale - Setup.VSplitPercent});

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

void fMain::nPathchange() {
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
