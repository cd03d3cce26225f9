// The commands on files in the real main window, off-screen, on real files
// in a temporary folder: Delete to the trash (a trash of the test's own,
// through XDG_DATA_HOME) with the list moving on, Ctrl+Z bringing a file
// back once, Shift+Delete after its question, F2 renaming in place, the
// turns, the full view's keys, the context menus and the keys themselves.
#include "MainWindowFixture.h"
#include "app/ConflictQuestion.h"
#include "app/DestinationChooser.h"
#include "tests/WindowControls.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QLineEdit>
#include <QScopeGuard>
#include <QSet>
#include <QSignalSpy>
#include <QThread>
#include <QToolBar>
#include <sys/mount.h>
#include <unistd.h>

class FileCommandsTest : public MainWindowFixture {
    Q_OBJECT
  private slots:
    void initTestCase();
    void init();
    void cleanup();
    void commandsHaveTheirKeysAndMenus();
    void deleteTrashesAndMovesOnAndUndoBringsBack();
    void trashFailuresAreShown();
    void noTrashOffersDeletingForGood();
    void shiftDeleteAsksFirst();
    void renameInPlace();
    void renameRefusesFromTheText_data();
    void renameRefusesFromTheText();
    void renameKeepsThePictureShown();
    void turnsAJpegAndOnlyTheViewOfOthers();
    void fullViewDeletesAndTurns();
    void copyAndMoveGoThroughTheirHooks();
    void copyGoesThroughTheDialogsAndTheViewTurns();
    void runnerKeepsOrderAsksOnItsThreadAndCancels();

  private:
    FileListView* List() { return Control<FileListView>(main_, "lvFiles"); }
    QString Trashed(const QString& name) const {
        return data_.filePath(QStringLiteral("Trash/files/") + name);
    }
    QString TrashInfo(const QString& name) const {
        return data_.filePath(QStringLiteral("Trash/info/") + name + QStringLiteral(".trashinfo"));
    }
    void MakeJpeg(const QString& name, int w, int h, QColor colour = Qt::darkCyan) {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(colour);
        // A left half of another colour, so that a turn shows.
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w / 2; ++x)
                image.setPixel(x, y, qRgb(250, 250, 0));
        QVERIFY(image.save(dir_.filePath(name), "JPG", 95));
    }
    // Waits until the window followed `count` operations on files in all.
    void WaitForActions(QSignalSpy& spy, int count) {
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), count, kDecodesMs);
    }
    // The chosen file's picture is in the pane.
    bool ShownNow(const QString& name) {
        return main_->Preview().Name() == name.toStdString() &&
               main_->Preview().state() == cPreviewCore::State::Shown;
    }
    int RowsNamed(const QString& name) {
        int n = 0;
        for (int r = 0; r < List()->Model()->rowCount(); ++r)
            n += List()->Model()->NameText(r) == name;
        return n;
    }
    // Every change on disk before this call has reached the list: a file
    // made now shows once the watcher reported everything before it.
    void WaitForTheWatcher() {
        static int marks = 0;
        const QString mark = QStringLiteral("zz-mark-%1.png").arg(++marks);
        QImage tiny(2, 2, QImage::Format_RGB32);
        tiny.fill(Qt::black);
        Make(mark, tiny, "PNG");
        QTRY_VERIFY_WITH_TIMEOUT(RowOf(mark) >= 0, kDecodesMs);
    }

    QTemporaryDir data_, cache_;
    QStringList asked_;  // the questions asked, in order
    bool answer_ = true; // their answer
};

void FileCommandsTest::initTestCase() {
    // The trash and the thumbnail cache of this test alone, on the file
    // system of the pictures' folder: the user's own are never touched.
    qputenv("XDG_DATA_HOME", data_.path().toUtf8());
    qputenv("XDG_CACHE_HOME", cache_.path().toUtf8());
}

