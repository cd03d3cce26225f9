#include "imaging/FdPassing.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

bool SendWithFd(int socket, const void* data, std::size_t size, int fd) {
    iovec iov{const_cast<void*>(data), size};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    if (fd >= 0) {
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(c), &fd, sizeof fd);
    }
    ssize_t n;
    do
        n = ::sendmsg(socket, &msg, MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    return n == ssize_t(size);
}

bool ReceiveWithFd(int socket, void* data, std::size_t size, int& fd) {
    fd = -1;
    iovec iov{data, size};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    // Room for exactly one descriptor: the kernel installs no more than fit
    // (CMSG_SPACE would leave room for two) and flags the rest as MSG_CTRUNC.
    msg.msg_controllen = CMSG_LEN(sizeof(int));
    ssize_t n;
    do
        n = ::recvmsg(socket, &msg, MSG_CMSG_CLOEXEC);
    while (n < 0 && errno == EINTR);
    // Every descriptor that arrived is ours to close unless it is adopted.
    int received = 0;
    for (cmsghdr* c = n >= 0 ? CMSG_FIRSTHDR(&msg) : nullptr; c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
        const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < count; ++i, ++received) {
            int one;
            std::memcpy(&one, CMSG_DATA(c) + i * sizeof(int), sizeof one);
            if (fd < 0)
                fd = one;
            else
                ::close(one);
        }
    }
    if (n != ssize_t(size) || received > 1 || (msg.msg_flags & (MSG_TRUNC | MSG_CTRUNC))) {
        if (fd >= 0) ::close(fd);
        fd = -1;
        return false;
    }
    return true;
}

bool PeekPacket(int socket, void* data, std::size_t size) {
    iovec iov{data, size};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    ssize_t n;
    do
        n = ::recvmsg(socket, &msg, MSG_PEEK | MSG_DONTWAIT | MSG_TRUNC);
    while (n < 0 && errno == EINTR);
    return n == ssize_t(size) && !(msg.msg_flags & MSG_CTRUNC);
}
