// Still pictures decoded in the confined helper: damaged files that crash or
// hang a decoder end only the helper, the next picture decodes at once, a
// helper that dies is seen gone at once, the helper keeps its limits picture
// after picture and says which confinement it lacks, a helper
// that cannot start is a failed load, answers the program must not trust
// (from a lying stand-in helper, larger than asked among them) are failed
// loads that leave no descriptor behind, and without a helper program the
// program decodes by itself, in time.
#include "DecoderFiles.h"
#include "TempDir.h"
#include "imaging/DecoderProtocol.h"
#include "imaging/DecoderSandbox.h"
#include "imaging/HelperProcess.h"
#include "imaging/StillDecoder.h"
#include "tests/PixelUtil.h"

#include <FreeImage.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <linux/landlock.h>
#include <map>
#include <signal.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// One decoder for the test program, its helper kept from one test to the next.
StillDecoder& SharedDecoder() {
    static StillDecoder decoder;
    return decoder;
}

const std::string kSamples = VANTREL_DAMAGED_SAMPLES;

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int OpenDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count - 1; // the listing's own
}

// A process's CPU time so far, in seconds, from /proc/PID/stat.
double CpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    // Fields after the name (which may hold blanks), from the third: utime is the 14th.
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string skip;
    for (int i = 3; i < 14; ++i)
        fields >> skip;
    unsigned long long user = 0, system = 0;
    fields >> user >> system;
    return double(user + system) / double(::sysconf(_SC_CLK_TCK));
}

// A process's soft CPU limit in seconds, from /proc/PID/limits (-1 when unlimited or unread).
long SoftCpuLimit(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/limits");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("Max cpu time", 0) == 0) {
            std::istringstream fields(line.substr(std::strlen("Max cpu time")));
            std::string soft;
            fields >> soft;
            return soft == "unlimited" ? -1 : std::stol(soft);
        }
    return -1;
}

// This process's peak memory (VmHWM) in kB, and the reset of that peak to now.
long PeakMemoryKb() {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}
void ResetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// A large PNG (one colour, quick to write) for decodes that take CPU time.
std::string LargePicture(const TempDir& dir, int side) {
    FIBITMAP* b = FreeImage_Allocate(side, side, 24);
    const std::string path = (dir.path() / "large.png").string();
    EXPECT_TRUE(FreeImage_Save(FIF_PNG, b, path.c_str(), PNG_Z_BEST_SPEED));
    FreeImage_Unload(b);
    return path;
}

// The decoder's helper path back to the real one when a test ends.
struct RealHelperAfter {
    ~RealHelperAfter() {
        ::unsetenv("VANTREL_FAKE_DECODER_MODE");
        SharedDecoder().SetHelperPath("");
    }
};

} // namespace

TEST(Decoder, DamagedFilesEndOnlyTheHelper) {
    TempDir dir;
    const std::string good = GoodPicture(dir);
    StillDecoder& d = SharedDecoder();
    ASSERT_TRUE(d.HelperAvailable());
    for (const char* name : {"psd-rle-heap-overflow.psd", "ico-bitcount-0x4000.ico",
                             "hdr-negative-height.hdr", "hang-xbm-width-2147483647.xbm"}) {
        const DecodeResult damaged = d.Decode(kSamples + "/" + name);
        // Refused by the helper (the file's failure), or the helper died on
        // it and was seen gone by its socket: never found out at the time limit.
        const std::string& why = damaged.reason;
        EXPECT_TRUE(
            damaged.status == DecodeResult::Status::NotDecoded ||
            (damaged.status == DecodeResult::Status::Failed && why == StillDecoder::kStopped))
            << name << ": " << why;
        EXPECT_FALSE(damaged.picture) << name;
        // The next good picture shows at once.
        const DecodeResult next = d.Decode(good);
        ASSERT_TRUE(next.Decoded()) << "after " << name;
        EXPECT_EQ(next.picture->Width(), 30);
        EXPECT_EQ(Pixel32(*next.picture, 29, 19), 0xFF0000u);
    }
}

