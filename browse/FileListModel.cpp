#include "browse/FileListModel.h"

#include "browse/AsciiFold.h"
#include "browse/FileTexts.h"

#include <QDateTime>
#include <QFile>
#include <QFileIconProvider>
#include <QLocale>
#include <QMimeDatabase>
#include <algorithm>
#include <numeric>
#include <unordered_map>

SysImageList& SysImageList::Instance() {
    static SysImageList list;
    return list;
}

void SysImageList::LoadTypes() {
    static const bool loaded = [] {
        return QMimeDatabase()
            .mimeTypeForFile(QStringLiteral("x.jpg"), QMimeDatabase::MatchExtension)
            .isValid();
    }();
    (void)loaded;
}

int SysImageList::TypeIndexFor(const std::string& fileName) {
    const std::size_t dot = fileName.rfind('.');
    std::string ext = (dot == std::string::npos || dot == 0) ? std::string() : fileName.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return FoldAscii(c); });
    auto it = std::lower_bound(byExtension_.begin(), byExtension_.end(), ext,
                               [](const auto& e, const std::string& k) { return e.first < k; });
    if (it != byExtension_.end() && it->first == ext) return it->second;

    static const QMimeDatabase db;
    Type type;
    const QMimeType mime =
        ext.empty() ? QMimeType()
                    : db.mimeTypeForFile(QStringLiteral("x") + QFile::decodeName(ext.c_str()),
                                         QMimeDatabase::MatchExtension);
    if (mime.isValid() && !mime.isDefault()) {
        type.name = mime.comment();
        type.icon = QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName()));
    }
    if (type.name.isEmpty()) type.name = QStringLiteral("N/A");
    if (type.icon.isNull()) {
        static const QFileIconProvider provider;
        type.icon = provider.icon(QFileIconProvider::File);
    }
    types_.push_back(std::move(type));
    const int index = int(types_.size()) - 1;
    byExtension_.insert(it, {ext, index});
    return index;
}

namespace {

RowSort SortOfColumn(int column) {
    switch (column) {
    case FileListModel::ColName:
        return RowSort::Name;
    case FileListModel::ColSize:
        return RowSort::Size;
    case FileListModel::ColType:
        return RowSort::Type;
    case FileListModel::ColDate:
        return RowSort::Date;
    }
    return RowSort::Listing;
}

} // namespace

const NaturalOrder& FileListModel::Names() {
    // The collation of the locale the texts are shown in, opened again only
    // when that locale changes.
    const QString locale = QLocale().collation().name();
    if (!names_ || locale != namesLocale_) {
        names_ = std::make_unique<NaturalOrder>(locale.toStdString());
        namesLocale_ = locale;
    }
    return *names_;
}

std::vector<uint32_t> FileListModel::OrderOf(const std::vector<FileRow>& rows) {
    const RowSort sort = SortOfColumn(sortColumn_);
    std::vector<uint32_t> typeRanks;
    if (sort == RowSort::Type) {
        // Each type shown, placed among the others by its name.
        const SysImageList& types = SysImageList::Instance();
        std::vector<std::string> names(std::size_t(types.TypeCount()));
        for (int t = 0; t < types.TypeCount(); ++t)
            names[std::size_t(t)] = types.TypeName(t).toStdString();
        typeRanks = NaturalRanks(names, Names());
    }
    return SortedOrder(rows, sort, sortOrder_ == Qt::DescendingOrder, Names(), typeRanks);
}

void FileListModel::Sort(int column, Qt::SortOrder order) {
    sortColumn_ = column >= 0 && column < ColumnCount ? column : -1;
    sortOrder_ = order;
    if (!rows_.empty()) Permute(OrderOf(rows_));
}

void FileListModel::Permute(std::vector<uint32_t> order) {
    if (order == order_) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> shownAt(rows_.size()); // by place in rows_
    for (std::size_t at = 0; at < order.size(); ++at)
        shownAt[order[at]] = int(at);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& i : from)
        to.append(index(shownAt[order_[std::size_t(i.row())]], i.column()));
    order_ = std::move(order);
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void FileListModel::Reorder(std::span<const uint32_t> unplaced) {
    if (unplaced.empty()) return;
    // In the listing's order the rows that stayed are in order already: only
    // the others are sorted and merged in. Any other order is made anew.
    Permute(sortColumn_ < 0 ? ListingOrderAfter(rows_, order_, unplaced) : OrderOf(rows_));
}

void FileListModel::Append(std::vector<FileRow> rows) {
    const int first = rowCount();
    beginInsertRows({}, first, first + int(rows.size()) - 1);
    // Room made once for a large part, still doubling for a few rows at a time.
    const std::size_t room = std::max(rows_.size() + rows.size(), 2 * rows_.capacity());
    if (rows_.capacity() < rows_.size() + rows.size()) rows_.reserve(room);
    if (order_.capacity() < order_.size() + rows.size()) order_.reserve(room);
    for (FileRow& row : rows) {
        order_.push_back(uint32_t(rows_.size()));
        rows_.push_back(std::move(row));
    }
    endInsertRows();
}

void FileListModel::AddRows(std::vector<FileRow> rows) {
    if (rows.empty()) return;
    const std::size_t first = rows_.size();
    Append(std::move(rows));
    std::vector<uint32_t> added(rows_.size() - first);
    std::iota(added.begin(), added.end(), uint32_t(first));
    Reorder(added);
}

