#include "fileops/Transfer.h"

#include "fileops/Rename.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Bytes moved by one call between two looks at Cancel and at the progress.
constexpr size_t kBlockBytes = size_t(1) << 20;
// The longest name most Linux file systems take, used where the folder
// cannot be asked.
constexpr long kDefaultNameMax = 255;
// A temporary copy is ".NAME.vantrel-XXXXXX": hidden, and recognisable as ours.
constexpr char kTempMark[] = ".vantrel-";
constexpr size_t kTempRandomChars = 6;
constexpr int kTempTries = 100;
// How far "name (N).ext" counts before giving up.
constexpr unsigned kMostNumbers = 1000000;
// A copy gets the source's permissions, but not its set-user-ID, set-group-ID
// or sticky bits: the copy belongs to whoever made it.
constexpr mode_t kCopiedModeBits = 0777;

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    void Reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    int get() const { return fd_; }

  private:
    int fd_;
};

std::string Join(const std::string& folder, const std::string& name) {
    return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

long LongestName(int folderFd) {
    const long max = ::fpathconf(folderFd, _PC_NAME_MAX);
    return max > 0 ? max : kDefaultNameMax;
}

// Cuts `text` to at most `bytes` bytes without splitting a UTF-8 sequence
// (a name that is not UTF-8 is cut anywhere; it is still a valid name).
std::string CutTo(const std::string& text, size_t bytes) {
    if (text.size() <= bytes) return text;
    size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end == 0 ? bytes : end);
}

