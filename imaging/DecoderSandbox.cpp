#include "imaging/DecoderSandbox.h"

#include <cerrno>
#include <cstdio>
#include <initializer_list>
#include <linux/landlock.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace DecoderSandbox {

namespace {

// What decoding in memory and answering over the socket use: memory, the
// already open socket and files, threads and their locks, time, signals that
// end the process, and the process's own limits.
const int kAllowed[] = {
    SCMP_SYS(read),
    SCMP_SYS(pread64),
    SCMP_SYS(write),
    SCMP_SYS(writev),
    SCMP_SYS(close),
    SCMP_SYS(fstat),
    SCMP_SYS(newfstatat),
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
    SCMP_SYS(clone),
    SCMP_SYS(clone3),
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
    SCMP_SYS(tgkill),
    SCMP_SYS(rt_sigaction),
    SCMP_SYS(rt_sigprocmask),
    SCMP_SYS(rt_sigreturn),
    SCMP_SYS(getrusage),
    SCMP_SYS(getrlimit),
    SCMP_SYS(setrlimit),
    SCMP_SYS(prlimit64),
    SCMP_SYS(exit),
    SCMP_SYS(exit_group),
    SCMP_SYS(sysinfo),
};

void Warn(const char* what) {
    std::fprintf(stderr, "vantrel-decoder: %s; decoding goes on without it\n", what);
}

// A Landlock ruleset that handles every file-system access the kernel knows
// and allows none: no path can be opened, listed, created or executed, even
// through a call the system-call filter lets by. False where the kernel has
// no Landlock.
bool DenyAllFiles() {
    const long abi =
        ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1) return false;
    landlock_ruleset_attr attr{};
    attr.handled_access_fs =
        LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_READ_FILE |
        LANDLOCK_ACCESS_FS_READ_DIR | LANDLOCK_ACCESS_FS_REMOVE_DIR |
        LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_MAKE_CHAR |
        LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_MAKE_REG | LANDLOCK_ACCESS_FS_MAKE_SOCK |
        LANDLOCK_ACCESS_FS_MAKE_FIFO | LANDLOCK_ACCESS_FS_MAKE_BLOCK | LANDLOCK_ACCESS_FS_MAKE_SYM;
    if (abi >= 2) attr.handled_access_fs |= LANDLOCK_ACCESS_FS_REFER;
    const long ruleset = ::syscall(SYS_landlock_create_ruleset, &attr, sizeof attr, 0);
    if (ruleset < 0) return false;
    const bool ok = ::syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    ::close(int(ruleset));
    return ok;
}

} // namespace

void Confine() {
    const rlimit space{kAddressSpaceBytes, kAddressSpaceBytes};
    if (::setrlimit(RLIMIT_AS, &space) != 0) Warn("no address-space limit");
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    AllowNextPicture();
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) Warn("no_new_privs refused");
    if (!DenyAllFiles()) Warn("no Landlock file-system rules (the kernel lacks them)");

    scmp_filter_ctx filter = ::seccomp_init(SCMP_ACT_KILL_PROCESS);
    bool ok = filter != nullptr;
    for (const int call : kAllowed)
        ok = ok && (call < 0 || ::seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 0) == 0);
    // Files by name: refused, so a test (or a confused decoder) sees EACCES.
    for (const int call : {SCMP_SYS(open), SCMP_SYS(openat), SCMP_SYS(openat2), SCMP_SYS(creat)})
        ok = ok && (call < 0 || ::seccomp_rule_add(filter, SCMP_ACT_ERRNO(EACCES), call, 0) == 0);
    ok = ok && ::seccomp_load(filter) == 0;
    if (filter) ::seccomp_release(filter);
    if (!ok) Warn("no system-call filter (seccomp unavailable)");
}

void AllowNextPicture() {
    rusage used{};
    ::getrusage(RUSAGE_SELF, &used);
    rlimit cpu{};
    ::getrlimit(RLIMIT_CPU, &cpu);
    const rlim_t spent = rlim_t(used.ru_utime.tv_sec + used.ru_stime.tv_sec);
    // The soft limit ends the process with SIGXCPU; the hard one stays.
    rlim_t soft = spent + kCpuSecondsPerPicture;
    if (cpu.rlim_max != RLIM_INFINITY && soft > cpu.rlim_max) soft = cpu.rlim_max;
    cpu.rlim_cur = soft;
    ::setrlimit(RLIMIT_CPU, &cpu);
}

} // namespace DecoderSandbox
