// Still pictures decoded in the confined helper: damaged files that crash or
// hang a decoder end only the helper, the next picture decodes at once, the
// helper cannot open files by name nor reach the program, a helper that
// cannot start is a failed load, answers the program must not trust (from a
// lying stand-in helper) are failed loads that leave no descriptor behind,
// and without a helper program the program decodes by itself, in time.
#include "TempDir.h"
#include "imaging/DecoderProtocol.h"
#include "imaging/StillDecoder.h"
#include "tests/PixelUtil.h"

#include <FreeImage.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const std::string kSamples = VANTREL_DAMAGED_SAMPLES;

// A 30 x 20 PNG written by FreeImage, red.
std::string GoodPicture(const TempDir& dir) {
    FIBITMAP* b = FreeImage_Allocate(30, 20, 24);
    RGBQUAD red{0, 0, 255, 0};
    FreeImage_FillBackground(b, &red);
    const std::string path = (dir.path() / "good.png").string();
    EXPECT_TRUE(FreeImage_Save(FIF_PNG, b, path.c_str()));
    FreeImage_Unload(b);
    return path;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int OpenDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count - 1; // the listing's own
}

// The decoder's helper path back to the real one when a test ends.
struct RealHelperAfter {
    ~RealHelperAfter() {
        ::unsetenv("VANTREL_FAKE_DECODER_MODE");
        StillDecoder::Shared().SetHelperPath("");
    }
};

} // namespace

TEST(Decoder, DamagedFilesEndOnlyTheHelper) {
    TempDir dir;
    const std::string good = GoodPicture(dir);
    StillDecoder& d = StillDecoder::Shared();
    ASSERT_TRUE(d.HelperAvailable());
    for (const char* name : {"psd-rle-heap-overflow.psd", "ico-bitcount-0x4000.ico",
                             "hdr-negative-height.hdr", "hang-xbm-width-2147483647.xbm"}) {
        PictureBox box;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(d.Decode(kSamples + "/" + name, box)) << name;
        EXPECT_LT(Seconds(start), 12.0) << name;
        EXPECT_EQ(box.Width(), 0) << name;
        // The next good picture shows at once.
        PictureBox next;
        ASSERT_TRUE(d.Decode(good, next)) << "after " << name;
        EXPECT_EQ(next.Width(), 30);
        EXPECT_EQ(Pixel32(next.Surface(), 29, 19), 0xFF0000u);
    }
}

TEST(Decoder, TheHelperOpensNothingByName) {
    StillDecoder& d = StillDecoder::Shared();
    EXPECT_EQ(d.HelperOpenError("/etc/passwd"), EACCES);
    EXPECT_EQ(d.HelperOpenError(VANTREL_DAMAGED_SAMPLES "/NOTES.md"), EACCES);
    EXPECT_EQ(d.HelperTry(DecoderProtocol::kTryStat, "/etc/passwd"), EACCES);
}

// Tried from inside the confinement against this process: a signal that
// would end it, an open-file limit that would cripple it, a process of the
// helper's own. Each is refused, and this process lives on with its limit.
TEST(Decoder, TheHelperCannotReachTheProgram) {
    TempDir dir;
    const std::string good = GoodPicture(dir);
    StillDecoder& d = StillDecoder::Shared();
    rlimit before{}, after{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &before), 0);
    const struct {
        uint32_t kind;
        const char* what;
    } attempts[] = {
        {DecoderProtocol::kTrySignalParent, "signal the program"},
        {DecoderProtocol::kTryLimitParent, "limit the program's open files"},
        {DecoderProtocol::kTryNewProcess, "start a process"},
    };
    for (const auto& attempt : attempts) {
        EXPECT_EQ(d.HelperTry(attempt.kind), EPERM) << attempt.what;
        PictureBox box; // and the helper still decodes
        EXPECT_TRUE(d.Decode(good, box)) << "after trying to " << attempt.what;
    }
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &after), 0);
    EXPECT_EQ(after.rlim_cur, before.rlim_cur);
    EXPECT_EQ(after.rlim_max, before.rlim_max);
}

// A helper that cannot be started makes a failed load that says why, never
// a decode inside the program.
TEST(Decoder, AHelperThatCannotStartIsAFailedLoad) {
    TempDir dir;
    const std::string good = GoodPicture(dir);
    StillDecoder& d = StillDecoder::Shared();
    RealHelperAfter restore;

    // A program file that the system cannot run.
    const std::string broken = (dir.path() / "broken-helper").string();
    std::ofstream(broken) << "not a program\n";
    ::chmod(broken.c_str(), 0755);
    d.SetHelperPath(broken);
    EXPECT_FALSE(d.DecodesInProcess());
    PictureBox box;
    EXPECT_FALSE(d.Decode(good, box));
    EXPECT_FALSE(d.FailureText().empty());
    EXPECT_EQ(box.Width(), 0);

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
    const bool loaded = d.Decode(good, box);
    const std::string why = d.FailureText();
    for (const int fd : filler)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &limit);
    EXPECT_FALSE(loaded);
    EXPECT_FALSE(why.empty());
    EXPECT_TRUE(d.Decode(good, box)); // with descriptors back, it starts
    EXPECT_TRUE(d.FailureText().empty());
}

