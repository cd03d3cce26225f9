#include "browse/FolderScan.h"

#include "browse/AsciiFold.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string_view>
#include <sys/stat.h>

namespace {} // namespace

bool NameLess(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = FoldAscii(static_cast<unsigned char>(a[i]));
        const unsigned char y = FoldAscii(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

bool ScanFolder(const std::string& folder, const PathMatcher& matcher, std::vector<FileRow>& rows) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) return false;
    const int fd = ::dirfd(dir.get());
    std::string path = folder;
    const std::size_t folderLength = folder.size();
    while (const dirent* e = ::readdir(dir.get())) {
        // Folders carry only the directory bit and are never listed; skip them
        // before anything else when the file system says so for free.
        if (e->d_type == DT_DIR || e->d_type == DT_CHR || e->d_type == DT_BLK ||
            e->d_type == DT_FIFO || e->d_type == DT_SOCK)
            continue;
        path.resize(folderLength);
        path += e->d_name;
        if (!matcher.Matches(path)) continue;
        struct stat st {};
        // fstatat follows links; a broken link or a vanished entry fails here.
        if (::fstatat(fd, e->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode)) continue;
        FileRow row;
        row.name = e->d_name;
        row.size = static_cast<uint64_t>(st.st_size);
        row.mtime = static_cast<int64_t>(st.st_mtim.tv_sec);
        rows.push_back(std::move(row));
    }
    std::sort(rows.begin(), rows.end(),
              [](const FileRow& a, const FileRow& b) { return NameLess(a.name, b.name); });
    return true;
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
