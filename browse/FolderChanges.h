// A listed folder that changes on disk: what its watch reported over a short
// while, gathered by name, and the changes the file list makes from it once
// those names have been looked at again. Standard library and Linux's
// inotify flags only; FolderWatcher feeds it, cFileView applies the result.
#pragma once

#include "browse/FolderScan.h"

#include <cstdint>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct FolderEvents {
    std::set<std::string> touched;   // every name an event was about
    std::set<std::string> rewritten; // written and closed, or replaced by a rename
    std::set<std::string> folders;   // names of folders made, removed or moved
    std::vector<std::pair<std::string, std::string>> renames; // old, new: both in the folder
    bool overflow = false; // events were lost: the whole folder is to be read again
    bool gone = false;     // the folder itself was removed, moved away or unmounted

    // One inotify event (its mask and cookie) about `name` in the folder, or
    // about the folder itself when `name` is empty.
    void Add(uint32_t mask, uint32_t cookie, std::string_view name);
    // The events of a later while added to these.
    void Merge(FolderEvents&& later);
    bool Empty() const { return touched.empty() && !overflow && !gone; }

  private:
    // Halves of renames not paired yet, by cookie: a rename's two events may
    // fall into two whiles.
    std::vector<std::pair<uint32_t, std::string>> movedFrom_, movedTo_;
    void Pair(uint32_t cookie, const std::string& to);
};

// What the list does: rows to add, rows to remove, rows renamed in place
// (the file keeps its row, its selection and its preview) and rows whose
// file was rewritten or changed size or time. Each in name order.
struct RowChanges {
    std::vector<FileRow> added;
    std::vector<std::string> removed;
    std::vector<std::pair<std::string, FileRow>> renamed; // the old name, the row as it is now
    std::vector<FileRow> changed;
    bool Empty() const {
        return added.empty() && removed.empty() && renamed.empty() && changed.empty();
    }
};

// The changes that bring `listed` (the rows shown) to the disk as it is:
// `found` holds the rows of those of `events.touched` that are matching
// files now (ScanNames), or of the whole folder when `events.overflow`
// (ScanFolder). A rename is one only when its old name was listed and is
// gone and its new name is a file not listed yet; otherwise it counts as
// the removal and the addition (or rewrite) it amounts to. Names in `leave`
// are left as they are shown: what `found` says of them is older than what
// the list knows (the program changed them after they were read).
RowChanges DiffRows(std::span<const FileRow> listed, const FolderEvents& events,
                    std::span<const FileRow> found, const std::set<std::string>& leave = {});

// What is left to do of `done` (changes the program made itself) on the rows
// `listed`, which may show some of them already (a watch reported them
// first): a removal of a row not shown is dropped, an addition of a name
// shown is a change of its row, a rename of a row not shown adds the new
// name, and a rename onto a name shown removes the old row and changes the
// other. No name is ever shown twice.
RowChanges ChangesStillToMake(std::span<const FileRow> listed, const RowChanges& done);
