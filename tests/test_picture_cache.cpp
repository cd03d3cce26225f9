// The read-ahead cache: a picture is found only for the file exactly as it
// was read (path, size, time of last change), and the bounds on pictures and
// bytes hold, the oldest going first.
#include "app/cPictureCache.h"
#include "tests/TempDir.h"

#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

StdPicture Picture(int w, int h) {
    auto p = std::make_shared<cDIB>();
    p->Create(w, h, 32);
    return p;
}

cPictureCache::Entry EntryOf(const std::string& path, int64_t changed, StdPicture picture,
                             int fullWidth) {
    cPictureCache::Entry e;
    e.key.path = path;
    e.key.size = 1;
    e.key.changedNs = changed;
    e.picture = std::move(picture);
    e.fullWidth = e.fullHeight = fullWidth;
    return e;
}

// The key of the file as it is now, as a listing reads it (to the nanosecond here).
cPictureCache::Key KeyFor(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return {path, uint64_t(st.st_size),
            int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

// Sets the file's time of last change (nanoseconds past a second carry).
void SetChanged(const std::string& path, timespec when) {
    constexpr long kNsPerSecond = 1'000'000'000;
    when.tv_sec += when.tv_nsec / kNsPerSecond;
    when.tv_nsec %= kNsPerSecond;
    const timespec times[2] = {{0, UTIME_OMIT}, when};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

} // namespace

TEST(PictureCache, FindsOnlyTheFileAsItWasRead) {
    TempDir dir;
    const std::string a = (dir.path() / "a.jpg").string();
    std::ofstream(a) << "first";
    cPictureCache cache;
    const cPictureCache::Key before = KeyFor(a);
    cPictureCache::Entry entry = EntryOf(a, 0, Picture(10, 10), 1000);
    entry.key = before;
    cache.Put(entry);
    ASSERT_NE(cache.Find(before, 0, 0), nullptr);
    EXPECT_EQ(cache.Find(before, 0, 0)->fullWidth, 1000);
    // Rewritten since: never its old picture, and the old one is dropped.
    std::ofstream(a) << "second, longer";
    const cPictureCache::Key after = KeyFor(a);
    EXPECT_NE(after, before);
    EXPECT_EQ(cache.Find(after, 0, 0), nullptr);
    EXPECT_FALSE(cache.Holds(a));
    // Dropped by path (the folder said the file changed): nothing of it stays.
    entry.key = after;
    cache.Put(entry);
    cache.Drop(a);
    EXPECT_FALSE(cache.Holds(a));
}

// A file rewritten with bytes of the same size, or only touched, differs
// from the file as it was by its time of last change alone: a later time,
// by a second or by a nanosecond, is another key, and the old picture is
// neither found nor kept.
TEST(PictureCache, ALaterChangeTimeAloneIsAnotherFile) {
    struct Row {
        const char* what;
        const char* rewrite; // the new bytes, as many as before
        long laterNs;        // how much later its time of last change is
    };
    const Row rows[] = {
        {"rewritten, a second later", "other", 1'000'000'000},
        {"rewritten, a nanosecond later", "other", 1},
        {"touched, a second later", "first", 1'000'000'000},
    };
    constexpr timespec kWritten{1'700'000'000, 500'000'000};
    for (const Row& row : rows) {
        TempDir dir;
        const std::string a = (dir.path() / "a.jpg").string();
        std::ofstream(a) << "first";
        SetChanged(a, kWritten);
        cPictureCache cache;
        cPictureCache::Entry entry = EntryOf(a, 0, Picture(10, 10), 1000);
        entry.key = KeyFor(a);
        cache.Put(entry);
        ASSERT_NE(cache.Find(entry.key, 0, 0), nullptr) << row.what;

        std::ofstream(a) << row.rewrite;
        SetChanged(a, {kWritten.tv_sec, kWritten.tv_nsec + row.laterNs});
        const cPictureCache::Key after = KeyFor(a);
        ASSERT_EQ(after.size, entry.key.size) << row.what;
        EXPECT_NE(after, entry.key) << row.what;
        EXPECT_EQ(cache.Find(after, 0, 0), nullptr) << row.what;
        EXPECT_FALSE(cache.Holds(a)) << row.what;
    }
}

TEST(PictureCache, BoundsHoldAndTheOldestGoFirst) {
    constexpr std::size_t kPictureBytes = 100 * 100 * 4;
    struct Row {
        std::size_t maxPictures, maxBytes;
        int put; // pictures of 100 x 100 put, p0 first
        std::size_t kept;
    };
    const Row rows[] = {
        {4, 1 << 30, 6, 4},            // by count
        {10, 3 * kPictureBytes, 6, 3}, // by bytes
        {10, kPictureBytes / 2, 2, 0}, // one alone is more than all the room
    };
    for (const Row& r : rows) {
        cPictureCache cache(r.maxPictures, r.maxBytes);
        for (int i = 0; i < r.put; ++i)
            cache.Put(EntryOf("/p" + std::to_string(i), 1, Picture(100, 100), 100));
        EXPECT_EQ(cache.Count(), r.kept);
        EXPECT_LE(cache.Bytes(), r.maxBytes);
        for (int i = 0; i < r.put; ++i) // the newest are the ones kept
            EXPECT_EQ(cache.Holds("/p" + std::to_string(i)), i >= r.put - int(r.kept)) << i;
    }
    // The same path put again replaces its picture, and counts once.
    cPictureCache cache;
    cache.Put(EntryOf("/same", 1, Picture(10, 10), 10));
    const cPictureCache::Entry second = EntryOf("/same", 2, Picture(20, 20), 20);
    cache.Put(second);
    EXPECT_EQ(cache.Count(), 1u);
    ASSERT_NE(cache.Find(second.key, 0, 0), nullptr);
    EXPECT_EQ(cache.Find(second.key, 0, 0)->fullWidth, 20);
    cache.Put(EntryOf("/empty", 1, nullptr, 0)); // nothing to keep
    EXPECT_FALSE(cache.Holds("/empty"));
}

// One file may be held fitted into several boxes (the pane's and the
// screen's); each is found only under its own box, and a change of the file
// drops every one of them.
TEST(PictureCache, PicturesOfOneFileInSeveralBoxes) {
    cPictureCache cache;
    cPictureCache::Entry pane = EntryOf("/photo", 1, Picture(80, 60), 6000);
    pane.boxWidth = 80, pane.boxHeight = 60;
    cPictureCache::Entry screen = EntryOf("/photo", 1, Picture(1920, 1280), 6000);
    screen.boxWidth = 1920, screen.boxHeight = 1080;
    cache.Put(pane);
    cache.Put(screen);
    EXPECT_EQ(cache.Count(), 2u);
    ASSERT_NE(cache.Find(pane.key, 80, 60), nullptr);
    EXPECT_EQ(cache.Find(pane.key, 80, 60)->picture->Width(), 80);
    ASSERT_NE(cache.Find(pane.key, 1920, 1080), nullptr);
    EXPECT_EQ(cache.Find(pane.key, 1920, 1080)->picture->Width(), 1920);
    EXPECT_EQ(cache.Find(pane.key, 100, 60), nullptr); // another pane size
    // The same box again replaces that one alone.
    cPictureCache::Entry again = pane;
    again.picture = Picture(79, 60);
    cache.Put(again);
    EXPECT_EQ(cache.Count(), 2u);
    EXPECT_EQ(cache.Find(pane.key, 80, 60)->picture->Width(), 79);
    // The file changed: none of its pictures is found or kept.
    cPictureCache::Key changed = pane.key;
    changed.changedNs = 2;
    EXPECT_EQ(cache.Find(changed, 1920, 1080), nullptr);
    EXPECT_EQ(cache.Count(), 0u);
    // A picture of the file as it is now replaces those of it as it was.
    cache.Put(screen);
    cPictureCache::Entry now = EntryOf("/photo", 3, Picture(80, 60), 6000);
    now.boxWidth = 80, now.boxHeight = 60;
    cache.Put(now);
    EXPECT_EQ(cache.Count(), 1u);
}
