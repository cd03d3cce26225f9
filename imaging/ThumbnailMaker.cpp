#include "imaging/ThumbnailMaker.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// How often a decode in progress asks whether it is still wanted.
constexpr int kCancelCheckMs = 20;
// How long a helper whose socket closed has to finish exiting; one that
// has not by then lives on without its socket.
constexpr int kEndWaitMs = 1000;

// The helper's opaque 32-bit pixels (0x00RRGGBB) as a Qt image.
QImage ToImage(const PictureBox& picture) {
    const cDIB& surface = picture.Surface();
    if (!surface.lpBits() || surface.bpp() != 32 || surface.Width() <= 0 || surface.Height() <= 0)
        return {};
    QImage image(surface.Width(), surface.Height(), QImage::Format_RGB32);
    if (image.isNull()) return {};
    constexpr uint32_t kOpaque = 0xFF000000;
    for (int32_t y = 0; y < surface.Height(); ++y) {
        const auto* in = reinterpret_cast<const uint32_t*>(
            surface.lpBits() + std::size_t(y) * std::size_t(surface.BytesPerScanline()));
        auto* out = reinterpret_cast<uint32_t*>(image.scanLine(y));
        for (int32_t x = 0; x < surface.Width(); ++x)
            out[x] = in[x] | kOpaque;
    }
    return image;
}

// The CPU time `pid` has used, in milliseconds; -1 when it cannot be read.
int64_t CpuMs(pid_t pid) {
    clockid_t clock{};
    timespec used{};
    if (pid <= 0 || ::clock_getcpuclockid(pid, &clock) != 0 || ::clock_gettime(clock, &used) != 0)
        return -1;
    constexpr int64_t kMsPerSecond = 1000, kNsPerMs = 1000000;
    return int64_t(used.tv_sec) * kMsPerSecond + used.tv_nsec / kNsPerMs;
}

// Signals with which a decoder stops by itself on what it reads: a crash,
// its own CPU or file size limit, a call its confinement forbids.
bool StopsByItself(int signal) {
    switch (signal) {
    case SIGSEGV:
    case SIGBUS:
    case SIGFPE:
    case SIGILL:
    case SIGABRT:
    case SIGTRAP:
    case SIGSYS:
    case SIGXCPU:
    case SIGXFSZ:
        return true;
    default:
        return false;
    }
}

// Once the helper's socket (`fd`) is readable: nothing when an answer is
// there; else the helper ended, and true when it stopped by itself on the
// picture, false when it was ended from outside (the OOM killer's SIGKILL,
// a person's SIGTERM), left of its own accord, or is not known to have ended.
std::optional<bool> EndedByItself(pid_t pid, int fd) {
    char first;
    if (::recv(fd, &first, 1, MSG_PEEK | MSG_DONTWAIT) != 0) return std::nullopt;
    // The socket closes as the process exits; its status follows at once.
    const int process = int(::syscall(SYS_pidfd_open, pid, 0));
    if (process >= 0) {
        pollfd p{process, POLLIN, 0};
        while (::poll(&p, 1, kEndWaitMs) < 0 && errno == EINTR) {
        }
        ::close(process);
    }
    // Looked at, not reaped: the decoder reaps its helper itself.
    siginfo_t info{};
    if (::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid != pid)
        return false;
    return (info.si_code == CLD_KILLED || info.si_code == CLD_DUMPED) &&
           StopsByItself(info.si_status);
}

} // namespace

ThumbnailMaker::ThumbnailMaker(ThumbnailCache cache) : cache_(std::move(cache)) {}

