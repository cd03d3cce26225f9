#include "browse/cFileView.h"

#include "browse/FileTexts.h"
#include "browse/FolderScan.h"
#include "browse/PathText.h"
#include "platform/Platform.h"

#include <QHeaderView>
#include <algorithm>
#include <cerrno>
#include <iterator>
#include <utility>

cFileView::cFileView() : matcher_(pattern_) {
    nextTurn_.setSingleShot(true);
    QObject::connect(&nextTurn_, &QTimer::timeout, &nextTurn_, [this] { TakeArrived(); });
    showTurn_.setSingleShot(true);
    QObject::connect(&showTurn_, &QTimer::timeout, &showTurn_, [this] {
        if (!listView_) return;
        if (!arrived_.empty()) { // the next rows once these are painted
            awaitingPaint_ = true;
            nextTurn_.start(kPaintWaitMs);
        }
        listView_->HoldPaint(false);
    });
}

cFileView::~cFileView() {
    QObject::disconnect(chosen_);
    QObject::disconnect(pressed_);
    QObject::disconnect(painting_);
}

void cFileView::SetListView(FileListView* view) {
    QObject::disconnect(chosen_);
    QObject::disconnect(pressed_);
    QObject::disconnect(painting_);
    listView_ = view;
    if (!view) return;
    // Any selection that reaches the owner is the user's (or the owner's)
    // choice: the listing leaves it alone.
    chosen_ = QObject::connect(view, &FileListView::selectedRowChanged, view,
                               [this] { userSelected_ = true; });
    pressed_ =
        QObject::connect(view, &FileListView::rowPressed, view, [this] { userSelected_ = true; });
    painting_ = QObject::connect(view, &FileListView::rowsPainting, view, [this] {
        if (!std::exchange(awaitingPaint_, false)) return;
        nextTurn_.start(0); // once this paint is over
    });
}

void cFileView::SetPattern(const std::string& nPattern) {
    pattern_ = nPattern;
    matcher_ = PathMatcher(pattern_);
}

void cFileView::SetTypes(std::vector<FileRow>& rows) {
    SysImageList& types = SysImageList::Instance();
    for (FileRow& row : rows)
        row.typeIndex = types.TypeIndexFor(row.name);
}

bool cFileView::ListFiles(const std::string& sPath,
                          bool bDisplayFileSize_Takes_a_BUTT_LOAD_OF_TIME) {
    if (!listView_) return false;
    std::string folder = sPath;
    AddBackslash(folder);
    StopWatching();

    std::vector<FileRow> rows;
    lastError_ = 0;
    if (!ScanFolder(folder, matcher_, rows)) {
        lastError_ = errno;
        return false;
    }
    Platform::SetBusyPointer();
    SetTypes(rows);
    listView_->Model()->SetRows(std::move(rows), bDisplayFileSize_Takes_a_BUTT_LOAD_OF_TIME);
    if (listView_->Model()->rowCount() > 0) listView_->SelectRow(0);
    Platform::RestorePointer();
    listView_->update();
    AssignSysIL();
    return true;
}

void cFileView::StartListing(const std::string& sPath, bool bDisplayFileSize) {
    if (!listView_) return;
    StopWatching();
    folder_ = sPath;
    AddBackslash(folder_);
    listedPattern_ = pattern_;
    displaySize_ = bDisplayFileSize;
    lastError_ = 0;
    if (!lister_) {
        lister_ = std::make_unique<FolderLister>();
        QObject::connect(lister_.get(), &FolderLister::partRead, lister_.get(),
                         [this](FolderLister::Part& part) { OnPart(part); });
        QObject::connect(lister_.get(), &FolderLister::checked, lister_.get(),
                         [this](FolderLister::Part& part) { OnChecked(part); });
    }
    // A watcher of its own for each listing: the watches of one that was
    // left go with its descriptor. The folder is watched on the worker
    // before it is read, so that nothing made meanwhile is missed.
    watcher_ = std::make_unique<FolderWatcher>(FolderWatcher::Watches::Files);
    QObject::connect(watcher_.get(), &FolderWatcher::changed, watcher_.get(),
                     [this](const std::string&, const FolderEvents& e) { OnEvents(e); });
    // The worker also loads the file types the first time, which the rows'
    // types are then looked up in without that wait on the window's thread.
    listId_ = lister_->List(folder_, listedPattern_, [watch = watcher_->WatchOnReader(folder_)] {
        SysImageList::LoadTypes();
        watch();
    });
    // The rows shown go while the worker reads.
    listView_->Model()->SetRows({}, bDisplayFileSize);
    userSelected_ = false;
}

