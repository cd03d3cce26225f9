// The file list with the program's own file commands: several rows selected
// while the current one is previewed, names edited in place in both views,
// and the rows following what the program itself did to the files at once,
// without a double or stale row when the watch reports the same moments
// later. Off-screen, on real temporary folders.
#include "BrowseFiles.h"
#include "browse/NameEditDelegate.h"
#include "tests/ShownList.h"
#include "tests/TempDir.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <filesystem>
#include <functional>
#include <set>
#include <sys/stat.h>

namespace {

// The row of `name` as the disk has it now.
FileRow RowOnDisk(const std::string& folder, const std::string& name) {
    FileRow row;
    row.name = name;
    struct stat st {};
    if (::stat((folder + "/" + name).c_str(), &st) == 0) {
        row.size = uint64_t(st.st_size);
        row.mtime = st.st_mtim.tv_sec;
    }
    return row;
}

// Files of 100 bytes in the folder `d`.
void MakeFiles(const std::string& d, std::initializer_list<const char*> names) {
    for (const char* name : names)
        MakeFile(d + "/" + name, 100);
}

// What the program did, as it tells the list.
RowChanges Removed(std::vector<std::string> names) {
    RowChanges done;
    done.removed = std::move(names);
    return done;
}
RowChanges Renamed(const std::string& from, FileRow row) {
    RowChanges done;
    done.renamed.emplace_back(from, std::move(row));
    return done;
}
RowChanges Added(FileRow row) {
    RowChanges done;
    done.added.push_back(std::move(row));
    return done;
}

int RowOf(const FileListModel* m, const std::string& name) {
    for (int r = 0; r < m->rowCount(); ++r)
        if (m->Row(r).name == name) return r;
    return -1;
}

// Runs `before` once, just before the next answer of a folder lister is
// handed to it: the worker has read the disk, the list has not seen it yet.
struct BeforeAnswer : QObject {
    std::function<void()> before;
    BeforeAnswer() { qApp->installEventFilter(this); }
    ~BeforeAnswer() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::MetaCall && before && qobject_cast<FolderLister*>(watched))
            std::exchange(before, {})();
        return false;
    }
};

// The names of the rows the model inserts, as they come.
struct Inserted {
    std::vector<std::string> names;
    QMetaObject::Connection c;
    explicit Inserted(const FileListModel* m) {
        c = QObject::connect(m, &QAbstractItemModel::rowsInserted,
                             [this, m](const QModelIndex&, int first, int last) {
                                 for (int r = first; r <= last; ++r)
                                     names.push_back(m->Row(r).name);
                             });
    }
    ~Inserted() { QObject::disconnect(c); }
};

} // namespace

class ListFollowTest : public QObject {
    Q_OBJECT
  private slots:
    void severalRowsSelectedTheCurrentOnePreviewed();
    void namesAreEditedInPlace();
    void theEditorSelectsTheNameWithoutItsExtension_data();
    void theEditorSelectsTheNameWithoutItsExtension();
    void theProgramsChangesShowOnce();
    void aCheckUnderWayReadBeforeTheProgramsChange_data();
    void aCheckUnderWayReadBeforeTheProgramsChange();
    void aListingUnderWayReadBeforeTheProgramsChange();
    void theListMovesOnAfterADeletion();
    void aRecheckBringsBackARow();

  private:
    // A window holding a list of `names` and a field to take the focus away.
    struct Window {
        QWidget host;
        FileListView* list;
        QLineEdit* elsewhere;
        cFileView view;
        TempDir dir;
        explicit Window(std::initializer_list<const char*> names) {
            auto* layout = new QVBoxLayout(&host);
            list = new FileListView(&host);
            elsewhere = new QLineEdit(&host);
            layout->addWidget(list);
            layout->addWidget(elsewhere);
            host.resize(1000, 400); // the icons of a few files on one line
            for (const char* name : names)
                MakeFile(dir.str() + "/" + name, 10);
            view.SetListView(list);
            view.ListFiles(dir.str(), true);
            host.show();
            QApplication::setActiveWindow(&host);
        }
    };
};

