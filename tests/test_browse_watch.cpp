// The file list read on a worker and following its folder on disk, and the
// folder tree following the folders of its expanded branches: off-screen, on
// real temporary folders changed while they are shown.
#include "BrowseFiles.h"
#include "browse/FolderTreeModel.h"
#include "browse/FolderWatcher.h"
#include "browse/cFileView.h"
#include "browse/mDirTreeview.h"
#include "tests/ShownList.h"
#include "tests/TempDir.h"

#include <QAbstractItemModelTester>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

class WatchTest : public QObject {
    Q_OBJECT
  private slots:
    void listingComesInPartsOffTheCallersThread();
    void aLargeListingGoesInASliceAtATime();
    void aStaleListingIsDropped();
    void theListerDropsPartsOfAnEarlierListing();
    void theWatchIsAddedBeforeTheFolderIsRead();
    void aRowChosenDuringTheListingStaysChosen();
    void theListFollowsTheDisk();
    void aBurstIsGathered();
    void lostEventsReadTheWholeFolder();
    void theViewKeepsItsPlace();
    void aFolderThatGoesIsReported();
    void nothingRunsWhileTheFolderIsQuiet();
    void theTreeFollowsTheDisk();
};

void WatchTest::listingComesInPartsOffTheCallersThread() {
    TempDir dir;
    constexpr int kFiles = 1200;
    for (int i = 0; i < kFiles; ++i)
        MakeFile(dir.str() + "/IMG_" + std::to_string(i) + (i % 4 ? ".png" : ".txt"), i);
    std::vector<FileRow> expected;
    QVERIFY(ScanFolder(dir.str() + "/", PathMatcher("*.png"), expected));
    for (const Qt::SortOrder way : {Qt::AscendingOrder, Qt::DescendingOrder}) {
        Shown s;
        QSignalSpy chosen(&s.list, &FileListView::selectedRowChanged);
        s.list.SortBy(way == Qt::AscendingOrder ? -1 : int(FileListModel::ColSize), way);
        s.view.StartListing(dir.str(), true);
        QCOMPARE(s.list.Model()->rowCount(), 0); // nothing read on this thread
        QVERIFY(s.view.Listing());
        QVERIFY(QTest::qWaitFor([&] { return !s.listed.empty(); }, 5000));
        QCOMPARE(s.listed, std::vector<bool>{true});
        QVERIFY(!s.view.Listing());
        // The first rows came before the rest.
        QVERIFY(s.parts >= 1);
        QVERIFY(s.firstPartRows > 0 && s.firstPartRows < int(expected.size()));
        std::vector<std::string> names;
        for (const FileRow& r : expected)
            names.push_back(r.name);
        if (way == Qt::DescendingOrder) // by size, largest first: the reverse here
            std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
                return std::stoi(a.substr(4)) > std::stoi(b.substr(4));
            });
        QCOMPARE(RowNames(s.list.Model()), names);
        // The first row selected, as no choice of a file.
        QCOMPARE(s.list.SelectedRow(), 0);
        QCOMPARE(chosen.count(), 0);
    }
}

// More files than the list places in one turn of the event loop: the rows
// go in a slice at a time, in name order in the end, the listing told once.
void WatchTest::aLargeListingGoesInASliceAtATime() {
    TempDir dir;
    const int files = int(cFileView::kRowsPerTurn * 3 / 2); // more than a turn after the first part
    for (int i = 0; i < files; ++i)
        MakeFile(dir.str() + "/IMG_" + std::to_string(i) + ".png", 0);
    std::vector<FileRow> expected;
    QVERIFY(ScanFolder(dir.str() + "/", PathMatcher("*.png"), expected));
    Shown s;
    QVERIFY(QTest::qWaitForWindowExposed(&s.list));
    QSignalSpy inserted(s.list.Model(), &QAbstractItemModel::rowsInserted);
    // The paints of the list seen before each slice was placed.
    int paints = 0;
    std::vector<int> paintsBeforeSlice;
    QObject::connect(&s.list, &FileListView::rowsPainting, &s.list, [&] { ++paints; });
    QObject::connect(s.list.Model(), &QAbstractItemModel::rowsInserted, &s.list,
                     [&] { paintsBeforeSlice.push_back(paints); });
    QVERIFY(s.List(dir.str()));
    QCOMPARE(s.listed, std::vector<bool>{true});
    QVERIFY(inserted.count() >= 2);
    for (const QList<QVariant>& args : inserted)
        QVERIFY(args[2].toInt() - args[1].toInt() < int(cFileView::kRowsPerTurn));
    std::vector<std::string> names;
    for (const FileRow& r : expected)
        names.push_back(r.name);
    QCOMPARE(RowNames(s.list.Model()), names);
    QCOMPARE(s.list.SelectedRow(), 0);
    // The list on show paints each slice before the next is placed, and
    // paints again once listed.
    for (std::size_t i = 1; i < paintsBeforeSlice.size(); ++i)
        QVERIFY2(paintsBeforeSlice[i] > paintsBeforeSlice[i - 1], qPrintable(QString::number(i)));
    const int listedAt = paints;
    QVERIFY(QTest::qWaitFor([&] { return paints > listedAt; }, 5000) ||
            s.list.ReportView()->viewport()->updatesEnabled());
    QVERIFY(s.list.ReportView()->viewport()->updatesEnabled());

    // A listing asked for while a slice waits for its paint: the new rows paint.
    TempDir small;
    MakeFile(small.str() + "/x.png", 1);
    int slices = 0;
    s.view.RowsArrived = [&] {
        if (++slices == 2) s.view.StartListing(small.str(), true);
    };
    const std::size_t before = s.listed.size();
    s.view.StartListing(dir.str(), true);
    QVERIFY(QTest::qWaitFor([&] { return s.listed.size() > before; }, 5000));
    QCOMPARE(slices, 2);
    QCOMPARE(RowNames(s.list.Model()), std::vector<std::string>{"x.png"});
    QVERIFY(s.list.ReportView()->viewport()->updatesEnabled());
}