void cFileView::Follow(const RowChanges& done, bool moveOn) {
    if (!listView_) return;
    RowChanges changes = ChangesStillToMake(listView_->Model()->Rows(), done);
    SetTypes(changes.added);
    SetTypes(changes.changed);
    for (auto& [from, row] : changes.renamed)
        row.typeIndex = SysImageList::Instance().TypeIndexFor(row.name);
    // A listing or check under way may have read these names before the
    // program changed them: its word on them is dropped, and they are looked
    // at again once it has answered.
    if (listId_ != 0 || checkId_ != 0) {
        const auto stale = [this](const std::string& name) {
            followed_.insert(name);
            pending_.touched.insert(name);
        };
        for (const std::string& name : done.removed)
            stale(name);
        for (const auto& [from, row] : done.renamed) {
            stale(from);
            stale(row.name);
        }
        for (const FileRow& row : done.added)
            stale(row.name);
        for (const FileRow& row : done.changed)
            stale(row.name);
    }
    for (const auto& [from, row] : done.renamed)
        echoes_.insert(row.name);
    for (const FileRow& row : done.added)
        echoes_.insert(row.name);
    listView_->ApplyChanges(changes, moveOn);
}

void cFileView::Recheck(const std::vector<std::string>& names) {
    if (!watcher_ || names.empty()) return; // no folder followed
    pending_.touched.insert(names.begin(), names.end());
    CheckPending();
}

void cFileView::StopWatching() {
    if (lister_) lister_->Cancel();
    if (watcher_) {
        // Its report may be what brought us here: it goes once that is over,
        // and says nothing more.
        watcher_->disconnect();
        watcher_.release()->deleteLater();
    }
    if (returnWatch_) { // the same, for the watch that may be what brought us here
        returnWatch_->disconnect();
        returnWatch_.release()->deleteLater();
    }
    listId_ = checkId_ = 0;
    pending_ = {};
    checking_ = {};
    followed_.clear();
    echoes_.clear();
    arrived_ = {};
    arrivedAt_ = 0;
    arrivedLast_ = false;
    awaitingPaint_ = false;
    nextTurn_.stop();
    showTurn_.stop();
    if (listView_) listView_->HoldPaint(false);
}

void cFileView::OnPart(FolderLister::Part& part) {
    if (part.id != listId_ || !listView_) return;
    if (arrived_.empty()) {
        arrived_ = std::move(part.rows);
    } else {
        arrived_.erase(arrived_.begin(), arrived_.begin() + std::ptrdiff_t(arrivedAt_));
        arrived_.insert(arrived_.end(), std::make_move_iterator(part.rows.begin()),
                        std::make_move_iterator(part.rows.end()));
    }
    arrivedAt_ = 0;
    arrivedLast_ = part.last;
    arrivedError_ = part.error;
    TakeArrived();
}

