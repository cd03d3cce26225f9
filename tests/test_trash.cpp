// The desktop's trash on real files: the home trash's layout and records,
// the trashes of other mounts (a tmpfs mounted for the test) and the checks
// on their shared folder, mounts that can have no trash, names the trash
// must escape or shorten, links and folders, putting a file back, and
// deleting for good.
#include "fileops/Trash.h"
#include "tests/TempDir.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <gtest/gtest.h>
#include <set>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

mode_t Mode(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// The names in a folder, sorted; none when it does not exist.
std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

// A .trashinfo's Path and DeletionDate; `whole` when it has exactly the
// group line and those two keys, each line ended.
struct Record {
    bool whole = false;
    std::string path;
    std::string date;
};

Record ReadRecord(const std::string& file) {
    Record r;
    const std::string text = TempDir::Read(file);
    const std::string head = "[Trash Info]\nPath=";
    const size_t dateAt = text.find("\nDeletionDate=");
    if (text.rfind(head, 0) != 0 || dateAt == std::string::npos || text.back() != '\n') return r;
    r.path = text.substr(head.size(), dateAt - head.size());
    r.date = text.substr(dateAt + 14, text.size() - dateAt - 15);
    r.whole = r.path.find('\n') == std::string::npos && r.date.find('\n') == std::string::npos;
    return r;
}

bool ValidUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = s[i];
        const size_t n = c < 0x80         ? 1
                         : (c >> 5) == 6  ? 2
                         : (c >> 4) == 14 ? 3
                         : (c >> 3) == 30 ? 4
                                          : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

// The test folder's real path, which must need no escaping for the
// expected Path= lines below to be written out plainly.
std::string RealFolder(const TempDir& dir) {
    const std::string real = fs::canonical(dir.path()).string();
    EXPECT_EQ(real.find_first_not_of("/-_.~abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                     "0123456789"),
              std::string::npos)
        << real;
    return real;
}

// A small tmpfs mounted at a folder of the test's own, unmounted at the end.
class TmpfsMount {
  public:
    TmpfsMount(const fs::path& point, const std::string& options) : point_(point.string()) {
        fs::create_directories(point);
        ok_ = ::mount("tmpfs", point_.c_str(), "tmpfs", 0, options.c_str()) == 0;
        error_ = errno;
    }
    ~TmpfsMount() {
        if (ok_) ::umount2(point_.c_str(), MNT_DETACH);
    }
    bool ok() const { return ok_; }
    std::string why() const {
        return "cannot mount a tmpfs here: " + std::string(std::strerror(error_));
    }
    bool MakeReadOnly() const {
        return ::mount(nullptr, point_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }
    const std::string& path() const { return point_; }

  private:
    std::string point_;
    bool ok_ = false;
    int error_ = 0;
};

const std::string kUid = std::to_string(::getuid());

} // namespace

TEST(TrashHome, LayoutAndRecord) {
    TempDir dir;
    const std::string real = RealFolder(dir);
    const std::string home = dir.str() + "/data/Trash"; // made at the first use
    fs::create_directories(dir.path() / "pics");
    const std::string file = dir.Write("pics/a b%+é.jpg", "JPEG bytes").string();

    Trash trash(home);
    EXPECT_EQ(trash.FolderFor(file), home);
    const std::string before = LocalNow();
    const Trash::Result r = trash.MoveToTrash(file);
    const std::string after = LocalNow();
    ASSERT_TRUE(r.outcome.Done()) << r.outcome.reason;
    EXPECT_FALSE(r.noTrash);
    EXPECT_FALSE(Exists(file));
    EXPECT_EQ(r.outcome.source, real + "/pics/a b%+é.jpg");
    EXPECT_EQ(r.entry.original, real + "/pics/a b%+é.jpg");
    EXPECT_EQ(r.entry.trashedFile, home + "/files/a b%+é.jpg");
    EXPECT_EQ(r.entry.infoFile, home + "/info/a b%+é.jpg.trashinfo");
    EXPECT_EQ(r.outcome.result, r.entry.trashedFile);
    EXPECT_EQ(TempDir::Read(r.entry.trashedFile), "JPEG bytes");
    for (const std::string& folder : {home, home + "/files", home + "/info"})
        EXPECT_EQ(Mode(folder), 0700u) << folder;

    const Record rec = ReadRecord(r.entry.infoFile);
    ASSERT_TRUE(rec.whole) << TempDir::Read(r.entry.infoFile);
    EXPECT_EQ(rec.path, real + "/pics/a%20b%25%2B%C3%A9.jpg"); // absolute in the home trash
    EXPECT_EQ(rec.date.size(), std::strlen("2026-12-08T19:05:49")) << rec.date; // local time
    EXPECT_LE(before, rec.date);
    EXPECT_LE(rec.date, after);
    EXPECT_EQ(Names(home + "/info"), std::vector<std::string>{"a b%+é.jpg.trashinfo"});
}

TEST(TrashHome, DefaultPlace) {
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    const std::string keptData = data ? data : "", keptHome = home ? home : "";
    ::setenv("HOME", "/home/someone", 1);
    ::setenv("XDG_DATA_HOME", "/data/here", 1);
    EXPECT_EQ(Trash::DefaultHomeTrash(), "/data/here/Trash");
    ::setenv("XDG_DATA_HOME", "relative/data", 1); // not absolute: ignored
    EXPECT_EQ(Trash::DefaultHomeTrash(), "/home/someone/.local/share/Trash");
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(Trash::DefaultHomeTrash(), "/home/someone/.local/share/Trash");
    data ? ::setenv("XDG_DATA_HOME", keptData.c_str(), 1) : ::unsetenv("XDG_DATA_HOME");
    home ? ::setenv("HOME", keptHome.c_str(), 1) : ::unsetenv("HOME");
}

// Names the trash holds already get the next free one; a stray file
// without its record, or a record without its file, is never replaced.
TEST(TrashNames, TakenNamesGetFreeOnes) {
    TempDir dir;
    const std::string home = dir.str() + "/Trash";
    Trash trash(home);
    std::vector<std::string> trashed;
    for (const char* folder : {"a", "b", "c"}) {
        fs::create_directories(dir.path() / folder);
        const auto file = dir.Write(std::string(folder) + "/x.jpg", folder);
        const Trash::Result r = trash.MoveToTrash(file);
        ASSERT_TRUE(r.outcome.Done()) << r.outcome.reason;
        trashed.push_back(fs::path(r.entry.trashedFile).filename().string());
        EXPECT_EQ(TempDir::Read(r.entry.trashedFile), folder);
    }
    EXPECT_EQ(trashed, (std::vector<std::string>{"x.jpg", "x.jpg.2", "x.jpg.3"}));

    dir.Write("Trash/files/stray.png", "stray");                  // a file without its record
    dir.Write("Trash/info/lone.png.trashinfo", "[Trash Info]\n"); // a record without its file
    for (const char* name : {"stray.png", "lone.png"}) {
        const Trash::Result r = trash.MoveToTrash(dir.Write(name, "mine"));
        ASSERT_TRUE(r.outcome.Done()) << r.outcome.reason;
        EXPECT_EQ(r.entry.trashedFile, home + "/files/" + name + ".2");
        EXPECT_EQ(r.entry.infoFile, home + "/info/" + name + ".2.trashinfo");
        EXPECT_TRUE(ReadRecord(r.entry.infoFile).whole);
    }
    EXPECT_EQ(TempDir::Read(home + "/files/stray.png"), "stray");
    EXPECT_FALSE(Exists(home + "/info/stray.png.trashinfo"));
    EXPECT_EQ(TempDir::Read(home + "/info/lone.png.trashinfo"), "[Trash Info]\n");
}

// A newline, bytes that are not UTF-8, and names of 255 bytes, whose record
// name would not fit: each is trashed with an escaped Path and comes back
// under its own name.
TEST(TrashNames, AwkwardNamesGoAndComeBack) {
    TempDir dir;
    const std::string real = RealFolder(dir);
    const std::string home = dir.str() + "/Trash";
    Trash trash(home);
    std::string accented;
    for (int i = 0; i < 125; ++i)
        accented += "é";
    struct Row {
        std::string name;
        std::string escaped; // empty: not checked
    };
    const Row rows[] = {
        {"two\nlines.jpg", "two%0Alines.jpg"},
        {"\xff\xfe bad.png", "%FF%FE%20bad.png"},
        {std::string(251, 'a') + ".jpg", std::string(251, 'a') + ".jpg"},
        {std::string(250, 'a') + "b.jpg", ""}, // same start, so the same cut
        {accented + "x.jpg", ""},
        {accented + "y.jpg", ""},
    };
    std::vector<std::string> trashedNames;
    std::vector<TrashEntry> entries;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.escaped.empty() ? row.name.substr(0, 8) : row.escaped);
        ASSERT_LE(row.name.size(), 255u);
        const std::string file = dir.Write(row.name, row.name).string();
        const Trash::Result r = trash.MoveToTrash(file);
        ASSERT_TRUE(r.outcome.Done()) << r.outcome.reason;
        const std::string name = fs::path(r.entry.trashedFile).filename().string();
        trashedNames.push_back(name);
        EXPECT_LE(name.size() + std::strlen(".trashinfo"), 255u);
        EXPECT_EQ(r.entry.infoFile, home + "/info/" + name + ".trashinfo");
        EXPECT_EQ(ValidUtf8(name), ValidUtf8(row.name));
        EXPECT_NE(name.find(fs::path(row.name).extension().string()), std::string::npos)
            << "the extension is kept";
        const Record rec = ReadRecord(r.entry.infoFile);
        EXPECT_TRUE(rec.whole);
        if (!row.escaped.empty()) {
            EXPECT_EQ(rec.path, real + "/" + row.escaped);
        }
        EXPECT_EQ(r.entry.original, real + "/" + row.name);
        EXPECT_EQ(TempDir::Read(r.entry.trashedFile), row.name);
        entries.push_back(r.entry);
    }
    EXPECT_EQ(std::set<std::string>(trashedNames.begin(), trashedNames.end()).size(),
              trashedNames.size());
    EXPECT_EQ(Names(home + "/info").size(), std::size(rows));
    EXPECT_EQ(Names(home + "/files").size(), std::size(rows));
    for (const TrashEntry& e : entries) {
        const FileOutcome o = trash.Restore(e);
        EXPECT_TRUE(o.Done()) << o.reason;
        EXPECT_EQ(TempDir::Read(e.original), fs::path(e.original).filename().string());
    }
    EXPECT_TRUE(Names(home + "/info").empty());
    EXPECT_TRUE(Names(home + "/files").empty());
}

