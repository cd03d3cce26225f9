#include "browse/FolderTreeModel.h"

#include "browse/FolderScan.h"
#include "browse/PathText.h"
#include "platform/Files.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStyle>
#include <algorithm>
#include <limits>

namespace {

// The folder names of an absolute path, from the root down ("" and "." left out).
std::vector<std::string> PathParts(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t at = 1;
    while (at < path.size()) {
        std::size_t end = path.find('/', at);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(at, end - at);
        at = end + 1;
        if (!part.empty() && part != ".") parts.push_back(std::move(part));
    }
    return parts;
}

// Hidden folders (names starting with ".") are left out, as file managers
// leave them out; one is shown when it is asked for by its path.
bool Hidden(const std::string& name) {
    return name[0] == '.';
}

} // namespace

struct FolderTreeModel::Node {
    std::string name; // bytes; "/" for the root
    Node* parent = nullptr;
    int row = 0;
    bool loaded = false;  // its children are known (some may still wait)
    uint32_t reading = 0; // the read fetchMore asked for, while it runs
    std::vector<std::unique_ptr<Node>> children;
    std::vector<std::string> waiting; // children read, not yet inserted from `inserted` on
    std::size_t inserted = 0;

    std::string Path() const {
        if (!parent) return name;         // the invisible top
        if (!parent->parent) return name; // "/" itself
        std::string p = parent->Path();
        return AddBackslash(p) + name;
    }
};

FolderTreeModel::FolderTreeModel(QObject* parent)
    : QAbstractItemModel(parent), top_(std::make_unique<Node>()) {
    auto root = std::make_unique<Node>();
    root->name.push_back('/');
    root->parent = top_.get();
    top_->children.push_back(std::move(root));
    top_->loaded = true;
    folderIcon_ = QIcon::fromTheme(QStringLiteral("folder"),
                                   QApplication::style()->standardIcon(QStyle::SP_DirIcon));
    connect(&lister_, &FolderLister::subfoldersRead, this, &FolderTreeModel::Answered);
    insertTurn_.setSingleShot(true);
    insertTurn_.setInterval(0);
    connect(&insertTurn_, &QTimer::timeout, this, &FolderTreeModel::InsertWaiting);
}

FolderTreeModel::~FolderTreeModel() = default;

FolderTreeModel::Node* FolderTreeModel::NodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : top_.get();
}

QModelIndex FolderTreeModel::IndexOfNode(Node* node) const {
    if (!node || node == top_.get()) return {};
    return createIndex(node->row, 0, node);
}

std::string FolderTreeModel::FilePath(const QModelIndex& index) const {
    return index.isValid() ? NodeOf(index)->Path() : std::string();
}

void FolderTreeModel::Load(Node* node) {
    if (!node->loaded) {
        std::vector<std::string> names;
        ScanSubfolders(node->Path(), names); // an unreadable folder has no children
        Adopt(node, std::move(names));
    }
    InsertSome(node, std::numeric_limits<std::size_t>::max());
}

void FolderTreeModel::Adopt(Node* node, std::vector<std::string> names) {
    node->loaded = true;
    std::erase_if(names, Hidden);
    if (names.empty()) {
        // It showed an expander until now; it has none.
        const QModelIndex index = IndexOfNode(node);
        emit dataChanged(index, index);
        emit childrenLoaded(index);
        return;
    }
    node->waiting = std::move(names);
    node->inserted = 0;
    node->children.reserve(node->waiting.size());
    waiting_.push_back(node->Path());
}

bool FolderTreeModel::InsertSome(Node* node, std::size_t count) {
    if (node->waiting.empty()) return true;
    const std::size_t n = std::min(count, node->waiting.size() - node->inserted);
    const int first = int(node->children.size());
    beginInsertRows(IndexOfNode(node), first, first + int(n) - 1);
    for (std::size_t i = 0; i < n; ++i) {
        auto child = std::make_unique<Node>();
        child->name = std::move(node->waiting[node->inserted++]);
        child->parent = node;
        child->row = int(node->children.size());
        node->children.push_back(std::move(child));
    }
    endInsertRows();
    if (node->inserted < node->waiting.size()) return false;
    node->waiting = {};
    node->inserted = 0;
    emit childrenLoaded(IndexOfNode(node));
    return true;
}

void FolderTreeModel::InsertWaiting() {
    QElapsedTimer turn;
    turn.start();
    constexpr qint64 kTurnNs = qint64(kInsertTurnMs) * 1000000;
    while (!waiting_.empty() && turn.nsecsElapsed() < kTurnNs) {
        Node* node = Find(waiting_.front()); // gone meanwhile: nothing waits
        if (!node || InsertSome(node, kRowsPerInsert)) waiting_.pop_front();
    }
    if (!waiting_.empty()) insertTurn_.start();
}

void FolderTreeModel::Answered(FolderLister::Part& part) {
    const auto asked = reads_.find(part.id);
    if (asked == reads_.end()) return;
    const std::string path = std::move(asked->second);
    reads_.erase(asked);
    Node* node = Find(path);
    // A folder removed meanwhile, or read at once since (a path looked up).
    if (!node || node->reading != part.id) return;
    node->reading = 0;
    if (node->loaded) return;
    Adopt(node, std::move(part.folders)); // a folder that went has none
    InsertWaiting();                      // the first rows at once
}

