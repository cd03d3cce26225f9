#include "app/mFileFound.h"
#include "app/mStartup.h"
#include "tests/TempDir.h"

#include <gtest/gtest.h>

namespace {

TEST(AddBackslash, AppendsOneSlashAndChangesItsArgument) {
    struct Row {
        std::string in, out;
    } rows[] = {
        {"/", "/"}, {"", "/"}, {"/home/pics", "/home/pics/"}, {"/home/pics/", "/home/pics/"}};
    for (auto& row : rows) {
        std::string arg = row.in;
        EXPECT_EQ(AddBackslash(arg), row.out) << row.in;
        EXPECT_EQ(arg, row.out) << row.in;
    }
}

TEST(AddBackslash, StoredPathsAreTrimmedBeforeUse) {
    EXPECT_EQ(TrimSpaces("  /photos  "), "/photos");
    EXPECT_EQ(TrimSpaces("   "), "");
    EXPECT_EQ(TrimSpaces("/a b"), "/a b");
}

TEST(FileFound, FilesFoldersAndWildcards) {
    TempDir dir;
    dir.Write("Photo.BMP", "x");
    std::filesystem::create_directory(dir.path() / "sub");
    std::filesystem::create_directory(dir.path() / "empty");
    const std::string d = dir.str();
    EXPECT_TRUE(FileFound(d + "/Photo.BMP"));
    EXPECT_TRUE(FileFound(d + "/sub"));
    EXPECT_TRUE(FileFound(d));
    EXPECT_FALSE(FileFound(d + "/missing.bmp"));
    EXPECT_FALSE(FileFound(""));
    EXPECT_TRUE(FileFound(d + "/*.bmp"));
    EXPECT_TRUE(FileFound(d + "/ph?to.*"));
    EXPECT_FALSE(FileFound(d + "/*.gif"));
    EXPECT_FALSE(FileFound(d + "/empty/*"));
    EXPECT_FALSE(FileFound(d + "/no-such-folder/*"));
}

} // namespace