// A link is trashed itself, whatever it points at; a folder is refused.
TEST(TrashLinksAndFolders, LinksMoveFoldersStay) {
    TempDir dir;
    const std::string home = dir.str() + "/Trash";
    Trash trash(home);
    const std::string target = dir.Write("target.jpg", "target").string();
    fs::create_directories(dir.path() / "folder");
    const struct {
        const char* link;
        std::string to;
    } links[] = {{"link.jpg", target},
                 {"dangling.jpg", dir.str() + "/gone.jpg"},
                 {"to-folder", dir.str() + "/folder"}};
    std::vector<TrashEntry> entries;
    for (const auto& l : links) {
        const std::string link = dir.str() + "/" + l.link;
        ASSERT_EQ(::symlink(l.to.c_str(), link.c_str()), 0);
        const Trash::Result r = trash.MoveToTrash(link);
        ASSERT_TRUE(r.outcome.Done()) << l.link << ": " << r.outcome.reason;
        EXPECT_FALSE(Exists(link));
        EXPECT_TRUE(fs::is_symlink(r.entry.trashedFile)) << l.link;
        EXPECT_EQ(fs::read_symlink(r.entry.trashedFile).string(), l.to);
        entries.push_back(r.entry);
    }
    EXPECT_EQ(TempDir::Read(target), "target");
    EXPECT_TRUE(fs::is_directory(dir.path() / "folder"));

    const Trash::Result r = trash.MoveToTrash(dir.str() + "/folder");
    EXPECT_EQ(r.outcome.status, OutcomeStatus::Failed);
    EXPECT_FALSE(r.outcome.reason.empty());
    EXPECT_FALSE(r.noTrash) << "a folder is refused, not a trash missing";
    EXPECT_TRUE(fs::is_directory(dir.path() / "folder"));
    EXPECT_EQ(Names(home + "/files").size(), std::size(links));
    EXPECT_EQ(Names(home + "/info").size(), std::size(links));

    const std::string inTrash = home + "/files/" + links[0].link; // trashed already
    const Trash::Result again = trash.MoveToTrash(inTrash);
    EXPECT_EQ(again.outcome.status, OutcomeStatus::Failed);
    EXPECT_TRUE(fs::is_symlink(inTrash));

    const Trash::Result missing = trash.MoveToTrash(dir.str() + "/never-was.jpg");
    EXPECT_EQ(missing.outcome.status, OutcomeStatus::Failed);
    EXPECT_FALSE(missing.outcome.reason.empty());
    EXPECT_EQ(Names(home + "/info").size(), std::size(links));

    const FileOutcome back = trash.Restore(entries[0]); // back as the link it was
    EXPECT_TRUE(back.Done()) << back.reason;
    EXPECT_EQ(fs::read_symlink(entries[0].original).string(), target);
    EXPECT_EQ(TempDir::Read(target), "target");
}

