// One pass over a folder for the file list: the entries that match a pattern
// and count as files, with their size and time of last change, in name order;
// or the same a part at a time, for a list that shows its first rows before
// the folder is read to its end. Standard library and POSIX only.
#pragma once

#include "browse/PathMatchSpec.h"

#include <cstdint>
#include <dirent.h>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct FileRow {
    std::string name;  // the file system's bytes, no folder part
    uint64_t size = 0; // bytes
    int64_t mtime = 0; // seconds since the epoch, UTC
    int typeIndex = 0; // entry in the shared type and icon lists (filled by the list)
};

// `folder` ends in "/". Entries are matched as folder + name. Regular files
// and links to them are listed (hidden ones too); folders, devices, FIFOs,
// sockets, broken links and entries that vanish while scanned are not, and
// nothing is opened. False when the folder cannot be read.
bool ScanFolder(const std::string& folder, const PathMatcher& matcher, std::vector<FileRow>& rows);

// The same pass, a few entries at a time, in the order the file system
// gives them (not sorted).
class FolderReader {
  public:
    FolderReader() = default;
    ~FolderReader();
    FolderReader(const FolderReader&) = delete;
    FolderReader& operator=(const FolderReader&) = delete;

    // `folder` ends in "/". False, with errno set, when it cannot be read.
    bool Open(const std::string& folder);
    // Appends the matching files among the next `entries` entries to `rows`;
    // false once the folder's end has been reached.
    bool Read(const PathMatcher& matcher, std::vector<FileRow>& rows, std::size_t entries);

  private:
    DIR* dir_ = nullptr;
    std::string path_; // the folder, then each entry's path in turn
    std::size_t folderLength_ = 0;
};

// The rows of those of `names` that are matching files of `folder` (ending in
// "/") now, in the order of `names`; the others (gone, no file, not matching)
// have none. False, with errno set, when the folder cannot be opened.
bool ScanNames(const std::string& folder, const PathMatcher& matcher,
               std::span<const std::string> names, std::vector<FileRow>& rows);

// Name order as people expect it: without regard to case, then by bytes.
bool NameLess(const std::string& a, const std::string& b);
// The same as a three-way comparison: negative, zero (the same bytes) or positive.
int NameOrder(std::string_view a, std::string_view b);

// The folders inside `folder` (links to folders too, "." and ".." not), as
// the file system's bytes, in name order. False when it cannot be read.
bool ScanSubfolders(const std::string& folder, std::vector<std::string>& names);
