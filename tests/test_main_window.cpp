// The real main window, off-screen, on temporary folders: its layout, the
// browsing and preview flow, the status panels and the reading ahead.
#include "MainWindowFixture.h"
#include "app/mSetupUi.h"
#include "imaging/FileHeader.h"
#include "tests/WindowControls.h"

#include <QElapsedTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

class MainWindowTest : public MainWindowFixture {
    Q_OBJECT
  private slots:
    void initTestCase();
    void init();
    void cleanup();
    void layoutFollowsTheWindow();
    void minimumSizeSnaps();
    void splitterDragRefitsThePanes();
    void contentDecidesTheRoad();
    void countLabel();
    void folderChangeKeepsTheChosenFile();
    void failedStillShowsNoPicture();
    void unreadableRowsAreFailedChoices();
    void foldersThatCannotBeListedShowWhy();
    void withoutTheHelperTheStatusSaysSo();
    void choicesInARowKeepTheirHelpers();
    void refreshKeepsTheChosenFile();
    void enterShowsTheSelectedRow();
    void neighboursAreReadAhead();
    void resizedPaneIsRefitted();
    void gifsDecodeOffTheWindowsThread();
    void arrowKeysPreview();
    void aFileAskedForIsChosen();
    void aFileAskedForBeforeTheListingIsChosenByIt();
    void theChosenFileFollowsTheDisk();
    void aMaximisedWindowKeepsItsNormalSize();
    void leniencySettingsShareOver100();
};

void MainWindowTest::initTestCase() {
    MakeFolder();
}

void MainWindowTest::init() {
    OpenWindow();
}

void MainWindowTest::cleanup() {
    CloseWindow();
}

void MainWindowTest::layoutFollowsTheWindow() {
    for (const QSize size : {QSize(900, 600), QSize(1001, 700), QSize(640, 480)}) {
        main_->resize(size);
        QCoreApplication::processEvents();
        const QRect v = Control<Splitter>(main_, "vSplit")->geometry();
        QCOMPARE(v, QRect(10, 48, size.width() - 20, size.height() - 38 - 19 - 48 - 20));
        const QRect about = Control<QPushButton>(main_, "cmdAbout")->geometry(),
                    visit = Control<QPushButton>(main_, "cmdVisit")->geometry();
        QCOMPARE(about, QRect(10, v.bottom() + 1 + 5, v.width() / 2, 48));
        QCOMPARE(visit.left(), about.right() + 1 + 5);
        QCOMPARE(visit.width(), v.width() / 2 - 5);
        const QRect status = Control<QWidget>(main_, "picStatus")->geometry();
        QCOMPARE(status, QRect(10, about.bottom() + 1 + 5, size.width() - 20, 19));
        QCOMPARE(status.bottom() + 1, size.height());
        QCOMPARE(Control<StatusPanels>(main_, "sbInfo")->geometry(),
                 QRect(0, 0, status.width(), 19));
        // The panes fill their splitters; the list sits below the filter.
        QCOMPARE(Control<ucGIFViewer>(main_, "ucGIF1")->size(),
                 Control<PicturePane>(main_, "imgPane")->size());
        QCOMPARE(Control<FileListView>(main_, "lvFiles")->y(),
                 Control<QComboBox>(main_, "ComboFilter")->height());
        QCOMPARE(Control<FileListView>(main_, "lvFiles")->width(),
                 Control<QWidget>(main_, "picLV")->width());
    }
    QCOMPARE(main_->windowTitle(), QStringLiteral("Vantrel by Corvane"));
    QCOMPARE(Control<QPushButton>(main_, "cmdVisit")->text(), QStringLiteral("Visit Corvane"));
}

