// The file system questions every floor asks, in one place: whether a path
// is a folder, and opening a file for reading without ever waiting (a FIFO or
// a device opened for reading could block for ever or never end). POSIX only,
// no Qt, so the cores, the helper and the fuzzers use it too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Files {

// True when `path` names a folder (or a link to one).
bool IsFolder(const std::string& path);

// Opens `path` (the file system's bytes) for reading as a regular file,
// without waiting and closed on exec: the descriptor, or -1 with errno set
// (EISDIR for a folder, EINVAL for a device, FIFO or socket).
int OpenRegularFile(const std::string& path);

// The whole regular file open on `fd`, read from its start: false when it is
// not a regular file, is larger than `maxBytes` or cannot be held in memory.
// A file that shrinks while read gives what there is.
bool ReadWhole(int fd, std::vector<uint8_t>& bytes, uint64_t maxBytes);

// A short text for a folder that cannot be listed, by its errno: "Folder not
// found", "Permission denied", or the system's own text.
std::string FolderErrorText(int error);

} // namespace Files
