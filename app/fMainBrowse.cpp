// The browsing and preview flow of the main window: listing the folder the
// tree chose, previewing the file a row names (a still picture or a GIF), the
// status panels and the full view. What is chosen, decoding and shown is the
// preview core's to say; this file carries its answers to the widgets.
#include "app/fMain.h"

#include "app/mSetup.h"
#include "app/mStartup.h"
#include "imaging/HelperProcess.h"
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
    // Asked after every decode for the chosen file: where it was chosen is
    // looked at first, before a walk through a folder of maybe 100,000 rows.
    const int rows = lvFiles->Model()->rowCount();
    if (chosenRow_ >= 0 && chosenRow_ < rows && lvFiles->Model()->Row(chosenRow_).name == name)
        return chosenRow_;
    for (int row = 0; row < rows; ++row)
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
    CancelDecodes(true);
    cache_.Clear();
    // The chosen file of another folder is not in this one: its picture goes
    // now. One of this folder (Refresh, another filter) stays while the
    // folder is read, and goes if the listing leaves it out.
    if (preview_.Folder() != sFolder) ClearPreviewPane();
    SetListBusy(true);
    FileView.StartListing(sFolder, true);
}

void fMain::SetListBusy(bool busy) {
    listBusy_ = busy;
    UpdateBusyPointer();
}

void fMain::UpdateBusyPointer() {
    // The busy pointer while a folder is read, while the chosen file's
    // picture is on its way, and while a full view waits for its picture.
    const bool busy = !finished_ && (listBusy_ || fullViewAsked_ ||
                                     preview_.state() == cPreviewCore::State::Decoding);
    if (busy == busyPointer_) return;
    busyPointer_ = busy;
    busy ? Platform::SetBusyPointer() : Platform::RestorePointer();
}