void FileListModel::ApplyChanges(const RowChanges& changes) {
    if (changes.Empty()) return;
    std::unordered_map<std::string_view, uint32_t> placeOf;
    const auto lookUp = [&] {
        placeOf.clear();
        placeOf.reserve(rows_.size());
        for (uint32_t r = 0; r < rows_.size(); ++r)
            placeOf.emplace(rows_[r].name, r);
    };
    const auto find = [&placeOf](const std::string& name) {
        const auto it = placeOf.find(name);
        return it == placeOf.end() ? -1 : int64_t(it->second);
    };
    lookUp();
    // Removed rows go to the end of the order, keeping the order of the
    // others, and are cut off there: one removal, however many there are.
    std::vector<bool> going(rows_.size());
    std::size_t count = 0;
    for (const std::string& name : changes.removed)
        if (const int64_t r = find(name); r >= 0 && !going[std::size_t(r)]) {
            going[std::size_t(r)] = true;
            ++count;
        }
    if (count > 0) {
        std::vector<uint32_t> order;
        order.reserve(order_.size());
        for (const bool last : {false, true})
            for (const uint32_t r : order_)
                if (going[r] == last) order.push_back(r);
        Permute(std::move(order));
        const int kept = int(rows_.size() - count);
        beginRemoveRows({}, kept, int(rows_.size()) - 1);
        // The records that stay close up; the order follows their new places.
        std::vector<uint32_t> newPlace(rows_.size());
        std::size_t to = 0;
        for (std::size_t r = 0; r < rows_.size(); ++r) {
            newPlace[r] = uint32_t(to);
            if (going[r]) continue;
            if (to != r) rows_[to] = std::move(rows_[r]);
            ++to;
        }
        rows_.resize(to);
        order_.resize(to);
        for (uint32_t& r : order_)
            r = newPlace[r];
        endRemoveRows();
        lookUp();
    }
    // Renamed and changed rows are updated where they are, all looked up
    // before any name changes.
    std::vector<std::pair<uint32_t, const FileRow*>> updates;
    for (const auto& [from, row] : changes.renamed)
        if (const int64_t r = find(from); r >= 0) updates.emplace_back(uint32_t(r), &row);
    for (const FileRow& row : changes.changed)
        if (const int64_t r = find(row.name); r >= 0) updates.emplace_back(uint32_t(r), &row);
    std::vector<uint32_t> unplaced;
    if (!updates.empty()) {
        std::vector<int> shownAt(rows_.size());
        for (std::size_t at = 0; at < order_.size(); ++at)
            shownAt[order_[at]] = int(at);
        int low = rowCount(), high = 0;
        for (const auto& [r, row] : updates) {
            rows_[r] = *row;
            unplaced.push_back(r);
            low = std::min(low, shownAt[r]);
            high = std::max(high, shownAt[r]);
        }
        emit dataChanged(index(low, 0), index(high, ColumnCount - 1));
    }
    if (!changes.added.empty()) {
        const std::size_t first = rows_.size();
        Append(changes.added);
        for (std::size_t r = first; r < rows_.size(); ++r)
            unplaced.push_back(uint32_t(r));
    }
    Reorder(unplaced);
}

void FileListModel::SetRows(std::vector<FileRow> rows, bool showSizes) {
    beginResetModel();
    rows_ = std::move(rows);
    order_.resize(rows_.size());
    std::iota(order_.begin(), order_.end(), 0u);
    if (sortColumn_ >= 0 && rows_.size() > 1) order_ = OrderOf(rows_);
    showSizes_ = showSizes;
    endResetModel();
}

void FileListModel::Clear() {
    SetRows({}, showSizes_);
}

void FileListModel::SetShowIcons(bool on) {
    if (on == showIcons_) return; // every row repainted for nothing, after each listing
    showIcons_ = on;
    if (!rows_.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::DecorationRole});
}

QString FileListModel::NameText(int row) const {
    return QFile::decodeName(Row(row).name.c_str());
}

QString FileListModel::SizeColumnText(int row) const {
    if (!showSizes_) return {};
    const QLocale locale;
    return QString::fromStdString(SizeText(Row(row).size, locale.groupSeparator().toStdString()));
}

QString FileListModel::TypeText(int row) const {
    return SysImageList::Instance().TypeName(Row(row).typeIndex);
}

QString FileListModel::DateText(int row) const {
    const QLocale locale;
    const QDateTime local = QDateTime::fromSecsSinceEpoch(Row(row).mtime).toLocalTime();
    const QTime t = local.time();
    return locale.toString(local.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           QString::fromStdString(TimeText(t.hour(), t.minute(), locale.amText().toStdString(),
                                           locale.pmText().toStdString()));
}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const int row = index.row();
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        switch (index.column()) {
        case ColName:
            return NameText(row);
        case ColSize:
            return SizeColumnText(row);
        case ColType:
            return TypeText(row);
        case ColDate:
            return DateText(row);
        }
    } else if (role == Qt::DecorationRole && index.column() == ColName && showIcons_) {
        return SysImageList::Instance().Icon(Row(row).typeIndex);
    } else if (role == Qt::TextAlignmentRole && index.column() == ColSize) {
        return int(Qt::AlignRight | Qt::AlignVCenter);
    }
    return {};
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
    // A flat list: saying so spares the report view asking every row for
    // children each time it lays the rows out.
    // Names are edited in place (FileListView::EditName), the file renamed on
    // disk: the rows themselves never take a name typed.
    const Qt::ItemFlags base = QAbstractTableModel::flags(index);
    if (!index.isValid()) return base;
    return base | Qt::ItemNeverHasChildren |
           (index.column() == ColName ? Qt::ItemIsEditable : Qt::NoItemFlags);
}

QVariant FileListModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal) return {};
    if (role == Qt::TextAlignmentRole && section == ColSize)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole) return {};
    switch (section) {
    case ColName:
        return QStringLiteral("Name");
    case ColSize:
        return QStringLiteral("Size");
    case ColType:
        return QStringLiteral("Type");
    case ColDate:
        return QStringLiteral("Date Modified");
    }
    return {};
}
