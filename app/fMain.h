// The main window: a toolbar, the folder tree, the filter and file list and
// the preview in two nested splitters, the About and Visit buttons and a
// three-panel status bar. This file's class holds the layout (fMain.cpp) and
// the browsing and preview flow (fMainBrowse.cpp); what a chosen file is gets
// decided by `ReadFileHeader`, and the state shared with the folder tree
// lives in the `BrowsingState` it is given.
#pragma once

#include "app/FileHeader.h"
#include "app/fOptions.h"
#include "browse/BrowsingState.h"
#include "browse/FileListView.h"
#include "browse/cFileView.h"
#include "controls/Kv_Progbar.h"
#include "controls/PicturePane.h"
#include "controls/Splitter.h"
#include "controls/StatusPanels.h"
#include "controls/fAbout.h"
#include "controls/fHelp.h"
#include "gif/ucGIFViewer.h"
#include "imaging/PictureBox.h"
#include "imaging/fFullview.h"

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QToolBar>
#include <QWidget>
#include <functional>
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
    static constexpr int kButtonHeight = 48;
    static constexpr int kStatusHeight = 19;
    static constexpr int kSplitterWidthTwips = 90;
    static constexpr uint32_t kPaneGrey = 0x00E0E0E0;

    explicit fMain(BrowsingState& state, QWidget* parent = nullptr);
    ~fMain() override;

    // Sets the size in twips (15 per pixel), at most the screen's available size.
    void SetSizeTwips(int widthTwips, int heightTwips);

    // Lists the folder the tree selected last with the current pattern.
    void nPathchange();
    // A list row chosen (by mouse or keyboard): previews its file.
    void ChooseRow(int row);
    // A still picture is being decoded (the answer comes without blocking).
    bool StillPending() const { return !stillNotifier_.isNull(); }
    // Selects and previews the row of the file `name` (bytes) in the folder
    // listed; false when the list has no such row.
    bool ChooseFile(const std::string& name);
    // Full views of the still image and of the GIF.
    void imgPane_DblClick();
    void ucGIF1_DblClick();
    // The full view window, created hidden when there is none.
    fFullview* FullView();
    fFullview* OpenFullView() const { return fullView_; }

    BrowsingState& State() { return state_; }

    // The commands (fMainCommands.cpp). Toolbar buttons by 1-based position.
    static constexpr int kToolbarButtons = 9;
    void OnToolbarButton(int index);
    void OpenInEditor();
    // Opens an address or a path with the desktop's associated program,
    // without waiting for it; failures are ignored.
    static void ShellOpen(const std::string& what);
    void ViewSwitch();
    fOptions* ShowOptions();
    fHelp* ShowHelp();
    fAbout* ShowAbout();
    // Ends the program as a Yes to the exit question would, without asking
    // (SIGTERM, the session ending).
    void ExitWithoutAsking();
    // The exit question; a message box unless replaced (tests). True for Yes.
    std::function<bool()> AskExit;
    // Opens a file with its associated program; replaceable (tests).
    std::function<void(const std::string&)> OpenFile;
    QAction* ToolButton(int index) const { return toolButtons_[index - 1]; }

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
    PictureBox PicLoad; // the last still image, at full size
    cFileView FileView;

    // The browsing flow's state: the folder listed, the file chosen last.
    std::string sFolder;
    std::string sSelFolder;
    std::string sSelFile;
    FileHeader fileHeader;

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
    void RedrawStill();
    void StoreLayout();
    void ShowStill(bool loaded, const QString& name);
    void FinishStillDecode(bool loaded);
    void CancelStillDecode();

    BrowsingState& state_;
    QPointer<fFullview> fullView_;
    QPointer<fOptions> options_;
    QPointer<fHelp> help_;
    QPointer<fAbout> about_;
    QAction* toolButtons_[kToolbarButtons] = {};
    bool exiting_ = false; // the question was answered Yes (or cannot be asked)
    bool asking_ = false;
    bool listing_ = false; // the list's own selection while it fills is no choice
    QPointer<QSocketNotifier> stillNotifier_; // set while a still picture decodes
    QTimer stillTimer_;                       // its time limit
    QString pendingStillName_;
};
