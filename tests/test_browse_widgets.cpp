// The file list, the filter and the folder tree as widgets, off-screen, on
// real temporary folders.
#include "BrowseFiles.h"
#include "app/ImageFormatFilters.h"
#include "app/fMain.h"
#include "app/mSetup.h"
#include "browse/FileListView.h"
#include "browse/FolderTreeModel.h"
#include "browse/NaturalOrder.h"
#include "browse/cFileView.h"
#include "browse/mDirTreeview.h"
#include "tests/TestDecoderPool.h"
#include "tests/WindowControls.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

class BrowseTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void listsAFolder();
    void keepsRowsWhenAFolderCannotBeRead();
    void emptyFoldersAndTheSizeFlag();
    void filterRowsChooseTheFiles();
    void headerClicksSortEveryColumnBothWays();
    void sortingKeepsTheSelectedFileInView();
    void treeSelectsAndReportsTheStartFolder();
    void treeIgnoresAMissingStartFolder();
    void treeReachesFoldersWhoseNamesAreNotUtf8();
    void treeRereadsTheBranchOfTheFolder();

  private:
    static void Touch(const QString& path, qint64 size = 0) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (size > 0) f.resize(size);
    }
    QTemporaryDir dir_;
};

void BrowseTest::initTestCase() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    Touch(dir_.filePath("PHOTO.GIF"), 1536);
    Touch(dir_.filePath("photo.gifx"), 10);
    Touch(dir_.filePath("picture.iff"), 1048576);
    Touch(dir_.filePath("photo.tif"), 1);
    Touch(dir_.filePath("photo.jpeg"), 1025);
    Touch(dir_.filePath("a.bmp"), 10000000);
    Touch(dir_.filePath("noext"), 5);
    QDir(dir_.path()).mkdir(QStringLiteral("x.bmp"));
}

