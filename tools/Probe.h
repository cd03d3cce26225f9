// The probe's commands: each runs one component of the program without
// windows and prints what it found. Exit status 0 on success, 1 otherwise.
#pragma once

#include "fileops/Transfer.h"
#include "imaging/Orientation.h"
#include "imaging/ThumbnailCache.h"

#include <optional>
#include <string>
#include <vector>

int ProbeGif(const std::string& file);
int ProbeResave(const std::string& in, const std::string& out);
int ProbeStill(const std::string& file, int boxWidth, int boxHeight, bool withBox);
// Lists a folder as the file list does, its rows in the list's order.
struct ListRequest {
    std::string folder;
    std::optional<std::string> pattern; // none: the pattern of "All Supported Formats"
    std::string sort;                   // "name", "size", "type", "date"; empty: as listed
    bool reverse = false;
};
int ProbeList(int argc, char** argv, const ListRequest& request);
// Lists a folder as the file list does (with the pattern of "All Supported
// Formats"), then prints one line for each change the list makes as the
// folder changes on disk: "removed NAME", "renamed OLD NEW", "changed NAME",
// "added NAME", until `seconds` have passed. A folder that goes empties the list.
int ProbeWatch(int argc, char** argv, const std::string& folder, double seconds);
// Steps the animated viewer's composition; prints frame, interval and a hash
// of the display buffer for each step, and with `outDir` writes stepK.ppm.
int ProbePlay(const std::string& file, int steps, const std::string& outDir);
// Makes (or finds valid in the shared cache) the thumbnail of `file` at
// `size` and prints its path; 1 when the file does not decode (a fail entry
// is written) or has no thumbnail.
int ProbeThumbnail(const std::string& file, ThumbnailSize size);
// The window's file actions, through FileActions, the shared thumbnail
// cache following. Each prints one line per file, its path with control
// bytes and "\\" escaped: "done: SRC -> RESULT", "skipped: SRC: REASON"
// (a name the folder holds already is skipped, never replaced), "failed: SRC:
// REASON"; 1 when any file failed. A file that is no JPEG cannot be turned.
int ProbeTrash(const std::vector<std::string>& files);
int ProbeTransfer(TransferKind kind, const std::vector<std::string>& sources,
                  const std::string& folder);
int ProbeRotate(const std::string& file, Turn turn);
