// Still pictures decoded in one confined helper process (vantrel-decoder,
// beside the executable), driven by its caller: the program opens the file,
// hands the helper its descriptor and maps the pixels the helper sends back,
// so that a damaged file that crashes or hangs a decoder ends only the
// helper. One helper is kept and reused; one that dies, is killed or runs
// past the time limit is replaced at the next picture, and that picture is a
// failed decode, as is one for which no helper can be started. Only when the
// helper program is missing from the install are pictures decoded in this
// process, on a worker thread under the same time limit. Every road ends in
// a DecodeResult. Used where a caller may wait (the probe, the thumbnails'
// worker, benchmarks and tests); the window's road is DecoderPool. Each
// instance keeps a helper of its own and is used from one thread at a time.
#pragma once

#include "imaging/DecodeResult.h"
#include "imaging/HelperProcess.h"
#include "imaging/MFreeImage_2.h"
#include "imaging/PictureBox.h"

#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>

class LocalDecode;

class StillDecoder {
  public:
    static constexpr int kTimeLimitMs = 10000;
    // The reasons a failed decode gives.
    static constexpr const char* kNotStarted = HelperProcess::kNotStarted;
    static constexpr const char* kStopped = HelperProcess::kStopped;
    static constexpr const char* kBrokenAnswer = HelperProcess::kBrokenAnswer;
    static constexpr const char* kTooLong = HelperProcess::kTooLong;
    static constexpr const char* kStillBusy = HelperProcess::kStillBusy;

    // A decoder with a helper of its own.
    StillDecoder();
    // The helper program to start; by default vantrel-decoder beside the executable.
    void SetHelperPath(const std::string& path);
    bool HelperAvailable();
    // True when the helper program is missing (or not executable), so that
    // pictures are decoded in this process.
    bool DecodesInProcess();
    // The running helper's process, or -1.
    pid_t HelperPid() const;

    // Begin, wait at most `timeoutMs`, Finish (or Expire).
    DecodeResult Decode(const std::string& path, MFreeImage_2::Box box = {},
                        uint32_t background = PictureBox::kDefaultBackColor,
                        int timeoutMs = kTimeLimitMs);

    // Starts decoding `path`; false when the answer is known at once (the
    // file cannot be opened as a regular file, no decoder can be started),
    // which `Finish` then gives. Otherwise the answer comes later: `Fd()`
    // becomes readable, then `Finish`. With a box, only the picture fitted
    // into it comes back (decoded at a reduced scale where the format
    // allows); an answer larger than the box (or, for the whole picture,
    // than a surface may be) is a broken answer.
    bool Begin(const std::string& path, uint32_t background, MFreeImage_2::Box box = {});
    bool Pending() const { return pending_; }
    // Readable when the answer is there (-1 when nothing is pending).
    int Fd() const;
    // The answer, once `Fd()` is readable (or after a Begin that said false,
    // Abandon or Expire).
    DecodeResult Finish();
    // Gives up the pending picture: the helper is stopped and replaced.
    void Abandon();
    // Gives up the pending picture because it ran past the time limit: as
    // Abandon, and Finish says TimedOut.
    void Expire();

    StillDecoder(const StillDecoder&) = delete;
    StillDecoder& operator=(const StillDecoder&) = delete;
    ~StillDecoder();

  private:
    enum class Start { Running, Missing, Failed };

    Start EnsureHelper();
    // Keeps what an answer said of the helper's confinement; says once on stderr what is missing.
    void TakeConfinement(uint32_t missing);
    void StopHelper();
    void Done(DecodeResult result);

    std::string helperPath_;
    bool warned_ = false;
    bool warnedConfinement_ = false;
    uint32_t missingConfinement_ = 0;
    MFreeImage_2::Box box_; // of the pending picture
    FileStamp stamp_;       // of the pending picture
    std::unique_ptr<HelperProcess> helper_;
    uint32_t nextId_ = 1;
    uint32_t pendingId_ = 0;
    bool pending_ = false;
    DecodeResult result_;                // the answer known before Finish
    std::shared_ptr<LocalDecode> local_; // without a helper program
};
