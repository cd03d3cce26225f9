#include "fileops/Trash.h"

#include "fileops/NoReplace.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

constexpr mode_t kPrivateFolder = 0700; // trash folders: the user's alone
constexpr mode_t kInfoFileMode = 0600;
constexpr const char kInfoSuffix[] = ".trashinfo";
constexpr size_t kInfoSuffixLength = sizeof(kInfoSuffix) - 1;
constexpr long kDefaultNameMax = 255;
constexpr size_t kLongestKeptExtension = 16; // a longer ".tail" is not an extension
constexpr int kNameTries = 100000;           // "NAME.2" ... before giving up

const char kNoTrashHere[] = "This file system has no trash";
const char kReadOnly[] = "This file system is read-only: it has no trash";

// A reason a person reads for a failed call on one file.
std::string ErrorText(int error) {
    switch (error) {
    case ENOENT:
        return "The file is no longer there";
    case EACCES:
    case EPERM:
        return "Permission denied";
    case EROFS:
        return "This file system is read-only";
    case ENOSPC:
    case EDQUOT:
        return "No space left on this file system";
    default:
        return std::strerror(error);
    }
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Join(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

// The path with links resolved, or empty with errno set.
std::string RealPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : std::string();
}

// Which mount a folder lies on: its device and, where the kernel tells it,
// the mount's own number (two mounts of one device cannot rename between
// them either).
struct MountKey {
    dev_t device = 0;
    uint64_t mount = 0;
    bool hasMount = false;
    bool operator==(const MountKey& o) const {
        return device == o.device && (!hasMount || !o.hasMount || mount == o.mount);
    }
};

bool MountKeyOf(const std::string& path, MountKey& key) {
    struct statx sx {};
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_MNT_ID, &sx) != 0)
        return false;
    key.device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    key.hasMount = (sx.stx_mask & STATX_MNT_ID) != 0;
    key.mount = sx.stx_mnt_id;
    return true;
}

// The mount a trash at `path` would lie on: that of the nearest folder of
// it that exists.
bool MountKeyOfNearest(std::string path, MountKey& key) {
    while (!MountKeyOf(path, key)) {
        if (errno != ENOENT || path == "/" || path.empty()) return false;
        path = FolderOf(path);
    }
    return true;
}

// `folder` as a private folder of this user: made with mode 0700 when
// missing; an existing one must be a real folder (no link) that is ours.
bool EnsurePrivateFolder(const std::string& folder, int& error, std::string& why) {
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            error = errno;
            why = ErrorText(error);
            return false;
        }
        if (::mkdir(folder.c_str(), kPrivateFolder) != 0 && errno != EEXIST) {
            error = errno;
            why = error == EROFS ? kReadOnly
                  : error == EACCES || error == EPERM
                      ? kNoTrashHere
                      : "The trash folder " + folder + " cannot be made: " + ErrorText(error);
            return false;
        }
        if (::lstat(folder.c_str(), &st) != 0) {
            error = errno;
            why = ErrorText(error);
            return false;
        }
    }
    error = 0;
    if (S_ISLNK(st.st_mode)) {
        why = "The trash folder " + folder + " is a link: it is not used";
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        why = "The trash folder " + folder + " is not a folder";
        return false;
    }
    if (st.st_uid != ::getuid()) {
        why = "The trash folder " + folder + " belongs to another user";
        return false;
    }
    return true;
}

// The home trash and its parents, made when missing (links on the way are
// followed: the user may keep the trash elsewhere).
bool EnsureHomeFolder(const std::string& folder, int& error, std::string& why) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        error = ENOTDIR;
        why = "The trash folder " + folder + " is not a folder";
        return false;
    }
    if (errno == ENOENT && folder != "/" && !EnsureHomeFolder(FolderOf(folder), error, why))
        return false;
    if (::mkdir(folder.c_str(), kPrivateFolder) == 0 || errno == EEXIST) return true;
    error = errno;
    why = error == EROFS ? kReadOnly : "The trash folder " + folder + " cannot be made";
    return false;
}

