// The decoder pool with real helper processes: a cancel of a running decode
// is answered by message and the helper kept; a helper deaf to a cancel is
// killed within the limit and replaced; a helper killed from outside fails
// its decode at once; a thousand choices leave no process behind; a GIF and
// an unreadable file are answered without a decode; without the helper
// program the picture decodes in this process. Every wait is for the pool's
// answer (its NotifyFd), bounded only against a hang.
#include "HelperTries.h"
#include "TempDir.h"
#include "imaging/DecoderPool.h"
#include "tests/PixelUtil.h"

#include <FreeImage.h>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/inotify.h>
#include <unistd.h>
#include <vector>

namespace {

using Lane = DecoderPool::Lane;
using Status = DecodeResult::Status;

// Far longer than any answer here takes: reached only when the pool hangs.
constexpr int kHangMs = 60000;

// A picture of `width` x `height` in one colour (0x00RRGGBB), written by FreeImage.
std::string Picture(const TempDir& dir, const std::string& name, int width, int height,
                    uint32_t colour) {
    FIBITMAP* b = FreeImage_Allocate(width, height, 24);
    RGBQUAD fill{uint8_t(colour), uint8_t(colour >> 8), uint8_t(colour >> 16), 0};
    FreeImage_FillBackground(b, &fill);
    const std::string path = (dir.path() / name).string();
    EXPECT_TRUE(FreeImage_Save(FIF_PNG, b, path.c_str()));
    FreeImage_Unload(b);
    return path;
}

// A file that the tests' helper pretends to decode (its name says how).
std::string Pretended(const TempDir& dir, const std::string& ending) {
    const std::string path = (dir.path() / ("picture" + ending)).string();
    std::ofstream(path) << "not a picture\n";
    return path;
}

// Tells when the helper reads a file: the pool opens it and hands the
// descriptor over, and only the helper reads it, so its first read means the
// decode runs in the helper.
class ReadWatch {
  public:
    explicit ReadWatch(const std::string& path) : fd_(::inotify_init1(IN_CLOEXEC)) {
        ::inotify_add_watch(fd_, path.c_str(), IN_ACCESS);
    }
    ~ReadWatch() { ::close(fd_); }
    bool Wait() const {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, kHangMs) == 1;
    }

  private:
    int fd_;
};

// Waits for the answer to `ticket`, keeping every other answer in `others`;
// Failed "hang" when none comes within kHangMs.
DecodeResult Wait(DecoderPool& pool, DecoderPool::Ticket ticket,
                  std::map<DecoderPool::Ticket, DecodeResult>* others = nullptr) {
    for (;;) {
        pollfd p{pool.NotifyFd(), POLLIN, 0};
        if (::poll(&p, 1, kHangMs) <= 0) {
            DecodeResult hang;
            hang.reason = "hang";
            return hang;
        }
        DecodeResult mine;
        bool found = false;
        for (auto& [t, result] : pool.TakeResults()) {
            if (t == ticket) {
                mine = std::move(result);
                found = true;
            } else if (others) {
                (*others)[t] = std::move(result);
            }
        }
        if (found) return mine;
    }
}

DecoderPool::Request Ask(const std::string& path, MFreeImage_2::Box box = {}) {
    DecoderPool::Request request;
    request.path = path;
    request.box = box;
    return request;
}

// Cancels a decode of `running` on the preview lane once the helper runs
// it, then asks for `good`: decoded, and no answer for the one cancelled.
void CancelWhileRunningThenDecode(DecoderPool& pool, const std::string& running,
                                  const std::string& good) {
    const ReadWatch read(running);
    const DecoderPool::Ticket cancelled = pool.Submit(Lane::Preview, Ask(running));
    ASSERT_TRUE(read.Wait());
    pool.Cancel(cancelled);
    std::map<DecoderPool::Ticket, DecodeResult> others;
    const DecodeResult next = Wait(pool, pool.Submit(Lane::Preview, Ask(good)), &others);
    EXPECT_EQ(next.status, Status::Decoded) << next.reason;
    EXPECT_TRUE(others.empty()) << "an answer to a cancelled request";
}

std::size_t OpenDescriptors() {
    const auto listing = std::filesystem::directory_iterator("/proc/self/fd");
    return std::size_t(std::distance(begin(listing), end(listing)));
}

// The processes this process started and has not reaped, zombies among them.
std::vector<pid_t> Children() {
    std::vector<pid_t> children;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream in(task.path() / "children");
        for (pid_t pid; in >> pid;)
            children.push_back(pid);
    }
    return children;
}

} // namespace

TEST(DecoderPool, DecodesIntoTheBoxWithTheFilesStamp) {
    TempDir dir;
    const std::string red = Picture(dir, "red.png", 300, 200, 0xFF0000);
    DecoderPool pool;
    ASSERT_FALSE(pool.DecodesInProcess());
    const DecodeResult result = Wait(pool, pool.Submit(Lane::Preview, Ask(red, {150, 150})));
    ASSERT_EQ(result.status, Status::Decoded) << result.reason;
    EXPECT_EQ(result.picture->Width(), 150);
    EXPECT_EQ(result.picture->Height(), 100);
    EXPECT_EQ(Pixel32(*result.picture, 149, 99), 0xFF0000u);
    EXPECT_EQ(result.fullWidth, 300);
    EXPECT_EQ(result.fullHeight, 200);
    EXPECT_FALSE(result.inProcess);
    EXPECT_EQ(result.stamp.size, std::filesystem::file_size(red));
    EXPECT_GT(result.stamp.changedNs, 0);
    EXPECT_TRUE(pool.Idle());
}