// A helper that cannot be started makes a failed load that says why, never
// a decode inside the program.
TEST(Decoder, AHelperThatCannotStartIsAFailedLoad) {
    TempDir dir;
    const std::string good = GoodPicture(dir);
    StillDecoder& d = SharedDecoder();
    RealHelperAfter restore;

    // A program file that the system cannot run.
    const std::string broken = (dir.path() / "broken-helper").string();
    std::ofstream(broken) << "not a program\n";
    ::chmod(broken.c_str(), 0755);
    d.SetHelperPath(broken);
    EXPECT_FALSE(d.DecodesInProcess());
    const DecodeResult notStarted = d.Decode(good);
    EXPECT_EQ(notStarted.status, DecodeResult::Status::Failed);
    EXPECT_EQ(notStarted.reason, StillDecoder::kNotStarted);
    EXPECT_FALSE(notStarted.picture);

    // No descriptor left for the helper's socket once the picture is open.
    d.SetHelperPath("");
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlimit lowered{rlim_t(OpenDescriptors() + 16), limit.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    std::vector<int> filler;
    for (int fd; (fd = ::dup(0)) >= 0;)
        filler.push_back(fd);
    ::close(filler.back()); // room for the picture alone
    filler.pop_back();
    const DecodeResult crowded = d.Decode(good);
    for (const int fd : filler)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &limit);
    EXPECT_EQ(crowded.status, DecodeResult::Status::Failed);
    EXPECT_FALSE(crowded.reason.empty());
    const DecodeResult started = d.Decode(good); // with descriptors back, it starts
    EXPECT_TRUE(started.Decoded());
    EXPECT_TRUE(started.reason.empty());
}

// The same with no process left to start: a child of this test, as an
// ordinary user limited to the one process it is.
TEST(Decoder, NoProcessLeftForTheHelperIsAFailedLoad) {
    TempDir dir;
    const std::string good = GoodPicture(dir);
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(good.c_str(), 0644);
    StillDecoder& d = SharedDecoder();
    d.SetHelperPath(""); // no helper running across the fork
    constexpr int kFailedLoad = 0, kLoaded = 1, kNoText = 2, kCannotTest = 77;
    constexpr uid_t kNobody = 65534;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit one{1, 1};
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
             ::setresuid(kNobody, kNobody, kNobody) != 0))
            ::_exit(kCannotTest);
        if (::setrlimit(RLIMIT_NPROC, &one) != 0 || ::access(good.c_str(), R_OK) != 0)
            ::_exit(kCannotTest);
        const DecodeResult result = SharedDecoder().Decode(good);
        if (result.Decoded()) ::_exit(kLoaded);
        ::_exit(result.reason.empty() ? kNoText : kFailedLoad);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == kCannotTest) GTEST_SKIP() << "cannot become an ordinary user";
    EXPECT_EQ(WEXITSTATUS(status), kFailedLoad);
}

