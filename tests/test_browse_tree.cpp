// The folder tree reads a folder's children off the window's thread: an
// expanded folder's items come when the read answers, in slices, and the tree
// behaves for the user as before meanwhile (expanders, keys, folders that
// cannot be read or went, links, names that are not UTF-8).
#include "TempDir.h"
#include "browse/FolderTreeModel.h"
#include "browse/mDirTreeview.h"

#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

class TreeTest : public QObject {
    Q_OBJECT
  private slots:
    void expandingReadsTheChildrenOnTheWorker();
    void manyChildrenComeInSlicesInNameOrder();
    void keysMoveIntoChildrenOnceTheyCome();
    void foldersThatCannotBeReadOrWentHaveNoChildren();
};

namespace {

constexpr int kSignalMs = 20000; // a bound for a hung read, never a wait

// The tree of `state` in a shown host, selecting `start`.
QTreeView* ShowTree(QWidget& host, BrowsingState& state, const std::string& start) {
    host.resize(300, 400);
    host.show();
    state.TreeHost = &host;
    state.PathChanged = [] {};
    mDirTreeview::AdoptTree(state, start);
    return state.Tree;
}

QStringList ChildNames(const FolderTreeModel& model, const QModelIndex& folder) {
    QStringList names;
    for (int r = 0; r < model.rowCount(folder); ++r)
        names << model.data(model.index(r, 0, folder), Qt::DisplayRole).toString();
    return names;
}

// Waits for `folder`'s children to be all there.
bool WaitLoaded(QSignalSpy& loaded, const QModelIndex& folder) {
    const auto done = [&] {
        for (const QList<QVariant>& args : loaded)
            if (args[0].toModelIndex() == folder) return true;
        return false;
    };
    while (!done())
        if (!loaded.wait(kSignalMs)) return false;
    return true;
}

} // namespace

// The expand returns before the folder is read; the children (links to
// folders too, names in bytes that are not UTF-8, no files, no hidden
// folders, no link that loops on itself) come with the answer, once.
void TreeTest::expandingReadsTheChildrenOnTheWorker() {
    TempDir dir;
    const std::string base = dir.str();
    const std::string odd = base + "/top/caf\xe9"; // Latin-1, not UTF-8
    for (const std::string& d : {base + "/top", odd, base + "/top/b", base + "/top/.hidden"})
        QVERIFY(::mkdir(d.c_str(), 0755) == 0);
    QVERIFY(::symlink((base + "/top").c_str(), (base + "/top/up").c_str()) == 0); // a loop
    QVERIFY(::symlink("self", (base + "/top/self").c_str()) == 0);                // no folder
    QVERIFY(::close(::creat((base + "/top/file.png").c_str(), 0644)) == 0);
    QWidget host;
    BrowsingState state;
    QTreeView* tree = ShowTree(host, state, base + "/top");
    auto* model = static_cast<FolderTreeModel*>(tree->model());
    const QModelIndex top = model->IndexOf(base + "/top");
    QVERIFY(model->hasChildren(top)); // its expander shows before it is read
    QSignalSpy loaded(model, &FolderTreeModel::childrenLoaded);
    QCoreApplication::processEvents(); // the view laid out: an expand reads at once

    tree->expand(top);
    QVERIFY(!model->canFetchMore(top)); // the read is asked, once
    QCOMPARE(model->rowCount(top), 0);  // and not made on the window's thread
    QVERIFY(WaitLoaded(loaded, top));
    QCOMPARE(model->rowCount(top), 3);
    QCOMPARE(model->FilePath(model->index(0, 0, top)), base + "/top/b");
    QCOMPARE(model->FilePath(model->index(1, 0, top)), odd);
    QVERIFY(model->data(model->index(1, 0, top), Qt::DisplayRole).toString().startsWith("caf"));
    QCOMPARE(model->FilePath(model->index(2, 0, top)), base + "/top/up");
    // The loop's children are those of the folder it points to, read lazily.
    const QModelIndex up = model->index(2, 0, top);
    tree->expand(up);
    QVERIFY(WaitLoaded(loaded, up));
    QCOMPARE(ChildNames(*model, up), ChildNames(*model, top));
    QCOMPARE(std::count_if(loaded.begin(), loaded.end(),
                           [&](const QList<QVariant>& a) { return a[0].toModelIndex() == top; }),
             1);
    mDirTreeview::CloseFolderTree(state);
    std::filesystem::remove_all(base + "/top"); // names Qt cannot spell
}

