// The main window: a toolbar, the folder tree, the filter and file list and
// the preview in two nested splitters, the About and Visit buttons and a
// three-panel status bar. This file's class holds the layout and wiring
// (fMain.cpp), the browsing and preview flow (fMainBrowse.cpp), the decodes
// (fMainDecodes.cpp) and the commands (fMainCommands.cpp). The decoder pool
// it is given opens each file, reads its header (`ReadFileHeader`: a GIF
// goes to the animated viewer) and decodes it, off the window's thread; what
// is chosen, decoding and shown is the preview core's to say, what is read
// ahead the scheduler's; the commands are one table of actions by name; the
// state shared with the folder tree lives in the `BrowsingState` it is given.
#pragma once

#include "app/DestinationList.h"
#include "app/FileActionRunner.h"
#include "app/PreviewScheduler.h"
#include "app/TransferProgress.h"
#include "app/cCommandTable.h"
#include "app/cIconThumbnails.h"
#include "app/cPictureCache.h"
#include "app/cPreviewCore.h"
#include "app/fFullview.h"
#include "app/fOptions.h"
#include "app/mSetup.h"
#include "browse/BrowsingState.h"
#include "browse/FileListView.h"
#include "browse/cFileView.h"
#include "controls/Kv_Progbar.h"
#include "controls/Splitter.h"
#include "controls/StatusPanels.h"
#include "controls/fAbout.h"
#include "controls/fHelp.h"
#include "imaging/DecoderPool.h"
#include "imaging/MFreeImage_2.h"
#include "imaging/PictureBox.h"
#include "imaging/ThumbnailPeek.h"
#include "viewers/PicturePane.h"
#include "viewers/ViewTurn.h"
#include "viewers/ucGIFViewer.h"

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QToolBar>
#include <QWidget>
#include <functional>
#include <map>
#include <string>

class fMain : public QWidget {
    Q_OBJECT
  public:
    // Layout, in pixels unless named twips.
    static constexpr int kMinWidthTwips = 7485;
    static constexpr int kMinHeightTwips = 4695;
    static constexpr int kMargin = 10;
    static constexpr int kGap = 5;
    static constexpr int kToolbarHeight = 38;
    static constexpr int kToolIconSide = 24;
    static constexpr int kCountMargin = 10;
    static constexpr int kButtonHeight = 48;
    static constexpr int kStatusHeight = 19;
    static constexpr int kSplitterWidthTwips = 90;
    // How long the preview pane keeps its size before its picture is decoded
    // anew for it: longer than the steps of a drag.
    static constexpr int kSettleMs = 250;
    static constexpr uint32_t kPaneGrey = 0x00E0E0E0;
    static constexpr const char* kInProcessNotice = "Decoded without the safe helper";

    // `setup`: the program's settings record, read for the layout and
    // written at the end. `pool` decodes the still pictures; both outlive
    // the window.
    fMain(BrowsingState& state, SetupRecord& setup, DecoderPool& pool, QWidget* parent = nullptr);
    ~fMain() override;

    // Sets the size in twips (15 per pixel), at most the screen's available size.
    void SetSizeTwips(int widthTwips, int heightTwips);

    // Lists the folder the tree selected last with the current pattern, on
    // a worker thread: the first rows show at once, the others as they are
    // read, and from then on the list follows the folder on disk.
    void nPathchange();
    // A listing is under way.
    bool Listing() const { return FileView.Listing(); }
    // The large-icon view's thumbnails.
    cIconThumbnails* IconThumbnails() { return thumbnails_; }
    // A list row chosen (by mouse or keyboard): previews its file.
    void ChooseRow(int row);
    // A picture is being decoded (the answer comes without blocking).
    bool StillPending() const { return !decodes_.empty() || gifsDecoding_ > 0; }
    // Reading ahead is over for now: nothing decodes, nothing is left to
    // read ahead, and no decode waits for the pane to keep its size. What is
    // wanted next waits for a new choice, a new pane size or a change of the folder.
    bool ReadAheadIdle() const;
    // Selects, scrolls to and previews the row of the file `name` (bytes) in
    // the folder listed; when the list has no such row yet, false, and the
    // next listing that has it chooses it.
    bool ChooseFile(const std::string& name);
    // A message for the user in the status bar (a start path that could not be used).
    void ShowNotice(const QString& text);
    // Enter or a double click: the full view of the file chosen last, now
    // when its picture is there, once it is while it decodes, and none when
    // it failed or nothing is chosen.
    void RequestFullView();
    const cPreviewCore& Preview() const { return preview_; }
    // The full view window, created hidden when there is none.
    fFullview* FullView();
    fFullview* OpenFullView() const { return fullView_; }