TEST(TrashRestore, BackInPlaceOnce) {
    TempDir dir;
    Trash trash(dir.str() + "/Trash");
    const std::string file = dir.Write("p.jpg", "picture").string();
    const Trash::Result r = trash.MoveToTrash(file);
    ASSERT_TRUE(r.outcome.Done()) << r.outcome.reason;

    const FileOutcome back = trash.Restore(r.entry);
    ASSERT_TRUE(back.Done()) << back.reason;
    EXPECT_EQ(back.result, r.entry.original);
    EXPECT_EQ(TempDir::Read(file), "picture");
    EXPECT_FALSE(Exists(r.entry.trashedFile));
    EXPECT_FALSE(Exists(r.entry.infoFile));

    const FileOutcome again = trash.Restore(r.entry); // nothing left in the trash
    EXPECT_EQ(again.status, OutcomeStatus::Failed);
    EXPECT_FALSE(again.reason.empty());
    EXPECT_EQ(TempDir::Read(file), "picture");
}

// Where the file cannot come back, nothing changes: the file now standing
// at its place stays, and the trash entry stays whole.
TEST(TrashRestore, NothingChangesWhenItCannotComeBack) {
    TempDir dir;
    Trash trash(dir.str() + "/Trash");
    fs::create_directories(dir.path() / "sub");
    const std::string file = dir.Write("sub/p.jpg", "old").string();
    const Trash::Result r = trash.MoveToTrash(file);
    ASSERT_TRUE(r.outcome.Done()) << r.outcome.reason;
    const std::string record = TempDir::Read(r.entry.infoFile);

    dir.Write("sub/p.jpg", "new");
    FileOutcome o = trash.Restore(r.entry);
    EXPECT_EQ(o.status, OutcomeStatus::Failed);
    EXPECT_NE(o.reason.find("taken"), std::string::npos) << o.reason;
    EXPECT_EQ(TempDir::Read(file), "new");
    EXPECT_EQ(TempDir::Read(r.entry.trashedFile), "old");
    EXPECT_EQ(TempDir::Read(r.entry.infoFile), record);

    // A link standing there counts as taken too, and is not followed.
    fs::remove(file);
    ASSERT_EQ(::symlink("elsewhere", file.c_str()), 0);
    o = trash.Restore(r.entry);
    EXPECT_EQ(o.status, OutcomeStatus::Failed);
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(TempDir::Read(r.entry.trashedFile), "old");
    fs::remove(file);

    // Its folder gone: the folder is not made again behind the user's back.
    fs::remove(dir.path() / "sub");
    o = trash.Restore(r.entry);
    EXPECT_EQ(o.status, OutcomeStatus::Failed);
    EXPECT_NE(o.reason.find("folder"), std::string::npos) << o.reason;
    EXPECT_FALSE(Exists(dir.str() + "/sub"));
    EXPECT_EQ(TempDir::Read(r.entry.trashedFile), "old");
    EXPECT_EQ(TempDir::Read(r.entry.infoFile), record);
    fs::create_directories(dir.path() / "sub");

    // The trashed file removed by someone else: the record stays for them.
    fs::remove(r.entry.trashedFile);
    o = trash.Restore(r.entry);
    EXPECT_EQ(o.status, OutcomeStatus::Failed);
    EXPECT_FALSE(o.reason.empty());
    EXPECT_FALSE(Exists(file));
    EXPECT_EQ(TempDir::Read(r.entry.infoFile), record);
}

