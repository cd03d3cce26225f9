#include "imaging/HelperProcess.h"

#include "imaging/DecoderProtocol.h"
#include "imaging/FdPassing.h"
#include "imaging/PictureBox.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Every seal the program relies on: the helper can neither resize the
// memory file nor write to it once it answered, nor lift the seals.
constexpr int kRequiredSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL;

void Unmap(uint8_t* bits, std::size_t bytes) {
    ::munmap(bits, bytes);
}

// Whether a picture of `width` x `height` is one the helper may answer for
// `box`: within it when one was asked for (pictures are never enlarged), and
// within a surface's limits in any case (SurfaceSize checks those).
bool FitsTheRequest(int32_t width, int32_t height, MFreeImage_2::Box box) {
    const bool whole = box.width <= 0 || box.height <= 0;
    return whole || (width <= box.width && height <= box.height);
}

// The picture in the helper's sealed memory file, mapped as a surface.
StdPicture MapPicture(int fd, const DecoderProtocol::Reply& reply, MFreeImage_2::Box box) {
    std::size_t stride = 0, bytes = 0;
    struct stat st {};
    const int seals = ::fcntl(fd, F_GET_SEALS);
    if (!FitsTheRequest(reply.width, reply.height, box) ||
        !SurfaceSize(reply.width, reply.height, 32, kMaxSurfaceBytes, stride, bytes) ||
        reply.bytes != bytes || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        uint64_t(st.st_size) != bytes || seals < 0 || (seals & kRequiredSeals) != kRequiredSeals)
        return nullptr;
    void* map = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE, fd, 0);
    if (map == MAP_FAILED) return nullptr;
    auto surface = std::make_shared<cDIB>();
    if (!surface->Adopt(static_cast<uint8_t*>(map), bytes, reply.width, reply.height, Unmap)) {
        ::munmap(map, bytes);
        return nullptr;
    }
    return surface;
}

// The last part of a path, at most as long as the request carries.
void NameInto(const std::string& path, char (&name)[DecoderProtocol::kNameBytes]) {
    std::string base = path.substr(path.rfind('/') + 1);
    if (base.size() >= DecoderProtocol::kNameBytes)
        base = base.substr(base.size() - (DecoderProtocol::kNameBytes - 1));
    std::memcpy(name, base.data(), base.size());
    name[base.size()] = '\0';
}

int PidFdOf(pid_t pid) {
#ifdef SYS_pidfd_open
    return int(::syscall(SYS_pidfd_open, pid, 0)); // close-on-exec by itself
#else
    (void)pid;
    return -1;
#endif
}

DecodeResult Failure(const char* reason) {
    DecodeResult result;
    result.status = DecodeResult::Status::Failed;
    result.reason = reason;
    return result;
}

} // namespace

std::string HelperProcess::DefaultPath() {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return {};
    std::string path(self, std::size_t(n));
    return path.substr(0, path.rfind('/') + 1) + DecoderProtocol::kHelperName;
}

bool HelperProcess::Available(const std::string& program) {
    return !program.empty() && ::access(program.c_str(), X_OK) == 0;
}

std::string HelperProcess::ConfinementNotice(uint32_t missing) {
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
        if (missing & l.layer)
            notice += (notice.empty() ? "Decoder helper without " : ", ") + std::string(l.name);
    return notice;
}

std::unique_ptr<HelperProcess> HelperProcess::Start(const std::string& program) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return nullptr;
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
    std::string path = program;
    char* argv[] = {path.data(), nullptr};
    pid_t pid = -1;
    // Fails when no process can be made or the program cannot be run.
    const int spawned = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pair[1]);
    if (spawned != 0) {
        ::close(pair[0]);
        return nullptr;
    }
    return std::unique_ptr<HelperProcess>(new HelperProcess(pid, pair[0], PidFdOf(pid)));
}

HelperProcess::~HelperProcess() {
    ::close(socket_);
    if (!reaped_) {
        Kill();
        Reap(true);
    }
    if (pidfd_ >= 0) ::close(pidfd_);
}

bool HelperProcess::SendDecode(uint32_t id, int file, const std::string& path,
                               MFreeImage_2::Box box, uint32_t background) {
    DecoderProtocol::Request request;
    request.id = id;
    request.kind = DecoderProtocol::kDecode;
    request.background = background;
    request.boxWidth = box.width;
    request.boxHeight = box.height;
    NameInto(path, request.name);
    return SendWithFd(socket_, &request, sizeof request, file);
}

bool HelperProcess::SendCancel(uint32_t id) {
    DecoderProtocol::Request request;
    request.id = id;
    request.kind = DecoderProtocol::kCancel;
    return SendWithFd(socket_, &request, sizeof request, -1);
}

HelperProcess::Answer HelperProcess::Receive(uint32_t id, MFreeImage_2::Box box) {
    DecoderProtocol::Reply reply;
    int fd = -1;
    // Died, was killed, or sent what is not an answer.
    if (!ReceiveWithFd(socket_, &reply, sizeof reply, fd)) return {Failure(kStopped), false};
    const bool decoded = reply.status == DecoderProtocol::kDecoded;
    const bool wellFormed = reply.magic == DecoderProtocol::kMagic && reply.id == id &&
                            (decoded || reply.status == DecoderProtocol::kNotDecoded ||
                             reply.status == DecoderProtocol::kCancelled) &&
                            decoded == (fd >= 0) && (reply.retiring == 0 || reply.retiring == 1);
    StdPicture picture = wellFormed && decoded ? MapPicture(fd, reply, box) : nullptr;
    if (fd >= 0) ::close(fd);
    // An answer that is not one: this helper is not trusted again.
    if (!wellFormed || (decoded && !picture)) return {Failure(kBrokenAnswer), false};
    Answer answer;
    answer.keep = reply.retiring == 0;
    DecodeResult& result = answer.result;
    result.missingConfinement = DecoderProtocol::kConfinedAll & ~reply.confinement;
    if (reply.status == DecoderProtocol::kNotDecoded) {
        result.status = DecodeResult::Status::NotDecoded;
    } else if (reply.status == DecoderProtocol::kCancelled) {
        result.status = DecodeResult::Status::Cancelled;
    } else {
        result.status = DecodeResult::Status::Decoded;
        // A helper that gives no original's size gave the whole picture.
        const bool told = reply.fullWidth > 0 && reply.fullHeight > 0;
        result.fullWidth = told ? reply.fullWidth : reply.width;
        result.fullHeight = told ? reply.fullHeight : reply.height;
        result.embeddedPreview = reply.embeddedPreview == 1;
        result.picture = std::move(picture);
    }
    return answer;
}

void HelperProcess::Kill() {
    if (!reaped_) ::kill(pid_, SIGKILL); // the pid is ours until it is reaped
}

bool HelperProcess::Reap(bool wait) {
    if (reaped_) return true;
    pid_t r;
    do
        r = ::waitpid(pid_, nullptr, wait ? 0 : WNOHANG);
    while (r < 0 && errno == EINTR);
    reaped_ = r == pid_ || (r < 0 && errno == ECHILD);
    return reaped_;
}
