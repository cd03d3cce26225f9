// The browsing and preview flow of the main window: listing the folder the
// tree chose, previewing the file a row names (a still picture or a GIF), the
// status panels and the full view.
#include "app/fMain.h"

#include "app/mSetup.h"
#include "app/mStartup.h"
#include "imaging/StillDecoder.h"
#include "imaging/mScaleImage.h"
#include "platform/Platform.h"

#include <QFile>
#include <QKeyEvent>
#include <QSocketNotifier>
#include <sys/stat.h>

namespace {

// The busy pointer for as long as it lives, restored on every way out.
class BusyPointer {
  public:
    BusyPointer() { Platform::SetBusyPointer(); }
    ~BusyPointer() { Platform::RestorePointer(); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};

QString Shown(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

void fMain::nPathchange() {
    imgPane->Box().Cls();
    imgPane->update();
    ucGIF1->Destroy();
    // The folder, as one enumeration both lists and counts it: a path that is
    // no folder leaves the previous one.
    if (IsFolder(state_.sCurrentPath)) sFolder = state_.sCurrentPath;
    if (sFolder.empty() || !FileView.ListView()) return;
    FileView.SetPattern(state_.CurrentPattern);
    listing_ = true;
    const bool listed = FileView.ListFiles(AddBackslash(sFolder), true);
    listing_ = false;
    if (!listed) return;
    Setup.LastPath = state_.sCurrentPath;
    lblCount->setText(QString::number(lvFiles->Model()->rowCount()) +
                      QStringLiteral(" Image Files"));
}

void fMain::ChooseRow(int row) {
    if (row < 0 || row >= lvFiles->Model()->rowCount()) return;
    std::string folder = sFolder;
    const std::string file = lvFiles->Model()->Row(row).name;
    BusyPointer busy;
    FileHeader header = fileHeader;
    const PreviewRoad road = ReadFileHeader(AddBackslash(folder) + file, header);
    // A file that cannot be read changes nothing.
    if (road == PreviewRoad::Unreadable) return;
    sSelFolder = folder;
    sSelFile = file;
    fileHeader = header;
    const std::string path = sSelFolder + sSelFile;
    const QString name = Shown(TrimSpaces(sSelFile));

    CancelStillDecode(); // a picture chosen before and still decoding is not wanted now
    if (road == PreviewRoad::Still) {
        ucGIF1->hide();
        FullView()->ucGIFView->hide();
        // Decoded by the confined helper while the window goes on; without
        // one, here and now.
        StillDecoder& decoder = StillDecoder::Shared();
        if (!decoder.Begin(path, PicLoad.BackColor()) || decoder.Ready()) {
            ShowStill(decoder.Finish(PicLoad), name);
            return;
        }
        pendingStillName_ = name;
        Platform::SetBusyPointer(); // until the picture is there
        stillNotifier_ = new QSocketNotifier(decoder.Fd(), QSocketNotifier::Read, this);
        connect(stillNotifier_, &QSocketNotifier::activated, this,
                [this] { FinishStillDecode(StillDecoder::Shared().Finish(PicLoad)); });
        stillTimer_.start(StillDecoder::kTimeLimitMs);
        return;
    }
    ucGIF1->SetAutoPlay(true);
    ucGIF1->Destroy();
    ucGIF1->LoadFromFile(path);
    ucGIF1->setGeometry(0, 0, imgPane->width(), imgPane->height());
    ucGIF1->show();
    sbInfo->SetText(1, name);
    sbInfo->SetText(2, QStringLiteral("%1x%2").arg(ucGIF1->GIFWidth()).arg(ucGIF1->GIFHeight()));
    sbInfo->SetText(3, QString::number(ucGIF1->GIFFrames()) + QStringLiteral(" Frames"));
}

void fMain::ShowStill(bool loaded, const QString& name) {
    // A picture that does not decode shows as no picture, never as the
    // previous one under the new name.
    if (!loaded) PicLoad.SetSize(0, 0);
    RedrawStill();
    sbInfo->SetText(1, name);
    sbInfo->SetText(2, loaded ? QStringLiteral("%1x%2").arg(PicLoad.Width()).arg(PicLoad.Height())
                              : QString());
    sbInfo->SetText(3, QString());
}

void fMain::FinishStillDecode(bool loaded) {
    if (!stillNotifier_) return;
    stillTimer_.stop();
    delete stillNotifier_.data();
    Platform::RestorePointer();
    ShowStill(loaded, pendingStillName_);
}

void fMain::CancelStillDecode() {
    if (!stillNotifier_) return;
    stillTimer_.stop();
    delete stillNotifier_.data(); // before the helper's socket closes
    StillDecoder::Shared().Abandon();
    Platform::RestorePointer();
}

bool fMain::ChooseFile(const std::string& name) {
    for (int row = 0; row < lvFiles->Model()->rowCount(); ++row) {
        if (lvFiles->Model()->Row(row).name != name) continue;
        lvFiles->SelectRow(row);
        if (sSelFile != name || sSelFolder != AddBackslash(sFolder)) ChooseRow(row);
        return true;
    }
    return false;
}

fFullview* fMain::FullView() {
    if (!fullView_) fullView_ = new fFullview(this);
    return fullView_;
}

void fMain::imgPane_DblClick() {
    fFullview* view = FullView();
    view->imView->SetPicture(PicLoad.Surface().lpBits() ? PicLoad.Image() : StdPicture());
    view->show();
    view->activateWindow();
}

void fMain::ucGIF1_DblClick() {
    if (!ucGIF1->GIFLoaded()) {
        imgPane_DblClick();
        return;
    }
    fFullview* view = FullView();
    view->ucGIFView->LoadFromFile(sSelFolder + sSelFile);
    view->ucGIFView->show();
    view->show();
    view->activateWindow();
}

void fMain::OnListKey(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        emit exitRequested();
        return;
    }
    // Enter: the full view of the file chosen last, by the header read then.
    fileHeader.IsGif() ? ucGIF1_DblClick() : imgPane_DblClick();
}
