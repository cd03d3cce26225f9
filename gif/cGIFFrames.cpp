// The frames of the GIF document: decoded on demand and let go again past
// the cap, composed, and edited as a list.
#include "gif/cGIF.h"

#include "gif/IndexedRows.h"
#include "gif/mGIFLZWDec.h"

#include <algorithm>
#include <cmath>

namespace {

// Mask colour table: entry 0 black (opaque), entry 1 white (transparent).
constexpr uint8_t kMaskPalette[8] = {0, 0, 0, 0, 255, 255, 255, 0};

void Blacken(std::array<uint8_t, 1024>& palette, int entry) {
    palette[4 * entry] = palette[4 * entry + 1] = palette[4 * entry + 2] = 0;
}

int32_t Round(float v) {
    return int32_t(std::nearbyint(v));
}

// Draws an 8-bit frame at its own size onto a 32-bit surface in one pass,
// with exactly the result of the mask blit (SRCAND) followed by the image
// blit (SRCPAINT, or SRCCOPY without a mask): where the mask bit is 1 the
// target keeps its pixel (ORed with the image's colour there, which the
// blackened transparent entry makes 0). The animated viewers take this path
// on every step.
void DrawUnscaled(cDIB& dst, int32_t x, int32_t y, int32_t w, int32_t h, const cDIB& image,
                  const cDIB* mask) {
    const int32_t x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int32_t x1 = int32_t(std::min<int64_t>(int64_t(x) + w, dst.Width()));
    const int32_t y1 = int32_t(std::min<int64_t>(int64_t(y) + h, dst.Height()));
    if (x0 >= x1 || y0 >= y1) return;
    uint32_t lut[256];
    for (int i = 0; i < 256; ++i)
        lut[i] = image.TableColor(i);
    const auto n = std::size_t(x1 - x0);
    for (int32_t ty = y0; ty < y1; ++ty) {
        const std::size_t sy = std::size_t(ty - y);
        const uint8_t* in = image.lpBits() + sy * std::size_t(image.BytesPerScanline()) + (x0 - x);
        auto* out = reinterpret_cast<uint32_t*>(
                        dst.lpBits() + std::size_t(ty) * std::size_t(dst.BytesPerScanline())) +
                    x0;
        if (!mask) {
            IndexedRows::Copy(out, in, n, lut);
            continue;
        }
        const uint8_t* bits =
            mask->lpBits() ? mask->lpBits() + sy * std::size_t(mask->BytesPerScanline()) : nullptr;
        if (!bits) { // without mask pixels the mask blit draws nothing: the target stays
            for (std::size_t i = 0; i < n; ++i)
                out[i] = IndexedRows::Under(out[i], lut[in[i]], ~0u);
            continue;
        }
        IndexedRows::Masked(out, in, bits, std::size_t(x0 - x), n, lut);
    }
}

// Draws an 8-bit frame placed at (left, top) on the screen onto a target
// that samples the screen (target pixel (i, j) is screen pixel (xs[i],
// ys[j])), pixel for pixel as DrawUnscaled draws the screen.
void DrawSampled(cDIB& dst, int32_t left, int32_t top, const cDIB& image, const cDIB* mask,
                 std::span<const int32_t> xs, std::span<const int32_t> ys) {
    const int64_t right = int64_t(left) + image.Width(), bottom = int64_t(top) + image.Height();
    auto run = [](std::span<const int32_t> map, int64_t from, int64_t to, std::size_t limit) {
        const auto end = map.begin() + std::ptrdiff_t(std::min(map.size(), limit));
        const auto b = std::lower_bound(map.begin(), end, from);
        return std::pair(std::size_t(b - map.begin()),
                         std::size_t(std::lower_bound(b, end, to) - map.begin()));
    };
    const auto [i0, i1] = run(xs, left, right, std::size_t(dst.Width()));
    const auto [j0, j1] = run(ys, top, bottom, std::size_t(dst.Height()));
    if (i0 >= i1 || j0 >= j1) return;
    uint32_t lut[256];
    for (int i = 0; i < 256; ++i)
        lut[i] = image.TableColor(i);
    for (std::size_t j = j0; j < j1; ++j) {
        const std::size_t sy = std::size_t(ys[j] - top);
        const uint8_t* in = image.lpBits() + sy * std::size_t(image.BytesPerScanline());
        auto* out =
            reinterpret_cast<uint32_t*>(dst.lpBits() + j * std::size_t(dst.BytesPerScanline()));
        const uint8_t* bits = mask && mask->lpBits()
                                  ? mask->lpBits() + sy * std::size_t(mask->BytesPerScanline())
                                  : nullptr;
        for (std::size_t i = i0; i < i1; ++i) {
            const auto sx = std::size_t(xs[i] - left);
            const uint32_t colour = lut[in[sx]];
            if (!mask)
                out[i] = colour;
            else // without mask pixels, as the one-to-one draw: the target stays, ORed
                out[i] =
                    IndexedRows::Under(out[i], colour, bits ? IndexedRows::KeepAt(bits, sx) : ~0u);
        }
    }
}

} // namespace

