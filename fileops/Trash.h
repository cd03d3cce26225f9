// The desktop's trash, laid out as freedesktop.org's Trash rules have it
// and the desktop's file managers use it: a file of the home file system goes
// to $XDG_DATA_HOME/Trash (~/.local/share/Trash), a file of another mount to
// $topdir/.Trash/$uid when $topdir/.Trash is a real folder (no link) with its
// sticky bit set, else to $topdir/.Trash-$uid, made with mode 0700 when
// missing. Each trashed file has its info/NAME.trashinfo (the original path,
// percent-escaped, and the deletion time), written whole and synced before
// the file is renamed into files/NAME; a name taken in the trash gets a free
// one ("NAME.2"). A file is never copied into a trash: where the rename
// cannot be made (no trash on that file system, a read-only mount), the
// file stays where it was and the answer says so. A link is trashed itself,
// never its target. POSIX and the standard library only.
#pragma once

#include "platform/FileOutcome.h"

#include <string>

// Where one trashed file went, and what puts it back.
struct TrashEntry {
    std::string original;    // the absolute path the file had
    std::string trashedFile; // TRASH/files/NAME
    std::string infoFile;    // TRASH/info/NAME.trashinfo
};

class Trash {
  public:
    // $XDG_DATA_HOME/Trash when that is an absolute path, else ~/.local/share/Trash.
    static std::string DefaultHomeTrash();
    // `homeTrash`: the home trash (tests give one inside their own folder).
    explicit Trash(std::string homeTrash = DefaultHomeTrash());
    const std::string& HomeTrash() const { return home_; }

    // The top folder of the mount that holds `path`'s folder (links in the
    // folder's path resolved, the last name not followed).
    static std::string TopDirOf(const std::string& path);
    // The trash a file at `path` goes to, its files/ and info/ made when
    // missing; empty, with `why` filled when given, when none can be used.
    std::string FolderFor(const std::string& path, std::string* why = nullptr) const;

    struct Result {
        FileOutcome outcome; // result: the trashed file
        TrashEntry entry;    // filled when done
        // No trash can take this file (none may be made on its file system,
        // a read-only mount): a caller may offer to delete it for good.
        bool noTrash = false;
    };
    // Moves `path` (a file or a link, not a folder) into its trash.
    Result MoveToTrash(const std::string& path) const;
    // Puts a trashed file back where it was and removes its .trashinfo.
    // Failed, with nothing changed, when the original place is taken or the
    // trashed file is no longer there.
    FileOutcome Restore(const TrashEntry& entry) const;
    // Removes `path` for good: a file or a link (never its target); a
    // folder is refused.
    static FileOutcome DeletePermanently(const std::string& path);

  private:
    std::string home_;
};
