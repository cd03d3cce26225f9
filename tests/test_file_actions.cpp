// The undoable file actions on real files in a temporary folder: a home
// trash and a thumbnail cache of the test's own inside it, thumbnails stored
// for the files first. Each action and its undo: the file where it was, the
// trash's entry gone, the thumbnails following; an undo whose place is taken
// changes nothing and says why; undos in reverse order and no deeper than
// the journal; moves within one file system and across two (a tmpfs the
// test mounts when it may). The cache's own Forget and Moved first.
#include "TempDir.h"
#include "ThumbnailTestUtil.h"
#include "app/FileActions.h"

#include <FreeImage.h>
#include <QImage>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

constexpr ThumbnailSize kSizes[] = {ThumbnailSize::Normal, ThumbnailSize::Large};

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// A picture of four colours (its turns tell apart) saved as a JPEG whose
// sides are whole blocks, so that a lossless turn is exact.
void WriteJpeg(const std::string& path) {
    constexpr int kWidth = 32, kHeight = 16;
    FIBITMAP* b = FreeImage_Allocate(kWidth, kHeight, 24);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            RGBQUAD c{BYTE(x < kWidth / 2 ? 255 : 0), BYTE(y < kHeight / 2 ? 255 : 0), 40, 0};
            FreeImage_SetPixelColor(b, unsigned(x), unsigned(y), &c);
        }
    EXPECT_TRUE(FreeImage_Save(FIF_JPEG, b, path.c_str(), JPEG_QUALITYSUPERB)) << path;
    FreeImage_Unload(b);
}

// A JPEG's decoded pixels and size, as FreeImage reads them.
std::string JpegPixels(const std::string& path) {
    FIBITMAP* b = FreeImage_Load(FIF_JPEG, path.c_str(), 0);
    if (!b) return "unreadable";
    FIBITMAP* rgb = FreeImage_ConvertTo24Bits(b);
    std::string pixels = std::to_string(FreeImage_GetWidth(rgb)) + "x" +
                         std::to_string(FreeImage_GetHeight(rgb)) + ":";
    for (unsigned y = 0; y < FreeImage_GetHeight(rgb); ++y)
        pixels.append(reinterpret_cast<const char*>(FreeImage_GetScanLine(rgb, int(y))),
                      FreeImage_GetLine(rgb));
    FreeImage_Unload(rgb);
    FreeImage_Unload(b);
    return pixels;
}

// A tmpfs of the test's own, mounted for its life when the machine allows.
class Tmpfs {
  public:
    explicit Tmpfs(std::string folder) : folder_(std::move(folder)) {
        fs::create_directories(folder_);
        mounted_ = ::mount("tmpfs", folder_.c_str(), "tmpfs", 0, "size=4m,mode=0755") == 0;
        if (!mounted_) why_ = std::strerror(errno);
    }
    ~Tmpfs() {
        if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
    }
    bool Mounted() const { return mounted_; }
    const std::string& Why() const { return why_; }

  private:
    std::string folder_;
    bool mounted_ = false;
    std::string why_;
};

class FileActionsTest : public ::testing::Test {
  protected:
    TempDir dir;
    const std::string pics = dir.str() + "/pictures";
    const std::string other = dir.str() + "/other folder";
    const std::string trashHome = dir.str() + "/data/Trash";
    const ThumbnailCache cache{dir.str() + "/cache/thumbnails"};
    FileActions actions{&cache, Trash(trashHome)};