void MainWindowTest::minimumSizeSnaps() {
    main_->resize(300, 600);
    QCoreApplication::processEvents();
    QCOMPARE(main_->frameGeometry().width(), 499); // 7485 twips, outer
    main_->resize(700, 100);
    QCoreApplication::processEvents();
    QCOMPARE(main_->frameGeometry().height(), 313); // 4695 twips
    QCOMPARE(main_->width(), 700);
    main_->showMinimized(); // minimised: nothing is laid out
    const QRect v = Control<Splitter>(main_, "vSplit")->geometry();
    main_->resize(800, 500);
    QCoreApplication::processEvents();
    QCOMPARE(Control<Splitter>(main_, "vSplit")->geometry(), v);
}

void MainWindowTest::splitterDragRefitsThePanes() {
    Choose(QStringLiteral("a-still.png"));
    const QSize before = Control<PicturePane>(main_, "imgPane")->size();
    QWidget* bar = Control<Splitter>(main_, "vSplit")->SplitterBar();
    const QPoint start(bar->width() / 2, bar->height() / 2);
    QTest::mousePress(bar, Qt::LeftButton, {}, start);
    QMouseEvent move(QEvent::MouseMove, QPointF(start + QPoint(-200, 0)),
                     bar->mapToGlobal(QPointF(start + QPoint(-200, 0))), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &move);
    QCOMPARE(Control<PicturePane>(main_, "imgPane")->size(),
             before); // only the bar moves while dragging
    QTest::mouseRelease(bar, Qt::LeftButton, {}, start + QPoint(-200, 0));
    QVERIFY(Control<PicturePane>(main_, "imgPane")->width() > before.width() + 150);
    QCOMPARE(Control<ucGIFViewer>(main_, "ucGIF1")->size(),
             Control<PicturePane>(main_, "imgPane")->size());
    QCOMPARE(Control<Splitter>(main_, "hSplit")->width() +
                 Control<PicturePane>(main_, "imgPane")->width() + 6,
             Control<Splitter>(main_, "vSplit")->width());
    // The still preview was fitted again: the picture now fills the wider pane's width.
    const cDIB& pane = Control<PicturePane>(main_, "imgPane")->Box().Surface();
    QCOMPARE(pane.Width(), Control<PicturePane>(main_, "imgPane")->width());
}

void MainWindowTest::contentDecidesTheRoad() {
    Choose(QStringLiteral("anim.gif")); // a PNG: the image loader
    QVERIFY(Control<ucGIFViewer>(main_, "ucGIF1")->isHidden());
    QTRY_COMPARE(Panel(1), QStringLiteral("anim.gif"));
    QTRY_COMPARE(Panel(2), QStringLiteral("640x480"));
    QTRY_COMPARE(Panel(3), QString());
    Choose(QStringLiteral("photo.bmp")); // a GIF: animated
    QVERIFY(!Control<ucGIFViewer>(main_, "ucGIF1")->isHidden());
    QVERIFY(Control<ucGIFViewer>(main_, "ucGIF1")->GIFIsPlaying());
    QTRY_COMPARE(Panel(2), QStringLiteral("30x20"));
    QTRY_COMPARE(Panel(3), QStringLiteral("24 Frames"));
    Choose(QStringLiteral("single.gif"));
    QTRY_COMPARE(Panel(3), QStringLiteral("1 Frames"));
    QVERIFY(!Control<ucGIFViewer>(main_, "ucGIF1")->GIFIsPlaying());
    // The filter list lists again and clears the preview.
    Control<QComboBox>(main_, "ComboFilter")->setCurrentIndex(1);
    WaitForListing();
    QVERIFY(!Control<ucGIFViewer>(main_, "ucGIF1")->GIFLoaded());
    const cDIB& pane = Control<PicturePane>(main_, "imgPane")->Box().Surface();
    QCOMPARE(Pixel(pane), 0xE0E0E0u);
}

