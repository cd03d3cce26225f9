// The frames of the GIF document: decoded on demand and let go again past
// the cap, composed, and edited as a list.
#include "gif/cGIF.h"

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
    constexpr uint32_t kRgb = 0xFFFFFF;
    for (int32_t ty = y0; ty < y1; ++ty) {
        const std::size_t sy = std::size_t(ty - y);
        const uint8_t* in = image.lpBits() + sy * std::size_t(image.BytesPerScanline());
        auto* out = reinterpret_cast<uint32_t*>(
            dst.lpBits() + std::size_t(ty) * std::size_t(dst.BytesPerScanline()));
        if (!mask) {
            for (int32_t tx = x0; tx < x1; ++tx)
                out[tx] = lut[in[tx - x]];
            continue;
        }
        const uint8_t* bits =
            mask->lpBits() ? mask->lpBits() + sy * std::size_t(mask->BytesPerScanline()) : nullptr;
        if (!bits) { // without mask pixels the mask blit draws nothing: the target stays
            for (int32_t tx = x0; tx < x1; ++tx)
                out[tx] = (out[tx] | lut[in[tx - x]]) & kRgb;
            continue;
        }
        // All ones where the mask keeps the target, zero where the frame covers it.
        auto one = [&](int32_t tx) {
            const int32_t sx = tx - x;
            const uint32_t keep = 0u - ((uint32_t(bits[sx >> 3]) >> (7 - (sx & 7))) & 1u);
            out[tx] = ((out[tx] & keep) | lut[in[sx]]) & kRgb;
        };
        int32_t tx = x0;
        for (; tx < x1 && ((tx - x) & 7) != 0; ++tx)
            one(tx);
        for (; tx + 8 <= x1; tx += 8) { // a whole mask byte: eight pixels
            const int32_t sx = tx - x;
            const uint32_t byte = bits[sx >> 3];
            for (int k = 0; k < 8; ++k) {
                const uint32_t keep = 0u - ((byte >> (7 - k)) & 1u);
                out[tx + k] = ((out[tx + k] & keep) | lut[in[sx + k]]) & kRgb;
            }
        }
        for (; tx < x1; ++tx)
            one(tx);
    }
}

} // namespace

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
    while (residentBytes_ + bytes > MaxResidentBytes) {
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

bool cGIF::Decode(const Frame& f) const {
    const int32_t w = f.image->Width(), h = f.image->Height();
    // New surfaces are all zero, which the decoder counts on; a failed
    // allocation leaves the frame without pixels, as over its limit.
    if (!(f.image->Create(w, h, 8) & f.mask->Create(w, h, 1))) {
        f.image->Create(w, h, 8, 0);
        f.mask->Create(w, h, 1, 0);
        return false;
    }
    f.resident = true;
    residentBytes_ += SurfaceBytes(f);
    // Leniency cut-file: a frame cut before its image data stays blank.
    if (!f.hasData || !source_) return true;
    std::array<uint8_t, 1024> shown = f.palette;
    if (f.useTransparent) Blacken(shown, f.transparentIndex & 0xFF);
    f.image->SetPalette(shown.data(), shown.size());
    f.mask->SetPalette(kMaskPalette, sizeof kMaskPalette);
    mGIFLZWDec::DecodeSubBlocksToDIB(*f.image, f.interlaced, f.minCodeSize,
                                     std::span(*source_).subspan(f.dataAt, f.dataBytes));
    if (f.useTransparent) BuildMask(f, uint8_t(f.transparentIndex));
    return true;
}

void cGIF::FrameMask(int nFrame, uint8_t TransparentColorIndex) {
    if (!Find(nFrame)) return; // no frame: nothing to mask
    Pin(nFrame);
    BuildMask(F(nFrame), TransparentColorIndex);
}

void cGIF::BuildMask(const Frame& f, uint8_t TransparentColorIndex) {
    std::array<uint8_t, 1024> shown = f.palette;
    if (f.useTransparent) {
        Blacken(shown, TransparentColorIndex);
        // Through a stencil table (white only at the transparent index) the
        // colour-to-monochrome copy turns exactly those pixels into mask bit 1.
        std::array<uint8_t, 1024> stencil{};
        stencil[4 * TransparentColorIndex] = stencil[4 * TransparentColorIndex + 1] =
            stencil[4 * TransparentColorIndex + 2] = 255;
        f.image->SetPalette(stencil.data(), stencil.size());
        f.mask->LoadBlt(f.image.get(), 0, 0, f.image->Width(), f.image->Height());
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
