#include "browse/mDirTreeview.h"

#include "browse/FolderTreeModel.h"
#include "browse/FolderWatcher.h"
#include "platform/Files.h"

#include <QApplication>
#include <QResizeEvent>
#include <QSignalBlocker>
#include <functional>

namespace mDirTreeview {

namespace {

// Rereads with `reread` as the disk has the folders now, reporting no folder
// change: rows removed under the selection would move it elsewhere. When the
// folder selected went, nothing is selected and true comes back.
bool RereadQuietly(QTreeView* tree, const std::function<void(FolderTreeModel&)>& reread) {
    auto* model = static_cast<FolderTreeModel*>(tree->model());
    const QSignalBlocker quiet(tree->selectionModel());
    const QModelIndex current = tree->currentIndex();
    const std::string selected = current.isValid() ? model->FilePath(current) : std::string();
    reread(*model);
    if (selected.empty() || model->FilePath(tree->currentIndex()) == selected) return false;
    tree->selectionModel()->clear();
    tree->viewport()->update();
    return true;
}

// Folders made, removed or renamed in an expanded branch (those `watcher`
// watches) show in the tree.
void FollowDisk(BrowsingState* state, FolderWatcher* watcher, const std::string& folder,
                const FolderEvents& events) {
    if (!state->Tree || (events.folders.empty() && !events.overflow)) return;
    const bool went = RereadQuietly(state->Tree, [&](FolderTreeModel& model) {
        model.RereadFolder(folder);
        // Branches that went (or were lost events) are read again or let go.
        for (const std::string& watched : watcher->Folders())
            if (!model.IndexOf(watched).isValid())
                watcher->Unwatch(watched);
            else if (events.overflow)
                model.RereadFolder(watched);
    });
    if (went && state->FolderGone) state->FolderGone();
}

// Keeps the tree filling its host pane.
class HostResizeFilter : public QObject {
  public:
    HostResizeFilter(QTreeView* tree, QWidget* host) : QObject(tree), tree_(tree), host_(host) {}
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Resize && watched == host_.data())
            tree_->setGeometry(QRect(QPoint(0, 0), static_cast<QResizeEvent*>(e)->size()));
        return false;
    }

  private:
    QTreeView* tree_; // the parent
    QPointer<QWidget> host_;
};

} // namespace

void AdoptTree(BrowsingState& state, const std::string& initialPath) {
    if (!state.TreeHost) return;
    QWidget* host = state.TreeHost;
    auto* model = new FolderTreeModel(host);
    auto* tree = new QTreeView(host);
    state.Tree = tree;
    tree->setObjectName(QStringLiteral("folderTree"));
    tree->setModel(model);
    tree->setHeaderHidden(true);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setAnimated(false);
    tree->setUniformRowHeights(true);
    MoveTree(state, 0, 0, host->width(), host->height());
    host->installEventFilter(new HostResizeFilter(tree, host));
    tree->show();
    tree->setFocus(); // as in a folder dialog, the tree holds the keys at first

    BrowsingState* s = &state;
    // The folders of the expanded branches.
    auto* watcher = new FolderWatcher(FolderWatcher::Watches::Folders, tree);
    QObject::connect(tree, &QTreeView::expanded, watcher, [model, watcher](const QModelIndex& i) {
        watcher->Watch(model->FilePath(i));
    });
    QObject::connect(tree, &QTreeView::collapsed, watcher, [model, watcher](const QModelIndex& i) {
        watcher->Unwatch(model->FilePath(i));
    });
    QObject::connect(watcher, &FolderWatcher::changed, tree,
                     [s, watcher](const std::string& folder, const FolderEvents& events) {
                         FollowDisk(s, watcher, folder, events);
                     });
    tree->expand(model->index(0, 0)); // watched from the start
    QObject::connect(tree->selectionModel(), &QItemSelectionModel::currentChanged, tree,
                     [s, model](const QModelIndex& current) {
                         // A selection without a folder reports an empty path.
                         s->sCurrentPath = model->FilePath(current);
                         if (s->PathChanged) s->PathChanged();
                     });

    // The initial folder: selected and revealed when it exists, else nothing.
    std::string start = initialPath;
    while (start.size() > 1 && start.back() == '/')
        start.pop_back();
    if (start.empty() || !Files::IsFolder(start)) return;
    const QModelIndex index = model->IndexOf(start);
    if (!index.isValid()) return;
    for (QModelIndex up = index.parent(); up.isValid(); up = up.parent())
        tree->expand(up);
    tree->setCurrentIndex(index);
    tree->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void ShowFolderTree(BrowsingState& state, const std::string& initialPath) {
    state.TreeClosed = false;
    state.sCurrentPath = initialPath;
    AdoptTree(state, initialPath);
    if (!state.TreeClosed) QApplication::exec();
}

void MoveTree(BrowsingState& state, int x, int y, int width, int height) {
    if (!state.Tree) return;
    state.Tree->setGeometry(x, y, width, height);
    state.Tree->update();
}

void CloseFolderTree(BrowsingState& state) {
    state.TreeClosed = true;
    if (QTreeView* tree = state.Tree) {
        tree->hide();
        tree->deleteLater();
        state.Tree = nullptr;
    }
    QCoreApplication::quit();
}

void RefreshBranch(BrowsingState& state, const std::string& path) {
    if (!state.Tree) return;
    RereadQuietly(state.Tree, [&path](FolderTreeModel& model) { model.Reread(path); });
}

} // namespace mDirTreeview
