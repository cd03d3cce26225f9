// A stand-in for vantrel-decoder that answers every picture with one kind of
// lie, chosen by VANTREL_FAKE_DECODER_MODE, so that tests can see how the
// program takes answers it must not trust. "honest" answers a well-formed
// 30 x 20 green picture, proving that the other modes fail for their lie
// alone. It decodes nothing, is not confined and says so in its answers.
#include "imaging/DecoderProtocol.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int32_t kWidth = 30, kHeight = 20;
constexpr uint64_t kBytes = uint64_t(kWidth) * kHeight * 4;
constexpr uint32_t kGreen = 0x0000FF00;
constexpr int kAllSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL;
constexpr std::size_t kMaxFds = 3;
// The largest picture a surface may hold (just under 1 GB of pixels).
constexpr int32_t kHugeWidth = 16384, kHugeHeight = 16383;
constexpr uint64_t kHugeBytes = uint64_t(kHugeWidth) * kHugeHeight * 4;

// A memory file of `size` bytes, all green pixels, with `seals` added.
int Pixels(uint64_t size, int seals) {
    const int fd = ::memfd_create("fake-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0 || ::ftruncate(fd, off_t(size)) != 0) std::_Exit(2);
    std::vector<uint32_t> row(std::size_t(size / 4), kGreen);
    if (::pwrite(fd, row.data(), row.size() * 4, 0) != ssize_t(row.size() * 4)) std::_Exit(2);
    if (seals && ::fcntl(fd, F_ADD_SEALS, seals) != 0) std::_Exit(2);
    return fd;
}

// A sealed memory file of `size` bytes never written: black pixels that take
// no memory until they are read.
int Blank(uint64_t size) {
    const int fd = ::memfd_create("fake-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0 || ::ftruncate(fd, off_t(size)) != 0 || ::fcntl(fd, F_ADD_SEALS, kAllSeals) != 0)
        std::_Exit(2);
    return fd;
}

// One packet with any number of descriptors (the real helper sends one).
void Send(const void* data, std::size_t size, const std::vector<int>& fds) {
    iovec iov{const_cast<void*>(data), size};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxFds)] = {};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    if (!fds.empty()) {
        msg.msg_control = control;
        msg.msg_controllen = CMSG_SPACE(sizeof(int) * fds.size());
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int) * fds.size());
        std::memcpy(CMSG_DATA(c), fds.data(), sizeof(int) * fds.size());
    }
    if (::sendmsg(DecoderProtocol::kHelperSocketFd, &msg, MSG_NOSIGNAL) < 0) std::_Exit(0);
    for (const int fd : fds)
        ::close(fd);
}

// The next request; the picture's descriptor that came with it is closed.
bool Receive(DecoderProtocol::Request& request) {
    iovec iov{&request, sizeof request};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxFds)] = {};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(DecoderProtocol::kHelperSocketFd, &msg, MSG_CMSG_CLOEXEC);
    for (cmsghdr* c = n > 0 ? CMSG_FIRSTHDR(&msg) : nullptr; c; c = CMSG_NXTHDR(&msg, c))
        for (std::size_t i = 0; i < (c->cmsg_len - CMSG_LEN(0)) / sizeof(int); ++i) {
            int fd;
            std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
            ::close(fd);
        }
    return n == ssize_t(sizeof request);
}

// The thumbnails' lies: a well-formed picture larger than any thumbnail box,
// and a helper that crashes on every picture as a decoder would on a damaged one.
constexpr int32_t kOversizedWidth = 1500, kOversizedHeight = 1000;
constexpr uint64_t kOversizedBytes = uint64_t(kOversizedWidth) * kOversizedHeight * 4;
bool AnswerForThumbnails(const std::string& mode, DecoderProtocol::Reply& reply) {
    if (mode == "oversized") {
        reply.width = reply.fullWidth = kOversizedWidth;
        reply.height = reply.fullHeight = kOversizedHeight;
        reply.bytes = kOversizedBytes;
        Send(&reply, sizeof reply, {Pixels(kOversizedBytes, kAllSeals)});
        return true;
    }
    if (mode == "crashes") ::raise(SIGSEGV);
    return false;
}

void Answer(const std::string& mode, const DecoderProtocol::Request& request) {
    DecoderProtocol::Reply reply;
    reply.id = request.id;
    reply.status = DecoderProtocol::kDecoded;
    reply.width = kWidth;
    reply.height = kHeight;
    reply.bytes = kBytes;
    if (AnswerForThumbnails(mode, reply)) return;
    if (mode == "honest") return Send(&reply, sizeof reply, {Pixels(kBytes, kAllSeals)});
    if (mode == "file-shorter-than-said")
        return Send(&reply, sizeof reply, {Pixels(kBytes / 2, kAllSeals)});
    if (mode == "size-not-the-picture's") {
        reply.bytes = kBytes * 2;
        return Send(&reply, sizeof reply, {Pixels(kBytes * 2, kAllSeals)});
    }
    if (mode == "sealed-against-shrinking-only")
        return Send(&reply, sizeof reply, {Pixels(kBytes, F_SEAL_SHRINK)});
    if (mode == "not-sealed-against-writing")
        return Send(&reply, sizeof reply,
                    {Pixels(kBytes, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL)});
    if (mode == "stale-id") {
        reply.id = request.id - 1;
        return Send(&reply, sizeof reply, {Pixels(kBytes, kAllSeals)});
    }
    if (mode == "two-descriptors")
        return Send(&reply, sizeof reply, {Pixels(kBytes, kAllSeals), Pixels(kBytes, kAllSeals)});
    if (mode == "three-descriptors")
        return Send(
            &reply, sizeof reply,
            {Pixels(kBytes, kAllSeals), Pixels(kBytes, kAllSeals), Pixels(kBytes, kAllSeals)});
    if (mode == "loaded-without-pixels") return Send(&reply, sizeof reply, {});
    if (mode == "garbage") {
        std::vector<unsigned char> noise(sizeof reply);
        for (std::size_t i = 0; i < noise.size(); ++i)
            noise[i] = static_cast<unsigned char>(i * 37 + request.id);
        return Send(noise.data(), noise.size(), {Pixels(kBytes, kAllSeals)});
    }
    if (mode == "short-packet") return Send(&reply, sizeof reply / 2, {Pixels(kBytes, kAllSeals)});
    if (mode == "long-packet") {
        std::vector<unsigned char> longer(sizeof reply * 2);
        std::memcpy(longer.data(), &reply, sizeof reply);
        return Send(longer.data(), longer.size(), {Pixels(kBytes, kAllSeals)});
    }
    if (mode == "silent") {
        for (;;)
            ::pause();
    }
    if (mode == "larger-than-asked") { // whatever the box: a well-formed, sealed, huge picture
        reply.width = kHugeWidth;
        reply.height = kHugeHeight;
        reply.bytes = kHugeBytes;
        return Send(&reply, sizeof reply, {Blank(kHugeBytes)});
    }
    if (mode == "dies") ::raise(SIGKILL); // as the kernel ends a helper out of memory
    if (mode == "dies-mid-answer") {
        Send(&reply, sizeof reply / 2, {Pixels(kBytes, kAllSeals)});
        ::raise(SIGKILL);
    }
    std::_Exit(3); // a mode this program does not know
}

} // namespace

int main() {
    const char* mode = std::getenv("VANTREL_FAKE_DECODER_MODE");
    DecoderProtocol::Request request;
    while (Receive(request))
        Answer(mode ? mode : "honest", request);
    return 0;
}