void MainWindowTest::countLabel() {
    QCOMPARE(Control<QLabel>(main_, "lblCount")->text(), QStringLiteral("6 Image Files"));
    Open(other_.path()); // empty
    QCOMPARE(Control<QLabel>(main_, "lblCount")->text(), QStringLiteral("0 Image Files"));
    QCOMPARE(QString::fromStdString(setup_.LastPath), other_.path());
    // A tree item without a folder lists the previous folder again.
    Open(dir_.path());
    state_.sCurrentPath.clear();
    main_->nPathchange();
    WaitForListing();
    QCOMPARE(Control<QLabel>(main_, "lblCount")->text(), QStringLiteral("6 Image Files"));
    QCOMPARE(Control<FileListView>(main_, "lvFiles")->Model()->rowCount(), 6);
}

void MainWindowTest::folderChangeKeepsTheChosenFile() {
    Choose(QStringLiteral("z-small.png"));
    Open(other_.path());
    QTRY_COMPARE(Panel(1), QStringLiteral("z-small.png"));
    QTRY_COMPARE(Panel(2), QStringLiteral("40x30"));
    QTest::keyClick(Control<FileListView>(main_, "lvFiles")->ReportView(), Qt::Key_Return);
    QPointer<fFullview> f = main_->OpenFullView();
    QVERIFY(f && f->isVisible());
    QTRY_VERIFY(f->imView->Shown());
    QCOMPARE(f->imView->Shown()->Width(), 40);
    QVERIFY(f->ucGIFView->isHidden());
    QTest::keyClick(f->imView, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!f);
}

