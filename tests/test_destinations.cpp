// The last destinations of copies and moves: kept most recent first, ten at
// the most, through a file of NUL-ended paths that any byte but NUL may be
// part of; a damaged, short, huge or strange file reads as what is whole in
// it; the file is replaced whole, and what another window remembered stays.
#include "app/DestinationList.h"

#include "tests/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using Paths = std::vector<std::string>;

std::string Kept(const Paths& paths) {
    std::string bytes;
    for (const std::string& p : paths)
        bytes.append(p).push_back('\0');
    return bytes;
}

} // namespace

TEST(DestinationList, RoundTripMostRecentFirst) {
    TempDir dir;
    const auto file = dir.path() / "cfg" / "vantrel" / DestinationList::kFileName;
    DestinationList list(file);
    list.Load(); // no file yet: nothing
    EXPECT_TRUE(list.Paths().empty());
    for (const char* p : {"/pictures/a", "/pictures/b", "/media/c/"})
        ASSERT_TRUE(list.Remember(p)) << p;
    EXPECT_EQ(list.Paths(), (Paths{"/media/c", "/pictures/b", "/pictures/a"}));
    // Chosen again, a folder moves to the front and is not kept twice.
    ASSERT_TRUE(list.Remember("/pictures/a/"));
    const Paths expected{"/pictures/a", "/media/c", "/pictures/b"};
    EXPECT_EQ(list.Paths(), expected);
    DestinationList again(file);
    again.Load();
    EXPECT_EQ(again.Paths(), expected);
    EXPECT_EQ(TempDir::Read(file), Kept(expected));
    // Written beside and renamed over: nothing else is left in the folder.
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(file.parent_path()))
        entries += e.path() == file ? 0 : 1;
    EXPECT_EQ(entries, 0);
    // No absolute path, no change.
    EXPECT_FALSE(list.Remember("relative/folder"));
    EXPECT_FALSE(list.Remember(""));
    EXPECT_EQ(list.Paths(), expected);
}

TEST(DestinationList, TenAtTheMostTheOldestGoes) {
    TempDir dir;
    const auto file = dir.path() / DestinationList::kFileName;
    DestinationList list(file);
    for (int i = 0; i < 15; ++i)
        ASSERT_TRUE(list.Remember("/d/" + std::to_string(i)));
    ASSERT_EQ(list.Paths().size(), DestinationList::kMostKept);
    EXPECT_EQ(list.Paths().front(), "/d/14");
    EXPECT_EQ(list.Paths().back(), "/d/5");
    DestinationList again(file);
    again.Load();
    EXPECT_EQ(again.Paths(), list.Paths());
}

TEST(DestinationList, AnyByteButNulInAPath) {
    TempDir dir;
    const auto file = dir.path() / DestinationList::kFileName;
    const std::string newline = "/pictures/two\nlines";
    const std::string notUtf8 = std::string("/pictures/\xff\xfe caf\xe9");
    const std::string longest = "/" + std::string(DestinationList::kLongestPath - 1, 'x');
    DestinationList list(file);
    for (const std::string& p : {longest, notUtf8, newline})
        ASSERT_TRUE(list.Remember(p));
    DestinationList again(file);
    again.Load();
    EXPECT_EQ(again.Paths(), (Paths{newline, notUtf8, longest}));
    // One byte longer than any path can be is refused.
    EXPECT_FALSE(list.Remember(longest + "y"));
}

TEST(DestinationList, DamagedFilesGiveWhatIsWhole) {
    using namespace std::string_literals;
    const std::string overlong = "/" + std::string(DestinationList::kLongestPath, 'o');
    struct Row {
        const char* what;
        std::string bytes;
        Paths expected;
    };
    const std::vector<Row> rows = {
        {"empty", "", {}},
        {"one path cut short", "/pictures/a", {}},
        {"the last path cut short", "/a\0/b\0/pictures/c"s, {"/a", "/b"}},
        {"empty and relative entries", "\0\0rel\0/a\0\0"s, {"/a"}},
        {"twice the same", "/a\0/b\0/a/\0"s, {"/a", "/b"}},
        {"a path longer than any", "/a\0"s + overlong + "\0/b\0"s, {"/a", "/b"}},
        {"more than ten",
         Kept({"/0", "/1", "/2", "/3", "/4", "/5", "/6", "/7", "/8", "/9", "/10"}),
         {"/0", "/1", "/2", "/3", "/4", "/5", "/6", "/7", "/8", "/9"}},
        {"huge, no NUL", std::string(5u << 20, 'x'), {}},
        {"huge after two paths", "/a\0/b\0"s + std::string(5u << 20, '\0'), {"/a", "/b"}},
        {"binary noise", "\x89PNG\r\n\x1a\n\0\0\0\rIHDR"s, {}},
    };
    for (const Row& r : rows) {
        TempDir dir;
        const auto file = dir.Write(DestinationList::kFileName, r.bytes);
        DestinationList list(file);
        list.Load();
        EXPECT_EQ(list.Paths(), r.expected) << r.what;
        // Remembering over a damaged file keeps what was whole.
        ASSERT_TRUE(list.Remember("/new")) << r.what;
        Paths after{"/new"};
        for (const std::string& p : r.expected)
            if (after.size() < DestinationList::kMostKept) after.push_back(p);
        DestinationList again(file);
        again.Load();
        EXPECT_EQ(again.Paths(), after) << r.what;
    }
}

TEST(DestinationList, NoFileToReadOrWrite) {
    TempDir dir;
    // A folder, a FIFO (read without waiting for a writer) in its place.
    std::filesystem::create_directory(dir.path() / "folder");
    ASSERT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
    for (const char* name : {"folder", "fifo", "missing"}) {
        DestinationList list(dir.path() / name);
        list.Load();
        EXPECT_TRUE(list.Paths().empty()) << name;
    }
    // The configuration folder cannot be made (a file stands there): the
    // list in memory changes, the failure is said.
    dir.Write("plain", "x");
    DestinationList blocked(dir.path() / "plain" / "vantrel" / DestinationList::kFileName);
    EXPECT_FALSE(blocked.Remember("/a"));
    EXPECT_EQ(blocked.Paths(), Paths{"/a"});
    DestinationList nowhere{std::filesystem::path()};
    EXPECT_FALSE(nowhere.Remember("/a"));
}

TEST(DestinationList, AnotherWindowsChoiceStays) {
    TempDir dir;
    const auto file = dir.path() / DestinationList::kFileName;
    DestinationList first(file), second(file);
    first.Load();
    second.Load();
    ASSERT_TRUE(first.Remember("/a"));
    ASSERT_TRUE(second.Remember("/b"));
    ASSERT_TRUE(first.Remember("/c"));
    EXPECT_EQ(first.Paths(), (Paths{"/c", "/b", "/a"}));
}

TEST(DestinationList, FileInTheUsersConfigurationFolder) {
    EXPECT_EQ(DestinationList::FileFor("/cfg", "/home/u"), "/cfg/vantrel/destinations");
    EXPECT_EQ(DestinationList::FileFor("", "/home/u"), "/home/u/.config/vantrel/destinations");
    // A relative $XDG_CONFIG_HOME is not used.
    EXPECT_EQ(DestinationList::FileFor("cfg", "/home/u"), "/home/u/.config/vantrel/destinations");
    EXPECT_EQ(DestinationList::FileFor("", ""), std::filesystem::path());
}
