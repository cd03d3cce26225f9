#include "imaging/ThumbnailPeek.h"

#include "imaging/PictureBox.h"
#include "imaging/ThumbnailPng.h"
#include "imaging/mFit.h"
#include "imaging/mScaleImage.h"

#include <FreeImage.h>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <optional>
#include <sys/eventfd.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

// The sizes looked at, smallest first: a normal thumbnail (128) is too small
// to stand for a preview.
constexpr ThumbnailSize kSizes[] = {ThumbnailSize::Large, ThumbnailSize::XLarge,
                                    ThumbnailSize::XXLarge};

// Where a thumbnail goes in the box, and what it says of the original.
struct Shape {
    int fullWidth = 0, fullHeight = 0; // the keys', when they are to be believed
    int width = 0, height = 0;         // the picture shown
    bool covers = false;
};

// True when an original of `w` x `h` shrunk to a thumbnail of `tw` x `th`
// could give it, each side rounded (a thin side kept at a pixel): keys of
// another shape are another picture's.
bool SameShape(int tw, int th, int w, int h) {
    const int64_t across = int64_t(th) * w - int64_t(tw) * h;
    return std::llabs(across) <= int64_t(w) + h;
}

// A picture of the thumbnail's shape fitted to the box, enlarged when smaller:
// the fit of an original of that shape larger than the box, by the one rule.
mFit::Placement Enlarged(int tw, int th, MFreeImage_2::Box box) {
    const int64_t times =
        std::max((int64_t(box.width) + tw - 1) / tw, (int64_t(box.height) + th - 1) / th) + 1;
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    if (times * tw > kMax || times * th > kMax)
        return mFit::FitInBox(tw, th, box.width, box.height, 0, false);
    return mFit::FitInBox(int32_t(times * tw), int32_t(times * th), box.width, box.height, 0,
                          false);
}

Shape ShapeOf(const ThumbnailFile& file, ThumbnailSize size, MFreeImage_2::Box box) {
    Shape shape;
    const int tw = file.width, th = file.height;
    if (file.fullWidth > 0 && SameShape(tw, th, file.fullWidth, file.fullHeight)) {
        shape.fullWidth = file.fullWidth;
        shape.fullHeight = file.fullHeight;
    }
    if (box.width <= 0 || box.height <= 0) { // the whole picture: as stored
        shape.width = tw;
        shape.height = th;
        shape.covers = shape.fullWidth > 0 && tw >= shape.fullWidth && th >= shape.fullHeight;
        return shape;
    }
    mFit::Placement fit;
    if (shape.fullWidth > 0) {
        fit = mFit::FitInBox(shape.fullWidth, shape.fullHeight, box.width, box.height, 0, false);
        shape.covers = tw >= fit.width && th >= fit.height;
    } else if (std::max(tw, th) < ThumbnailCache::Side(size)) {
        // Smaller than its size: thumbnailers do not enlarge, so it is placed
        // as the whole picture would be (nothing more is claimed of it).
        fit = mFit::FitInBox(tw, th, box.width, box.height, 0, false);
    } else {
        fit = Enlarged(tw, th, box);
        shape.covers = tw >= fit.width && th >= fit.height; // it reaches the box
    }
    shape.width = fit.width;
    shape.height = fit.height;
    return shape;
}

// The PNG's pixels onto `whole` through FreeImage, for the kinds
// ThumbnailPng::ReadRgb leaves (palettes, grey, 16 bits, interlaced, a
// transparent colour); false when it does not decode whole (damaged or cut
// short).
bool ReadWithFreeImage(ThumbnailFile& file, PictureBox& whole) {
    FIMEMORY* memory = FreeImage_OpenMemory(file.png.data(), DWORD(file.png.size()));
    if (!memory) return false;
    FIBITMAP* bitmap = FreeImage_LoadFromMemory(FIF_PNG, memory, PNG_DEFAULT);
    FreeImage_CloseMemory(memory);
    FIBITMAP* shown = bitmap ? MFreeImage_2::ToDisplayable(bitmap) : nullptr;
    if (bitmap && shown != bitmap) FreeImage_Unload(bitmap);
    if (!shown) return false;
    const bool drawn = int(FreeImage_GetWidth(shown)) == file.width &&
                       int(FreeImage_GetHeight(shown)) == file.height &&
                       whole.SetSize(file.width, file.height);
    if (drawn) {
        whole.Cls();
        MFreeImage_2::DrawBitmapToDC(shown, whole.hDC(), file.width, file.height);
    }
    FreeImage_Unload(shown);
    return drawn;
}