// A folder of many subfolders: its items go in a slice at a time, each
// slice in name order after the last.
void TreeTest::manyChildrenComeInSlicesInNameOrder() {
    constexpr int kFolders = 3 * FolderTreeModel::kRowsPerInsert + 5;
    TempDir dir;
    const std::string base = dir.str();
    std::vector<std::string> names;
    for (int i = 0; i < kFolders; ++i) {
        names.push_back(std::to_string(i));
        names.back().insert(names.back().begin(), 'F');
        QVERIFY(::mkdir((base + "/" + names.back()).c_str(), 0755) == 0);
    }
    std::sort(names.begin(), names.end(), NameLess);
    FolderTreeModel model;
    const QModelIndex folder = model.IndexOf(base);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy loaded(&model, &FolderTreeModel::childrenLoaded);
    model.fetchMore(folder);
    QVERIFY(WaitLoaded(loaded, folder));
    QCOMPARE(model.rowCount(folder), kFolders);
    int next = 0;
    for (const QList<QVariant>& args : inserted) {
        QCOMPARE(args[0].toModelIndex(), folder);
        QCOMPARE(args[1].toInt(), next);
        QVERIFY(args[2].toInt() - next < FolderTreeModel::kRowsPerInsert);
        next = args[2].toInt() + 1;
    }
    QCOMPARE(next, kFolders);
    for (int r = 0; r < kFolders; ++r)
        QCOMPARE(model.FilePath(model.index(r, 0, folder)), base + "/" + names[std::size_t(r)]);
}

// Right expands the chosen folder; once its first child is there, Down moves
// onto it, and Left and Left again go back up, as before.
void TreeTest::keysMoveIntoChildrenOnceTheyCome() {
    TempDir dir;
    const std::string base = dir.str();
    for (const char* d : {"/top", "/top/alpha", "/top/beta"})
        QVERIFY(::mkdir((base + d).c_str(), 0755) == 0);
    QWidget host;
    BrowsingState state;
    QTreeView* tree = ShowTree(host, state, base + "/top");
    auto* model = static_cast<FolderTreeModel*>(tree->model());
    const QModelIndex top = model->IndexOf(base + "/top");
    QCOMPARE(tree->currentIndex(), top);
    QSignalSpy loaded(model, &FolderTreeModel::childrenLoaded);

    QTest::keyClick(tree, Qt::Key_Right);
    QVERIFY(tree->isExpanded(top));
    QVERIFY(WaitLoaded(loaded, top));
    QTest::keyClick(tree, Qt::Key_Down);
    QCOMPARE(state.sCurrentPath, base + "/top/alpha");
    QTest::keyClick(tree, Qt::Key_Down);
    QCOMPARE(state.sCurrentPath, base + "/top/beta");
    QTest::keyClick(tree, Qt::Key_Left); // beta is not expanded: up to its folder
    QCOMPARE(state.sCurrentPath, base + "/top");
    QTest::keyClick(tree, Qt::Key_Left);
    QVERIFY(!tree->isExpanded(top));
    mDirTreeview::CloseFolderTree(state);
}

// A folder that cannot be read, or that went before its read, loses its
// expander and has no children; nothing else changes.
void TreeTest::foldersThatCannotBeReadOrWentHaveNoChildren() {
    TempDir dir;
    const std::string base = dir.str();
    for (const char* d : {"/gone", "/gone/inner", "/locked", "/locked/inner", "/empty"})
        QVERIFY(::mkdir((base + d).c_str(), 0755) == 0);
    QWidget host;
    BrowsingState state;
    QTreeView* tree = ShowTree(host, state, base + "/empty");
    auto* model = static_cast<FolderTreeModel*>(tree->model());
    QSignalSpy loaded(model, &FolderTreeModel::childrenLoaded);
    std::vector<std::string> folders = {"/gone", "/empty"};
    // Root reads every folder whatever its rights.
    if (::geteuid() != 0) {
        QVERIFY(::chmod((base + "/locked").c_str(), 0) == 0);
        folders.push_back("/locked");
    }
    std::filesystem::remove_all(base + "/gone");
    for (const std::string& f : folders) {
        const QModelIndex index = model->IndexOf(base + f); // "gone" is read already
        QCOMPARE(model->FilePath(index), base + f);
        QVERIFY(model->hasChildren(index));
        tree->expand(index);
        QVERIFY(WaitLoaded(loaded, index));
        QCOMPARE(model->rowCount(index), 0);
        QVERIFY(!model->hasChildren(index));
        QVERIFY(!model->canFetchMore(index));
    }
    QCOMPARE(state.sCurrentPath, base + "/empty");
    mDirTreeview::CloseFolderTree(state);
}

QTEST_MAIN(TreeTest)
#include "test_browse_tree.moc"
