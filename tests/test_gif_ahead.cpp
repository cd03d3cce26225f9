// Frames decoded apart from their document, on another thread: the same
// pixels, masks and tables as decoding in place; handed only to the frame
// they were made from, and only while it has no pixels; a job given up
// never comes back; the worker ends cleanly in the middle of a big frame.
#include "gif/GifDecodeAhead.h"
#include "gif/cGIF.h"
#include "gif/mGIFLZWDec.h"
#include "tests/GifOracle.h"
#include "tests/GifTestUtil.h"

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

using oracle::FramePlan;
using oracle::GifPlan;

namespace {

FramePlan NoiseFrame(int w, int h, unsigned colours, std::mt19937& rng) {
    FramePlan f;
    f.width = w, f.height = h;
    f.indices.resize(std::size_t(w) * std::size_t(h));
    std::generate(f.indices.begin(), f.indices.end(), [&] { return uint8_t(rng() % colours); });
    return f;
}

// Noise frames with every disposal, interlaced and plain rows, and a
// transparent index on every other frame.
GifPlan Frames(int frames, int w, int h) {
    constexpr unsigned kColours = 64;
    std::mt19937 rng(3);
    GifPlan s;
    s.width = w, s.height = h;
    s.global = oracle::GreyRamp(kColours);
    for (int i = 0; i < frames; ++i) {
        s.frames.push_back(NoiseFrame(w - i % 3, h - i % 2, kColours, rng));
        FramePlan& f = s.frames.back();
        f.disposal = i % 4;
        f.interlaced = i % 3 == 1;
        f.transparent = i % 2 ? int(rng() % kColours) : -1;
    }
    return s;
}

std::vector<uint8_t> Bits(const cDIB& d) {
    return d.lpBits() ? std::vector<uint8_t>(d.lpBits(), d.lpBits() + d.size())
                      : std::vector<uint8_t>{};
}

std::vector<uint32_t> Table(const cDIB& d) {
    std::vector<uint32_t> t;
    for (int i = 0; i < 256; ++i)
        t.push_back(d.TableColor(i));
    return t;
}

// Runs the job on a thread of its own, as the viewer's worker does.
void RunElsewhere(cGIF::DecodeJob& job) {
    const std::atomic<bool> never{false};
    std::thread([&] { job.Run(never); }).join();
}

} // namespace

TEST(GifDecodeApart, SamePixelsAsInPlaceNoneDecodedOnThisThread) {
    const std::vector<uint8_t> bytes = oracle::Encode(Frames(8, 40, 30));
    cGIF inPlace, apart;
    ASSERT_TRUE(inPlace.LoadFromStream(bytes));
    ASSERT_TRUE(apart.LoadFromStream(bytes));
    EXPECT_EQ(apart.PrepareDecode(1), nullptr) << "decoded by the load";
    EXPECT_EQ(apart.PrepareDecode(0), nullptr);
    EXPECT_EQ(apart.PrepareDecode(9), nullptr);
    const uint64_t here = mGIFLZWDec::DecodesOnThisThread();
    for (int n = 2; n <= 8; ++n) {
        const std::unique_ptr<cGIF::DecodeJob> job = apart.PrepareDecode(n);
        ASSERT_NE(job, nullptr) << n;
        RunElsewhere(*job);
        EXPECT_TRUE(apart.AdoptDecode(*job)) << n;
        EXPECT_TRUE(apart.FrameDecoded(n)) << n;
        EXPECT_EQ(apart.PrepareDecode(n), nullptr) << n;
    }
    EXPECT_EQ(mGIFLZWDec::DecodesOnThisThread(), here);
    for (int n = 1; n <= 8; ++n) {
        const cGIF& a = apart;
        const cGIF& b = inPlace;
        EXPECT_EQ(Bits(a.FrameDIBXOR(n)), Bits(b.FrameDIBXOR(n))) << n;
        EXPECT_EQ(Bits(a.FrameDIBAND(n)), Bits(b.FrameDIBAND(n))) << n;
        EXPECT_EQ(Table(a.FrameDIBXOR(n)), Table(b.FrameDIBXOR(n))) << n;
        EXPECT_EQ(Table(a.FrameDIBAND(n)), Table(b.FrameDIBAND(n))) << n;
    }
    EXPECT_EQ(apart.PixelBytes(), inPlace.PixelBytes());
}

