// Frame composition and frame list editing of the GIF document.
#include "gif/cGIF.h"

#include "gif/mGIFLZWDec.h"

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

} // namespace

void cGIF::DecodeFrame(int nFrame, uint8_t minCodeSize, std::span<const uint8_t> subBlocks) {
    Frame& f = F(nFrame);
    std::array<uint8_t, 1024> shown = f.palette;
    if (f.useTransparent) Blacken(shown, f.transparentIndex & 0xFF);
    f.image->SetPalette(shown.data(), shown.size());
    f.mask->SetPalette(kMaskPalette, sizeof kMaskPalette);
    mGIFLZWDec::DecodeSubBlocksToDIB(*f.image, f.interlaced, minCodeSize, subBlocks);
    if (f.useTransparent) FrameMask(nFrame, uint8_t(f.transparentIndex));
}

void cGIF::FrameMask(int nFrame, uint8_t TransparentColorIndex) {
    Frame& f = F(nFrame);
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

void cGIF::FrameDraw(HDC hDC, int nFrame, int16_t Left, int16_t Top, float ScaleFactor,
                     bool ScreenCrop) {
    Frame& f = F(nFrame);
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
    // A zero-sized source would mean "the whole surface" to Stretch; nothing to draw.
    if (w == 0 || h == 0) return;
    if (f.useTransparent) {
        f.mask->Stretch(hDC, x, y, dw, dh, 0, 0, w, h, SRCAND, COLORONCOLOR);
        f.image->Stretch(hDC, x, y, dw, dh, 0, 0, w, h, SRCPAINT, COLORONCOLOR);
    } else {
        f.image->Stretch(hDC, x, y, dw, dh, 0, 0, w, h, SRCCOPY, COLORONCOLOR);
    }
}

void cGIF::FrameInsert(int nFrame, int16_t Width, int16_t Height) {
    if (framesCount_ >= kMaxFrames) return;
    if (nFrame < 1) nFrame = 1;
    if (nFrame > framesCount_ || framesCount_ == 0) nFrame = framesCount_ + 1;
    ++framesCount_;
    frames_.resize(std::size_t(framesCount_));
    frames_.back() = Frame{};
    for (int i = framesCount_ - 1; i >= nFrame; --i)
        FrameMoveDown(i);
    Frame& f = F(nFrame);
    CreateFrameSurfaces(f, Width, Height);
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
    Frame& f = F(nFrame);
    if (f.image->lpBits()) pixelBytes_ -= std::size_t(f.image->size());
    if (f.mask->lpBits()) pixelBytes_ -= std::size_t(f.mask->size());
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
    std::swap(F(nFrame), F(nFrame - 1));
}

void cGIF::FrameMoveDown(int nFrame) {
    if (nFrame < 1 || nFrame >= framesCount_) return;
    std::swap(F(nFrame), F(nFrame + 1));
}