void FileCommandsTest::init() {
    for (const QString& name : QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden))
        QFile::remove(dir_.filePath(name));
    QDir(data_.filePath(QStringLiteral("Trash"))).removeRecursively();
    MakeJpeg(QStringLiteral("a.jpg"), 64, 32);
    MakeJpeg(QStringLiteral("b.jpg"), 48, 32, Qt::red);
    MakeJpeg(QStringLiteral("c.jpg"), 32, 48, Qt::blue);
    QImage png(40, 20, QImage::Format_RGB32);
    png.fill(Qt::green);
    Make(QStringLiteral("d.png"), png, "PNG");
    OpenWindow();
    asked_.clear();
    answer_ = true;
    main_->Confirm = [this](const QString& q) {
        asked_ << q;
        return answer_;
    };
    QVERIFY(QTest::qWaitForWindowActive(main_));
    List()->ReportView()->setFocus();
}

void FileCommandsTest::cleanup() {
    CloseWindow();
}

void FileCommandsTest::commandsHaveTheirKeysAndMenus() {
    struct Row {
        Command command;
        QKeySequence key;
    };
    const Row rows[] = {
        {Command::Trash, QKeySequence(Qt::Key_Delete)},
        {Command::DeleteForGood, QKeySequence(Qt::SHIFT | Qt::Key_Delete)},
        {Command::Undo, QKeySequence(Qt::CTRL | Qt::Key_Z)},
        {Command::Rename, QKeySequence(Qt::Key_F2)},
        {Command::CopyTo, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C)},
        {Command::MoveTo, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M)},
        {Command::RotateLeft, QKeySequence(Qt::CTRL | Qt::Key_L)},
        {Command::RotateRight, QKeySequence(Qt::CTRL | Qt::Key_R)},
        {Command::Flip, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H)},
    };
    QList<QAction*> all = main_->ToolbarActions();
    all.removeIf([](QAction* a) { return a->isSeparator(); });
    for (const Row& r : rows) {
        QAction* a = main_->CommandAction(r.command);
        QVERIFY2(a->shortcuts().contains(r.key), qPrintable(a->text()));
        QVERIFY2(a->toolTip().contains(r.key.toString(QKeySequence::NativeText)),
                 qPrintable(a->toolTip()));
        QVERIFY2(a->text().contains(QLatin1Char('&')), qPrintable(a->text()));
        // In the menus of the list and the preview, never on the toolbar.
        QVERIFY(main_->ListMenu()->actions().contains(a));
        QVERIFY(Control<PicturePane>(main_, "imgPane")->actions().contains(a));
        QVERIFY(Control<ucGIFViewer>(main_, "ucGIF1")->actions().contains(a));
        QVERIFY(!Control<QToolBar>(main_, "tbrMain")->actions().contains(a));
        all << a;
    }
    // No key reaches two commands (Ctrl+R turns; F5 still refreshes).
    QSet<QString> keys;
    for (QAction* a : all)
        for (const QKeySequence& k : a->shortcuts()) {
            QVERIFY2(!keys.contains(k.toString()), qPrintable(k.toString()));
            keys.insert(k.toString());
        }
    QVERIFY(main_->CommandAction(Command::Refresh)->shortcuts().contains(QKeySequence(Qt::Key_F5)));
    // The toolbar as designed.
    QStringList captions;
    for (QAction* a : main_->ToolbarActions())
        captions << (a->isSeparator() ? QStringLiteral("|") : a->text());
    QCOMPARE(captions.join(QLatin1Char(' ')),
             QStringLiteral("| &Edit &Refresh | E&xit | &View &Options &Help"));
    // Nothing to undo yet.
    QVERIFY(!main_->CommandAction(Command::Undo)->isEnabled());

    // A right click on a row not selected selects it and opens the menu.
    Choose(QStringLiteral("a.jpg"));
    QTreeView* report = List()->ReportView();
    const int row = RowOf(QStringLiteral("c.jpg"));
    const QPoint at = report->visualRect(report->model()->index(row, 0)).center();
    QContextMenuEvent menu(QContextMenuEvent::Mouse, at, report->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(report->viewport(), &menu);
    QCOMPARE(List()->SelectedRow(), row);
    QTRY_VERIFY(main_->ListMenu()->isVisible());
    main_->ListMenu()->close();
    QTRY_VERIFY(ShownNow(QStringLiteral("c.jpg")));
}

