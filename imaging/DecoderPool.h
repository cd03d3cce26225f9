// The program's confined decoder helpers, kept for as long as the program
// runs and driven from a thread of the pool's own, so that the thread that
// asks (the window's) never opens a file, starts, kills or waits for a
// process. Each lane has one helper: a request waits for its lane's helper,
// and a cancelled one is dropped by message (the helper answers the cancel
// between the steps of a decode). A helper that does not answer a cancel
// within `Limits::cancelMs`, or runs past `Limits::timeLimitMs`, is killed
// and replaced; one that dies is noticed at once (its socket's end and its
// pidfd) and reaped on the pool's thread. Without the helper program the
// pictures are decoded on threads of this process under the same limits.
// Answers come back through `TakeResults` once `NotifyFd` is readable.
// Standard library and POSIX only.
#pragma once

#include "imaging/DecodeResult.h"
#include "imaging/MFreeImage_2.h"

#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

class DecoderPool {
  public:
    // The preview's own picture, and the pictures read ahead of the user.
    enum class Lane { Preview, ReadAhead };
    static constexpr int kLanes = 2;

    struct Limits {
        int timeLimitMs = 10000; // a decode's time
        int cancelMs = 1000;     // for a busy helper to answer a cancel
    };
    struct Request {
        std::string path;
        MFreeImage_2::Box box;   // 0 x 0: the whole picture
        uint32_t background = 0; // laid under transparent pixels (0x00RRGGBB)
        // The file's first bytes are read first; a GIF comes back as
        // Status::Gif without being decoded.
        bool sniffGif = false;
    };
    using Ticket = uint64_t; // never 0

    // `helperPath` empty: vantrel-decoder beside the executable.
    // (Two constructors: GCC takes no `Limits = {}` default inside the class
    // that declares Limits.)
    explicit DecoderPool(std::string helperPath = {});
    DecoderPool(std::string helperPath, Limits limits);
    ~DecoderPool(); // every helper killed and reaped before it returns

    // Queues `request` on `lane`, behind what that lane runs now.
    Ticket Submit(Lane lane, Request request);
    // Gives the request up: no answer for it comes after this call.
    void Cancel(Ticket ticket);
    // Readable (an eventfd) while answers wait to be taken.
    int NotifyFd() const;
    // The answers that came since the last call, in the order they came.
    std::vector<std::pair<Ticket, DecodeResult>> TakeResults();
    // Nothing queued, nothing decoding, no answer waiting.
    bool Idle() const;

    // The helper program is missing: pictures are decoded in this process.
    // Known from the pool's start; costs nothing to ask.
    bool DecodesInProcess() const;
    // How many helpers were started since the pool began (benchmarks, tests).
    uint64_t HelperStarts() const;
    // The processes of the helpers running now.
    std::vector<pid_t> HelperPids() const;

    DecoderPool(const DecoderPool&) = delete;
    DecoderPool& operator=(const DecoderPool&) = delete;

  private:
    struct State;
    std::unique_ptr<State> state_;
};
