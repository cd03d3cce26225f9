#include "imaging/FileBytes.h"

#include "imaging/cDIB.h"
#include "platform/Files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool ReadFdBytes(int fd, std::vector<uint8_t>& bytes) {
    return Files::ReadWhole(fd, bytes, uint64_t(kMaxSurfaceBytes));
}

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes) {
    const int fd = Files::OpenRegularFile(path);
    if (fd < 0) return false;
    const bool ok = ReadFdBytes(fd, bytes);
    ::close(fd);
    return ok;
}