    void SetUp() override {
        fs::create_directories(pics);
        fs::create_directories(other);
    }
    // A file of `bytes` in the pictures' folder with its thumbnails (two
    // sizes) and a fail entry.
    std::string Make(const std::string& name, const std::string& bytes) {
        const std::string path = pics + "/" + name;
        dir.Write("pictures/" + name, bytes);
        return Thumbnailed(path);
    }
    std::string Thumbnailed(const std::string& path) {
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::red);
        for (const ThumbnailSize size : kSizes)
            EXPECT_FALSE(cache.Store(Described(path), size, image).empty()) << path;
        EXPECT_TRUE(cache.StoreFailure(Described(path)));
        return path;
    }
    // How many of a path's thumbnails and fail entries the cache holds, valid or not.
    int Entries(const std::string& path) const {
        const std::string uri = ThumbnailCache::Uri(path);
        int n = Exists(cache.FailPath(uri)) ? 1 : 0;
        for (const ThumbnailSize size : kSizes)
            n += Exists(cache.ThumbnailPath(uri, size)) ? 1 : 0;
        return n;
    }
    // How many thumbnails hold for the file as it is now (keys and picture).
    int Valid(const std::string& path) const {
        int n = 0;
        for (const ThumbnailSize size : kSizes)
            n += cache.Find(Described(path), size) ? 1 : 0;
        return n + (cache.FailedBefore(Described(path)) ? 1 : 0);
    }
    std::string InfoOf(const FileOutcome& trashed) const {
        return trashHome + "/info/" + fs::path(trashed.result).filename().string() + ".trashinfo";
    }
};

// The cache itself: a file's entries follow it under the new name, their
// URI rewritten and everything else kept; a stale entry of the new name is
// replaced or removed; an entry that is no thumbnail, or a link, is
// removed; Forget
// removes every size's thumbnail and every program's fail entry.
TEST_F(FileActionsTest, CacheEntriesFollowAndGo) {
    const std::string a = Make("a b.png", "picture a");
    const std::string b = Make("b.png", "picture b");
    const std::string uriA = ThumbnailCache::Uri(a);
    const std::string thumbA = cache.ThumbnailPath(uriA, ThumbnailSize::Normal);
    const std::string pixelsBefore = TempDir::Read(thumbA);
    // Another program's fail entry, and bytes that are no PNG at a size's name.
    const std::string otherFail =
        cache.Root() + "/fail/other-2.0/" + ThumbnailCache::Md5Hex(uriA) + ".png";
    fs::create_directories(fs::path(otherFail).parent_path());
    fs::copy_file(cache.FailPath(uriA), otherFail);
    fs::create_directories(cache.Root() + "/x-large");
    const std::string junk = cache.ThumbnailPath(uriA, ThumbnailSize::XLarge);
    dir.Write(fs::relative(junk, dir.path()).string(), "not a png");

    const std::string moved = other + "/\n\xe9 moved.png";
    fs::rename(a, moved);
    cache.Moved(a, moved);
    EXPECT_EQ(Entries(a), 0);
    EXPECT_FALSE(Exists(otherFail)) << "another program's fail entry stayed";
    EXPECT_FALSE(Exists(junk));
    EXPECT_FALSE(Exists(cache.ThumbnailPath(ThumbnailCache::Uri(moved), ThumbnailSize::XLarge)));
    EXPECT_EQ(Valid(moved), 3) << "the thumbnails and fail entry hold under the new name";
    EXPECT_TRUE(Exists(cache.Root() + "/fail/other-2.0/" +
                       ThumbnailCache::Md5Hex(ThumbnailCache::Uri(moved)) + ".png"));
    QImage was, now;
    ASSERT_TRUE(was.loadFromData(QByteArray::fromStdString(pixelsBefore), "png"));
    ASSERT_TRUE(now.load(QString::fromStdString(cache.ThumbnailPath(ThumbnailCache::Uri(moved),
                                                                    ThumbnailSize::Normal)),
                         "png"));
    EXPECT_EQ(was, now);

    // b's entries are stale once `moved` takes its place.
    fs::rename(moved, b);
    cache.Moved(moved, b);
    EXPECT_EQ(Valid(b), 3);
    EXPECT_EQ(Entries(moved), 0);
    cache.Moved(a, b); // nothing of `a`: whatever `b` had is another file's
    EXPECT_EQ(Entries(b), 0);

    // A link at a thumbnail's name is removed, never read or written through.
    const std::string outside = dir.Write("outside.png", "not the cache's").string();
    const std::string linked = Make("linked.png", "linked");
    const std::string linkName =
        cache.ThumbnailPath(ThumbnailCache::Uri(linked), ThumbnailSize::Normal);
    fs::remove(linkName);
    fs::create_symlink(outside, linkName);
    cache.Moved(linked, other + "/linked.png");
    EXPECT_FALSE(Exists(linkName));
    EXPECT_FALSE(Exists(
        cache.ThumbnailPath(ThumbnailCache::Uri(other + "/linked.png"), ThumbnailSize::Normal)));
    EXPECT_EQ(TempDir::Read(outside), "not the cache's");

    const std::string c = Make("c.png", "picture c");
    cache.Forget(c);
    EXPECT_EQ(Entries(c), 0);
    EXPECT_TRUE(Exists(c));
}

