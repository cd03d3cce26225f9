// Turning and flipping a JPEG file without decoding its pixels, by
// libjpeg-turbo's lossless transform, every marker segment kept. The
// picture a person sees is what is turned: a file carrying an EXIF
// orientation other than 1 has its pixels turned by that orientation and
// the turn together, and its tag set to 1. Where the picture's size is not
// a whole number of its blocks (MCUs) in the direction the transform needs,
// a lossless transform would have to trim the edge: the pixels are then left
// as they are and only the orientation tag is set. The new file is written
// beside the original under a temporary name, synced and renamed over it,
// with the original's mode and owner; its modification time is the original's
// only when asked. A kill at any step leaves the original or the turned
// file whole.
#pragma once

#include "imaging/Orientation.h"
#include "platform/FileOutcome.h"

#include <functional>
#include <string>

enum class TurnStep {
    Begin,       // nothing written yet
    Read,        // the original read whole
    Transformed, // the new bytes made, in memory
    TempWritten, // the temporary file written beside the original
    TempSynced,  // and synced
    Renamed,     // renamed over the original
    FolderSynced,
};

struct TurnOptions {
    bool keepModificationTime = false;
    std::function<void(TurnStep)> observeStep; // tests kill the process at a step
};

struct TurnOutcome {
    FileOutcome outcome;
    bool byTag = false; // only the orientation tag changed
    int orientationBefore = 1, orientationAfter = 1;
    Turn turn = Turn::Right;
};

// True when the file's first bytes say JPEG: the files TurnJpeg can turn.
bool CanTurnLosslessly(const std::string& path);
// Turns the JPEG at `path`. Failed, the file unchanged, for anything else.
TurnOutcome TurnJpeg(const std::string& path, Turn turn, const TurnOptions& options = {});
// Undoes a turn TurnJpeg made: the inverse turn and the orientation tag the
// file had, so that its pixels and tag are as they were.
TurnOutcome UndoTurn(const std::string& path, const TurnOutcome& done,
                     const TurnOptions& options = {});
