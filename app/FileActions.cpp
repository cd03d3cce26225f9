#include "app/FileActions.h"

#include "fileops/Rename.h"
#include "imaging/ThumbnailCache.h"

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <utility>

// Each action keeps, for every file it did, what puts that file back: where
// the action left it, where it was, and a stamp of the file as the action
// left it, so that an undo never acts on another file that came to stand
// under the same name, and never puts a file over one that took its place.
// Undoing a copy moves the copy to the trash (never deletes it for good):
// a copy that replaced a file of its name does not bring that file back.

namespace {

constexpr int64_t kNanosecondsPerSecond = 1'000'000'000;

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

std::string FolderOf(const std::string& path) {
    return std::filesystem::path(path).parent_path().string();
}

std::string NameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

std::string Taken(const std::string& path) {
    return Quoted(path) + " is taken by another file";
}

// An undo that changed nothing, and why.
FileOutcome Refused(const std::string& source, std::string reason) {
    FileOutcome o;
    o.status = OutcomeStatus::Failed;
    o.source = source;
    o.reason = std::move(reason);
    return o;
}

void Forget(const ThumbnailCache* thumbnails, const std::string& path) {
    if (thumbnails && !path.empty()) thumbnails->Forget(path);
}

void Follow(const ThumbnailCache* thumbnails, const std::string& from, const std::string& to) {
    if (thumbnails && !from.empty() && !to.empty()) thumbnails->Moved(from, to);
}

} // namespace

FileActions::Stamp FileActions::Stamp::Of(const std::string& path) {
    Stamp stamp;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return stamp;
    stamp.exists = true;
    stamp.device = uint64_t(st.st_dev);
    stamp.inode = uint64_t(st.st_ino);
    stamp.size = uint64_t(st.st_size);
    stamp.mtimeNs = int64_t(st.st_mtim.tv_sec) * kNanosecondsPerSecond + st.st_mtim.tv_nsec;
    return stamp;
}

bool FileActions::Stamp::SameFile(const Stamp& other) const {
    return exists && other.exists && device == other.device && inode == other.inode;
}

bool FileActions::Stamp::SameBytes(const Stamp& other) const {
    return SameFile(other) && size == other.size && mtimeNs == other.mtimeNs;
}

bool ActionDone::AllDone() const {
    for (const FileOutcome& f : files)
        if (!f.Done()) return false;
    return !cancelled;
}

FileActions::FileActions(const ThumbnailCache* thumbnails, Trash trash)
    : thumbnails_(thumbnails), trash_(std::move(trash)) {}

void FileActions::Remember(ActionKind kind, std::vector<Step> steps) {
    if (steps.empty()) return;
    undo_.push_back({kind, std::move(steps)});
    while (undo_.size() > kUndoDepth)
        undo_.pop_front();
}

ActionDone FileActions::MoveToTrash(const std::vector<std::string>& paths) {
    ActionDone done;
    done.kind = ActionKind::Trash;
    std::vector<Step> steps;
    for (const std::string& p : paths) {
        Trash::Result r = trash_.MoveToTrash(p);
        done.noTrash = done.noTrash || r.noTrash;
        if (r.outcome.Done()) {
            Forget(thumbnails_, r.outcome.source);
            Step step;
            step.now = r.entry.trashedFile;
            step.before = r.entry.original;
            step.stamp = Stamp::Of(step.now);
            step.entry = r.entry;
            steps.push_back(std::move(step));
        }
        done.files.push_back(std::move(r.outcome));
    }
    Remember(ActionKind::Trash, std::move(steps));
    return done;
}

ActionDone FileActions::Delete(const std::vector<std::string>& paths) {
    ActionDone done;
    done.kind = ActionKind::Delete;
    for (const std::string& p : paths) {
        done.files.push_back(Trash::DeletePermanently(p));
        if (done.files.back().Done()) Forget(thumbnails_, done.files.back().source);
    }
    return done;
}

ActionDone FileActions::Rename(const std::string& path, const std::string& newName) {
    ActionDone done;
    done.kind = ActionKind::Rename;
    FileOutcome o = RenameFile(path, newName);
    if (o.Done() && o.result != o.source) {
        Follow(thumbnails_, o.source, o.result);
        Step step;
        step.now = o.result;
        step.before = o.source;
        step.stamp = Stamp::Of(step.now);
        Remember(ActionKind::Rename, {std::move(step)});
    }
    done.files.push_back(std::move(o));
    return done;
}

