#include "imaging/StillDecoder.h"

#include "imaging/DecoderProtocol.h"
#include "imaging/FdPassing.h"
#include "imaging/FileBytes.h"
#include "imaging/MFreeImage_2.h"
#include "imaging/ModernReaders.h"
#include "platform/Files.h"
#include "platform/Product.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>

extern char** environ;

// A picture decoded on a thread of this process when there is no helper
// program. The thread holds the record too: a decode given up past the time
// limit cannot be stopped, so it runs on by itself, its picture is dropped
// when it ends, and its eventfd closes with the last holder.
struct StillDecoder::Worker {
    std::mutex lock;
    bool done = false;
    bool loaded = false;
    PictureBox picture;
    int fullWidth = 0, fullHeight = 0;
    bool embeddedPreview = false;
    int wake = -1; // an eventfd, readable once `done`

    ~Worker() {
        if (wake >= 0) ::close(wake);
    }
};

namespace {

// In-process decodes that may run at once, counting those given up past the
// time limit that have not ended yet; past that, a picture is a failed load
// rather than one more thread spinning on a damaged file.
constexpr int kMaxWorkers = 3;
std::atomic<int> runningWorkers{0};

// Every seal the program relies on: the helper can neither resize the
// memory file nor write to it once it answered, nor lift the seals.
constexpr int kRequiredSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL;

void Unmap(uint8_t* bits, std::size_t bytes) {
    ::munmap(bits, bytes);
}

std::string DefaultHelperPath() {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return {};
    std::string path(self, std::size_t(n));
    return path.substr(0, path.rfind('/') + 1) + DecoderProtocol::kHelperName;
}

// Whether a picture of `width` x `height` is one the helper may answer for
// `box`: within it when one was asked for (pictures are never enlarged), and
// within a surface's limits in any case (SurfaceSize checks those).
bool FitsTheRequest(int32_t width, int32_t height, MFreeImage_2::Box box) {
    const bool whole = box.width <= 0 || box.height <= 0;
    return whole || (width <= box.width && height <= box.height);
}

// The picture in the helper's sealed memory file, mapped as a surface.
bool MapPicture(int fd, const DecoderProtocol::Reply& reply, MFreeImage_2::Box box,
                PictureBox& PicLoad) {
    std::size_t stride = 0, bytes = 0;
    struct stat st {};
    const int seals = ::fcntl(fd, F_GET_SEALS);
    if (!FitsTheRequest(reply.width, reply.height, box) ||
        !SurfaceSize(reply.width, reply.height, 32, kMaxSurfaceBytes, stride, bytes) ||
        reply.bytes != bytes || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        uint64_t(st.st_size) != bytes || seals < 0 || (seals & kRequiredSeals) != kRequiredSeals)
        return false;
    void* map = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE, fd, 0);
    if (map == MAP_FAILED) return false;
    auto surface = std::make_shared<cDIB>();
    if (!surface->Adopt(static_cast<uint8_t*>(map), bytes, reply.width, reply.height, Unmap)) {
        ::munmap(map, bytes);
        return false;
    }
    PicLoad.AdoptSurface(std::move(surface));
    return true;
}

// The last part of a path, at most as long as the request carries.
void NameInto(const std::string& path, char (&name)[DecoderProtocol::kNameBytes]) {
    std::string base = path.substr(path.rfind('/') + 1);
    if (base.size() >= DecoderProtocol::kNameBytes)
        base = base.substr(base.size() - (DecoderProtocol::kNameBytes - 1));
    std::memcpy(name, base.data(), base.size());
    name[base.size()] = '\0';
}

} // namespace

StillDecoder& StillDecoder::Shared() {
    static StillDecoder decoder;
    return decoder;
}

StillDecoder::~StillDecoder() {
    StopHelper();
}

void StillDecoder::SetHelperPath(const std::string& path) {
    Abandon();
    StopHelper();
    helperPath_ = path;
    warned_ = warnedConfinement_ = false;
    missingConfinement_ = 0;
}

bool StillDecoder::HelperAvailable() {
    if (helperPath_.empty()) helperPath_ = DefaultHelperPath();
    return !helperPath_.empty() && ::access(helperPath_.c_str(), X_OK) == 0;
}

bool StillDecoder::DecodesInProcess() {
    return !HelperAvailable();
}

