#include "app/FileHeader.h"

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
    FileHeader read;
    ssize_t n;
    do
        n = ::read(fd, read.bytes.data(), read.bytes.size());
    while (n < 0 && errno == EINTR);
    if (n < 0) error = errno;
    ::close(fd);
    if (n < 0) return PreviewRoad::Unreadable;
    header = read;
    return header.IsGif() ? PreviewRoad::Gif : PreviewRoad::Still;
}