// Answered without a decode: a GIF when asked to look for one, a path that
// is no regular file with the reason and errno, a file no reader knows.
TEST(DecoderPool, AnswersWithoutDecoding) {
    TempDir dir;
    const std::string gif = (dir.path() / "still.png").string(); // its name does not matter
    std::ofstream(gif) << "GIF89a and the rest";
    const std::string text = (dir.path() / "notes.txt").string();
    std::ofstream(text) << "words\n";
    DecoderPool pool;
    DecoderPool::Request sniffed = Ask(gif);
    sniffed.sniffGif = true;
    EXPECT_EQ(Wait(pool, pool.Submit(Lane::Preview, sniffed)).status, Status::Gif);
    // Not asked to look: the readers say it is no picture.
    EXPECT_EQ(Wait(pool, pool.Submit(Lane::Preview, Ask(gif))).status, Status::NotDecoded);
    EXPECT_EQ(Wait(pool, pool.Submit(Lane::ReadAhead, Ask(text))).status, Status::NotDecoded);
    const struct {
        std::string path;
        int error;
    } unreadable[] = {{(dir.path() / "missing.png").string(), ENOENT},
                      {dir.path().string(), EISDIR}};
    for (const auto& u : unreadable) {
        const DecodeResult result = Wait(pool, pool.Submit(Lane::Preview, Ask(u.path)));
        EXPECT_EQ(result.status, Status::Unreadable) << u.path;
        EXPECT_EQ(result.error, u.error) << u.path;
        EXPECT_FALSE(result.reason.empty()) << u.path;
    }
}

// A cancel reaches a helper busy with a decode that looks for one between
// its steps: the helper drops it and takes the next request, the same
// process, and the cancelled request is never answered. The cancel limit is
// longer than the whole test may take, so a helper killed for not answering
// shows as a hang.
TEST(DecoderPool, ACancelIsAnsweredAndTheHelperKept) {
    TempDir dir;
    const std::string good = Picture(dir, "good.png", 30, 20, 0x00FF00);
    const std::string slow = Pretended(dir, HelperTries::kSlowEnding);
    DecoderPool pool(VANTREL_TEST_HELPER, {.timeLimitMs = 4 * kHangMs, .cancelMs = 2 * kHangMs});
    ASSERT_EQ(Wait(pool, pool.Submit(Lane::Preview, Ask(good))).status, Status::Decoded);
    const std::vector<pid_t> before = pool.HelperPids();
    ASSERT_EQ(before.size(), 1u);
    ASSERT_EQ(pool.HelperStarts(), 1u);
    for (int i = 0; i < 3; ++i) {
        CancelWhileRunningThenDecode(pool, slow, good);
    }
    EXPECT_EQ(pool.HelperPids(), before);
    EXPECT_EQ(pool.HelperStarts(), 1u);
    EXPECT_TRUE(pool.Idle());
}

// A helper that never looks for the cancel is killed once the cancel limit
// passes, reaped, and replaced for the next request, which is answered; the
// other lane's helper is not touched.
TEST(DecoderPool, ACancelIgnoredEndsTheHelper) {
    TempDir dir;
    const std::string good = Picture(dir, "good.png", 30, 20, 0x00FF00);
    const std::string deaf = Pretended(dir, HelperTries::kDeafEnding);
    constexpr int kCancelMs = 200;
    {
        DecoderPool pool(VANTREL_TEST_HELPER, {.timeLimitMs = 4 * kHangMs, .cancelMs = kCancelMs});
        ASSERT_EQ(Wait(pool, pool.Submit(Lane::ReadAhead, Ask(good))).status, Status::Decoded);
        ASSERT_EQ(Wait(pool, pool.Submit(Lane::Preview, Ask(good))).status, Status::Decoded);
        const std::vector<pid_t> before = pool.HelperPids();
        ASSERT_EQ(before.size(), 2u);
        CancelWhileRunningThenDecode(pool, deaf, good);
        EXPECT_EQ(pool.HelperStarts(), 3u);
        const std::vector<pid_t> after = pool.HelperPids();
        ASSERT_EQ(after.size(), 2u);
        EXPECT_NE(after[0], before[0]) << "the preview lane's helper";
        EXPECT_EQ(after[1], before[1]) << "the read-ahead lane's helper";
    }
    EXPECT_TRUE(Children().empty()) << Children().size() << " processes left";
}

