#include "browse/mDirTreeview.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QResizeEvent>
#include <QTimer>

namespace mDirTreeview {

std::string sCurrentPath;
QPointer<QWidget> TreeHost;

namespace {

std::function<void()> pathChange;
QPointer<QTreeView> tree;
bool closing = false;

// Keeps the tree filling its host pane.
class HostResizeFilter : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Resize && watched == TreeHost.data()) {
            const QSize s = static_cast<QResizeEvent*>(e)->size();
            MoveTree(0, 0, s.width(), s.height());
        }
        return false;
    }
};

void ReportSelection(const QModelIndex& current, QFileSystemModel* model) {
    // A selection without a file-system path reports an empty path.
    const QString path = current.isValid() ? model->filePath(current) : QString();
    sCurrentPath = QFile::encodeName(path).toStdString();
    if (pathChange) pathChange();
}

void AdoptTree(const std::string& initialPath) {
    if (!TreeHost) return;
    auto* model = new QFileSystemModel(TreeHost);
    model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    model->setReadOnly(true);
    model->setRootPath(QStringLiteral("/"));

    tree = new QTreeView(TreeHost);
    tree->setModel(model);
    tree->setHeaderHidden(true);
    for (int c = 1; c < model->columnCount(); ++c)
        tree->hideColumn(c);
    tree->setRootIndex(model->index(QStringLiteral("/")).parent());
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setAnimated(false);
    MoveTree(0, 0, TreeHost->width(), TreeHost->height());
    TreeHost->installEventFilter(new HostResizeFilter(tree));
    tree->show();

    QObject::connect(tree->selectionModel(), &QItemSelectionModel::currentChanged, tree,
                     [model](const QModelIndex& current) { ReportSelection(current, model); });

    // The initial folder: selected and revealed when it exists, else nothing.
    const QString start = QFile::decodeName(QByteArray::fromStdString(initialPath));
    const QFileInfo info(start);
    if (!start.isEmpty() && info.isDir()) {
        const QModelIndex index = model->index(info.absoluteFilePath());
        if (index.isValid()) {
            for (QModelIndex up = index.parent(); up.isValid(); up = up.parent())
                tree->expand(up);
            tree->setCurrentIndex(index);
            tree->scrollTo(index, QAbstractItemView::PositionAtCenter);
            // Folders load and sort lazily, adding rows above it as they
            // arrive; reveal it again once they have had time to settle.
            QPersistentModelIndex keep(index);
            for (const int ms : {50, 250, 750, 1500})
                QTimer::singleShot(ms, tree, [keep] {
                    if (keep.isValid() && tree && tree->currentIndex() == keep)
                        tree->scrollTo(keep, QAbstractItemView::PositionAtCenter);
                });
        }
    }
}

} // namespace

void SetPathChangeHandler(std::function<void()> nPathchange) {
    pathChange = std::move(nPathchange);
}

void ShowFolderTree(const std::string& initialPath) {
    closing = false;
    sCurrentPath = initialPath;
    AdoptTree(initialPath);
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

QTreeView* Tree() {
    return tree.data();
}

} // namespace mDirTreeview