// Every kind of answer the program must not trust, from a stand-in helper:
// each is a failed load that says why, and none leaves a descriptor behind
// over many pictures. Silence ends at the time limit given; every other lie
// is found out from the answer itself, long before the usual limit.
TEST(Decoder, UntrustworthyAnswersAreFailedLoadsWithoutLeaks) {
    TempDir dir;
    const std::string good = GoodPicture(dir);
    StillDecoder& d = SharedDecoder();
    RealHelperAfter restore;
    constexpr int kPictures = 12;
    constexpr int kShortLimitMs = 150; // for the silent helper alone
    const struct {
        const char* mode;
        bool loads;
    } modes[] = {
        {"honest", true},
        {"file-shorter-than-said", false},
        {"size-not-the-picture's", false},
        {"sealed-against-shrinking-only", false},
        {"not-sealed-against-writing", false},
        {"stale-id", false},
        {"two-descriptors", false},
        {"three-descriptors", false},
        {"loaded-without-pixels", false},
        {"garbage", false},
        {"short-packet", false},
        {"long-packet", false},
        {"silent", false},
        {"dies-mid-answer", false},
        {"dies", false},
    };
    for (const auto& m : modes) {
        ::setenv("VANTREL_FAKE_DECODER_MODE", m.mode, 1);
        d.SetHelperPath(VANTREL_FAKE_DECODER);
        int first = -1;
        const bool silent = std::string(m.mode) == "silent";
        for (int i = 0; i < kPictures; ++i) {
            const DecodeResult result =
                d.Decode(good, {}, PictureBox::kDefaultBackColor,
                         silent ? kShortLimitMs : StillDecoder::kTimeLimitMs);
            EXPECT_EQ(result.Decoded(), m.loads) << m.mode << ", picture " << i;
            EXPECT_EQ(result.reason.empty(), m.loads) << m.mode;
            EXPECT_EQ(result.reason == StillDecoder::kTooLong, silent) << m.mode;
            if (result.Decoded()) {
                EXPECT_EQ(Pixel32(*result.picture, 29, 19), 0x00FF00u);
            }
            // A helper kept for the next picture holds one socket.
            const int open = OpenDescriptors() - (d.HelperPid() > 0 ? 1 : 0);
            if (i == 0) first = open;
            EXPECT_EQ(open, first) << m.mode << ", picture " << i;
        }
    }
}

TEST(Decoder, LimitsAndReplacement) {
    TempDir dir;
    const std::string good = GoodPicture(dir);
    StillDecoder& d = SharedDecoder();
    ASSERT_TRUE(d.Decode(good).Decoded());
    // A helper that died between pictures is replaced; the picture still decodes.
    const pid_t first = d.HelperPid();
    ASSERT_GT(first, 0);
    ::kill(first, SIGKILL);
    // Until it has died, left for the decoder to reap.
    siginfo_t ended{};
    ASSERT_EQ(::waitid(P_PID, id_t(first), &ended, WEXITED | WNOWAIT), 0);
    EXPECT_TRUE(d.Decode(good).Decoded());
    EXPECT_NE(d.HelperPid(), first);
    // A picture abandoned half-way stops the helper; the next one is fine.
    ASSERT_TRUE(d.Begin(good, 0));
    d.Abandon();
    EXPECT_EQ(d.Finish().status, DecodeResult::Status::Cancelled);
    EXPECT_TRUE(d.Decode(good).Decoded());
    // What cannot be a file fails at once, without the helper, with the reason.
    const DecodeResult folder = d.Decode(dir.path().string());
    EXPECT_EQ(folder.status, DecodeResult::Status::Unreadable);
    EXPECT_EQ(folder.error, EISDIR);
    const DecodeResult missing = d.Decode((dir.path() / "missing.png").string());
    EXPECT_EQ(missing.status, DecodeResult::Status::Unreadable);
    EXPECT_EQ(missing.error, ENOENT);
}

// A helper that dies is seen gone at once, by its socket closing, not when
// the time limit runs out.
TEST(Decoder, ADeadHelperIsNoticedAtOnce) {
    TempDir dir;
    const std::string good = GoodPicture(dir);
    StillDecoder& d = SharedDecoder();
    RealHelperAfter restore;
    ::setenv("VANTREL_FAKE_DECODER_MODE", "dies", 1);
    d.SetHelperPath(VANTREL_FAKE_DECODER);
    const auto start = std::chrono::steady_clock::now();
    const DecodeResult result = d.Decode(good);
    const double noticed = Seconds(start);
    EXPECT_EQ(result.status, DecodeResult::Status::Failed);
    EXPECT_EQ(result.reason, StillDecoder::kStopped);
    std::printf("a dead helper noticed after %.1f ms (the limit is %d ms)\n", noticed * 1000,
                StillDecoder::kTimeLimitMs);
}

