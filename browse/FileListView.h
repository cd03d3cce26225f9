// The file list control: a report view (four columns) and a large-icon view
// over one model and one selection. The main window owns it as `lvFiles`.
// A click on a column's header sorts both views by that column, a second
// click the other way round; the header shows the arrow.
#pragma once

#include "browse/FileListModel.h"

#include <QImage>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <QListView>
#include <QPointer>
#include <QStackedLayout>
#include <QTreeView>
#include <QWidget>

class IconDelegate;
class NameEditDelegate;

class FileListView : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kNameColumnTwips = 2200;
    static constexpr int kTypeColumnTwips = 1500;
    // The large-icon view's square, in logical pixels: large enough to
    // recognise a photo by its thumbnail.
    static constexpr int kLargeIconSide = 128;

    explicit FileListView(QWidget* parent = nullptr);

    FileListModel* Model() { return model_; }
    QTreeView* ReportView() { return report_; }
    QListView* IconView() { return icons_; }
    QAbstractItemView* CurrentView();

    bool IsLargeIconView() const { return large_; }
    void SetLargeIconView(bool large);
    // The side of the large-icon view's square, in logical pixels.
    void SetLargeIconSide(int side);
    int LargeIconSide() const;
    // Where the large-icon view takes each row's thumbnail from (a null
    // image: the type icon); the view asks again for a row on RowPictureChanged.
    void SetThumbnails(std::function<QImage(int row)> thumbnails);
    void RowPictureChanged(int row);
    // The first and last rows the large-icon view shows now (-1, -2 when none).
    std::pair<int, int> ShownIconRows() const;

    // The selected row, or -1.
    int SelectedRow() const;
    // The rows selected, in the order shown. The list takes several rows at
    // once (Shift and Ctrl with a click or an arrow, Ctrl+A) for the file
    // commands; the current row (SelectedRow) is the one previewed. The
    // current row alone when no row is selected.
    std::vector<int> SelectedRows() const;
    // Opens the editor of `row`'s name in place, in the view on show (details
    // or large icons), its text selected up to the extension (the part
    // before the last ".", unless that is the name's first character).
    // Enter asks `RenameRequested` (an unchanged name closes the editor
    // with nothing asked); Esc or the focus leaving it closes it with
    // nothing done. Nothing without `RenameRequested`.
    void EditName(int row);
    bool EditingName() const;
    // The window's answer to a name typed: a refusal in words a person reads
    // (shown, the editor stays open with the text typed), or empty when the
    // window takes the name (the editor closes; the row follows once the
    // file is renamed). The name is the bytes typed, as UTF-8.
    std::function<QString(int row, const std::string& newName)> RenameRequested;
    // Selects `row` and, with `scroll`, scrolls to it. `quiet`: the
    // program's own doing, no choice of a file, so selectedRowChanged stays quiet.
    void SelectRow(int row, bool quiet = false, bool scroll = true);

    // More rows of a listing, in the order shown; the selection stays with its file.
    void AddRows(std::vector<FileRow> rows);
    // Lays the rows of the view on show out now rather than in its next
    // paint, so that the work of a large list and that of the paint go in
    // two turns of the event loop. False when no view is on show.
    bool LayOutNow();
    // While held, the view on show paints nothing (what it shows stays); let
    // go, it paints its rows once.
    void HoldPaint(bool hold);
    // The folder's changes on disk: the selection stays with its file and
    // the files at the top of the view stay there; none of it is a choice of
    // a file. A current row removed leaves the row that took its place
    // (else the one before it) current and selected; with `moveOn`, that is
    // a choice of that file: it is scrolled to and selectedRowChanged tells
    // it (-1 when no row is left).
    void ApplyChanges(const RowChanges& changes, bool moveOn = false);

    // Sorts as a click on the header does (`column` -1: the listing's own
    // order, no arrow). The selected file stays selected and current, and is
    // scrolled to; that is no new choice, so selectedRowChanged stays quiet.
    void SortBy(int column, Qt::SortOrder order);

  signals:
    void rowDoubleClicked(int row);
    // A mouse button went down on a row, also on the row already selected.
    void rowPressed(int row);
    void selectedRowChanged(int row);
    // The large-icon view shows other rows (scrolled, resized, rows added or gone).
    void shownIconRowsChanged();
    // The view on show is about to paint its rows.
    void rowsPainting();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    FileListModel* model_;
    QTreeView* report_;
    QListView* icons_;
    IconDelegate* iconCells_;
    NameEditDelegate* reportNames_; // edits names in the report view
    QStackedLayout* stack_;
    bool large_ = false;
    bool quiet_ = false;     // the selection moves for the program, not the user
    QPointer<QWidget> held_; // the viewport whose paint is held
};
