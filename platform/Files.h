// The file system questions every floor asks, in one place: whether a path
// is a folder, and opening a file for reading without ever waiting (a FIFO or
// a device opened for reading could block for ever or never end). POSIX only,
// no Qt, so the cores, the helper and the fuzzers use it too.
#pragma once

#include <string>

namespace Files {

// True when `path` names a folder (or a link to one).
bool IsFolder(const std::string& path);

// Opens `path` (the file system's bytes) for reading as a regular file,
// without waiting and closed on exec: the descriptor, or -1 with errno set
// (EISDIR for a folder, EINVAL for a device, FIFO or socket).
int OpenRegularFile(const std::string& path);

// A short text for a folder that cannot be listed, by its errno: "Folder not
// found", "Permission denied", or the system's own text.
std::string FolderErrorText(int error);

} // namespace Files
