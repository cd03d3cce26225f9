#include "imaging/LosslessTurn.h"

#include "platform/Files.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <turbojpeg.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint64_t kMaxFileBytes = uint64_t(1) << 30;
// The transform holds every DCT coefficient of the picture (about 3 bytes a
// pixel): a larger picture, or a small file claiming one, is refused.
constexpr uint64_t kMaxPixels = uint64_t(1) << 28;
// A temporary file's name keeps at most this much of the picture's name, so
// that it stays within the file system's limit on a name.
constexpr std::size_t kNameKept = 200;

// The pixel transform that makes stored pixels shown under an orientation,
// by orientation 1 to 8: what a file's pixels undergo so that, tagged 1, it
// shows what it showed before under that orientation.
constexpr std::array<int, 9> kOpFor = {TJXOP_NONE,   TJXOP_NONE,       TJXOP_HFLIP,
                                       TJXOP_ROT180, TJXOP_VFLIP,      TJXOP_TRANSPOSE,
                                       TJXOP_ROT90,  TJXOP_TRANSVERSE, TJXOP_ROT270};

// The orientation that undoes `orientation`: the quarter turns undo each
// other, every other one undoes itself.
int InverseOrientation(int orientation) {
    return orientation == 6 ? 8 : orientation == 8 ? 6 : orientation;
}

// True when the transform moves no partial block (MCU) of the picture's
// right or bottom edge to its top or left, where a lossless transform cannot
// put it.
bool Perfect(int op, int width, int height, int subsampling) {
    const bool partialRight = width % tjMCUWidth[subsampling] != 0;
    const bool partialBottom = height % tjMCUHeight[subsampling] != 0;
    switch (op) {
    case TJXOP_HFLIP:
    case TJXOP_ROT270:
        return !partialRight;
    case TJXOP_VFLIP:
    case TJXOP_ROT90:
        return !partialBottom;
    case TJXOP_TRANSVERSE:
    case TJXOP_ROT180:
        return !partialRight && !partialBottom;
    default:
        return true;
    }
}

std::string SystemText(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

// The reason for a failed call, with its errno kept for the outcome.
std::string Failure(const std::string& what, int& error) {
    error = errno;
    return SystemText(what, error);
}

struct Transformer {
    tjhandle handle = tjInitTransform();
    ~Transformer() {
        if (handle) tjDestroy(handle);
    }
    std::string Error() const { return handle ? tjGetErrorStr2(handle) : "no memory"; }
};

// What a turn or its undo does to one file: the pixel transform (as the
// orientation it equals, 1 for none) and the tag to set after it, if any.
struct Plan {
    int pixels = 1;
    std::optional<int> tag;
    std::string refusal; // non-empty: nothing is done, for this reason
};

// The file as read, and the facts of the picture in it.
struct Picture {
    Bytes bytes;
    int width = 0, height = 0, subsampling = 0;
    bool progressive = false;
    std::optional<int> tag; // the Orientation tag, when the file has one in range
};

// True when the frame before the first scan is coded progressively (SOF2,
// SOF6, SOF10 or SOF14): the turned file is coded so too, as small as it was.
// The header has been read whole by then, so the segments hold together.
bool Progressive(const Bytes& jpeg) {
    constexpr uint8_t kSos = 0xDA;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        const uint8_t marker = jpeg[at + 1];
        if (marker == 0xFF) { // a fill byte
            ++at;
            continue;
        }
        if (marker == kSos) return false;
        if (marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE) return true;
        at += 2 + (std::size_t(jpeg[at + 2]) << 8 | jpeg[at + 3]);
    }
    return false;
}

// Runs the transform, or only reads every coefficient when the pixels are
// kept, so that a damaged file is refused either way: the new bytes in `out`
// (the picture's own, moved, when kept), or false and the library's reason.
bool Transform(Picture& p, int op, Bytes& out, std::string& reason) {
    Transformer t;
    if (!t.handle) {
        reason = "The picture's transform could not start";
        return false;
    }
    tjtransform xform{};
    xform.op = op;
    xform.options = TJXOPT_PERFECT | (op == TJXOP_NONE ? TJXOPT_NOOUTPUT : 0) |
                    (p.progressive ? TJXOPT_PROGRESSIVE : 0);
    unsigned char* dst = nullptr;
    unsigned long dstSize = 0;
    // A warning (data cut short, a bad code) fails the turn rather than
    // writing zeros where the damaged data was; scans are limited as a
    // guard against pathological progressive files.
    const int flags = TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS;
    const int r =
        tjTransform(t.handle, p.bytes.data(), p.bytes.size(), 1, &dst, &dstSize, &xform, flags);
    if (r != 0) {
        reason = "The JPEG is damaged (" + t.Error() + ")";
        if (dst) tjFree(dst);
        return false;
    }
    if (op == TJXOP_NONE) {
        out = std::move(p.bytes);
    } else {
        out.assign(dst, dst + dstSize);
        p.bytes = Bytes(); // the original's memory given back before the write
    }
    if (dst) tjFree(dst);
    return true;
}