void MainWindowTest::failedStillShowsNoPicture() {
    Choose(QStringLiteral("z-small.png"));
    Choose(QStringLiteral("broken.jpg"));
    QTRY_COMPARE(Panel(1), QStringLiteral("broken.jpg"));
    QTRY_COMPARE(Panel(2), QString());
    QCOMPARE(Panel(3), QString::fromLatin1(cPreviewCore::kFailedText));
    const cDIB& pane = Control<PicturePane>(main_, "imgPane")->Box().Surface();
    QCOMPARE(Pixel(pane, pane.Width() / 2, pane.Height() / 2), 0xE0E0E0u);
    // No full view of nothing, and never of the picture before.
    main_->RequestFullView();
    QVERIFY(!main_->OpenFullView() || !main_->OpenFullView()->isVisible());
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

void MainWindowTest::unreadableRowsAreFailedChoices() {
    Choose(QStringLiteral("z-small.png"));
    const QString fifo = dir_.filePath(QStringLiteral("x-fifo.png"));
    const QString gone = dir_.filePath(QStringLiteral("x-gone.png"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    QFile::copy(dir_.filePath(QStringLiteral("z-small.png")), gone);
    Open(dir_.path());
    QFile::remove(gone);
    // The row names a file that went: the status says so, and the picture
    // before is not shown under its name.
    Choose(QStringLiteral("x-gone.png"));
    QCOMPARE(Panel(1), QStringLiteral("x-gone.png"));
    QCOMPARE(Panel(2), QString());
    QCOMPARE(Panel(3), QString::fromLatin1(std::strerror(ENOENT)));
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    QCOMPARE(main_->Preview().Name(), std::string("x-gone.png"));
    const cDIB& pane = Control<PicturePane>(main_, "imgPane")->Box().Surface();
    QCOMPARE(Pixel(pane), 0xE0E0E0u);
    QFile::remove(fifo);
    // A FIFO is never listed, and never opened when named.
    FileHeader h;
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    QCOMPARE(ReadFileHeader(QFile::encodeName(fifo).toStdString(), h), PreviewRoad::Unreadable);
    QFile::remove(fifo);
}

void MainWindowTest::foldersThatCannotBeListedShowWhy() {
    // A folder removed while listed, then Refresh; one removed and left to
    // the list that follows it; and one without read rights.
    QTemporaryDir scratch;
    const QString doomed = scratch.filePath(QStringLiteral("doomed"));
    for (const bool refresh : {true, false}) {
        QVERIFY(QDir().mkpath(doomed));
        QFile::copy(dir_.filePath(QStringLiteral("z-small.png")),
                    doomed + QStringLiteral("/p.png"));
        Open(doomed);
        Choose(QStringLiteral("p.png"));
        QCOMPARE(Control<QLabel>(main_, "lblCount")->text(), QStringLiteral("1 Image Files"));
        QVERIFY(QDir(doomed).removeRecursively());
        if (refresh) {
            main_->CommandAction(Command::Refresh)->trigger();
            WaitForListing();
        } else {
            QTRY_COMPARE(Panel(1), QStringLiteral("Folder not found"));
        }
        QCOMPARE(Control<FileListView>(main_, "lvFiles")->Model()->rowCount(), 0);
        QCOMPARE(Control<QLabel>(main_, "lblCount")->text(), QStringLiteral("0 Image Files"));
        QCOMPARE(Panel(1), QStringLiteral("Folder not found"));
        QCOMPARE(Panel(2), QString());
        QCOMPARE(Panel(3), QString());
        QCOMPARE(Pixel(Control<PicturePane>(main_, "imgPane")->Box().Surface()), 0xE0E0E0u);
        QCOMPARE(QString::fromStdString(setup_.LastPath), doomed); // the last folder listed
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        main_->RequestFullView();
        QVERIFY(!main_->OpenFullView() || !main_->OpenFullView()->isVisible());
        main_->CommandAction(Command::Edit)->trigger(); // Edit: nothing is chosen now
    }
    // Without read rights (root reads every folder, so only as another user).
    if (::geteuid() == 0) return;
    const QString locked = scratch.filePath(QStringLiteral("locked"));
    QVERIFY(QDir().mkpath(locked));
    QFile::setPermissions(locked, QFileDevice::WriteOwner);
    Open(dir_.path());
    Open(locked);
    QCOMPARE(Control<FileListView>(main_, "lvFiles")->Model()->rowCount(), 0);
    QCOMPARE(Control<QLabel>(main_, "lblCount")->text(), QStringLiteral("0 Image Files"));
    QCOMPARE(Panel(1), QStringLiteral("Permission denied"));
    QFile::setPermissions(locked,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void MainWindowTest::withoutTheHelperTheStatusSaysSo() {
    DecoderPool noHelper(dir_.filePath(QStringLiteral("no-such-helper")).toStdString(), {});
    CloseWindow();
    OpenWindow(noHelper);
    Choose(QStringLiteral("z-small.png"));
    QTRY_COMPARE(Panel(2), QStringLiteral("40x30"));
    QCOMPARE(Panel(3), QString::fromLatin1(fMain::kInProcessNotice));
    CloseWindow();
    OpenWindow(); // the helper beside the program again
    Choose(QStringLiteral("a-still.png"));
    QTRY_COMPARE(Panel(2), QStringLiteral("640x480"));
    QCOMPARE(Panel(3), QString());
}

void MainWindowTest::choicesInARowKeepTheirHelpers() {
    // Rows chosen faster than they decode, as a held arrow key chooses them:
    // each new choice gives up the one before by message, and the helpers
    // that decoded the first picture decode the last.
    Choose(QStringLiteral("a-still.png"));
    const uint64_t started = TestDecoderPool().HelperStarts();
    const std::vector<pid_t> helpers = TestDecoderPool().HelperPids();
    const int still = RowOf(QStringLiteral("a-still.png"));
    const int small = RowOf(QStringLiteral("z-small.png"));
    for (int i = 0; i < 30; ++i)
        main_->ChooseRow(i % 2 ? still : small);
    main_->ChooseRow(small);
    WaitForQuiet();
    QCOMPARE(Panel(1), QStringLiteral("z-small.png"));
    QCOMPARE(Panel(2), QStringLiteral("40x30"));
    QCOMPARE(TestDecoderPool().HelperStarts(), started);
    QCOMPARE(TestDecoderPool().HelperPids(), helpers);
}

void MainWindowTest::refreshKeepsTheChosenFile() {
    Choose(QStringLiteral("z-small.png"));
    const int row = RowOf(QStringLiteral("z-small.png"));
    main_->CommandAction(Command::Refresh)->trigger();
    WaitForListing();
    QCOMPARE(Control<FileListView>(main_, "lvFiles")->SelectedRow(), row);
    QCOMPARE(Panel(1), QStringLiteral("z-small.png"));
    QCOMPARE(Pixel(Control<PicturePane>(main_, "imgPane")->Box().Surface()),
             0x0000FFu); // still shown
    QCOMPARE(main_->Preview().Name(), std::string("z-small.png"));
    // A filter that leaves it out: the pane is cleared, as for another folder.
    Control<QComboBox>(main_, "ComboFilter")->setCurrentIndex(1);
    WaitForListing();
    QCOMPARE(Pixel(Control<PicturePane>(main_, "imgPane")->Box().Surface()), 0xE0E0E0u);
}

void MainWindowTest::enterShowsTheSelectedRow() {
    // The listing selected the first row without choosing it: Enter chooses
    // and shows it, as the list says.
    QCOMPARE(Control<FileListView>(main_, "lvFiles")->SelectedRow(), 0);
    QVERIFY(main_->Preview().Name().empty());
    QTest::keyClick(Control<FileListView>(main_, "lvFiles")->ReportView(), Qt::Key_Return);
    QTRY_VERIFY(main_->OpenFullView() && main_->OpenFullView()->isVisible());
    QTRY_VERIFY(main_->OpenFullView()->imView->Shown());
    QCOMPARE(main_->OpenFullView()->imView->Shown()->Width(), 640);
    QCOMPARE(Panel(1), QStringLiteral("a-still.png"));
}

// Once a picture shows, the next and the previous row are read ahead: choosing
// one shows it at once, before the event loop runs again. A file rewritten
// since is decoded anew, never shown as it was. A pane that changes size
// while it shows no picture (the first layout) holds nothing back.
void MainWindowTest::neighboursAreReadAhead() {
    main_->resize(960, 640);
    QCoreApplication::processEvents();
    QVERIFY(main_->ReadAheadIdle());
    QTemporaryDir photos;
    for (int i = 0; i < 4; ++i) {
        QImage p(1200 + 100 * i, 900, QImage::Format_RGB32); // larger than the offscreen screen
        p.fill(QColor::fromHsv(60 * i, 255, 255));
        QVERIFY(p.save(photos.filePath(QStringLiteral("p%1.png").arg(i)), "PNG"));
    }
    Open(photos.path());
    Choose(QStringLiteral("p1.png")); // and p2 and p0 read ahead
    for (const int row : {2, 1, 0}) {
        QElapsedTimer clock;
        clock.start();
        Control<FileListView>(main_, "lvFiles")->SelectRow(row);
        main_->ChooseRow(row);
        Control<PicturePane>(main_, "imgPane")->repaint(); // painted, as the next frame would
        std::printf("read-ahead hit: row chosen to picture painted in %.2f ms\n",
                    double(clock.nsecsElapsed()) / 1e6);
        // Shown before any event is handled: no decode ran for it.
        QCOMPARE(Panel(1), QStringLiteral("p%1.png").arg(row));
        QCOMPARE(Panel(2), QStringLiteral("%1x900").arg(1200 + 100 * row));
        QVERIFY(Control<PicturePane>(main_, "imgPane")->Box().Surface().lpBits());
        WaitForQuiet();
    }
    // p1 rewritten with another size: decoded again, shown as it is now.
    QImage changed(500, 500, QImage::Format_RGB32);
    changed.fill(Qt::black);
    QVERIFY(changed.save(photos.filePath(QStringLiteral("p1.png")), "PNG"));
    Control<FileListView>(main_, "lvFiles")->SelectRow(1);
    main_->ChooseRow(1);
    QTRY_COMPARE(Panel(2), QStringLiteral("500x500"));
}

// A GIF is decoded on a thread of its own: choosing it returns at once, and
// one whose file is no longer chosen when its document arrives is dropped.
// The pane's picture is decoded for the pane's size: a pane that changes
// size is drawn at once from what is held, and once it keeps its size the
// picture fitted to it follows. A full view shows the whole picture, never
// the pane's.
void MainWindowTest::resizedPaneIsRefitted() {
    QTemporaryDir photos;
    QImage halves(1600, 1200, QImage::Format_RGB32);
    halves.fill(Qt::red);
    for (int y = 0; y < 1200; ++y)
        for (int x = 800; x < 1600; ++x)
            halves.setPixel(x, y, qRgb(0, 0, 255));
    QVERIFY(halves.save(photos.filePath(QStringLiteral("halves.png")), "PNG"));
    Open(photos.path());
    Choose(QStringLiteral("halves.png"));
    WaitForQuiet();
    QCOMPARE(QSize(main_->PanePicture().Width(), main_->PanePicture().Height()),
             FittedInPane(1600, 1200));
    for (const QSize window : {QSize(1100, 760), QSize(760, 520)}) {
        main_->resize(window);
        QCoreApplication::processEvents();
        const QSize fitted = FittedInPane(1600, 1200);
        // Drawn already, the halves in their places, before any decode.
        const cDIB& pane = Control<PicturePane>(main_, "imgPane")->Box().Surface();
        const int left = (pane.Width() - fitted.width()) / 2, top = pane.Height() / 2;
        QCOMPARE(Pixel(pane, left + fitted.width() / 4, top) & 0xFFFFFF, 0xFF0000u);
        QCOMPARE(Pixel(pane, left + 3 * fitted.width() / 4, top) & 0xFFFFFF, 0x0000FFu);
        // Then the picture fitted to the new pane.
        QTRY_COMPARE(QSize(main_->PanePicture().Width(), main_->PanePicture().Height()), fitted);
        QCOMPARE(Panel(2), QStringLiteral("1600x1200"));
    }
    WaitForQuiet();
    QTest::keyClick(Control<FileListView>(main_, "lvFiles")->ReportView(), Qt::Key_Return);
    QTRY_VERIFY(main_->OpenFullView() && main_->OpenFullView()->isVisible());
    QTRY_VERIFY(main_->OpenFullView()->imView->Shown());
    QCOMPARE(main_->OpenFullView()->imView->Shown()->Width(), 1600);
    // The pane keeps its own picture.
    QCOMPARE(QSize(main_->PanePicture().Width(), main_->PanePicture().Height()),
             FittedInPane(1600, 1200));
}

// Page Down and Page Up in the full view show the next and the previous
// picture of the list; the list's selection follows, and at either end the
// picture stays.
void MainWindowTest::gifsDecodeOffTheWindowsThread() {
    WriteGif(QStringLiteral("big-anim.gif"), 12, 1500, 1000);
    Open(dir_.path());
    Choose(QStringLiteral("z-small.png"));
    const int gif = RowOf(QStringLiteral("big-anim.gif"));
    Control<FileListView>(main_, "lvFiles")->SelectRow(gif);
    main_->ChooseRow(gif);
    QVERIFY(main_->StillPending());                    // not decoded in the call
    QCOMPARE(Panel(1), QStringLiteral("z-small.png")); // the pane's picture and its name
    // Another file before the GIF arrived: the GIF never shows.
    Choose(QStringLiteral("a-still.png"));
    QCOMPARE(Panel(1), QStringLiteral("a-still.png"));
    QVERIFY(Control<ucGIFViewer>(main_, "ucGIF1")->isHidden());
    QVERIFY(!Control<ucGIFViewer>(main_, "ucGIF1")->GIFLoaded());
    // Chosen and left alone, it shows.
    Choose(QStringLiteral("big-anim.gif"));
    QTRY_COMPARE(Panel(3), QStringLiteral("12 Frames"));
    QVERIFY(!Control<ucGIFViewer>(main_, "ucGIF1")->isHidden());
    QFile::remove(dir_.filePath(QStringLiteral("big-anim.gif")));
}

void MainWindowTest::arrowKeysPreview() {
    // Space previews the row under the cursor, the first one after a listing too.
    Control<FileListView>(main_, "lvFiles")->ReportView()->setFocus();
    QTest::keyClick(Control<FileListView>(main_, "lvFiles")->ReportView(), Qt::Key_Space);
    QTRY_COMPARE(Panel(1), QStringLiteral("a-still.png"));
    Choose(QStringLiteral("a-still.png"));
    Control<FileListView>(main_, "lvFiles")->ReportView()->setFocus();
    QTest::keyClick(Control<FileListView>(main_, "lvFiles")->ReportView(), Qt::Key_Down);
    QTRY_COMPARE(Panel(1), QStringLiteral("anim.gif"));
    QTest::keyClick(Control<FileListView>(main_, "lvFiles")->ReportView(), Qt::Key_Down);
    QTRY_COMPARE(Panel(1), QStringLiteral("broken.jpg"));
    QTest::keyClick(Control<FileListView>(main_, "lvFiles")->ReportView(), Qt::Key_Up);
    QTRY_COMPARE(Panel(1), QStringLiteral("anim.gif"));
    QTest::keyClick(Control<FileListView>(main_, "lvFiles")->ReportView(), Qt::Key_End);
    QTRY_COMPARE(Panel(1), QStringLiteral("z-small.png"));
}

void MainWindowTest::aFileAskedForIsChosen() {
    QVERIFY(main_->ChooseFile("z-small.png"));
    WaitForQuiet();
    QTRY_COMPARE(Panel(1), QStringLiteral("z-small.png"));
    QCOMPARE(Control<FileListView>(main_, "lvFiles")->SelectedRow(),
             RowOf(QStringLiteral("z-small.png")));
    QVERIFY(main_->ChooseFile("a-still.png")); // the first row, selected by the listing
    QTRY_COMPARE(Panel(1), QStringLiteral("a-still.png"));
}

void MainWindowTest::aFileAskedForBeforeTheListingIsChosenByIt() {
    // Many rows, the one asked for far down: chosen, previewed and in view
    // once its folder is listed.
    QTemporaryDir many;
    for (int i = 0; i < 200; ++i)
        QFile::copy(dir_.filePath(QStringLiteral("z-small.png")),
                    many.filePath(QStringLiteral("p%1.png").arg(i, 3, 10, QLatin1Char('0'))));
    WriteGif(QStringLiteral("zz.gif"), 2, 8, 8);
    QVERIFY(QFile::rename(dir_.filePath(QStringLiteral("zz.gif")),
                          many.filePath(QStringLiteral("zz.gif"))));
    QVERIFY(!main_->ChooseFile("zz.gif")); // not listed yet
    Open(many.path());
    QCOMPARE(Control<FileListView>(main_, "lvFiles")->SelectedRow(), 200);
    QTRY_COMPARE(Panel(1), QStringLiteral("zz.gif")); // decoded off the window's thread
    QCOMPARE(Panel(3), QStringLiteral("2 Frames"));
    QTreeView* report = Control<FileListView>(main_, "lvFiles")->ReportView();
    const QRect shown =
        report->visualRect(Control<FileListView>(main_, "lvFiles")->Model()->index(200, 0));
    QVERIFY(report->viewport()->rect().intersects(shown));
}

// The list follows its folder: the count with it; the chosen file rewritten
// is previewed again, renamed keeps its preview under the new name, removed
// leaves the pane empty with the status saying so.
void MainWindowTest::theChosenFileFollowsTheDisk() {
    QTemporaryDir photos;
    const auto save = [&photos](const QString& name, int w, int h, Qt::GlobalColor colour) {
        QImage p(w, h, QImage::Format_RGB32);
        p.fill(colour);
        QVERIFY(p.save(photos.filePath(name), "PNG"));
    };
    save(QStringLiteral("a.png"), 40, 30, Qt::blue);
    save(QStringLiteral("b.png"), 50, 40, Qt::red);
    Open(photos.path());
    QCOMPARE(Control<QLabel>(main_, "lblCount")->text(), QStringLiteral("2 Image Files"));
    Choose(QStringLiteral("b.png"));
    QTRY_COMPARE(Panel(2), QStringLiteral("50x40"));

    save(QStringLiteral("c.png"), 10, 10, Qt::green); // copied in from outside
    QTRY_COMPARE(Control<QLabel>(main_, "lblCount")->text(), QStringLiteral("3 Image Files"));
    QCOMPARE(RowOf(QStringLiteral("c.png")), 2);
    QCOMPARE(Control<FileListView>(main_, "lvFiles")
                 ->Model()
                 ->NameText(Control<FileListView>(main_, "lvFiles")->SelectedRow()),
             QStringLiteral("b.png"));

    save(QStringLiteral("b.png"), 64, 48, Qt::yellow); // rewritten
    QTRY_COMPARE(Panel(2), QStringLiteral("64x48"));
    QTRY_COMPARE(Pixel(Control<PicturePane>(main_, "imgPane")->Box().Surface()) & 0xFFFFFF,
                 0xFFFF00u);
    QCOMPARE(Panel(1), QStringLiteral("b.png"));

    QVERIFY(QFile::rename(photos.filePath(QStringLiteral("b.png")),
                          photos.filePath(QStringLiteral("renamed.png"))));
    QTRY_COMPARE(Panel(1), QStringLiteral("renamed.png"));
    QCOMPARE(Panel(2), QStringLiteral("64x48"));
    QCOMPARE(main_->Preview().Name(), std::string("renamed.png"));
    QCOMPARE(Control<FileListView>(main_, "lvFiles")
                 ->Model()
                 ->NameText(Control<FileListView>(main_, "lvFiles")->SelectedRow()),
             QStringLiteral("renamed.png"));

    QVERIFY(QFile::remove(photos.filePath(QStringLiteral("renamed.png"))));
    QTRY_COMPARE(Panel(3), QString::fromLatin1(cPreviewCore::kRemovedText));
    QCOMPARE(Panel(1), QStringLiteral("renamed.png"));
    QCOMPARE(Panel(2), QString());
    QCOMPARE(Pixel(Control<PicturePane>(main_, "imgPane")->Box().Surface()), 0xE0E0E0u);
    QCOMPARE(Control<QLabel>(main_, "lblCount")->text(), QStringLiteral("2 Image Files"));
    main_->RequestFullView(); // nothing to show
    QVERIFY(!main_->OpenFullView() || !main_->OpenFullView()->isVisible());
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

// The size stored on exit is the one the window comes back to: a maximised
// window stores its normal size, with the state that it was maximised.
void MainWindowTest::aMaximisedWindowKeepsItsNormalSize() {
    QTemporaryDir settings;
    mSetup::SetSettingsFolder(settings.path().toStdString());
    main_->showNormal();
    main_->resize(640, 480);
    QTRY_COMPARE(main_->size(), QSize(640, 480));
    main_->showMaximized();
    QTRY_VERIFY(main_->isMaximized() && main_->size() != QSize(640, 480));
    main_->AskExit = [] { return true; };
    QVERIFY(main_->close());
    std::ifstream in(settings.filePath(QStringLiteral("ipsetup.dat")).toStdString(),
                     std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    const SetupRecord r =
        mSetup::Decode(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    QCOMPARE(int(r.MainWidth), 640 * 15); // in twips
    QCOMPARE(int(r.MainHeight), 480 * 15);
    QCOMPARE(r.MainWindowState, mSetup::kWindowMaximised);
}

void MainWindowTest::leniencySettingsShareOver100() {
    // The row "settings-share-over-100" of gif/README.md: read as 100.
    SetupRecord setup = mSetup::Defaults();
    setup.HSplitPercent = 150;
    setup.VSplitPercent = 101;
    BrowsingState state;
    fMain window(state, setup, TestDecoderPool());
    QCOMPARE(int(Control<Splitter>(&window, "hSplit")->SplitPercent()), 100);
    QCOMPARE(int(Control<Splitter>(&window, "vSplit")->SplitPercent()), 100);
}

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