StillDecoder::Start StillDecoder::EnsureHelper() {
    if (helper_ > 0) {
        // One that ended since its last answer (killed, or out of CPU time) is replaced.
        if (::waitpid(helper_, nullptr, WNOHANG) == 0) return Start::Running;
        helper_ = -1;
        StopHelper();
    }
    if (!HelperAvailable()) {
        if (!warned_)
            std::fprintf(stderr,
                         "%s: the decoder helper %s is missing; pictures are decoded "
                         "in the program itself\n",
                         Product::kCommand,
                         helperPath_.empty() ? DecoderProtocol::kHelperName : helperPath_.c_str());
        warned_ = true;
        return Start::Missing;
    }
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return Start::Failed;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The helper's end becomes descriptor 3 (dup2 clears close-on-exec),
    // and it is all the helper holds: every descriptor this program was
    // started with or opened without close-on-exec stays here, since the
    // confinement rules only what is opened later. The standard streams
    // lead nowhere rather than being closed, so that no descriptor the
    // helper receives takes their numbers for a library's messages.
    posix_spawn_file_actions_adddup2(&actions, pair[1], DecoderProtocol::kHelperSocketFd);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions, DecoderProtocol::kHelperSocketFd + 1);
    std::string path = helperPath_;
    char* argv[] = {path.data(), nullptr};
    pid_t pid = -1;
    // Fails when no process can be made or the program cannot be run.
    const int spawned = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pair[1]);
    if (spawned != 0) {
        ::close(pair[0]);
        return Start::Failed;
    }
    helper_ = pid;
    socket_ = pair[0];
    return Start::Running;
}

void StillDecoder::StopHelper() {
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
    if (helper_ > 0) {
        ::kill(helper_, SIGKILL);
        ::waitpid(helper_, nullptr, 0);
    }
    helper_ = -1;
    pending_ = false;
}

int StillDecoder::Fd() const {
    if (!pending_) return -1;
    return worker_ ? worker_->wake : socket_;
}

bool StillDecoder::Begin(const std::string& path, uint32_t background, MFreeImage_2::Box box) {
    if (pending_) Abandon();
    worker_.reset();
    failure_.clear();
    fullWidth_ = fullHeight_ = 0;
    shownEmbeddedPreview_ = false;
    box_ = box;
    const int file = Files::OpenRegularFile(path);
    if (file < 0) return false;
    Start start = EnsureHelper();
    if (start == Start::Missing) return BeginInProcess(file, path, background, box);
    DecoderProtocol::Request request;
    request.id = pendingId_ = nextId_++;
    request.background = background;
    request.boxWidth = box.width;
    request.boxHeight = box.height;
    NameInto(path, request.name);
    bool sent = start == Start::Running && SendWithFd(socket_, &request, sizeof request, file);
    if (start == Start::Running && !sent) { // the helper is gone: a new one gets this picture
        StopHelper();
        start = EnsureHelper();
        sent = start == Start::Running && SendWithFd(socket_, &request, sizeof request, file);
    }
    ::close(file);
    if (!sent) {
        StopHelper();
        failure_ = kNotStarted;
        return false;
    }
    pending_ = true;
    return true;
}

bool StillDecoder::BeginInProcess(int file, const std::string& path, uint32_t background,
                                  MFreeImage_2::Box box) {
    auto worker = std::make_shared<Worker>();
    worker->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (worker->wake < 0 || runningWorkers.fetch_add(1) >= kMaxWorkers) {
        if (worker->wake >= 0) runningWorkers.fetch_sub(1);
        ::close(file);
        failure_ = worker->wake < 0 ? kNotStarted : kStillBusy;
        return false;
    }
    worker->picture.SetBackColor(background);
    try {
        std::thread([worker, file, path, box] {
            std::vector<uint8_t> bytes;
            PictureBox picture;
            picture.SetBackColor(worker->picture.BackColor());
            const MFreeImage_2::Fitted fitted =
                ReadFdBytes(file, bytes) ? MFreeImage_2::LoadImageFitted(bytes, path, box, picture)
                                         : MFreeImage_2::Fitted{};
            const auto [loaded, fullWidth, fullHeight, embeddedPreview] = fitted;
            ::close(file);
            {
                const std::lock_guard<std::mutex> hold(worker->lock);
                worker->picture = std::move(picture);
                worker->fullWidth = fullWidth;
                worker->fullHeight = fullHeight;
                worker->loaded = loaded;
                worker->embeddedPreview = embeddedPreview;
                worker->done = true;
            }
            const uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = ::write(worker->wake, &one, sizeof one);
            runningWorkers.fetch_sub(1);
        }).detach();
    } catch (const std::system_error&) { // no thread to be had
        runningWorkers.fetch_sub(1);
        ::close(file);
        failure_ = kNotStarted;
        return false;
    }
    worker_ = std::move(worker);
    pending_ = true;
    return true;
}

bool StillDecoder::FinishInProcess(PictureBox& PicLoad) {
    const std::lock_guard<std::mutex> hold(worker_->lock);
    if (!worker_->done) { // asked before the answer is there: given up
        failure_ = kTooLong;
        return false;
    }
    if (!worker_->loaded) return false;
    fullWidth_ = worker_->fullWidth;
    fullHeight_ = worker_->fullHeight;
    shownEmbeddedPreview_ = worker_->embeddedPreview;
    PicLoad.AdoptSurface(worker_->picture.Image());
    worker_->picture = PictureBox();
    return true;
}

