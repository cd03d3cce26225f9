#include "platform/Files.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace Files {

bool IsFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int OpenRegularFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

bool ReadWhole(int fd, std::vector<uint8_t>& bytes, uint64_t maxBytes) {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || uint64_t(st.st_size) > maxBytes)
        return false;
    try {
        bytes.resize(std::size_t(st.st_size)); // the whole file in reads of its known size
    } catch (const std::bad_alloc&) {
        bytes.clear();
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break; // the file shrank while read: what there is
        done += std::size_t(n);
    }
    bytes.resize(done);
    return true;
}

std::string FolderErrorText(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return "Folder not found";
    case EACCES:
    case EPERM:
        return "Permission denied";
    default:
        return std::strerror(error);
    }
}

} // namespace Files