TEST(DeleteForGood, FilesAndLinksNeverTargetsNorFolders) {
    TempDir dir;
    const std::string file = dir.Write("f.jpg", "f").string();
    const std::string target = dir.Write("target.jpg", "t").string();
    const std::string link = dir.str() + "/link.jpg";
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    fs::create_directories(dir.path() / "folder");

    for (const std::string& gone : {file, link}) {
        const FileOutcome o = Trash::DeletePermanently(gone);
        EXPECT_TRUE(o.Done()) << gone << ": " << o.reason;
        EXPECT_FALSE(Exists(gone));
    }
    EXPECT_EQ(TempDir::Read(target), "t");

    const FileOutcome folder = Trash::DeletePermanently(dir.str() + "/folder");
    EXPECT_EQ(folder.status, OutcomeStatus::Failed);
    EXPECT_FALSE(folder.reason.empty());
    EXPECT_TRUE(fs::is_directory(dir.path() / "folder"));

    const FileOutcome missing = Trash::DeletePermanently(file);
    EXPECT_EQ(missing.status, OutcomeStatus::Failed);
    EXPECT_FALSE(missing.reason.empty());
}

// Another file system: a tmpfs mounted in the test's folder.
class TrashOtherMount : public ::testing::Test {
  protected:
    void SetUp() override {
        mount_ = std::make_unique<TmpfsMount>(dir_.path() / "mnt", "size=1m,mode=0755");
        if (!mount_->ok()) GTEST_SKIP() << mount_->why();
        top_ = fs::canonical(mount_->path()).string();
        fs::create_directories(top_ + "/sub");
    }
    std::string Home() const { return dir_.str() + "/home/Trash"; }
    std::string WriteOnMount(const std::string& name, const std::string& bytes) const {
        return dir_.Write("mnt/sub/" + name, bytes).string();
    }

