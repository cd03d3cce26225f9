// What decoding one still picture came to, the same whether the confined
// helper decoded it or this process did (when the helper program is missing):
// how it ended, a reason a person can read, the picture, the original's size,
// whether a camera's embedded preview stands for its raw data, and how the
// decoder was confined. Standard library only.
#pragma once

#include "imaging/cDIB.h"

#include <cstdint>
#include <string>

// A file as it was when it was opened for decoding: a picture cached under
// it is of exactly that file.
struct FileStamp {
    uint64_t size = 0;
    int64_t changedNs = 0; // time of last change
    bool operator==(const FileStamp&) const = default;
};

struct DecodeResult {
    enum class Status {
        Decoded,    // `picture` holds the picture
        NotDecoded, // the file was read and no reader knows it: the file's fault
        Unreadable, // it could not be opened as a regular file; `error` says why
        Gif,        // its first bytes say GIF: the animated viewer's, not decoded here
        Failed,     // the decoder failed, not the file: no helper, it stopped, a broken answer
        TimedOut,   // it ran past the time limit
        Cancelled,  // given up by whoever asked
    };
    Status status = Status::Failed;
    // Why it did not decode, for the status bar; empty for Decoded and for
    // NotDecoded (the caller's own text says the file cannot be shown).
    std::string reason;
    int error = 0; // the errno of Unreadable
    StdPicture picture;
    int fullWidth = 0, fullHeight = 0; // the original's size, upright
    bool embeddedPreview = false;      // a camera's embedded preview, not its raw data developed
    bool inProcess = false;            // decoded in this process: no helper program
    uint32_t missingConfinement = 0;   // DecoderProtocol's kConfined layers the helper ran without
    FileStamp stamp;                   // of the file that was decoded

    bool Decoded() const { return status == Status::Decoded; }
};
