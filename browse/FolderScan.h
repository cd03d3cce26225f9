// One pass over a folder for the file list: the entries that match a pattern
// and count as files, with their size and time of last change, in name order.
// Standard library and POSIX only.
#pragma once

#include "browse/PathMatchSpec.h"

#include <cstdint>
#include <string>
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

// Name order as people expect it: without regard to case, then by bytes.
bool NameLess(const std::string& a, const std::string& b);

// The folders inside `folder` (links to folders too, "." and ".." not), as
// the file system's bytes, in name order. False when it cannot be read.
bool ScanSubfolders(const std::string& folder, std::vector<std::string>& names);
