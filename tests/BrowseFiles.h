// Files for the file list's tests, made by their bytes: a size and a time of
// change of the test's choosing, or empty and quick for folders of thousands.
#pragma once

#include <QTest>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// A file of `size` bytes whose time of change is `mtime`.
inline void MakeFile(const std::string& path, off_t size, time_t mtime = 1700000000) {
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    QVERIFY(fd >= 0);
    QVERIFY(::ftruncate(fd, size) == 0);
    const timespec times[2] = {{mtime, 0}, {mtime, 0}};
    QVERIFY(::futimens(fd, times) == 0);
    ::close(fd);
}

// An empty file.
inline void Touch(const std::string& path) {
    QVERIFY(::close(::creat(path.c_str(), 0644)) == 0);
}
