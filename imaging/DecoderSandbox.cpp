#include "imaging/DecoderSandbox.h"

#include "imaging/DecoderProtocol.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <fcntl.h>
#include <initializer_list>
#include <linux/filter.h>
#include <linux/landlock.h>
#include <linux/sched.h>
#include <linux/seccomp.h>
#include <seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace DecoderSandbox {

namespace {

// What decoding in memory and answering over the socket use: memory, the
// already open socket and files, threads and their locks, time, and signals
// that end the process. Calls that could reach another process or a path
// (tgkill, prlimit64, clone, newfstatat) are allowed below with argument
// checks only.
const int kAllowed[] = {
    SCMP_SYS(read),
    SCMP_SYS(pread64),
    SCMP_SYS(write),
    SCMP_SYS(writev),
    SCMP_SYS(close),
    SCMP_SYS(fstat),
    SCMP_SYS(lseek),
    SCMP_SYS(recvmsg),
    SCMP_SYS(sendmsg),
    SCMP_SYS(brk),
    SCMP_SYS(mmap),
    SCMP_SYS(munmap),
    SCMP_SYS(mremap),
    SCMP_SYS(mprotect),
    SCMP_SYS(madvise),
    SCMP_SYS(memfd_create),
    SCMP_SYS(ftruncate),
    SCMP_SYS(fcntl),
    SCMP_SYS(futex),
    SCMP_SYS(set_robust_list),
    SCMP_SYS(rseq),
    SCMP_SYS(sched_yield),
    SCMP_SYS(sched_getaffinity),
    SCMP_SYS(getrandom),
    SCMP_SYS(clock_gettime),
    SCMP_SYS(clock_nanosleep),
    SCMP_SYS(nanosleep),
    SCMP_SYS(gettimeofday),
    SCMP_SYS(getpid),
    SCMP_SYS(gettid),
    SCMP_SYS(rt_sigaction),
    SCMP_SYS(rt_sigprocmask),
    SCMP_SYS(rt_sigreturn),
    SCMP_SYS(getrusage),
    SCMP_SYS(exit),
    SCMP_SYS(exit_group),
    SCMP_SYS(sysinfo),
};

// Flags that would make clone start a process or enter a new namespace
// rather than start a thread of this process.
constexpr scmp_datum_t kCloneChecked = CLONE_THREAD | CLONE_NEWNS | CLONE_NEWCGROUP | CLONE_NEWUTS |
                                       CLONE_NEWIPC | CLONE_NEWUSER | CLONE_NEWPID | CLONE_NEWNET |
                                       CLONE_NEWTIME;

// All CPU time the helper may use in its life: the hard limit, which the
// helper cannot raise again. The soft limit moves up picture by picture.
constexpr rlim_t kCpuSecondsInAll = 600;
// Open files: the socket, one picture, its memory file and the standard streams.
constexpr rlim_t kOpenFiles = 64;

// landlock_ruleset_attr as Landlock 6 has it (older kernel headers lack `scoped`).
struct RulesetAttr {
    uint64_t handled_access_fs;
    uint64_t handled_access_net;
    uint64_t scoped;
};
constexpr long kLandlockScopeAbi = 6;
constexpr uint64_t kLandlockScopeSignal = 1u << 1;

// A Landlock ruleset that handles every file-system access the kernel knows
// and allows none: no path can be opened, listed, created or executed, even
// through a call the system-call filter lets by. False where the kernel has
// no Landlock.
bool DenyAllFiles() {
    const long abi =
        ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1) return false;
    RulesetAttr attr{};
    attr.handled_access_fs =
        LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_READ_FILE |
        LANDLOCK_ACCESS_FS_READ_DIR | LANDLOCK_ACCESS_FS_REMOVE_DIR |
        LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_MAKE_CHAR |
        LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_MAKE_REG | LANDLOCK_ACCESS_FS_MAKE_SOCK |
        LANDLOCK_ACCESS_FS_MAKE_FIFO | LANDLOCK_ACCESS_FS_MAKE_BLOCK | LANDLOCK_ACCESS_FS_MAKE_SYM;
    if (abi >= 2) attr.handled_access_fs |= LANDLOCK_ACCESS_FS_REFER;
    // From Landlock 6 on, signals to processes outside the helper's domain
    // (the program) are refused too; the system-call filter does the same.
    if (abi >= kLandlockScopeAbi) attr.scoped = kLandlockScopeSignal;
    const long ruleset = ::syscall(SYS_landlock_create_ruleset, &attr, sizeof attr, 0);
    if (ruleset < 0) return false;
    const bool ok = ::syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    ::close(int(ruleset));
    return ok;
}