// An answer must fit what was asked: a picture larger than the box it was
// asked for is a broken answer from the helper, not the file's failure, and
// the program maps none of it; the whole picture may be as large as a
// surface may be.
TEST(Decoder, AnAnswerLargerThanAskedIsRefused) {
    TempDir dir;
    const std::string good = GoodPicture(dir);
    StillDecoder& d = SharedDecoder();
    RealHelperAfter restore;
    ::setenv("VANTREL_FAKE_DECODER_MODE", "honest", 1); // always 30 x 20
    d.SetHelperPath(VANTREL_FAKE_DECODER);
    const struct {
        MFreeImage_2::Box box;
        bool loads;
    } rows[] = {
        {{0, 0}, true},    {{30, 20}, true},  {{128, 128}, true}, {{0, 5}, true},
        {{29, 20}, false}, {{30, 19}, false}, {{128, 10}, false}, {{1, 1}, false},
    };
    for (const auto& row : rows) {
        const DecodeResult result = d.Decode(good, row.box);
        const std::string at =
            std::to_string(row.box.width) + " x " + std::to_string(row.box.height);
        EXPECT_EQ(result.Decoded(), row.loads) << at;
        EXPECT_EQ(result.reason, row.loads ? "" : StillDecoder::kBrokenAnswer) << at;
        EXPECT_EQ(result.picture ? result.picture->Width() : 0, row.loads ? 30 : 0) << at;
    }

    // A thumbnail's box answered with the largest picture a surface may hold.
    ::setenv("VANTREL_FAKE_DECODER_MODE", "larger-than-asked", 1);
    d.SetHelperPath(VANTREL_FAKE_DECODER);
    ResetPeakMemory();
    const long atStart = PeakMemoryKb();
    for (const MFreeImage_2::Box box :
         {MFreeImage_2::Box{128, 128}, MFreeImage_2::Box{1920, 1080}}) {
        const DecodeResult thumbnail = d.Decode(good, box);
        EXPECT_EQ(thumbnail.status, DecodeResult::Status::Failed);
        EXPECT_EQ(thumbnail.reason, StillDecoder::kBrokenAnswer);
        EXPECT_FALSE(thumbnail.picture);
    }
    const long grown = PeakMemoryKb() - atStart;
    constexpr long kSmallKb = 16 << 10;
    EXPECT_LT(grown, kSmallKb);
    std::printf("peak memory grew by %ld kB (to %ld kB) refusing two 16384 x 16383 answers\n",
                grown, PeakMemoryKb());
}

// One helper decodes picture after picture: it closes each picture's file
// (it may hold no more than a few dozen) and stays the same process.
TEST(Decoder, OneHelperDecodesPictureAfterPicture) {
    TempDir dir;
    const std::string good = GoodPicture(dir);
    StillDecoder d;
    constexpr int kPictures = 101;
    pid_t helper = -1;
    for (int i = 0; i < kPictures; ++i) {
        const DecodeResult result = d.Decode(good);
        ASSERT_TRUE(result.Decoded()) << "picture " << i << ": " << result.reason;
        if (i == 0) helper = d.HelperPid();
        ASSERT_EQ(d.HelperPid(), helper) << "picture " << i;
    }
}

// The helper's CPU limit moves on with each picture: after seconds of
// decoding, a new picture still has its whole allowance.
TEST(Decoder, EachPictureHasItsOwnCpuAllowance) {
    TempDir dir;
    const std::string large = LargePicture(dir, 4000);
    StillDecoder d;
    constexpr double kCpuSeconds = 4;
    constexpr MFreeImage_2::Box kSmallBox{64, 64};
    ASSERT_TRUE(d.Decode(large, kSmallBox).Decoded());
    const pid_t helper = d.HelperPid();
    double usedBefore = 0;
    do {
        usedBefore = CpuSeconds(helper);
        ASSERT_TRUE(d.Decode(large, kSmallBox).Decoded());
        ASSERT_EQ(d.HelperPid(), helper);
    } while (CpuSeconds(helper) < kCpuSeconds);
    // The last picture's allowance counts from the CPU time used when it came.
    EXPECT_GE(double(SoftCpuLimit(helper)),
              usedBefore + double(DecoderSandbox::kCpuSecondsPerPicture));
}

