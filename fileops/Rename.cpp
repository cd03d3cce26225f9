#include "fileops/Rename.h"

#include "fileops/NoReplace.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The longest name most Linux file systems take, used where the folder
// cannot be asked.
constexpr long kDefaultNameMax = 255;

long LongestName(const std::string& folder) {
    errno = 0;
    const long max = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    return max > 0 ? max : kDefaultNameMax;
}

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

// True when `newName` in `folder` is `oldName` itself under other letter
// case, as a case-insensitive file system (vfat, exfat, a casefolded ext4
// folder) finds it. Two hard links of one file are two files to a person.
bool SameFileOtherCase(const std::string& folder, const std::string& oldName,
                       const std::string& newName) {
    struct stat oldSt {};
    struct stat newSt {};
    return EqualIgnoringCase(oldName, newName) &&
           ::lstat(Join(folder, oldName).c_str(), &oldSt) == 0 &&
           ::lstat(Join(folder, newName).c_str(), &newSt) == 0 && oldSt.st_dev == newSt.st_dev &&
           oldSt.st_ino == newSt.st_ino;
}

// The extension: the part after the last ".", where that "." does not open
// the name (".profile" is a hidden name, not an extension).
std::string Extension(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return {};
    return name.substr(dot + 1);
}

std::string WordsFor(int error) {
    switch (error) {
    case ENOENT:
        return "The file is gone";
    case EEXIST:
    case ENOTEMPTY:
        return "A file of that name exists";
    case EROFS:
        return "The folder is read-only";
    case EACCES:
    case EPERM:
        return "No permission to rename files in this folder";
    case ENAMETOOLONG:
        return "The name is too long";
    case EIO:
        return "The disk reported an error (input/output error)";
    default:
        return std::strerror(error);
    }
}

FileOutcome Failed(const std::string& path, int error, std::string reason) {
    FileOutcome o;
    o.status = OutcomeStatus::Failed;
    o.source = path;
    o.error = error;
    o.reason = std::move(reason);
    return o;
}

} // namespace

std::string RefuseNewName(const std::string& folder, const std::string& oldName,
                          const std::string& newName) {
    if (newName.empty()) return "The name is empty";
    if (newName == "." || newName == "..") return "A name cannot be \".\" or \"..\"";
    if (newName.find('/') != std::string::npos) return "A name cannot hold \"/\"";
    if (newName.find('\0') != std::string::npos) return "A name cannot hold a NUL character";
    if (long(newName.size()) > LongestName(folder)) return "The name is too long";
    if (newName == oldName) return {};
    struct stat st {};
    if (::lstat(Join(folder, newName).c_str(), &st) == 0 &&
        !SameFileOtherCase(folder, oldName, newName))
        return "A file of that name exists";
    return {};
}

bool ExtensionChanges(const std::string& oldName, const std::string& newName) {
    return !EqualIgnoringCase(Extension(oldName), Extension(newName));
}

FileOutcome RenameFile(const std::string& path, const std::string& newName) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string oldName = slash == std::string::npos ? path : path.substr(slash + 1);
    if (std::string refused = RefuseNewName(folder, oldName, newName); !refused.empty())
        return Failed(path, 0, std::move(refused));

    FileOutcome o;
    o.source = path;
    if (newName == oldName) {
        o.status = OutcomeStatus::Skipped;
        o.reason = "The name is unchanged";
        return o;
    }
    const std::string target = Join(folder, newName);
    int error = 0;
    if (SameFileOtherCase(folder, oldName, newName)) {
        // The new name finds the file itself: only its letters' case changes,
        // and a plain rename replaces nothing.
        if (::rename(path.c_str(), target.c_str()) != 0) error = errno;
    } else {
        error = RenameNoReplace(path, target);
    }
    if (error != 0) return Failed(path, error, WordsFor(error));
    o.status = OutcomeStatus::Done;
    o.result = target;
    return o;
}