// A helper killed from outside while it decodes fails that request at once,
// with the reason, long before the time limit; the next request gets a new
// helper and is answered.
TEST(DecoderPool, AHelperKilledFromOutsideIsNoticedAtOnce) {
    TempDir dir;
    const std::string good = Picture(dir, "good.png", 30, 20, 0x00FF00);
    const std::string slow = Pretended(dir, HelperTries::kSlowEnding);
    // Never reached: the kill must be what ends the decode.
    DecoderPool pool(VANTREL_TEST_HELPER, {.timeLimitMs = 4 * kHangMs, .cancelMs = 1000});
    ASSERT_EQ(Wait(pool, pool.Submit(Lane::Preview, Ask(good))).status, Status::Decoded);
    const pid_t helper = pool.HelperPids().at(0);
    const ReadWatch read(slow);
    const DecoderPool::Ticket ticket = pool.Submit(Lane::Preview, Ask(slow));
    ASSERT_TRUE(read.Wait());
    ASSERT_EQ(::kill(helper, SIGKILL), 0);
    const DecodeResult result = Wait(pool, ticket);
    EXPECT_EQ(result.status, Status::Failed);
    EXPECT_EQ(result.reason, "The decoder helper stopped");
    EXPECT_EQ(Wait(pool, pool.Submit(Lane::Preview, Ask(good))).status, Status::Decoded);
    EXPECT_EQ(pool.HelperStarts(), 2u);
    EXPECT_NE(pool.HelperPids().at(0), helper);
}

// A decode past the time limit is answered TimedOut and its helper replaced.
TEST(DecoderPool, TheTimeLimitEndsADecode) {
    TempDir dir;
    const std::string good = Picture(dir, "good.png", 30, 20, 0x00FF00);
    const std::string deaf = Pretended(dir, HelperTries::kDeafEnding);
    DecoderPool pool(VANTREL_TEST_HELPER, {.timeLimitMs = 300, .cancelMs = 1000});
    const DecodeResult late = Wait(pool, pool.Submit(Lane::Preview, Ask(deaf)));
    EXPECT_EQ(late.status, Status::TimedOut);
    EXPECT_EQ(late.reason, "Decoding took too long");
    EXPECT_EQ(Wait(pool, pool.Submit(Lane::Preview, Ask(good))).status, Status::Decoded);
    EXPECT_EQ(pool.HelperStarts(), 2u);
}

// Holding a key down: a thousand choices, each cancelling the one before,
// then the pool goes. The helpers are kept through it, and no process of
// theirs is left, running or unreaped, nor a descriptor of the pool's.
TEST(DecoderPool, AThousandChoicesLeaveNoProcessBehind) {
    TempDir dir;
    std::vector<std::string> pictures;
    for (const char* name : {"p0.png", "p1.png", "p2.png", "p3.png", "p4.png", "p5.png"})
        pictures.push_back(Picture(dir, name, 64 + int(pictures.size()), 48,
                                   0x101010u * uint32_t(pictures.size())));
    constexpr int kChoices = 1000;
    ASSERT_TRUE(Children().empty());
    const std::size_t descriptors = OpenDescriptors();
    uint64_t starts = 0;
    {
        DecoderPool pool;
        DecoderPool::Ticket last = 0;
        for (int i = 0; i < kChoices; ++i) {
            if (last) pool.Cancel(last);
            last = pool.Submit(Lane::Preview, Ask(pictures[std::size_t(i) % pictures.size()]));
            pool.TakeResults();
        }
        std::map<DecoderPool::Ticket, DecodeResult> others;
        EXPECT_EQ(Wait(pool, last, &others).status, Status::Decoded);
        EXPECT_TRUE(others.empty()) << "answers to cancelled requests";
        starts = pool.HelperStarts();
        EXPECT_LE(starts, 2u);
    }
    std::printf("%d choices started %llu helpers\n", kChoices, (unsigned long long)starts);
    EXPECT_TRUE(Children().empty()) << Children().size() << " processes left";
    EXPECT_EQ(OpenDescriptors(), descriptors);
}

// Without the helper program the picture decodes in this process, and the
// pool knows it from its start; a cancel there drops the answer.
TEST(DecoderPool, WithoutTheHelperProgramThePictureDecodesHere) {
    TempDir dir;
    const std::string good = Picture(dir, "good.png", 30, 20, 0x0000FF);
    DecoderPool pool((dir.path() / "no-such-helper").string());
    EXPECT_TRUE(pool.DecodesInProcess());
    const DecodeResult result = Wait(pool, pool.Submit(Lane::Preview, Ask(good)));
    ASSERT_EQ(result.status, Status::Decoded) << result.reason;
    EXPECT_TRUE(result.inProcess);
    EXPECT_EQ(Pixel32(*result.picture, 29, 19), 0x0000FFu);
    // A cancelled decode is never answered; the next one is.
    const std::string large = Picture(dir, "large.png", 2000, 2000, 0xFF0000);
    pool.Cancel(pool.Submit(Lane::Preview, Ask(large, {100, 100})));
    std::map<DecoderPool::Ticket, DecodeResult> others;
    EXPECT_TRUE(Wait(pool, pool.Submit(Lane::Preview, Ask(good)), &others).Decoded());
    EXPECT_TRUE(others.empty()) << "an answer to a cancelled request";
    EXPECT_EQ(pool.HelperStarts(), 0u);
    EXPECT_TRUE(Children().empty());
}
