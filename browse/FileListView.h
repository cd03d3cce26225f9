// The file list control: a report view (four columns) and a large-icon view
// over one model and one selection. The main window owns it as `lvFiles`.
// A click on a column's header sorts both views by that column, a second
// click the other way round; the header shows the arrow.
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
    // Selects `row` and, with `scroll`, scrolls to it. `quiet`: the
    // program's own doing, no choice of a file, so selectedRowChanged stays quiet.
    void SelectRow(int row, bool quiet = false, bool scroll = true);

    // More rows of a listing, in the order shown; the selection stays with its file.
    void AddRows(std::vector<FileRow> rows);
    // The folder's changes on disk: the selection stays with its file (a
    // removed one leaves none) and the files at the top of the view stay
    // there; none of it is a choice of a file.
    void ApplyChanges(const RowChanges& changes);

    // Sorts as a click on the header does (`column` -1: the listing's own
    // order, no arrow). The selected file stays selected and current, and is
    // scrolled to; that is no new choice, so selectedRowChanged stays quiet.
    void SortBy(int column, Qt::SortOrder order);

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
    bool quiet_ = false; // the selection moves for the program, not the user
};
