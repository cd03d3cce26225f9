#include "app/DestinationList.h"

#include "app/mSetup.h"
#include "platform/Files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

namespace {

// A path as it is kept: no trailing slash but for the root itself.
std::string Trimmed(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool Keepable(const std::string& path) {
    return !path.empty() && path.front() == '/' && path.size() <= DestinationList::kLongestPath &&
           path.find('\0') == std::string::npos;
}

// Syncs the folder `folder`, so that a rename in it is on the disk.
void SyncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

DestinationList::DestinationList(std::filesystem::path file) : file_(std::move(file)) {}

std::filesystem::path DestinationList::FileFor(const std::string& xdgConfigHome,
                                               const std::string& home) {
    const std::filesystem::path folder = mSetup::UserConfigFolder(xdgConfigHome, home);
    return folder.empty() ? folder : folder / kFileName;
}

std::filesystem::path DestinationList::UserFile() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string home;
    if (const char* env = std::getenv("HOME")) home = env;
    if (home.empty())
        if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
            home = entry->pw_dir;
    return FileFor(xdg ? xdg : "", home);
}

std::vector<std::string> DestinationList::Parse(const std::string& bytes) {
    // Leniency destinations-damaged: a piece after the last NUL was cut short
    // and is dropped; an empty, relative, overlong or repeated path is
    // skipped; paths past kMostKept are ignored. What remains is whole.
    std::vector<std::string> paths;
    std::size_t start = 0;
    for (std::size_t end;
         paths.size() < kMostKept && (end = bytes.find('\0', start)) != std::string::npos;
         start = end + 1) {
        std::string path = Trimmed(bytes.substr(start, end - start));
        if (Keepable(path) && std::find(paths.begin(), paths.end(), path) == paths.end())
            paths.push_back(std::move(path));
    }
    return paths;
}

void DestinationList::Load() {
    paths_.clear();
    if (file_.empty()) return;
    // Opened without waiting: a FIFO or a device put there reads as nothing.
    const int fd = Files::OpenRegularFile(file_.string());
    if (fd < 0) return;
    std::string bytes(kLongestFile, '\0');
    std::size_t have = 0;
    while (have < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + have, bytes.size() - have);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        have += std::size_t(n);
    }
    ::close(fd);
    bytes.resize(have);
    paths_ = Parse(bytes);
}

bool DestinationList::Remember(const std::string& folder) {
    const std::string path = Trimmed(folder);
    if (!Keepable(path)) {
        errno = EINVAL;
        return false;
    }
    Load();
    paths_.erase(std::remove(paths_.begin(), paths_.end(), path), paths_.end());
    paths_.insert(paths_.begin(), path);
    if (paths_.size() > kMostKept) paths_.resize(kMostKept);
    return Save();
}

bool DestinationList::Save() const {
    if (file_.empty()) {
        errno = ENOENT;
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(file_.parent_path(), ec); // the first save makes it
    std::string bytes;
    for (const std::string& path : paths_)
        bytes.append(path).push_back('\0');
    std::filesystem::path temporary = file_;
    temporary += ".new" + std::to_string(::getpid());
    FILE* out = std::fopen(temporary.c_str(), "wbe");
    if (!out) return false;
    // On the disk before the rename: a crash leaves the old list or the new one.
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size() &&
                   std::fflush(out) == 0 && ::fsync(::fileno(out)) == 0;
    int error = errno;
    if (std::fclose(out) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && ::rename(temporary.c_str(), file_.c_str()) == 0) {
        SyncFolder(file_.parent_path());
        return true;
    }
    if (written) error = errno;
    ::unlink(temporary.c_str());
    errno = error;
    return false;
}
