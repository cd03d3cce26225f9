// What the helper's confinement forbids, tried for real from inside it (in
// the tests' helper, which runs the product helper's loop and confinement):
// it opens nothing by name, cannot reach the program (signal it, limit it,
// start a process) and holds no descriptor but its socket; and the
// system-call filter alone refuses what aims at other processes.
#include "DecoderFiles.h"
#include "HelperTries.h"
#include "TempDir.h"
#include "imaging/DecoderProtocol.h"
#include "imaging/DecoderSandbox.h"
#include "imaging/FdPassing.h"
#include "imaging/HelperProcess.h"
#include "platform/Files.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The descriptors a process holds and what each leads to.
std::map<int, std::string> Descriptors(pid_t pid) {
    std::map<int, std::string> held;
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        held[std::stoi(entry.path().filename().string())] =
            std::filesystem::read_symlink(entry.path()).string();
    return held;
}

// Asks the tests' helper to try `kind` (HelperTries.h) against this process:
// the errno it met (0 when it worked), or -1 when it did not answer.
int HelperTry(HelperProcess& helper, uint32_t kind, const std::string& name = {}) {
    static uint32_t nextId = 1;
    DecoderProtocol::Request request;
    request.id = nextId++;
    request.kind = kind;
    if (name.size() >= DecoderProtocol::kNameBytes) return -1;
    std::memcpy(request.name, name.c_str(), name.size() + 1);
    HelperTries::TryReply reply;
    int fd = -1;
    const bool answered = SendWithFd(helper.Socket(), &request, sizeof request, -1) &&
                          ReceiveWithFd(helper.Socket(), &reply, sizeof reply, fd);
    if (fd >= 0) ::close(fd);
    if (!answered || reply.magic != DecoderProtocol::kMagic || reply.id != request.id) return -1;
    return reply.error;
}

// `path` decoded whole by `helper`, waiting for the answer.
DecodeResult DecodeIn(HelperProcess& helper, const std::string& path) {
    static uint32_t nextId = 1000;
    const uint32_t id = nextId++;
    const int file = Files::OpenRegularFile(path);
    const bool sent = file >= 0 && helper.SendDecode(id, file, path, {}, 0);
    if (file >= 0) ::close(file);
    if (!sent) return {};
    return helper.Receive(id, {}).result;
}

} // namespace

// Tried in the tests' helper, which runs the product helper's loop and
// confinement.
TEST(Decoder, TheHelperOpensNothingByName) {
    const auto helper = HelperProcess::Start(VANTREL_TEST_HELPER);
    ASSERT_TRUE(helper);
    EXPECT_EQ(HelperTry(*helper, HelperTries::kTryOpen, "/etc/passwd"), EACCES);
    EXPECT_EQ(HelperTry(*helper, HelperTries::kTryOpen, VANTREL_DAMAGED_SAMPLES "/NOTES.md"),
              EACCES);
    EXPECT_EQ(HelperTry(*helper, HelperTries::kTryStat, "/etc/passwd"), EACCES);
}

// Tried from inside the confinement against this process: a signal that
// would end it, an open-file limit that would cripple it, a process of the
// helper's own. Each is refused, and this process lives on with its limit.
TEST(Decoder, TheHelperCannotReachTheProgram) {
    TempDir dir;
    const std::string good = GoodPicture(dir);
    const auto helper = HelperProcess::Start(VANTREL_TEST_HELPER);
    ASSERT_TRUE(helper);
    rlimit before{}, after{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &before), 0);
    const struct {
        uint32_t kind;
        const char* what;
    } attempts[] = {
        {HelperTries::kTrySignalParent, "signal the program"},
        {HelperTries::kTryLimitParent, "limit the program's open files"},
        {HelperTries::kTryNewProcess, "start a process"},
    };
    for (const auto& attempt : attempts) {
        EXPECT_EQ(HelperTry(*helper, attempt.kind), EPERM) << attempt.what;
        // and the helper still decodes
        EXPECT_TRUE(DecodeIn(*helper, good).Decoded()) << "after trying to " << attempt.what;
    }
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &after), 0);
    EXPECT_EQ(after.rlim_cur, before.rlim_cur);
    EXPECT_EQ(after.rlim_max, before.rlim_max);
}

// The helper starts with its socket and the standard streams (leading
// nowhere), whatever else this process holds: a descriptor opened without
// close-on-exec, as one the program was started with, is not the helper's.
TEST(Decoder, TheHelperHoldsNoDescriptorButItsSocket) {
    TempDir dir;
    const std::string good = GoodPicture(dir);
    const std::string secretPath = (dir.path() / "secret.txt").string();
    std::ofstream(secretPath) << "secret\n";
    const int secret = ::open(secretPath.c_str(), O_RDWR);
    ASSERT_GE(secret, 0);
    // The tests' helper, started now: the product helper's loop and confinement.
    const auto helper = HelperProcess::Start(VANTREL_TEST_HELPER);
    ASSERT_TRUE(helper);
    ASSERT_TRUE(DecodeIn(*helper, good).Decoded());
    // Once it answered a request after the picture, it has let the picture's memory go.
    ASSERT_EQ(HelperTry(*helper, HelperTries::kTryStat, "/"), EACCES);
    const std::map<int, std::string> held = Descriptors(helper->Pid());
    ::close(secret);
    std::string listing;
    for (const auto& [fd, what] : held)
        listing.append(" ").append(std::to_string(fd)).append(": ").append(what);
    ASSERT_EQ(held.size(), 4u) << "the helper holds" << listing;
    for (const int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        EXPECT_EQ(held.at(stream), "/dev/null") << stream;
    EXPECT_EQ(held.at(DecoderProtocol::kHelperSocketFd).rfind("socket:", 0), 0u)
        << held.at(DecoderProtocol::kHelperSocketFd);
}

// The system-call filter alone (Landlock refuses signals to other processes
// too, where the kernel has its signal scope), loaded in a child: signals and
// limits aimed at another process and a process of its own are refused, the
// same aimed at itself allowed.
TEST(Decoder, TheCallFilterRefusesOtherProcesses) {
    const pid_t other = ::getpid();
    constexpr int kSignalled = 1, kLimitRead = 2, kForked = 4, kOwnSignalRefused = 8,
                  kNotLoaded = 16;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const pid_t self = ::getpid();
        if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || !DecoderSandbox::LoadCallFilter(self))
            ::_exit(kNotLoaded);
        int slips = 0;
        // Signal 0 sends nothing: it asks only whether a signal would be let through.
        if (::syscall(SYS_tgkill, other, other, 0) == 0 || errno != EPERM) slips |= kSignalled;
        rlimit limit{};
        if (::syscall(SYS_prlimit64, other, RLIMIT_NOFILE, nullptr, &limit) == 0 || errno != EPERM)
            slips |= kLimitRead;
        const long forked = ::syscall(SYS_clone, SIGCHLD, nullptr, nullptr, nullptr, 0);
        if (forked == 0) ::_exit(0);
        if (forked > 0 || errno != EPERM) slips |= kForked;
        if (::syscall(SYS_tgkill, self, ::syscall(SYS_gettid), 0) != 0) slips |= kOwnSignalRefused;
        ::_exit(slips);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1 signal, 2 limit, 4 process, 8 own signal, 16 no filter";
}