void ListFollowTest::severalRowsSelectedTheCurrentOnePreviewed() {
    for (const bool large : {false, true}) {
        Window w{"a.png", "b.png", "c.png", "d.png", "e.png", "f.png"};
        QVERIFY(QTest::qWaitForWindowActive(&w.host));
        FileListView& list = *w.list;
        list.SetLargeIconView(large);
        QAbstractItemView* view = list.CurrentView();
        view->setFocus();
        QSignalSpy chosen(&list, &FileListView::selectedRowChanged);
        QSignalSpy pressed(&list, &FileListView::rowPressed);
        list.SelectRow(1, true);
        QCOMPARE(list.SelectedRows(), std::vector<int>{1});
        // The next row by keys: down a line of the report, right in the icons.
        const Qt::Key next = large ? Qt::Key_Right : Qt::Key_Down;
        QTest::keyClick(view, next, Qt::ShiftModifier);
        QTest::keyClick(view, next, Qt::ShiftModifier);
        QCOMPARE(list.SelectedRows(), (std::vector<int>{1, 2, 3}));
        QCOMPARE(list.SelectedRow(), 3);
        // Each move of the current row is told, as before.
        QCOMPARE(chosen.count(), 2);
        QCOMPARE(chosen.last()[0].toInt(), 3);

        const auto click = [&](int row, Qt::KeyboardModifiers keys) {
            const QRect cell = view->visualRect(list.Model()->index(row, 0));
            QTest::mouseClick(view->viewport(), Qt::LeftButton, keys, cell.center());
        };
        click(5, Qt::ControlModifier);
        QCOMPARE(list.SelectedRows(), (std::vector<int>{1, 2, 3, 5}));
        QCOMPARE(list.SelectedRow(), 5);
        QCOMPARE(pressed.last()[0].toInt(), 5);
        click(2, Qt::ControlModifier); // taken out again
        QCOMPARE(list.SelectedRows(), (std::vector<int>{1, 3, 5}));
        QCOMPARE(list.SelectedRow(), 2);

        // All of them: the current row stays, no new choice.
        const int toldBefore = chosen.count();
        QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(list.SelectedRows(), (std::vector<int>{0, 1, 2, 3, 4, 5}));
        QCOMPARE(list.SelectedRow(), 2);
        QCOMPARE(chosen.count(), toldBefore);

        // A plain click: that row alone; Shift+click from there: the rows between.
        click(4, Qt::NoModifier);
        QCOMPARE(list.SelectedRows(), std::vector<int>{4});
        click(2, Qt::ShiftModifier);
        QCOMPARE(list.SelectedRows(), (std::vector<int>{2, 3, 4}));
        QCOMPARE(list.SelectedRow(), 2);
        // A plain arrow: the next row alone.
        QTest::keyClick(view, next);
        QCOMPARE(list.SelectedRows(), std::vector<int>{3});
        QCOMPARE(chosen.last()[0].toInt(), 3);
        // The program's own selection is one row again.
        list.SelectRow(0, true);
        QCOMPARE(list.SelectedRows(), std::vector<int>{0});
        // Nothing selected: the current row alone.
        view->selectionModel()->clearSelection();
        QCOMPARE(list.SelectedRows(), std::vector<int>{0});
    }
}

