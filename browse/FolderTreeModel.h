// The folders of the file system as a lazily loaded tree, rooted at "/".
// Names are kept as the file system's bytes, so every folder can be reached,
// opened and handed on, including those whose names are not valid UTF-8 (they
// are shown with replacement characters). A folder's children are read when
// the view first expands it (fetchMore), on the tree's own FolderLister
// thread: the items come when the answer does, a few hundred at a time, so
// that the window's thread never waits for a large folder; `childrenLoaded`
// says when they are all there. A path looked up reads the folders along it
// at once. Until it is read, a folder shows an expander; one found empty or
// unreadable loses it. Hidden folders are left out unless a path asks for one.
#pragma once

#include "browse/FolderLister.h"

#include <QAbstractItemModel>
#include <QIcon>
#include <QTimer>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class FolderTreeModel : public QAbstractItemModel {
    Q_OBJECT
  public:
    explicit FolderTreeModel(QObject* parent = nullptr);
    ~FolderTreeModel() override;

    // The folder's path: no trailing "/" except the root itself.
    std::string FilePath(const QModelIndex& index) const;
    // The item of an existing folder's path (its parents read on the way);
    // invalid when a part of it is not a folder the tree can list.
    QModelIndex IndexOf(const std::string& path);
    // Reads again the folders the tree has read along `path`, from the root
    // down: folders made since appear, removed ones go (with what they held),
    // and the others keep their items, so expanded branches stay expanded.
    void Reread(const std::string& path);
    // Reads again the folders inside `path` only, if the tree has read them.
    void RereadFolder(const std::string& path);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    // Rows inserted in one go, and the time after which a turn of the event
    // loop hands over to the others (the view lays out what came meanwhile).
    static constexpr int kRowsPerInsert = 256;
    static constexpr int kInsertTurnMs = 2;

  signals:
    // Every child of `parent` is in the model now (none, for a folder found
    // empty, unreadable or gone), after a read that fetchMore started.
    void childrenLoaded(const QModelIndex& parent);

  private:
    struct Node;
    Node* NodeOf(const QModelIndex& index) const;
    QModelIndex IndexOfNode(Node* node) const;
    void Load(Node* node);
    // Gives `node` the children `names` read (hidden ones are left out); the
    // first rows go in at once, the rest in later turns of the event loop.
    void Adopt(Node* node, std::vector<std::string> names);
    void Answered(FolderLister::Part& part);
    // Inserts waiting rows for kInsertTurnMs at most, and comes back for the rest.
    void InsertWaiting();
    // Inserts up to `count` of `node`'s waiting rows; true when none wait now.
    bool InsertSome(Node* node, std::size_t count);
    Node* AddChild(Node* parent, const std::string& name);
    // `node`'s children as the disk has them now; false when `node` was read never.
    bool Sync(Node* node);
    // The child of `node` named `name`, or null.
    static Node* ChildNamed(Node* node, const std::string& name);
    // The item of `path` as far as the tree has read it, or null; nothing is read.
    Node* Find(const std::string& path) const;
    static void Renumber(Node* node);

    std::unique_ptr<Node> top_; // holds the one item "/"
    QIcon folderIcon_;
    FolderLister lister_;
    std::unordered_map<uint32_t, std::string> reads_; // the reads asked: their folders
    std::deque<std::string> waiting_;                 // folders with rows waiting to go in, in turn
    QTimer insertTurn_;
};
