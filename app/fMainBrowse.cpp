// The browsing and preview flow of the main window: listing the folder the
// tree chose, previewing the file a row names (a still picture or a GIF), the
// status panels and the full view. What is chosen, decoding and shown is the
// preview core's to say; this file carries its answers to the widgets.
#include "app/fMain.h"

#include "app/mSetup.h"
#include "app/mStartup.h"
#include "imaging/StillDecoder.h"
#include "imaging/mScaleImage.h"
#include "platform/Files.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>
#include <QScreen>
#include <QSocketNotifier>
#include <algorithm>
#include <cstring>
#include <system_error>
#include <thread>

namespace {

QString Shown(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

// The chosen file's failure in the full view, in place of the picture before
// (the whole picture that did not come for a file the pane shows, too).
void ShowFailureIn(fFullview* view, const cPreviewCore& preview) {
    if (!view) return;
    const bool failed = preview.state() == cPreviewCore::State::Failed;
    const std::string reason = failed ? preview.StatusTexts().detail : std::string();
    view->ShowFailure(Shown(preview.Name()),
                      QString::fromStdString(reason.empty() ? cPreviewCore::kFailedText : reason));
}

} // namespace

void fMain::ClearPreviewPane() {
    imgPane->Box().Cls();
    imgPane->update();
    ucGIF1->Destroy();
}

void fMain::ShowCount(int files) {
    lblCount->setText(QString::number(files) + QStringLiteral(" Image Files"));
    FitToolbar(); // a longer count may need the room of the captions
}

int fMain::RowOfName(const std::string& name) const {
    for (int row = 0; row < lvFiles->Model()->rowCount(); ++row)
        if (lvFiles->Model()->Row(row).name == name) return row;
    return -1;
}

void fMain::nPathchange() {
    // The folder asked for, also one that is gone or cannot be read: the
    // listing then says why. An empty path (a tree item without a folder)
    // lists the previous folder again.
    if (!state_.sCurrentPath.empty()) sFolder = state_.sCurrentPath;
    if (sFolder.empty() || !FileView.ListView()) {
        ClearPreviewPane();
        return;
    }
    AddBackslash(sFolder);
    FileView.SetPattern(state_.CurrentPattern);
    // What was read ahead belongs to the list as it was.
    if (!readAheadKey_.path.empty()) CancelStillDecode();
    cache_.Clear();
    // The chosen file of another folder is not in this one: its picture goes
    // now. One of this folder (Refresh, another filter) stays while the
    // folder is read, and goes if the listing leaves it out.
    if (preview_.Folder() != sFolder) ClearPreviewPane();
    SetListBusy(true);
    FileView.StartListing(sFolder, true);
}

void fMain::SetListBusy(bool busy) {
    if (busy == listBusy_) return;
    listBusy_ = busy;
    busy ? Platform::SetBusyPointer() : Platform::RestorePointer();
}

void fMain::OnListed(bool listed) {
    SetListBusy(false);
    if (!listed) {
        // Nothing of the folder shown before stays under the new one.
        ClearPreviewPane();
        ShowCount(0);
        CancelStillDecode();
        PicLoad.SetSize(0, 0);
        preview_.FolderFailed(Files::FolderErrorText(FileView.LastError()));
        ShowStatus();
        return;
    }
    setup_.LastPath = state_.sCurrentPath;
    ShowCount(lvFiles->Model()->rowCount());
    if (preview_.FolderListed()) ShowStatus(); // a folder that failed before is there now
    // The file chosen, listed again in its own folder (Refresh, a filter that
    // still has it, a row chosen while the folder was read), stays chosen,
    // selected and shown. Otherwise the pane is cleared; the status goes on
    // naming the file chosen last.
    const int kept = preview_.Folder() == sFolder ? RowOfName(preview_.Name()) : -1;
    if (kept >= 0)
        lvFiles->SelectRow(kept, true);
    else
        ClearPreviewPane();
    if (!wantedFile_.empty()) {
        const std::string wanted = std::exchange(wantedFile_, {});
        ChooseFile(wanted);
    }
}

void fMain::OnFolderChanged(const RowChanges& changes) {
    ShowCount(lvFiles->Model()->rowCount());
    const std::string chosen = preview_.Name();
    if (preview_.Folder() == sFolder && !chosen.empty()) {
        const auto named = [&chosen](const auto& list, auto nameOf) {
            return std::any_of(list.begin(), list.end(),
                               [&](const auto& item) { return nameOf(item) == chosen; });
        };
        if (named(changes.removed, [](const std::string& n) { return n; })) {
            // Its picture goes with it, and the status says why.
            CancelChoiceDecode();
            preview_.ChosenRemoved();
            ShowChoice();
            return;
        }
        for (const auto& [from, row] : changes.renamed) {
            if (from != chosen) continue;
            if (preview_.state() == cPreviewCore::State::Decoding) {
                ChooseRow(RowOfName(row.name)); // decoded under its new name
            } else {
                preview_.ChosenRenamed(row.name);
                ShowStatus();
            }
            return;
        }
        if (named(changes.changed, [](const FileRow& r) { return r.name; })) {
            ChooseRow(RowOfName(chosen)); // previewed again as it is now
            return;
        }
    }
    ReadAhead(); // the neighbours may be others now
}

void fMain::ChooseRow(int row) {
    if (row < 0 || row >= lvFiles->Model()->rowCount()) return;
    std::string folder = sFolder;
    AddBackslash(folder);
    const std::string file = lvFiles->Model()->Row(row).name;
    const std::string path = folder + file;
    DropFullViewWait(); // a full view asked for before is not one for this file
    FileHeader header;
    int error = 0; // why it could not be read, kept before anything else may set errno
    const PreviewRoad road = ReadFileHeader(path, header, error);
    // A picture chosen before and still decoding is not wanted now; one being
    // read ahead goes on (it may be this very file).
    CancelChoiceDecode();
    if (road == PreviewRoad::Unreadable) {
        preview_.ChooseUnreadable(folder, file, std::strerror(error));
        ShowChoice();
        return;
    }
    if (road == PreviewRoad::Gif) {
        BeginGif(path, preview_.Choose(folder, file, cPreviewCore::Kind::Gif));
        return;
    }
    const uint32_t id = preview_.Choose(folder, file, cPreviewCore::Kind::Still);
    wholePicture_.reset(); // a full view's picture is of the file chosen before
    if (!TakeReadAhead(path, id)) BeginStill(path, id, PaneBox());
    SetGifBusy(); // a GIF decoding for an earlier choice keeps no pointer
}

MFreeImage_2::Box fMain::PaneBox() const {
    // The preview's picture is decoded for exactly the pane it fills.
    return {imgPane->Box().Width(), imgPane->Box().Height()};
}

MFreeImage_2::Box fMain::ScreenBox() const {
    // The chosen picture is also kept fitted to the screen the window is on:
    // the pane never outgrows it, so a pane that changes size is drawn from
    // that, never from the original.
    const QScreen* s = screen();
    if (!s) return {};
    const QSize size = s->size() * s->devicePixelRatio();
    return {size.width(), size.height()};
}

MFreeImage_2::Box fMain::FittedSize() const {
    const cPreviewCore::Picture& facts = preview_.Facts();
    const mScaleImage::Placement p = mScaleImage::FitInBox(
        facts.width, facts.height, imgPane->Box().Width(), imgPane->Box().Height(), 0, true);
    return {p.width, p.height};
}

void fMain::RedrawStill(bool quick) {
    // A picture fitted to another pane size (or the screen's, larger) is
    // resampled to the pane's; the original's size gives where it goes.
    const bool still = preview_.kind() == cPreviewCore::Kind::Still &&
                       preview_.state() == cPreviewCore::State::Shown;
    const PictureBox* source = &PicLoad;
    PictureBox screenPicture;
    const MFreeImage_2::Box fitted = FittedSize();
    cPictureCache::Key key;
    if (quick && still && (PicLoad.Width() < fitted.width || PicLoad.Height() < fitted.height) &&
        cPictureCache::KeyOf(preview_.Path(), key)) {
        const MFreeImage_2::Box screenBox = ScreenBox();
        if (const cPictureCache::Entry* e = cache_.Find(key, screenBox.width, screenBox.height)) {
            screenPicture.AdoptSurface(e->picture);
            source = &screenPicture;
        }
    }
    const cPreviewCore::Picture& facts = preview_.Facts();
    mScaleImage::DrawFitted(*source, still ? facts.width : 0, still ? facts.height : 0,
                            imgPane->Box(),
                            quick ? mScaleImage::Resample::Quick : mScaleImage::Resample::Exact);
    imgPane->update();
}

void fMain::BeginStill(const std::string& path, uint32_t id, MFreeImage_2::Box box) {
    if (!StartDecode(path, box)) {
        FinishStill(id);
        return;
    }
    stillId_ = id;
    stillBox_ = box;
    SetStillBusy(true); // until the picture is there
}

bool fMain::StartDecode(const std::string& path, MFreeImage_2::Box box) {
    // Decoded by the confined helper while the window goes on; the answer
    // goes to the choice or to the read-ahead, whichever holds it by then.
    CancelStillDecode(); // one decode at a time
    StillDecoder& decoder = StillDecoder::Shared();
    if (!decoder.Begin(path, PicLoad.BackColor(), box)) return false;
    stillNotifier_ = new QSocketNotifier(decoder.Fd(), QSocketNotifier::Read, this);
    connect(stillNotifier_, &QSocketNotifier::activated, this, [this] {
        delete stillNotifier_.data();
        stillTimer_.stop();
        SetStillBusy(false);
        if (!readAheadKey_.path.empty())
            FinishReadAhead();
        else
            FinishStill(std::exchange(stillId_, 0));
    });
    stillTimer_.start(StillDecoder::kTimeLimitMs);
    return true;
}

void fMain::SetStillBusy(bool busy) {
    if (busy == stillBusy_) return;
    stillBusy_ = busy;
    busy ? Platform::SetBusyPointer() : Platform::RestorePointer();
}

void fMain::BeginGif(const std::string& path, uint32_t id) {
    // Decoded on a thread of its own, so that the window goes on; the
    // document comes back through the event loop, to a window that is still
    // there, and is shown only if its file is still the one chosen.
    ++gifsDecoding_;
    SetGifBusy();
    QPointer<fMain> window(this);
    try {
        std::thread([window, path, id] {
            std::shared_ptr<cGIF> document = ucGIFViewer::ReadDocument(path);
            QCoreApplication* app = QCoreApplication::instance();
            if (!app) return; // the program is ending: nobody waits for it
            QMetaObject::invokeMethod(
                app,
                [window, document = std::move(document), id]() mutable {
                    if (window) window->FinishGif(id, std::move(document));
                },
                Qt::QueuedConnection);
        }).detach();
    } catch (const std::system_error&) { // no thread to be had: a failed load
        FinishGif(id, nullptr);
    }
}

void fMain::FinishGif(uint32_t id, std::shared_ptr<cGIF> document) {
    --gifsDecoding_;
    SetGifBusy();
    if (preview_.PendingId() != id || preview_.kind() != cPreviewCore::Kind::Gif)
        return; // another file was chosen meanwhile
    ucGIF1->SetAutoPlay(true);
    const bool loaded = ucGIF1->ShowDocument(std::move(document));
    preview_.Answer(id, loaded, {ucGIF1->GIFWidth(), ucGIF1->GIFHeight(), ucGIF1->GIFFrames()});
    ShowChoice();
}

void fMain::SetGifBusy() {
    // The busy pointer while the GIF chosen last decodes.
    const bool busy = gifsDecoding_ > 0 && preview_.kind() == cPreviewCore::Kind::Gif &&
                      preview_.state() == cPreviewCore::State::Decoding;
    if (busy == gifBusy_) return;
    gifBusy_ = busy;
    busy ? Platform::SetBusyPointer() : Platform::RestorePointer();
}

void fMain::FinishStill(uint32_t id) {
    StillDecoder& decoder = StillDecoder::Shared();
    // The picture goes to a box of its own first: one for another choice is dropped.
    PictureBox answer;
    answer.SetBackColor(PicLoad.BackColor());
    const bool loaded = decoder.Finish(answer);
    const int fullWidth = loaded ? decoder.FullWidth() : 0;
    const int fullHeight = loaded ? decoder.FullHeight() : 0;
    const bool reduced = answer.Width() < fullWidth || answer.Height() < fullHeight;
    // The whole picture for a full view comes while the pane's is shown; it
    // goes to the full view, and the pane keeps its own.
    const bool whole = preview_.state() == cPreviewCore::State::Shown;
    const bool cameraPreview = loaded && decoder.ShownEmbeddedPreview();
    if (!preview_.Answer(id, loaded, {fullWidth, fullHeight, 0, reduced, cameraPreview},
                         decoder.FailureText()))
        return;
    if (loaded && whole) {
        wholePicture_ = answer.Image();
        wholePictureOf_ = preview_.Path();
    } else if (loaded) {
        PicLoad.AdoptSurface(answer.Image());
        cPictureCache::Key key; // kept for going back to it
        if (reduced && cPictureCache::KeyOf(preview_.Path(), key))
            cache_.Put({key, answer.Image(), fullWidth, fullHeight, stillBox_.width,
                        stillBox_.height, cameraPreview});
    }
    ShowChoice();
}

void fMain::StartFullDecode() {
    // The whole picture for a full view, where the preview holds a reduced one.
    if (const uint32_t id = preview_.TakeFullDecode())
        if (!TakeWholeAhead(preview_.Path(), id)) BeginStill(preview_.Path(), id, {});
}

void fMain::ShowChoice() {
    SetGifBusy();
    const bool gif = preview_.kind() == cPreviewCore::Kind::Gif;
    const bool shown = preview_.state() == cPreviewCore::State::Shown;
    if (gif && shown) {
        ucGIF1->setGeometry(0, 0, imgPane->width(), imgPane->height());
        ucGIF1->show();
    } else {
        ucGIF1->hide();
        if (gif) ucGIF1->Destroy();
        if (fullView_) fullView_->ucGIFView->hide();
        // A picture that does not decode shows as no picture, never as the
        // previous one under the new name.
        if (!shown) PicLoad.SetSize(0, 0);
        RedrawStill();
    }
    ShowStatus();
    // A full view asked for this choice (its busy pointer is up) opens on
    // its picture; an open one shows why there is none.
    const bool fullViewAsked = waitPointer_;
    if (preview_.TakeWaitingFullView())
        OpenFullViewOfChoice();
    else if (fullViewAsked && !preview_.FullViewWaiting() && FullViewOpen())
        ShowFailureIn(fullView_, preview_);
    StartFullDecode();
    if (!preview_.FullViewWaiting()) DropFullViewWait();
    ReadAhead();
}

void fMain::DropFullViewWait() {
    if (!waitPointer_) return;
    waitPointer_ = false;
    Platform::RestorePointer();
}

void fMain::ShowStatus() {
    const cPreviewCore::Status s = preview_.StatusTexts();
    sbInfo->SetText(1, Shown(TrimSpaces(s.name)));
    sbInfo->SetText(2, QString::fromStdString(s.size));
    QString detail = QString::fromStdString(s.detail);
    // Without its helper, or with a helper confined less than it should be: say so.
    if (detail.isEmpty() && preview_.kind() == cPreviewCore::Kind::Still &&
        preview_.state() == cPreviewCore::State::Shown)
        detail = StillDecoder::Shared().DecodesInProcess()
                     ? QString::fromLatin1(kInProcessNotice)
                     : QString::fromStdString(StillDecoder::Shared().ConfinementNotice());
    sbInfo->SetText(3, detail);
}

void fMain::ShowNotice(const QString& text) {
    sbInfo->SetText(1, text);
    sbInfo->SetText(2, QString());
    sbInfo->SetText(3, QString());
}

void fMain::CancelStillDecode() {
    if (!stillNotifier_) return;
    stillTimer_.stop();
    delete stillNotifier_.data(); // before the helper's socket closes
    StillDecoder::Shared().Abandon();
    SetStillBusy(false);
    stillId_ = 0;
    readAheadKey_ = {};
    readAheadBox_ = {};
}

void fMain::CancelChoiceDecode() {
    if (readAheadKey_.path.empty()) CancelStillDecode();
}

void fMain::StillTimedOut() {
    if (!stillNotifier_) return;
    delete stillNotifier_.data(); // before the helper's socket closes
    SetStillBusy(false);
    StillDecoder& decoder = StillDecoder::Shared();
    decoder.Expire();
    if (!readAheadKey_.path.empty()) { // nobody waits for it: given up quietly
        readAheadKey_ = {};
        return;
    }
    preview_.Answer(std::exchange(stillId_, 0), false, {}, decoder.FailureText());
    ShowChoice();
}

bool fMain::IsChosen(int row) const {
    std::string folder = sFolder;
    AddBackslash(folder);
    return preview_.Folder() == folder && preview_.Name() == lvFiles->Model()->Row(row).name;
}

bool fMain::ChooseFile(const std::string& name) {
    const int row = RowOfName(name);
    if (row < 0) {
        // Not listed yet: chosen once the next listing has it.
        wantedFile_ = name;
        return false;
    }
    lvFiles->SelectRow(row);
    lvFiles->CurrentView()->scrollTo(lvFiles->Model()->index(row, 0),
                                     QAbstractItemView::PositionAtCenter);
    lvFiles->CurrentView()->setFocus(); // the keys move on from the file asked for
    if (!IsChosen(row)) ChooseRow(row);
    return true;
}

fFullview* fMain::FullView() {
    if (!fullView_) {
        fullView_ = new fFullview(this);
        connect(fullView_, &fFullview::StepRequested, this, &fMain::StepFullView);
    }
    return fullView_;
}

void fMain::StepFullView(int delta) {
    // The next or previous row of the list as it is shown, chosen as a key
    // in the list would choose it, and shown in the full view once its
    // picture is there; at either end of the list the picture stays.
    std::string folder = sFolder;
    AddBackslash(folder);
    const int current = preview_.Folder() == folder ? RowOfName(preview_.Name()) : -1;
    const int row = current + delta;
    if (current < 0 || row < 0 || row >= lvFiles->Model()->rowCount()) return;
    lvFiles->SelectRow(row);
    lvFiles->CurrentView()->scrollTo(lvFiles->Model()->index(row, 0));
    if (!IsChosen(row)) ChooseRow(row);
    RequestFullView();
    // One that could not even be read failed at once.
    if (preview_.state() == cPreviewCore::State::Failed) ShowFailureIn(fullView_, preview_);
}

bool fMain::FullViewOpen() const {
    return fullView_ && fullView_->isVisible();
}

void fMain::RequestFullView() {
    switch (preview_.RequestFullView()) {
    case cPreviewCore::FullView::Open:
        OpenFullViewOfChoice();
        break;
    case cPreviewCore::FullView::Wait:
        // The busy pointer stays until the picture is there; then it opens.
        if (!waitPointer_) Platform::SetBusyPointer();
        waitPointer_ = true;
        StartFullDecode();
        break;
    case cPreviewCore::FullView::None:
        break; // nothing chosen, or it failed: no empty full view
    }
}

void fMain::OpenFullViewOfChoice() {
    fFullview* view = FullView();
    if (preview_.kind() == cPreviewCore::Kind::Gif) {
        view->ShowGifOf(*ucGIF1);
    } else {
        const bool whole = wholePicture_ && wholePictureOf_ == preview_.Path();
        view->ShowStill(whole                        ? wholePicture_
                        : PicLoad.Surface().lpBits() ? PicLoad.Image()
                                                     : StdPicture());
    }
    view->show();
    view->activateWindow();
    if (preview_.kind() == cPreviewCore::Kind::Gif) PausePreviewBehind(view);
    ReadAhead(); // the neighbours whole, for stepping in the full view
}

void fMain::PausePreviewBehind(fFullview* view) {
    // Nobody sees the preview under a full view that fills its screen, and
    // each of its steps composes a whole frame: it stops, and plays on from
    // the frame it stopped at once the full view is gone. A preview on
    // another screen stays in sight and keeps playing.
    if (!ucGIF1->GIFIsPlaying() || view->screen() != ucGIF1->screen()) return;
    ucGIF1->Pause();
    connect(view, &QObject::destroyed, ucGIF1, [gif = ucGIF1] {
        if (gif->GIFLoaded()) gif->Play();
    });
}

void fMain::OnListKey(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        emit exitRequested();
        return;
    }
    // Enter: the full view of the row the list shows selected; one the
    // listing selected is chosen first, as Space would.
    const int row = lvFiles->SelectedRow();
    if (row >= 0 && !IsChosen(row)) ChooseRow(row);
    RequestFullView();
}