void ListFollowTest::namesAreEditedInPlace() {
    for (const bool large : {false, true}) {
        Window w{"a.png", "my.photo.png", "c.png", "z.png"};
        // A name that is not UTF-8, shown decoded.
        const std::string latin = "caf\xe9.png";
        MakeFile(w.dir.str() + "/" + latin, 10);
        w.view.ListFiles(w.dir.str(), true);
        QVERIFY(QTest::qWaitForWindowActive(&w.host));
        FileListView& list = *w.list;
        list.SetLargeIconView(large);
        QAbstractItemView* view = list.CurrentView();
        view->setFocus();
        const FileListModel* m = list.Model();
        const int photo = RowOf(m, "my.photo.png");
        QVERIFY(photo >= 0);
        // The editor open (one closed goes in a later turn of the event loop).
        const auto editor = [&]() -> QLineEdit* {
            for (QLineEdit* e : view->viewport()->findChildren<QLineEdit*>("nameEditor"))
                if (!e->isHidden()) return e;
            return nullptr;
        };

        // Nobody to ask: no editor.
        list.EditName(photo);
        QVERIFY(!list.EditingName());

        std::vector<std::pair<int, std::string>> asked;
        list.RenameRequested = [&](int row, const std::string& name) {
            asked.emplace_back(row, name);
            // A question asked meanwhile takes the focus (here the field beside).
            w.elsewhere->setFocus();
            return name == "z.png" ? QStringLiteral("z.png is there already") : QString();
        };
        QSignalSpy chosen(&list, &FileListView::selectedRowChanged);
        list.EditName(photo);
        QVERIFY(list.EditingName());
        QLineEdit* field = editor();
        QVERIFY(field && field->isVisible());
        QTRY_VERIFY(field->hasFocus());
        QCOMPARE(field->text(), QStringLiteral("my.photo.png"));
        QCOMPARE(field->selectedText(), QStringLiteral("my.photo"));
        // Over the name: in the icons, under the picture's square.
        const QRect cell = view->visualRect(m->index(photo, 0));
        QVERIFY(cell.intersects(field->geometry()));
        if (large) QVERIFY(field->geometry().top() >= cell.top() + list.LargeIconSide());

        // A name refused: said beside the editor, which stays with the text typed.
        QTest::keyClicks(field, "z");
        QCOMPARE(field->text(), QStringLiteral("z.png"));
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(asked.size(), std::size_t(1));
        QCOMPARE(asked[0], std::make_pair(photo, std::string("z.png")));
        QVERIFY(list.EditingName());
        QCOMPARE(field->text(), QStringLiteral("z.png"));
        QTRY_VERIFY(field->hasFocus());
        auto* refusal = view->viewport()->findChild<QLabel*>("nameRefusal");
        QVERIFY(refusal && refusal->isVisible());
        QCOMPARE(refusal->text(), QStringLiteral("z.png is there already"));
        // A name taken: the editor closes, the rows stay until the disk changes.
        field->setText(QStringLiteral("caf\u00e9 noir.png"));
        QTest::keyClick(field, Qt::Key_Enter);
        QCOMPARE(asked.size(), std::size_t(2));
        QCOMPARE(asked[1], std::make_pair(photo, std::string("caf\xc3\xa9 noir.png")));
        QVERIFY(!list.EditingName());
        QTRY_VERIFY(!view->viewport()->findChild<QLabel*>("nameRefusal"));
        QCOMPARE(m->Row(photo).name, std::string("my.photo.png"));

        // Esc, the focus going elsewhere, or the name left as it was: nothing asked.
        list.EditName(photo);
        QVERIFY(list.EditingName());
        QTest::keyClicks(editor(), "x");
        QTest::keyClick(editor(), Qt::Key_Escape);
        QVERIFY(!list.EditingName());
        list.EditName(photo);
        QTRY_VERIFY(editor() && editor()->hasFocus());
        QTest::keyClicks(editor(), "x");
        w.elsewhere->setFocus();
        QTRY_VERIFY(!list.EditingName());
        const int latinRow = RowOf(m, latin);
        list.EditName(latinRow);
        QCOMPARE(editor()->text(), m->NameText(latinRow));
        QTest::keyClick(editor(), Qt::Key_Return);
        QVERIFY(!list.EditingName());
        QCOMPARE(asked.size(), std::size_t(2));
        // None of it chose a file.
        QCOMPARE(chosen.count(), 0);
    }
}

