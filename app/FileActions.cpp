#include "app/FileActions.h"

#include "fileops/Rename.h"

// Placeholder until the actions are built: each runs its operation, none is
// undoable yet and no thumbnail follows.

struct FileActions::Step {};

bool ActionDone::AllDone() const {
    for (const FileOutcome& f : files)
        if (!f.Done()) return false;
    return !cancelled;
}

FileActions::FileActions(const ThumbnailCache* thumbnails, Trash trash)
    : thumbnails_(thumbnails), trash_(std::move(trash)) {}

ActionDone FileActions::MoveToTrash(const std::vector<std::string>& paths) {
    ActionDone done;
    done.kind = ActionKind::Trash;
    for (const std::string& p : paths) {
        Trash::Result r = trash_.MoveToTrash(p);
        done.noTrash = done.noTrash || r.noTrash;
        done.files.push_back(r.outcome);
    }
    return done;
}
ActionDone FileActions::Delete(const std::vector<std::string>& paths) {
    ActionDone done;
    done.kind = ActionKind::Delete;
    for (const std::string& p : paths)
        done.files.push_back(Trash::DeletePermanently(p));
    return done;
}
ActionDone FileActions::Rename(const std::string& path, const std::string& newName) {
    ActionDone done;
    done.kind = ActionKind::Rename;
    done.files.push_back(RenameFile(path, newName));
    return done;
}
ActionDone FileActions::Transfer(TransferKind kind, const std::vector<std::string>& sources,
                                 const std::string& destination, const TransferOptions& options) {
    TransferDone t = TransferFiles(kind, sources, destination, options);
    ActionDone done;
    done.kind = kind == TransferKind::Copy ? ActionKind::Copy : ActionKind::Move;
    done.files = t.outcomes;
    done.cancelled = t.cancelled;
    return done;
}
ActionDone FileActions::Turn(const std::string& path, ::Turn turn, const TurnOptions& options) {
    ActionDone done;
    done.kind = ActionKind::Turn;
    if (!CanTurnLosslessly(path)) {
        done.viewOnly = true;
        FileOutcome o;
        o.source = path;
        o.status = OutcomeStatus::Skipped;
        done.files.push_back(o);
        return done;
    }
    TurnOutcome t = TurnJpeg(path, turn, options);
    done.byTag = t.byTag;
    done.files.push_back(t.outcome);
    return done;
}
std::string FileActions::UndoText() const {
    return {};
}
ActionDone FileActions::Undo() {
    return {};
}