// The same with no process left to start: a child of this test, as an
// ordinary user limited to the one process it is.
TEST(Decoder, NoProcessLeftForTheHelperIsAFailedLoad) {
    TempDir dir;
    const std::string good = GoodPicture(dir);
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(good.c_str(), 0644);
    StillDecoder& d = StillDecoder::Shared();
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
        PictureBox box;
        if (StillDecoder::Shared().Decode(good, box)) ::_exit(kLoaded);
        ::_exit(StillDecoder::Shared().FailureText().empty() ? kNoText : kFailedLoad);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == kCannotTest) GTEST_SKIP() << "cannot become an ordinary user";
    EXPECT_EQ(WEXITSTATUS(status), kFailedLoad);
}

// Every kind of answer the program must not trust, from a stand-in helper:
// each is a failed load that says why, and none leaves a descriptor behind
// over many pictures. Silence ends at the time limit given.
TEST(Decoder, UntrustworthyAnswersAreFailedLoadsWithoutLeaks) {
    TempDir dir;
    const std::string good = GoodPicture(dir);
    StillDecoder& d = StillDecoder::Shared();
    RealHelperAfter restore;
    constexpr int kPictures = 12;
    constexpr int kShortLimitMs = 150;
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
    };
    for (const auto& m : modes) {
        ::setenv("VANTREL_FAKE_DECODER_MODE", m.mode, 1);
        d.SetHelperPath(VANTREL_FAKE_DECODER);
        int first = -1;
        for (int i = 0; i < kPictures; ++i) {
            PictureBox box;
            const auto start = std::chrono::steady_clock::now();
            const bool loaded = d.Decode(good, box, kShortLimitMs);
            EXPECT_LT(Seconds(start), 2.0) << m.mode;
            EXPECT_EQ(loaded, m.loads) << m.mode << ", picture " << i;
            EXPECT_EQ(d.FailureText().empty(), m.loads) << m.mode;
            if (loaded) {
                EXPECT_EQ(Pixel32(box.Surface(), 29, 19), 0x00FF00u);
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
    StillDecoder& d = StillDecoder::Shared();
    PictureBox box;
    ASSERT_TRUE(d.Decode(good, box));
    // A helper that died between pictures is replaced; the picture still decodes.
    const pid_t first = d.HelperPid();
    ASSERT_GT(first, 0);
    ::kill(first, SIGKILL);
    // Until it has died (a zombie, not yet reaped by the decoder).
    for (int i = 0; i < 200; ++i) {
        std::ifstream stat("/proc/" + std::to_string(first) + "/stat");
        std::string pid, name, state;
        stat >> pid >> name >> state;
        if (state == "Z" || !stat) break;
        ::usleep(5000);
    }
    PictureBox again;
    EXPECT_TRUE(d.Decode(good, again));
    EXPECT_NE(d.HelperPid(), first);
    // A picture abandoned half-way stops the helper; the next one is fine.
    ASSERT_TRUE(d.Begin(good, 0));
    d.Abandon();
    EXPECT_TRUE(d.Decode(good, again));
    // What cannot be a file fails at once, without the helper.
    EXPECT_FALSE(d.Decode(dir.path().string(), again));
    EXPECT_FALSE(d.Decode((dir.path() / "missing.png").string(), again));
    EXPECT_EQ(again.Width(), 30); // the earlier picture stays
}

// Without the helper program, in this process: the picture decodes, and a
// decode that runs past the time limit is a failed load all the same.
TEST(Decoder, WithoutTheHelperThePictureDecodesHere) {
    TempDir dir;
    const std::string good = GoodPicture(dir);
    StillDecoder& d = StillDecoder::Shared();
    RealHelperAfter restore;
    d.SetHelperPath((dir.path() / "no-such-helper").string());
    EXPECT_TRUE(d.DecodesInProcess());
    PictureBox box;
    EXPECT_TRUE(d.Decode(good, box));
    EXPECT_EQ(box.Height(), 20);
    EXPECT_TRUE(d.FailureText().empty());

    constexpr int kSide = 3000;
    constexpr int kLimitMs = 1; // far shorter than decoding kSide x kSide takes
    FIBITMAP* b = FreeImage_Allocate(kSide, kSide, 24);
    const std::string big = (dir.path() / "big.png").string();
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, b, big.c_str(), PNG_Z_BEST_SPEED));
    FreeImage_Unload(b);
    PictureBox late;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(d.Decode(big, late, kLimitMs));
    EXPECT_LT(Seconds(start), 0.5);
    EXPECT_FALSE(d.FailureText().empty());
    EXPECT_EQ(late.Width(), 0);
    // The next picture decodes while the given-up one may still run.
    EXPECT_TRUE(d.Decode(good, box));
}
