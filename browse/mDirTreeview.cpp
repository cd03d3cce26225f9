#include "browse/mDirTreeview.h"

#include "browse/FolderTreeModel.h"
#include "platform/Files.h"

#include <QApplication>
#include <QResizeEvent>
#include <QSignalBlocker>

namespace mDirTreeview {

namespace {

QPointer<QTreeView> tree;
bool closing = false;

// Keeps the tree filling its host pane.
class HostResizeFilter : public QObject {
  public:
    HostResizeFilter(QObject* parent, QWidget* host) : QObject(parent), host_(host) {}
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Resize && watched == host_.data()) {
            const QSize s = static_cast<QResizeEvent*>(e)->size();
            MoveTree(0, 0, s.width(), s.height());
        }
        return false;
    }

  private:
    QPointer<QWidget> host_;
};

} // namespace

void AdoptTree(BrowsingState& state, const std::string& initialPath) {
    if (!state.TreeHost) return;
    QWidget* host = state.TreeHost;
    auto* model = new FolderTreeModel(host);
    tree = new QTreeView(host);
    tree->setModel(model);
    tree->setHeaderHidden(true);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setAnimated(false);
    tree->setUniformRowHeights(true);
    MoveTree(0, 0, host->width(), host->height());
    host->installEventFilter(new HostResizeFilter(tree, host));
    tree->show();
    tree->expand(model->index(0, 0));
    tree->setFocus(); // as in a folder dialog, the tree holds the keys at first

    BrowsingState* s = &state;
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
    closing = false;
    state.sCurrentPath = initialPath;
    AdoptTree(state, initialPath);
    if (!closing) QApplication::exec();
}

void MoveTree(int x, int y, int width, int height) {
    if (!tree) return;
    tree->setGeometry(x, y, width, height);
    tree->update();
}

void CloseFolderTree() {
    closing = true;
    if (tree) {
        tree->hide();
        tree->deleteLater();
        tree = nullptr;
    }
    QCoreApplication::quit();
}

void RefreshBranch(const std::string& path) {
    if (!tree) return;
    auto* model = static_cast<FolderTreeModel*>(tree->model());
    const QSignalBlocker quiet(tree->selectionModel());
    const bool hadCurrent = tree->currentIndex().isValid();
    model->Reread(path);
    // Rows removed under the selection move it elsewhere; the folder listed
    // is still the one that went, so nothing is selected.
    if (hadCurrent && model->FilePath(tree->currentIndex()) != path) {
        tree->selectionModel()->clear();
        tree->viewport()->update();
    }
}

QTreeView* Tree() {
    return tree.data();
}

} // namespace mDirTreeview
