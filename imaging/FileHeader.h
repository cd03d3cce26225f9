// Deciding what a chosen file is, before any decoder sees it: its first bytes
// are read, and a file whose first three bytes are "GIF" goes to the animated
// viewer, any other readable file to the still-image loader. A file that
// cannot be read as a regular file (vanished, a folder, a FIFO, no read
// permission) goes nowhere. Standard library and POSIX only.
#pragma once

#include <array>
#include <string>

struct FileHeader {
    static constexpr std::size_t kBytes = 6; // "GIF89a": signature and version
    std::array<char, kBytes> bytes{};        // all zero before any file is chosen

    // True when the signature is exactly "GIF" (a shorter file is no GIF).
    bool IsGif() const { return bytes[0] == 'G' && bytes[1] == 'I' && bytes[2] == 'F'; }
};

enum class PreviewRoad { Unreadable, Still, Gif };

// Reads the first bytes of `path` into `header` (the rest zero) and says
// which road the file takes. `header` is left alone when the file cannot be
// read; `error` then says why (an errno value), and is 0 otherwise. Never
// blocks: a FIFO or a device is refused before it is read.
PreviewRoad ReadFileHeader(const std::string& path, FileHeader& header, int& error);
// The same for a file open already (read from its start, whatever its offset).
PreviewRoad ReadFileHeader(int fd, FileHeader& header, int& error);
inline PreviewRoad ReadFileHeader(const std::string& path, FileHeader& header) {
    int error = 0;
    return ReadFileHeader(path, header, error);
}
