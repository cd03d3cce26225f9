// The main window: a toolbar, the folder tree, the filter and file list and
// the preview in two nested splitters, the About and Visit buttons and a
// three-panel status bar. This file's class holds the layout (fMain.cpp),
// the browsing and preview flow (fMainBrowse.cpp) and the commands
// (fMainCommands.cpp). What a chosen file is gets decided by
// `ReadFileHeader`; what is chosen, decoding and shown by the preview core;
// the commands are one table of actions; the state shared with the folder
// tree lives in the `BrowsingState` it is given.
#pragma once

#include "app/FileHeader.h"
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
#include "imaging/MFreeImage_2.h"
#include "imaging/PictureBox.h"
#include "viewers/PicturePane.h"
#include "viewers/ucGIFViewer.h"

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QToolBar>
#include <QWidget>
#include <functional>
#include <set>
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
    // written at the end.
    fMain(BrowsingState& state, SetupRecord& setup, QWidget* parent = nullptr);
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
    bool StillPending() const { return !stillNotifier_.isNull() || gifsDecoding_ > 0; }
    // Reading ahead is over for now: nothing decodes, and no decode waits for
    // the pane to keep its size. What is wanted next waits for a new choice,
    // a new pane size or a change of the folder.
    bool ReadAheadIdle() const { return !StillPending() && !settleTimer_.isActive(); }
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

  signals:
    void shown();
    // Esc in the list or on the window: the exit confirmation's turn.
    void exitRequested();

  protected:
    void showEvent(QShowEvent*) override;
    void closeEvent(QCloseEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    void BuildControls();
    void BuildToolbar();
    void FinishExit();
    void LayOut();
    void PlaceThumbs();
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
    int RowOfName(const std::string& name) const;
    bool IsChosen(int row) const;
    // Draws the chosen still picture into the pane; `quick` while the pane's
    // size is changing (a picture fitted to the new size follows).
    void RedrawStill(bool quick = false);
    void OnPaneResized();
    void StoreLayout();
    void FinishStill(uint32_t id);
    void BeginGif(const std::string& path, uint32_t id);
    void FinishGif(uint32_t id, std::shared_ptr<cGIF> document);
    void SetGifBusy();
    void BeginStill(const std::string& path, uint32_t id, MFreeImage_2::Box box);
    bool StartDecode(const std::string& path, MFreeImage_2::Box box);
    void SetStillBusy(bool busy);
    void CancelChoiceDecode();
    // Reading ahead (fMainReadAhead.cpp).
    void ReadAhead();
    void FinishReadAhead();
    bool TakeReadAhead(const std::string& path, uint32_t id);
    bool TakeRefit(const std::string& path, const StdPicture& picture);
    // The chosen picture whole for the full view, from what was read ahead
    // (or is being read); false when it must be decoded.
    bool TakeWholeAhead(const std::string& path, uint32_t id);
    MFreeImage_2::Box ScreenBox() const;
    MFreeImage_2::Box PaneBox() const;
    // The size the chosen picture takes in the pane now.
    MFreeImage_2::Box FittedSize() const;
    void StartFullDecode();
    void ShowChoice();
    void ShowStatus();
    void CancelStillDecode();
    void StillTimedOut();
    void DropFullViewWait();
    void OpenFullViewOfChoice();
    // Stops the preview's GIF while a full view on its screen covers it.
    void PausePreviewBehind(fFullview* view);
    void StepFullView(int delta);
    bool FullViewOpen() const;

    BrowsingState& state_;
    SetupRecord& setup_;
    QPointer<fFullview> fullView_;
    QPointer<fOptions> options_;
    QPointer<fHelp> help_;
    QPointer<fAbout> about_;
    cCommandTable* commands_ = nullptr;
    cPreviewCore preview_;
    cIconThumbnails* thumbnails_ = nullptr; // the large-icon view's pictures
    // While the full view is open: the next and previous pictures whole, so
    // that stepping through the list there shows each at once.
    static constexpr std::size_t kWholeAheadPictures = 2;
    static constexpr std::size_t kWholeAheadBytes = std::size_t(256) << 20;
    cPictureCache wholeAhead_{kWholeAheadPictures, kWholeAheadBytes};
    cPictureCache cache_;                  // pictures read ahead, as the preview shows them
    cPictureCache::Key readAheadKey_;      // the file being read ahead (empty: none)
    MFreeImage_2::Box readAheadBox_;       // and the box it is fitted into
    std::set<std::string> readAheadTried_; // read ahead for this choice already
    MFreeImage_2::Box stillBox_;           // the box of the choice's decode
    QTimer settleTimer_;                   // runs while the pane changes size
    StdPicture wholePicture_;              // the chosen picture whole, for a full view
    std::string wholePictureOf_;           // the file it is of
    uint32_t stillId_ = 0;                 // the choice's request being decoded
    bool stillBusy_ = false;               // its busy pointer is set
    int gifsDecoding_ = 0;                 // GIF documents decoding on their threads
    bool gifBusy_ = false;                 // the busy pointer of the GIF chosen last
    std::string wantedFile_;               // chosen by the next listing that has it
    bool waitPointer_ = false; // the busy pointer of a full view waiting for its picture
    bool exiting_ = false;     // the question was answered Yes (or cannot be asked)
    bool asking_ = false;
    bool finished_ = false;                   // FinishExit ran; it runs once
    bool listBusy_ = false;                   // the busy pointer of a listing under way
    QPointer<QSocketNotifier> stillNotifier_; // set while a still picture decodes
    QTimer stillTimer_;                       // its time limit
};