// The CPU time used so far in whole seconds, rounded up: the user and the
// system parts are added before rounding, so that a picture's allowance is
// never shortened by the parts' fractions.
rlim_t SecondsSpent() {
    rusage used{};
    ::getrusage(RUSAGE_SELF, &used);
    constexpr long kMicroseconds = 1000000;
    const long micro = used.ru_utime.tv_usec + used.ru_stime.tv_usec;
    const long whole = used.ru_utime.tv_sec + used.ru_stime.tv_sec + micro / kMicroseconds;
    return rlim_t(whole + (micro % kMicroseconds > 0 ? 1 : 0));
}

// Where the low half of a system-call argument lies in seccomp_data.
constexpr uint32_t ArgLow(int n) {
    return uint32_t(offsetof(seccomp_data, args) + 8 * n) +
           (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? 0 : 4);
}

// The checks on arguments that libseccomp cannot say ("neither 0 nor our
// pid", "exactly these flag bits"), as a second filter: the kernel runs
// every filter and takes the strictest answer, so the main filter allows
// these calls and this one narrows them. Pids are compared in their low 32
// bits, which is all of a pid_t the kernel reads.
bool LoadArgumentChecks(pid_t self) {
    using Code = std::vector<sock_filter>;
    const uint32_t me = uint32_t(self);
    const auto refuse = [](int error) {
        return sock_filter BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | uint32_t(error));
    };
    const sock_filter allow = BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
    const auto load = [](uint32_t where) {
        return sock_filter BPF_STMT(BPF_LD | BPF_W | BPF_ABS, where);
    };
    const auto equal = [](uint32_t value, uint8_t skipIfEqual) {
        return sock_filter BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, value, skipIfEqual, 0);
    };
    const auto bits = [](uint32_t mask) {
        return sock_filter BPF_STMT(BPF_ALU | BPF_AND | BPF_K, mask);
    };
    struct Check {
        int call;
        Code code; // ends in a return
    };
    const Check checks[] = {
        // Signals to threads of this process only.
        {SCMP_SYS(tgkill), {load(ArgLow(0)), equal(me, 1), refuse(EPERM), allow}},
        // Limits of this process only (0 names the caller).
        {SCMP_SYS(prlimit64), {load(ArgLow(0)), equal(0, 2), equal(me, 1), refuse(EPERM), allow}},
        // Threads only: no new process, no new namespace.
        {SCMP_SYS(clone),
         {load(ArgLow(0)), bits(uint32_t(kCloneChecked)), equal(CLONE_THREAD, 1), refuse(EPERM),
          allow}},
        // fstat of an open descriptor (glibc's fstat is newfstatat(fd, "",
        // AT_EMPTY_PATH)); a lookup by path is refused like open.
        {SCMP_SYS(newfstatat),
         {load(ArgLow(3)), bits(AT_EMPTY_PATH), equal(AT_EMPTY_PATH, 1), refuse(EACCES), allow}},
    };
    // Another architecture's calls are left to the main filter, which ends the process.
    Code code{load(offsetof(seccomp_data, arch)), equal(uint32_t(::seccomp_arch_native()), 1),
              allow, load(offsetof(seccomp_data, nr))};
    for (const Check& check : checks) {
        code.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, uint32_t(check.call), 0,
                                uint8_t(check.code.size())));
        code.insert(code.end(), check.code.begin(), check.code.end());
    }
    code.push_back(allow);
    sock_fprog program{static_cast<unsigned short>(code.size()), code.data()};
    return ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

} // namespace