void ListFollowTest::theEditorSelectsTheNameWithoutItsExtension_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("stem");
    QTest::newRow("one dot") << QStringLiteral("photo.jpg") << 5;
    QTest::newRow("the last dot") << QStringLiteral("a.b.jpeg") << 3;
    QTest::newRow("no dot") << QStringLiteral("README") << 6;
    QTest::newRow("a hidden name") << QStringLiteral(".profile") << 8;
    QTest::newRow("hidden, with an extension") << QStringLiteral(".x.png") << 2;
    QTest::newRow("a dot at the end") << QStringLiteral("end.") << 3;
}

void ListFollowTest::theEditorSelectsTheNameWithoutItsExtension() {
    QFETCH(QString, name);
    QFETCH(int, stem);
    QCOMPARE(NameEditDelegate::StemLength(name), stem);
}

// The program trashes, renames and copies in files and says so at once;
// the watch then reports the same changes, which change nothing more. And
// the other way round: the watch first, the program's word after it.
void ListFollowTest::theProgramsChangesShowOnce() {
    TempDir dir;
    const std::string d = dir.str();
    MakeFiles(d, {"a.png", "b.png", "c.png", "d.png"});
    Shown s;
    QVERIFY(s.List(d));
    s.list.SelectRow(1, true); // b.png
    const std::size_t before = s.changes.size();
    Inserted inserted(s.list.Model());

    std::filesystem::remove(d + "/c.png");
    s.view.Follow(Removed({"c.png"}));
    std::filesystem::rename(d + "/b.png", d + "/bb.png");
    s.view.Follow(Renamed("b.png", RowOnDisk(d, "bb.png")));
    MakeFile(d + "/e.png", 7);
    s.view.Follow(Added(RowOnDisk(d, "e.png")));
    // At once, the selection with its file.
    QCOMPARE(RowNames(s.list.Model()),
             (std::vector<std::string>{"a.png", "bb.png", "d.png", "e.png"}));
    QCOMPARE(s.list.Model()->Row(s.list.SelectedRow()).name, std::string("bb.png"));
    // The watch's report of the same: nothing more. A file made after it is
    // reported with it or after it, and alone.
    MakeFile(d + "/z.png", 1);
    QVERIFY(QTest::qWaitFor([&] { return RowOf(s.list.Model(), "z.png") >= 0; }, 5000));
    QCOMPARE(s.ChangesSince(before), std::string("added z.png; "));
    QCOMPARE(RowNames(s.list.Model()),
             (std::vector<std::string>{"a.png", "bb.png", "d.png", "e.png", "z.png"}));
    QCOMPARE(inserted.names, (std::vector<std::string>{"e.png", "z.png"}));

    // The watch first (a copy it saw begin, a rename, a removal), the
    // program's word after it: nothing twice.
    Touch(d + "/f.png");
    QCOMPARE(s.NextChange(), std::string("added f.png; "));
    MakeFile(d + "/f.png", 50);
    std::filesystem::rename(d + "/a.png", d + "/aa.png");
    std::filesystem::remove(d + "/d.png");
    const auto seen = [&] {
        const FileListModel* m = s.list.Model();
        const int f = RowOf(m, "f.png");
        return RowOf(m, "d.png") < 0 && RowOf(m, "aa.png") >= 0 && f >= 0 && m->Row(f).size == 50;
    };
    QVERIFY(QTest::qWaitFor(seen, 5000));
    RowChanges done = Renamed("a.png", RowOnDisk(d, "aa.png"));
    done.added.push_back(RowOnDisk(d, "f.png"));
    done.removed.push_back("d.png");
    s.view.Follow(done);
    QCOMPARE(RowNames(s.list.Model()),
             (std::vector<std::string>{"aa.png", "bb.png", "e.png", "f.png", "z.png"}));
    QCOMPARE(s.list.Model()->Row(RowOf(s.list.Model(), "f.png")).size, uint64_t(50));
}