void WatchTest::aStaleListingIsDropped() {
    TempDir big, small;
    // Its answers are on their way when the second is asked for, whether or
    // not the worker has read it all by then.
    for (int i = 0; i < 300; ++i)
        Touch(big.str() + "/a" + std::to_string(i) + ".png");
    for (const char* name : {"x.png", "y.png"})
        MakeFile(small.str() + "/" + name, 1);
    Shown s;
    s.view.StartListing(big.str(), true);
    s.view.StartListing(small.str(), true); // chosen before any answer came
    // The worker reads one folder after the other and sends each one's parts
    // in order: every part of the first came before the second's end.
    QVERIFY(QTest::qWaitFor([&] { return !s.listed.empty(); }, 5000));
    QCOMPARE(s.listed, std::vector<bool>{true});
    QCOMPARE(RowNames(s.list.Model()), (std::vector<std::string>{"x.png", "y.png"}));
    QCOMPARE(s.view.Folder(), small.str() + "/");

    // One that cannot be read: nothing listed, and why.
    QVERIFY(s.List(small.str() + "/missing"));
    QCOMPARE(s.listed.back(), false);
    QCOMPARE(s.view.LastError(), ENOENT);
    QCOMPARE(s.list.Model()->rowCount(), 0);
}

// Parts of a listing on their way when the next listing is asked for never
// arrive: here the next is asked for just before the first part of the
// earlier one would be handed over.
void WatchTest::theListerDropsPartsOfAnEarlierListing() {
    TempDir first, second;
    for (int i = 0; i < 600; ++i)
        Touch(first.str() + "/a" + std::to_string(i) + ".png");
    Touch(second.str() + "/b.png");
    FolderLister lister;
    std::vector<uint32_t> parts; // the listing of each part that arrived
    std::vector<std::string> rows;
    uint32_t later = 0;
    bool laterOver = false;
    QObject::connect(&lister, &FolderLister::partRead, [&](FolderLister::Part& part) {
        parts.push_back(part.id);
        for (const FileRow& row : part.rows)
            rows.push_back(row.name);
        laterOver = laterOver || (part.last && part.id == later);
    });
    // Sees each answer that comes through the event loop before the lister does.
    struct BeforeDelivery : QObject {
        std::function<void()> first;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::MetaCall && first) std::exchange(first, {})();
            return false;
        }
    } interpose;
    interpose.first = [&] { later = lister.List(second.str() + "/", "*.png"); };
    lister.installEventFilter(&interpose);
    const uint32_t earlier = lister.List(first.str() + "/", "*.png");
    QVERIFY(QTest::qWaitFor([&] { return laterOver; }, 5000));
    QVERIFY(later != 0 && earlier != later);
    QCOMPARE(parts, std::vector<uint32_t>{later});
    QCOMPARE(rows, std::vector<std::string>{"b.png"});
}