bool LoadCallFilter(pid_t self) {
    bool ok = LoadArgumentChecks(self);
    scmp_filter_ctx filter = ::seccomp_init(SCMP_ACT_KILL_PROCESS);
    ok = ok && filter != nullptr;
    for (const int call : kAllowed)
        ok = ok && (call < 0 || ::seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 0) == 0);
    // Narrowed by the argument checks above.
    for (const int call :
         {SCMP_SYS(tgkill), SCMP_SYS(prlimit64), SCMP_SYS(clone), SCMP_SYS(newfstatat)})
        ok = ok && ::seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 0) == 0;
    // Files by name: refused, so a test (or a confused decoder) sees EACCES.
    for (const int call : {SCMP_SYS(open), SCMP_SYS(openat), SCMP_SYS(openat2), SCMP_SYS(creat),
                           SCMP_SYS(stat), SCMP_SYS(lstat), SCMP_SYS(statx)})
        ok = ok && (call < 0 || ::seccomp_rule_add(filter, SCMP_ACT_ERRNO(EACCES), call, 0) == 0);
    // Naming a thread (dav1d, libheif's AV1 decoder, names its workers;
    // glibc's pthread_setname_np for the calling thread is this prctl):
    // only PR_SET_NAME, which touches nothing but the thread's own name.
    ok = ok && ::seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(prctl), 1,
                                  SCMP_A0(SCMP_CMP_EQ, PR_SET_NAME)) == 0;
    // glibc starts threads with clone3 first and falls back on clone, whose
    // flags the checks above can see.
    ok = ok && ::seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0) == 0;
    ok = ok && ::seccomp_load(filter) == 0;
    if (filter) ::seccomp_release(filter);
    return ok;
}

uint32_t Confine() {
    const pid_t self = ::getpid();
    uint32_t layers = 0;
    // Hard limits equal to the soft ones, so that the helper cannot raise
    // them again; only the CPU limit's soft part moves, picture by picture,
    // under a hard limit for the helper's whole life.
    const rlimit space{kAddressSpaceBytes, kAddressSpaceBytes};
    bool limited = ::setrlimit(RLIMIT_AS, &space) == 0;
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    rlimit files{};
    limited = limited && ::getrlimit(RLIMIT_NOFILE, &files) == 0;
    files.rlim_cur = files.rlim_max = std::min(files.rlim_cur, kOpenFiles);
    limited = limited && ::setrlimit(RLIMIT_NOFILE, &files) == 0;
    const rlimit cpu{kCpuSecondsInAll, kCpuSecondsInAll};
    limited = limited && SecondsSpent() < kCpuSecondsInAll && ::setrlimit(RLIMIT_CPU, &cpu) == 0;
    if (limited) layers |= DecoderProtocol::kConfinedLimits;
    AllowNextPicture();
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0)
        layers |= DecoderProtocol::kConfinedNoNewPrivileges;
    if (DenyAllFiles()) layers |= DecoderProtocol::kConfinedFiles;
    if (LoadCallFilter(self)) layers |= DecoderProtocol::kConfinedCalls;
    return layers;
}

void AllowNextPicture() {
    rlimit cpu{};
    ::getrlimit(RLIMIT_CPU, &cpu);
    // The soft limit ends the process with SIGXCPU; the hard one stays.
    rlim_t soft = SecondsSpent() + kCpuSecondsPerPicture;
    if (cpu.rlim_max != RLIM_INFINITY && soft > cpu.rlim_max) soft = cpu.rlim_max;
    cpu.rlim_cur = soft;
    ::setrlimit(RLIMIT_CPU, &cpu);
}

bool TimeForAnotherPicture() {
    rlimit cpu{};
    ::getrlimit(RLIMIT_CPU, &cpu);
    return cpu.rlim_max == RLIM_INFINITY || SecondsSpent() + kCpuSecondsPerPicture <= cpu.rlim_max;
}

} // namespace DecoderSandbox
