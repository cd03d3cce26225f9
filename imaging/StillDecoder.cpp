#include "imaging/StillDecoder.h"

#include "imaging/DecoderProtocol.h"
#include "imaging/FdPassing.h"
#include "imaging/FileBytes.h"
#include "imaging/MFreeImage_2.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

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

// The picture in the helper's sealed memory file, mapped as a surface.
bool MapPicture(int fd, const DecoderProtocol::Reply& reply, PictureBox& PicLoad) {
    std::size_t stride = 0, bytes = 0;
    struct stat st {};
    const int seals = ::fcntl(fd, F_GET_SEALS);
    // Sealed against shrinking, so that the helper cannot pull pages from under us.
    if (!SurfaceSize(reply.width, reply.height, 32, kMaxSurfaceBytes, stride, bytes) ||
        reply.bytes != bytes || ::fstat(fd, &st) != 0 || uint64_t(st.st_size) != bytes ||
        seals < 0 || !(seals & F_SEAL_SHRINK))
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
    StopHelper();
    helperPath_ = path;
    warned_ = false;
}

bool StillDecoder::HelperAvailable() {
    if (helperPath_.empty()) helperPath_ = DefaultHelperPath();
    return !helperPath_.empty() && ::access(helperPath_.c_str(), X_OK) == 0;
}

bool StillDecoder::EnsureHelper() {
    if (helper_ > 0) {
        // One that ended since its last answer (killed, or out of CPU time) is replaced.
        if (::waitpid(helper_, nullptr, WNOHANG) == 0) return true;
        helper_ = -1;
        StopHelper();
    }
    if (!HelperAvailable()) {
        if (!warned_)
            std::fprintf(stderr,
                         "vantrel: the decoder helper %s cannot be run; pictures are decoded "
                         "in the program itself\n",
                         helperPath_.empty() ? DecoderProtocol::kHelperName : helperPath_.c_str());
        warned_ = true;
        return false;
    }
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The helper's end becomes descriptor 3 (dup2 clears close-on-exec).
    posix_spawn_file_actions_adddup2(&actions, pair[1], DecoderProtocol::kHelperSocketFd);
    std::string path = helperPath_;
    char* argv[] = {path.data(), nullptr};
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pair[1]);
    if (spawned != 0) {
        ::close(pair[0]);
        return false;
    }
    helper_ = pid;
    socket_ = pair[0];
    return true;
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

bool StillDecoder::Begin(const std::string& path, uint32_t background) {
    if (pending_) Abandon();
    ready_ = readyLoaded_ = false;
    const int file = OpenRegularFile(path);
    if (file < 0) return false;
    if (!EnsureHelper()) {
        std::vector<uint8_t> bytes;
        inProcess_ = PictureBox();
        inProcess_.SetBackColor(background);
        readyLoaded_ =
            ReadFdBytes(file, bytes) && MFreeImage_2::LoadImageBytes(bytes, path, inProcess_);
        ::close(file);
        ready_ = true;
        return true;
    }
    DecoderProtocol::Request request;
    request.id = pendingId_ = nextId_++;
    request.background = background;
    NameInto(path, request.name);
    const bool sent = SendWithFd(socket_, &request, sizeof request, file);
    ::close(file);
    if (!sent) { // the helper is gone: a new one gets this picture
        StopHelper();
        if (!EnsureHelper()) return Begin(path, background);
        const int again = OpenRegularFile(path);
        const bool resent = again >= 0 && SendWithFd(socket_, &request, sizeof request, again);
        if (again >= 0) ::close(again);
        if (!resent) {
            StopHelper();
            ready_ = true; // a failed load
            return true;
        }
    }
    pending_ = true;
    return true;
}

bool StillDecoder::Finish(PictureBox& PicLoad) {
    if (ready_) {
        ready_ = false;
        if (!readyLoaded_) return false;
        PicLoad.AdoptSurface(inProcess_.Image());
        inProcess_ = PictureBox();
        return true;
    }
    if (!pending_) return false;
    pending_ = false;
    DecoderProtocol::Reply reply;
    int fd = -1;
    if (!ReceiveWithFd(socket_, &reply, sizeof reply, fd) ||
        reply.magic != DecoderProtocol::kMagic || reply.id != pendingId_) {
        StopHelper(); // died, was killed, or said something else: replaced next time
        return false;
    }
    const bool loaded = reply.loaded && fd >= 0 && MapPicture(fd, reply, PicLoad);
    if (fd >= 0) ::close(fd);
    return loaded;
}

void StillDecoder::Abandon() {
    // A helper busy with a picture nobody wants is stopped at once.
    if (pending_) StopHelper();
    pending_ = ready_ = false;
}

bool StillDecoder::Decode(const std::string& path, PictureBox& PicLoad, int timeoutMs) {
    if (!Begin(path, PicLoad.BackColor())) return false;
    if (pending_) {
        pollfd p{socket_, POLLIN, 0};
        int r;
        do
            r = ::poll(&p, 1, timeoutMs);
        while (r < 0 && errno == EINTR);
        if (r <= 0) { // past the time limit
            Abandon();
            return false;
        }
    }
    return Finish(PicLoad);
}

int StillDecoder::HelperOpenError(const std::string& path) {
    if (pending_) Abandon();
    if (!EnsureHelper()) return -1;
    DecoderProtocol::Request request;
    request.id = nextId_++;
    request.kind = DecoderProtocol::kTryOpen;
    if (path.size() >= DecoderProtocol::kNameBytes) return -1;
    std::memcpy(request.name, path.c_str(), path.size() + 1);
    DecoderProtocol::Reply reply;
    int fd = -1;
    if (!SendWithFd(socket_, &request, sizeof request, -1) ||
        !ReceiveWithFd(socket_, &reply, sizeof reply, fd) || reply.id != request.id) {
        StopHelper();
        return -1;
    }
    if (fd >= 0) ::close(fd);
    return reply.loaded ? 0 : reply.width;
}