// The folder is watched before it is read: a file made once the watch is
// there is in the listing, and the watch reports it too.
void WatchTest::theWatchIsAddedBeforeTheFolderIsRead() {
    TempDir dir;
    Touch(dir.str() + "/old.png");
    FolderWatcher watcher(FolderWatcher::Watches::Files);
    QSignalSpy reports(&watcher, &FolderWatcher::changed);
    const std::string made = dir.str() + "/made.png";
    FolderLister lister;
    std::vector<std::string> rows;
    bool last = false;
    QObject::connect(&lister, &FolderLister::partRead, [&](FolderLister::Part& part) {
        for (const FileRow& row : part.rows)
            rows.push_back(row.name);
        last = last || part.last;
    });
    lister.List(dir.str() + "/", "*.png", [watch = watcher.WatchOnReader(dir.str()), made] {
        watch();
        ::close(::creat(made.c_str(), 0644)); // on the worker: no test macro here
    });
    QVERIFY(QTest::qWaitFor([&] { return last; }, 5000));
    std::sort(rows.begin(), rows.end());
    QCOMPARE(rows, (std::vector<std::string>{"made.png", "old.png"}));
    QTRY_COMPARE(reports.count(), 1);
    QVERIFY(reports[0][1].value<FolderEvents>().touched.contains("made.png"));
}

void WatchTest::aRowChosenDuringTheListingStaysChosen() {
    TempDir dir;
    for (int i = 0; i < 1000; ++i)
        Touch(dir.str() + "/p" + std::to_string(i) + ".png");
    Shown s;
    std::string picked;
    s.view.RowsArrived = [&] {
        if (!picked.empty()) return;
        s.list.SelectRow(5); // as a click would
        picked = s.list.Model()->Row(5).name;
    };
    QVERIFY(s.List(dir.str()));
    QVERIFY(!picked.empty());
    QCOMPARE(s.list.Model()->Row(s.list.SelectedRow()).name, picked);
}

void WatchTest::theListFollowsTheDisk() {
    TempDir dir;
    const std::string d = dir.str() + "/";
    for (const char* name : {"a.png", "b.png", "c.png", "e.png"})
        MakeFile(d + name, 100);
    Shown s;
    QVERIFY(s.List(dir.str()));
    QSignalSpy chosen(&s.list, &FileListView::selectedRowChanged);
    s.list.SelectRow(1, true); // b.png
    const struct {
        const char* what;
        std::function<void()> change;
        std::string seen;
        std::vector<std::string> rows;
        std::string selected; // "" for none
    } steps[] = {
        {"a file copied in",
         [&] { MakeFile(d + "d.png", 5); },
         "added d.png; ",
         {"a.png", "b.png", "c.png", "d.png", "e.png"},
         "b.png"},
        {"rewritten, same size and time",
         [&] { MakeFile(d + "b.png", 100); },
         "changed b.png; ",
         {"a.png", "b.png", "c.png", "d.png", "e.png"},
         "b.png"},
        {"the selected file renamed: the selection follows it",
         [&] { std::filesystem::rename(d + "b.png", d + "bb.png"); },
         "renamed b.png bb.png; ",
         {"a.png", "bb.png", "c.png", "d.png", "e.png"},
         "bb.png"},
        {"removed",
         [&] { std::filesystem::remove(d + "c.png"); },
         "removed c.png; ",
         {"a.png", "bb.png", "d.png", "e.png"},
         "bb.png"},
        {"touched: a new time",
         [&] { MakeFile(d + "a.png", 100, 1800000000); },
         "changed a.png; ",
         {"a.png", "bb.png", "d.png", "e.png"},
         "bb.png"},
        {"renamed to a name the pattern leaves out",
         [&] { std::filesystem::rename(d + "d.png", d + "d.txt"); },
         "removed d.png; ",
         {"a.png", "bb.png", "e.png"},
         "bb.png"},
        {"the selected file removed: the one after it is selected",
         [&] { std::filesystem::remove(d + "bb.png"); },
         "removed bb.png; ",
         {"a.png", "e.png"},
         "e.png"},
        {"and at the end, the one before it",
         [&] { std::filesystem::remove(d + "e.png"); },
         "removed e.png; ",
         {"a.png"},
         "a.png"},
        {"the last one: nothing is left to select",
         [&] { std::filesystem::remove(d + "a.png"); },
         "removed a.png; ",
         {},
         ""},
    };
    for (const auto& step : steps) {
        step.change();
        QCOMPARE(s.NextChange(), step.seen);
        QCOMPARE(RowNames(s.list.Model()), step.rows);
        const int row = s.list.SelectedRow();
        const bool selected = row >= 0 && s.list.ReportView()->selectionModel()->isRowSelected(row);
        const std::string name = selected ? s.list.Model()->Row(row).name : std::string();
        QVERIFY2(name == step.selected, step.what);
    }
    QCOMPARE(chosen.count(), 0); // none of it was a choice of a file

    // Files the pattern leaves out and folders change nothing: the report
    // of a file made after them names that file alone.
    MakeFile(d + "notes.txt", 1);
    std::filesystem::create_directory(d + "sub.png");

    // A sort chosen by the user places what comes: the largest first.
    s.list.SortBy(FileListModel::ColSize, Qt::DescendingOrder);
    MakeFile(d + "small.png", 1);
    QCOMPARE(s.NextChange(), std::string("added small.png; "));
    MakeFile(d + "big.png", 1 << 20);
    QCOMPARE(s.NextChange(), std::string("added big.png; "));
    QCOMPARE(RowNames(s.list.Model()), (std::vector<std::string>{"big.png", "small.png"}));
}