void cFileView::TakeArrived() {
    if (listId_ == 0 || !listView_ || (arrived_.empty() && !arrivedLast_)) return;
    const std::size_t count = std::min(kRowsPerTurn, arrived_.size() - arrivedAt_);
    const auto from = arrived_.begin() + std::ptrdiff_t(arrivedAt_);
    std::vector<FileRow> rows(std::make_move_iterator(from),
                              std::make_move_iterator(from + std::ptrdiff_t(count)));
    arrivedAt_ += count;
    const bool more = arrivedAt_ < arrived_.size();
    if (!more) {
        arrived_ = {};
        arrivedAt_ = 0;
    }
    if (!followed_.empty()) // the program's word on these is newer
        std::erase_if(rows, [this](const FileRow& row) { return followed_.contains(row.name); });
    SetTypes(rows);
    // The view lays every row out now and paints them in a turn of its own.
    listView_->HoldPaint(true);
    listView_->AddRows(std::move(rows));
    const bool shown = listView_->LayOutNow();
    const bool first = !userSelected_ && listView_->Model()->rowCount() > 0;
    if (more || !arrivedLast_) {
        // The first rows' first, selected; it then moves with its file, since
        // each change of the current row lays out every row of the view.
        if (first && listView_->SelectedRow() < 0) listView_->SelectRow(0, true, false);
        if (RowsArrived) RowsArrived();
        NextTurn(shown);
        return;
    }
    listView_->HoldPaint(false);
    listId_ = 0;
    followed_.clear(); // looked at again by the check below
    if (const int error = arrivedError_; error != 0) {
        lastError_ = error;
        StopWatching();
        if (error == ENOENT || error == ENOTDIR) AwaitReturn();
        if (Listed) Listed(false);
        return;
    }
    if (first) listView_->SelectRow(0, true);
    AssignSysIL();
    if (Listed) Listed(true);
    CheckPending(); // what changed while it was read
}

void cFileView::NextTurn(bool shown) {
    if (shown)
        showTurn_.start(0);
    else if (!arrived_.empty()) // unless a new listing began meanwhile
        nextTurn_.start(0);
}

void cFileView::OnEvents(const FolderEvents& events) {
    FolderEvents copy = events;
    pending_.Merge(std::move(copy));
    CheckPending();
}

void cFileView::CheckPending() {
    if (listId_ != 0 || checkId_ != 0 || pending_.Empty() || !lister_) return;
    if (pending_.gone) {
        Gone();
        return;
    }
    checking_ = std::exchange(pending_, {});
    std::vector<std::string> names(checking_.touched.begin(), checking_.touched.end());
    checkId_ = lister_->Check(folder_, listedPattern_, std::move(names), checking_.overflow);
}

void cFileView::OnChecked(FolderLister::Part& part) {
    if (part.id != checkId_ || !listView_) return;
    checkId_ = 0;
    if (part.error != 0) { // the folder cannot be opened any more
        Gone();
        return;
    }
    SetTypes(part.rows);
    // The watcher's report of a rename or copy the list follows already: the
    // file's row is no news unless its size or time differ.
    for (auto it = echoes_.begin(); it != echoes_.end();)
        if (!followed_.contains(*it) && checking_.rewritten.erase(*it) > 0)
            it = echoes_.erase(it);
        else
            ++it;
    const RowChanges changes =
        DiffRows(listView_->Model()->Rows(), checking_, part.rows, followed_);
    checking_ = {};
    followed_.clear(); // in pending_, looked at again below
    listView_->ApplyChanges(changes);
    if (!changes.Empty() && Changed) Changed(changes);
    CheckPending(); // what changed while it was looked at
}

void cFileView::Gone() {
    lastError_ = ENOENT;
    StopWatching();
    if (FolderGone) FolderGone();
}

void cFileView::AwaitReturn() {
    returnWatch_ = std::make_unique<FolderReturnWatch>(folder_);
    QObject::connect(returnWatch_.get(), &FolderReturnWatch::arrived, returnWatch_.get(), [this] {
        const std::string folder = folder_;
        StartListing(folder, displaySize_);
    });
    returnWatch_->Start();
}

bool cFileView::AssignSysIL() {
    if (!listView_) return false;
    constexpr int kSmallIcon = 16;
    listView_->ReportView()->setIconSize(QSize(kSmallIcon, kSmallIcon));
    listView_->SetLargeIconSide(FileListView::kLargeIconSide);
    listView_->Model()->SetShowIcons(true);
    return true;
}

bool cFileView::AutoSizeListViewHeaders() {
    if (!listView_) return false;
    QTreeView* report = listView_->ReportView();
    const int columns = report->header()->count();
    for (int c = 0; c + 1 < columns; ++c)
        report->resizeColumnToContents(c);
    return true;
}

std::string cFileView::StripNulls(std::string& OriginalStr) {
    return ::StripNulls(OriginalStr);
}