void BrowseTest::listsAFolder() {
    FileListView list;
    cFileView view;
    view.SetListView(&list);
    QCOMPARE(view.Pattern(), std::string("*.*"));
    view.SetPattern("*.bmp;*.gif");
    QVERIFY(view.ListFiles(dir_.path().toStdString(), true));
    FileListModel* m = list.Model();
    QCOMPARE(m->rowCount(), 2);
    QCOMPARE(m->NameText(0), QStringLiteral("a.bmp"));
    QCOMPARE(m->SizeColumnText(0), QStringLiteral("9,766 KB"));
    QCOMPARE(m->NameText(1), QStringLiteral("PHOTO.GIF"));
    QCOMPARE(m->SizeColumnText(1), QStringLiteral("2 KB"));
    QCOMPARE(list.SelectedRow(), 0);
    QCOMPARE(m->headerData(FileListModel::ColSize, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("Size"));
    QCOMPARE(m->data(m->index(0, FileListModel::ColSize), Qt::TextAlignmentRole).toInt() &
                 Qt::AlignRight,
             int(Qt::AlignRight));
    QVERIFY(m->DateText(0).endsWith(QStringLiteral(" AM")) ||
            m->DateText(0).endsWith(QStringLiteral(" PM")));

    // With a trailing "/" the list is the same.
    QVERIFY(view.ListFiles(dir_.path().toStdString() + "/", true));
    QCOMPARE(m->rowCount(), 2);

    // Every file under "*.*"; a type the MIME database cannot name shows "N/A".
    view.SetPattern("*.*");
    QVERIFY(view.ListFiles(dir_.path().toStdString(), true));
    QCOMPARE(m->rowCount(), 7);
    for (int r = 0; r < m->rowCount(); ++r)
        if (m->NameText(r) == QStringLiteral("noext") ||
            m->NameText(r) == QStringLiteral("photo.gifx"))
            QCOMPARE(m->TypeText(r), QStringLiteral("N/A"));
    // Both views share the rows and the selection.
    list.SetLargeIconView(true);
    QCOMPARE(list.IconView()->model(), list.ReportView()->model());
    QCOMPARE(list.IconView()->selectionModel(), list.ReportView()->selectionModel());
}

void BrowseTest::keepsRowsWhenAFolderCannotBeRead() {
    FileListView list;
    cFileView view;
    view.SetListView(&list);
    QVERIFY(view.ListFiles(dir_.path().toStdString(), true));
    const int rows = list.Model()->rowCount();
    QVERIFY(rows > 0);
    QVERIFY(!view.ListFiles(dir_.filePath(QStringLiteral("missing")).toStdString(), true));
    QCOMPARE(list.Model()->rowCount(), rows);
    if (::geteuid() != 0) { // permissions do not stop root
        QTemporaryDir locked;
        QFile::setPermissions(locked.path(), QFileDevice::Permissions());
        QVERIFY(!view.ListFiles(locked.path().toStdString(), true));
        QCOMPARE(list.Model()->rowCount(), rows);
        QFile::setPermissions(locked.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                 QFileDevice::ExeOwner);
    }
}

void BrowseTest::emptyFoldersAndTheSizeFlag() {
    FileListView list;
    cFileView view;
    view.SetListView(&list);
    QVERIFY(view.ListFiles(dir_.path().toStdString(), false));
    QVERIFY(list.Model()->rowCount() > 0);
    for (int r = 0; r < list.Model()->rowCount(); ++r)
        QVERIFY(list.Model()->SizeColumnText(r).isEmpty());

    QTemporaryDir empty;
    QDir(empty.path()).mkdir(QStringLiteral("sub"));
    QVERIFY(view.ListFiles(empty.path().toStdString(), true));
    QCOMPARE(list.Model()->rowCount(), 0);
    QCOMPARE(list.SelectedRow(), -1);
}

void BrowseTest::filterRowsChooseTheFiles() {
    SetupRecord setup = mSetup::Defaults();
    BrowsingState state;
    fMain main(state, setup, TestDecoderPool());
    state.sCurrentPath = dir_.path().toStdString();
    auto names = [&] {
        QStringList n;
        for (int r = 0; r < Control<FileListView>(&main, "lvFiles")->Model()->rowCount(); ++r)
            n << Control<FileListView>(&main, "lvFiles")->Model()->NameText(r);
        return n;
    };
    QCOMPARE(Control<QComboBox>(&main, "ComboFilter")->count(), int(ImageFormatFilters.size()));
    QCOMPARE(Control<QComboBox>(&main, "ComboFilter")->currentIndex(), 0);
    QCOMPARE(Control<QComboBox>(&main, "ComboFilter")->itemText(int(kAllFilesRow)),
             QStringLiteral("All Files(*.*)"));
    // Each filter row lists again, on the worker.
    const auto choose = [&main](int row) {
        Control<QComboBox>(&main, "ComboFilter")->setCurrentIndex(row);
        QTRY_VERIFY(!main.Listing());
    };
    choose(1);
    choose(0);
    // Every picture the program reads, whatever the spelling of its extension.
    QStringList all = names();
    for (const char* name : {"picture.iff", "photo.tif", "photo.jpeg", "PHOTO.GIF", "a.bmp"})
        QVERIFY2(all.contains(QLatin1String(name)), name);
    QVERIFY(!all.contains(QStringLiteral("photo.gifx")));
    QVERIFY(!all.contains(QStringLiteral("noext")));
    QCOMPARE(Control<QLabel>(&main, "lblCount")->text(),
             QString::number(all.size()) + QStringLiteral(" Image Files"));
    choose(23);
    QCOMPARE(names(), QStringList{QStringLiteral("photo.tif")});
    choose(int(kAllFilesRow));
    QCOMPARE(names().size(), 7);
    choose(9);
    QCOMPARE(names(), QStringList{QStringLiteral("photo.jpeg")});
    QCOMPARE(QString::fromStdString(state.CurrentPattern),
             QStringLiteral("*.jpg;*.jpeg;*.jif;*.jfif"));
    QCOMPARE(QString::fromStdString(setup.LastPath), dir_.path());
}

namespace {

std::vector<std::string> RowNames(FileListModel* m) {
    std::vector<std::string> names;
    for (int r = 0; r < m->rowCount(); ++r)
        names.push_back(m->Row(r).name);
    return names;
}

void ClickHeader(FileListView& list, int column) {
    QHeaderView* header = list.ReportView()->header();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

} // namespace

void BrowseTest::headerClicksSortEveryColumnBothWays() {
    QTemporaryDir dir;
    const std::string d = QFile::encodeName(dir.path()).toStdString();
    constexpr time_t kDay = 86400, kStart = 1700000000;
    const std::string latin1 = "caf\xe9.bmp"; // not UTF-8
    MakeFile(d + "/IMG_9.jpg", 3000, kStart + 2 * kDay);
    MakeFile(d + "/IMG_10.jpg", 1000, kStart + kDay);
    MakeFile(d + "/img_2.png", 2000, kStart + 3 * kDay);
    MakeFile(d + "/b.gif", 500, kStart);
    MakeFile(d + "/" + latin1, 4000, kStart + kDay); // the same time as IMG_10.jpg
    FileListView list;
    list.resize(500, 300);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    cFileView view;
    view.SetListView(&list);
    view.SetPattern("*.*");
    QVERIFY(view.ListFiles(d, true));
    FileListModel* m = list.Model();
    QHeaderView* header = list.ReportView()->header();
    // Before any click: the listing's order, no arrow.
    const std::vector<std::string> listing = {"b.gif", latin1, "IMG_10.jpg", "img_2.png",
                                              "IMG_9.jpg"};
    QCOMPARE(RowNames(m), listing);
    QCOMPARE(header->sortIndicatorSection(), -1);

    const struct {
        int column;
        std::vector<std::string> ascending;
    } cases[] = {
        {FileListModel::ColName, {"b.gif", latin1, "img_2.png", "IMG_9.jpg", "IMG_10.jpg"}},
        {FileListModel::ColSize, {"b.gif", "IMG_10.jpg", "img_2.png", "IMG_9.jpg", latin1}},
        // Equal times (caf\xe9.bmp, IMG_10.jpg) fall to the names.
        {FileListModel::ColDate, {"b.gif", latin1, "IMG_10.jpg", "IMG_9.jpg", "img_2.png"}},
    };
    for (const auto& c : cases) {
        ClickHeader(list, c.column);
        QCOMPARE(header->sortIndicatorSection(), c.column);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        QCOMPARE(RowNames(m), c.ascending);
        ClickHeader(list, c.column);
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        QCOMPARE(RowNames(m), std::vector<std::string>(c.ascending.rbegin(), c.ascending.rend()));
    }
    // Type: the type texts in natural order, equal ones by name; then the other way.
    NaturalOrder order(QLocale().collation().name().toStdString());
    for (const Qt::SortOrder way : {Qt::AscendingOrder, Qt::DescendingOrder}) {
        ClickHeader(list, FileListModel::ColType);
        QCOMPARE(header->sortIndicatorOrder(), way);
        for (int r = 0; r + 1 < m->rowCount(); ++r) {
            int first = r, second = r + 1;
            if (way == Qt::DescendingOrder) std::swap(first, second);
            const std::string a = m->TypeText(first).toStdString();
            const std::string b = m->TypeText(second).toStdString();
            QVERIFY(order.Less(a, b) ||
                    (a == b && order.Less(m->Row(first).name, m->Row(second).name)));
        }
    }

    // A new listing keeps the order chosen, and selects its first row.
    list.SortBy(FileListModel::ColSize, Qt::DescendingOrder);
    MakeFile(d + "/huge.png", 9000, kStart);
    QVERIFY(view.ListFiles(d, true));
    QCOMPARE(RowNames(m), (std::vector<std::string>{"huge.png", latin1, "IMG_9.jpg", "img_2.png",
                                                    "IMG_10.jpg", "b.gif"}));
    QCOMPARE(list.SelectedRow(), 0);
    QCOMPARE(header->sortIndicatorSection(), int(FileListModel::ColSize));
    // And the large icons show the same rows in the same order.
    list.SetLargeIconView(true);
    QCOMPARE(list.IconView()->model()->index(0, 0).data().toString(), QStringLiteral("huge.png"));
    // Back to the listing's order.
    list.SortBy(-1, Qt::AscendingOrder);
    QCOMPARE(RowNames(m).front(), std::string("b.gif"));
    QCOMPARE(header->sortIndicatorSection(), -1);
    std::filesystem::remove(d + "/" + latin1); // Qt's removal cannot spell its name
}

// A re-sort moves the selected file and the current item with their row,
// scrolls to it, and is no new choice of a file.
void BrowseTest::sortingKeepsTheSelectedFileInView() {
    QTemporaryDir dir;
    const std::string d = QFile::encodeName(dir.path()).toStdString();
    constexpr int kFiles = 300;
    for (int i = 0; i < kFiles; ++i)
        MakeFile(d + "/pic" + std::to_string(i) + ".png", (i * 37) % kFiles, 1700000000 + i);
    FileListView list;
    list.resize(400, 200); // a few rows at a time
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    cFileView view;
    view.SetListView(&list);
    view.SetPattern("*.png");
    QVERIFY(view.ListFiles(d, true));
    FileListModel* m = list.Model();
    QSignalSpy chosen(&list, &FileListView::selectedRowChanged);
    const QStringList picks = {"pic0.png", "pic150.png", "pic299.png", "pic7.png"};
    int column = 0;
    for (const QString& pick : picks) {
        int row = 0;
        while (m->NameText(row) != pick)
            ++row;
        list.SelectRow(row);
        chosen.clear();
        for (const Qt::SortOrder way : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            list.SortBy(column, way);
            const int now = list.SelectedRow();
            QCOMPARE(m->NameText(now), pick);
            QVERIFY(list.ReportView()->selectionModel()->isRowSelected(now, {}));
            QCOMPARE(list.ReportView()->selectionModel()->selectedRows().size(), 1);
            QApplication::processEvents();
            const QRect shown = list.ReportView()->visualRect(m->index(now, 0));
            QVERIFY2(list.ReportView()->viewport()->rect().intersects(shown),
                     qPrintable(pick + QStringLiteral(" not scrolled to")));
        }
        QCOMPARE(chosen.count(), 0);
        column = (column + 1) % FileListModel::ColumnCount;
    }
}

void BrowseTest::treeSelectsAndReportsTheStartFolder() {
    QWidget host;
    host.resize(300, 200);
    BrowsingState state;
    state.TreeHost = &host;
    QStringList reports;
    state.PathChanged = [&] {
        reports << QStringLiteral("changed:") + QString::fromStdString(state.sCurrentPath);
    };
    const QString start = dir_.path() + QStringLiteral("/");
    QSize treeSize, hostSize;
    QTimer::singleShot(200, [&] {
        host.resize(420, 260); // the tree follows its pane
        QApplication::processEvents();
        hostSize = host.size();
        if (state.Tree) treeSize = state.Tree->size();
        mDirTreeview::CloseFolderTree(state);
    });
    host.show();
    mDirTreeview::ShowFolderTree(state, start.toStdString());
    QCOMPARE(reports, QStringList{QStringLiteral("changed:") + dir_.path()});
    QCOMPARE(treeSize, hostSize);
    QVERIFY(state.Tree.isNull());
}

void BrowseTest::treeIgnoresAMissingStartFolder() {
    QWidget host;
    host.resize(300, 200);
    BrowsingState state;
    state.TreeHost = &host;
    int reports = 0;
    state.PathChanged = [&] { ++reports; };
    QTimer::singleShot(100, [&state] { mDirTreeview::CloseFolderTree(state); });
    mDirTreeview::ShowFolderTree(state,
                                 dir_.filePath(QStringLiteral("no-such-folder/")).toStdString());
    QCOMPARE(reports, 0);
}

void BrowseTest::treeReachesFoldersWhoseNamesAreNotUtf8() {
    const std::string base = QFile::encodeName(dir_.path()).toStdString();
    const std::string odd = base + "/caf\xe9-\xff"; // Latin-1 bytes, not UTF-8
    const std::string inner = odd + "/sub";
    QVERIFY(::mkdir(odd.c_str(), 0755) == 0);
    QVERIFY(::mkdir(inner.c_str(), 0755) == 0);
    QVERIFY(::symlink(odd.c_str(), (base + "/link-to-odd").c_str()) == 0);
    FolderTreeModel model;
    const QModelIndex i = model.IndexOf(inner);
    QVERIFY(i.isValid());
    QCOMPARE(model.FilePath(i), inner);
    QCOMPARE(model.FilePath(i.parent()), odd);
    QVERIFY(model.data(i.parent(), Qt::DisplayRole).toString().startsWith(QStringLiteral("caf")));
    QVERIFY(model.IndexOf(base + "/link-to-odd/sub").isValid()); // links to folders count
    QVERIFY(!model.IndexOf(base + "/a.bmp").isValid());          // a file is no folder
    QVERIFY(!model.IndexOf(base + "/missing").isValid());
    QCOMPARE(model.FilePath(model.index(0, 0)), std::string("/"));
    // Hidden folders are left out of a listing, but reached by their path.
    QVERIFY(::mkdir((base + "/.hidden").c_str(), 0755) == 0);
    FolderTreeModel fresh;
    const QModelIndex folder = fresh.IndexOf(base);
    fresh.fetchMore(folder);
    for (int r = 0; r < fresh.rowCount(folder); ++r)
        QVERIFY(fresh.FilePath(fresh.index(r, 0, folder)) != base + "/.hidden");
    QCOMPARE(fresh.FilePath(fresh.IndexOf(base + "/.hidden")), base + "/.hidden");

    // The tree selects it and reports its bytes; the list then lists it.
    QWidget host;
    host.resize(300, 200);
    BrowsingState state;
    state.TreeHost = &host;
    state.PathChanged = [] {};
    mDirTreeview::AdoptTree(state, odd + "/");
    QCOMPARE(state.sCurrentPath, odd);
    QVERIFY(::close(::creat((odd + "/x.png").c_str(), 0644)) == 0);
    FileListView list;
    cFileView view;
    view.SetListView(&list);
    QVERIFY(view.ListFiles(state.sCurrentPath, true));
    QCOMPARE(list.Model()->rowCount(), 1);
    mDirTreeview::CloseFolderTree(state);
    // Qt's own removal cannot spell such names: remove them by their bytes.
    std::filesystem::remove_all(odd);
    std::filesystem::remove(base + "/link-to-odd");
}

// Folders made and removed while the program runs: a refresh of the branch
// shows the new ones in name order and drops the removed ones, keeps the
// items that stay (expanded branches stay expanded), and reports no folder
// change, also when the selected folder itself went.
void BrowseTest::treeRereadsTheBranchOfTheFolder() {
    QTemporaryDir top;
    const std::string base = QFile::encodeName(top.path()).toStdString();
    for (const char* name : {"/b", "/d", "/d/inner", "/f"})
        QVERIFY(::mkdir((base + name).c_str(), 0755) == 0);
    QWidget host;
    host.resize(300, 200);
    BrowsingState state;
    state.TreeHost = &host;
    int changes = 0;
    state.PathChanged = [&changes] { ++changes; };
    mDirTreeview::AdoptTree(state, base + "/d");
    QCOMPARE(state.sCurrentPath, base + "/d");
    QTreeView* tree = state.Tree;
    auto* model = static_cast<FolderTreeModel*>(tree->model());
    const QModelIndex folder = model->IndexOf(base);
    auto names = [&] {
        QStringList list;
        for (int r = 0; r < model->rowCount(folder); ++r)
            list << QString::fromStdString(model->FilePath(model->index(r, 0, folder)))
                        .section(QLatin1Char('/'), -1);
        return list;
    };
    QCOMPARE(names(), (QStringList{"b", "d", "f"}));
    tree->expand(model->IndexOf(base + "/d"));
    const int before = changes;

    QVERIFY(::mkdir((base + "/a").c_str(), 0755) == 0);
    QVERIFY(::mkdir((base + "/e").c_str(), 0755) == 0);
    QVERIFY(::mkdir((base + "/.secret").c_str(), 0755) == 0);
    QVERIFY(::rmdir((base + "/f").c_str()) == 0);
    QVERIFY(::mkdir((base + "/d/new").c_str(), 0755) == 0);
    mDirTreeview::RefreshBranch(state, base + "/d");
    QCOMPARE(names(), (QStringList{"a", "b", "d", "e"})); // hidden ones stay out
    const QModelIndex d = model->IndexOf(base + "/d");
    QVERIFY(tree->isExpanded(d));
    QCOMPARE(model->rowCount(d), 2); // inner, new
    QCOMPARE(model->FilePath(tree->currentIndex()), base + "/d");
    QCOMPARE(changes, before);

    // The selected folder itself goes: it leaves the tree, which selects nothing.
    std::filesystem::remove_all(base + "/d");
    mDirTreeview::RefreshBranch(state, base + "/d");
    QCOMPARE(names(), (QStringList{"a", "b", "e"}));
    QVERIFY(!tree->selectionModel()->hasSelection());
    QCOMPARE(changes, before);
    mDirTreeview::RefreshBranch(state, "relative/path"); // nothing to read
    mDirTreeview::CloseFolderTree(state);
}

QTEST_MAIN(BrowseTest)
#include "test_browse_widgets.moc"