// The thumbnail fitted to `width` x `height` on a new 32-bit surface,
// transparent parts laid over `background`; null when it does not decode.
// `whole` and `buffers` are kept between thumbnails (fresh memory costs more
// to touch than the decode). The resampling is the pane's quick one (Qt's
// smooth scaling: a few milliseconds, where a Lanczos filter takes longer
// than the decode itself).
StdPicture Decode(ThumbnailFile& file, int maxSide, int width, int height, uint32_t background,
                  PictureBox& whole, ThumbnailPng::ReadBuffers& buffers) {
    whole.SetBackColor(background);
    if (!ThumbnailPng::ReadRgb(file.png, maxSide, whole, buffers) &&
        !ReadWithFreeImage(file, whole))
        return nullptr;
    if (whole.Width() != file.width || whole.Height() != file.height) return nullptr;
    if (width == file.width && height == file.height) {
        StdPicture picture = whole.Image();
        whole.SetSize(0, 0); // the picture is the caller's now
        return picture;
    }
    PictureBox fitted;
    fitted.SetBackColor(background);
    if (!fitted.SetSize(width, height)) return nullptr;
    if (width <= file.width && height <= file.height) {
        mScaleImage::DrawFitted(whole, width, height, fitted, mScaleImage::Resample::Quick);
        return fitted.Image();
    }
    // Enlarged: bilinear, painted straight onto the surface (Qt's smooth
    // scaling would enlarge into a picture of its own first).
    const cDIB& from = whole.Surface();
    const cDIB& to = fitted.Surface();
    const QImage source(from.lpBits(), from.Width(), from.Height(), from.BytesPerScanline(),
                        QImage::Format_RGB32);
    QImage target(to.lpBits(), to.Width(), to.Height(), to.BytesPerScanline(),
                  QImage::Format_RGB32);
    QPainter painter(&target);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(0, 0, width, height), source);
    return fitted.Image();
}

ThumbnailPeek::Answer NoThumbnail(ThumbnailPeek::Ticket ticket) {
    ThumbnailPeek::Answer answer;
    answer.ticket = ticket;
    return answer;
}

} // namespace

struct ThumbnailPeek::State {
    struct Question {
        Ticket ticket = 0;
        std::string path;
        MFreeImage_2::Box box;
        uint32_t background = 0;
    };

    ThumbnailCache cache;
    Limits limits;
    int eventFd = -1;

    mutable std::mutex lock;
    std::condition_variable wake;
    bool stop = false;
    Ticket next = 1;
    std::optional<Question> queued;
    bool looking = false;
    std::vector<Answer> answers;
    // The question still wanted (0: none), read by the look between its steps.
    std::atomic<Ticket> wanted{0};
    std::thread worker;
    // The worker's alone: a thumbnail's pixels before they are fitted, and
    // the reader's buffers.
    PictureBox whole;
    ThumbnailPng::ReadBuffers buffers;

    State(ThumbnailCache c, Limits l) : cache(std::move(c)), limits(l) {}