void ListFollowTest::aCheckUnderWayReadBeforeTheProgramsChange_data() {
    QTest::addColumn<QString>("what");
    QTest::newRow("removed") << QStringLiteral("removed");
    QTest::newRow("renamed") << QStringLiteral("renamed");
    QTest::newRow("copied in") << QStringLiteral("added");
}

// The watch reported a file, and the worker read it; then, before the list
// sees that answer, the program trashes, renames or finishes copying that
// file and says so. The answer must neither bring back the row removed nor
// show the old name or the copy's first bytes.
void ListFollowTest::aCheckUnderWayReadBeforeTheProgramsChange() {
    QFETCH(QString, what);
    TempDir dir;
    const std::string d = dir.str();
    MakeFiles(d, {"a.png", "b.png"});
    Shown s;
    QVERIFY(s.List(d));
    const std::size_t before = s.changes.size();
    Inserted inserted(s.list.Model());
    BeforeAnswer race;
    bool raced = false;
    std::vector<std::string> rows;
    if (what == "removed") {
        race.before = [&] {
            std::filesystem::remove(d + "/a.png");
            s.view.Follow(Removed({"a.png"}));
            raced = true;
        };
        MakeFile(d + "/a.png", 100, 1800000000); // touched: the watch reports it
        rows = {"b.png", "z.png"};
    } else if (what == "renamed") {
        race.before = [&] {
            std::filesystem::rename(d + "/a.png", d + "/aa.png");
            s.view.Follow(Renamed("a.png", RowOnDisk(d, "aa.png")));
            raced = true;
        };
        MakeFile(d + "/a.png", 100, 1800000000);
        rows = {"aa.png", "b.png", "z.png"};
    } else {
        race.before = [&] {
            MakeFile(d + "/c.png", 300);
            s.view.Follow(Added(RowOnDisk(d, "c.png")));
            raced = true;
        };
        Touch(d + "/c.png"); // the copy begun
        rows = {"a.png", "b.png", "c.png", "z.png"};
    }
    QVERIFY(QTest::qWaitFor([&] { return raced; }, 5000));
    MakeFile(d + "/z.png", 1);
    QVERIFY(QTest::qWaitFor([&] { return RowOf(s.list.Model(), "z.png") >= 0; }, 5000));
    QCOMPARE(s.ChangesSince(before), std::string("added z.png; "));
    QCOMPARE(RowNames(s.list.Model()), rows);
    QCOMPARE(inserted.names.back(), std::string("z.png"));
    QCOMPARE(inserted.names.size(), what == "added" ? std::size_t(2) : std::size_t(1));
    if (what == "added")
        QCOMPARE(s.list.Model()->Row(RowOf(s.list.Model(), "c.png")).size, uint64_t(300));
}

// The same while the folder is still being listed: parts read before the
// program's change never bring the rows back.
void ListFollowTest::aListingUnderWayReadBeforeTheProgramsChange() {
    TempDir dir;
    const std::string d = dir.str();
    constexpr int kFiles = 2000; // more than the first part
    std::vector<std::string> names;
    for (int i = 0; i < kFiles; ++i) {
        names.push_back(std::to_string(1000 + i));
        names.back() += ".png";
        Touch(d + "/" + names.back());
    }
    Shown s;
    Inserted inserted(s.list.Model());
    std::vector<std::string> removed;
    s.view.RowsArrived = [&] {
        if (!removed.empty()) return;
        // The files not shown yet, read or not: the program trashes them.
        const std::vector<std::string> shown = RowNames(s.list.Model());
        const std::set<std::string> first(shown.begin(), shown.end());
        for (const std::string& name : names) {
            if (first.contains(name)) continue;
            std::filesystem::remove(d + "/" + name);
            removed.push_back(name);
        }
        s.view.Follow(Removed(removed));
    };
    QVERIFY(s.List(d));
    QVERIFY(!removed.empty());
    MakeFile(d + "/z.png", 1);
    QVERIFY(QTest::qWaitFor([&] { return RowOf(s.list.Model(), "z.png") >= 0; }, 5000));
    QCOMPARE(s.list.Model()->rowCount(), kFiles - int(removed.size()) + 1);
    // Never shown, not even for a moment before the watch's report of their removal.
    const std::set<std::string> gone(removed.begin(), removed.end());
    for (const std::string& name : inserted.names)
        QVERIFY2(!gone.contains(name), name.c_str());
}