ActionDone FileActions::Transfer(TransferKind kind, const std::vector<std::string>& sources,
                                 const std::string& destination, const TransferOptions& options) {
    TransferDone t = TransferFiles(kind, sources, destination, options);
    ActionDone done;
    done.kind = kind == TransferKind::Copy ? ActionKind::Copy : ActionKind::Move;
    done.cancelled = t.cancelled;
    std::vector<Step> steps;
    for (const FileOutcome& o : t.outcomes) {
        if (!o.Done()) continue;
        // A copy's name may have held another file (replaced on request),
        // whose thumbnails are no longer of anything.
        if (kind == TransferKind::Copy)
            Forget(thumbnails_, o.result);
        else
            Follow(thumbnails_, o.source, o.result);
        Step step;
        step.now = o.result;
        step.before = o.source;
        step.stamp = Stamp::Of(step.now);
        steps.push_back(std::move(step));
    }
    done.files = std::move(t.outcomes);
    Remember(done.kind, std::move(steps));
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
        o.reason = "Only a JPEG file can be turned; this file is unchanged";
        done.files.push_back(o);
        return done;
    }
    TurnOutcome t = TurnJpeg(path, turn, options);
    done.byTag = t.byTag;
    if (t.outcome.Done()) {
        Step step;
        step.now = step.before = t.outcome.source.empty() ? path : t.outcome.source;
        step.stamp = Stamp::Of(step.now);
        step.turn = t;
        Forget(thumbnails_, step.now);
        Remember(ActionKind::Turn, {std::move(step)});
    }
    done.files.push_back(std::move(t.outcome));
    return done;
}

std::string FileActions::UndoText() const {
    if (undo_.empty()) return {};
    switch (undo_.back().kind) {
    case ActionKind::Trash:
        return "Undo Move to Trash";
    case ActionKind::Rename:
        return "Undo Rename";
    case ActionKind::Copy:
        return "Undo Copy";
    case ActionKind::Move:
        return "Undo Move";
    case ActionKind::Turn:
        return "Undo Rotate";
    case ActionKind::Delete:
        break;
    }
    return {};
}

ActionDone FileActions::Undo() {
    ActionDone done;
    if (undo_.empty()) return done;
    const Undoable action = std::move(undo_.back());
    undo_.pop_back();
    done.kind = action.kind;
    // The files go back in the reverse of the order they went; the outcomes
    // are in the action's order.
    for (auto step = action.steps.rbegin(); step != action.steps.rend(); ++step)
        done.files.push_back(UndoStep(action.kind, *step));
    std::reverse(done.files.begin(), done.files.end());
    return done;
}

FileOutcome FileActions::UndoStep(ActionKind kind, const Step& step) const {
    // The file must be the one the action left, as the action left it (a
    // name freed and taken again may well get the same inode).
    const Stamp now = Stamp::Of(step.now);
    if (!now.exists)
        return Refused(step.now, kind == ActionKind::Trash
                                     ? Quoted(step.before) + " is no longer in the trash"
                                     : Quoted(step.now) + " is no longer there");
    if (!now.SameFile(step.stamp))
        return Refused(step.now, Quoted(step.now) + " is another file now");
    if (!now.SameBytes(step.stamp))
        return Refused(step.now, Quoted(step.now) + " has changed since");
    // A copy's undo and a turn's act on the file where it is.
    if (kind != ActionKind::Copy && kind != ActionKind::Turn) {
        const Stamp there = Stamp::Of(step.before);
        if (there.exists && !there.SameFile(now)) return Refused(step.now, Taken(step.before));
    }

    FileOutcome o;
    switch (kind) {
    case ActionKind::Trash:
        o = trash_.Restore(step.entry);
        if (o.Done()) {
            o.result = step.before;
            Forget(thumbnails_, step.now);
        }
        break;
    case ActionKind::Rename:
        o = RenameFile(step.now, NameOf(step.before));
        if (o.Done()) Follow(thumbnails_, step.now, o.result);
        break;
    case ActionKind::Move:
        o = MoveBack(step);
        break;
    case ActionKind::Copy:
        o = trash_.MoveToTrash(step.now).outcome;
        if (o.Done()) Forget(thumbnails_, step.now);
        break;
    case ActionKind::Turn:
        o = UndoTurn(step.now, step.turn).outcome;
        if (o.Done()) Forget(thumbnails_, step.now);
        break;
    case ActionKind::Delete:
        return Refused(step.now, "A file deleted for good cannot come back");
    }
    o.source = step.now;
    return o;
}

FileOutcome FileActions::MoveBack(const Step& step) const {
    // Moved back as it came: a rename within one file system, a copy across
    // two, never over a file (a name taken meanwhile is skipped).
    const std::string folder = FolderOf(step.before);
    const TransferDone back = TransferFiles(TransferKind::Move, {step.now}, folder);
    if (back.outcomes.empty()) return Refused(step.now, "Nothing was moved back");
    FileOutcome o = back.outcomes.front();
    if (o.status == OutcomeStatus::Skipped)
        return Refused(step.now, Taken(folder + "/" + NameOf(step.now)));
    if (o.Done() && o.result != step.before) {
        // It had been given another name beside a file of its own name on
        // the way out: its own name again.
        const FileOutcome renamed = RenameFile(o.result, NameOf(step.before));
        if (renamed.Done()) {
            o.result = renamed.result;
        } else {
            o.status = OutcomeStatus::Failed;
            o.error = renamed.error;
            o.reason = "Moved back as " + Quoted(o.result) + ", but " + renamed.reason;
        }
    }
    if (!o.result.empty()) Follow(thumbnails_, step.now, o.result);
    return o;
}