    BrowsingState& State() { return state_; }

    // The commands (fMainCommands.cpp), by name: triggering a command's
    // action runs it, as its button, key or menu entry does.
    QAction* CommandAction(Command command) const { return commands_->Action(command); }
    // The toolbar's actions left to right, a separator for each spacer.
    QList<QAction*> ToolbarActions() const { return commands_->ToolbarActions(); }
    void OpenInEditor();
    // Opens an address or a path with the desktop's associated program,
    // without waiting for it; a message box says when there is none.
    static void ShellOpen(const std::string& what);
    void ViewSwitch();
    // F11: the full view fills its screen or leaves it when it is the
    // active window, else the main window does.
    void ToggleFullScreen();
    fOptions* ShowOptions();
    fHelp* ShowHelp();
    fAbout* ShowAbout();
    // Ends the program as a Yes to the exit question would, without asking
    // (SIGTERM, the session ending).
    void ExitWithoutAsking();
    // The end has run: the settings saved and the folder tree's loop told to stop.
    bool Finished() const { return finished_; }
    // The exit question; a message box unless replaced (tests). True for Yes.
    std::function<bool()> AskExit;
    // Opens a file with its associated program, or says there is none;
    // replaceable (tests).
    std::function<void(const std::string&)> OpenFile;

    // The picture the pane is drawn from: the chosen still, fitted to the pane.
    const PictureBox& PanePicture() const { return PicLoad; }

    // The commands on files (fMainFiles.cpp). Each hook is a plain dialog
    // unless replaced (tests; the dialogs of copying and moving).
    // A question before an operation on files: true for Yes.
    std::function<bool(const QString& question)> Confirm;
    // Copy to / Move to a folder: the folder `sources` go to, or empty when
    // the user chose none. Asked on the window's thread before anything runs.
    std::function<std::string(TransferKind kind, const std::vector<std::string>& sources)>
        ChooseDestination;
    // A name the destination of the transfer `ticket` holds already: asked
    // on the window's thread while the transfer waits for the answer.
    std::function<ConflictChoice(quint64 ticket, const std::string& source,
                                 const std::string& existing)>
        AskConflict;
    // A transfer under way: bytes done of all, at most every
    // FileActionRunner::kProgressMs, and once with `finished` at its end
    // (also when it failed or was cancelled). `ticket` names it to CancelTransfer.
    std::function<void(quint64 ticket, TransferKind kind, quint64 done, quint64 total,
                       bool finished)>
        ShowTransferProgress;
    // Stops a transfer under way (or queued) where it can.
    void CancelTransfer(quint64 ticket) { runner_->Cancel(ticket); }
    // Turns the picture the preview and the full view show, not its file:
    // for a file that cannot be turned losslessly (not a JPEG). Unset, the
    // view stays as it is and the status says the file is unchanged.
    std::function<void(Turn turn)> TurnView;
    // The worker the operations on files run on.
    FileActionRunner* FileRunner() const { return runner_; }
    // The list's context menu.
    QMenu* ListMenu() const { return listMenu_; }

  signals:
    void shown();
    // The list changed: rows arrived, a listing ended, or the folder changed on disk.
    void listUpdated();
    // Esc in the list or on the window: the exit confirmation's turn.
    void exitRequested();
    // An operation on files ended and the list, the preview and the full
    // view followed what it did (failures shown).
    void fileActionFollowed(quint64 ticket);