void cGIF::FrameDrawSampled(cDIB& target, int nFrame, std::span<const int32_t> xs,
                            std::span<const int32_t> ys) {
    const Frame& f = Resident(nFrame);
    if (!target.lpBits() || target.bpp() != 32 || !f.image->lpBits() || f.image->bpp() != 8) return;
    DrawSampled(target, f.left, f.top, *f.image, f.useTransparent ? f.mask.get() : nullptr, xs, ys);
}

std::size_t cGIF::SurfaceBytes(const Frame& frame) {
    // The sizes stay readable on surfaces without pixels.
    return std::size_t(frame.image->size() + frame.mask->size());
}

bool cGIF::AnyFrameDrawable() const {
    for (int n = 1; n <= framesCount_; ++n)
        if (FrameDrawable(n)) return true;
    return false;
}

const cGIF::Frame& cGIF::Resident(int nFrame) const {
    const Frame& f = F(nFrame);
    if (nFrame < 1 || nFrame > framesCount_) return f; // the shared empty frame stays unwritten
    f.lastUse = ++useClock_;
    if (!f.resident && f.allowed) {
        MakeRoom(SurfaceBytes(f), &f);
        Decode(f);
    }
    return f;
}

void cGIF::Pin(int nFrame) {
    if (Frame* f = Find(nFrame)) {
        Resident(nFrame);
        f->pinned = true;
    }
}

void cGIF::MakeRoom(std::size_t bytes, const Frame* keep) const {
    while (residentBytes_ + bytes > limits_.residentBytes) {
        const Frame* oldest = nullptr;
        for (const Frame& f : frames_)
            if (f.resident && !f.pinned && &f != keep && (!oldest || f.lastUse < oldest->lastUse))
                oldest = &f;
        if (!oldest) return; // what is left is pinned: the frame is decoded all the same
        Release(*oldest);
    }
}

void cGIF::Release(const Frame& frame) const {
    if (!frame.resident) return;
    residentBytes_ -= SurfaceBytes(frame);
    frame.resident = false;
    // Surfaces without pixels that keep their size (and the image its table).
    frame.image->Create(frame.image->Width(), frame.image->Height(), 8, 0);
    frame.mask->Create(frame.mask->Width(), frame.mask->Height(), 1, 0);
}

std::unique_ptr<cGIF::DecodeJob> cGIF::JobFor(int nFrame, const Frame& f) const {
    auto job = std::make_unique<DecodeJob>();
    job->frame_ = nFrame;
    job->width_ = f.image->Width();
    job->height_ = f.image->Height();
    // Leniency cut-file: a frame cut before its image data stays blank.
    job->hasData_ = f.hasData && source_;
    job->source_ = source_;
    job->dataAt_ = f.dataAt;
    job->dataBytes_ = f.dataBytes;
    job->interlaced_ = f.interlaced;
    job->minCodeSize_ = f.minCodeSize;
    job->useTransparent_ = f.useTransparent;
    job->transparentIndex_ = uint8_t(f.transparentIndex);
    job->palette_ = f.palette;
    return job;
}

