// The main window: the folder tree pane, the filter and file list, and the
// preview pane. It owns the file list builder and reacts to the folder tree's
// path changes by listing the current folder.
#pragma once

#include "browse/FileListView.h"
#include "browse/cFileView.h"
#include "gif/ucGIFViewer.h"
#include "imaging/PictureBox.h"
#include "imaging/PicturePane.h"

#include <QComboBox>
#include <QLabel>
#include <QMainWindow>
#include <QSplitter>
#include <memory>

class fMain : public QMainWindow {
    Q_OBJECT
  public:
    static constexpr int kMinWidth = 320;
    static constexpr int kMinHeight = 240;

    explicit fMain(QWidget* parent = nullptr);

    // Sets the size in twips (15 per pixel); the minimum size still applies.
    void SetSizeTwips(int widthTwips, int heightTwips);

    // Lists the folder the tree selected last with the current pattern.
    void nPathchange();

    QWidget* pictreeview;
    QComboBox* ComboFilter;
    FileListView* lvFiles;
    QLabel* lblCount;
    PicturePane* imgPane;
    ucGIFViewer* ucGIF1; // plays GIFs over the still preview
    PictureBox PicLoad;  // the last still image, at full size
    QSplitter* vSplit;
    QSplitter* hSplit;
    cFileView FileView;

  signals:
    void shown();

  protected:
    void showEvent(QShowEvent*) override;
    void closeEvent(QCloseEvent*) override;

  private:
    void OnFilterChanged(int row);
    // Shows the file of a list row in the preview.
    void ShowRow(int row);
    void RedrawPreview();
    bool showingStill_ = false;
};
