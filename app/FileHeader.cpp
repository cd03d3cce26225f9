#include "app/FileHeader.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

PreviewRoad ReadFileHeader(const std::string& path, FileHeader& header) {
    // Non-blocking, so that opening a FIFO cannot wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return PreviewRoad::Unreadable;
    struct stat st {};
    FileHeader read;
    ssize_t n = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        do
            n = ::read(fd, read.bytes.data(), read.bytes.size());
        while (n < 0 && errno == EINTR);
    }
    ::close(fd);
    if (n < 0) return PreviewRoad::Unreadable;
    header = read;
    return header.IsGif() ? PreviewRoad::Gif : PreviewRoad::Still;
}
