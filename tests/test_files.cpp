// The file-system questions every floor shares: nothing that is not a
// regular file is opened for reading (a FIFO would block for ever), a file's
// bytes are read within a bound, and a folder that cannot be listed is named
// for what went wrong.
#include "platform/Files.h"
#include "tests/TempDir.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

TEST(Files, OnlyRegularFilesOpen) {
    TempDir dir;
    const std::string base = dir.path().string();
    std::ofstream(base + "/file.png") << "12345";
    ASSERT_EQ(::mkfifo((base + "/fifo.png").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir((base + "/folder.png").c_str(), 0755), 0);
    ASSERT_EQ(::symlink((base + "/file.png").c_str(), (base + "/link.png").c_str()), 0);
    struct Row {
        const char* name;
        int error; // 0: it opens
    };
    const Row rows[] = {
        {"file.png", 0},        {"link.png", 0},         {"fifo.png", EINVAL},
        {"folder.png", EISDIR}, {"missing.png", ENOENT},
    };
    for (const Row& r : rows) {
        errno = 0;
        const int fd = Files::OpenRegularFile(base + "/" + r.name); // never waits
        if (r.error == 0) {
            EXPECT_GE(fd, 0) << r.name;
            std::vector<uint8_t> bytes;
            EXPECT_TRUE(Files::ReadWhole(fd, bytes, 5)) << r.name;
            EXPECT_EQ(bytes.size(), 5u);
            EXPECT_FALSE(Files::ReadWhole(fd, bytes, 4)) << "past the bound";
            ::close(fd);
        } else {
            EXPECT_EQ(fd, -1) << r.name;
            EXPECT_EQ(errno, r.error) << r.name;
        }
    }
    EXPECT_TRUE(Files::IsFolder(base + "/folder.png"));
    EXPECT_FALSE(Files::IsFolder(base + "/file.png"));
    EXPECT_FALSE(Files::IsFolder(""));
    std::vector<uint8_t> bytes;
    EXPECT_FALSE(Files::ReadWhole(-1, bytes, 100));
}

TEST(Files, FolderErrorTexts) {
    EXPECT_EQ(Files::FolderErrorText(ENOENT), "Folder not found");
    EXPECT_EQ(Files::FolderErrorText(ENOTDIR), "Folder not found");
    EXPECT_EQ(Files::FolderErrorText(EACCES), "Permission denied");
    EXPECT_EQ(Files::FolderErrorText(EPERM), "Permission denied");
    EXPECT_EQ(Files::FolderErrorText(EIO), std::strerror(EIO));
}
