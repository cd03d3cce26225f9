// Renaming a file in its folder, on real files: the names refused and why,
// the extension question, and the rename itself, which never replaces a file.
#include "fileops/Rename.h"
#include "tests/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/mount.h>

namespace fs = std::filesystem;

namespace {

ino_t Inode(const fs::path& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

TEST(Rename, NamesRefusedWithTheirReason) {
    TempDir dir;
    dir.Write("photo.jpg", "photo");
    dir.Write("other.jpg", "other");
    dir.Write("Photo.JPG", "a second file, on a file system that tells case apart");
    const std::string longest(255, 'x');
    const struct {
        std::string name;
        const char* reason; // "" for a name taken
    } cases[] = {
        {"", "The name is empty"},
        {".", "A name cannot be \".\" or \"..\""},
        {"..", "A name cannot be \".\" or \"..\""},
        {"a/b.jpg", "A name cannot hold \"/\""},
        {"/", "A name cannot hold \"/\""},
        {std::string("a\0b.jpg", 7), "A name cannot hold a NUL character"},
        {longest + "x", "The name is too long"},
        {"other.jpg", "A file of that name exists"},
        {"Photo.JPG", "A file of that name exists"},
        {"photo.jpg", ""},
        {"PHOTO.jpg", ""},
        {longest, ""},
        {"two\nlines.jpg", ""},
        {"bad \xff utf8.jpg", ""},
        {" spaced .jpg", ""},
        {".hidden", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("name of " + std::to_string(c.name.size()) + " bytes: " + c.name);
        EXPECT_EQ(RefuseNewName(dir.str(), "photo.jpg", c.name), c.reason);
    }
}

TEST(Rename, ExtensionChangesWithoutRegardToCase) {
    const struct {
        const char* before;
        const char* after;
        bool changes;
    } cases[] = {
        {"a.jpg", "b.jpg", false},    {"a.JPG", "a.jpg", false},    {"a.jpg", "a.jpeg", true},
        {"a", "a.jpg", true},         {"a.jpg", "a", true},         {"a.b.jpg", "c.jpg", false},
        {"a.jpg", "a.jpg.png", true}, {".hidden", ".other", false}, {"a.", "b.", false},
        {"a.", "a", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExtensionChanges(c.before, c.after), c.changes) << c.before << " to " << c.after;
}

TEST(Rename, RenamesInPlaceAndNeverReplaces) {
    TempDir dir;
    const std::string names[] = {"new.jpg", "two\nlines.jpg", "bad \xff\xfe utf8.jpg",
                                 std::string(255, 'y'), "Old.JPG"};
    auto path = dir.Write("old.jpg", "the picture");
    const ino_t inode = Inode(path);
    for (const std::string& name : names) {
        SCOPED_TRACE("to a name of " + std::to_string(name.size()) + " bytes");
        const FileOutcome o = RenameFile(path.string(), name);
        ASSERT_TRUE(o.Done()) << o.reason;
        EXPECT_EQ(o.source, path.string());
        EXPECT_EQ(o.result, (dir.path() / name).string());
        EXPECT_FALSE(fs::exists(path));
        path = dir.path() / name;
        EXPECT_EQ(Inode(path), inode);
        EXPECT_EQ(TempDir::Read(path), "the picture");
    }

    dir.Write("taken.jpg", "another picture");
    const FileOutcome taken = RenameFile(path.string(), "taken.jpg");
    EXPECT_EQ(taken.status, OutcomeStatus::Failed);
    EXPECT_EQ(taken.reason, "A file of that name exists");
    EXPECT_EQ(TempDir::Read(dir.path() / "taken.jpg"), "another picture");
    EXPECT_EQ(TempDir::Read(path), "the picture");

    const FileOutcome empty = RenameFile(path.string(), "");
    EXPECT_EQ(empty.status, OutcomeStatus::Failed);
    EXPECT_EQ(empty.reason, "The name is empty");
    EXPECT_EQ(empty.result, "");

    const FileOutcome same = RenameFile(path.string(), path.filename());
    EXPECT_EQ(same.status, OutcomeStatus::Skipped);
    EXPECT_EQ(same.result, "");
    EXPECT_EQ(TempDir::Read(path), "the picture");

    const FileOutcome gone = RenameFile((dir.path() / "gone.jpg").string(), "back.jpg");
    EXPECT_EQ(gone.status, OutcomeStatus::Failed);
    EXPECT_EQ(gone.reason, "The file is gone");
    EXPECT_EQ(gone.error, ENOENT);
    EXPECT_FALSE(fs::exists(dir.path() / "back.jpg"));
}

TEST(Rename, ALinkIsRenamedNotItsTarget) {
    TempDir dir;
    const auto target = dir.Write("target.jpg", "target");
    fs::create_symlink("target.jpg", dir.path() / "link.jpg");
    const FileOutcome o = RenameFile((dir.path() / "link.jpg").string(), "renamed.jpg");
    ASSERT_TRUE(o.Done()) << o.reason;
    EXPECT_EQ(fs::read_symlink(dir.path() / "renamed.jpg"), "target.jpg");
    EXPECT_EQ(TempDir::Read(target), "target");
    EXPECT_FALSE(fs::is_symlink(dir.path() / "link.jpg"));
}

TEST(Rename, InAReadOnlyFolderTheReasonSaysSo) {
    TempDir dir;
    const auto mnt = dir.path() / "mnt";
    fs::create_directory(mnt);
    if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno)
                     << "): the test needs a read-only file system";
    std::ofstream(mnt / "a.jpg") << "a";
    ASSERT_EQ(::mount(nullptr, mnt.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    const FileOutcome o = RenameFile((mnt / "a.jpg").string(), "b.jpg");
    EXPECT_EQ(o.status, OutcomeStatus::Failed);
    EXPECT_EQ(o.reason, "The folder is read-only");
    EXPECT_EQ(o.error, EROFS);
    EXPECT_EQ(TempDir::Read(mnt / "a.jpg"), "a");
    ::umount2(mnt.c_str(), MNT_DETACH);
}
