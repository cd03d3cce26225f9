// One confined decoder helper as the program sees it: a process started
// holding no descriptor but its socket (and the standard streams, leading
// nowhere), the requests sent to it and the answers taken from it. An answer
// is the file's word, not ours: it is checked (its size within the box asked
// for and a surface's limits, its memory file sealed and of that size) before
// the picture is mapped, and a broken one means the helper is not used again.
// Used by StillDecoder (one helper, driven by its caller) and DecoderPool
// (helpers driven by the pool's thread). POSIX only.
#pragma once

#include "imaging/DecodeResult.h"
#include "imaging/MFreeImage_2.h"

#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>

class HelperProcess {
  public:
    // The reasons a failed decode gives when it was not the file's fault.
    static constexpr const char* kNotStarted = "The decoder helper could not be started";
    static constexpr const char* kStopped = "The decoder helper stopped";
    static constexpr const char* kBrokenAnswer = "The decoder helper sent a broken answer";
    static constexpr const char* kTooLong = "Decoding took too long";
    static constexpr const char* kStillBusy = "Earlier pictures are still decoding";

    // vantrel-decoder beside the executable (empty when that cannot be told).
    static std::string DefaultPath();
    // Whether `program` is there to be run.
    static bool Available(const std::string& program);

    // The layers of confinement `missing` (DecoderProtocol's kConfined bits)
    // as a sentence for the status panel; empty when nothing is missing.
    static std::string ConfinementNotice(uint32_t missing);

    // Starts `program`; nullptr when no process or socket can be had or the
    // program cannot be run.
    static std::unique_ptr<HelperProcess> Start(const std::string& program);
    // Kills the helper if it still runs and waits for its end.
    ~HelperProcess();

    pid_t Pid() const { return pid_; }
    // Readable when an answer came or the helper ended.
    int Socket() const { return socket_; }
    // Readable once the process ended (-1 where the kernel has no pidfd).
    int PidFd() const { return pidfd_; }

    // Asks for the file open on `file` (which stays the caller's) to be decoded.
    bool SendDecode(uint32_t id, int file, const std::string& path, MFreeImage_2::Box box,
                    uint32_t background);
    // Asks the helper to give up the decode `id`.
    bool SendCancel(uint32_t id);

    // The answer to request `id`, once `Socket()` is readable, as a result:
    // Decoded, NotDecoded or Cancelled as the helper said, or Failed when the
    // helper stopped or sent what is not an answer. `keep` is false when the
    // helper must not be asked again (it ended, broke, or retires).
    struct Answer {
        DecodeResult result;
        bool keep = false;
    };
    Answer Receive(uint32_t id, MFreeImage_2::Box box);

    // Ends the process without waiting for it; Reap then takes its status.
    void Kill();
    // Waits for the killed or ended process; true once it is reaped.
    bool Reap(bool wait);

    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

  private:
    HelperProcess(pid_t pid, int socket, int pidfd) : pid_(pid), socket_(socket), pidfd_(pidfd) {}

    pid_t pid_;
    int socket_;
    int pidfd_;
    bool reaped_ = false;
};
