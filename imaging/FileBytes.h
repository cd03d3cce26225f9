// Reading a picture file whole: only regular files, opened without waiting
// (platform/Files.h), and no larger than a surface may be. POSIX.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The bytes of the regular file open on `fd`, read from its start.
bool ReadFdBytes(int fd, std::vector<uint8_t>& bytes);
// The same for a path (the file system's bytes).
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes);
