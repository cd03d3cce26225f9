// Copying and moving files into a folder, never losing a byte. A move inside
// one file system is a rename. Across file systems, and for every copy, the
// data goes to a temporary name beside its destination, is synced and its
// size compared with the source's, then renamed into place (never over a
// file unless the caller answered Replace) and the folder synced; a move
// removes its source only after that. A failure or a kill at any step
// leaves the source as it was and no half file under the destination's
// name. A link is copied or moved as a link, never its target; a folder
// among the sources is refused. POSIX and the standard library only.
#pragma once

#include "platform/FileOutcome.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum class TransferKind { Copy, Move };

// The answer for a name the destination already holds.
enum class ConflictChoice { Skip, KeepBoth, Replace, CancelAll };

// The steps of one file's transfer by copying, in order. An observer sees
// each just before it is taken (the tests kill the process there).
enum class TransferStep {
    Begin,         // nothing written yet
    TempCreated,   // the temporary file exists beside the destination, empty
    DataWritten,   // all bytes written to it
    DataSynced,    // fsync done
    SizesChecked,  // its size equals the source's
    Renamed,       // in place under its name
    FolderSynced,  // the destination folder synced
    SourceRemoved, // a move's source unlinked (and its folder synced)
};

struct TransferOptions {
    // Asked for each name the destination holds already (source, existing
    // file); none given means Skip.
    std::function<ConflictChoice(const std::string& source, const std::string& existing)>
        onConflict;
    // Bytes done of all bytes, after each block and each file.
    std::function<void(uint64_t done, uint64_t total)> progress;
    // Set from another thread: the file under way is left whole where it
    // was (its temporary copy removed), the others are not started.
    const std::atomic<bool>* cancel = nullptr;
    std::function<void(TransferStep)> observeStep;
};

struct TransferDone {
    std::vector<FileOutcome> outcomes; // one per source, in order
    bool cancelled = false;
};

// Copies or moves `sources` (absolute paths) into the folder `destination`.
TransferDone TransferFiles(TransferKind kind, const std::vector<std::string>& sources,
                           const std::string& destination, const TransferOptions& options = {});

// The first free name for keeping both in `folder`: "name (2).ext",
// "name (3).ext" ... no longer than the file system allows.
std::string FreeNameIn(const std::string& folder, const std::string& name);
