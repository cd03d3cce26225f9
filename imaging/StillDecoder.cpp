#include "imaging/StillDecoder.h"

#include "imaging/DecoderProtocol.h"
#include "imaging/LocalDecode.h"
#include "platform/Files.h"
#include "platform/Product.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

DecodeResult Ended(DecodeResult::Status status, const char* reason = "") {
    DecodeResult result;
    result.status = status;
    result.reason = reason;
    return result;
}

} // namespace

StillDecoder::StillDecoder() = default;

StillDecoder::~StillDecoder() {
    StopHelper();
}

void StillDecoder::SetHelperPath(const std::string& path) {
    Abandon();
    StopHelper();
    helperPath_ = path;
    warned_ = warnedConfinement_ = false;
    missingConfinement_ = 0;
}

bool StillDecoder::HelperAvailable() {
    if (helperPath_.empty()) helperPath_ = HelperProcess::DefaultPath();
    return HelperProcess::Available(helperPath_);
}

bool StillDecoder::DecodesInProcess() {
    return !HelperAvailable();
}

pid_t StillDecoder::HelperPid() const {
    return helper_ ? helper_->Pid() : -1;
}

StillDecoder::Start StillDecoder::EnsureHelper() {
    // One that ended since its last answer (killed, or out of CPU time) is replaced.
    if (helper_ && !helper_->Reap(false)) return Start::Running;
    StopHelper();
    if (!HelperAvailable()) {
        if (!warned_)
            std::fprintf(stderr,
                         "%s: the decoder helper %s is missing; pictures are decoded "
                         "in the program itself\n",
                         Product::kCommand,
                         helperPath_.empty() ? DecoderProtocol::kHelperName : helperPath_.c_str());
        warned_ = true;
        return Start::Missing;
    }
    helper_ = HelperProcess::Start(helperPath_);
    return helper_ ? Start::Running : Start::Failed;
}

void StillDecoder::StopHelper() {
    helper_.reset(); // killed and reaped
    pending_ = false;
}

int StillDecoder::Fd() const {
    if (!pending_) return -1;
    return local_ ? local_->Fd() : helper_ ? helper_->Socket() : -1;
}

void StillDecoder::Done(DecodeResult result) {
    result.stamp = stamp_;
    result_ = std::move(result);
    pending_ = false;
}

bool StillDecoder::Begin(const std::string& path, uint32_t background, MFreeImage_2::Box box) {
    if (pending_) Abandon();
    local_.reset();
    box_ = box;
    stamp_ = {};
    const int file = Files::OpenRegularFile(path);
    struct stat st {};
    if (file < 0 || ::fstat(file, &st) != 0) {
        const int error = errno;
        if (file >= 0) ::close(file);
        DecodeResult unreadable = Ended(DecodeResult::Status::Unreadable, std::strerror(error));
        unreadable.error = error;
        Done(std::move(unreadable));
        return false;
    }
    stamp_.size = uint64_t(st.st_size);
    stamp_.changedNs = int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    Start start = EnsureHelper();
    if (start == Start::Missing) {
        DecodeResult failed;
        local_ = LocalDecode::Start(file, path, box, background, failed);
        if (!local_) {
            Done(std::move(failed));
            return false;
        }
        pending_ = true;
        return true;
    }
    pendingId_ = nextId_++;
    bool sent =
        start == Start::Running && helper_->SendDecode(pendingId_, file, path, box, background);
    if (start == Start::Running && !sent) { // the helper is gone: a new one gets this picture
        StopHelper();
        start = EnsureHelper();
        sent =
            start == Start::Running && helper_->SendDecode(pendingId_, file, path, box, background);
    }
    ::close(file);
    if (!sent) {
        StopHelper();
        Done(Ended(DecodeResult::Status::Failed, kNotStarted));
        return false;
    }
    pending_ = true;
    return true;
}

DecodeResult StillDecoder::Finish() {
    if (pending_ && local_) {
        // Asked before the answer is there: given up.
        std::optional<DecodeResult> done = local_->Take();
        Done(done ? std::move(*done) : Ended(DecodeResult::Status::TimedOut, kTooLong));
    } else if (pending_ && helper_) {
        HelperProcess::Answer answer = helper_->Receive(pendingId_, box_);
        if (!answer.keep) StopHelper();
        if (answer.result.status == DecodeResult::Status::Cancelled) // never asked for
            answer.result = Ended(DecodeResult::Status::Failed, kBrokenAnswer);
        if (answer.result.status != DecodeResult::Status::Failed)
            TakeConfinement(answer.result.missingConfinement);
        Done(std::move(answer.result));
    }
    // The worker stays (and its eventfd open) until the next Begin, as the
    // helper's socket does, so that whoever watches Fd() can stop first.
    pending_ = false;
    return std::exchange(result_, Ended(DecodeResult::Status::Failed, kNotStarted));
}

void StillDecoder::Abandon() {
    // A helper busy with a picture nobody wants is stopped at once; a
    // worker thread runs on by itself and its picture is dropped.
    const bool pending = pending_;
    if (pending && !local_) StopHelper();
    local_.reset();
    if (pending) Done(Ended(DecodeResult::Status::Cancelled));
}

void StillDecoder::Expire() {
    if (!pending_) return;
    Abandon();
    Done(Ended(DecodeResult::Status::TimedOut, kTooLong));
}

DecodeResult StillDecoder::Decode(const std::string& path, MFreeImage_2::Box box,
                                  uint32_t background, int timeoutMs) {
    if (!Begin(path, background, box)) return Finish();
    pollfd p{Fd(), POLLIN, 0};
    int r;
    do
        r = ::poll(&p, 1, timeoutMs);
    while (r < 0 && errno == EINTR);
    if (r <= 0) Expire(); // past the time limit
    return Finish();
}

void StillDecoder::TakeConfinement(uint32_t missing) {
    missingConfinement_ = missing;
    if (missingConfinement_ == 0 || warnedConfinement_) return;
    warnedConfinement_ = true;
    std::fprintf(stderr, "%s: %s\n", Product::kCommand,
                 HelperProcess::ConfinementNotice(missingConfinement_).c_str());
}