bool EnsureTrashParts(const std::string& trash, int& error, std::string& why) {
    return EnsurePrivateFolder(trash + "/files", error, why) &&
           EnsurePrivateFolder(trash + "/info", error, why);
}

// A file's trash, or why it has none; `topDir` is empty for the home trash.
struct Place {
    std::string trash;
    std::string topDir;
    int error = 0;
    std::string why;
};

// The top folder of the mount that holds `folder` (a real path): walked up
// while the mount stays the same.
std::string TopDirOfFolder(const std::string& folder) {
    MountKey own;
    if (!MountKeyOf(folder, own)) return {};
    std::string top = folder;
    while (top != "/") {
        const std::string up = FolderOf(top);
        MountKey above;
        if (!MountKeyOf(up, above) || !(above == own)) break;
        top = up;
    }
    return top;
}

// The trash for files whose folder is `folder` (a real path), made when
// missing: the home trash on its own mount, else one at the mount's top.
Place PlaceFor(const std::string& home, const std::string& folder) {
    Place place;
    MountKey fileKey;
    if (!MountKeyOf(folder, fileKey)) {
        place.error = errno;
        place.why = ErrorText(place.error);
        return place;
    }
    MountKey homeKey;
    if (!home.empty() && home[0] == '/' && MountKeyOfNearest(home, homeKey) && homeKey == fileKey) {
        if (EnsureHomeFolder(home, place.error, place.why) &&
            EnsureTrashParts(home, place.error, place.why))
            place.trash = home;
        return place;
    }
    place.topDir = TopDirOfFolder(folder);
    if (place.topDir.empty()) {
        place.error = errno;
        place.why = ErrorText(place.error);
        return place;
    }
    const std::string uid = std::to_string(::getuid());
    // A shared .Trash is used only when it is a real folder with its sticky
    // bit set; anything else there is passed over, never written into.
    const std::string shared = Join(place.topDir, ".Trash");
    struct stat st {};
    if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        const std::string mine = shared + "/" + uid;
        int error = 0;
        std::string why;
        if (EnsurePrivateFolder(mine, error, why) && EnsureTrashParts(mine, error, why)) {
            place.trash = mine;
            return place;
        }
    }
    const std::string own = Join(place.topDir, ".Trash-" + uid);
    if (EnsurePrivateFolder(own, place.error, place.why) &&
        EnsureTrashParts(own, place.error, place.why))
        place.trash = own;
    return place;
}

