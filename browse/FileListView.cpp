#include "browse/FileListView.h"

#include "browse/IconDelegate.h"
#include "browse/NameEditDelegate.h"
#include "platform/Platform.h"

#include <QEvent>
#include <QHeaderView>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <algorithm>
#include <set>

FileListView::FileListView(QWidget* parent) : QWidget(parent) {
    model_ = new FileListModel(this);
    report_ = new QTreeView(this);
    icons_ = new QListView(this);
    report_->setRootIsDecorated(false);
    report_->setUniformRowHeights(true); // keeps huge folders fast to lay out
    report_->setAllColumnsShowFocus(true);
    report_->setModel(model_);
    // Several rows for the file commands; the current row is the one previewed.
    report_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    reportNames_ = new NameEditDelegate(report_);
    report_->setItemDelegate(reportNames_);
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
    iconCells_ = new IconDelegate(icons_);
    icons_->setItemDelegate(iconCells_);
    SetLargeIconSide(kLargeIconSide);
    icons_->setModel(model_);
    icons_->setSelectionModel(report_->selectionModel()); // one selection for both views
    icons_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    icons_->setSelectionBehavior(QAbstractItemView::SelectRows);

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
        // Names are edited by EditName alone: a double click opens the full view.
        v->setEditTriggers(QAbstractItemView::NoEditTriggers);
    }
    for (NameEditDelegate* names : {reportNames_, static_cast<NameEditDelegate*>(iconCells_)})
        names->Commit = [this](int row, const QString& name) {
            return RenameRequested ? RenameRequested(row, name.toUtf8().toStdString()) : QString();
        };
    // Any change of what the icon view shows: the rows on screen may be others.
    QScrollBar* bar = icons_->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, &FileListView::shownIconRowsChanged);
    connect(bar, &QScrollBar::rangeChanged, this, &FileListView::shownIconRowsChanged);
    connect(model_, &QAbstractItemModel::layoutChanged, this, &FileListView::shownIconRowsChanged);
    connect(model_, &QAbstractItemModel::modelReset, this, &FileListView::shownIconRowsChanged);
    connect(model_, &QAbstractItemModel::rowsInserted, this, &FileListView::shownIconRowsChanged);
    connect(model_, &QAbstractItemModel::rowsRemoved, this, &FileListView::shownIconRowsChanged);
    icons_->viewport()->installEventFilter(this);
    report_->viewport()->installEventFilter(this);
    connect(report_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& i) {
                if (!quiet_) emit selectedRowChanged(i.isValid() ? i.row() : -1);
            });
}

QAbstractItemView* FileListView::CurrentView() {
    return large_ ? static_cast<QAbstractItemView*>(icons_) : report_;
}

void FileListView::SetLargeIconView(bool large) {
    if (large != large_) {
        reportNames_->Cancel();
        iconCells_->Cancel();
    }
    large_ = large;
    stack_->setCurrentWidget(CurrentView());
    emit shownIconRowsChanged();
}

void FileListView::SetLargeIconSide(int side) {
    iconCells_->SetIconSide(side);
    icons_->setIconSize(QSize(side, side));
    icons_->setGridSize(iconCells_->CellSize(icons_->font()));
}

int FileListView::LargeIconSide() const {
    return iconCells_->IconSide();
}

void FileListView::SetThumbnails(std::function<QImage(int row)> thumbnails) {
    iconCells_->SetThumbnails(std::move(thumbnails));
    icons_->viewport()->update();
}

void FileListView::RowPictureChanged(int row) {
    if (large_ && row >= 0 && row < model_->rowCount())
        icons_->viewport()->update(icons_->visualRect(model_->index(row, 0)));
}

std::pair<int, int> FileListView::ShownIconRows() const {
    const int count = model_->rowCount();
    const int height = icons_->viewport()->height();
    if (count == 0 || height <= 0) return {-1, -2};
    // Rows run left to right, then down: their tops never decrease, so the
    // rows on screen are found by halving.
    const auto top = [&](int row) { return icons_->visualRect(model_->index(row, 0)).top(); };
    const auto bottom = [&](int row) { return icons_->visualRect(model_->index(row, 0)).bottom(); };
    int lo = 0, hi = count; // the first row whose bottom is on screen
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (bottom(mid) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    const int first = lo;
    hi = count; // the first row below the screen
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (top(mid) < height)
            lo = mid + 1;
        else
            hi = mid;
    }
    return {first, lo - 1};
}

bool FileListView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == icons_->viewport() && event->type() == QEvent::Resize)
        emit shownIconRowsChanged();
    if (event->type() == QEvent::Paint && watched == CurrentView()->viewport()) emit rowsPainting();
    return QWidget::eventFilter(watched, event);
}

int FileListView::SelectedRow() const {
    const QModelIndex i = report_->selectionModel()->currentIndex();
    return i.isValid() ? i.row() : -1;
}

std::vector<int> FileListView::SelectedRows() const {
    std::vector<int> rows;
    // By ranges, so that all of a large folder selected costs one range.
    for (const QItemSelectionRange& range : report_->selectionModel()->selection())
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.push_back(row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.empty())
        if (const int row = SelectedRow(); row >= 0) rows.push_back(row);
    return rows;
}

void FileListView::EditName(int row) {
    if (!RenameRequested || row < 0 || row >= model_->rowCount()) return;
    reportNames_->Cancel();
    iconCells_->Cancel();
    QAbstractItemView* view = CurrentView();
    const QModelIndex name = model_->index(row, FileListModel::ColName);
    view->scrollTo(name);
    view->edit(name);
    (large_ ? static_cast<NameEditDelegate*>(iconCells_) : reportNames_)->SelectStem();
}

bool FileListView::EditingName() const {
    return reportNames_->Editor() || iconCells_->Editor();
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

bool FileListView::LayOutNow() {
    QAbstractItemView* view = CurrentView();
    if (!view->isVisible()) return false;
    view->doItemsLayout();
    return true;
}

void FileListView::HoldPaint(bool hold) {
    if (hold && !held_ && CurrentView()->isVisible()) {
        held_ = CurrentView()->viewport();
        held_->setUpdatesEnabled(false);
    } else if (!hold && held_) {
        held_->setUpdatesEnabled(true);
        held_ = nullptr;
    }
}

void FileListView::ApplyChanges(const RowChanges& changes, bool moveOn) {
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
    bool currentGoes = false;
    if (selected >= 0) {
        const std::set<std::string> going(changes.removed.begin(), changes.removed.end());
        const auto stays = [&](int row) { return !going.contains(model_->Row(row).name); };
        if (!stays(selected)) {
            currentGoes = true;
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
    if (moveOn && currentGoes) {
        // The selection model may have made that row current already while
        // the rows went, quietly: the choice is told here, once.
        if (next.isValid()) view->scrollTo(next);
        emit selectedRowChanged(next.isValid() ? next.row() : -1);
    }
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
