#include "imaging/FileHeader.h"

#include "platform/Files.h"

#include <cerrno>
#include <unistd.h>

PreviewRoad ReadFileHeader(const std::string& path, FileHeader& header, int& error) {
    error = 0;
    const int fd = Files::OpenRegularFile(path);
    if (fd < 0) {
        error = errno;
        return PreviewRoad::Unreadable;
    }
    const PreviewRoad road = ReadFileHeader(fd, header, error);
    ::close(fd);
    return road;
}

PreviewRoad ReadFileHeader(int fd, FileHeader& header, int& error) {
    error = 0;
    FileHeader read;
    ssize_t n;
    do
        n = ::pread(fd, read.bytes.data(), read.bytes.size(), 0);
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        error = errno;
        return PreviewRoad::Unreadable;
    }
    header = read;
    return header.IsGif() ? PreviewRoad::Gif : PreviewRoad::Still;
}