TEST_F(FileActionsTest, TrashAndUndo) {
    const std::string a = Make("a.jpg", "bytes of a");
    EXPECT_FALSE(actions.CanUndo());
    EXPECT_EQ(actions.UndoText(), "");

    const ActionDone trashed = actions.MoveToTrash({a});
    ASSERT_TRUE(trashed.AllDone()) << trashed.files.at(0).reason;
    EXPECT_FALSE(Exists(a));
    ASSERT_TRUE(Exists(trashed.files[0].result));
    EXPECT_TRUE(Exists(InfoOf(trashed.files[0])));
    EXPECT_EQ(Entries(a), 0) << "a trashed file's thumbnails stayed";
    EXPECT_EQ(actions.UndoText(), "Undo Move to Trash");

    const ActionDone undone = actions.Undo();
    EXPECT_EQ(undone.kind, ActionKind::Trash);
    ASSERT_EQ(undone.files.size(), 1u);
    ASSERT_TRUE(undone.AllDone()) << undone.files[0].reason;
    EXPECT_EQ(undone.files[0].result, a);
    EXPECT_EQ(TempDir::Read(a), "bytes of a");
    EXPECT_FALSE(Exists(trashed.files[0].result));
    EXPECT_FALSE(Exists(InfoOf(trashed.files[0])));
    EXPECT_FALSE(actions.CanUndo());
}

// A file taken the place meanwhile: the undo changes nothing, says why, and
// is not tried again.
TEST_F(FileActionsTest, UndoIntoATakenPlaceChangesNothing) {
    const std::string a = Make("a.jpg", "old a");
    const ActionDone trashed = actions.MoveToTrash({a});
    ASSERT_TRUE(trashed.AllDone()) << trashed.files.at(0).reason;
    dir.Write("pictures/a.jpg", "new a");

    const ActionDone undone = actions.Undo();
    ASSERT_EQ(undone.files.size(), 1u);
    EXPECT_EQ(undone.files[0].status, OutcomeStatus::Failed);
    EXPECT_NE(undone.files[0].reason.find("is taken by another file"), std::string::npos)
        << undone.files[0].reason;
    EXPECT_EQ(TempDir::Read(a), "new a");
    EXPECT_EQ(TempDir::Read(trashed.files[0].result), "old a");
    EXPECT_TRUE(Exists(InfoOf(trashed.files[0])));
    EXPECT_FALSE(actions.CanUndo());

    const std::string b = Make("b.jpg", "old b");
    ASSERT_TRUE(actions.Rename(b, "c.jpg").AllDone());
    dir.Write("pictures/b.jpg", "new b");
    const ActionDone renamedBack = actions.Undo();
    ASSERT_EQ(renamedBack.files.size(), 1u);
    EXPECT_NE(renamedBack.files[0].reason.find("is taken by another file"), std::string::npos);
    EXPECT_EQ(TempDir::Read(b), "new b");
    EXPECT_EQ(TempDir::Read(pics + "/c.jpg"), "old b");
}