bool StillDecoder::Finish(PictureBox& PicLoad) {
    if (!pending_) return false;
    pending_ = false;
    // The worker stays (and its eventfd open) until the next Begin, as the
    // helper's socket does, so that whoever watches Fd() can stop first.
    if (worker_) return FinishInProcess(PicLoad);
    DecoderProtocol::Reply reply;
    int fd = -1;
    if (!ReceiveWithFd(socket_, &reply, sizeof reply, fd)) {
        StopHelper(); // died, was killed, or sent what is not an answer: replaced next time
        failure_ = kStopped;
        return false;
    }
    const bool wellFormed = reply.magic == DecoderProtocol::kMagic && reply.id == pendingId_ &&
                            (reply.loaded == 0 || reply.loaded == 1) && (reply.loaded == (fd >= 0));
    const bool loaded = wellFormed && reply.loaded && MapPicture(fd, reply, box_, PicLoad);
    if (fd >= 0) ::close(fd);
    if (!wellFormed || (reply.loaded && !loaded)) {
        StopHelper(); // an answer that is not one: this helper is not trusted again
        failure_ = kBrokenAnswer;
        return false;
    }
    TakeConfinement(reply.confinement);
    if (reply.retiring) StopHelper();
    if (loaded) {
        // A helper that gives no original's size gave the whole picture.
        const bool told = reply.fullWidth > 0 && reply.fullHeight > 0;
        fullWidth_ = told ? reply.fullWidth : reply.width;
        fullHeight_ = told ? reply.fullHeight : reply.height;
        shownEmbeddedPreview_ = reply.embeddedPreview == 1;
    }
    return loaded;
}

void StillDecoder::Abandon() {
    // A helper busy with a picture nobody wants is stopped at once; a
    // worker thread runs on by itself and its picture is dropped.
    if (pending_ && !worker_) StopHelper();
    worker_.reset();
    pending_ = false;
}

void StillDecoder::Expire() {
    if (!pending_) return;
    Abandon();
    failure_ = kTooLong;
}

bool StillDecoder::Decode(const std::string& path, PictureBox& PicLoad, int timeoutMs,
                          MFreeImage_2::Box box) {
    if (!Begin(path, PicLoad.BackColor(), box)) return false;
    pollfd p{Fd(), POLLIN, 0};
    int r;
    do
        r = ::poll(&p, 1, timeoutMs);
    while (r < 0 && errno == EINTR);
    if (r <= 0) { // past the time limit
        Expire();
        return false;
    }
    return Finish(PicLoad);
}

int StillDecoder::HelperOpenError(const std::string& path) {
    return HelperTry(DecoderProtocol::kTryOpen, path);
}

int StillDecoder::HelperTry(uint32_t kind, const std::string& name) {
    if (pending_) Abandon();
    if (EnsureHelper() != Start::Running) return -1;
    DecoderProtocol::Request request;
    request.id = nextId_++;
    request.kind = kind;
    request.background = uint32_t(::getpid());
    if (name.size() >= DecoderProtocol::kNameBytes) return -1;
    std::memcpy(request.name, name.c_str(), name.size() + 1);
    DecoderProtocol::Reply reply;
    int fd = -1;
    const bool answered = SendWithFd(socket_, &request, sizeof request, -1) &&
                          ReceiveWithFd(socket_, &reply, sizeof reply, fd);
    if (fd >= 0) ::close(fd);
    if (!answered || reply.magic != DecoderProtocol::kMagic || reply.id != request.id) {
        StopHelper();
        return -1;
    }
    TakeConfinement(reply.confinement);
    return reply.loaded ? 0 : reply.width;
}

void StillDecoder::TakeConfinement(uint32_t layers) {
    missingConfinement_ = DecoderProtocol::kConfinedAll & ~layers;
    if (missingConfinement_ == 0 || warnedConfinement_) return;
    warnedConfinement_ = true;
    std::fprintf(stderr, "%s: %s\n", Product::kCommand, ConfinementNotice().c_str());
}

std::string StillDecoder::ConfinementNotice() const {
    static const struct {
        uint32_t layer;
        const char* name;
    } kLayers[] = {
        {DecoderProtocol::kConfinedLimits, "resource limits"},
        {DecoderProtocol::kConfinedNoNewPrivileges, "no-new-privileges"},
        {DecoderProtocol::kConfinedFiles, "file-system rules"},
        {DecoderProtocol::kConfinedCalls, "system-call filter"},
    };
    std::string notice;
    for (const auto& l : kLayers)
        if (missingConfinement_ & l.layer)
            notice += (notice.empty() ? "Decoder helper without " : ", ") + std::string(l.name);
    return notice;
}
