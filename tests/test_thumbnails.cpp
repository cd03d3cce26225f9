// Thumbnails in the desktop's shared cache: names from the file's URI (as
// GLib writes it, checked against GLib itself where it is installed), the
// keys written and checked, fail entries and their retry, whole files only
// with private modes, nothing written beside the user's pictures, nothing
// made of the cache's own files, and the scheduler's order, cancellation
// and memory cap. Real files, the real helper (vantrel-decoder beside the
// test), a cache in a temporary folder through XDG_CACHE_HOME.
#include "TempDir.h"
#include "ThumbnailTestUtil.h"
#include "imaging/ThumbnailMaker.h"
#include "imaging/ThumbnailScheduler.h"

#include <FreeImage.h>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <cmath>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::string Md5(const std::string& text) {
    return QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Md5)
        .toHex()
        .toStdString();
}

// A w x h picture of one colour (0xRRGGBB) saved as `format`.
std::string Picture(const fs::path& file, int w, int h, uint32_t colour,
                    FREE_IMAGE_FORMAT format = FIF_PNG) {
    FIBITMAP* b = FreeImage_Allocate(w, h, 24);
    RGBQUAD c{BYTE(colour), BYTE(colour >> 8), BYTE(colour >> 16), 0};
    FreeImage_FillBackground(b, &c);
    EXPECT_TRUE(FreeImage_Save(format, b, file.c_str(), 0)) << file;
    FreeImage_Unload(b);
    return file.string();
}

// A two-frame GIF: red, then blue.
std::string AnimatedGif(const fs::path& file) {
    FIMULTIBITMAP* gif = FreeImage_OpenMultiBitmap(FIF_GIF, file.c_str(), TRUE, FALSE);
    for (uint32_t colour : {0xFF0000u, 0x0000FFu}) {
        FIBITMAP* b = FreeImage_Allocate(40, 30, 24);
        RGBQUAD c{BYTE(colour), BYTE(colour >> 8), BYTE(colour >> 16), 0};
        FreeImage_FillBackground(b, &c);
        FIBITMAP* q = FreeImage_ColorQuantize(b, FIQ_WUQUANT);
        FreeImage_AppendPage(gif, q);
        FreeImage_Unload(q);
        FreeImage_Unload(b);
    }
    FreeImage_CloseMultiBitmap(gif);
    return file.string();
}

