// The full view of the real main window, off-screen: opened on the chosen
// file, a GIF whose file went, and stepping through the list with the
// neighbours read ahead whole.
#include "MainWindowFixture.h"
#include "tests/WindowControls.h"

class FullViewTest : public MainWindowFixture {
    Q_OBJECT
  private slots:
    void initTestCase() { MakeFolder(); }
    void init() { OpenWindow(); }
    void cleanup() { CloseWindow(); }
    void fullViewShowsTheChosenFile();
    void fullViewOfAGifWhoseFileWent();
    void fullViewStepsThroughTheList();
};

void FullViewTest::fullViewShowsTheChosenFile() {
    // A shown; B clicked; Enter before B's picture is there.
    QImage big(1600, 1200, QImage::Format_RGB32);
    big.fill(Qt::red);
    Make(QStringLiteral("b-big.png"), big, "PNG");
    Open(dir_.path());
    Choose(QStringLiteral("a-still.png"));
    const int row = RowOf(QStringLiteral("b-big.png"));
    Control<FileListView>(main_, "lvFiles")->SelectRow(row);
    main_->ChooseRow(row);
    QVERIFY(main_->StillPending());
    QTest::keyClick(Control<FileListView>(main_, "lvFiles")->ReportView(), Qt::Key_Return);
    QVERIFY(!main_->OpenFullView() || !main_->OpenFullView()->isVisible()); // waits for B
    QVERIFY(QGuiApplication::overrideCursor() != nullptr);
    QTRY_VERIFY(main_->OpenFullView() && main_->OpenFullView()->isVisible());
    QPointer<fFullview> f = main_->OpenFullView();
    QTRY_VERIFY(f->imView->Shown());
    QCOMPARE(f->imView->Shown()->Width(), 1600);
    QCOMPARE(Panel(2), QStringLiteral("1600x1200"));
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    delete f;
    // Enter while B decodes, then C chosen: the full view asked for B never
    // opens (C shown and every decode over, nothing of B can come any more).
    Choose(QStringLiteral("a-still.png"));
    main_->ChooseRow(row);
    main_->RequestFullView();
    Choose(QStringLiteral("z-small.png"));
    QVERIFY(!main_->OpenFullView() || !main_->OpenFullView()->isVisible());
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    QFile::remove(dir_.filePath(QStringLiteral("b-big.png")));
}

void FullViewTest::fullViewOfAGifWhoseFileWent() {
    WriteGif(QStringLiteral("going.gif"), 4, 30, 20);
    Open(dir_.path());
    Choose(QStringLiteral("going.gif"));
    QVERIFY(QFile::remove(dir_.filePath(QStringLiteral("going.gif"))));
    main_->RequestFullView();
    QPointer<fFullview> f = main_->OpenFullView();
    QVERIFY(f && f->isVisible());
    QVERIFY(f->ucGIFView->isVisible());
    QVERIFY(f->ucGIFView->GIFLoaded()); // the preview's picture, not the file read again
    QCOMPARE(f->ucGIFView->GIFFrames(), int16_t(4));
    // The preview under the full view stops while the full view plays the
    // same document, and plays on once it is gone.
    QVERIFY(f->ucGIFView->GIFIsPlaying());
    QVERIFY(!Control<ucGIFViewer>(main_, "ucGIF1")->GIFIsPlaying());
    delete f;
    QVERIFY(Control<ucGIFViewer>(main_, "ucGIF1")->GIFIsPlaying());
    Control<ucGIFViewer>(main_, "ucGIF1")
        ->Destroy(); // the full view's copy is already gone; nothing shared dangles
}

void FullViewTest::fullViewStepsThroughTheList() {
    QTemporaryDir photos;
    for (int i = 0; i < 3; ++i) {
        QImage p(1200 + 100 * i, 900, QImage::Format_RGB32); // larger than the pane
        p.fill(QColor::fromHsv(100 * i, 255, 255));
        QVERIFY(p.save(photos.filePath(QStringLiteral("s%1.png").arg(i)), "PNG"));
    }
    Open(photos.path());
    Choose(QStringLiteral("s0.png"));
    QTest::keyClick(Control<FileListView>(main_, "lvFiles")->ReportView(), Qt::Key_Return);
    QTRY_VERIFY(main_->OpenFullView() && main_->OpenFullView()->isVisible());
    QPointer<fFullview> f = main_->OpenFullView();
    QTRY_COMPARE(f->imView->Shown() ? f->imView->Shown()->Width() : 0, 1200);
    struct Step {
        Qt::Key key;
        int width; // of the picture shown after it
        int row;   // selected in the list
    };
    const Step steps[] = {
        {Qt::Key_PageUp, 1200, 0},   // the first: stays
        {Qt::Key_PageDown, 1300, 1}, // the next
        {Qt::Key_Space, 1400, 2},    // the next again
        {Qt::Key_PageDown, 1400, 2}, // the last: stays
        {Qt::Key_Backspace, 1300, 1},
    };
    for (const Step& s : steps) {
        QTest::keyClick(f->imView, s.key);
        QTRY_COMPARE(f->imView->Shown() ? f->imView->Shown()->Width() : 0, s.width);
        QCOMPARE(Control<FileListView>(main_, "lvFiles")->SelectedRow(), s.row);
        QCOMPARE(Panel(1), QStringLiteral("s%1.png").arg(s.row));
        QVERIFY(f->isVisible());
    }
    // Once the neighbours are read whole, a step shows the next picture
    // whole within the key press itself.
    WaitForQuiet();
    QTest::keyClick(f->imView, Qt::Key_PageDown);
    QCOMPARE(f->imView->Shown() ? f->imView->Shown()->Width() : 0, 1400);
    WaitForQuiet();
    QTest::keyClick(f->imView, Qt::Key_PageUp);
    QCOMPARE(f->imView->Shown() ? f->imView->Shown()->Width() : 0, 1300);
    QTest::keyClick(f->imView, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!f);
    QCOMPARE(Control<FileListView>(main_, "lvFiles")->SelectedRow(),
             1); // the list on the picture shown last
}

QTEST_MAIN(FullViewTest)
#include "test_full_view.moc"
