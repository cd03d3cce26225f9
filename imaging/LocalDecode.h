// A still picture decoded on a thread of this process, the road taken only
// when the helper program is missing from the install. A decode cannot be
// stopped once it runs: one given up (past the time limit, or no longer
// wanted) runs on by itself and its picture is dropped when it ends. Few run
// at once, counting those given up, so that damaged files cannot pile up
// threads. Used by StillDecoder and DecoderPool. POSIX and the standard library.
#pragma once

#include "imaging/DecodeResult.h"
#include "imaging/MFreeImage_2.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class LocalDecode {
  public:
    // In-process decodes that may run at once, this program's whole.
    static constexpr int kMaxRunning = 3;

    // Starts decoding the file open on `file` (taken over, closed when done)
    // on a thread of its own. When none can start (too many run, no thread
    // to be had), a Failed result comes back at once instead.
    static std::shared_ptr<LocalDecode> Start(int file, const std::string& path,
                                              MFreeImage_2::Box box, uint32_t background,
                                              DecodeResult& failed);

    // Readable (an eventfd) once the decode ended.
    int Fd() const { return wake_; }
    // The result once the decode ended, and nothing before.
    std::optional<DecodeResult> Take();

    ~LocalDecode();
    LocalDecode(const LocalDecode&) = delete;
    LocalDecode& operator=(const LocalDecode&) = delete;

  private:
    LocalDecode() = default;
    struct Shared;
    std::shared_ptr<Shared> shared_;
    int wake_ = -1;
};
