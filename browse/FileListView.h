// The file list control: a report view (four columns) and a large-icon view
// over one model and one selection. The main window owns it as `lvFiles`.
#pragma once

#include "browse/FileListModel.h"

#include <QListView>
#include <QStackedLayout>
#include <QTreeView>
#include <QWidget>

class FileListView : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kNameColumnTwips = 2200;
    static constexpr int kTypeColumnTwips = 1500;

    explicit FileListView(QWidget* parent = nullptr);

    FileListModel* Model() { return model_; }
    QTreeView* ReportView() { return report_; }
    QListView* IconView() { return icons_; }
    QAbstractItemView* CurrentView();

    bool IsLargeIconView() const { return large_; }
    void SetLargeIconView(bool large);

    // The selected row, or -1.
    int SelectedRow() const;
    void SelectRow(int row);

  signals:
    void rowDoubleClicked(int row);
    // A mouse button went down on a row, also on the row already selected.
    void rowPressed(int row);
    void selectedRowChanged(int row);

  private:
    FileListModel* model_;
    QTreeView* report_;
    QListView* icons_;
    QStackedLayout* stack_;
    bool large_ = false;
};