    TempDir dir_;
    std::unique_ptr<TmpfsMount> mount_;
    std::string top_;
};

TEST_F(TrashOtherMount, OwnTrashAtTheTopWithRelativePaths) {
    const std::string file = WriteOnMount("p.jpg", "on tmpfs");
    EXPECT_EQ(Trash::TopDirOf(file), top_);
    Trash trash(Home());
    const Trash::Result r = trash.MoveToTrash(file);
    ASSERT_TRUE(r.outcome.Done()) << r.outcome.reason;
    const std::string own = top_ + "/.Trash-" + kUid;
    EXPECT_EQ(r.entry.trashedFile, own + "/files/p.jpg");
    EXPECT_EQ(Mode(own), 0700u);
    EXPECT_EQ(TempDir::Read(r.entry.trashedFile), "on tmpfs");
    const Record rec = ReadRecord(r.entry.infoFile);
    EXPECT_TRUE(rec.whole);
    EXPECT_EQ(rec.path, "sub/p.jpg"); // relative to the mount's top folder
    EXPECT_FALSE(Exists(Home())) << "the home trash is not made for another mount's file";

    const FileOutcome back = trash.Restore(r.entry);
    EXPECT_TRUE(back.Done()) << back.reason;
    EXPECT_EQ(TempDir::Read(file), "on tmpfs");
}

