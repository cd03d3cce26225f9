#include "imaging/LocalDecode.h"

#include "imaging/FileBytes.h"
#include "imaging/HelperProcess.h"
#include "imaging/PictureBox.h"

#include <atomic>
#include <mutex>
#include <sys/eventfd.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::atomic<int> running{0};

// The readers' one call on this road.
DecodeResult DecodeBytes(const std::vector<uint8_t>& bytes, const std::string& path,
                         MFreeImage_2::Box box, uint32_t background) {
    DecodeResult result;
    result.inProcess = true;
    result.status = DecodeResult::Status::NotDecoded;
    PictureBox picture;
    picture.SetBackColor(background);
    const MFreeImage_2::Fitted fitted = MFreeImage_2::LoadImageFitted(bytes, path, box, picture);
    if (!fitted.loaded) return result;
    result.status = DecodeResult::Status::Decoded;
    result.picture = picture.Image();
    result.fullWidth = fitted.fullWidth;
    result.fullHeight = fitted.fullHeight;
    result.embeddedPreview = fitted.embeddedPreview;
    return result;
}

} // namespace

// What the thread and the one who asked share: the thread holds it too, so
// that a decode given up leaves it to the thread, and the eventfd closes with
// the last holder.
struct LocalDecode::Shared {
    std::mutex lock;
    std::optional<DecodeResult> result;
    int wake = -1;

    ~Shared() {
        if (wake >= 0) ::close(wake);
    }
};

std::shared_ptr<LocalDecode> LocalDecode::Start(int file, const std::string& path,
                                                MFreeImage_2::Box box, uint32_t background,
                                                DecodeResult& failed) {
    failed = DecodeResult();
    failed.inProcess = true;
    auto shared = std::make_shared<Shared>();
    shared->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (shared->wake < 0 || running.fetch_add(1) >= kMaxRunning) {
        if (shared->wake >= 0) running.fetch_sub(1);
        ::close(file);
        failed.reason = shared->wake < 0 ? HelperProcess::kNotStarted : HelperProcess::kStillBusy;
        return nullptr;
    }
    try {
        std::thread([shared, file, path, box, background] {
            std::vector<uint8_t> bytes;
            DecodeResult result;
            if (ReadFdBytes(file, bytes)) {
                result = DecodeBytes(bytes, path, box, background);
            } else {
                result.inProcess = true;
                result.status = DecodeResult::Status::NotDecoded;
            }
            ::close(file);
            bytes = {};
            {
                const std::lock_guard<std::mutex> hold(shared->lock);
                shared->result = std::move(result);
            }
            const uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = ::write(shared->wake, &one, sizeof one);
            running.fetch_sub(1);
        }).detach();
    } catch (const std::system_error&) { // no thread to be had
        running.fetch_sub(1);
        ::close(file);
        failed.reason = HelperProcess::kNotStarted;
        return nullptr;
    }
    auto decode = std::shared_ptr<LocalDecode>(new LocalDecode());
    decode->wake_ = shared->wake;
    decode->shared_ = std::move(shared);
    return decode;
}

LocalDecode::~LocalDecode() = default;

std::optional<DecodeResult> LocalDecode::Take() {
    const std::lock_guard<std::mutex> hold(shared_->lock);
    std::optional<DecodeResult> result = std::move(shared_->result);
    shared_->result.reset();
    return result;
}