void WatchTest::aBurstIsGathered() {
    TempDir dir;
    MakeFile(dir.str() + "/first.png", 1);
    Shown s;
    QVERIFY(s.List(dir.str()));
    constexpr int kBurst = 3000;
    for (int i = 0; i < kBurst; ++i)
        Touch(dir.str() + "/burst" + std::to_string(i) + ".png");
    QElapsedTimer sinceEnd;
    sinceEnd.start();
    QVERIFY(QTest::qWaitFor([&] { return s.list.Model()->rowCount() == kBurst + 1; }, 5000));
    const qint64 shownAfter = sinceEnd.elapsed();
    QVERIFY2(shownAfter < 2000, qPrintable(QString::number(shownAfter)));
    // Gathered into a few reports, not one per file.
    QVERIFY2(s.changes.size() <= 5, qPrintable(QString::number(s.changes.size())));
    std::vector<FileRow> onDisk;
    QVERIFY(ScanFolder(dir.str() + "/", PathMatcher("*.png"), onDisk));
    std::vector<std::string> names;
    for (const FileRow& r : onDisk)
        names.push_back(r.name);
    QCOMPARE(RowNames(s.list.Model()), names);
}

// More events than the system keeps while nobody reads them: the folder is
// read again whole, and the list shows it as it is.
void WatchTest::lostEventsReadTheWholeFolder() {
    std::ifstream limit("/proc/sys/fs/inotify/max_queued_events");
    int queued = 0;
    limit >> queued;
    constexpr int kMostFiles = 40000;
    if (queued <= 0 || queued / 2 > kMostFiles) QSKIP("the system keeps too many events");
    TempDir dir;
    Touch(dir.str() + "/gone.png");
    Shown s;
    QVERIFY(s.List(dir.str()));
    // Each file made is two events (made, closed after writing); the event
    // loop does not run meanwhile, so nothing reads them.
    const int files = queued / 2 + 100;
    for (int i = 0; i < files; ++i)
        Touch(dir.str() + "/f" + std::to_string(i) + ".png");
    std::filesystem::remove(dir.str() + "/gone.png");
    QVERIFY(QTest::qWaitFor([&] { return s.list.Model()->rowCount() == files; }, 10000));
    QCOMPARE(s.list.Model()->rowCount(), files);
    QVERIFY(s.list.Model()->Row(0).name != "gone.png");
}

void WatchTest::theViewKeepsItsPlace() {
    TempDir dir;
    for (int i = 100; i < 400; ++i)
        Touch(dir.str() + "/p" + std::to_string(i) + ".png");
    Shown s;
    QVERIFY(s.List(dir.str()));
    QTreeView* report = s.list.ReportView();
    const auto topName = [&] {
        return s.list.Model()->Row(report->indexAt(QPoint(1, 1)).row()).name;
    };
    // At the top, a new first file shows there.
    MakeFile(dir.str() + "/a.png", 1);
    QCOMPARE(s.NextChange(), std::string("added a.png; "));
    QCOMPARE(topName(), std::string("a.png"));
    // Scrolled down, the file at the top stays there.
    report->scrollTo(s.list.Model()->index(150, 0), QAbstractItemView::PositionAtTop);
    QApplication::processEvents();
    const std::string top = topName();
    QVERIFY(report->verticalScrollBar()->value() > 0);
    for (const char* name : {"/0.png", "/1.png", "/2.png"})
        MakeFile(dir.str() + name, 1);
    QVERIFY(!s.NextChange().empty());
    QApplication::processEvents();
    QCOMPARE(topName(), top);
}