  protected:
    void showEvent(QShowEvent*) override;
    void closeEvent(QCloseEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    // The controls, each named by its field (objectName), as tests find them.
    QToolBar* tbrMain;
    QWidget* picCount;
    QLabel* lblCount;
    Splitter* vSplit;
    Splitter* hSplit;
    PicturePane* imgPane;
    ucGIFViewer* ucGIF1;
    QWidget* pictreeview;
    QWidget* picLV;
    QComboBox* ComboFilter;
    FileListView* lvFiles;
    QPushButton* cmdAbout;
    QPushButton* cmdVisit;
    QWidget* picStatus;
    StatusPanels* sbInfo;
    Kv_Progbar* pbThumbs;
    PictureBox PicLoad; // the chosen still picture, fitted to the pane
    cFileView FileView;

    // The folder listed.
    std::string sFolder;

    void BuildControls();
    void BuildToolbar();
    void FinishExit();
    void LayOut();
    void OnFilterChanged(int row);
    void OnListKey(QKeyEvent* e);
    void FitToolbar();
    void ShowCount(int files);
    void ClearPreviewPane();
    // The listing's end: the count, the file kept chosen, or why it failed.
    void OnListed(bool listed);
    // The listed folder's files changed on disk: the count, and the chosen
    // file previewed again, emptied or renamed.
    void OnFolderChanged(const RowChanges& changes);
    // The busy pointer while a folder is read.
    void SetListBusy(bool busy);
    // Sets or restores the busy pointer as the listing and the preview say.
    void UpdateBusyPointer();
    int RowOfName(const std::string& name) const;
    bool IsChosen(int row) const;
    // Draws the chosen still picture into the pane; `quick` while the pane's
    // size is changing (a picture fitted to the new size follows).
    void RedrawStill(bool quick = false);
    void OnPaneResized();
    void StoreLayout();
    void BeginGif(const std::string& path, uint32_t id);
    void FinishGif(uint32_t id, std::shared_ptr<cGIF> document);

    // The decodes (fMainDecodes.cpp), each a ticket of the pool's.
    enum class Purpose { Choice, Whole, ReadAhead };
    struct Decode {
        Purpose purpose = Purpose::Choice;
        uint32_t id = 0;             // the preview's request (choice and whole)
        PreviewScheduler::Work work; // what the scheduler asked (read-ahead)
        std::string path;
        MFreeImage_2::Box box;
    };
    // The cache key of a row, from what the listing read of its file.
    cPictureCache::Key RowKey(int row) const;
    cPictureCache& CacheFor(MFreeImage_2::Box box);
    void DropCached(const std::string& path) {
        cache_.Drop(path);
        wholeAhead_.Drop(path);
    }
    void Submit(DecoderPool::Lane lane, const std::string& path, MFreeImage_2::Box box,
                Purpose purpose, uint32_t id, PreviewScheduler::Work work = {});
    // Gives up the read-ahead decodes, or the choice's and the full view's.
    void CancelDecodes(bool readAhead);
    bool TakeOver(const std::string& path, MFreeImage_2::Box box, Purpose purpose, uint32_t id);
    void BeginStill(const std::string& path, uint32_t id);
    // The chosen picture from what was read ahead, shown at once; false when
    // it must be decoded.
    bool ShowReadAhead(const cPictureCache::Key& key, uint32_t id);
    void OnPoolAnswers();
    // A thumbnail from the desktop's cache for the choice decoding now.
    void OnPeekAnswers();
    void FinishStill(const Decode& d, DecodeResult& result);
    void FinishReadAhead(const Decode& d, DecodeResult& result);
    void ReadAhead();
    bool TakeRefit(const std::string& path, const StdPicture& picture);
    MFreeImage_2::Box ScreenBox() const;
    MFreeImage_2::Box PaneBox() const;
    // The size the chosen picture takes in the pane now.
    MFreeImage_2::Box FittedSize() const;
    void StartFullDecode();
    void ShowChoice();
    void ShowStatus();
    void DropFullViewWait();
    // Esc while a full view waits for its picture: it will not open; false
    // when none waits.
    bool CancelWaitingFullView();
    void OpenFullViewOfChoice();
    // Stops the preview's GIF while a full view on its screen covers it.
    void PausePreviewBehind(fFullview* view);
    void StepFullView(int delta);
    bool FullViewOpen() const;

    // The commands on files (fMainFiles.cpp).
    enum class FileTask { Trash, Delete, Rename, Transfer, Turn, Undo };
    struct FileTaskOf {
        FileTask task = FileTask::Trash;
        std::string folder;             // the folder listed when it was asked, ending in "/"
        std::vector<std::string> names; // its files there
        bool fromFullView = false;
        TransferKind transfer = TransferKind::Copy;
        ::Turn turn = ::Turn::Right;
    };
    cCommandTable::Handlers FileCommandHandlers();
    void BuildFileCommands();
    // The dialogs of copying and moving and the view's turn, as the hooks'
    // defaults (fMainTransfers.cpp).
    void BuildTransferDialogs();
    // A new choice shows its picture upright; the full view shows the chosen
    // picture under the turn its preview has.
    void ResetViewTurn();
    void KeepViewTurnInFullView();
    std::string ListedFolder() const;
    bool FullViewActive() const;
    // The files a command acts on: the chosen picture in the full view,
    // else the rows selected in the list (none while the tree has the focus).
    std::vector<std::string> CommandNames() const;
    void TrashSelected();
    void DeleteSelectedForGood();
    void RenameSelected();
    QString OnRenameRequested(int row, const std::string& newName);
    void TransferSelected(TransferKind kind);
    void TurnChosen(::Turn turn);
    void UndoLast();
    void OnListMenu(QAbstractItemView* view, const QPoint& pos);
    // Rows that went at once: the list moves on to the next row, chosen
    // anew (in the full view too, which closes when none is left).
    void LeaveRows(const std::vector<std::string>& names, bool inFullView);
    void OnFileActionDone(quint64 ticket, const ActionDone& done);
    void FinishRemoval(const FileTaskOf& task, const ActionDone& done);
    void FinishTurn(const FileTaskOf& task, const ActionDone& done);
    // The list and the preview follow the files an action changed.
    void FollowOutcomes(const FileTaskOf& task, const ActionDone& done);
    void ShowFileFailures(const QString& headline, const std::vector<FileOutcome>& failed);
    // A file an undo brought back into the folder is chosen once its row is
    // there (in the full view too, when the delete came from there).
    void ChooseRestored();
    void UpdateUndoCommand();

    BrowsingState& state_;
    SetupRecord& setup_;
    DecoderPool& pool_;
    QPointer<fFullview> fullView_;
    QPointer<fOptions> options_;
    QPointer<fHelp> help_;
    QPointer<fAbout> about_;
    cCommandTable* commands_ = nullptr;
    FileActionRunner* runner_ = nullptr;
    std::map<quint64, FileTaskOf> fileTasks_; // by the runner's ticket
    DestinationList destinations_{DestinationList::UserFile()};
    std::map<quint64, ConflictChoice> conflictForAll_;       // a transfer's answer for all
    std::map<quint64, QPointer<TransferProgress>> progress_; // a transfer's progress
    ViewTurn viewTurn_;      // the preview's own turn of a file that is not turned
    std::string viewTurnOf_; // the path it is of
    QMenu* listMenu_ = nullptr;
    QPointer<QMessageBox> failureBox_; // one at a time; later failures add to it
    bool askingRename_ = false;
    std::string restored_;            // brought back by an undo, its row awaited
    std::string restoredFolder_;      // in this folder
    bool restoredToFullView_ = false; // and shown in the full view then
    cPreviewCore preview_;
    PreviewScheduler scheduler_;
    cIconThumbnails* thumbnails_ = nullptr; // the large-icon view's pictures
    // While the full view is open: the next and previous pictures whole, so
    // that stepping through the list there shows each at once.
    static constexpr std::size_t kWholeAheadPictures = 2;
    static constexpr std::size_t kWholeAheadBytes = std::size_t(256) << 20;
    cPictureCache wholeAhead_{kWholeAheadPictures, kWholeAheadBytes};
    cPictureCache cache_; // pictures read ahead, as the preview shows them
    std::map<DecoderPool::Ticket, Decode> decodes_;
    QSocketNotifier* poolNotifier_ = nullptr;
    ThumbnailPeek peek_; // thumbnails that stand in while a picture decodes
    QSocketNotifier* peekNotifier_ = nullptr;
    ThumbnailPeek::Ticket peekTicket_ = 0; // the question asked for the choice
    uint32_t peekId_ = 0;                  // and the choice's request
    cPictureCache::Key chosenKey_;         // of the chosen row, as listed
    int chosenRow_ = -1;                   // and where it was in the list
    // The keys of the chosen row and its neighbours, by path.
    std::map<std::string, cPictureCache::Key> stampedKeys_;
    bool readAheadIdle_ = true;       // the scheduler had nothing left, last asked
    bool inProcess_ = false;          // the last picture was decoded without the helper
    uint32_t missingConfinement_ = 0; // the layers the last helper ran without
    QTimer settleTimer_;              // runs while the pane changes size
    StdPicture wholePicture_;         // the chosen picture whole, for a full view
    std::string wholePictureOf_;      // the file it is of
    int gifsDecoding_ = 0;            // GIF documents decoding on their threads
    std::string wantedFile_;          // chosen by the next listing that has it
    bool fullViewAsked_ = false;      // a full view waits for the chosen picture
    bool busyPointer_ = false;
    bool exiting_ = false; // the question was answered Yes (or cannot be asked)
    bool asking_ = false;
    bool finished_ = false; // FinishExit ran; it runs once
    bool listBusy_ = false; // a listing is under way
};
