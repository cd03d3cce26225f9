// Still pictures decoded in the confined helper process (vantrel-decoder,
// beside the executable): the program opens the file, hands the helper its
// descriptor and maps the pixels the helper sends back, so that a damaged
// file that crashes or hangs a decoder ends only the helper. One helper is
// kept and reused; one that dies, is killed or runs past the time limit is
// replaced at the next picture, and that picture is a failed load. Without
// a helper binary pictures are decoded in this process, with one warning.
// POSIX; used by the main window (without waiting) and by the probe.
#pragma once

#include "imaging/PictureBox.h"

#include <cstdint>
#include <string>
#include <sys/types.h>

class StillDecoder {
  public:
    static constexpr int kTimeLimitMs = 10000;

    // The one decoder of the process.
    static StillDecoder& Shared();
    // The helper program to start; by default vantrel-decoder beside the executable.
    void SetHelperPath(const std::string& path);
    bool HelperAvailable();
    // The running helper's process, or -1.
    pid_t HelperPid() const { return helper_; }

    // Starts decoding `path`; false when the file cannot be opened as a
    // regular file (a failed load at once). With a helper the answer comes
    // later on `Fd()`; without one it is decoded now and `Ready()` is true.
    bool Begin(const std::string& path, uint32_t background);
    bool Pending() const { return pending_; }
    bool Ready() const { return ready_; }
    // Readable when the helper's answer is there (-1 without a helper).
    int Fd() const { return socket_; }
    // Takes the answer: true with the picture in `PicLoad`, false (and
    // `PicLoad` untouched) when it did not decode or the helper died.
    bool Finish(PictureBox& PicLoad);
    // Gives up the pending picture: the helper is stopped and replaced.
    void Abandon();

    // Begin, wait at most `timeoutMs`, Finish.
    bool Decode(const std::string& path, PictureBox& PicLoad, int timeoutMs = kTimeLimitMs);

    // Asks the helper to open `path` by itself; the errno it met (0 when it
    // could), or -1 without a helper. For tests of the confinement.
    int HelperOpenError(const std::string& path);

    StillDecoder(const StillDecoder&) = delete;
    StillDecoder& operator=(const StillDecoder&) = delete;
    ~StillDecoder();

  private:
    StillDecoder() = default;
    bool EnsureHelper();
    void StopHelper();

    std::string helperPath_;
    bool warned_ = false;
    pid_t helper_ = -1;
    int socket_ = -1;
    uint32_t nextId_ = 1;
    uint32_t pendingId_ = 0;
    bool pending_ = false;
    bool ready_ = false;
    bool readyLoaded_ = false;
    PictureBox inProcess_; // the picture decoded here when there is no helper
};
