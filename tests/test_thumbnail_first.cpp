// A picture before its decode: when the desktop's thumbnail cache holds a
// valid thumbnail of the chosen file, the pane shows it at once. One this
// program made that covers the pane's fit is the picture; another program's
// stands in until the decode comes, the status naming the file and the
// original's size the thumbnail gives. The window's decoder here is the
// tests' helper, whose "x.slow.jpg" decodes take minutes: whatever the pane
// shows within the test came from the thumbnail, and a decode that never
// came is shown as on its way, never as a picture of another file.
#include "HelperTries.h"
#include "MainWindowFixture.h"
#include "imaging/ThumbnailCache.h"
#include "imaging/ThumbnailPng.h"
#include "tests/WindowControls.h"

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

constexpr int kPhotoWidth = 2000, kPhotoHeight = 1500;
constexpr QRgb kThumbnailColour = 0xFFFF00FF; // magenta: no decode gives it

} // namespace

class ThumbnailFirstTest : public MainWindowFixture {
    Q_OBJECT
  private slots:
    void initTestCase() {
        // The cache is read from XDG_CACHE_HOME when a window is made.
        ::setenv("XDG_CACHE_HOME", QFile::encodeName(cacheHome_.path()).constData(), 1);
    }
    void cleanupTestCase() { ::unsetenv("XDG_CACHE_HOME"); }
    void init() {
        slowPool_ = std::make_unique<DecoderPool>(VANTREL_TEST_HELPER);
        OpenWindow(*slowPool_);
    }
    void cleanup() {
        CloseWindow();
        slowPool_.reset();
    }

    void ourThumbnailIsThePicture() {
        const std::string photo = Photo(QStringLiteral("ours.slow.jpg"));
        Plant(photo, "Vantrel 1.0.0");
        Open(dir_.path());
        main_->ChooseRow(RowOf(QStringLiteral("ours.slow.jpg")));
        QTRY_VERIFY(main_->Preview().state() == cPreviewCore::State::Shown);
        QCOMPARE(Panel(1), QStringLiteral("ours.slow.jpg"));
        QCOMPARE(Panel(2), QStringLiteral("2000x1500"));
        QCOMPARE(Pixel(Control<PicturePane>(main_, "imgPane")->Box().Surface()) & 0xFFFFFF,
                 kThumbnailColour & 0xFFFFFF);
        // Nothing waits for the decode any more: its busy pointer is gone.
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    void anotherProgramsThumbnailStandsIn() {
        const std::string photo = Photo(QStringLiteral("theirs.slow.jpg"));
        Plant(photo, "Another Viewer 3.1");
        Open(dir_.path());
        main_->ChooseRow(RowOf(QStringLiteral("theirs.slow.jpg")));
        QTRY_VERIFY(main_->Preview().StandInShown());
        // Still on its way: the status names the file and the size the
        // thumbnail knows; the pane shows the thumbnail.
        QCOMPARE(main_->Preview().state(), cPreviewCore::State::Decoding);
        QCOMPARE(Panel(1), QStringLiteral("theirs.slow.jpg"));
        QCOMPARE(Panel(2), QStringLiteral("2000x1500"));
        QCOMPARE(Pixel(Control<PicturePane>(main_, "imgPane")->Box().Surface()) & 0xFFFFFF,
                 kThumbnailColour & 0xFFFFFF);
        QVERIFY(QGuiApplication::overrideCursor() != nullptr); // the picture is on its way
    }

    void escBeforeTheFullViewOpensCancelsIt() {
        // Enter while the picture decodes asks for a full view that waits
        // for it; Esc then means "not now", not the exit question. The next
        // Esc in the list asks as ever.
        Photo(QStringLiteral("wait.slow.jpg"));
        Open(dir_.path());
        main_->ChooseRow(RowOf(QStringLiteral("wait.slow.jpg")));
        int asked = 0;
        main_->AskExit = [&] { return ++asked, false; };
        auto* list = Control<FileListView>(main_, "lvFiles")->ReportView();
        QTest::keyClick(list, Qt::Key_Return);
        QVERIFY(main_->Preview().FullViewWaiting());
        QTest::keyClick(list, Qt::Key_Escape);
        QVERIFY(!main_->Preview().FullViewWaiting());
        QCOMPARE(asked, 0);
        QTest::keyClick(list, Qt::Key_Escape);
        QCOMPARE(asked, 1);
        QVERIFY(!main_->OpenFullView() || !main_->OpenFullView()->isVisible());
    }

  private:
    // A JPEG of the photo's size, named so that the tests' helper pretends
    // a decode of minutes.
    std::string Photo(const QString& name) {
        QImage photo(kPhotoWidth, kPhotoHeight, QImage::Format_RGB32);
        photo.fill(Qt::darkGreen);
        const QString path = dir_.filePath(name);
        [&] { QVERIFY(photo.save(path, "JPEG")); }();
        return QFile::encodeName(path).toStdString();
    }
    // An xx-large thumbnail of `path` made by `software`, with the original's size.
    void Plant(const std::string& path, const std::string& software) {
        ThumbnailSource source;
        QVERIFY(ThumbnailCache::Describe(path, source));
        const std::vector<ThumbnailPng::Key> keys{
            {"Thumb::URI", source.uri},
            {"Thumb::MTime", std::to_string(source.mtime)},
            {"Thumb::Image::Width", std::to_string(kPhotoWidth)},
            {"Thumb::Image::Height", std::to_string(kPhotoHeight)},
            {"Software", software}};
        QImage thumbnail(1024, 768, QImage::Format_ARGB32);
        thumbnail.fill(kThumbnailColour);
        const QByteArray png = ThumbnailPng::Encode(thumbnail, keys, 50);
        QVERIFY(!png.isEmpty());
        const std::filesystem::path file =
            ThumbnailCache().ThumbnailPath(source.uri, ThumbnailSize::XXLarge);
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary | std::ios::trunc)
            .write(png.constData(), std::streamsize(png.size()));
    }

    QTemporaryDir cacheHome_;
    std::unique_ptr<DecoderPool> slowPool_;
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ThumbnailFirstTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_thumbnail_first.moc"
