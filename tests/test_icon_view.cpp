// The large-icon view of the real main window, off-screen, on temporary
// folders and a temporary thumbnail cache: pictures in place of type icons,
// following the order shown and the files on disk, and the names under them.
#include "app/fMain.h"
#include "app/mSetup.h"
#include "browse/IconNameLayout.h"
#include "tests/TestDecoderPool.h"
#include "tests/WindowControls.h"

#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <utime.h>

class IconViewTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void init();
    void cleanup();
    void namesTakeTwoLinesAndKeepTheirEnds();
    void picturesReplaceTypeIcons();
    void picturesFollowTheOrderShown();
    void aPictureChangedOnDiskIsMadeAgain();
    void theReportViewLetsThemGo();

  private:
    void Save(const QString& name, Qt::GlobalColor colour) {
        QImage p(300, 200, QImage::Format_RGB32);
        p.fill(colour);
        QVERIFY(p.save(photos_.filePath(name), "PNG"));
    }
    int RowOf(const QString& name) {
        for (int r = 0; r < Control<FileListView>(main_, "lvFiles")->Model()->rowCount(); ++r)
            if (Control<FileListView>(main_, "lvFiles")->Model()->NameText(r) == name) return r;
        return -1;
    }
    // The colour in the middle of the picture square of `name`'s cell, as drawn.
    QColor Drawn(const QString& name) {
        QListView* icons = Control<FileListView>(main_, "lvFiles")->IconView();
        const QModelIndex index =
            Control<FileListView>(main_, "lvFiles")->Model()->index(RowOf(name), 0);
        icons->scrollTo(index);
        const QRect cell = icons->visualRect(index);
        const QImage shot = icons->viewport()->grab().toImage();
        const int side = Control<FileListView>(main_, "lvFiles")->LargeIconSide();
        return shot.pixelColor(cell.center().x(), cell.top() + side / 2);
    }
    void ShowIcons() {
        main_->ViewSwitch(); // the View command
        QVERIFY(Control<FileListView>(main_, "lvFiles")->IsLargeIconView());
        QVERIFY(main_->IconThumbnails()->Scheduler());
    }

    QTemporaryDir cache_, photos_;
    BrowsingState state_;
    SetupRecord setup_;
    fMain* main_ = nullptr;
};

void IconViewTest::initTestCase() {
    QVERIFY(cache_.isValid() && photos_.isValid());
    qputenv("XDG_CACHE_HOME", cache_.path().toLocal8Bit());
    Save(QStringLiteral("a-red.png"), Qt::red);
    Save(QStringLiteral("b-green.png"), Qt::green);
    Save(QStringLiteral("c-blue.png"), Qt::blue);
    QFile broken(photos_.filePath(QStringLiteral("d-broken.jpg")));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("not a picture");
}

void IconViewTest::init() {
    setup_ = mSetup::Defaults();
    main_ = new fMain(state_, setup_, TestDecoderPool());
    main_->resize(1000, 700);
    main_->show();
    QVERIFY(QTest::qWaitForWindowExposed(main_));
    state_.sCurrentPath = photos_.path().toStdString();
    main_->nPathchange();
    QTRY_VERIFY(!main_->Listing());
}

void IconViewTest::cleanup() {
    delete main_;
}

void IconViewTest::namesTakeTwoLinesAndKeepTheirEnds() {
    const QFont font;
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(QStringLiteral("IMG_2024_0512")) + 2;
    struct Case {
        QString name;
        int lines;
    } cases[] = {
        {QStringLiteral("a.jpg"), 1},
        {QStringLiteral(""), 1},
        {QStringLiteral("holiday photo.jpg"), 2},
        {QStringLiteral("IMG_20240512_143015_by_the_sea_0042.jpg"), 2},
        {QStringLiteral("a very long name with many words in it 0042.jpg"), 2},
        {QStringLiteral("日本語の長いファイル名の写真ですよね_0042.jpg"), 2},
    };
    for (const Case& c : cases) {
        const QStringList lines = IconNameLines(c.name, font, width);
        QCOMPARE(lines.size(), c.lines);
        for (const QString& line : lines)
            QVERIFY2(metrics.horizontalAdvance(line) <= width, qPrintable(line));
        if (c.lines == 2) {
            // The start on the first line, the end (number and extension) on the second.
            QVERIFY(c.name.startsWith(lines[0]));
            QVERIFY2(lines[1].endsWith(QStringLiteral(".jpg")), qPrintable(lines[1]));
        }
    }
    // A name longer than two lines loses its middle, shown by an ellipsis.
    const QStringList cut =
        IconNameLines(QStringLiteral("IMG_20240512_143015_by_the_sea_0042.jpg"), font, width);
    QVERIFY(cut[1].contains(QChar(0x2026)));
}