// Bytes outside the unreserved set and "/" as %XX, as in a URI's path.
std::string EscapePath(const std::string& path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (const unsigned char c : path) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '~' ||
                           c == '/';
        if (plain) {
            out += char(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    return out;
}

std::string LocalTimeText(std::time_t when) {
    std::tm local{};
    ::localtime_r(&when, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

// The name a file takes in the trash on its `attempt`th try (1, 2, ...):
// "NAME", "NAME.2", ... cut so that NAME.trashinfo still fits the longest
// name the file system takes. A cut keeps the extension and never splits
// a UTF-8 character.
std::string TrashName(const std::string& name, int attempt, size_t nameMax) {
    std::string suffix;
    if (attempt > 1) suffix.append(1, '.').append(std::to_string(attempt));
    const size_t room = nameMax > kInfoSuffixLength ? nameMax - kInfoSuffixLength : 1;
    if (name.size() + suffix.size() <= room) return name + suffix;
    std::string extension;
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0 && name.size() - dot <= kLongestKeptExtension)
        extension = name.substr(dot);
    if (extension.size() + suffix.size() >= room) extension.clear();
    size_t cut =
        room > extension.size() + suffix.size() ? room - extension.size() - suffix.size() : 1;
    while (cut > 1 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut; // back to the first byte of the character the cut falls in
    return name.substr(0, cut) + extension + suffix;
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

// Makes a folder's entries (a name made, renamed or removed) durable.
void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Where a written info file stands in the trash, ready for the rename.
struct Reserved {
    std::string name;     // the file's name in files/
    std::string infoFile; // info/NAME.trashinfo
};

// Writes info/NAME.trashinfo under the first free name, whole and synced;
// `errno`'s value in `error` when it cannot. `attempt` is the try to begin
// with, and the one taken on return.
bool ReserveInfo(const std::string& trash, const std::string& name, const std::string& content,
                 int& attempt, Reserved& out, int& error) {
    const std::string infoFolder = trash + "/info";
    long nameMax = ::pathconf(infoFolder.c_str(), _PC_NAME_MAX);
    if (nameMax <= 0) nameMax = kDefaultNameMax;
    for (; attempt <= kNameTries; ++attempt) {
        out.name = TrashName(name, attempt, size_t(nameMax));
        out.infoFile = infoFolder + "/" + out.name + kInfoSuffix;
        const int fd = ::open(out.infoFile.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kInfoFileMode);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            error = errno;
            return false;
        }
        const bool written = WriteAll(fd, content) && ::fsync(fd) == 0;
        error = written ? 0 : errno;
        if (::close(fd) != 0 && written) error = errno;
        if (error != 0) {
            ::unlink(out.infoFile.c_str());
            return false;
        }
        SyncFolder(infoFolder); // the info file is on disk before its file moves
        return true;
    }
    error = EEXIST;
    return false;
}

// Whether a failure to write into the trash means there is no trash to be
// had on this file system, rather than a fault of this one file.
bool NoTrashError(int error) {
    return error == EROFS || error == EXDEV || error == EACCES || error == EPERM;
}

std::string RecordErrorText(int error) {
    if (error == EROFS) return kReadOnly;
    if (NoTrashError(error)) return kNoTrashHere;
    if (error == EEXIST) return "The trash has no free name for this file";
    return "The trash's record cannot be written: " + ErrorText(error);
}

// True when `path` is there and no folder (a link is itself, whatever it
// points at); else `o` says why not, a folder with `folderReason`.
bool IsFileOrLink(const std::string& path, FileOutcome& o, const char* folderReason) {
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0) {
        o.error = path.empty() ? ENOENT : errno;
        o.reason = ErrorText(o.error);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        o.reason = folderReason;
        return false;
    }
    return true;
}

} // namespace

std::string Trash::DefaultHomeTrash() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') return std::string(data) + "/Trash";
    std::string home;
    if (const char* env = std::getenv("HOME"); env && env[0] == '/') {
        home = env;
    } else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) {
        home = pw->pw_dir;
    }
    if (home.empty()) return {};
    return home + "/.local/share/Trash";
}

Trash::Trash(std::string homeTrash) : home_(std::move(homeTrash)) {}

std::string Trash::TopDirOf(const std::string& path) {
    const std::string folder = RealPath(FolderOf(path));
    return folder.empty() ? std::string() : TopDirOfFolder(folder);
}

std::string Trash::FolderFor(const std::string& path, std::string* why) const {
    const std::string folder = RealPath(FolderOf(path));
    if (folder.empty()) {
        if (why) *why = ErrorText(errno);
        return {};
    }
    Place place = PlaceFor(home_, folder);
    if (place.trash.empty() && why) *why = place.why;
    return place.trash;
}

