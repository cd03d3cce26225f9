// The rows of the file list: one compact record per listed file, shared by the
// report view and the large-icon view. Texts are made when a view asks for
// them, so a folder of 100,000 files costs one small record per file and no
// per-row widget or icon object. Icons come from the shared icon lists by
// index. The records stay where they are stored; the order shown is a list
// of their places, so sorting and placing new rows move numbers, not records.
#pragma once

#include "browse/FolderChanges.h"
#include "browse/FolderScan.h"
#include "browse/NaturalOrder.h"
#include "browse/RowOrder.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <memory>
#include <span>
#include <string>
#include <vector>

// One entry per file type: its name ("N/A" when the MIME database has none)
// and its small and large icons. Shared by every list, built lazily.
class SysImageList {
  public:
    static SysImageList& Instance();
    // Loads the system's file types once, on any thread; the first lookup
    // otherwise does it.
    static void LoadTypes();
    // The type entry for a file name, by extension; one lookup per extension.
    int TypeIndexFor(const std::string& fileName);
    int TypeCount() const { return int(types_.size()); }
    const QString& TypeName(int index) const { return types_[std::size_t(index)].name; }
    const QIcon& Icon(int index) const { return types_[std::size_t(index)].icon; }

  private:
    struct Type {
        QString name;
        QIcon icon;
    };
    std::vector<Type> types_;
    std::vector<std::pair<std::string, int>> byExtension_; // small, kept sorted
};

class FileListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { ColName, ColSize, ColType, ColDate, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    // New rows (a listing), shown in the current sort order.
    void SetRows(std::vector<FileRow> rows, bool showSizes);
    void Clear();
    // More rows of a listing still being read, placed in the current order.
    void AddRows(std::vector<FileRow> rows);
    // The folder as it is now: rows removed, renamed in place, updated and
    // added, then placed in the current order. Rows that stay keep their
    // selection and current item; the type indices of new names must be set.
    void ApplyChanges(const RowChanges& changes);
    const FileRow& Row(int row) const { return rows_[order_[std::size_t(row)]]; }
    // Every row, in no particular order (the order shown is Row's).
    std::span<const FileRow> Rows() const { return rows_; }
    bool ShowsIcons() const { return showIcons_; }
    void SetShowIcons(bool on);

    // The texts of a row, as the columns show them.
    QString NameText(int row) const;
    QString SizeColumnText(int row) const;
    QString TypeText(int row) const;
    QString DateText(int row) const;

    // Puts the rows in the order of `column` (a Column), or -1 for the order
    // of the listing, and keeps that order for the rows of later listings.
    // Selections and current items follow their rows. The order lasts as
    // long as the model: it is not stored.
    void Sort(int column, Qt::SortOrder order);
    void sort(int column, Qt::SortOrder order) override { Sort(column, order); }
    int SortColumn() const { return sortColumn_; }
    Qt::SortOrder SortOrder() const { return sortOrder_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

  private:
    // The places in `rows` of the rows shown, in the current sort order.
    std::vector<uint32_t> OrderOf(const std::vector<FileRow>& rows);
    // The rows put in the current order, when only those stored at
    // `unplaced` may be out of it.
    void Reorder(std::span<const uint32_t> unplaced);
    // Shows the rows stored at `order` in that order (as many as now);
    // persistent indices follow their rows.
    void Permute(std::vector<uint32_t> order);
    // New rows stored and shown at the end.
    void Append(std::vector<FileRow> rows);
    const NaturalOrder& Names();

    std::vector<FileRow> rows_;   // as stored
    std::vector<uint32_t> order_; // the place in rows_ of each row shown
    int sortColumn_ = -1;         // the listing's own order
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    std::unique_ptr<NaturalOrder> names_; // for the locale in namesLocale_
    QString namesLocale_;
    bool showSizes_ = true;
    bool showIcons_ = false;
};
