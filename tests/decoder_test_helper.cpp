// The tests' decoder helper: the product helper's loop and confinement,
// plus the requests of HelperTries.h. Built only with the tests.
#include "HelperTries.h"
#include "imaging/FdPassing.h"
#include "imaging/HelperLoop.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

// The open-file limit a test asks the helper to force on the program.
constexpr rlim_t kFewFiles = 3;
constexpr auto kStep = std::chrono::milliseconds(5);

// The program that started the helper, learnt before the confinement
// (which refuses asking).
pid_t program = -1;

// What the confinement should forbid, tried for real: 0 when it worked,
// else the errno met.
int Try(const DecoderProtocol::Request& request) {
    int result = -1;
    switch (request.kind) {
    case HelperTries::kTryOpen:
        result = ::open(request.name, O_RDONLY | O_CLOEXEC);
        if (result >= 0) ::close(result);
        break;
    case HelperTries::kTryStat: {
        struct stat st {};
        result = ::stat(request.name, &st);
        break;
    }
    case HelperTries::kTrySignalParent:
        result = int(::syscall(SYS_tgkill, program, program, SIGTERM));
        break;
    case HelperTries::kTryLimitParent: {
        const rlimit few{kFewFiles, kFewFiles};
        result = int(::syscall(SYS_prlimit64, program, RLIMIT_NOFILE, &few, nullptr));
        break;
    }
    case HelperTries::kTryNewProcess:
        result = int(::syscall(SYS_clone, SIGCHLD, nullptr, nullptr, nullptr, 0));
        if (result == 0) ::_exit(0); // a child that got through leaves at once
        break;
    default:
        errno = EINVAL;
    }
    return result >= 0 ? 0 : errno;
}

bool Answer(const DecoderProtocol::Request& request, int socket) {
    HelperTries::TryReply reply;
    reply.id = request.id;
    reply.error = Try(request);
    return SendWithFd(socket, &reply, sizeof reply, -1);
}

bool EndsWith(std::string_view name, std::string_view ending) {
    return name.size() >= ending.size() && name.substr(name.size() - ending.size()) == ending;
}

std::optional<uint32_t> Pretend(const DecoderProtocol::Request& request) {
    const std::string_view name = request.name;
    if (EndsWith(name, HelperTries::kDeafEnding))
        for (;;)
            std::this_thread::sleep_for(kStep);
    // "photo.slow.jpg" is slow too, so that a window's list, which shows
    // pictures by their extensions, can hold one.
    const std::string slowBeforeExtension = std::string(HelperTries::kSlowEnding) + '.';
    if (!EndsWith(name, HelperTries::kSlowEnding) &&
        name.find(slowBeforeExtension) == std::string_view::npos)
        return std::nullopt;
    const auto end =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(HelperTries::kSlowMs);
    while (std::chrono::steady_clock::now() < end) {
        if (HelperLoop::CancelAsked(request.id)) return DecoderProtocol::kCancelled;
        std::this_thread::sleep_for(kStep);
    }
    return DecoderProtocol::kNotDecoded;
}

} // namespace

int main() {
    program = ::getppid();
    return HelperLoop::Run({Answer, Pretend});
}