// A temporary file beside the picture, removed unless renamed over it.
class TempBeside {
  public:
    ~TempBeside() {
        if (fd_ >= 0) ::close(fd_);
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    bool Create(const std::string& target) {
        const std::size_t slash = target.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash);
        const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
        std::string templ = folder + "/." + name.substr(0, kNameKept) + ".turn-XXXXXX";
        fd_ = ::mkostemp(templ.data(), O_CLOEXEC); // O_EXCL: never an existing file
        if (fd_ < 0) return false;
        path_ = templ;
        return true;
    }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    void Renamed() { path_.clear(); }

  private:
    int fd_ = -1;
    std::string path_;
};

bool WriteAll(int fd, const Bytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        done += std::size_t(n);
    }
    return true;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Copies the original's extended attributes (a desktop's tags and ratings,
// where a picture came from, an access list) to the new file: false when a
// user's attribute cannot be kept. The system's own (a security label the
// new file gets by itself) are kept where the file system lets them be.
bool CopyAttributes(const std::string& from, int to) {
    const ssize_t listed = ::listxattr(from.c_str(), nullptr, 0);
    if (listed <= 0) return listed == 0 || errno == ENOTSUP;
    std::string names(std::size_t(listed), '\0');
    const ssize_t got = ::listxattr(from.c_str(), names.data(), names.size());
    if (got < 0) return false;
    names.resize(std::size_t(got));
    for (std::size_t at = 0; at < names.size();) {
        const std::size_t end = std::min(names.find('\0', at), names.size());
        const std::string name = names.substr(at, end - at);
        at = end + 1;
        if (name.empty()) continue;
        const bool users = name.rfind("user.", 0) == 0;
        const ssize_t size = ::getxattr(from.c_str(), name.c_str(), nullptr, 0);
        std::string value(size > 0 ? std::size_t(size) : 0, '\0');
        const bool kept =
            size >= 0 &&
            ::getxattr(from.c_str(), name.c_str(), value.data(), value.size()) == size &&
            ::fsetxattr(to, name.c_str(), value.data(), value.size(), 0) == 0;
        if (!kept && users) return false;
    }
    return true;
}

void Observe(const TurnOptions& options, TurnStep step) {
    if (options.observeStep) options.observeStep(step);
}

// Writes `bytes` in place of `target` (whose state was `was`): beside it
// under a hidden name, with its mode and owner, synced, renamed over it and
// the folder synced. Empty on success, else the reason (and `error`, the
// errno); the original is then as it was and the temporary file gone.
std::string WriteBeside(const std::string& target, const struct stat& was, const Bytes& bytes,
                        const TurnOptions& options, int& error) {
    TempBeside temp;
    if (!temp.Create(target)) return Failure("Cannot write beside the picture", error);
    if (!WriteAll(temp.fd(), bytes)) return Failure("Cannot write the turned picture", error);
    // The owner first: a change of owner may clear the mode's set-id bits.
    if (::fchown(temp.fd(), was.st_uid, was.st_gid) != 0)
        return Failure("Cannot keep the picture's owner", error);
    if (!CopyAttributes(target, temp.fd()))
        return Failure("Cannot keep the picture's extended attributes", error);
    if (::fchmod(temp.fd(), was.st_mode & 07777) != 0)
        return Failure("Cannot keep the picture's permissions", error);
    if (options.keepModificationTime) {
        const struct timespec times[2] = {was.st_atim, was.st_mtim};
        if (::futimens(temp.fd(), times) != 0)
            return Failure("Cannot keep the picture's time", error);
    }
    Observe(options, TurnStep::TempWritten);
    if (::fsync(temp.fd()) != 0) return Failure("Cannot write the turned picture", error);
    Observe(options, TurnStep::TempSynced);
    struct stat now {};
    if (::stat(target.c_str(), &now) != 0 || !SameFile(now, was))
        return "The picture changed while it was turned";
    if (::rename(temp.path().c_str(), target.c_str()) != 0)
        return Failure("Cannot put the turned picture in place", error);
    temp.Renamed();
    Observe(options, TurnStep::Renamed);
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // The turned file is in place whatever comes of this: a folder that
    // cannot be synced (a file system without the call) is not a failure.
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    Observe(options, TurnStep::FolderSynced);
    return {};
}

// The file a turn of `path` rewrites: `path` itself, or for a symbolic link
// the file it leads to, so that the link stays a link to the turned picture.
bool Target(const std::string& path, std::string& target) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return false;
    if (!S_ISLNK(st.st_mode)) {
        target = path;
        return true;
    }
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    if (!real) return false;
    target = real.get();
    return true;
}