void fMain::OnListed(bool listed) {
    SetListBusy(false);
    if (!listed) {
        // Nothing of the folder shown before stays under the new one.
        ClearPreviewPane();
        ShowCount(0);
        CancelDecodes(false);
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
    // Pictures of a file as it was before are never shown again.
    for (const std::string& name : changes.removed)
        DropCached(sFolder + name);
    for (const auto& [from, row] : changes.renamed)
        DropCached(sFolder + from);
    for (const FileRow& row : changes.changed)
        DropCached(sFolder + row.name);
    const std::string chosen = preview_.Name();
    if (preview_.Folder() == sFolder && !chosen.empty()) {
        const auto named = [&chosen](const auto& list, auto nameOf) {
            return std::any_of(list.begin(), list.end(),
                               [&](const auto& item) { return nameOf(item) == chosen; });
        };
        if (named(changes.removed, [](const std::string& n) { return n; })) {
            // Its picture goes with it, and the status says why.
            CancelDecodes(false);
            preview_.ChosenRemoved();
            ShowChoice();
            return;
        }
        for (const auto& [from, row] : changes.renamed) {
            if (from != chosen) continue;
            if (preview_.state() == cPreviewCore::State::Decoding) {
                ChooseRow(RowOfName(row.name)); // decoded under its new name
            } else {
                // The same picture under its new name (a GIF plays on).
                preview_.ChosenRenamed(row.name);
                chosenKey_.path = sFolder + row.name;
                ShowStatus();
            }
            return;
        }
        if (named(changes.changed, [](const FileRow& r) { return r.name; })) {
            const bool fullView = FullViewOpen();
            ChooseRow(RowOfName(chosen));    // previewed again as it is now
            if (fullView) RequestFullView(); // and so in the full view, once decoded
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
    ResetViewTurn();
    // A picture chosen before and still decoding is not wanted now; one being
    // read ahead goes on (it may be this very file).
    CancelDecodes(false);
    if (peekTicket_ != 0) peek_.Cancel(std::exchange(peekTicket_, 0));
    scheduler_.NewChoice(); // a new choice has new neighbours
    wholePicture_.reset();  // a full view's picture is of the file chosen before
    chosenKey_ = RowKey(row);
    chosenRow_ = row;
    // The pool reads the file's first bytes: a GIF comes back as one, and
    // goes to the animated viewer then.
    const uint32_t id = preview_.Choose(folder, file, cPreviewCore::Kind::Still);
    if (!ShowReadAhead(chosenKey_, id)) BeginStill(path, id);
    UpdateBusyPointer();
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
    if (quick && still && (PicLoad.Width() < fitted.width || PicLoad.Height() < fitted.height)) {
        const MFreeImage_2::Box screenBox = ScreenBox();
        if (const cPictureCache::Entry* e =
                cache_.Find(chosenKey_, screenBox.width, screenBox.height)) {
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

void fMain::BeginGif(const std::string& path, uint32_t id) {
    // Decoded on a thread of its own, so that the window goes on; the
    // document comes back through the event loop, to a window that is still
    // there, and is shown only if its file is still the one chosen.
    ++gifsDecoding_;
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
    UpdateBusyPointer();
    if (preview_.PendingId() != id || preview_.kind() != cPreviewCore::Kind::Gif)
        return; // another file was chosen meanwhile
    ucGIF1->SetAutoPlay(true);
    const bool loaded = ucGIF1->ShowDocument(std::move(document));
    preview_.Answer(id, loaded, {ucGIF1->GIFWidth(), ucGIF1->GIFHeight(), ucGIF1->GIFFrames()});
    ShowChoice();
}

void fMain::ShowChoice() {
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
    // its picture; an open one shows why there is none, also when the file
    // it shows failed since (removed from its folder).
    const bool fullViewAsked = fullViewAsked_;

    if (preview_.TakeWaitingFullView())
        OpenFullViewOfChoice();
    else if (FullViewOpen() && ((fullViewAsked && !preview_.FullViewWaiting()) ||
                                preview_.state() == cPreviewCore::State::Failed))
        ShowFailureIn(fullView_, preview_); // also for a file it showed, gone since
    StartFullDecode();
    if (!preview_.FullViewWaiting()) DropFullViewWait();
    ReadAhead();
    UpdateBusyPointer();
}

bool fMain::CancelWaitingFullView() {
    if (!fullViewAsked_ && !preview_.FullViewWaiting()) return false;
    preview_.DropWaitingFullView();
    DropFullViewWait();
    return true;
}

void fMain::DropFullViewWait() {
    fullViewAsked_ = false;
    UpdateBusyPointer();
}

void fMain::ShowStatus() {
    const cPreviewCore::Status s = preview_.StatusTexts();
    sbInfo->SetText(1, Shown(TrimSpaces(s.name)));
    sbInfo->SetText(2, QString::fromStdString(s.size));
    QString detail = QString::fromStdString(s.detail);
    // Without its helper, or with a helper confined less than it should be: say so.
    if (detail.isEmpty() && preview_.kind() == cPreviewCore::Kind::Still &&
        preview_.state() == cPreviewCore::State::Shown)
        detail =
            inProcess_
                ? QString::fromLatin1(kInProcessNotice)
                : QString::fromStdString(HelperProcess::ConfinementNotice(missingConfinement_));
    sbInfo->SetText(3, detail);
}

void fMain::ShowNotice(const QString& text) {
    sbInfo->SetText(1, text);
    sbInfo->SetText(2, QString());
    sbInfo->SetText(3, QString());
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
        const auto apart = [view = fullView_.data()] {
            auto* separator = new QAction(view);
            separator->setSeparator(true);
            return separator;
        };
        fullView_->SetCommands(
            {CommandAction(Command::Trash), CommandAction(Command::DeleteForGood), apart(),
             CommandAction(Command::RotateLeft), CommandAction(Command::RotateRight),
             CommandAction(Command::Flip), apart(), CommandAction(Command::Undo), apart(),
             CommandAction(Command::FullScreen)});
    }
    return fullView_;
}

void fMain::StepFullView(int delta) {
    // The next or previous row of the list as it is shown, chosen as a key
    // in the list would choose it, and shown in the full view once its
    // picture is there; at either end of the list the picture stays. When
    // the chosen file went from the list, its neighbours are where it was.
    std::string folder = sFolder;
    AddBackslash(folder);
    const bool here = preview_.Folder() == folder;
    const int current = here ? RowOfName(preview_.Name()) : -1;
    int row = current + delta;
    if (current < 0 && here && chosenRow_ >= 0 && !preview_.Name().empty())
        row = delta > 0 ? chosenRow_ + delta - 1 : chosenRow_ + delta;
    else if (current < 0)
        return;
    if (row < 0 || row >= lvFiles->Model()->rowCount()) return;
    lvFiles->SelectRow(row);
    lvFiles->CurrentView()->scrollTo(lvFiles->Model()->index(row, 0));
    if (!IsChosen(row)) ChooseRow(row);
    RequestFullView();
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
        fullViewAsked_ = true;
        StartFullDecode();
        UpdateBusyPointer();
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
        KeepViewTurnInFullView();
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
        // Esc after Enter, before the full view could open, means "not now".
        if (CancelWaitingFullView()) return;
        emit exitRequested();
        return;
    }
    // Enter: the full view of the row the list shows selected; one the
    // listing selected is chosen first, as Space would.
    const int row = lvFiles->SelectedRow();
    if (row >= 0 && !IsChosen(row)) ChooseRow(row);
    RequestFullView();
}