ThumbnailMaker::Decoded ThumbnailMaker::Decode(const std::string& path, ThumbnailSize size,
                                               const std::function<bool()>& cancelled,
                                               QImage& image, DecodeResult& answer) {
    // A file that cannot be opened, or no decoder to be had, is nobody's
    // verdict on the picture.
    if (!decoder_.Begin(path, kBackground,
                        {ThumbnailCache::Side(size), ThumbnailCache::Side(size)}))
        return Decoded::NotTheFile;
    const pid_t helper = decoder_.HelperPid(); // -1 when decoding in this process
    const int64_t cpuAtBegin = CpuMs(helper);
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline =
        start + std::chrono::milliseconds(StillDecoder::kTimeLimitMs);
    for (;;) {
        pollfd p{decoder_.Fd(), POLLIN, 0};
        const int r = ::poll(&p, 1, kCancelCheckMs);
        if (r > 0) break;
        if (r < 0 && errno != EINTR) {
            decoder_.Abandon();
            return Decoded::NotTheFile;
        }
        const Clock::time_point now = Clock::now();
        if (now >= deadline) {
            // The file kept the helper busy this long, or the machine kept
            // the helper from running: only the first is the file's.
            const int64_t cpuAtEnd = CpuMs(helper);
            decoder_.Expire();
            const bool busy = cpuAtBegin >= 0 && cpuAtEnd >= 0 &&
                              cpuAtEnd - cpuAtBegin >= StillDecoder::kTimeLimitMs / 2;
            return busy ? Decoded::FileAtFault : Decoded::NotTheFile;
        }
        if (cancelled && now - start >= std::chrono::milliseconds(kFinishCancelledMs) &&
            cancelled()) {
            decoder_.Abandon();
            return Decoded::NotTheFile;
        }
    }
    // A helper that ended without an answer: the file's doing only when the
    // decoder stopped on it by itself, not when it was ended from outside.
    const std::optional<bool> endedByFile =
        helper > 0 ? EndedByItself(helper, decoder_.Fd()) : std::nullopt;
    answer = decoder_.Finish();
    if (!answer.Decoded()) {
        if (endedByFile) return *endedByFile ? Decoded::FileAtFault : Decoded::NotTheFile;
        // The helper's word that the file does not decode; a broken answer
        // or a decoder that failed is not the file's.
        return answer.status == DecodeResult::Status::NotDecoded ? Decoded::FileAtFault
                                                                 : Decoded::NotTheFile;
    }
    PictureBox picture;
    picture.AdoptSurface(answer.picture);
    // An answer larger than the box asked for is the helper misbehaving, not
    // the file: refused before a pixel of it is copied, and nothing kept.
    const cDIB& surface = picture.Surface();
    if (!ThumbnailCache::Fits(QSize(surface.Width(), surface.Height()), size))
        return Decoded::NotTheFile;
    image = ToImage(picture);
    return image.isNull() ? Decoded::NotTheFile : Decoded::Picture;
}

ThumbnailResult ThumbnailMaker::Make(const std::string& path, ThumbnailSize size,
                                     const std::function<bool()>& cancelled) {
    // Described before decoding: a file changed meanwhile gets a thumbnail
    // with its older time, which is made again next time.
    ThumbnailSource source;
    if (!ThumbnailCache::Describe(path, source)) return {};
    return Make(source, size, cancelled);
}

ThumbnailResult ThumbnailMaker::Make(const ThumbnailSource& source, ThumbnailSize size,
                                     const std::function<bool()>& cancelled, bool wantImage,
                                     bool store) {
    if (std::optional<ThumbnailResult> known = Look(source, size, wantImage)) return *known;
    ThumbnailResult result;
    DecodeResult answer;
    switch (Decode(source.path, size, cancelled, result.image, answer)) {
    case Decoded::Picture:
        break;
    case Decoded::FileAtFault:
        result.outcome = ThumbnailOutcome::Failed; // even when the cache cannot be written
        if (cache_.StoreFailure(source)) result.file = cache_.FailPath(source.uri);
        return result;
    case Decoded::NotTheFile:
        return result; // Skipped: tried again next time
    }
    result.outcome = ThumbnailOutcome::Made;
    result.fullWidth = answer.fullWidth;
    result.fullHeight = answer.fullHeight;
    if (store) result.file = Keep(source, size, result);
    return result;
}

std::optional<ThumbnailResult> ThumbnailMaker::Look(const ThumbnailSource& source,
                                                    ThumbnailSize size, bool wantImage) const {
    ThumbnailResult result;
    if (cache_.Inside(source.path)) return result;
    if (cache_.Find(source, size, wantImage ? &result.image : nullptr)) {
        result.outcome = ThumbnailOutcome::Found;
        result.file = cache_.ThumbnailPath(source.uri, size);
        return result;
    }
    if (cache_.FailedBefore(source)) {
        result.outcome = ThumbnailOutcome::Failed;
        result.file = cache_.FailPath(source.uri);
        return result;
    }
    return std::nullopt;
}

std::string ThumbnailMaker::Keep(const ThumbnailSource& source, ThumbnailSize size,
                                 const ThumbnailResult& made) const {
    std::string file = cache_.Store(source, size, made.image, made.fullWidth, made.fullHeight);
    if (!file.empty()) cache_.ForgetFailure(source);
    return file;
}