// A file gone, or another file under its name, or a copy changed since:
// nothing is acted on.
TEST_F(FileActionsTest, UndoOfAFileGoneOrChanged) {
    const std::string a = Make("a.jpg", "a");
    ASSERT_TRUE(actions.Transfer(TransferKind::Move, {a}, other).AllDone());
    fs::remove(other + "/a.jpg");
    ActionDone undone = actions.Undo();
    ASSERT_EQ(undone.files.size(), 1u);
    EXPECT_NE(undone.files[0].reason.find("is no longer there"), std::string::npos)
        << undone.files[0].reason;
    EXPECT_FALSE(Exists(a));

    const std::string b = Make("b.jpg", "b");
    ASSERT_TRUE(actions.Rename(b, "c.jpg").AllDone());
    fs::remove(pics + "/c.jpg");
    dir.Write("pictures/c.jpg", "another c");
    undone = actions.Undo();
    EXPECT_EQ(undone.files.at(0).status, OutcomeStatus::Failed);
    EXPECT_EQ(TempDir::Read(pics + "/c.jpg"), "another c");
    EXPECT_FALSE(Exists(b));

    const std::string d = Make("d.jpg", "d");
    ASSERT_TRUE(actions.Transfer(TransferKind::Copy, {d}, other).AllDone());
    dir.Write("other folder/d.jpg", "d, edited in the copy");
    undone = actions.Undo();
    EXPECT_NE(undone.files.at(0).reason.find("has changed since"), std::string::npos)
        << undone.files[0].reason;
    EXPECT_EQ(TempDir::Read(other + "/d.jpg"), "d, edited in the copy");
}

TEST_F(FileActionsTest, RenameAndUndoCarryTheThumbnails) {
    const std::string a = Make("a.jpg", "a");
    const std::string b = pics + "/b\nwith a newline.jpg";
    const ActionDone renamed = actions.Rename(a, "b\nwith a newline.jpg");
    ASSERT_TRUE(renamed.AllDone()) << renamed.files.at(0).reason;
    EXPECT_EQ(renamed.files[0].result, b);
    EXPECT_EQ(Entries(a), 0);
    EXPECT_EQ(Valid(b), 3);
    EXPECT_EQ(actions.UndoText(), "Undo Rename");

    const ActionDone undone = actions.Undo();
    ASSERT_TRUE(undone.AllDone()) << undone.files.at(0).reason;
    EXPECT_EQ(undone.kind, ActionKind::Rename);
    EXPECT_EQ(TempDir::Read(a), "a");
    EXPECT_FALSE(Exists(b));
    EXPECT_EQ(Entries(b), 0);
    EXPECT_EQ(Valid(a), 3);
}

// No cache to follow: the actions and their undo are the same.
TEST_F(FileActionsTest, WithoutACache) {
    FileActions bare(nullptr, Trash(trashHome));
    const std::string a = Make("a.jpg", "a");
    ASSERT_TRUE(bare.Rename(a, "b.jpg").AllDone());
    ASSERT_TRUE(bare.MoveToTrash({pics + "/b.jpg"}).AllDone());
    EXPECT_TRUE(bare.Undo().AllDone());
    EXPECT_TRUE(bare.Undo().AllDone());
    EXPECT_EQ(TempDir::Read(a), "a");
    EXPECT_EQ(Valid(a), 3) << "thumbnails changed without a cache";
}