void FileCommandsTest::deleteTrashesAndMovesOnAndUndoBringsBack() {
    QSignalSpy done(main_, &fMain::fileActionFollowed);
    Choose(QStringLiteral("a.jpg"));
    const int row = RowOf(QStringLiteral("a.jpg"));
    QTest::keyClick(List()->ReportView(), Qt::Key_Delete);
    // At once: the row went, the next row is chosen and previewed.
    QCOMPARE(RowsNamed(QStringLiteral("a.jpg")), 0);
    QCOMPARE(List()->SelectedRow(), row);
    QCOMPARE(List()->Model()->NameText(row), QStringLiteral("b.jpg"));
    QCOMPARE(main_->Preview().Name(), std::string("b.jpg"));
    QVERIFY(asked_.isEmpty()); // no question for the trash
    WaitForActions(done, 1);
    QVERIFY(!QFile::exists(dir_.filePath(QStringLiteral("a.jpg"))));
    QVERIFY(QFile::exists(Trashed(QStringLiteral("a.jpg"))));
    QVERIFY(QFile::exists(TrashInfo(QStringLiteral("a.jpg"))));
    QTRY_VERIFY_WITH_TIMEOUT(ShownNow(QStringLiteral("b.jpg")), kDecodesMs);
    QVERIFY(!main_->findChild<QMessageBox*>(QStringLiteral("msgFileFailure")));
    QAction* undo = main_->CommandAction(Command::Undo);
    QVERIFY(undo->isEnabled());
    QCOMPARE(undo->text(), QStringLiteral("&Undo Move to Trash"));

    // Ctrl+Z: back in its place, its .trashinfo gone, its row there once.
    QTest::keySequence(List()->ReportView(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    WaitForActions(done, 2);
    QVERIFY(QFile::exists(dir_.filePath(QStringLiteral("a.jpg"))));
    QVERIFY(!QFile::exists(Trashed(QStringLiteral("a.jpg"))));
    QVERIFY(!QFile::exists(TrashInfo(QStringLiteral("a.jpg"))));
    QTRY_COMPARE_WITH_TIMEOUT(RowsNamed(QStringLiteral("a.jpg")), 1, kDecodesMs);
    // Chosen again, as it was before its delete.
    QCOMPARE(List()->SelectedRow(), RowOf(QStringLiteral("a.jpg")));
    QTRY_VERIFY_WITH_TIMEOUT(ShownNow(QStringLiteral("a.jpg")), kDecodesMs);
    WaitForTheWatcher();
    QCOMPARE(RowsNamed(QStringLiteral("a.jpg")), 1);
    QVERIFY(!undo->isEnabled());

    // The trash again, then its place taken: Undo changes nothing and says so.
    Choose(QStringLiteral("a.jpg"));
    QTest::keyClick(List()->ReportView(), Qt::Key_Delete);
    WaitForActions(done, 3);
    MakeJpeg(QStringLiteral("a.jpg"), 16, 16);
    QTest::keySequence(List()->ReportView(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    WaitForActions(done, 4);
    QVERIFY(QFile::exists(Trashed(QStringLiteral("a.jpg"))));
    QCOMPARE(QImage(dir_.filePath(QStringLiteral("a.jpg"))).size(), QSize(16, 16));
    QPointer<QMessageBox> box = main_->findChild<QMessageBox*>(QStringLiteral("msgFileFailure"));
    QVERIFY(box && box->isVisible());
    QVERIFY2(box->text().contains(QStringLiteral("a.jpg")), qPrintable(box->text()));
}

void FileCommandsTest::trashFailuresAreShown() {
    QSignalSpy done(main_, &fMain::fileActionFollowed);
    Choose(QStringLiteral("b.jpg"));
    // The file goes behind the window's back before the key.
    QVERIFY(QFile::remove(dir_.filePath(QStringLiteral("b.jpg"))));
    QTest::keyClick(List()->ReportView(), Qt::Key_Delete);
    WaitForActions(done, 1);
    QPointer<QMessageBox> box = main_->findChild<QMessageBox*>(QStringLiteral("msgFileFailure"));
    QVERIFY(box && box->isVisible());
    QVERIFY2(box->text().contains(QStringLiteral("b.jpg")), qPrintable(box->text()));
    QVERIFY(box->text().startsWith(QStringLiteral("Not moved to the trash")));
    WaitForTheWatcher();
    QCOMPARE(RowsNamed(QStringLiteral("b.jpg")), 0); // the file is not there
}

void FileCommandsTest::noTrashOffersDeletingForGood() {
    // A file system of its own whose top folder has no trash and cannot
    // have one (a file stands where the trash would be made).
    QTemporaryDir mountDir;
    const QByteArray point = mountDir.path().toLocal8Bit();
    if (::mount("tmpfs", point.constData(), "tmpfs", 0, "size=4m") != 0)
        QSKIP("mounting a tmpfs is not allowed here");
    const auto unmount = qScopeGuard([&] { ::umount2(point.constData(), MNT_DETACH); });
    QFile blocker(mountDir.filePath(QStringLiteral(".Trash-%1").arg(::getuid())));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QFile::copy(dir_.filePath(QStringLiteral("a.jpg")), mountDir.filePath(QStringLiteral("x.jpg")));
    QFile::copy(dir_.filePath(QStringLiteral("b.jpg")), mountDir.filePath(QStringLiteral("y.jpg")));
    Open(mountDir.path());
    QSignalSpy done(main_, &fMain::fileActionFollowed);

    // No: the row comes back, the file stays.
    answer_ = false;
    Choose(QStringLiteral("x.jpg"));
    QTest::keyClick(List()->ReportView(), Qt::Key_Delete);
    QCOMPARE(RowsNamed(QStringLiteral("x.jpg")), 0);
    WaitForActions(done, 1);
    QCOMPARE(asked_.size(), 1);
    QVERIFY2(asked_[0].contains(QStringLiteral("cannot be moved to the trash")),
             qPrintable(asked_[0]));
    QVERIFY(asked_[0].contains(QStringLiteral("Delete it permanently?")));
    QVERIFY(QFile::exists(mountDir.filePath(QStringLiteral("x.jpg"))));
    QTRY_COMPARE_WITH_TIMEOUT(RowsNamed(QStringLiteral("x.jpg")), 1, kDecodesMs);

    // Yes: deleted for good.
    answer_ = true;
    Choose(QStringLiteral("y.jpg"));
    QTest::keyClick(List()->ReportView(), Qt::Key_Delete);
    WaitForActions(done, 3); // the trash, then the delete it led to
    QVERIFY(!QFile::exists(mountDir.filePath(QStringLiteral("y.jpg"))));
    QCOMPARE(RowsNamed(QStringLiteral("y.jpg")), 0);
    Open(dir_.path()); // the mount is not watched any more
}

void FileCommandsTest::shiftDeleteAsksFirst() {
    QSignalSpy done(main_, &fMain::fileActionFollowed);
    Choose(QStringLiteral("c.jpg"));
    answer_ = false;
    QTest::keyClick(List()->ReportView(), Qt::Key_Delete, Qt::ShiftModifier);
    QCOMPARE(asked_.size(), 1);
    QVERIFY2(asked_[0].startsWith(QStringLiteral("Delete \u201Cc.jpg\u201D permanently?")),
             qPrintable(asked_[0]));
    QCOMPARE(RowsNamed(QStringLiteral("c.jpg")), 1);
    QVERIFY(QFile::exists(dir_.filePath(QStringLiteral("c.jpg"))));

    answer_ = true;
    QTest::keyClick(List()->ReportView(), Qt::Key_Delete, Qt::ShiftModifier);
    QCOMPARE(RowsNamed(QStringLiteral("c.jpg")), 0);
    WaitForActions(done, 1);
    QVERIFY(!QFile::exists(dir_.filePath(QStringLiteral("c.jpg"))));
    QVERIFY(!QFile::exists(Trashed(QStringLiteral("c.jpg"))));
    QVERIFY(!main_->CommandAction(Command::Undo)->isEnabled()); // not undoable

    // Two rows selected: the question counts them.
    List()->SelectRow(RowOf(QStringLiteral("a.jpg")));
    List()->ReportView()->selectionModel()->select(
        List()->Model()->index(RowOf(QStringLiteral("b.jpg")), 0),
        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTest::keyClick(List()->ReportView(), Qt::Key_Delete, Qt::ShiftModifier);
    QCOMPARE(asked_.size(), 3);
    QVERIFY2(asked_[2].startsWith(QStringLiteral("Delete these 2 files permanently?")),
             qPrintable(asked_[2]));
    WaitForActions(done, 2);
    QVERIFY(!QFile::exists(dir_.filePath(QStringLiteral("a.jpg"))));
    QVERIFY(!QFile::exists(dir_.filePath(QStringLiteral("b.jpg"))));
    QCOMPARE(List()->Model()->rowCount(), 1);
}

void FileCommandsTest::renameInPlace() {
    QSignalSpy done(main_, &fMain::fileActionFollowed);
    Choose(QStringLiteral("b.jpg"));
    QTest::keyClick(List()->ReportView(), Qt::Key_F2);
    QVERIFY(List()->EditingName());
    auto* editor = List()->findChild<QLineEdit*>();
    QVERIFY(editor && editor->isVisible());
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("renamed.jpg"));
    QTest::keyClick(editor, Qt::Key_Return);
    WaitForActions(done, 1);
    QVERIFY(QFile::exists(dir_.filePath(QStringLiteral("renamed.jpg"))));
    QVERIFY(!QFile::exists(dir_.filePath(QStringLiteral("b.jpg"))));
    QCOMPARE(RowsNamed(QStringLiteral("renamed.jpg")), 1);
    QCOMPARE(RowsNamed(QStringLiteral("b.jpg")), 0);
    QVERIFY(ShownNow(QStringLiteral("renamed.jpg")));
    QCOMPARE(Panel(1), QStringLiteral("renamed.jpg"));
    WaitForTheWatcher();
    QCOMPARE(RowsNamed(QStringLiteral("renamed.jpg")), 1);
    QCOMPARE(main_->CommandAction(Command::Undo)->text(), QStringLiteral("&Undo Rename"));

    // The extension changes: asked first; No keeps the editor's text and the file.
    const int row = RowOf(QStringLiteral("renamed.jpg"));
    answer_ = false;
    QVERIFY(!List()->RenameRequested(row, "renamed.png").isEmpty());
    QCOMPARE(asked_.size(), 1);
    QVERIFY(QFile::exists(dir_.filePath(QStringLiteral("renamed.jpg"))));
    answer_ = true;
    QVERIFY(List()->RenameRequested(row, "renamed.png").isEmpty());
    WaitForActions(done, 2);
    QVERIFY(QFile::exists(dir_.filePath(QStringLiteral("renamed.png"))));

    // Ctrl+Z: the name it had.
    QTest::keySequence(List()->ReportView(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    WaitForActions(done, 3);
    QVERIFY(QFile::exists(dir_.filePath(QStringLiteral("renamed.jpg"))));
    QTRY_COMPARE_WITH_TIMEOUT(RowsNamed(QStringLiteral("renamed.jpg")), 1, kDecodesMs);
    QCOMPARE(RowsNamed(QStringLiteral("renamed.png")), 0);
}

void FileCommandsTest::renameRefusesFromTheText_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("reason");
    QTest::newRow("empty") << QByteArray() << QStringLiteral("empty");
    QTest::newRow("slash") << QByteArray("x/y.jpg") << QStringLiteral("/");
    QTest::newRow("dot-dot") << QByteArray("..") << QStringLiteral("folder");
    QTest::newRow("too long") << QByteArray(256, 'n') << QStringLiteral("too long");
    QTest::newRow("taken") << QByteArray("c.jpg") << QStringLiteral("already");
}

void FileCommandsTest::renameRefusesFromTheText() {
    QFETCH(QByteArray, name);
    QFETCH(QString, reason);
    const int row = RowOf(QStringLiteral("a.jpg"));
    const QString refusal = List()->RenameRequested(row, name.toStdString());
    QVERIFY2(refusal.contains(reason), qPrintable(refusal));
    QVERIFY(asked_.isEmpty());
    QVERIFY(!main_->FileRunner()->Busy()); // nothing asked of the disk
    QVERIFY(QFile::exists(dir_.filePath(QStringLiteral("a.jpg"))));
}

void FileCommandsTest::renameKeepsThePictureShown() {
    QSignalSpy done(main_, &fMain::fileActionFollowed);
    // A still stays in the pane under its new name.
    Choose(QStringLiteral("d.png"));
    const uint32_t before = Pixel(main_->PanePicture().Surface());
    QVERIFY(List()->RenameRequested(RowOf(QStringLiteral("d.png")), "e.png").isEmpty());
    WaitForActions(done, 1);
    QVERIFY(ShownNow(QStringLiteral("e.png")));
    QCOMPARE(Pixel(main_->PanePicture().Surface()), before);
    QCOMPARE(Panel(1), QStringLiteral("e.png"));
    // A GIF plays on under its new name.
    WriteGif(QStringLiteral("anim.gif"), 6, 30, 20);
    QTRY_VERIFY_WITH_TIMEOUT(RowOf(QStringLiteral("anim.gif")) >= 0, kDecodesMs);
    Choose(QStringLiteral("anim.gif"));
    auto* gif = Control<ucGIFViewer>(main_, "ucGIF1");
    QTRY_VERIFY(gif->GIFIsPlaying());
    QVERIFY(List()->RenameRequested(RowOf(QStringLiteral("anim.gif")), "moving.gif").isEmpty());
    WaitForActions(done, 2);
    QVERIFY(ShownNow(QStringLiteral("moving.gif")));
    QVERIFY(gif->isVisible() && gif->GIFIsPlaying());
    QCOMPARE(gif->GIFFrames(), int16_t(6));
}

void FileCommandsTest::turnsAJpegAndOnlyTheViewOfOthers() {
    QSignalSpy done(main_, &fMain::fileActionFollowed);
    std::vector<Turn> viewTurns;
    main_->TurnView = [&](Turn t) { viewTurns.push_back(t); };
    Choose(QStringLiteral("a.jpg"));
    QCOMPARE(main_->Preview().Facts().width, 64);
    QTest::keySequence(List()->ReportView(), QKeySequence(Qt::CTRL | Qt::Key_R));
    WaitForActions(done, 1);
    // The file turned, and the preview decoded it again.
    QCOMPARE(QImage(dir_.filePath(QStringLiteral("a.jpg"))).size(), QSize(32, 64));
    QTRY_VERIFY_WITH_TIMEOUT(
        ShownNow(QStringLiteral("a.jpg")) && main_->Preview().Facts().width == 32, kDecodesMs);
    QCOMPARE(main_->Preview().Facts().height, 64);
    QVERIFY(viewTurns.empty());
    // Back with Ctrl+L.
    QTest::keySequence(List()->ReportView(), QKeySequence(Qt::CTRL | Qt::Key_L));
    WaitForActions(done, 2);
    QTRY_VERIFY_WITH_TIMEOUT(
        ShownNow(QStringLiteral("a.jpg")) && main_->Preview().Facts().width == 64, kDecodesMs);

    // A PNG: the view turns, the file stays as it was, and the status says so.
    Choose(QStringLiteral("d.png"));
    QFile png(dir_.filePath(QStringLiteral("d.png")));
    QVERIFY(png.open(QIODevice::ReadOnly));
    const QByteArray bytes = png.readAll();
    png.close();
    QTest::keySequence(List()->ReportView(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H));
    WaitForActions(done, 3);
    QCOMPARE(viewTurns, std::vector<Turn>{Turn::FlipHorizontal});
    QVERIFY2(Panel(3).contains(QStringLiteral("unchanged")), qPrintable(Panel(3)));
    QVERIFY(png.open(QIODevice::ReadOnly));
    QCOMPARE(png.readAll(), bytes);
}

void FileCommandsTest::fullViewDeletesAndTurns() {
    QSignalSpy done(main_, &fMain::fileActionFollowed);
    Choose(QStringLiteral("a.jpg"));
    main_->RequestFullView();
    QPointer<fFullview> full = main_->OpenFullView();
    QVERIFY(full && full->isVisible());
    full->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), full.data());
    // Delete: to the trash, and the next picture shows in the full view.
    QTest::keyClick(full->imView, Qt::Key_Delete);
    WaitForActions(done, 1);
    QVERIFY(QFile::exists(Trashed(QStringLiteral("a.jpg"))));
    QTRY_VERIFY_WITH_TIMEOUT(ShownNow(QStringLiteral("b.jpg")), kDecodesMs);
    QTRY_VERIFY(full && full->isVisible() && full->imView->Shown() &&
                full->imView->Shown()->Width() == 48);
    // Ctrl+R there turns the picture it shows, which shows again turned.
    QTest::keySequence(full->imView, QKeySequence(Qt::CTRL | Qt::Key_R));
    WaitForActions(done, 2);
    QCOMPARE(QImage(dir_.filePath(QStringLiteral("b.jpg"))).size(), QSize(32, 48));
    QTRY_VERIFY_WITH_TIMEOUT(full && full->imView->Shown() && full->imView->Shown()->Width() == 32,
                             kDecodesMs);
    // Ctrl+Z twice there: the turn goes back, then the picture deleted comes
    // back and shows in the full view again.
    QTest::keySequence(full->imView, QKeySequence(Qt::CTRL | Qt::Key_Z));
    QTest::keySequence(full->imView, QKeySequence(Qt::CTRL | Qt::Key_Z));
    WaitForActions(done, 4);
    QVERIFY(QFile::exists(dir_.filePath(QStringLiteral("a.jpg"))));
    QTRY_VERIFY_WITH_TIMEOUT(ShownNow(QStringLiteral("a.jpg")), kDecodesMs);
    QTRY_VERIFY_WITH_TIMEOUT(full && full->isVisible() && full->imView->Shown() &&
                                 full->imView->Shown()->Width() == 64,
                             kDecodesMs);
    QVERIFY(full->actions().contains(main_->CommandAction(Command::Trash)));
}

void FileCommandsTest::copyAndMoveGoThroughTheirHooks() {
    QSignalSpy done(main_, &fMain::fileActionFollowed);
    std::vector<std::pair<quint64, bool>> progress;
    main_->ShowTransferProgress = [&](quint64 ticket, TransferKind, quint64, quint64,
                                      bool finished) { progress.emplace_back(ticket, finished); };
    int conflicts = 0;
    main_->AskConflict = [&](quint64, const std::string&, const std::string&) {
        ++conflicts;
        return ConflictChoice::Skip;
    };
    main_->ChooseDestination = [&](TransferKind, const std::vector<std::string>& sources) {
        return sources.size() == 1 ? other_.path().toStdString() : std::string();
    };
    Choose(QStringLiteral("a.jpg"));
    QTest::keySequence(List()->ReportView(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    WaitForActions(done, 1);
    QVERIFY(QFile::exists(other_.filePath(QStringLiteral("a.jpg"))));
    QCOMPARE(RowsNamed(QStringLiteral("a.jpg")), 1); // a copy leaves its source
    QVERIFY(!progress.empty() && progress.back().second);
    // Moved there: the name is taken, the question is asked, Skip keeps both files.
    QTest::keySequence(List()->ReportView(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
    WaitForActions(done, 2);
    QCOMPARE(conflicts, 1);
    QVERIFY(QFile::exists(dir_.filePath(QStringLiteral("a.jpg"))));
    // Another file moves, and its row goes.
    Choose(QStringLiteral("c.jpg"));
    QTest::keySequence(List()->ReportView(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
    WaitForActions(done, 3);
    QVERIFY(QFile::exists(other_.filePath(QStringLiteral("c.jpg"))));
    QVERIFY(!QFile::exists(dir_.filePath(QStringLiteral("c.jpg"))));
    QCOMPARE(RowsNamed(QStringLiteral("c.jpg")), 0);
    QFile::remove(other_.filePath(QStringLiteral("a.jpg")));
    QFile::remove(other_.filePath(QStringLiteral("c.jpg")));
}

void FileCommandsTest::copyGoesThroughTheDialogsAndTheViewTurns() {
    // The window's own dialogs: the folder chosen from those remembered,
    // one question for two names taken, answered Keep Both for all.
    DestinationList remembered(DestinationList::UserFile());
    QVERIFY(remembered.Remember(other_.path().toStdString()));
    QImage taken(8, 8, QImage::Format_RGB32);
    taken.fill(Qt::black);
    QVERIFY(taken.save(other_.filePath(QStringLiteral("a.jpg")), "JPG"));
    QVERIFY(taken.save(other_.filePath(QStringLiteral("b.jpg")), "JPG"));
    int questions = 0;
    bool chose = false;
    // Each modal dialog is answered as a person would, once it is up.
    QTimer answer;
    answer.setInterval(0);
    connect(&answer, &QTimer::timeout, this, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* chooser = qobject_cast<DestinationChooser*>(modal); chooser && !chose) {
            chose = true;
            chooser->lstRecent->setCurrentRow(0);
            QTest::mouseClick(chooser->buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
        } else if (auto* question = qobject_cast<ConflictQuestion*>(modal)) {
            ++questions;
            question->chkApplyToAll->setChecked(true);
            QTest::mouseClick(question->cmdKeepBoth, Qt::LeftButton);
        }
    });
    answer.start();
    QSignalSpy done(main_, &fMain::fileActionFollowed);
    Choose(QStringLiteral("a.jpg"));
    QTest::keySequence(List()->ReportView(), QKeySequence(Qt::CTRL | Qt::Key_A));
    QCOMPARE(List()->SelectedRows().size(), std::size_t(4));
    QTest::keySequence(List()->ReportView(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    WaitForActions(done, 1);
    answer.stop();
    QVERIFY(chose);
    QCOMPARE(questions, 1);
    for (const char* name : {"a.jpg", "a (2).jpg", "b.jpg", "b (2).jpg", "c.jpg", "d.png"})
        QVERIFY2(QFile::exists(other_.filePath(QString::fromLatin1(name))), name);
    QCOMPARE(QImage(other_.filePath(QStringLiteral("a (2).jpg"))).size(), QSize(64, 32));
    for (const QString& name : QDir(other_.path()).entryList(QDir::Files | QDir::Hidden))
        QFile::remove(other_.filePath(name));

    // A PNG is turned in the view only, and the next choice shows upright.
    main_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main_));
    auto* pane = Control<PicturePane>(main_, "imgPane");
    Choose(QStringLiteral("d.png"));
    QTest::keySequence(List()->ReportView(), QKeySequence(Qt::CTRL | Qt::Key_R));
    WaitForActions(done, 2);
    QCOMPARE(pane->GetViewTurn(), (ViewTurn{1, false}));
    QVERIFY2(Panel(3).contains(QStringLiteral("view only")), qPrintable(Panel(3)));
    Choose(QStringLiteral("c.jpg"));
    QVERIFY(pane->GetViewTurn().Upright());
}

void FileCommandsTest::runnerKeepsOrderAsksOnItsThreadAndCancels() {
    FileActionRunner runner(nullptr, Trash(data_.filePath(QStringLiteral("Trash")).toStdString()));
    const auto path = [this](const char* name) {
        return dir_.filePath(QString::fromLatin1(name)).toStdString();
    };
    QVERIFY(QFile::copy(dir_.filePath(QStringLiteral("a.jpg")),
                        other_.filePath(QStringLiteral("a.jpg"))));
    std::vector<quint64> finished;
    std::map<quint64, ActionDone> answers;
    connect(&runner, &FileActionRunner::Finished, this, [&](quint64 ticket, const ActionDone& d) {
        finished.push_back(ticket);
        answers[ticket] = d;
    });
    // The copy meets a name taken: while its worker waits for the answer,
    // asked on this thread, the trash queued behind it is cancelled.
    quint64 trash = 0;
    bool onThisThread = false;
    runner.AskConflict = [&](quint64, const std::string&, const std::string&) {
        onThisThread = QThread::currentThread() == thread();
        runner.Cancel(trash);
        return ConflictChoice::Skip;
    };
    const quint64 copy =
        runner.Transfer(TransferKind::Copy, {path("a.jpg")}, other_.path().toStdString());
    trash = runner.MoveToTrash({path("b.jpg")});
    const quint64 turn = runner.Turn(path("c.jpg"), Turn::Right);
    QVERIFY(runner.Busy());
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), std::size_t(3), kDecodesMs);
    QVERIFY(onThisThread);
    QCOMPARE(finished, (std::vector<quint64>{trash, copy, turn}));
    QVERIFY(answers[trash].cancelled);
    QCOMPARE(answers[trash].files.size(), std::size_t(1));
    QCOMPARE(answers[trash].files[0].status, OutcomeStatus::Cancelled);
    QVERIFY(QFile::exists(dir_.filePath(QStringLiteral("b.jpg")))); // never started
    QCOMPARE(answers[copy].files[0].status, OutcomeStatus::Skipped);
    QVERIFY(answers[turn].AllDone()); // the action after the cancelled one ran
    QVERIFY(!runner.Busy());
    QCOMPARE(runner.UndoText(), std::string("Undo Rotate"));
    QFile::remove(other_.filePath(QStringLiteral("a.jpg")));
}

QTEST_MAIN(FileCommandsTest)
#include "test_file_commands.moc"
