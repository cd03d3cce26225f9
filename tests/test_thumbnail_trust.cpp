// What the thumbnail road takes on trust, and what it must not: a helper's
// answer larger than the size is neither stored nor handed on; a helper that
// failed (killed from outside, silent past the time limit, answering what is
// not an answer) leaves no fail entry, while a file that makes the decoder
// fail or crash does; links inside the cache are neither read nor written
// through; the keys are plain tEXt chunks whatever their length. Real files,
// the real helper and a stand-in helper that lies (fake_decoder), a cache in
// a temporary folder.
#include "TempDir.h"
#include "ThumbnailTestUtil.h"
#include "imaging/ThumbnailMaker.h"

#include <FreeImage.h>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

// A w x h PNG of one colour.
std::string Picture(const fs::path& file, int w, int h) {
    FIBITMAP* b = FreeImage_Allocate(w, h, 24);
    RGBQUAD c{0x40, 0x80, 0xC0, 0};
    FreeImage_FillBackground(b, &c);
    EXPECT_TRUE(FreeImage_Save(FIF_PNG, b, file.c_str(), 0)) << file;
    FreeImage_Unload(b);
    return file.string();
}

// Every file (and link) under `root`, links not followed.
std::vector<std::string> FilesUnder(const fs::path& root) {
    std::vector<std::string> files;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error))
        if (!it->is_directory(error) || it->is_symlink(error)) files.push_back(it->path().string());
    return files;
}

// The maker's helper made the stand-in in `mode` (a new helper process).
void Fake(ThumbnailMaker& maker, const char* mode) {
    ::setenv("VANTREL_FAKE_DECODER_MODE", mode, 1);
    maker.Decoder().SetHelperPath(VANTREL_FAKE_DECODER);
}

void Real(ThumbnailMaker& maker) {
    ::unsetenv("VANTREL_FAKE_DECODER_MODE");
    maker.Decoder().SetHelperPath("");
}

// The types and data of a PNG's chunks, in order.
std::vector<std::pair<std::string, std::string>> Chunks(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::pair<std::string, std::string>> chunks;
    constexpr std::size_t kSignature = 8, kFrame = 12;
    for (std::size_t at = kSignature; at + kFrame <= bytes.size();) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
        const std::size_t length = std::size_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
        if (at + kFrame + length > bytes.size()) break;
        chunks.emplace_back(bytes.substr(at + 4, 4), bytes.substr(at + 8, length));
        at += kFrame + length;
    }
    return chunks;
}

} // namespace

// An answer larger than the size is the helper's fault: refused (no fail
// entry), and the cache writes nothing larger than the size whoever asks.
TEST(ThumbnailTrust, NothingLargerThanItsSize) {
    TempDir home, pictures;
    const std::string root = home.str() + "/thumbnails";
    ThumbnailMaker maker{ThumbnailCache(root)};
    const std::string file = Picture(pictures.path() / "photo.png", 600, 400);
    const ThumbnailSource source = Described(file);

    for (const ThumbnailSize size :
         {ThumbnailSize::Normal, ThumbnailSize::Large, ThumbnailSize::XXLarge}) {
        Fake(maker, "oversized"); // 1500 x 1000, sealed and well-formed
        const ThumbnailResult r = maker.Make(file, size);
        EXPECT_EQ(r.outcome, ThumbnailOutcome::Skipped) << ThumbnailCache::FolderName(size);
        EXPECT_TRUE(r.image.isNull());
        EXPECT_TRUE(r.file.empty());
    }
    EXPECT_EQ(FilesUnder(root), std::vector<std::string>{});

    // Whatever reaches the cache: one pixel over the side is refused.
    QImage wide(129, 40, QImage::Format_RGB32), tall(40, 257, QImage::Format_RGB32);
    wide.fill(Qt::red);
    tall.fill(Qt::red);
    EXPECT_EQ(maker.Cache().Store(source, ThumbnailSize::Normal, wide), "");
    EXPECT_EQ(maker.Cache().Store(source, ThumbnailSize::Large, tall), "");
    ThumbnailResult made;
    made.outcome = ThumbnailOutcome::Made;
    made.image = tall;
    EXPECT_EQ(maker.Keep(source, ThumbnailSize::Large, made), "");
    EXPECT_EQ(FilesUnder(root), std::vector<std::string>{});
    // At the side exactly it is a thumbnail.
    EXPECT_NE(maker.Cache().Store(source, ThumbnailSize::Normal, wide.copy(0, 0, 128, 40)), "");

    // The real helper answers within the box, and that is kept.
    Real(maker);
    const ThumbnailResult r = maker.Make(file, ThumbnailSize::Large);
    EXPECT_EQ(r.outcome, ThumbnailOutcome::Made);
    EXPECT_EQ(r.image.size(), QSize(256, 171));
}