TEST_F(FileActionsTest, MoveAndUndoOnOneFileSystem) {
    const std::string a = Make("a.jpg", "a"), b = Make("b.jpg", "b");
    const ActionDone moved = actions.Transfer(TransferKind::Move, {a, b}, other);
    ASSERT_TRUE(moved.AllDone());
    EXPECT_EQ(Entries(a) + Entries(b), 0);
    EXPECT_EQ(Valid(other + "/a.jpg"), 3);
    EXPECT_EQ(actions.UndoText(), "Undo Move");

    const ActionDone undone = actions.Undo();
    ASSERT_TRUE(undone.AllDone());
    ASSERT_EQ(undone.files.size(), 2u);
    EXPECT_EQ(undone.files[0].result, a);
    EXPECT_EQ(undone.files[1].result, b);
    EXPECT_EQ(TempDir::Read(a), "a");
    EXPECT_EQ(TempDir::Read(b), "b");
    EXPECT_TRUE(fs::is_empty(other));
    EXPECT_EQ(Valid(a), 3);
    EXPECT_EQ(Entries(other + "/a.jpg"), 0);

    // Kept beside a file of its name on the way out: back under its own name.
    dir.Write("other folder/a.jpg", "another a");
    TransferOptions keepBoth;
    keepBoth.onConflict = [](const std::string&, const std::string&) {
        return ConflictChoice::KeepBoth;
    };
    const ActionDone kept = actions.Transfer(TransferKind::Move, {a}, other, keepBoth);
    ASSERT_TRUE(kept.AllDone()) << kept.files.at(0).reason;
    ASSERT_NE(kept.files[0].result, other + "/a.jpg");
    EXPECT_EQ(Valid(kept.files[0].result), 3);
    const ActionDone keptBack = actions.Undo();
    ASSERT_TRUE(keptBack.AllDone()) << keptBack.files.at(0).reason;
    EXPECT_EQ(keptBack.files[0].result, a);
    EXPECT_EQ(TempDir::Read(a), "a");
    EXPECT_EQ(TempDir::Read(other + "/a.jpg"), "another a");
    EXPECT_FALSE(Exists(kept.files[0].result));
    EXPECT_EQ(Valid(a), 3);
}

TEST_F(FileActionsTest, MoveAndUndoAcrossFileSystems) {
    const std::string mount = dir.str() + "/tmpfs";
    Tmpfs tmpfs(mount);
    if (!tmpfs.Mounted()) GTEST_SKIP() << "a tmpfs cannot be mounted here: " << tmpfs.Why();
    const std::string a = Make("a.jpg", "bytes of a"), b = Make("b.jpg", "bytes of b");
    const ActionDone moved = actions.Transfer(TransferKind::Move, {a, b}, mount);
    ASSERT_TRUE(moved.AllDone()) << moved.files.at(0).reason;
    EXPECT_FALSE(Exists(a));
    EXPECT_EQ(Entries(a), 0);
    EXPECT_EQ(Entries(mount + "/a.jpg"), 3);

    dir.Write("pictures/b.jpg", "a new b");
    const ActionDone undone = actions.Undo();
    ASSERT_EQ(undone.files.size(), 2u);
    EXPECT_TRUE(undone.files[0].Done()) << undone.files[0].reason;
    EXPECT_EQ(TempDir::Read(a), "bytes of a");
    EXPECT_FALSE(Exists(mount + "/a.jpg"));
    EXPECT_EQ(Entries(mount + "/a.jpg"), 0);
    EXPECT_EQ(Entries(a), 3);
    EXPECT_EQ(undone.files[1].status, OutcomeStatus::Failed);
    EXPECT_NE(undone.files[1].reason.find("is taken by another file"), std::string::npos);
    EXPECT_EQ(TempDir::Read(b), "a new b");
    EXPECT_EQ(TempDir::Read(mount + "/b.jpg"), "bytes of b");
}

TEST_F(FileActionsTest, TurnAndUndoGiveThePixelsBack) {
    const std::string jpeg = pics + "/turned.jpg";
    WriteJpeg(jpeg);
    Thumbnailed(jpeg);
    const std::string before = JpegPixels(jpeg);

    const ActionDone turned = actions.Turn(jpeg, Turn::Right);
    ASSERT_TRUE(turned.AllDone()) << turned.files.at(0).reason;
    EXPECT_FALSE(turned.viewOnly);
    EXPECT_NE(JpegPixels(jpeg), before);
    EXPECT_EQ(JpegPixels(jpeg).rfind("16x32:", 0), 0u);
    EXPECT_EQ(Entries(jpeg), 0) << "a turned file's thumbnails stayed";
    EXPECT_EQ(actions.UndoText(), "Undo Rotate");

    Thumbnailed(jpeg); // made again of the turned picture
    const ActionDone undone = actions.Undo();
    ASSERT_TRUE(undone.AllDone()) << undone.files.at(0).reason;
    EXPECT_EQ(JpegPixels(jpeg), before);
    EXPECT_EQ(Entries(jpeg), 0);

    const std::string text = Make("not a picture.jpg", "text");
    const ActionDone viewOnly = actions.Turn(text, Turn::Left);
    EXPECT_TRUE(viewOnly.viewOnly);
    EXPECT_FALSE(viewOnly.files.at(0).reason.empty());
    EXPECT_EQ(TempDir::Read(text), "text");
    EXPECT_FALSE(actions.CanUndo());
}

