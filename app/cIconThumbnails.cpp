#include "app/cIconThumbnails.h"

cIconThumbnails::cIconThumbnails(FileListView* list, const cFileView& files, QObject* parent)
    : QObject(parent), list_(list), files_(files) {
    // Changes of one turn of the event loop (a part of a listing, a sort, a
    // batch of changes on disk) give the scheduler the rows once.
    rowsTimer_.setSingleShot(true);
    rowsTimer_.setInterval(0);
    connect(&rowsTimer_, &QTimer::timeout, this, &cIconThumbnails::GiveRows);
    FileListModel* model = list_->Model();
    connect(model, &QAbstractItemModel::modelReset, this, &cIconThumbnails::RowsChanged);
    connect(model, &QAbstractItemModel::rowsInserted, this, &cIconThumbnails::RowsChanged);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &cIconThumbnails::RowsChanged);
    connect(model, &QAbstractItemModel::layoutChanged, this, &cIconThumbnails::RowsChanged);
    // A file rewritten on disk shows new texts; the scheduler then looks at it again.
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
                if (roles.isEmpty() || roles.contains(Qt::DisplayRole)) RowsChanged();
            });
    connect(list_, &FileListView::shownIconRowsChanged, this, &cIconThumbnails::GiveShownRows);
    list_->SetThumbnails([this](int row) { return Picture(row); });
}

void cIconThumbnails::SetActive(bool on) {
    if (on == active_) return;
    active_ = on;
    if (!on) {
        rowsTimer_.stop();
        paths_.clear();
        if (scheduler_) scheduler_->Clear();
        return;
    }
    if (!scheduler_) {
        scheduler_ = new ThumbnailScheduler(ThumbnailCache(), this);
        connect(scheduler_, &ThumbnailScheduler::ThumbnailReady, this,
                [this](quint64 generation, int row) {
                    if (generation == scheduler_->Generation()) list_->RowPictureChanged(row);
                });
    }
    GiveRows();
}

void cIconThumbnails::RowsChanged() {
    if (active_) rowsTimer_.start();
}

void cIconThumbnails::GiveRows() {
    if (!active_ || !scheduler_) return;
    std::string folder = files_.Folder();
    if (!folder.empty() && folder.back() != '/') folder += '/';
    folderLength_ = folder.size();
    const FileListModel* model = list_->Model();
    const int count = model->rowCount();
    paths_.clear();
    paths_.reserve(std::size_t(count));
    for (int row = 0; row < count; ++row)
        paths_.push_back(folder + model->Row(row).name);
    const double ratio = list_->devicePixelRatioF();
    scheduler_->SetRows(paths_, ThumbnailCache::SizeForIcon(list_->LargeIconSide(), ratio));
    GiveShownRows();
    list_->IconView()->viewport()->update();
}

void cIconThumbnails::GiveShownRows() {
    if (!active_ || !scheduler_ || rowsTimer_.isActive()) return;
    const auto [first, last] = list_->ShownIconRows();
    scheduler_->SetVisible(first, last);
}

QImage cIconThumbnails::Picture(int row) const {
    if (!active_ || !scheduler_ || row < 0 || std::size_t(row) >= paths_.size()) return {};
    // Between a change of the rows and the scheduler's news of it, a row
    // may hold another file: only the picture of the file the row names is
    // drawn, never one under another name.
    const std::string& path = paths_[std::size_t(row)];
    const std::string& name = list_->Model()->Row(row).name;
    if (path.size() != folderLength_ + name.size() ||
        path.compare(folderLength_, name.size(), name) != 0)
        return {};
    return scheduler_->Thumbnail(row);
}