// After a deletion the list moves on to the next file as a choice of it
// when asked to; the watch's own changes never choose a file.
void ListFollowTest::theListMovesOnAfterADeletion() {
    TempDir dir;
    const std::string d = dir.str();
    MakeFiles(d, {"a.png", "b.png", "c.png", "d.png"});
    Shown s;
    QVERIFY(s.List(d));
    QSignalSpy chosen(&s.list, &FileListView::selectedRowChanged);
    s.list.SelectRow(1, true); // b.png
    std::filesystem::remove(d + "/b.png");
    s.view.Follow(Removed({"b.png"}), true);
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen[0][0].toInt(), 1);
    QCOMPARE(s.list.Model()->Row(1).name, std::string("c.png"));
    QCOMPARE(s.list.SelectedRows(), std::vector<int>{1});
    // The last row: the one before it.
    s.list.SelectRow(2, true); // d.png
    std::filesystem::remove(d + "/d.png");
    s.view.Follow(Removed({"d.png"}), true);
    QCOMPARE(chosen.count(), 2);
    QCOMPARE(chosen[1][0].toInt(), 1);
    QCOMPARE(s.list.Model()->Row(s.list.SelectedRow()).name, std::string("c.png"));
    // Another row than the current one: no choice.
    std::filesystem::remove(d + "/a.png");
    s.view.Follow(Removed({"a.png"}), true);
    QCOMPARE(chosen.count(), 2);
    QCOMPARE(s.list.Model()->Row(s.list.SelectedRow()).name, std::string("c.png"));
    // Without moving on, as for the watch's changes: the next row quietly.
    MakeFile(d + "/e.png", 1);
    s.view.Follow(Added(RowOnDisk(d, "e.png")));
    std::filesystem::remove(d + "/c.png");
    s.view.Follow(Removed({"c.png"}));
    QCOMPARE(chosen.count(), 2);
    QCOMPARE(s.list.Model()->Row(s.list.SelectedRow()).name, std::string("e.png"));
    // Nothing left: told as no row.
    std::filesystem::remove(d + "/e.png");
    s.view.Follow(Removed({"e.png"}), true);
    QCOMPARE(chosen.count(), 3);
    QCOMPARE(chosen[2][0].toInt(), -1);
    QCOMPARE(s.list.Model()->rowCount(), 0);
}

// The program removed a row for an operation that then failed: the file is
// still there, and looking at it again brings its row back.
void ListFollowTest::aRecheckBringsBackARow() {
    TempDir dir;
    const std::string d = dir.str();
    MakeFiles(d, {"a.png", "b.png"});
    Shown s;
    QVERIFY(s.List(d));
    s.view.Follow(Removed({"b.png"}));
    QCOMPARE(RowNames(s.list.Model()), std::vector<std::string>{"a.png"});
    s.view.Recheck({"b.png", "gone.png"});
    QCOMPARE(s.NextChange(), std::string("added b.png; "));
    QCOMPARE(RowNames(s.list.Model()), (std::vector<std::string>{"a.png", "b.png"}));
}

QTEST_MAIN(ListFollowTest)
#include "test_list_follow.moc"