void cGIF::DecodeJob::Run(const std::atomic<bool>& stop) {
    made_ = false;
    // New surfaces are all zero, which the decoder counts on.
    if (!(image_.Create(width_, height_, 8) & mask_.Create(width_, height_, 1))) return;
    if (hasData_) {
        std::array<uint8_t, 1024> shown = palette_;
        if (useTransparent_) Blacken(shown, transparentIndex_);
        image_.SetPalette(shown.data(), shown.size());
        mask_.SetPalette(kMaskPalette, sizeof kMaskPalette);
        mGIFLZWDec::DecodeSubBlocksToDIB(image_, interlaced_, minCodeSize_,
                                         std::span(*source_).subspan(dataAt_, dataBytes_), &stop);
        if (useTransparent_) MaskOf(image_, mask_, transparentIndex_);
    }
    made_ = !stop.load(std::memory_order_relaxed);
}

void cGIF::Install(const Frame& f, DecodeJob& job) const {
    f.image->Swap(job.image_);
    f.mask->Swap(job.mask_);
    f.resident = true;
    residentBytes_ += SurfaceBytes(f);
}

bool cGIF::Decode(const Frame& f) const {
    const std::unique_ptr<DecodeJob> job = JobFor(0, f);
    const std::atomic<bool> never{false};
    job->Run(never);
    if (!job->made_) {
        // A failed allocation leaves the frame without pixels, as over its limit.
        f.image->Create(f.image->Width(), f.image->Height(), 8, 0);
        f.mask->Create(f.mask->Width(), f.mask->Height(), 1, 0);
        return false;
    }
    Install(f, *job);
    return true;
}

std::unique_ptr<cGIF::DecodeJob> cGIF::PrepareDecode(int nFrame) const {
    if (nFrame < 1 || nFrame > framesCount_) return nullptr;
    const Frame& f = F(nFrame);
    if (f.resident || !f.allowed) return nullptr;
    return JobFor(nFrame, f);
}

bool cGIF::AdoptDecode(DecodeJob& job) {
    if (!job.made_ || job.frame_ < 1 || job.frame_ > framesCount_) return false;
    const Frame& f = F(job.frame_);
    // The frame the job was made from: the same bytes and size, still
    // without pixels (a frame edited since holds its pixels for good).
    if (f.resident || !f.allowed || job.source_ != source_ || job.dataAt_ != f.dataAt ||
        job.dataBytes_ != f.dataBytes || job.width_ != f.image->Width() ||
        job.height_ != f.image->Height())
        return false;
    f.lastUse = ++useClock_;
    MakeRoom(SurfaceBytes(f), &f);
    Install(f, job);
    job.made_ = false; // its surfaces are the frame's now
    return true;
}

void cGIF::FrameMask(int nFrame, uint8_t TransparentColorIndex) {
    if (!Find(nFrame)) return; // no frame: nothing to mask
    Pin(nFrame);
    BuildMask(F(nFrame), TransparentColorIndex);
}

void cGIF::MaskOf(const cDIB& image, cDIB& mask, uint8_t transparentIndex) {
    if (!image.lpBits() || !mask.lpBits()) return;
    const int32_t rows = std::min(image.Height(), mask.Height());
    const auto n = std::size_t(std::min(image.Width(), mask.Width()));
    for (int32_t r = 0; r < rows; ++r)
        IndexedRows::MaskOf(mask.lpBits() + std::size_t(r) * std::size_t(mask.BytesPerScanline()),
                            image.lpBits() + std::size_t(r) * std::size_t(image.BytesPerScanline()),
                            n, transparentIndex);
}

void cGIF::BuildMask(const Frame& f, uint8_t TransparentColorIndex) {
    std::array<uint8_t, 1024> shown = f.palette;
    if (f.useTransparent) {
        Blacken(shown, TransparentColorIndex);
        MaskOf(*f.image, *f.mask, TransparentColorIndex);
    } else {
        f.mask->Cls(0);
    }
    f.image->SetPalette(shown.data(), shown.size());
}