std::string TempName(const std::string& name, long nameMax) {
    static constexpr char kAlphabet[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    const size_t fixed = 1 + (sizeof(kTempMark) - 1) + kTempRandomChars;
    const size_t room = size_t(nameMax) > fixed ? size_t(nameMax) - fixed : 1;
    std::string temp(1, '.');
    temp += CutTo(name, room);
    temp += kTempMark;
    for (size_t i = 0; i < kTempRandomChars; ++i)
        temp += kAlphabet[random() % (sizeof(kAlphabet) - 1)];
    return temp;
}

// Which side a failure concerns, for saying it in words.
enum class Side { Source, Destination };

std::string Words(int error, Side side) {
    const bool dest = side == Side::Destination;
    switch (error) {
    case ENOENT:
        return dest ? "The destination folder is gone" : "The file is gone";
    case ENOSPC:
    case EDQUOT:
        return "No space left on the destination";
    case EFBIG:
        return "The file is too large for the destination's file system";
    case EROFS:
        return dest ? "The destination folder is read-only" : "The file's folder is read-only";
    case EACCES:
    case EPERM:
        return dest ? "No permission to write in the destination folder"
                    : "No permission to read the file or remove it from its folder";
    case EIO:
        return "The disk reported an error (input/output error)";
    case ENAMETOOLONG:
        return "The name is too long for the destination";
    case EISDIR:
    case ENOTEMPTY:
        return "A folder of that name is in the destination";
    case EEXIST:
        return "A file of that name came into the destination meanwhile";
    case ENOTDIR:
        return dest ? "The destination is not a folder" : "The file is gone";
    default:
        return std::strerror(error);
    }
}

FileOutcome& Settle(FileOutcome& o, OutcomeStatus status, std::string reason, int error = 0) {
    o.status = status;
    o.reason = std::move(reason);
    o.error = error;
    return o;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

int SyncFolder(const std::string& folder) {
    Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) return errno;
    return ::fsync(fd.get()) == 0 ? 0 : errno;
}

// One call of TransferFiles: the destination folder held open, the bytes
// done so far, and the steps of each file.
class Transfer {
  public:
    Transfer(TransferKind kind, const std::string& destination, const TransferOptions& options)
        : kind_(kind), destination_(destination), options_(options),
          dest_(::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
          destError_(dest_.get() < 0 ? errno : 0) {}

    TransferDone Run(const std::vector<std::string>& sources) {
        // Each source counts in the progress with its size when the run
        // began, so that the bytes done reach the total exactly.
        std::vector<uint64_t> sizes;
        for (const std::string& s : sources) {
            struct stat st {};
            const bool file = ::lstat(s.c_str(), &st) == 0 && S_ISREG(st.st_mode);
            sizes.push_back(file ? uint64_t(st.st_size) : 0);
            total_ += sizes.back();
        }
        TransferDone done;
        for (size_t i = 0; i < sources.size(); ++i) {
            FileOutcome o;
            o.source = sources[i];
            if (stopped_ || CancelAsked())
                Settle(o, OutcomeStatus::Cancelled, "Cancelled");
            else
                One(o);
            if (o.status == OutcomeStatus::Cancelled) stopped_ = true;
            done_ += sizes[i];
            Progress(done_);
            done.outcomes.push_back(std::move(o));
        }
        // A removal not yet on disk can only come back after a power cut as
        // a second copy of a file whose moved copy is whole and synced, never
        // as a loss: each source folder is synced once, at the end, instead
        // of after every file (a folder's sync costs milliseconds on a disk).
        for (const std::string& folder : removedFrom_)
            SyncFolder(folder);
        done.cancelled = stopped_;
        return done;
    }

  private:
    bool CancelAsked() const { return options_.cancel && options_.cancel->load(); }
    void Observe(TransferStep step) const {
        if (options_.observeStep) options_.observeStep(step);
    }
    void Progress(uint64_t done) const {
        if (options_.progress) options_.progress(done, total_);
    }

    void One(FileOutcome& o) {
        if (destError_ != 0) {
            Settle(o, OutcomeStatus::Failed, Words(destError_, Side::Destination), destError_);
            return;
        }
        const std::string& source = o.source;
        struct stat st {};
        if (::lstat(source.c_str(), &st) != 0) {
            Settle(o, OutcomeStatus::Failed, Words(errno, Side::Source), errno);
            return;
        }
        if (S_ISDIR(st.st_mode)) {
            Settle(o, OutcomeStatus::Failed, "Folders are not copied or moved");
            return;
        }
        if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
            Settle(o, OutcomeStatus::Failed, "Only files and links are copied or moved");
            return;
        }
        std::string name = BaseName(source);
        bool replace = false;
        struct stat existing {};
        if (::fstatat(dest_.get(), name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
            if (SameFile(existing, st)) {
                Settle(o, OutcomeStatus::Skipped, "The file is in that folder already");
                return;
            }
            const ConflictChoice choice =
                options_.onConflict ? options_.onConflict(source, Join(destination_, name))
                                    : ConflictChoice::Skip;
            switch (choice) {
            case ConflictChoice::Skip:
                Settle(o, OutcomeStatus::Skipped, "A file of that name is in the destination");
                return;
            case ConflictChoice::CancelAll:
                Settle(o, OutcomeStatus::Cancelled, "Cancelled");
                return;
            case ConflictChoice::KeepBoth:
                name = FreeNameIn(destination_, name);
                break;
            case ConflictChoice::Replace:
                replace = true;
                break;
            }
        } else if (errno != ENOENT) {
            Settle(o, OutcomeStatus::Failed, Words(errno, Side::Destination), errno);
            return;
        }
        if (kind_ == TransferKind::Move) {
            // Inside one file system a move is a rename: atomic, nothing copied,
            // and nothing to sync (a crash leaves the file under one name or
            // the other).
            const unsigned flags = replace ? 0 : RENAME_NOREPLACE;
            if (::renameat2(AT_FDCWD, source.c_str(), dest_.get(), name.c_str(), flags) == 0) {
                o.result = Join(destination_, name);
                Settle(o, OutcomeStatus::Done, "");
                return;
            }
            // EXDEV: another file system; EINVAL: one without RENAME_NOREPLACE.
            // Both are served by the copy below, which never replaces a file.
            if (errno != EXDEV && errno != EINVAL) {
                const int error = errno;
                Settle(o, OutcomeStatus::Failed, Words(error, RenameSide(error, source)), error);
                return;
            }
            // The source goes only at the end: make sure now that it can.
            if (::faccessat(AT_FDCWD, FolderOf(source).c_str(), W_OK, AT_EACCESS) != 0) {
                Settle(o, OutcomeStatus::Failed, Words(errno, Side::Source), errno);
                return;
            }
        }
        CopyThenPlace(o, st, name, replace);
    }

    // A rename touches both folders: a missing name is the source's when the
    // source is gone, a refusal the destination's when it cannot be written
    // to; else the source's folder is at fault.
    Side RenameSide(int error, const std::string& source) const {
        struct stat st {};
        if (error == ENOENT || error == ENOTDIR)
            return ::lstat(source.c_str(), &st) != 0 ? Side::Source : Side::Destination;
        if (error != EROFS && error != EACCES && error != EPERM) return Side::Destination;
        return ::faccessat(dest_.get(), ".", W_OK, AT_EACCESS) != 0 ? Side::Destination
                                                                    : Side::Source;
    }

    void CopyThenPlace(FileOutcome& o, const struct stat& st, const std::string& name,
                       bool replace) {
        const std::string& source = o.source;
        const bool link = S_ISLNK(st.st_mode);
        Observe(TransferStep::Begin);
        Fd in;
        struct stat inSt = st;
        std::string linkTarget;
        if (link) {
            if (int error = ReadLink(source, linkTarget); error != 0) {
                if (error == ESTALE)
                    Settle(o, OutcomeStatus::Failed, "The file changed meanwhile");
                else
                    Fail(o, error, Side::Source);
                return;
            }
        } else {
            // O_NONBLOCK: a FIFO put in the file's place must not block the open.
            in.Reset(::open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
            if (in.get() < 0) {
                if (errno == ELOOP)
                    Settle(o, OutcomeStatus::Failed, "The file changed meanwhile");
                else
                    Fail(o, errno, Side::Source);
                return;
            }
            if (::fstat(in.get(), &inSt) != 0 || !S_ISREG(inSt.st_mode)) {
                Settle(o, OutcomeStatus::Failed, "The file changed meanwhile");
                return;
            }
        }

        Observe(TransferStep::TempCreated);
        const long nameMax = LongestName(dest_.get());
        Fd out;
        temp_.clear();
        for (int attempt = 0; attempt < kTempTries && temp_.empty(); ++attempt) {
            const std::string candidate = TempName(name, nameMax);
            int made = 0;
            if (link) {
                made = ::symlinkat(linkTarget.c_str(), dest_.get(), candidate.c_str());
            } else {
                out.Reset(::openat(dest_.get(), candidate.c_str(),
                                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                   inSt.st_mode & kCopiedModeBits));
                made = out.get() < 0 ? -1 : 0;
            }
            if (made == 0)
                temp_ = candidate;
            else if (errno != EEXIST)
                break;
        }
        if (temp_.empty()) {
            Fail(o, errno, Side::Destination);
            return;
        }

        Observe(TransferStep::DataWritten);
        uint64_t copied = 0;
        if (!link) {
            if (int error = CopyBytes(in.get(), out.get(), uint64_t(inSt.st_size), copied);
                error != 0) {
                if (error == ECANCELED) {
                    RemoveTemp();
                    Settle(o, OutcomeStatus::Cancelled, "Cancelled");
                } else if (error == ESTALE) {
                    FailChanged(o);
                } else {
                    Fail(o, error, Side::Destination);
                }
                return;
            }
            // The mode exactly (the umask narrowed it at creation), and the
            // modification time of the source, as a file manager's copy keeps it.
            const timespec times[2] = {inSt.st_atim, inSt.st_mtim};
            if (::fchmod(out.get(), inSt.st_mode & kCopiedModeBits) != 0 ||
                ::futimens(out.get(), times) != 0) {
                Fail(o, errno, Side::Destination);
                return;
            }
        } else {
            const timespec times[2] = {st.st_atim, st.st_mtim};
            ::utimensat(dest_.get(), temp_.c_str(), times, AT_SYMLINK_NOFOLLOW);
        }

        Observe(TransferStep::DataSynced);
        if (!link && ::fsync(out.get()) != 0) {
            Fail(o, errno, Side::Destination);
            return;
        }

        Observe(TransferStep::SizesChecked);
        if (!link) {
            struct stat outSt {};
            struct stat nowSt {};
            if (::fstat(out.get(), &outSt) != 0 || ::fstat(in.get(), &nowSt) != 0) {
                Fail(o, errno, Side::Destination);
                return;
            }
            if (uint64_t(outSt.st_size) != copied || uint64_t(nowSt.st_size) != copied ||
                !SameTime(nowSt.st_mtim, inSt.st_mtim)) {
                FailChanged(o);
                return;
            }
        } else {
            std::string now;
            if (ReadLink(source, now) != 0 || now != linkTarget) {
                FailChanged(o);
                return;
            }
        }

        Observe(TransferStep::Renamed);
        if (int error = Place(name, replace); error != 0) {
            Fail(o, error, Side::Destination);
            return;
        }
        temp_.clear();
        o.result = Join(destination_, name);

        Observe(TransferStep::FolderSynced);
        if (::fsync(dest_.get()) != 0) {
            const int error = errno;
            Settle(o, OutcomeStatus::Failed,
                   "The copy could not be saved to the destination: " +
                       Words(error, Side::Destination),
                   error);
            return;
        }

        if (kind_ == TransferKind::Move) {
            Observe(TransferStep::SourceRemoved);
            if (int error = RemoveSource(source, inSt); error != 0) {
                Settle(
                    o, OutcomeStatus::Failed,
                    error == ESTALE
                        ? "The copy is made, but the file changed meanwhile and was left in place"
                        : "The copy is made, but the file could not be removed: " +
                              Words(error, Side::Source),
                    error == ESTALE ? 0 : error);
                return;
            }
        }
        Settle(o, OutcomeStatus::Done, "");
    }

    static int ReadLink(const std::string& path, std::string& target) {
        std::string buffer(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
        if (n < 0) return errno == EINVAL ? ESTALE : errno;
        target.assign(buffer.data(), size_t(n));
        return 0;
    }

    // Copies from `in` to `out` until the end of `in`: copy_file_range (which
    // a file system may serve by sharing blocks), else sendfile, else read and
    // write. ECANCELED when Cancel is asked between blocks, ESTALE when the
    // source grows past the size it had.
    int CopyBytes(int in, int out, uint64_t size, uint64_t& copied) {
        enum class Way { Range, Send, ReadWrite } way = Way::Range;
        std::string buffer;
        for (;;) {
            if (CancelAsked()) return ECANCELED;
            ssize_t n = 0;
            if (way == Way::Range) {
                n = ::copy_file_range(in, nullptr, out, nullptr, kBlockBytes, 0);
            } else if (way == Way::Send) {
                n = ::sendfile(out, in, nullptr, kBlockBytes);
            } else {
                buffer.resize(kBlockBytes);
                n = ::read(in, buffer.data(), buffer.size());
                for (ssize_t written = 0; n > 0 && written < n;) {
                    const ssize_t w = ::write(out, buffer.data() + written, size_t(n - written));
                    if (w < 0 && errno == EINTR) continue;
                    if (w < 0) return errno;
                    written += w;
                }
            }
            if (n < 0) {
                if (errno == EINTR || errno == EAGAIN) continue;
                const bool unsupported = errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                                         errno == EOPNOTSUPP || errno == EBADF;
                if (!unsupported || way == Way::ReadWrite) return errno;
                way = way == Way::Range ? Way::Send : Way::ReadWrite;
                continue;
            }
            if (n == 0) {
                // Some files report less than they hold; only read() has the
                // last word on where a file ends.
                if (way == Way::ReadWrite || copied >= size) return 0;
                way = Way::ReadWrite;
                continue;
            }
            copied += uint64_t(n);
            if (copied > size) return ESTALE;
            Progress(done_ + copied);
        }
    }

    // Gives the temporary file its name: never over a file unless the answer
    // was Replace, when the rename replaces it in one step.
    int Place(const std::string& name, bool replace) {
        if (replace) {
            return ::renameat(dest_.get(), temp_.c_str(), dest_.get(), name.c_str()) == 0 ? 0
                                                                                          : errno;
        }
        if (::renameat2(dest_.get(), temp_.c_str(), dest_.get(), name.c_str(), RENAME_NOREPLACE) ==
            0)
            return 0;
        if (errno != EINVAL) return errno;
        const FileOutcome renamed = RenameFile(Join(destination_, temp_), name);
        if (renamed.Done()) return 0;
        return renamed.error != 0 ? renamed.error : EEXIST;
    }

    // Unlinks a move's source once its copy stands, if it is still the file
    // that was copied, and notes its folder for syncing. ESTALE when another
    // file took its place meanwhile; a source already gone leaves its copy
    // the file.
    int RemoveSource(const std::string& source, const struct stat& copiedSt) {
        struct stat now {};
        if (::lstat(source.c_str(), &now) != 0) return errno == ENOENT ? 0 : errno;
        if (!SameFile(now, copiedSt)) return ESTALE;
        if (::unlink(source.c_str()) != 0) return errno;
        const std::string folder = FolderOf(source);
        if (std::find(removedFrom_.begin(), removedFrom_.end(), folder) == removedFrom_.end())
            removedFrom_.push_back(folder);
        return 0;
    }

    void RemoveTemp() {
        if (!temp_.empty()) ::unlinkat(dest_.get(), temp_.c_str(), 0);
        temp_.clear();
    }
    void Fail(FileOutcome& o, int error, Side side) {
        RemoveTemp();
        Settle(o, OutcomeStatus::Failed, Words(error, side), error);
    }
    void FailChanged(FileOutcome& o) {
        RemoveTemp();
        Settle(o, OutcomeStatus::Failed, "The file changed while it was copied");
    }

    TransferKind kind_;
    std::string destination_;
    const TransferOptions& options_;
    Fd dest_;
    int destError_;
    std::string temp_;                     // the temporary file of the file under way, until placed
    std::vector<std::string> removedFrom_; // the folders of the sources removed
    uint64_t total_ = 0;
    uint64_t done_ = 0;
    bool stopped_ = false;
};

} // namespace

TransferDone TransferFiles(TransferKind kind, const std::vector<std::string>& sources,
                           const std::string& destination, const TransferOptions& options) {
    return Transfer(kind, destination, options).Run(sources);
}

std::string FreeNameIn(const std::string& folder, const std::string& name) {
    Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const size_t nameMax = size_t(fd.get() >= 0 ? LongestName(fd.get()) : kDefaultNameMax);
    // The extension stays; a "." that opens the name does not start one.
    const size_t dot = name.rfind('.');
    std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    std::string extension = stem.size() == name.size() ? "" : name.substr(dot);
    std::string candidate = name;
    for (unsigned n = 2; n < kMostNumbers; ++n) {
        const std::string number = " (" + std::to_string(n) + ")";
        if (number.size() + extension.size() >= nameMax) {
            // An extension too long to keep: the whole name is the stem.
            stem = name;
            extension.clear();
        }
        candidate = CutTo(stem, nameMax - number.size() - extension.size()) + number + extension;
        struct stat st {};
        // A name that cannot be looked up is taken as free: the rename that
        // gives it never replaces a file.
        if (::lstat(Join(folder, candidate).c_str(), &st) != 0) return candidate;
    }
    return candidate;
}