// A shared .Trash is used only when it is a real folder with the sticky
// bit; otherwise it is left alone and the user's own .Trash-UID is used.
TEST_F(TrashOtherMount, SharedTrashOnlyWhenStickyAndReal) {
    const std::string shared = top_ + "/.Trash";
    const std::string elsewhere = top_ + "/elsewhere";
    struct Row {
        const char* what;
        mode_t mode; // of the shared folder (or the link's target)
        bool link;   // .Trash is a link to a sticky folder
        bool used;
    };
    const Row rows[] = {
        {"sticky folder", 01777, false, true},
        {"folder without the sticky bit", 0777, false, false},
        {"link to a sticky folder", 01777, true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove_all(shared);
        fs::remove_all(elsewhere);
        fs::remove_all(top_ + "/.Trash-" + kUid);
        const std::string real = row.link ? elsewhere : shared;
        ASSERT_EQ(::mkdir(real.c_str(), 0700), 0);
        ASSERT_EQ(::chmod(real.c_str(), row.mode), 0);
        if (row.link) {
            ASSERT_EQ(::symlink(elsewhere.c_str(), shared.c_str()), 0);
        }

        const std::string file = WriteOnMount("p.jpg", row.what);
        Trash trash(Home());
        const Trash::Result r = trash.MoveToTrash(file);
        ASSERT_TRUE(r.outcome.Done()) << r.outcome.reason;
        const std::string expected = row.used ? shared + "/" + kUid : top_ + "/.Trash-" + kUid;
        EXPECT_EQ(trash.FolderFor(file), expected);
        EXPECT_EQ(r.entry.trashedFile, expected + "/files/p.jpg");
        EXPECT_EQ(r.entry.infoFile, expected + "/info/p.jpg.trashinfo");
        EXPECT_EQ(ReadRecord(r.entry.infoFile).path, "sub/p.jpg");
        EXPECT_EQ(TempDir::Read(r.entry.trashedFile), row.what);
        if (row.used) {
            EXPECT_EQ(Mode(shared + "/" + kUid), 0700u);
            EXPECT_FALSE(Exists(top_ + "/.Trash-" + kUid));
        } else {
            EXPECT_TRUE(Names(real).empty()) << "nothing is written into a shared trash that fails";
        }
    }
}

// The user's own .Trash-UID that is a link, or someone else's, is refused:
// no trash there, and the file stays.
TEST_F(TrashOtherMount, OwnTrashThatIsALinkOrNotOursIsRefused) {
    const std::string own = top_ + "/.Trash-" + kUid;
    const std::string elsewhere = top_ + "/elsewhere";
    ASSERT_EQ(::mkdir(elsewhere.c_str(), 0700), 0);
    const std::string file = WriteOnMount("p.jpg", "stays");
    for (const bool link : {true, false}) {
        SCOPED_TRACE(link ? "a link" : "another user's");
        fs::remove_all(own);
        if (link) {
            ASSERT_EQ(::symlink(elsewhere.c_str(), own.c_str()), 0);
        } else {
            ASSERT_EQ(::mkdir(own.c_str(), 0700), 0);
            ASSERT_EQ(::chown(own.c_str(), ::getuid() + 1, ::getgid()), 0);
        }
        Trash trash(Home());
        std::string why;
        EXPECT_EQ(trash.FolderFor(file, &why), "");
        EXPECT_FALSE(why.empty());
        const Trash::Result r = trash.MoveToTrash(file);
        EXPECT_EQ(r.outcome.status, OutcomeStatus::Failed);
        EXPECT_TRUE(r.noTrash);
        EXPECT_FALSE(r.outcome.reason.empty());
        EXPECT_EQ(TempDir::Read(file), "stays");
        EXPECT_TRUE(Names(elsewhere).empty());
        if (!link) {
            EXPECT_TRUE(Names(own).empty());
        }
    }
}

// A read-only mount has no trash, whether its trash folder was made
// before or not: the file stays as it was.
TEST_F(TrashOtherMount, ReadOnlyMountHasNoTrash) {
    const std::string early = WriteOnMount("early.jpg", "early");
    const std::string file = WriteOnMount("p.jpg", "stays");
    TempDir other;
    TmpfsMount bare(other.path() / "mnt", "size=1m,mode=0755");
    ASSERT_TRUE(bare.ok()) << bare.why();
    const std::string bareFile = other.Write("mnt/q.jpg", "stays too").string();

    Trash trash(Home());
    ASSERT_TRUE(trash.MoveToTrash(early).outcome.Done()); // the trash folder exists
    ASSERT_TRUE(mount_->MakeReadOnly());
    ASSERT_TRUE(bare.MakeReadOnly()); // no trash folder at all
    for (const auto& [path, bytes] : {std::pair{file, "stays"}, std::pair{bareFile, "stays too"}}) {
        SCOPED_TRACE(path);
        const Trash::Result r = trash.MoveToTrash(path);
        EXPECT_EQ(r.outcome.status, OutcomeStatus::Failed);
        EXPECT_TRUE(r.noTrash);
        EXPECT_FALSE(r.outcome.reason.empty());
        EXPECT_EQ(TempDir::Read(path), bytes);
    }
    EXPECT_EQ(Names(top_ + "/.Trash-" + kUid + "/info"),
              std::vector<std::string>{"early.jpg.trashinfo"});
}

// A mount with no inode left cannot take the record: the file stays where
// it was, and nothing lies in the trash without its record.
TEST_F(TrashOtherMount, NoRoomForTheRecordLeavesTheFile) {
    TempDir other;
    TmpfsMount small(other.path() / "mnt", "size=1m,nr_inodes=64,mode=0755");
    ASSERT_TRUE(small.ok()) << small.why();
    Trash trash(Home());
    ASSERT_TRUE(trash.MoveToTrash(other.Write("mnt/first.jpg", "1")).outcome.Done());
    const std::string file = other.Write("mnt/p.jpg", "stays").string();
    for (int i = 0;; ++i) { // take every inode left
        const std::string filler = small.path() + "/fill" + std::to_string(i);
        const int fd = ::open(filler.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        if (fd < 0) {
            ASSERT_EQ(errno, ENOSPC);
            break;
        }
        ::close(fd);
    }
    const Trash::Result r = trash.MoveToTrash(file);
    EXPECT_EQ(r.outcome.status, OutcomeStatus::Failed);
    EXPECT_FALSE(r.outcome.reason.empty());
    EXPECT_EQ(TempDir::Read(file), "stays");
    const std::string own = small.path() + "/.Trash-" + kUid;
    EXPECT_EQ(Names(own + "/files"), std::vector<std::string>{"first.jpg"});
    EXPECT_EQ(Names(own + "/info"), std::vector<std::string>{"first.jpg.trashinfo"});
}

// A second mount of the home trash's own file system (a bind mount): a
// rename cannot cross it, so its files go to that mount's own trash, and
// nothing is left in the home trash.
TEST_F(TrashOtherMount, BindMountOfTheHomeFileSystem) {
    fs::create_directories(dir_.path() / "real");
    fs::create_directories(dir_.path() / "bound");
    const std::string bound = fs::canonical(dir_.path() / "bound").string();
    if (::mount((dir_.str() + "/real").c_str(), bound.c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "cannot bind-mount here: " << std::strerror(errno);
    const struct Unmount {
        std::string at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{bound};
    const std::string file = dir_.Write("bound/p.jpg", "bound").string();
    Trash trash(Home());
    const Trash::Result r = trash.MoveToTrash(file);
    EXPECT_TRUE(r.outcome.Done()) << r.outcome.reason;
    EXPECT_EQ(r.entry.trashedFile, bound + "/.Trash-" + kUid + "/files/p.jpg");
    EXPECT_EQ(TempDir::Read(r.entry.trashedFile), "bound");
    EXPECT_EQ(ReadRecord(r.entry.infoFile).path, "p.jpg");
    EXPECT_TRUE(Names(Home() + "/info").empty());
    EXPECT_TRUE(Names(Home() + "/files").empty());
}

// A user who may make no trash folder on a mount (its top folder is
// root's): no trash, and the file stays. Run in a child that gives up
// root, since root may write anywhere.
TEST_F(TrashOtherMount, NoTrashWhereNoneMayBeMade) {
    constexpr uid_t kNobody = 65534;
    const std::string drop = top_ + "/drop";
    ASSERT_EQ(::mkdir(drop.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(drop.c_str(), 0777), 0);
    const std::string file = dir_.Write("mnt/drop/p.jpg", "stays").string();
    ASSERT_EQ(::chmod(dir_.path().c_str(), 0711), 0); // the way down, for the other user
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(2);
        if (::access(file.c_str(), F_OK) != 0) ::_exit(3); // a folder above is closed to it
        const Trash::Result r = Trash(Home()).MoveToTrash(file);
        ::_exit(r.noTrash && !r.outcome.Done() && !r.outcome.reason.empty() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "cannot become another user";
    if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "the test folder is closed to another user";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "no trash was said";
    EXPECT_EQ(TempDir::Read(file), "stays");
    EXPECT_EQ(Names(top_), (std::vector<std::string>{"drop", "sub"}));
}