void cGIF::FrameDraw(HDC hDC, int nFrame, int32_t Left, int32_t Top, float ScaleFactor,
                     bool ScreenCrop) {
    const Frame& f = Resident(nFrame);
    int32_t w = f.image->Width();
    int32_t h = f.image->Height();
    if (ScreenCrop) {
        if (f.left + w > ScreenWidth()) w = ScreenWidth() - f.left;
        if (f.top + h > ScreenHeight()) h = ScreenHeight() - f.top;
    }
    if (w < 0) w = 0;
    if (h < 0) h = 0;
    const int32_t x = Round(ScaleFactor * float(f.left) + float(Left));
    const int32_t y = Round(ScaleFactor * float(f.top) + float(Top));
    const int32_t dw = Round(ScaleFactor * float(w));
    const int32_t dh = Round(ScaleFactor * float(h));
    // A zero-sized source would mean "the whole surface" to Stretch; nothing to
    // draw. Frames reaching past the target are clipped (leniency frame-off-screen).
    if (w == 0 || h == 0) return;
    if (ScaleFactor == 1.0f && hDC && hDC->bpp() == 32 && hDC->lpBits() && f.image->bpp() == 8 &&
        f.image->lpBits()) {
        DrawUnscaled(*hDC, x, y, w, h, *f.image, f.useTransparent ? f.mask.get() : nullptr);
        return;
    }
    if (f.useTransparent) {
        f.mask->Stretch(hDC, x, y, dw, dh, 0, 0, w, h, SRCAND, COLORONCOLOR);
        f.image->Stretch(hDC, x, y, dw, dh, 0, 0, w, h, SRCPAINT, COLORONCOLOR);
    } else {
        f.image->Stretch(hDC, x, y, dw, dh, 0, 0, w, h, SRCCOPY, COLORONCOLOR);
    }
}

void cGIF::FrameInsert(int nFrame, uint16_t Width, uint16_t Height) {
    if (framesCount_ >= kMaxFrames) return;
    if (nFrame < 1) nFrame = 1;
    if (nFrame > framesCount_ || framesCount_ == 0) nFrame = framesCount_ + 1;
    ++framesCount_;
    frames_.resize(std::size_t(framesCount_));
    frames_.back() = Frame{};
    for (int i = framesCount_ - 1; i >= nFrame; --i)
        FrameMoveDown(i);
    Frame& f = frames_[std::size_t(nFrame - 1)];
    // A frame without image data: blank pixels, held for good.
    PlanFrame(f, Width, Height);
    Pin(nFrame);
    f.image->Cls(0);
    f.mask->SetPalette(kMaskPalette, sizeof kMaskPalette);
    f.mask->Cls(0);
    if (framesCount_ == 1) {
        SetScreenWidth(Width);
        SetScreenHeight(Height);
    }
}

void cGIF::FrameRemove(int nFrame) {
    if (nFrame < 1 || nFrame > framesCount_) return;
    const Frame& f = F(nFrame);
    if (f.resident) residentBytes_ -= SurfaceBytes(f);
    if (f.allowed) claimedBytes_ -= SurfaceBytes(f);
    frames_.erase(frames_.begin() + (nFrame - 1));
    --framesCount_;
    if (framesCount_ < 1) {
        frames_.clear();
        frames_.resize(1);
    } else {
        frames_.resize(std::size_t(framesCount_));
    }
}

void cGIF::FrameMoveUp(int nFrame) {
    if (nFrame < 2 || nFrame > framesCount_) return;
    std::swap(frames_[std::size_t(nFrame - 1)], frames_[std::size_t(nFrame - 2)]);
}

void cGIF::FrameMoveDown(int nFrame) {
    if (nFrame < 1 || nFrame >= framesCount_) return;
    std::swap(frames_[std::size_t(nFrame - 1)], frames_[std::size_t(nFrame)]);
}
