#include "browse/FileListModel.h"

#include "browse/AsciiFold.h"
#include "browse/FileTexts.h"

#include <QDateTime>
#include <QFile>
#include <QFileIconProvider>
#include <QLocale>
#include <QMimeDatabase>
#include <algorithm>

SysImageList& SysImageList::Instance() {
    static SysImageList list;
    return list;
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

void FileListModel::SetRows(std::vector<FileRow> rows, bool showSizes) {
    beginResetModel();
    rows_ = std::move(rows);
    showSizes_ = showSizes;
    endResetModel();
}

void FileListModel::Clear() {
    SetRows({}, showSizes_);
}

void FileListModel::SetShowIcons(bool on) {
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