FolderTreeModel::Node* FolderTreeModel::AddChild(Node* parent, const std::string& name) {
    const int row = int(parent->children.size());
    beginInsertRows(IndexOfNode(parent), row, row);
    auto child = std::make_unique<Node>();
    child->name = name;
    child->parent = parent;
    child->row = row;
    parent->children.push_back(std::move(child));
    endInsertRows();
    return parent->children.back().get();
}

QModelIndex FolderTreeModel::IndexOf(const std::string& path) {
    if (path.empty() || path[0] != '/') return {};
    Node* node = top_->children[0].get();
    for (const std::string& part : PathParts(path)) {
        Load(node);
        Node* next = nullptr;
        for (auto& c : node->children)
            if (c->name == part) next = c.get();
        if (!next && part[0] == '.' && part != ".." && Files::IsFolder(node->Path() + "/" + part))
            next = AddChild(node, part); // a hidden folder asked for
        if (!next) return {};
        node = next;
    }
    return IndexOfNode(node);
}

FolderTreeModel::Node* FolderTreeModel::ChildNamed(Node* node, const std::string& name) {
    for (auto& c : node->children)
        if (c->name == name) return c.get();
    return nullptr;
}

void FolderTreeModel::Renumber(Node* node) {
    for (std::size_t i = 0; i < node->children.size(); ++i)
        node->children[i]->row = int(i);
}

bool FolderTreeModel::Sync(Node* node) {
    if (!node->loaded) {
        if (node->reading == 0) return false; // read when it is first expanded
        // The read on its way may have seen the folder before the change.
        Load(node);
        return true;
    }
    Load(node); // the rows still waiting go in first
    std::vector<std::string> names;
    ScanSubfolders(node->Path(), names); // a folder gone or unreadable has none
    // Hidden folders stay left out, but one shown because a path asked for it
    // stays while it exists.
    std::erase_if(names,
                  [node](const std::string& n) { return Hidden(n) && !ChildNamed(node, n); });
    const QModelIndex parent = IndexOfNode(node);
    for (int i = int(node->children.size()) - 1; i >= 0; --i) {
        const std::string& name = node->children[std::size_t(i)]->name;
        if (std::find(names.begin(), names.end(), name) != names.end()) continue;
        beginRemoveRows(parent, i, i);
        node->children.erase(node->children.begin() + i);
        Renumber(node);
        endRemoveRows();
    }
    for (const std::string& n : names) {
        if (ChildNamed(node, n)) continue;
        // In name order among the others.
        const auto at = std::find_if(node->children.begin(), node->children.end(),
                                     [&n](const auto& c) { return NameLess(n, c->name); });
        const int row = int(at - node->children.begin());
        beginInsertRows(parent, row, row);
        auto child = std::make_unique<Node>();
        child->name = n;
        child->parent = node;
        node->children.insert(node->children.begin() + row, std::move(child));
        Renumber(node);
        endInsertRows();
    }
    if (node->children.empty()) emit dataChanged(parent, parent); // its expander goes
    return true;
}

void FolderTreeModel::Reread(const std::string& path) {
    if (path.empty() || path[0] != '/') return;
    Node* node = top_->children[0].get();
    Sync(node);
    for (const std::string& part : PathParts(path)) {
        node = ChildNamed(node, part);
        if (!node) return; // gone with the folder above it
        Sync(node);
    }
}

FolderTreeModel::Node* FolderTreeModel::Find(const std::string& path) const {
    if (path.empty() || path[0] != '/') return nullptr;
    Node* node = top_->children[0].get();
    for (const std::string& part : PathParts(path))
        if (!(node = ChildNamed(node, part))) return nullptr;
    return node;
}

void FolderTreeModel::RereadFolder(const std::string& path) {
    if (Node* node = Find(path)) Sync(node);
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex& parent) const {
    Node* p = NodeOf(parent);
    if (column != 0 || row < 0 || row >= int(p->children.size())) return {};
    return createIndex(row, 0, p->children[std::size_t(row)].get());
}

QModelIndex FolderTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid()) return {};
    return IndexOfNode(NodeOf(child)->parent);
}

int FolderTreeModel::rowCount(const QModelIndex& parent) const {
    return int(NodeOf(parent)->children.size());
}

int FolderTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant FolderTreeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const Node* n = NodeOf(index);
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return QFile::decodeName(QByteArray::fromStdString(n->name));
    if (role == Qt::DecorationRole) return folderIcon_;
    return {};
}

bool FolderTreeModel::hasChildren(const QModelIndex& parent) const {
    const Node* n = NodeOf(parent);
    return n->loaded ? !n->children.empty() || !n->waiting.empty() : true;
}

bool FolderTreeModel::canFetchMore(const QModelIndex& parent) const {
    const Node* n = NodeOf(parent);
    return !n->loaded && n->reading == 0;
}

void FolderTreeModel::fetchMore(const QModelIndex& parent) {
    Node* node = NodeOf(parent);
    if (node->loaded || node->reading != 0) return;
    std::string path = node->Path();
    node->reading = lister_.ReadSubfolders(path);
    reads_.emplace(node->reading, std::move(path));
}
