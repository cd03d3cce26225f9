#include "imaging/FileBytes.h"

#include "imaging/cDIB.h"
#include "platform/Files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool ReadFdBytes(int fd, std::vector<uint8_t>& bytes) {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        uint64_t(st.st_size) > uint64_t(kMaxSurfaceBytes))
        return false;
    bytes.resize(std::size_t(st.st_size));
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

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes) {
    const int fd = Files::OpenRegularFile(path);
    if (fd < 0) return false;
    const bool ok = ReadFdBytes(fd, bytes);
    ::close(fd);
    return ok;
}