void WatchTest::aFolderThatGoesIsReported() {
    TempDir dir, other;
    const std::string folder = dir.str() + "/shown";
    std::filesystem::create_directory(folder);
    MakeFile(folder + "/a.png", 1);
    for (const bool moved : {false, true}) {
        Shown s;
        QVERIFY(s.List(folder));
        if (moved)
            std::filesystem::rename(folder, dir.str() + "/elsewhere");
        else
            std::filesystem::remove_all(folder);
        QVERIFY(QTest::qWaitFor([&] { return s.gone == 1; }, 3000));
        // Once, and nothing follows it: a change in another folder, made
        // after the folder went, is reported after anything of its own.
        Shown later;
        QVERIFY(later.List(other.str()));
        MakeFile(other.str() + "/later" + std::to_string(moved) + ".png", 1);
        QCOMPARE(later.NextChange(), "added later" + std::to_string(moved) + ".png; ");
        QCOMPARE(s.gone, 1);
        if (moved)
            std::filesystem::rename(dir.str() + "/elsewhere", folder);
        else {
            std::filesystem::create_directory(folder);
            MakeFile(folder + "/a.png", 1);
        }
    }
}

void WatchTest::nothingRunsWhileTheFolderIsQuiet() {
    TempDir dir;
    FolderWatcher watcher(FolderWatcher::Watches::Files);
    QSignalSpy reports(&watcher, &FolderWatcher::changed);
    errno = 0;
    QVERIFY(!watcher.Watch(dir.str() + "/missing"));
    QCOMPARE(errno, ENOENT);
    QVERIFY(watcher.Watch(dir.str()));
    QVERIFY(watcher.Watching(dir.str() + "/"));
    QVERIFY(!watcher.Gathering()); // no timer, no polling
    QCOMPARE(reports.count(), 0);
    MakeFile(dir.str() + "/a.png", 1);
    QTRY_VERIFY(watcher.Gathering());
    QTRY_COMPARE(reports.count(), 1);
    QVERIFY(!watcher.Gathering());
    QCOMPARE(reports[0][0].value<std::string>(), dir.str());
    // Unwatched: nothing more. The system hands a watcher its events in the
    // order they happened, so the report of a folder changed after it is
    // the next one, and that folder's alone.
    TempDir other;
    QVERIFY(watcher.Watch(other.str()));
    watcher.Unwatch(dir.str());
    MakeFile(dir.str() + "/b.png", 1);
    MakeFile(other.str() + "/c.png", 1);
    QTRY_VERIFY(reports.count() >= 2);
    QCOMPARE(reports.count(), 2);
    QCOMPARE(reports[1][0].value<std::string>(), other.str());
    QVERIFY(!watcher.Gathering());
}

// Folders made and removed in expanded branches show in the tree without a
// refresh; the folder selected going leaves nothing selected, and the owner
// is told once, with no folder change reported.
void WatchTest::theTreeFollowsTheDisk() {
    TempDir top;
    const std::string base = top.str();
    for (const char* name : {"/b", "/d", "/d/inner"})
        QVERIFY(::mkdir((base + name).c_str(), 0755) == 0);
    QWidget host;
    host.resize(300, 200);
    BrowsingState state;
    state.TreeHost = &host;
    int changes = 0, gone = 0;
    state.PathChanged = [&changes] { ++changes; };
    state.FolderGone = [&gone] { ++gone; };
    mDirTreeview::AdoptTree(state, base + "/d");
    QTreeView* tree = state.Tree;
    auto* model = static_cast<FolderTreeModel*>(tree->model());
    const QModelIndex folder = model->IndexOf(base);
    const auto names = [&] {
        QStringList list;
        for (int r = 0; r < model->rowCount(folder); ++r)
            list << QString::fromStdString(model->FilePath(model->index(r, 0, folder)))
                        .section(QLatin1Char('/'), -1);
        return list;
    };
    const int before = changes;
    QVERIFY(::mkdir((base + "/c").c_str(), 0755) == 0);
    QTRY_COMPARE(names(), (QStringList{"b", "c", "d"}));
    std::filesystem::rename(base + "/b", base + "/a");
    QTRY_COMPARE(names(), (QStringList{"a", "c", "d"}));
    // A file is no folder: the folder made after it shows, and it never does.
    MakeFile(base + "/file.png", 1);
    QVERIFY(::mkdir((base + "/e").c_str(), 0755) == 0);
    QTRY_COMPARE(names(), (QStringList{"a", "c", "d", "e"}));
    QCOMPARE(model->FilePath(tree->currentIndex()), base + "/d");
    QCOMPARE(gone, 0);

    std::filesystem::remove_all(base + "/d");
    QTRY_COMPARE(names(), (QStringList{"a", "c", "e"}));
    QVERIFY(!tree->selectionModel()->hasSelection());
    QCOMPARE(gone, 1);
    QCOMPARE(changes, before);
    mDirTreeview::CloseFolderTree(state);
}

QTEST_MAIN(WatchTest)
#include "test_browse_watch.moc"
