#include "imaging/ThumbnailMaker.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>

namespace {

// How often a decode in progress asks whether it is still wanted.
constexpr int kCancelCheckMs = 20;

// The helper's opaque 32-bit pixels (0x00RRGGBB) as a Qt image.
QImage ToImage(const PictureBox& picture) {
    const cDIB& surface = picture.Surface();
    if (!surface.lpBits() || surface.bpp() != 32 || surface.Width() <= 0 || surface.Height() <= 0)
        return {};
    QImage image(surface.Width(), surface.Height(), QImage::Format_RGB32);
    if (image.isNull()) return {};
    constexpr uint32_t kOpaque = 0xFF000000;
    for (int32_t y = 0; y < surface.Height(); ++y) {
        const auto* in = reinterpret_cast<const uint32_t*>(
            surface.lpBits() + std::size_t(y) * std::size_t(surface.BytesPerScanline()));
        auto* out = reinterpret_cast<uint32_t*>(image.scanLine(y));
        for (int32_t x = 0; x < surface.Width(); ++x)
            out[x] = in[x] | kOpaque;
    }
    return image;
}

} // namespace

ThumbnailMaker::ThumbnailMaker(ThumbnailCache cache) : cache_(std::move(cache)) {}

bool ThumbnailMaker::Decode(const std::string& path, int side,
                            const std::function<bool()>& cancelled, QImage& image,
                            bool& fileAtFault) {
    // A file that cannot be opened, or no decoder to be had, is nobody's
    // verdict on the picture; once the helper has the file, a failure is.
    fileAtFault = false;
    if (!decoder_.Begin(path, kBackground, {side, side})) return false;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline =
        start + std::chrono::milliseconds(StillDecoder::kTimeLimitMs);
    for (;;) {
        pollfd p{decoder_.Fd(), POLLIN, 0};
        const int r = ::poll(&p, 1, kCancelCheckMs);
        if (r > 0) break;
        if (r < 0 && errno != EINTR) {
            decoder_.Abandon();
            return false;
        }
        const Clock::time_point now = Clock::now();
        if (now >= deadline) { // a file that keeps a decoder busy this long is at fault
            decoder_.Expire();
            fileAtFault = true;
            return false;
        }
        if (cancelled && now - start >= std::chrono::milliseconds(kFinishCancelledMs) &&
            cancelled()) {
            decoder_.Abandon();
            return false;
        }
    }
    PictureBox picture;
    picture.SetBackColor(kBackground);
    fileAtFault = true;
    if (!decoder_.Finish(picture)) return false;
    image = ToImage(picture);
    return !image.isNull();
}

ThumbnailResult ThumbnailMaker::Make(const std::string& path, ThumbnailSize size,
                                     const std::function<bool()>& cancelled) {
    // Described before decoding: a file changed meanwhile gets a thumbnail
    // with its older time, which is made again next time.
    ThumbnailSource source;
    if (!ThumbnailCache::Describe(path, source)) return {};
    return Make(source, size, cancelled);
}

ThumbnailResult ThumbnailMaker::Make(const ThumbnailSource& source, ThumbnailSize size,
                                     const std::function<bool()>& cancelled, bool wantImage,
                                     bool store) {
    if (std::optional<ThumbnailResult> known = Look(source, size, wantImage)) return *known;
    ThumbnailResult result;
    bool fileAtFault = false;
    if (!Decode(source.path, ThumbnailCache::Side(size), cancelled, result.image, fileAtFault)) {
        result.image = QImage();
        if (fileAtFault && cache_.StoreFailure(source)) {
            result.outcome = ThumbnailOutcome::Failed;
            result.file = cache_.FailPath(source.uri);
        } else if (fileAtFault) {
            result.outcome = ThumbnailOutcome::Failed; // and the cache cannot be written
        }
        return result;
    }
    result.outcome = ThumbnailOutcome::Made;
    result.fullWidth = decoder_.FullWidth();
    result.fullHeight = decoder_.FullHeight();
    if (store) result.file = Keep(source, size, result);
    return result;
}

std::optional<ThumbnailResult> ThumbnailMaker::Look(const ThumbnailSource& source,
                                                    ThumbnailSize size, bool wantImage) const {
    ThumbnailResult result;
    if (cache_.Inside(source.path)) return result;
    if (cache_.Find(source, size, wantImage ? &result.image : nullptr)) {
        result.outcome = ThumbnailOutcome::Found;
        result.file = cache_.ThumbnailPath(source.uri, size);
        return result;
    }
    if (cache_.FailedBefore(source)) {
        result.outcome = ThumbnailOutcome::Failed;
        result.file = cache_.FailPath(source.uri);
        return result;
    }
    return std::nullopt;
}

std::string ThumbnailMaker::Keep(const ThumbnailSource& source, ThumbnailSize size,
                                 const ThumbnailResult& made) const {
    std::string file = cache_.Store(source, size, made.image, made.fullWidth, made.fullHeight);
    if (!file.empty()) cache_.ForgetFailure(source);
    return file;
}