// The confinement the helper runs under comes back with its answers. A
// helper started where Landlock cannot take one more layer (a process may
// stack 16) runs without its file-system rules, and the decoder says so.
TEST(Decoder, TheHelperSaysWhichConfinementItLacks) {
    TempDir dir;
    const std::string good = GoodPicture(dir);
    const bool landlock =
        ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION) >= 1;
    {
        StillDecoder d;
        const DecodeResult result = d.Decode(good);
        ASSERT_TRUE(result.Decoded());
        EXPECT_EQ(result.missingConfinement, landlock ? 0u : DecoderProtocol::kConfinedFiles);
        EXPECT_EQ(HelperProcess::ConfinementNotice(result.missingConfinement).empty(), landlock);
    }
    if (!landlock) GTEST_SKIP() << "no Landlock in this kernel";
    constexpr int kSaidSo = 0, kLoadFailed = 1, kNotSaid = 2, kCannotStack = 77;
    constexpr int kManyLayers = 1000; // far more than a kernel lets a process stack
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) ::_exit(kCannotStack);
        // Layers that refuse only making block devices, which nothing here
        // does, until the kernel takes no more (E2BIG).
        landlock_ruleset_attr attr{};
        attr.handled_access_fs = LANDLOCK_ACCESS_FS_MAKE_BLOCK;
        bool full = false;
        for (int i = 0; i < kManyLayers && !full; ++i) {
            const long ruleset = ::syscall(SYS_landlock_create_ruleset, &attr, sizeof attr, 0);
            if (ruleset < 0) ::_exit(kCannotStack);
            full = ::syscall(SYS_landlock_restrict_self, ruleset, 0) != 0 && errno == E2BIG;
            ::close(int(ruleset));
        }
        if (!full) ::_exit(kCannotStack);
        StillDecoder d;
        const DecodeResult result = d.Decode(good);
        if (!result.Decoded()) ::_exit(kLoadFailed);
        const bool said =
            result.missingConfinement == DecoderProtocol::kConfinedFiles &&
            HelperProcess::ConfinementNotice(result.missingConfinement).find("file-system rules") !=
                std::string::npos;
        ::_exit(said ? kSaidSo : kNotSaid);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == kCannotStack) GTEST_SKIP() << "cannot stack Landlock layers";
    EXPECT_EQ(WEXITSTATUS(status), kSaidSo);
}

// Without the helper program, in this process: the picture decodes, and a
// decode that runs past the time limit is a failed load all the same.
TEST(Decoder, WithoutTheHelperThePictureDecodesHere) {
    TempDir dir;
    const std::string good = GoodPicture(dir);
    StillDecoder& d = SharedDecoder();
    RealHelperAfter restore;
    d.SetHelperPath((dir.path() / "no-such-helper").string());
    EXPECT_TRUE(d.DecodesInProcess());
    const DecodeResult here = d.Decode(good);
    ASSERT_TRUE(here.Decoded());
    EXPECT_TRUE(here.inProcess);
    EXPECT_EQ(here.picture->Height(), 20);
    EXPECT_TRUE(here.reason.empty());

    constexpr int kSide = 3000;
    constexpr int kLimitMs = 1; // far shorter than decoding kSide x kSide takes
    FIBITMAP* b = FreeImage_Allocate(kSide, kSide, 24);
    const std::string big = (dir.path() / "big.png").string();
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, b, big.c_str(), PNG_Z_BEST_SPEED));
    FreeImage_Unload(b);
    const auto start = std::chrono::steady_clock::now();
    const DecodeResult late = d.Decode(big, {}, PictureBox::kDefaultBackColor, kLimitMs);
    const double givenUp = Seconds(start);
    EXPECT_EQ(late.status, DecodeResult::Status::TimedOut);
    EXPECT_EQ(late.reason, StillDecoder::kTooLong);
    EXPECT_FALSE(late.picture);
    // The next picture decodes while the given-up one may still run.
    EXPECT_TRUE(d.Decode(good).Decoded());
    // Given up without waiting for the decode: sooner than the whole of it takes.
    const auto whole = std::chrono::steady_clock::now();
    EXPECT_TRUE(d.Decode(big).Decoded());
    EXPECT_LT(givenUp, Seconds(whole));
}