void SetMTime(const std::string& file, int64_t seconds) {
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

mode_t Mode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Every file and folder under `root`, with its modification time.
std::map<std::string, int64_t> Snapshot(const fs::path& root) {
    std::map<std::string, int64_t> seen;
    const auto note = [&seen](const fs::path& p) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) == 0)
            seen[p.string()] = st.st_mtim.tv_sec * 1000000000 + st.st_mtim.tv_nsec;
    };
    note(root);
    for (const auto& e : fs::recursive_directory_iterator(root))
        note(e.path());
    return seen;
}

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "test_thumbnails";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// Runs the event loop until `done`, for at most `ms`.
bool Spin(const std::function<bool()>& done, int ms = 30000) {
    App();
    QElapsedTimer clock;
    clock.start();
    QTimer tick; // wakes the loop to look at the clock
    tick.start(10);
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace

TEST(ThumbnailNames, UrisAndNamesOfAwkwardPaths) {
    // The URIs and their MD5s were worked out apart from the program
    // (the MD5s by another library); GLib agrees where it is installed.
    const struct {
        const char* path;
        const char* uri;
        const char* md5;
    } rows[] = {
        {"/home/u/Pictures/a.jpg", "file:///home/u/Pictures/a.jpg",
         "22eb138a0d93c7cb2ff5560780d50fc4"},
        {"/tmp/x/My Photo (2).jpg", "file:///tmp/x/My%20Photo%20(2).jpg",
         "22b912e89f79b5b4aa66488f9082e47c"},
        {"/tmp/x/caf\xe9.jpg", "file:///tmp/x/caf%E9.jpg", // Latin-1: not UTF-8
         "a485502f3db7dae8547576c3b5aab8ba"},
        {"/tmp/x/caf\xc3\xa9.jpg", "file:///tmp/x/caf%C3%A9.jpg",
         "00c80336bfba524d150ff6fbaff77c6a"},
        {"/tmp/x/a#b?c%d;e[f]{}\"<>\\^`|.png",
         "file:///tmp/x/a%23b%3Fc%25d%3Be%5Bf%5D%7B%7D%22%3C%3E%5C%5E%60%7C.png",
         "29832f31e1c2272e078ffd41212b6210"},
        {"/tmp/x/~u-._!$&'()*+,:=@.png", "file:///tmp/x/~u-._!$&'()*+,:=@.png",
         "1ce3b41e3b2744ff81b6f4da914f09b5"},
        {"/tmp/x/\x01\x7f\x80\xff.png", "file:///tmp/x/%01%7F%80%FF.png",
         "d260e07f4552558bc93796dff20bed13"},
    };
    using ToUri = char* (*)(const char*, const char*, void**);
    void* glib = ::dlopen("libglib-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
    const auto glibUri =
        glib ? reinterpret_cast<ToUri>(::dlsym(glib, "g_filename_to_uri")) : nullptr;
    const auto glibFree =
        glib ? reinterpret_cast<void (*)(void*)>(::dlsym(glib, "g_free")) : nullptr;
    const ThumbnailCache cache("/c/thumbnails");
    for (const auto& row : rows) {
        EXPECT_EQ(ThumbnailCache::Uri(row.path), row.uri);
        EXPECT_EQ(ThumbnailCache::Md5Hex(row.uri), row.md5);
        EXPECT_EQ(cache.ThumbnailPath(row.uri, ThumbnailSize::Large),
                  std::string("/c/thumbnails/large/") + row.md5 + ".png");
        EXPECT_EQ(cache.FailPath(row.uri),
                  std::string("/c/thumbnails/fail/vantrel-1.0/") + row.md5 + ".png");
        if (glibUri && glibFree) {
            char* theirs = glibUri(row.path, nullptr, nullptr);
            ASSERT_NE(theirs, nullptr) << row.path;
            EXPECT_EQ(std::string(theirs), row.uri) << "GLib names " << row.path << " otherwise";
            glibFree(theirs);
        }
    }
    if (glib) ::dlclose(glib);
}

TEST(ThumbnailNames, SizesAndRoots) {
    const struct {
        int icon;
        double ratio;
        ThumbnailSize size;
    } icons[] = {
        {32, 1, ThumbnailSize::Normal},   {128, 1, ThumbnailSize::Normal},
        {129, 1, ThumbnailSize::Large},   {96, 2, ThumbnailSize::Large},
        {128, 1.5, ThumbnailSize::Large}, {256, 1.5, ThumbnailSize::XLarge},
        {512, 2, ThumbnailSize::XXLarge}, {4000, 3, ThumbnailSize::XXLarge},
        {0, 1, ThumbnailSize::Normal},    {-5, 2, ThumbnailSize::Normal},
        {96, NAN, ThumbnailSize::Normal}, {96, 0, ThumbnailSize::Normal},
    };
    for (const auto& row : icons)
        EXPECT_EQ(ThumbnailCache::SizeForIcon(row.icon, row.ratio), row.size)
            << row.icon << " x " << row.ratio;
    int side = 128;
    for (const char* name : {"normal", "large", "x-large", "xx-large"}) {
        const auto size = ThumbnailCache::SizeNamed(name);
        ASSERT_TRUE(size) << name;
        EXPECT_STREQ(ThumbnailCache::FolderName(*size), name);
        EXPECT_EQ(ThumbnailCache::Side(*size), side);
        side *= 2;
    }
    EXPECT_FALSE(ThumbnailCache::SizeNamed("huge"));
    EXPECT_FALSE(ThumbnailCache::SizeNamed(""));

    const char* home = std::getenv("HOME");
    const std::string saved = home ? home : "";
    ::setenv("HOME", "/home/someone", 1);
    const struct {
        const char* xdg; // null: unset
        const char* root;
    } roots[] = {
        {"/var/cache/me", "/var/cache/me/thumbnails"},
        {"relative/cache", "/home/someone/.cache/thumbnails"}, // not absolute: ignored
        {"", "/home/someone/.cache/thumbnails"},
        {nullptr, "/home/someone/.cache/thumbnails"},
    };
    for (const auto& row : roots) {
        row.xdg ? ::setenv("XDG_CACHE_HOME", row.xdg, 1) : ::unsetenv("XDG_CACHE_HOME");
        EXPECT_EQ(ThumbnailCache::DefaultRoot(), row.root) << (row.xdg ? row.xdg : "unset");
    }
    ::unsetenv("XDG_CACHE_HOME");
    home ? ::setenv("HOME", saved.c_str(), 1) : ::unsetenv("HOME");
}

// A file whose name has a space and a byte that is not UTF-8: its thumbnail
// lands under the MD5 of the URI worked out by hand, with the keys of the file.
TEST(Thumbnails, KeysOfAFileWithAnAwkwardName) {
    CacheHome home;
    TempDir pictures;
    const std::string file = Picture(pictures.path() / "My Photo \xe9.png", 300, 200, 0x3366CC);
    SetMTime(file, 1234567890);
    ThumbnailMaker maker;
    const ThumbnailResult made = maker.Make(file, ThumbnailSize::Normal);
    ASSERT_EQ(made.outcome, ThumbnailOutcome::Made);
    const std::string uri = "file://" + pictures.str() + "/My%20Photo%20%E9.png";
    const std::string expected = home.Root() + "/normal/" + Md5(uri) + ".png";
    EXPECT_EQ(made.file, expected);
    // Read back by Qt (the program reads the keys through FreeImage).
    QImage stored(QString::fromStdString(expected), "png");
    ASSERT_FALSE(stored.isNull());
    EXPECT_EQ(stored.size(), QSize(128, 85)); // the longest side is the size's
    EXPECT_EQ(stored.text("Thumb::URI").toStdString(), uri);
    EXPECT_EQ(stored.text("Thumb::MTime"), "1234567890");
    EXPECT_EQ(stored.text("Thumb::Size").toULongLong(), fs::file_size(file));
    EXPECT_EQ(stored.text("Thumb::Image::Width"), "300");
    EXPECT_EQ(stored.pixel(64, 40) & 0xFFFFFF, 0x3366CCu);
    EXPECT_EQ(maker.Make(file, ThumbnailSize::Normal).outcome, ThumbnailOutcome::Found);
}

TEST(Thumbnails, PicturesAtEachSize) {
    CacheHome home;
    TempDir pictures;
    const struct {
        const char* name;
        int w, h;
        FREE_IMAGE_FORMAT format;
        ThumbnailSize size;
        int expectW, expectH;
    } rows[] = {
        {"wide.jpg", 3000, 2000, FIF_JPEG, ThumbnailSize::Large, 256, 171},
        {"tall.png", 200, 1000, FIF_PNG, ThumbnailSize::Normal, 26, 128},
        {"small.png", 100, 50, FIF_PNG, ThumbnailSize::XLarge, 100, 50}, // never enlarged
        {"big.bmp", 2048, 1024, FIF_BMP, ThumbnailSize::XXLarge, 1024, 512},
    };
    ThumbnailMaker maker;
    for (const auto& row : rows) {
        const std::string file =
            Picture(pictures.path() / row.name, row.w, row.h, 0x808000, row.format);
        const ThumbnailResult r = maker.Make(file, row.size);
        ASSERT_EQ(r.outcome, ThumbnailOutcome::Made) << row.name;
        EXPECT_EQ(r.image.size(), QSize(row.expectW, row.expectH)) << row.name;
        EXPECT_EQ(QImage(QString::fromStdString(r.file)).size(), r.image.size()) << row.name;
        EXPECT_NE(r.file.find(std::string("/") + ThumbnailCache::FolderName(row.size) + "/"),
                  std::string::npos);
    }
    // An animated GIF gives its first frame.
    const ThumbnailResult gif =
        maker.Make(AnimatedGif(pictures.path() / "anim.gif"), ThumbnailSize::Normal);
    ASSERT_EQ(gif.outcome, ThumbnailOutcome::Made);
    EXPECT_EQ(gif.image.size(), QSize(40, 30));
    EXPECT_EQ(gif.image.pixel(20, 15) & 0xFFFFFF, 0xFF0000u);
}

// A thumbnail counts only when its keys are the file's as it is now: one
// written by another program with the right keys is used as it is.
TEST(Thumbnails, StaleKeysAreMadeAgain) {
    CacheHome home;
    TempDir pictures;
    const std::string file = Picture(pictures.path() / "p.png", 64, 64, 0x00FF00);
    SetMTime(file, 1000000000);
    ThumbnailSource source;
    ASSERT_TRUE(ThumbnailCache::Describe(file, source));
    const std::string bytes = std::to_string(source.size);
    const struct {
        const char* what;
        std::string uri;
        std::string mtime;
        std::string size; // empty: no Size key
        int side;         // of the stored picture
        double kept;      // the part of the PNG left
        bool found;
    } rows[] = {
        {"matching keys", source.uri, "1000000000", bytes, 64, 1, true},
        {"no size key", source.uri, "1000000000", "", 64, 1, true},
        {"larger than its size", source.uri, "1000000000", bytes, 300, 1, true},
        {"another time", source.uri, "1000000001", bytes, 64, 1, false},
        {"a time that is no integer", source.uri, "1000000000.5", "", 64, 1, false},
        {"another size", source.uri, "1000000000", "1", 64, 1, false},
        {"another file's URI", source.uri + "x", "1000000000", "", 64, 1, false},
        {"cut in its pixels", source.uri, "1000000000", bytes, 64, 0.8, false},
        {"cut in its header", source.uri, "1000000000", bytes, 64, 0.05, false},
    };
    const ThumbnailCache cache;
    const std::string path = cache.ThumbnailPath(source.uri, ThumbnailSize::Normal);
    fs::create_directories(fs::path(path).parent_path());
    ThumbnailMaker maker;
    for (const auto& row : rows) {
        // Another program's thumbnail: blue, written by Qt (tEXt and zTXt keys).
        QImage blue(row.side, row.side, QImage::Format_RGB32);
        blue.fill(Qt::blue);
        blue.setText("Thumb::URI", QString::fromStdString(row.uri));
        blue.setText("Thumb::MTime", QString::fromStdString(row.mtime));
        if (!row.size.empty()) blue.setText("Thumb::Size", QString::fromStdString(row.size));
        ASSERT_TRUE(blue.save(QString::fromStdString(path), "png"));
        fs::resize_file(path, std::uintmax_t(double(fs::file_size(path)) * row.kept));
        const ThumbnailResult r = maker.Make(file, ThumbnailSize::Normal);
        EXPECT_EQ(r.outcome, row.found ? ThumbnailOutcome::Found : ThumbnailOutcome::Made)
            << row.what;
        EXPECT_EQ(r.image.pixel(1, 1) & 0xFFFFFF, row.found ? 0x0000FFu : 0x00FF00u) << row.what;
        EXPECT_EQ(r.image.width(), row.found ? std::min(row.side, 128) : 64) << row.what;
        EXPECT_EQ(cache.Find(source, ThumbnailSize::Normal), true) << row.what;
    }
    // The file changed on disk: made again, with its new time.
    SetMTime(file, 1100000000);
    const ThumbnailResult again = maker.Make(file, ThumbnailSize::Normal);
    EXPECT_EQ(again.outcome, ThumbnailOutcome::Made);
    EXPECT_EQ(QImage(QString::fromStdString(again.file)).text("Thumb::MTime"), "1100000000");
}

TEST(Thumbnails, FailEntriesAndTheirRetry) {
    CacheHome home;
    TempDir pictures;
    const std::string file = (pictures.path() / "broken.jpg").string();
    std::ofstream(file) << "not a picture at all";
    SetMTime(file, 1200000000);
    ThumbnailMaker maker;
    ThumbnailResult r = maker.Make(file, ThumbnailSize::Large);
    ASSERT_EQ(r.outcome, ThumbnailOutcome::Failed);
    const std::string uri = "file://" + pictures.str() + "/broken.jpg";
    EXPECT_EQ(r.file, home.Root() + "/fail/vantrel-1.0/" + Md5(uri) + ".png");
    QImage entry(QString::fromStdString(r.file), "png");
    ASSERT_FALSE(entry.isNull());
    EXPECT_EQ(entry.text("Thumb::URI").toStdString(), uri);
    EXPECT_EQ(entry.text("Thumb::MTime"), "1200000000");
    EXPECT_FALSE(fs::exists(home.Root() + "/large/" + Md5(uri) + ".png"));

    // Known to fail: not decoded again, so even a helper that cannot start
    // gives the same answer.
    TempDir tools;
    const std::string broken = (tools.path() / "helper").string();
    std::ofstream(broken) << "not a program\n";
    ::chmod(broken.c_str(), 0755);
    maker.Decoder().SetHelperPath(broken);
    EXPECT_EQ(maker.Make(file, ThumbnailSize::Normal).outcome, ThumbnailOutcome::Failed);
    // A good file with no decoder to be had gets no fail entry.
    const std::string good = Picture(pictures.path() / "good.png", 10, 10, 0xFFFFFF);
    EXPECT_EQ(maker.Make(good, ThumbnailSize::Normal).outcome, ThumbnailOutcome::Skipped);
    EXPECT_FALSE(fs::exists(home.Root() + "/fail/vantrel-1.0/" +
                            Md5("file://" + pictures.str() + "/good.png") + ".png"));
    maker.Decoder().SetHelperPath("");

    // The file became a picture: tried again, made, and the entry goes.
    Picture(file, 50, 40, 0xFF00FF, FIF_JPEG);
    SetMTime(file, 1200000100);
    r = maker.Make(file, ThumbnailSize::Large);
    EXPECT_EQ(r.outcome, ThumbnailOutcome::Made);
    EXPECT_FALSE(fs::exists(home.Root() + "/fail/vantrel-1.0/" + Md5(uri) + ".png"));
}

// Each write is whole: a reader polling the name while it is written over
// again and again sees no file or a complete PNG, never a part. Files are
// 0600 and folders 0700 whatever the umask; no temporary file is left.
TEST(Thumbnails, WrittenWholeAndPrivate) {
    CacheHome home;
    TempDir pictures;
    const std::string file = Picture(pictures.path() / "p.png", 8, 8, 0);
    ThumbnailSource source;
    ASSERT_TRUE(ThumbnailCache::Describe(file, source));
    const mode_t mask = ::umask(0);
    const ThumbnailCache cache;
    // Noise compresses badly: each PNG is a few megabytes, written in many pieces.
    QImage noise(1024, 1024, QImage::Format_RGB32);
    uint32_t seed = 1;
    for (int y = 0; y < noise.height(); ++y) {
        auto* row = reinterpret_cast<uint32_t*>(noise.scanLine(y));
        for (int x = 0; x < noise.width(); ++x)
            row[x] = (seed = seed * 1664525u + 1013904223u) | 0xFF000000u;
    }
    const std::string path = cache.ThumbnailPath(source.uri, ThumbnailSize::XXLarge);
    std::atomic<bool> writing{true};
    int seenWhole = 0, seenPart = 0;
    std::thread reader([&] {
        while (writing) {
            const std::string bytes = TempDir::Read(path);
            if (bytes.empty()) continue;
            // A whole PNG ends with its IEND chunk and decodes.
            const bool whole = bytes.size() > 12 &&
                               bytes.compare(bytes.size() - 8, 4, "IEND") == 0 &&
                               !QImage::fromData(QByteArray::fromStdString(bytes), "png").isNull();
            ++(whole ? seenWhole : seenPart);
        }
    });
    for (int i = 0; i < 6; ++i) {
        source.mtime = i; // each a new version of the same name
        EXPECT_FALSE(cache.Store(source, ThumbnailSize::XXLarge, noise).empty());
    }
    writing = false;
    reader.join();
    ::umask(mask);
    EXPECT_EQ(seenPart, 0);
    EXPECT_GT(seenWhole, 0);
    ASSERT_TRUE(cache.StoreFailure(source));
    EXPECT_EQ(Mode(home.Root()), 0700u);
    for (const auto& e : fs::recursive_directory_iterator(home.Root())) {
        if (e.is_directory()) {
            EXPECT_EQ(Mode(e.path()), 0700u) << e.path();
            continue;
        }
        EXPECT_EQ(Mode(e.path()), 0600u) << e.path();
        EXPECT_EQ(e.path().filename().string().size(), 32u + 4u) << "left behind: " << e.path();
    }
    // A cache that cannot be written: the picture is still made, nothing kept.
    TempDir other;
    std::ofstream(other.path() / "thumbnails") << "a file where the folder should be";
    ThumbnailMaker blocked{ThumbnailCache(other.str() + "/thumbnails")};
    const ThumbnailResult r = blocked.Make(file, ThumbnailSize::Normal);
    EXPECT_EQ(r.outcome, ThumbnailOutcome::Made);
    EXPECT_TRUE(r.file.empty());
    EXPECT_FALSE(r.image.isNull());
}

// The browsed folder is left as it was, and files inside the cache itself
// (by their own path or through a link) are never thumbnailed.
TEST(Thumbnails, NothingBesideThePicturesNorOfTheCache) {
    CacheHome home;
    TempDir pictures;
    std::vector<std::string> rows;
    for (int i = 0; i < 6; ++i)
        rows.push_back(Picture(pictures.path() / ("p" + std::to_string(i) + ".png"), 40, 30,
                               0x102030u * uint32_t(i + 1)));
    rows.push_back((pictures.path() / "broken.png").string());
    std::ofstream(rows.back()) << "broken";
    ThumbnailMaker maker;
    ASSERT_EQ(maker.Make(rows[0], ThumbnailSize::Normal).outcome, ThumbnailOutcome::Made);
    const std::string inCache = maker.Make(rows[1], ThumbnailSize::Normal).file;
    ASSERT_FALSE(inCache.empty());
    fs::create_symlink(inCache, pictures.path() / "link-into-cache.png");
    fs::create_directory_symlink(home.Root(), pictures.path() / "cache-folder");
    rows.push_back((pictures.path() / "link-into-cache.png").string());
    rows.push_back(
        (pictures.path() / "cache-folder" / "normal" / fs::path(inCache).filename()).string());
    const auto before = Snapshot(pictures.path());
    const auto cacheBefore = Snapshot(home.Root());

    rows.push_back(inCache);
    for (std::size_t i = 7; i < rows.size(); ++i)
        EXPECT_EQ(maker.Make(rows[i], ThumbnailSize::Large).outcome, ThumbnailOutcome::Skipped)
            << rows[i];
    EXPECT_EQ(Snapshot(home.Root()), cacheBefore); // nothing made of the cache's files

    ThumbnailScheduler scheduler;
    std::set<int> ready, refused;
    QObject::connect(&scheduler, &ThumbnailScheduler::ThumbnailReady,
                     [&](quint64, int row) { ready.insert(row); });
    QObject::connect(&scheduler, &ThumbnailScheduler::ThumbnailRefused,
                     [&](quint64, int row) { refused.insert(row); });
    bool handled = false;
    QObject::connect(&scheduler, &ThumbnailScheduler::AllHandled, [&](quint64) { handled = true; });
    scheduler.SetRows(rows, ThumbnailSize::Large);
    scheduler.SetVisible(0, 9);
    ASSERT_TRUE(Spin([&] { return handled; }));
    EXPECT_EQ(ready, (std::set<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(refused, (std::set<int>{6, 7, 8, 9}));
    EXPECT_TRUE(scheduler.HasNoThumbnail(7));
    EXPECT_EQ(scheduler.Thumbnail(3).pixel(5, 5) & 0xFFFFFF, 0x102030u * 4);
    EXPECT_TRUE(scheduler.Thumbnail(6).isNull());
    EXPECT_EQ(Snapshot(pictures.path()), before);
}

namespace {

// The signals of one scheduler, in the order they came.
struct Recorder {
    std::vector<std::pair<quint64, int>> ready;
    std::vector<quint64> handled;
    explicit Recorder(ThumbnailScheduler& s) {
        QObject::connect(&s, &ThumbnailScheduler::ThumbnailReady,
                         [this](quint64 g, int row) { ready.emplace_back(g, row); });
        QObject::connect(&s, &ThumbnailScheduler::AllHandled,
                         [this](quint64 g) { handled.push_back(g); });
    }
    bool Handled(quint64 g) const {
        return std::find(handled.begin(), handled.end(), g) != handled.end();
    }
};

std::vector<std::string> Folder(const TempDir& dir, int count, int side) {
    // One picture, copied: each copy is a file of its own to the cache.
    const std::string first =
        Picture(dir.path() / "p000.jpg", side, side * 3 / 4, 0x4080C0, FIF_JPEG);
    std::vector<std::string> rows{first};
    for (int i = 1; i < count; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "p%03d.jpg", i);
        fs::copy_file(first, dir.path() / name);
        rows.push_back((dir.path() / name).string());
    }
    return rows;
}

} // namespace

// The rows on screen come first, then the others outward from them; every
// row is handled once.
TEST(ThumbnailScheduler, VisibleRowsFirst) {
    CacheHome home;
    TempDir pictures;
    const std::vector<std::string> rows = Folder(pictures, 30, 400);
    ThumbnailScheduler scheduler;
    Recorder seen(scheduler);
    const quint64 g = scheduler.SetRows(rows, ThumbnailSize::Normal);
    scheduler.SetVisible(20, 24);
    ASSERT_TRUE(Spin([&] { return seen.Handled(g); }));
    ASSERT_EQ(seen.ready.size(), rows.size());
    std::set<int> first, all;
    for (std::size_t i = 0; i < seen.ready.size(); ++i) {
        EXPECT_EQ(seen.ready[i].first, g);
        if (i < 5) first.insert(seen.ready[i].second);
        all.insert(seen.ready[i].second);
    }
    EXPECT_EQ(first, (std::set<int>{20, 21, 22, 23, 24}));
    EXPECT_EQ(all.size(), rows.size());
    EXPECT_EQ(seen.ready[5].second, 25); // then the nearest rows, below and above in turn
    EXPECT_EQ(seen.ready[6].second, 19);
    EXPECT_EQ(scheduler.Thumbnail(0).size(), QSize(128, 96));

    // The same rows again (a change in the folder): pictures held stay and
    // are not read again unless their file changed.
    SetMTime(rows[3], 1300000000);
    const quint64 g2 = scheduler.SetRows(rows, ThumbnailSize::Normal);
    EXPECT_FALSE(scheduler.Thumbnail(10).isNull());
    scheduler.SetVisible(0, 5);
    ASSERT_TRUE(Spin([&] { return seen.Handled(g2); }));
    ASSERT_EQ(seen.ready.size(), rows.size() + 1);
    EXPECT_EQ(seen.ready.back(), std::make_pair(g2, 3));
}

// A new folder cancels what the old one still wanted: nothing more of it is
// made or delivered.
TEST(ThumbnailScheduler, AFolderChangeCancels) {
    CacheHome home;
    TempDir a, b;
    const std::vector<std::string> rowsA = Folder(a, 40, 2000);
    const std::vector<std::string> rowsB = Folder(b, 5, 300);
    ThumbnailScheduler scheduler;
    Recorder seen(scheduler);
    const quint64 ga = scheduler.SetRows(rowsA, ThumbnailSize::Large);
    scheduler.SetVisible(0, 10);
    ASSERT_TRUE(Spin([&] { return !seen.ready.empty(); }));
    const quint64 gb = scheduler.SetRows(rowsB, ThumbnailSize::Large);
    EXPECT_GT(gb, ga);
    const std::size_t before = seen.ready.size();
    scheduler.SetVisible(0, 4);
    // AllHandled is queued only once the worker has nothing to pick and the
    // writer is neither writing nor reading: whatever of A was still in hand
    // at the change was posted before it, so it has been delivered by now.
    ASSERT_TRUE(Spin([&] { return seen.Handled(gb); }));
    for (std::size_t i = before; i < seen.ready.size(); ++i)
        EXPECT_EQ(seen.ready[i].first, gb);
    EXPECT_EQ(seen.ready.size() - before, rowsB.size());
    // At most those delivered, one finished meanwhile and the one in
    // progress at the change were made for the cache.
    int madeOfA = 0;
    for (const std::string& row : rowsA)
        madeOfA += fs::exists(
            ThumbnailCache().ThumbnailPath(ThumbnailCache::Uri(row), ThumbnailSize::Large));
    EXPECT_LE(madeOfA, int(before) + 2);
    EXPECT_LT(madeOfA, int(rowsA.size()));
}

// Past the cap, pictures off screen are let go (least recently asked for
// first) and made again from the cache when they come into view.
TEST(ThumbnailScheduler, MemoryHeldIsCapped) {
    CacheHome home;
    TempDir pictures;
    const std::vector<std::string> rows = Folder(pictures, 24, 1400);
    const std::size_t each = std::size_t(1024) * 768 * 4; // an xx-large thumbnail
    ASSERT_GT(rows.size() * each, ThumbnailScheduler::kHeldBytesCap);
    ThumbnailScheduler scheduler;
    Recorder seen(scheduler);
    quint64 g = scheduler.SetRows(rows, ThumbnailSize::XXLarge);
    scheduler.SetVisible(0, 1);
    ASSERT_TRUE(Spin([&] { return seen.Handled(g); }, 120000));
    EXPECT_LE(scheduler.HeldBytes(), ThumbnailScheduler::kHeldBytesCap);
    EXPECT_FALSE(scheduler.Thumbnail(0).isNull());
    EXPECT_FALSE(scheduler.Thumbnail(1).isNull());
    for (const std::string& row : rows) // all in the cache nonetheless
        EXPECT_TRUE(fs::exists(
            ThumbnailCache().ThumbnailPath(ThumbnailCache::Uri(row), ThumbnailSize::XXLarge)));
    scheduler.SetVisible(22, 23);
    ASSERT_TRUE(Spin(
        [&] { return !scheduler.Thumbnail(22).isNull() && !scheduler.Thumbnail(23).isNull(); }));
    EXPECT_LE(scheduler.HeldBytes(), ThumbnailScheduler::kHeldBytesCap);
    scheduler.Clear();
    EXPECT_EQ(scheduler.HeldBytes(), 0u);
}
