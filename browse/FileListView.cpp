#include "browse/FileListView.h"

#include "platform/Platform.h"

#include <QHeaderView>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <set>

FileListView::FileListView(QWidget* parent) : QWidget(parent) {
    model_ = new FileListModel(this);
    report_ = new QTreeView(this);
    icons_ = new QListView(this);
    report_->setRootIsDecorated(false);
    report_->setUniformRowHeights(true); // keeps huge folders fast to lay out
    report_->setAllColumnsShowFocus(true);
    report_->setModel(model_);
    report_->setSelectionMode(QAbstractItemView::SingleSelection);
    report_->header()->setStretchLastSection(true);
    report_->setColumnWidth(FileListModel::ColName, kNameColumnTwips / Platform::kTwipsPerPixel);
    report_->setColumnWidth(FileListModel::ColType, kTypeColumnTwips / Platform::kTwipsPerPixel);
    // The header sorts, but the view's own sorting stays off: it would sort
    // at once, and the list starts in the listing's order.
    QHeaderView* header = report_->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    connect(header, &QHeaderView::sortIndicatorChanged, this, &FileListView::SortBy);

    icons_->setViewMode(QListView::IconMode);
    icons_->setResizeMode(QListView::Adjust);
    icons_->setUniformItemSizes(true);
    icons_->setMovement(QListView::Static);
    icons_->setIconSize(QSize(32, 32));
    icons_->setGridSize(QSize(96, 64));
    icons_->setModel(model_);
    icons_->setSelectionModel(report_->selectionModel()); // one selection for both views

    stack_ = new QStackedLayout(this);
    stack_->setContentsMargins(0, 0, 0, 0);
    stack_->addWidget(report_);
    stack_->addWidget(icons_);

    for (QAbstractItemView* v :
         {static_cast<QAbstractItemView*>(report_), static_cast<QAbstractItemView*>(icons_)}) {
        connect(v, &QAbstractItemView::pressed, this,
                [this](const QModelIndex& i) { emit rowPressed(i.row()); });
        connect(v, &QAbstractItemView::doubleClicked, this,
                [this](const QModelIndex& i) { emit rowDoubleClicked(i.row()); });
    }
    connect(report_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& i) {
                if (!quiet_) emit selectedRowChanged(i.isValid() ? i.row() : -1);
            });
}

QAbstractItemView* FileListView::CurrentView() {
    return large_ ? static_cast<QAbstractItemView*>(icons_) : report_;
}

void FileListView::SetLargeIconView(bool large) {
    large_ = large;
    stack_->setCurrentWidget(CurrentView());
}

int FileListView::SelectedRow() const {
    const QModelIndex i = report_->selectionModel()->currentIndex();
    return i.isValid() ? i.row() : -1;
}

void FileListView::SelectRow(int row, bool quiet, bool scroll) {
    if (row < 0 || row >= model_->rowCount()) return;
    const QModelIndex i = model_->index(row, 0);
    const QScopedValueRollback keep(quiet_, quiet_ || quiet);
    report_->selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect |
                                                      QItemSelectionModel::Rows);
    if (scroll) CurrentView()->scrollTo(i);
}

void FileListView::AddRows(std::vector<FileRow> rows) {
    const QScopedValueRollback keep(quiet_, true);
    model_->AddRows(std::move(rows));
}

void FileListView::ApplyChanges(const RowChanges& changes) {
    if (changes.Empty()) return;
    // A view scrolled down keeps the file at its top there; one at the top
    // stays at the top, where new first files then show.
    QAbstractItemView* view = CurrentView();
    const int offset = view->verticalScrollBar()->value();
    const QPersistentModelIndex top = offset > 0 ? view->indexAt(QPoint(1, 1)) : QModelIndex();
    // A selected file that goes leaves the selection on the file after it
    // (or before it, at the end), as a deletion in the list itself would.
    QPersistentModelIndex next;
    const int selected = SelectedRow();
    if (selected >= 0) {
        const std::set<std::string> going(changes.removed.begin(), changes.removed.end());
        const auto stays = [&](int row) { return !going.contains(model_->Row(row).name); };
        if (!stays(selected)) {
            int row = selected + 1;
            while (row < model_->rowCount() && !stays(row))
                ++row;
            if (row == model_->rowCount())
                for (row = selected - 1; row >= 0 && !stays(row);)
                    --row;
            if (row >= 0) next = model_->index(row, 0);
        }
    }
    {
        const QScopedValueRollback keep(quiet_, true);
        model_->ApplyChanges(changes);
    }
    if (next.isValid()) SelectRow(next.row(), true, false);
    if (top.isValid())
        view->scrollTo(top, QAbstractItemView::PositionAtTop);
    else
        view->verticalScrollBar()->setValue(offset);
}

void FileListView::SortBy(int column, Qt::SortOrder order) {
    QHeaderView* header = report_->header();
    if (header->sortIndicatorSection() != column || header->sortIndicatorOrder() != order) {
        const QSignalBlocker quiet(header);
        header->setSortIndicator(column, order);
    }
    {
        const QScopedValueRollback keep(quiet_, true);
        model_->Sort(column, order);
    }
    const QModelIndex current = report_->selectionModel()->currentIndex();
    if (current.isValid()) CurrentView()->scrollTo(current);
}