// Reads the picture and checks that it is a JPEG the transform takes.
std::string ReadPicture(const std::string& target, Picture& p, struct stat& st, int& error) {
    const int fd = Files::OpenRegularFile(target);
    if (fd < 0) return Failure("Cannot open the picture", error);
    // A file its owner made read-only is not rewritten, though its folder
    // would let the turned file be renamed over it.
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        ::close(fd);
        return Failure("Cannot change the picture", error);
    }
    const bool read = ::fstat(fd, &st) == 0 && Files::ReadWhole(fd, p.bytes, kMaxFileBytes);
    const int readError = errno;
    ::close(fd);
    if (!read && st.st_size > off_t(kMaxFileBytes)) return "The picture is too large to turn";
    if (!read) {
        error = readError;
        return SystemText("Cannot read the picture", error);
    }
    if (p.bytes.size() < 3 || p.bytes[0] != 0xFF || p.bytes[1] != 0xD8 || p.bytes[2] != 0xFF)
        return "Not a JPEG picture";
    Transformer t;
    int colourspace = 0;
    if (!t.handle || tjDecompressHeader3(t.handle, p.bytes.data(), p.bytes.size(), &p.width,
                                         &p.height, &p.subsampling, &colourspace) != 0)
        return "The JPEG is damaged or of a kind that cannot be turned (" + t.Error() + ")";
    if (p.subsampling < 0 || p.subsampling >= TJ_NUMSAMP)
        return "The JPEG's colour sampling cannot be turned losslessly";
    if (uint64_t(p.width) * uint64_t(p.height) > kMaxPixels)
        return "The picture is too large to turn";
    p.progressive = Progressive(p.bytes);
    p.tag = Orientation::ReadJpeg(p.bytes);
    return {};
}

// Reads the file at `path`, asks `plan` what to do and does it.
template <class MakePlan>
FileOutcome Rewrite(const std::string& path, const TurnOptions& options, MakePlan plan) {
    FileOutcome o;
    o.source = path;
    Observe(options, TurnStep::Begin);
    std::string target;
    if (!Target(path, target)) {
        o.reason = Failure("Cannot find the picture", o.error);
        return o;
    }
    Picture p;
    struct stat st {};
    o.reason = ReadPicture(target, p, st, o.error);
    if (!o.reason.empty()) return o;
    Observe(options, TurnStep::Read);
    const Plan todo = plan(p);
    if (!todo.refusal.empty()) {
        o.reason = todo.refusal;
        return o;
    }
    Bytes out;
    if (!Transform(p, kOpFor[todo.pixels], out, o.reason)) return o;
    if (todo.tag && !Orientation::WriteJpeg(out, *todo.tag)) {
        o.reason = "The picture's EXIF data has no room for an orientation";
        return o;
    }
    Observe(options, TurnStep::Transformed);
    o.reason = WriteBeside(target, st, out, options, o.error);
    if (!o.reason.empty()) return o;
    o.status = OutcomeStatus::Done;
    o.result = path;
    return o;
}

} // namespace

bool CanTurnLosslessly(const std::string& path) {
    const int fd = Files::OpenRegularFile(path);
    if (fd < 0) return false;
    uint8_t head[3] = {};
    const bool jpeg = ::pread(fd, head, sizeof head, 0) == ssize_t(sizeof head) &&
                      head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
    ::close(fd);
    return jpeg;
}

TurnOutcome TurnJpeg(const std::string& path, Turn turn, const TurnOptions& options) {
    TurnOutcome t;
    t.turn = turn;
    t.outcome = Rewrite(path, options, [&](const Picture& p) {
        Plan plan;
        t.orientationBefore = p.tag.value_or(1);
        // Stored pixels turned by this transform and tagged 1 show the picture
        // shown now, turned.
        const int wanted = Orientation::After(t.orientationBefore, turn);
        if (wanted != 1 && Perfect(kOpFor[wanted], p.width, p.height, p.subsampling)) {
            plan.pixels = wanted;
            if (p.tag) plan.tag = 1;
            t.orientationAfter = 1;
        } else {
            t.byTag = true;
            plan.tag = wanted;
            t.orientationAfter = wanted;
        }
        return plan;
    });
    return t;
}

TurnOutcome UndoTurn(const std::string& path, const TurnOutcome& done, const TurnOptions& options) {
    TurnOutcome t;
    t.turn = Orientation::Inverse(done.turn);
    t.byTag = done.byTag;
    t.orientationBefore = done.orientationAfter;
    t.orientationAfter = done.orientationBefore;
    t.outcome = Rewrite(path, options, [&](const Picture& p) {
        Plan plan;
        if (!done.outcome.Done()) {
            plan.refusal = "The turn was not made: nothing to undo";
            return plan;
        }
        if (p.tag.value_or(1) != done.orientationAfter) {
            plan.refusal = "The picture changed since it was turned";
            return plan;
        }
        if (!done.byTag) {
            plan.pixels = InverseOrientation(Orientation::After(done.orientationBefore, done.turn));
            if (!Perfect(kOpFor[plan.pixels], p.width, p.height, p.subsampling)) {
                plan.refusal = "The picture changed since it was turned";
                return plan;
            }
        }
        if (p.tag || done.orientationBefore != 1) plan.tag = done.orientationBefore;
        return plan;
    });
    return t;
}