// Only a file that makes the decoder fail leaves a fail entry: the helper
// saying so, or crashing on it. A helper killed from outside (as the OOM
// killer does), or answering what is not an answer, leaves none, and the
// picture is made on the next try.
TEST(ThumbnailTrust, OnlyTheFileItselfLeavesAFailEntry) {
    TempDir home, pictures;
    const std::string root = home.str() + "/thumbnails";
    ThumbnailMaker maker{ThumbnailCache(root)};
    const std::string good = Picture(pictures.path() / "good.png", 300, 200);
    const std::string failEntry = maker.Cache().FailPath(Described(good).uri);

    // Killed while it decodes.
    Fake(maker, "silent");
    bool killed = false;
    const auto killHelper = [&] {
        if (!killed) killed = ::kill(maker.Decoder().HelperPid(), SIGKILL) == 0;
        return false; // still wanted
    };
    ThumbnailResult r = maker.Make(good, ThumbnailSize::Normal, killHelper);
    ASSERT_TRUE(killed);
    EXPECT_EQ(r.outcome, ThumbnailOutcome::Skipped);
    EXPECT_FALSE(fs::exists(failEntry));

    for (const char* mode :
         {"garbage", "dies-mid-answer", "stale-id", "not-sealed-against-writing"}) {
        Fake(maker, mode);
        EXPECT_EQ(maker.Make(good, ThumbnailSize::Normal).outcome, ThumbnailOutcome::Skipped)
            << mode;
        EXPECT_FALSE(fs::exists(failEntry)) << mode;
    }

    // Tried again with a helper that works: made.
    Real(maker);
    r = maker.Make(good, ThumbnailSize::Normal);
    EXPECT_EQ(r.outcome, ThumbnailOutcome::Made);
    EXPECT_EQ(r.image.size(), QSize(128, 85));

    // A decoder that crashes on a file: the file's doing.
    const std::string other = Picture(pictures.path() / "other.png", 30, 20);
    Fake(maker, "crashes");
    r = maker.Make(other, ThumbnailSize::Normal);
    EXPECT_EQ(r.outcome, ThumbnailOutcome::Failed);
    EXPECT_EQ(r.file, maker.Cache().FailPath(Described(other).uri));
    EXPECT_TRUE(fs::exists(r.file));

    // A damaged file in the real helper: its fail entry.
    Real(maker);
    const std::string damaged = (pictures.path() / "damaged.png").string();
    {
        std::ifstream in(good, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        constexpr std::size_t kThroughTheHeader = 40; // the signature, IHDR, and no pixels
        std::ofstream(damaged, std::ios::binary) << bytes.substr(0, kThroughTheHeader);
    }
    r = maker.Make(damaged, ThumbnailSize::Normal);
    EXPECT_EQ(r.outcome, ThumbnailOutcome::Failed);
    EXPECT_TRUE(fs::exists(maker.Cache().FailPath(Described(damaged).uri)));
}

// A helper that says nothing until the time limit, using no CPU, is not the
// file's fault (a machine too busy to run it looks the same).
TEST(ThumbnailTrust, AHelperSilentPastTheTimeLimitIsNotTheFile) {
    TempDir home, pictures;
    ThumbnailMaker maker{ThumbnailCache(home.str() + "/thumbnails")};
    const std::string good = Picture(pictures.path() / "good.png", 30, 20);
    Fake(maker, "silent");
    EXPECT_EQ(maker.Make(good, ThumbnailSize::Normal).outcome, ThumbnailOutcome::Skipped);
    EXPECT_FALSE(fs::exists(maker.Cache().FailPath(Described(good).uri)));
    Real(maker);
    EXPECT_EQ(maker.Make(good, ThumbnailSize::Normal).outcome, ThumbnailOutcome::Made);
}

// A link inside the cache is no thumbnail and no folder: a link at a
// thumbnail's name is not read (the picture is made and written in its
// place, the link's target untouched), and a size or fail folder that is a
// link is neither read nor written through. The cache's root may be a link.
TEST(ThumbnailTrust, LinksInTheCacheAreNotFollowed) {
    TempDir home, pictures, elsewhere;
    const std::string root = home.str() + "/thumbnails";
    ThumbnailMaker maker{ThumbnailCache(root)};
    const std::string file = Picture(pictures.path() / "photo.png", 300, 200);
    const ThumbnailSource source = Described(file);
    const std::string name = ThumbnailCache::Md5Hex(source.uri) + ".png";

    // A valid thumbnail of the file, made in another cache.
    const ThumbnailCache other(elsewhere.str());
    QImage small(64, 40, QImage::Format_RGB32);
    small.fill(Qt::green);
    const std::string planted = other.Store(source, ThumbnailSize::Normal, small);
    ASSERT_NE(planted, "");
    ASSERT_TRUE(other.Find(source, ThumbnailSize::Normal));
    const auto plantedTime = fs::last_write_time(planted);

    fs::create_directories(root + "/normal");
    fs::create_symlink(planted, root + "/normal/" + name);
    EXPECT_FALSE(maker.Cache().Find(source, ThumbnailSize::Normal));
    ThumbnailResult r = maker.Make(file, ThumbnailSize::Normal);
    EXPECT_EQ(r.outcome, ThumbnailOutcome::Made);
    EXPECT_EQ(r.image.size(), QSize(128, 85));
    EXPECT_FALSE(fs::is_symlink(root + "/normal/" + name)); // replaced, not written through
    EXPECT_EQ(fs::last_write_time(planted), plantedTime);
    EXPECT_EQ(QImage(QString::fromStdString(planted)).size(), QSize(64, 40));

    // `large` and `fail` link to folders elsewhere, one holding a valid thumbnail.
    ASSERT_NE(other.Store(source, ThumbnailSize::Large, small), "");
    fs::create_directory_symlink(elsewhere.str() + "/large", root + "/large");
    fs::create_directories(elsewhere.str() + "/failures/" + ThumbnailCache::FailFolderName());
    fs::create_directory_symlink(elsewhere.str() + "/failures", root + "/fail");
    const std::vector<std::string> before = FilesUnder(elsewhere.path());
    EXPECT_FALSE(maker.Cache().Find(source, ThumbnailSize::Large));
    r = maker.Make(file, ThumbnailSize::Large);
    EXPECT_EQ(r.outcome, ThumbnailOutcome::Made); // made, but nowhere to keep it
    EXPECT_EQ(r.file, "");
    EXPECT_FALSE(maker.Cache().StoreFailure(source));
    const std::string broken = (pictures.path() / "broken.png").string();
    std::ofstream(broken) << "not a picture";
    EXPECT_EQ(maker.Make(broken, ThumbnailSize::Large).outcome, ThumbnailOutcome::Failed);
    EXPECT_EQ(FilesUnder(elsewhere.path()), before);

    // A cache whose root is a link works as any other.
    fs::create_directory_symlink(home.str(), pictures.str() + "/cache-link");
    const ThumbnailCache linked(pictures.str() + "/cache-link/thumbnails");
    EXPECT_TRUE(linked.Find(source, ThumbnailSize::Normal));
}

// The keys are tEXt chunks right after the header, each as written, however
// long the path: readers that take only tEXt (GLib's check among them) see
// them. A path of 300 bytes gives a URI far past what Qt would compress.
TEST(ThumbnailTrust, KeysAreTextChunks) {
    TempDir home, pictures;
    const ThumbnailCache cache(home.str() + "/thumbnails");
    fs::path folder = pictures.path();
    for (int i = 0; i < 6; ++i)
        folder /= std::string(40, char('a' + i)) + " ü";
    fs::create_directories(folder);
    const std::string file = Picture(folder / "photo.png", 30, 20);
    ThumbnailSource source = Described(file);
    QImage picture(30, 20, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    picture.setText("Comment", "text the picture carried, not the thumbnail's");
    const std::string stored = cache.Store(source, ThumbnailSize::Normal, picture, 3000, 2000);
    ASSERT_NE(stored, "");
    const auto chunks = Chunks(stored);
    ASSERT_GT(chunks.size(), 7u);
    EXPECT_EQ(chunks[0].first, "IHDR");
    const std::vector<std::pair<std::string, std::string>> expected{
        {"tEXt", "Thumb::URI" + std::string(1, '\0') + source.uri},
        {"tEXt", "Thumb::MTime" + std::string(1, '\0') + std::to_string(source.mtime)},
        {"tEXt", "Thumb::Size" + std::string(1, '\0') + std::to_string(source.size)},
        {"tEXt", "Thumb::Image::Width" + std::string(1, '\0') + "3000"},
        {"tEXt", "Thumb::Image::Height" + std::string(1, '\0') + "2000"}};
    EXPECT_EQ(std::vector(chunks.begin() + 1, chunks.begin() + 6), expected);
    for (const auto& [type, data] : chunks) {
        EXPECT_NE(type, "zTXt");
        EXPECT_NE(type, "iTXt");
        EXPECT_EQ(data.find("Comment"), std::string::npos);
    }
    // Read back (libpng checks every chunk's CRC on the way).
    QImage back;
    EXPECT_TRUE(cache.Find(source, ThumbnailSize::Normal, &back));
    EXPECT_EQ(back.size(), QSize(30, 20));
    EXPECT_EQ(back.pixel(5, 5), QColor(Qt::blue).rgb());
}