// Copy undone: the copies go to the trash, never for good; the sources stay.
TEST_F(FileActionsTest, CopyUndoneToTheTrash) {
    const std::string a = Make("a.jpg", "a");
    const ActionDone copied = actions.Transfer(TransferKind::Copy, {a}, other);
    ASSERT_TRUE(copied.AllDone()) << copied.files.at(0).reason;
    EXPECT_EQ(Valid(a), 3);
    EXPECT_EQ(actions.UndoText(), "Undo Copy");
    const ActionDone undone = actions.Undo();
    ASSERT_TRUE(undone.AllDone()) << undone.files.at(0).reason;
    EXPECT_FALSE(Exists(other + "/a.jpg"));
    EXPECT_EQ(TempDir::Read(trashHome + "/files/a.jpg"), "a");
    EXPECT_EQ(TempDir::Read(a), "a");
}

TEST_F(FileActionsTest, SeveralActionsUndoneInReverse) {
    const std::string a = Make("a.jpg", "a"), c = Make("c.jpg", "c"), d = Make("d.jpg", "d");
    ASSERT_TRUE(actions.Rename(a, "b.jpg").AllDone());
    ASSERT_TRUE(actions.Transfer(TransferKind::Move, {pics + "/b.jpg"}, other).AllDone());
    ASSERT_TRUE(actions.MoveToTrash({c}).AllDone());
    ASSERT_TRUE(actions.Transfer(TransferKind::Copy, {d}, other).AllDone());
    EXPECT_TRUE(actions.Delete({Make("e.jpg", "e")}).AllDone());

    const char* texts[] = {"Undo Copy", "Undo Move to Trash", "Undo Move", "Undo Rename"};
    for (const char* text : texts) {
        EXPECT_EQ(actions.UndoText(), text);
        const ActionDone undone = actions.Undo();
        EXPECT_TRUE(undone.AllDone()) << text << ": " << undone.files.at(0).reason;
    }
    EXPECT_FALSE(actions.CanUndo());
    EXPECT_EQ(TempDir::Read(a), "a");
    EXPECT_EQ(TempDir::Read(c), "c");
    EXPECT_EQ(TempDir::Read(d), "d");
    EXPECT_TRUE(fs::is_empty(other));
    EXPECT_FALSE(Exists(pics + "/b.jpg"));
    EXPECT_FALSE(Exists(pics + "/e.jpg"));
    EXPECT_EQ(Entries(pics + "/e.jpg"), 0) << "a deleted file's thumbnails stayed";
}

TEST_F(FileActionsTest, UndoGoesBackNoDeeperThanTheJournal) {
    constexpr std::size_t kBeyond = 3;
    std::string path = Make("0.jpg", "x");
    for (std::size_t i = 1; i <= FileActions::kUndoDepth + kBeyond; ++i) {
        const ActionDone renamed = actions.Rename(path, std::to_string(i) + ".jpg");
        ASSERT_TRUE(renamed.AllDone()) << renamed.files.at(0).reason;
        path = renamed.files[0].result;
    }
    for (std::size_t i = 0; i < FileActions::kUndoDepth; ++i) {
        ASSERT_TRUE(actions.CanUndo()) << i;
        ASSERT_TRUE(actions.Undo().AllDone()) << i;
    }
    EXPECT_FALSE(actions.CanUndo());
    EXPECT_TRUE(actions.Undo().files.empty());
    EXPECT_EQ(TempDir::Read(pics + "/" + std::to_string(kBeyond) + ".jpg"), "x");
}

} // namespace
