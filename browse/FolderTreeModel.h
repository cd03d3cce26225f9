// The folders of the file system as a lazily loaded tree, rooted at "/".
// Names are kept as the file system's bytes, so every folder can be reached,
// opened and handed on, including those whose names are not valid UTF-8 (they
// are shown with replacement characters). A folder's children are read when
// the view first expands it or a path inside it is looked up. Hidden folders
// are left out unless a path asks for one.
#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <memory>
#include <string>
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

  private:
    struct Node;
    Node* NodeOf(const QModelIndex& index) const;
    QModelIndex IndexOfNode(Node* node) const;
    void Load(Node* node);
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
};
