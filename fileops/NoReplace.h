// A rename that never replaces a file, on every file system: the kernel's
// RENAME_NOREPLACE, and where a file system lacks it, a hard link under the
// new name (which fails when the name exists) and then the old name's
// unlink. POSIX only.
#pragma once

#include <string>

// 0, or the errno of why not (EEXIST when a file stands at `to`).
int RenameNoReplace(const std::string& from, const std::string& to);
