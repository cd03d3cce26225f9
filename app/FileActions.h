// The operations a person runs on picture files, each as one action that can
// be undone in this run: to the trash, deleted for good, renamed, copied or
// moved to a folder, turned (all but the delete for good). The shared
// thumbnail cache follows each one and each undo: a trashed or deleted
// file's thumbnails go, a moved or renamed file's go with it, a turned
// file's go, to be made again. The window runs it on a worker thread, the
// probe on its own; one thread at a time. No widgets.
#pragma once

#include "fileops/Transfer.h"
#include "fileops/Trash.h"
#include "imaging/LosslessTurn.h"
#include "platform/FileOutcome.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

class ThumbnailCache;

enum class ActionKind { Trash, Delete, Rename, Copy, Move, Turn };

// One action's outcome: one FileOutcome per file it was about, in order.
struct ActionDone {
    ActionKind kind = ActionKind::Trash;
    std::vector<FileOutcome> files;
    bool cancelled = false;
    // No trash could take a file (its outcome failed): the caller may offer
    // to delete it for good.
    bool noTrash = false;
    // Turn: only the view may be turned (not a JPEG); the file is unchanged.
    bool viewOnly = false;
    bool byTag = false; // Turn: only the orientation tag changed
    bool AllDone() const;
};

class FileActions {
  public:
    // How many actions Undo goes back at most.
    static constexpr std::size_t kUndoDepth = 64;

    // `thumbnails` may be null (no cache to follow).
    explicit FileActions(const ThumbnailCache* thumbnails, Trash trash = Trash());

    ActionDone MoveToTrash(const std::vector<std::string>& paths);
    // For good; not undoable.
    ActionDone Delete(const std::vector<std::string>& paths);
    ActionDone Rename(const std::string& path, const std::string& newName);
    ActionDone Transfer(TransferKind kind, const std::vector<std::string>& sources,
                        const std::string& destination, const TransferOptions& options = {});
    // A JPEG turned losslessly; anything else: viewOnly, the file unchanged.
    ActionDone Turn(const std::string& path, ::Turn turn, const TurnOptions& options = {});

    bool CanUndo() const { return !undo_.empty(); }
    // What Undo would undo, for a menu: "Undo Move to Trash", "Undo Rename" ...
    std::string UndoText() const;
    // Undoes the last undoable action still standing: each file goes back
    // where it was (a trashed one out of the trash, a renamed or moved one to
    // its old name, never over a file; a copy to the trash, never deleted for
    // good; a turned one turned back). A file whose place is taken meanwhile,
    // or that is gone or changed since, is not touched and its outcome says
    // why; the action leaves the list once tried.
    ActionDone Undo();

  private:
    // Which file a path names, and as it was when an action left it: an undo
    // acts only on the file the action left there.
    struct Stamp {
        bool exists = false;
        uint64_t device = 0, inode = 0, size = 0;
        int64_t mtimeNs = 0;
        static Stamp Of(const std::string& path); // the link itself, not its target
        bool SameFile(const Stamp& other) const;
        bool SameBytes(const Stamp& other) const;
    };
    // What puts one file back.
    struct Step {
        std::string now;    // where the action left it (the trashed file, the new name, the copy)
        std::string before; // where it was
        Stamp stamp;        // of `now`, right after the action
        TrashEntry entry;   // Trash
        TurnOutcome turn;   // Turn
    };
    struct Undoable {
        ActionKind kind;
        std::vector<Step> steps;
    };
    void Remember(ActionKind kind, std::vector<Step> steps);
    FileOutcome UndoStep(ActionKind kind, const Step& step) const;
    FileOutcome MoveBack(const Step& step) const;

    const ThumbnailCache* thumbnails_;
    Trash trash_;
    std::deque<Undoable> undo_;
};
