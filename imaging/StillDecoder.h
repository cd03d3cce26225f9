// Still pictures decoded in the confined helper process (vantrel-decoder,
// beside the executable): the program opens the file, hands the helper its
// descriptor and maps the pixels the helper sends back, so that a damaged
// file that crashes or hangs a decoder ends only the helper. One helper is
// kept and reused; one that dies, is killed or runs past the time limit is
// replaced at the next picture, and that picture is a failed load, as is
// one for which no helper can be started (no process or descriptor left).
// Only when the helper program is missing from the install are pictures
// decoded in this process, on a worker thread under the same time limit
// (`DecodesInProcess`, which the window shows). POSIX; used by the main
// window (without waiting) and by the probe. Each instance keeps a helper
// of its own and is used from one thread at a time: the preview's is
// `Shared()`, the thumbnails' another, so neither waits for the other.
#pragma once

#include "imaging/MFreeImage_2.h"
#include "imaging/PictureBox.h"

#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>

class StillDecoder {
  public:
    static constexpr int kTimeLimitMs = 10000;
    // The reasons `FailureText` gives.
    static constexpr const char* kNotStarted = "The decoder helper could not be started";
    static constexpr const char* kStopped = "The decoder helper stopped";
    static constexpr const char* kBrokenAnswer = "The decoder helper sent a broken answer";
    static constexpr const char* kTooLong = "Decoding took too long";
    static constexpr const char* kStillBusy = "Earlier pictures are still decoding";

    // The preview's decoder.
    static StillDecoder& Shared();
    // A decoder with a helper of its own.
    StillDecoder() = default;
    // The helper program to start; by default vantrel-decoder beside the executable.
    void SetHelperPath(const std::string& path);
    bool HelperAvailable();
    // True when the helper program is missing (or not executable), so that
    // pictures are decoded in this process.
    bool DecodesInProcess();
    // The running helper's process, or -1.
    pid_t HelperPid() const { return helper_; }

    // Starts decoding `path`; false when the file cannot be opened as a
    // regular file or no decoder can be started (a failed load at once).
    // The answer comes later: `Fd()` becomes readable, then `Finish`.
    // With a box, only the picture fitted into it comes back (decoded at a
    // reduced scale where the format allows); `FullWidth` and `FullHeight`
    // then give the original's size. An answer larger than the box (or,
    // for the whole picture, than a surface may be) is a broken answer.
    bool Begin(const std::string& path, uint32_t background, MFreeImage_2::Box box = {});
    bool Pending() const { return pending_; }
    // Kept for callers that handle an answer that is there at once; Begin
    // never leaves one now.
    bool Ready() const { return false; }
    // Readable when the answer is there (-1 when nothing is pending).
    int Fd() const;
    // Takes the answer once `Fd()` is readable: true with the picture in
    // `PicLoad`, false (and `PicLoad` untouched) when it did not decode or
    // the decoder failed.
    bool Finish(PictureBox& PicLoad);
    // The size of the original of the picture the last Finish gave.
    int FullWidth() const { return fullWidth_; }
    int FullHeight() const { return fullHeight_; }
    // Whether the picture the last Finish gave is a camera's embedded
    // preview rather than its raw data developed (false for other formats).
    bool ShownEmbeddedPreview() const { return shownEmbeddedPreview_; }
    // Gives up the pending picture: the helper is stopped and replaced.
    void Abandon();
    // Gives up the pending picture because it ran past the time limit:
    // as Abandon, and `FailureText` says so.
    void Expire();
    // Why the last load failed when it was not the file's fault ("The
    // decoder helper could not be started", ...); empty after a load that
    // worked or a file that does not decode. Cleared by Begin.
    const std::string& FailureText() const { return failure_; }

    // The layers of confinement (DecoderProtocol's kConfined bits) that the
    // helper which answered last said it runs without; 0 before any answer.
    uint32_t MissingConfinement() const { return missingConfinement_; }
    // The same as a sentence for the status panel; empty when nothing is missing.
    std::string ConfinementNotice() const;

    // Begin, wait at most `timeoutMs`, Finish (or Expire).
    bool Decode(const std::string& path, PictureBox& PicLoad, int timeoutMs = kTimeLimitMs,
                MFreeImage_2::Box box = {});

    // Asks the helper to open `path` by itself; the errno it met (0 when it
    // could), or -1 without a helper. For tests of the confinement.
    int HelperOpenError(const std::string& path);
    // Asks the helper to try `kind` (DecoderProtocol's kTry kinds) against
    // this process; the errno it met (0 when it worked), or -1 when the
    // helper did not answer (it was ended, or there is none).
    int HelperTry(uint32_t kind, const std::string& name = {});

    StillDecoder(const StillDecoder&) = delete;
    StillDecoder& operator=(const StillDecoder&) = delete;
    ~StillDecoder();

    struct Worker; // a decode on a thread of this process

  private:
    enum class Start { Running, Missing, Failed };

    Start EnsureHelper();
    // Keeps what an answer said of the helper's confinement; says once on stderr what is missing.
    void TakeConfinement(uint32_t layers);
    void StopHelper();
    bool BeginInProcess(int file, const std::string& path, uint32_t background,
                        MFreeImage_2::Box box);
    bool FinishInProcess(PictureBox& PicLoad);

    std::string helperPath_;
    bool warned_ = false;
    bool warnedConfinement_ = false;
    uint32_t missingConfinement_ = 0;
    MFreeImage_2::Box box_; // of the pending picture
    pid_t helper_ = -1;
    int socket_ = -1;
    uint32_t nextId_ = 1;
    uint32_t pendingId_ = 0;
    bool pending_ = false;
    std::string failure_;
    int fullWidth_ = 0, fullHeight_ = 0;
    bool shownEmbeddedPreview_ = false;
    std::shared_ptr<Worker> worker_; // without a helper program
};
