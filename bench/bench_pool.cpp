// Holding Down through a folder of photos, at the decoder's level: 40 photos
// of 24 MP (6000 x 4000 JPEG), a key every 33 ms (key repeat at 30 a second),
// each new choice asked of the preview and the one before it given up, then
// the wait for the last one's picture. The pool cancels by message and keeps
// its helper; beside it the road of one StillDecoder whose Abandon kills the
// busy helper, so that the next key starts another. Counters: the helpers
// started in one run through the folder, and the time from the last key to
// its picture.
#include "bench/BenchSupport.h"
#include "bench/GrainyPhoto.h"
#include "imaging/DecoderPool.h"
#include "imaging/StillDecoder.h"

#include <FreeImage.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <poll.h>
#include <string>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWidth = 6000, kHeight = 4000;
constexpr int kPhotos = 40;
constexpr auto kKeyRepeat = std::chrono::milliseconds(33);
constexpr MFreeImage_2::Box kPane{800, 600};

// One photo with a photo's grain over smooth shapes, copied under 40 names.
const std::vector<std::string>& Photos() {
    static const std::vector<std::string> photos = [] {
        const std::string dir = ScratchFolder();
        FIBITMAP* b = GrainyPhoto(kWidth, kHeight, 7);
        const std::string first = dir + "/photo00.jpg";
        FreeImage_Save(FIF_JPEG, b, first.c_str(), JPEG_QUALITYGOOD);
        FreeImage_Unload(b);
        std::vector<std::string> names{first};
        for (int i = 1; i < kPhotos; ++i) {
            names.push_back(dir + "/photo" + std::to_string(100 + i).substr(1) + ".jpg");
            std::filesystem::copy_file(first, names.back());
        }
        return names;
    }();
    return photos;
}

// Until `deadline`, hands `readable` every moment the descriptor `fd()`
// (none when negative) can be read.
void WaitUntil(Clock::time_point deadline, const std::function<int()>& fd,
               const std::function<void()>& readable) {
    for (Clock::time_point now; (now = Clock::now()) < deadline;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        pollfd p{fd(), POLLIN, 0};
        if (::poll(&p, 1, int(left)) > 0) readable();
    }
}

void Report(benchmark::State& state, uint64_t starts, double lastKeyMs) {
    state.counters["helper_starts"] =
        benchmark::Counter(double(starts), benchmark::Counter::kAvgIterations);
    state.counters["last_key_to_picture_ms"] =
        benchmark::Counter(lastKeyMs, benchmark::Counter::kAvgIterations);
}

double MsSince(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

void HoldDownPool(benchmark::State& state) {
    const std::vector<std::string>& photos = Photos();
    uint64_t starts = 0;
    double lastKeyMs = 0;
    for (auto _ : state) {
        DecoderPool pool; // the program's, from its start
        if (pool.DecodesInProcess()) return state.SkipWithError("no vantrel-decoder beside it");
        DecoderPool::Ticket last = 0;
        Clock::time_point key = Clock::now();
        for (const std::string& photo : photos) {
            WaitUntil(
                key, [&pool] { return pool.NotifyFd(); }, [&pool] { pool.TakeResults(); });
            key = Clock::now();
            if (last) pool.Cancel(last);
            DecoderPool::Request request;
            request.path = photo;
            request.box = kPane;
            last = pool.Submit(DecoderPool::Lane::Preview, request);
            key += kKeyRepeat;
        }
        const Clock::time_point lastKey = key - kKeyRepeat;
        for (bool shown = false; !shown;) {
            pollfd p{pool.NotifyFd(), POLLIN, 0};
            ::poll(&p, 1, -1);
            for (const auto& [ticket, result] : pool.TakeResults())
                if (ticket == last) {
                    shown = true;
                    if (!result.Decoded()) state.SkipWithError("the last photo did not decode");
                }
        }
        lastKeyMs += MsSince(lastKey);
        starts += pool.HelperStarts();
    }
    Report(state, starts, lastKeyMs);
}

void HoldDownKillPerKey(benchmark::State& state) {
    const std::vector<std::string>& photos = Photos();
    uint64_t starts = 0;
    double lastKeyMs = 0;
    for (auto _ : state) {
        StillDecoder decoder;
        if (decoder.DecodesInProcess()) return state.SkipWithError("no vantrel-decoder beside it");
        Clock::time_point key = Clock::now();
        for (const std::string& photo : photos) {
            WaitUntil(
                key, [&decoder] { return decoder.Fd(); }, [&decoder] { decoder.Finish(); });
            key = Clock::now();
            if (decoder.Pending()) decoder.Abandon(); // the busy helper killed
            const pid_t before = decoder.HelperPid();
            decoder.Begin(photo, PictureBox::kDefaultBackColor, kPane);
            if (decoder.HelperPid() != before) ++starts;
            key += kKeyRepeat;
        }
        const Clock::time_point lastKey = key - kKeyRepeat;
        pollfd p{decoder.Fd(), POLLIN, 0};
        ::poll(&p, 1, -1);
        if (!decoder.Finish().Decoded()) state.SkipWithError("the last photo did not decode");
        lastKeyMs += MsSince(lastKey);
    }
    Report(state, starts, lastKeyMs);
}

int Register() {
    constexpr int kRuns = 3;
    using Run = void (*)(benchmark::State&);
    const std::pair<const char*, Run> runs[] = {
        {"HoldDown/jpeg6000x4000_x40/vantrel", HoldDownPool},
        {"HoldDown/jpeg6000x4000_x40/kill_per_key", HoldDownKillPerKey},
    };
    for (const auto& [name, run] : runs)
        benchmark::RegisterBenchmark(name, run)
            ->Iterations(kRuns)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    return 0;
}

const int registered = Register();

} // namespace