void IconViewTest::picturesReplaceTypeIcons() {
    const QStringList before = QDir(photos_.path()).entryList(QDir::AllEntries | QDir::Hidden);
    ShowIcons();
    QTRY_COMPARE(Drawn(QStringLiteral("a-red.png")), QColor(Qt::red));
    QTRY_COMPARE(Drawn(QStringLiteral("b-green.png")), QColor(Qt::green));
    QTRY_COMPARE(Drawn(QStringLiteral("c-blue.png")), QColor(Qt::blue));
    // The broken file keeps its type icon: not the picture of a neighbour.
    QTRY_VERIFY(main_->IconThumbnails()->Scheduler()->HasNoThumbnail(RowOf("d-broken.jpg")));
    for (const QColor c : {QColor(Qt::red), QColor(Qt::green), QColor(Qt::blue)})
        QVERIFY(Drawn(QStringLiteral("d-broken.jpg")) != c);
    // Thumbnails went to the shared cache, the failure to our fail folder,
    // and nothing was written beside the pictures.
    QTRY_COMPARE(QDir(cache_.filePath("thumbnails/normal")).entryList({"*.png"}).size(), 3);
    QCOMPARE(QDir(cache_.filePath("thumbnails/fail/vantrel-1.0")).entryList({"*.png"}).size(), 1);
    QCOMPARE(QDir(photos_.path()).entryList(QDir::AllEntries | QDir::Hidden), before);
}

void IconViewTest::picturesFollowTheOrderShown() {
    ShowIcons();
    QTRY_COMPARE(Drawn(QStringLiteral("a-red.png")), QColor(Qt::red));
    // Newest name first: every cell still shows its own file's picture.
    Control<FileListView>(main_, "lvFiles")->SortBy(FileListModel::ColName, Qt::DescendingOrder);
    QCOMPARE(RowOf(QStringLiteral("d-broken.jpg")), 0);
    for (int i = 0; i < 3; ++i) {
        QTRY_COMPARE(Drawn(QStringLiteral("a-red.png")), QColor(Qt::red));
        QTRY_COMPARE(Drawn(QStringLiteral("c-blue.png")), QColor(Qt::blue));
        QVERIFY(Drawn(QStringLiteral("d-broken.jpg")) != QColor(Qt::blue));
        Control<FileListView>(main_, "lvFiles")
            ->SortBy(i % 2 ? FileListModel::ColName : FileListModel::ColSize,
                     i % 2 ? Qt::AscendingOrder : Qt::DescendingOrder);
    }
}

void IconViewTest::aPictureChangedOnDiskIsMadeAgain() {
    ShowIcons();
    QTRY_COMPARE(Drawn(QStringLiteral("b-green.png")), QColor(Qt::green));
    Save(QStringLiteral("b-green.png"), Qt::yellow);
    // A second later than the thumbnail's, as an edit a moment later would be.
    const QByteArray path = photos_.filePath(QStringLiteral("b-green.png")).toLocal8Bit();
    const utimbuf later{time(nullptr) + 2, time(nullptr) + 2};
    QCOMPARE(utime(path.constData(), &later), 0);
    QTRY_COMPARE_WITH_TIMEOUT(Drawn(QStringLiteral("b-green.png")), QColor(Qt::yellow), 10000);
    // Back to green for the other tests.
    Save(QStringLiteral("b-green.png"), Qt::green);
    const utimbuf latest{time(nullptr) + 4, time(nullptr) + 4};
    QCOMPARE(utime(path.constData(), &latest), 0);
    QTRY_COMPARE_WITH_TIMEOUT(Drawn(QStringLiteral("b-green.png")), QColor(Qt::green), 10000);
}

void IconViewTest::theReportViewLetsThemGo() {
    ShowIcons();
    QTRY_COMPARE(Drawn(QStringLiteral("c-blue.png")), QColor(Qt::blue));
    QVERIFY(main_->IconThumbnails()->Scheduler()->HeldBytes() > 0);
    main_->ViewSwitch();
    QVERIFY(!Control<FileListView>(main_, "lvFiles")->IsLargeIconView());
    QCOMPARE(main_->IconThumbnails()->Scheduler()->HeldBytes(), std::size_t(0));
    // Back again: from the cache.
    main_->ViewSwitch();
    QTRY_COMPARE(Drawn(QStringLiteral("c-blue.png")), QColor(Qt::blue));
}

QTEST_MAIN(IconViewTest)
#include "test_icon_view.moc"