    void Run();
    Answer Look(const Question& question);
    bool Wanted(Ticket ticket) const { return wanted.load() == ticket; }
    // The answers waiting are dropped, and the descriptor read empty.
    void DropAnswersLocked() {
        answers.clear();
        uint64_t count = 0;
        while (::read(eventFd, &count, sizeof count) < 0 && errno == EINTR) {
        }
    }
    void PostLocked(Answer answer) {
        answers.assign(1, std::move(answer));
        const uint64_t one = 1;
        while (::write(eventFd, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }
};

ThumbnailPeek::ThumbnailPeek(ThumbnailCache cache) : ThumbnailPeek(std::move(cache), Limits()) {}

ThumbnailPeek::ThumbnailPeek(ThumbnailCache cache, Limits limits)
    : state_(std::make_unique<State>(std::move(cache), limits)) {
    state_->eventFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (state_->eventFd < 0) return; // no thread either: every question answered "none" at once
    try {
        state_->worker = std::thread([s = state_.get()] { s->Run(); });
    } catch (const std::system_error&) {
    }
}

ThumbnailPeek::~ThumbnailPeek() {
    {
        const std::lock_guard<std::mutex> hold(state_->lock);
        state_->stop = true;
        state_->wanted = 0;
    }
    state_->wake.notify_all();
    if (state_->worker.joinable()) state_->worker.join();
    if (state_->eventFd >= 0) ::close(state_->eventFd);
}

ThumbnailPeek::Ticket ThumbnailPeek::Peek(const std::string& path, MFreeImage_2::Box box,
                                          uint32_t background) {
    State& s = *state_;
    const std::lock_guard<std::mutex> hold(s.lock);
    const Ticket ticket = s.next++;
    s.wanted = ticket;
    if (s.eventFd >= 0) s.DropAnswersLocked();
    if (!s.worker.joinable()) {
        if (s.eventFd >= 0) s.PostLocked(NoThumbnail(ticket));
        return ticket;
    }
    s.queued = State::Question{ticket, path, box, background};
    s.wake.notify_all();
    return ticket;
}

void ThumbnailPeek::Cancel(Ticket ticket) {
    State& s = *state_;
    const std::lock_guard<std::mutex> hold(s.lock);
    if (ticket == 0 || s.wanted != ticket) return;
    s.wanted = 0;
    s.queued.reset();
    if (s.eventFd >= 0) s.DropAnswersLocked();
}

int ThumbnailPeek::NotifyFd() const {
    return state_->eventFd;
}

std::vector<ThumbnailPeek::Answer> ThumbnailPeek::TakeAnswers() {
    State& s = *state_;
    const std::lock_guard<std::mutex> hold(s.lock);
    std::vector<Answer> answers = std::move(s.answers);
    if (s.eventFd >= 0) s.DropAnswersLocked();
    return answers;
}

bool ThumbnailPeek::Idle() const {
    const State& s = *state_;
    const std::lock_guard<std::mutex> hold(s.lock);
    return !s.queued && !s.looking && s.answers.empty();
}

void ThumbnailPeek::State::Run() {
    std::unique_lock<std::mutex> hold(lock);
    for (;;) {
        wake.wait(hold, [this] { return stop || queued; });
        if (stop) return;
        const Question question = std::move(*queued);
        queued.reset();
        looking = true;
        hold.unlock();
        Answer answer = Look(question);
        hold.lock();
        looking = false;
        if (wanted == question.ticket) PostLocked(std::move(answer));
    }
}

ThumbnailPeek::Answer ThumbnailPeek::State::Look(const Question& question) {
    Answer answer = NoThumbnail(question.ticket);
    ThumbnailSource source;
    if (!ThumbnailCache::Describe(question.path, source) || cache.Inside(source.path))
        return answer;
    // Each thumbnail the cache holds is read (not decoded) to learn what it
    // covers; the smallest that covers the box's fit is decoded, else the
    // largest there is. One that does not decode gives way to the next
    // larger, then to the smaller ones.
    struct Candidate {
        ThumbnailSize size;
        ThumbnailFile file;
        Shape shape;
    };
    std::vector<Candidate> candidates;
    std::size_t first = 0;
    for (const ThumbnailSize size : kSizes) {
        if (!Wanted(question.ticket)) return answer;
        std::optional<ThumbnailFile> file = cache.Open(source, size, limits.maxFileBytes);
        if (!file || file->width <= 0 || file->height <= 0 || file->width > limits.maxSide ||
            file->height > limits.maxSide)
            continue;
        const Shape shape = ShapeOf(*file, size, question.box);
        if (shape.width <= 0 || shape.height <= 0 ||
            uint64_t(shape.width) * uint64_t(shape.height) > limits.maxPicturePixels)
            continue;
        candidates.push_back({size, std::move(*file), shape});
        first = candidates.size() - 1;
        if (shape.covers) break;
    }
    std::vector<std::size_t> order{};
    for (std::size_t i = first; i < candidates.size(); ++i)
        order.push_back(i);
    for (std::size_t i = first; i-- > 0;)
        order.push_back(i);
    for (const std::size_t i : order) {
        if (!Wanted(question.ticket)) return answer;
        Candidate& c = candidates[i];
        StdPicture picture = Decode(c.file, limits.maxSide, c.shape.width, c.shape.height,
                                    question.background, whole, buffers);
        if (!picture) continue; // a damaged PNG is no thumbnail
        answer.found = true;
        answer.picture = std::move(picture);
        answer.size = c.size;
        answer.thumbWidth = c.file.width;
        answer.thumbHeight = c.file.height;
        answer.ours = ThumbnailCache::Ours(c.file.software);
        answer.covers = c.shape.covers;
        answer.fullWidth = c.shape.fullWidth;
        answer.fullHeight = c.shape.fullHeight;
        break;
    }
    return answer;
}