TEST(GifDecodeApart, HandedOnlyToTheFrameItWasMadeFrom) {
    const GifPlan plan = Frames(4, 40, 30);
    const std::vector<uint8_t> bytes = oracle::Encode(plan);
    const std::vector<uint8_t> other = oracle::Encode(Frames(4, 30, 20));
    struct Row {
        const char* what;
        std::function<void(cGIF&)> between; // done after the job was made, before it is handed in
        bool adopted;
    };
    const Row rows[] = {
        {"nothing happened", [](cGIF&) {}, true},
        {"decoded in place meanwhile", [](cGIF& g) { ReadIndices(g, 3); }, false},
        {"edited meanwhile", [](cGIF& g) { g.SetFrameDelay(3, 7); }, false},
        {"another file loaded", [&](cGIF& g) { g.LoadFromStream(other); }, false},
        {"the same file loaded again", [&](cGIF& g) { g.LoadFromStream(bytes); }, false},
        {"a frame removed before it", [](cGIF& g) { g.FrameRemove(1); }, false},
        {"the document emptied", [](cGIF& g) { g.Destroy(); }, false},
    };
    for (const Row& r : rows) {
        cGIF gif;
        ASSERT_TRUE(gif.LoadFromStream(bytes));
        const std::unique_ptr<cGIF::DecodeJob> job = gif.PrepareDecode(3);
        ASSERT_NE(job, nullptr);
        RunElsewhere(*job);
        r.between(gif);
        const std::vector<uint8_t> before = gif.FramesCount() >= 3 && gif.FrameDecoded(3)
                                                ? ReadIndices(gif, 3)
                                                : std::vector<uint8_t>{};
        EXPECT_EQ(gif.AdoptDecode(*job), r.adopted) << r.what;
        if (r.adopted) {
            EXPECT_EQ(ReadIndices(gif, 3), plan.frames[2].indices) << r.what;
        }
        if (!before.empty()) {
            EXPECT_EQ(ReadIndices(gif, 3), before) << r.what;
        }
        EXPECT_FALSE(gif.AdoptDecode(*job)) << r.what << ": a job is handed in once";
    }
    // A job stopped before its end hands nothing in.
    cGIF gif;
    ASSERT_TRUE(gif.LoadFromStream(bytes));
    const std::unique_ptr<cGIF::DecodeJob> job = gif.PrepareDecode(2);
    const std::atomic<bool> stopped{true};
    job->Run(stopped);
    EXPECT_FALSE(gif.AdoptDecode(*job));
    EXPECT_FALSE(gif.FrameDecoded(2));
}

TEST(GifDecodeAhead, CancelledJobsNeverComeBackAndTheEndIsClean) {
    // Frame 2 is 4000 x 3000 of noise (tens of milliseconds to decode),
    // frame 3 small.
    GifPlan plan;
    plan.width = 4000, plan.height = 3000;
    plan.global = oracle::GreyRamp(256);
    std::mt19937 rng(9);
    for (const auto& [w, h] : {std::pair(8, 8), std::pair(4000, 3000), std::pair(8, 8)})
        plan.frames.push_back(NoiseFrame(w, h, 256, rng));
    cGIF gif;
    ASSERT_TRUE(gif.LoadFromStream(oracle::Encode(plan)));
    std::mutex mutex;
    std::condition_variable finished;
    std::atomic<int> reported = 0;
    {
        GifDecodeAhead ahead([&] {
            const std::lock_guard lock(mutex);
            ++reported;
            finished.notify_all();
        });
        // The big frame, awaited, given up as soon as it starts; the small
        // one asked for next.
        ahead.Start(gif.PrepareDecode(2));
        EXPECT_TRUE(ahead.Await(2));
        ahead.Cancel();
        EXPECT_FALSE(ahead.Working(2));
        ahead.Start(gif.PrepareDecode(3));
        // Reported when awaited while it is still to do; otherwise done already.
        if (ahead.Await(3)) {
            std::unique_lock lock(mutex);
            finished.wait(lock, [&] { return reported > 0; });
        }
        EXPECT_LE(reported, 1) << "the big frame's end is never reported";
        EXPECT_EQ(ahead.Take(2), nullptr);
        EXPECT_TRUE(ahead.Asked(3));
        EXPECT_FALSE(ahead.Working(3));
        std::unique_ptr<cGIF::DecodeJob> small = ahead.Take(3);
        ASSERT_NE(small, nullptr);
        EXPECT_EQ(ahead.Take(3), nullptr) << "taken once";
        EXPECT_FALSE(ahead.Asked(3));
        EXPECT_TRUE(gif.AdoptDecode(*small));
        EXPECT_EQ(ReadIndices(gif, 3), plan.frames[2].indices);
        // The big frame again; the worker ends with this scope while it decodes.
        ahead.Start(gif.PrepareDecode(2));
    }
    EXPECT_FALSE(gif.FrameDecoded(2));
}
