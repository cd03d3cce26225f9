// Reading a picture file whole: only regular files (a FIFO or a device
// could block or never end), opened without following into a wait, and no
// larger than a surface may be. POSIX.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The bytes of the regular file open on `fd`, read from its start.
bool ReadFdBytes(int fd, std::vector<uint8_t>& bytes);
// The same for a path (the file system's bytes).
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes);
// Opens `path` for reading as a regular file: the descriptor, or -1.
int OpenRegularFile(const std::string& path);
