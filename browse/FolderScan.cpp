#include "browse/FolderScan.h"

#include "browse/AsciiFold.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <string_view>
#include <sys/stat.h>

namespace {

// The row of entry `name` of the folder open as `fd`, whose path is `path`,
// when it is a matching file. `type` is the entry's type as the folder gives
// it (DT_UNKNOWN when it does not say).
bool RowOf(int fd, const std::string& path, const char* name, unsigned char type,
           const PathMatcher& matcher, FileRow& row) {
    // Folders carry only the directory bit and are never listed; skip them
    // before anything else when the file system says so for free.
    if (type == DT_DIR || type == DT_CHR || type == DT_BLK || type == DT_FIFO || type == DT_SOCK)
        return false;
    if (!matcher.Matches(path)) return false;
    struct stat st {};
    // fstatat follows links; a broken link or a vanished entry fails here.
    if (::fstatat(fd, name, &st, 0) != 0 || !S_ISREG(st.st_mode)) return false;
    row.name = name;
    row.size = static_cast<uint64_t>(st.st_size);
    row.mtime = static_cast<int64_t>(st.st_mtim.tv_sec);
    return true;
}

} // namespace

FolderReader::~FolderReader() {
    if (dir_) ::closedir(dir_);
}

bool FolderReader::Open(const std::string& folder) {
    if (dir_) ::closedir(dir_);
    dir_ = ::opendir(folder.c_str());
    if (!dir_) return false;
    path_ = folder;
    folderLength_ = folder.size();
    return true;
}

bool FolderReader::Read(const PathMatcher& matcher, std::vector<FileRow>& rows,
                        std::size_t entries) {
    if (!dir_) return false;
    const int fd = ::dirfd(dir_);
    for (std::size_t n = 0; n < entries; ++n) {
        const dirent* e = ::readdir(dir_);
        if (!e) return false;
        path_.resize(folderLength_);
        path_ += e->d_name;
        FileRow row;
        if (RowOf(fd, path_, e->d_name, e->d_type, matcher, row)) rows.push_back(std::move(row));
    }
    return true;
}

bool ScanFolder(const std::string& folder, const PathMatcher& matcher, std::vector<FileRow>& rows) {
    FolderReader reader;
    if (!reader.Open(folder)) return false;
    while (reader.Read(matcher, rows, std::numeric_limits<std::size_t>::max())) {
    }
    std::sort(rows.begin(), rows.end(),
              [](const FileRow& a, const FileRow& b) { return NameLess(a.name, b.name); });
    return true;
}

bool ScanNames(const std::string& folder, const PathMatcher& matcher,
               std::span<const std::string> names, std::vector<FileRow>& rows) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    std::string path = folder;
    for (const std::string& name : names) {
        // A name with a "/" or a NUL is no entry of this folder.
        if (name.empty() || name.find('/') != std::string::npos ||
            name.find('\0') != std::string::npos || name == "." || name == "..")
            continue;
        path.resize(folder.size());
        path += name;
        FileRow row;
        if (RowOf(fd, path, name.c_str(), DT_UNKNOWN, matcher, row)) rows.push_back(std::move(row));
    }
    ::close(fd);
    return true;
}

int NameOrder(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    // Bytes that are equal are equal folded too: skip them at full speed.
    std::size_t i = std::size_t(
        std::mismatch(a.begin(), a.begin() + std::ptrdiff_t(n), b.begin()).first - a.begin());
    int bytes = 0; // the first difference of the bytes, for names that differ only in case
    for (; i < n; ++i) {
        const unsigned char x = static_cast<unsigned char>(a[i]);
        const unsigned char y = static_cast<unsigned char>(b[i]);
        if (x == y) continue;
        if (bytes == 0) bytes = x < y ? -1 : 1;
        const unsigned char fx = FoldAscii(x), fy = FoldAscii(y);
        if (fx != fy) return fx < fy ? -1 : 1;
    }
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return bytes;
}

bool NameLess(const std::string& a, const std::string& b) {
    return NameOrder(a, b) < 0;
}

bool ScanSubfolders(const std::string& folder, std::vector<std::string>& names) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) return false;
    const int fd = ::dirfd(dir.get());
    while (const dirent* e = ::readdir(dir.get())) {
        const std::string_view name = e->d_name;
        if (name == "." || name == "..") continue;
        if (e->d_type != DT_DIR && e->d_type != DT_LNK && e->d_type != DT_UNKNOWN) continue;
        struct stat st {};
        // Links to folders count; broken links and vanished entries do not.
        if (e->d_type != DT_DIR && (::fstatat(fd, e->d_name, &st, 0) != 0 || !S_ISDIR(st.st_mode)))
            continue;
        names.emplace_back(name);
    }
    std::sort(names.begin(), names.end(), NameLess);
    return true;
}
