// Renaming a file in its folder: the reasons a new name is refused, and the
// rename itself, which never replaces a file (RENAME_NOREPLACE, or a hard
// link and an unlink where the file system lacks it). POSIX and the
// standard library only.
#pragma once

#include "platform/FileOutcome.h"

#include <string>

// Why `newName` (bytes) cannot become the name of `oldName` in `folder`, in
// words a person reads; empty when it can. Refused: empty, "." or "..", a
// "/" or a NUL in it, longer than the file system's longest name (255 bytes
// on most), or a file of that name there already (other than the file
// itself, as when only the case of its letters changes).
std::string RefuseNewName(const std::string& folder, const std::string& oldName,
                          const std::string& newName);

// True when the part after the last "." differs, without regard to case
// (".JPG" to ".jpg" is no change; "a" to "a.jpg" is).
bool ExtensionChanges(const std::string& oldName, const std::string& newName);

// Renames the file at `path` to `newName` in the same folder, refusing as
// RefuseNewName does; result: the new path.
FileOutcome RenameFile(const std::string& path, const std::string& newName);