Trash::Result Trash::MoveToTrash(const std::string& path) const {
    Result r;
    FileOutcome& o = r.outcome;
    o.source = path;
    if (!IsFileOrLink(path, o, "Folders are not moved to the trash here, only files and links"))
        return r;
    // The original path from the folder's real path: a link in the way is
    // resolved, the file's own name is not followed.
    const std::string folder = RealPath(FolderOf(path));
    if (folder.empty()) {
        o.error = errno;
        o.reason = ErrorText(o.error);
        return r;
    }
    const std::string name = NameOf(path);
    const std::string original = Join(folder, name);
    o.source = original;

    const Place place = PlaceFor(home_, folder);
    if (place.trash.empty()) {
        o.error = place.error;
        o.reason = place.why;
        r.noTrash = true;
        return r;
    }
    const std::string trashReal = RealPath(place.trash);
    if (folder == trashReal || folder.rfind(trashReal + "/", 0) == 0) {
        o.reason = "This file is in the trash already";
        return r;
    }
    // A trash on another mount keeps the path relative to its top folder,
    // so that the entry still comes back when the mount moves.
    std::string stored = original;
    if (!place.topDir.empty())
        stored =
            place.topDir == "/" ? original.substr(1) : original.substr(place.topDir.size() + 1);
    const std::string content = "[Trash Info]\nPath=" + EscapePath(stored) +
                                "\nDeletionDate=" + LocalTimeText(std::time(nullptr)) + "\n";

    const std::string filesFolder = place.trash + "/files";
    Reserved reserved;
    for (int attempt = 1;; ++attempt) {
        int error = 0;
        if (!ReserveInfo(place.trash, name, content, attempt, reserved, error)) {
            o.error = error;
            r.noTrash = NoTrashError(error);
            o.reason = RecordErrorText(error);
            return r;
        }
        const std::string trashed = filesFolder + "/" + reserved.name;
        error = RenameNoReplace(original, trashed);
        if (error == 0) {
            SyncFolder(filesFolder);
            SyncFolder(folder);
            o.status = OutcomeStatus::Done;
            o.result = trashed;
            r.entry = {original, trashed, reserved.infoFile};
            return r;
        }
        ::unlink(reserved.infoFile.c_str());
        if (error == EEXIST) continue; // a file without its record holds that name
        o.error = error;
        // A rename the kernel will not make across mounts is never
        // replaced by a copy: there is no trash for this file.
        r.noTrash = error == EXDEV || error == EROFS;
        o.reason = error == EROFS   ? kReadOnly
                   : error == EXDEV ? "No trash on this file system can take this file"
                                    : ErrorText(error);
        return r;
    }
}

FileOutcome Trash::Restore(const TrashEntry& entry) const {
    FileOutcome o;
    o.source = entry.trashedFile;
    if (entry.original.empty() || entry.original[0] != '/' || entry.trashedFile.empty()) {
        o.reason = "This trash entry does not say where the file was";
        return o;
    }
    struct stat st {};
    if (::lstat(entry.trashedFile.c_str(), &st) != 0) {
        o.error = errno;
        o.reason = "The file is no longer in the trash";
        return o;
    }
    const int error = RenameNoReplace(entry.trashedFile, entry.original);
    if (error != 0) {
        o.error = error;
        if (error == EEXIST)
            o.reason = "The place it came from, " + entry.original + ", is taken";
        else if (error == ENOENT || error == ENOTDIR)
            o.reason = "The folder it came from is no longer there";
        else if (error == EXDEV)
            o.reason = "It cannot go back across file systems without a copy";
        else
            o.reason = ErrorText(error);
        return o;
    }
    SyncFolder(FolderOf(entry.original));
    SyncFolder(FolderOf(entry.trashedFile));
    // The record goes only once the file is back: a crash between the two
    // leaves a record without its file, never a file without its record.
    if (!entry.infoFile.empty() && ::unlink(entry.infoFile.c_str()) == 0)
        SyncFolder(FolderOf(entry.infoFile));
    o.status = OutcomeStatus::Done;
    o.result = entry.original;
    return o;
}

FileOutcome Trash::DeletePermanently(const std::string& path) {
    FileOutcome o;
    o.source = path;
    if (!IsFileOrLink(path, o, "Folders are not deleted here, only files and links")) return o;
    if (::unlink(path.c_str()) != 0) {
        o.error = errno;
        o.reason = ErrorText(o.error);
        return o;
    }
    SyncFolder(FolderOf(path));
    o.status = OutcomeStatus::Done;
    return o;
}
