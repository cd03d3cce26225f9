#include "gif/GifAnimation.h"

#include "gif/GifFormat.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

int32_t GifAnimation::IntervalForDelay(int16_t delay) {
    constexpr int kMsPerHundredth = 10;
    constexpr int16_t kLastShortDelay = 4;
    if (delay < 0) return kNegativeDelayMs;
    if (delay == 0) return kZeroDelayMs;
    if (delay <= kLastShortDelay) return kShortDelayMs;
    // Delays from 3277 on would pass the timer's 16-bit range: capped.
    return std::min<int32_t>(int32_t(delay) * kMsPerHundredth, kMaxIntervalMs);
}

GifAnimation::Rect GifAnimation::Rect::United(const Rect& o) const {
    if (Empty()) return o;
    if (o.Empty()) return *this;
    const int32_t x0 = std::min(x, o.x), y0 = std::min(y, o.y);
    const int32_t x1 = std::max(x + w, o.x + o.w), y1 = std::max(y + h, o.y + o.h);
    return {x0, y0, x1 - x0, y1 - y0};
}

namespace {

constexpr std::size_t kSignatureBytes = 6;
constexpr std::size_t kScreenDescriptorBytes = 7;
constexpr std::size_t kImageDescriptorBytes = 9; // after the separator

uint16_t Le16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}

// The right and bottom edge of the first frame, or false when the bytes end first.
bool FirstFrameExtent(std::span<const uint8_t> gif, int64_t& right, int64_t& bottom) {
    std::size_t at = kSignatureBytes + kScreenDescriptorBytes;
    const uint8_t packed = gif[kSignatureBytes + 4];
    if (packed & GifFormat::kGlobalTableFlag)
        at += 3u << ((packed & GifFormat::kTableSizeMask) + 1);
    while (at < gif.size()) {
        const uint8_t block = gif[at++];
        if (block == GifFormat::kImageSeparator) {
            if (gif.size() - at < kImageDescriptorBytes) return false;
            right = int64_t(Le16(&gif[at])) + Le16(&gif[at + 4]);
            bottom = int64_t(Le16(&gif[at + 2])) + Le16(&gif[at + 6]);
            return true;
        }
        if (block != GifFormat::kExtensionIntroducer || at >= gif.size()) return false;
        ++at; // the label; then its sub-blocks
        while (at < gif.size() && gif[at] != GifFormat::kBlockTerminator)
            at += std::size_t(gif[at]) + 1;
        ++at;
    }
    return false;
}

// Buffers start half a page into their memory. What shows them copies
// every frame into a window's backing store, which starts at or just past
// the start of a page; a buffer starting just below it within a page would
// have each load of the copy wait on an earlier store to an address 4 KB
// apart, which the processor takes for the same: measured, three times as
// long a copy.
constexpr std::size_t kPage = 4096;
constexpr std::size_t kHalfPage = kPage / 2;

bool CreateBuffer(cDIB& d, int32_t width, int32_t height) {
    std::size_t stride = 0, bytes = 0;
    if (!SurfaceSize(width, height, 32, GifAnimation::kMaxBufferBytes, stride, bytes)) return false;
    const std::size_t whole = (bytes + kHalfPage + kPage - 1) / kPage * kPage;
    auto* base = static_cast<uint8_t*>(std::aligned_alloc(kPage, whole));
    if (!base) return false;
    auto release = [](uint8_t* bits, std::size_t) { std::free(bits - kHalfPage); };
    if (d.Adopt(base + kHalfPage, bytes, width, height, release)) return true;
    std::free(base);
    return false;
}

} // namespace

bool GifAnimation::CanvasFits(std::span<const uint8_t> gif) {
    if (gif.size() < kSignatureBytes + kScreenDescriptorBytes) return true;
    int64_t width = Le16(&gif[kSignatureBytes]);
    int64_t height = Le16(&gif[kSignatureBytes + 2]);
    if (width == 0 || height == 0) {
        int64_t right = 0, bottom = 0;
        if (!FirstFrameExtent(gif, right, bottom)) return true;
        if (width == 0) width = right;
        if (height == 0) height = bottom;
        if (width == 0 || height == 0) return true;
    }
    std::size_t stride = 0, bytes = 0;
    return SurfaceSize(width, height, 32, kMaxBufferBytes, stride, bytes);
}

void GifAnimation::CanvasSize(const cGIF& gif, int64_t& width, int64_t& height) {
    width = gif.ScreenWidth();
    height = gif.ScreenHeight();
    // No logical screen: the first frame's extent, as browsers show such
    // files and as CanvasFits judged it. Later frames are clipped to it:
    // taken from every frame, the buffers would follow frames placed far
    // off in a tiny file, each buffer up to the limit.
    if (width == 0) width = int64_t(gif.FrameLeft(1)) + gif.FrameWidth(1);
    if (height == 0) height = int64_t(gif.FrameTop(1)) + gif.FrameHeight(1);
}

bool GifAnimation::CreateBuffers(uint32_t backColor, int32_t shownWidth, int32_t shownHeight) {
    int64_t width = 0, height = 0;
    CanvasSize(gif_, width, height);
    // The canvas must be one a whole buffer could hold, sampled or not.
    std::size_t stride = 0, bytes = 0;
    if (!SurfaceSize(width, height, 32, kMaxBufferBytes, stride, bytes)) return false;
    const bool sampled =
        shownWidth > 0 && shownHeight > 0 && (shownWidth < width || shownHeight < height);
    const auto bufferW = int32_t(sampled ? std::min<int64_t>(shownWidth, width) : width);
    const auto bufferH = int32_t(sampled ? std::min<int64_t>(shownHeight, height) : height);
    cDIB display, canvas;
    for (cDIB* d : {&display, &canvas})
        if (!CreateBuffer(*d, bufferW, bufferH)) return false;
    // Every buffer could be had: they replace the earlier ones.
    display_.Swap(display);
    canvas_.Swap(canvas);
    screenW_ = int32_t(width);
    screenH_ = int32_t(height);
    xs_.clear();
    ys_.clear();
    if (sampled) {
        xs_ = SampleMap(bufferW, 0, screenW_, false);
        ys_ = SampleMap(bufferH, 0, screenH_, false);
    }
    backColor_ = backColor;
    for (cDIB* d : {&display_, &canvas_})
        d->Cls(backColor);
    std::memcpy(&backPixel_, canvas_.lpBits(), sizeof backPixel_);
    current_ = 1;
    diff_ = touched_ = {};
    showCanvas_ = false;
    changed_ = WholeScreen();
    rendered_ = 0;
    exact_ = true;
    compositions_ = 0;
    PlanKeyFrames();
    return HasBuffers() && canvas_.lpBits();
}

uint64_t GifAnimation::ComposeCost(int n) const {
    if (n < 1 || std::size_t(n) >= resetAtOrBefore_.size()) return 0;
    uint64_t cost = 0;
    for (int m = std::max(1, resetAtOrBefore_[std::size_t(n)]); m <= n; ++m) {
        if (gif_.FrameDrawable(m) && !gif_.FrameDecoded(m))
            cost += uint64_t(gif_.FrameWidth(m)) * gif_.FrameHeight(m);
        const Rect r = FrameRect(m);
        cost += uint64_t(std::max(r.w, 0)) * uint64_t(std::max(r.h, 0));
    }
    return cost;
}

void GifAnimation::DestroyBuffers() {
    display_.Destroy();
    canvas_.Destroy();
    screenW_ = screenH_ = 0;
    xs_.clear();
    ys_.clear();
    diff_ = changed_ = touched_ = {};
    showCanvas_ = false;
    rendered_ = 0;
    PlanKeyFrames();
}

void GifAnimation::KeepKeyFrames(std::size_t capBytes, int minSpacing) {
    keyCap_ = capBytes;
    minSpacing_ = std::max(1, minSpacing);
    PlanKeyFrames();
}

void GifAnimation::PlanKeyFrames() {
    keys_.clear();
    keys_.shrink_to_fit();
    keyBytes_ = 0;
    spacing_ = 0;
    resetAtOrBefore_.clear();
    const int frames = gif_.FramesCount();
    if (!HasBuffers() || frames <= 0) return;
    resetAtOrBefore_.assign(std::size_t(frames) + 1, 0);
    for (int n = 1; n <= frames; ++n)
        resetAtOrBefore_[std::size_t(n)] =
            ResetsCanvas(n) ? n : resetAtOrBefore_[std::size_t(n) - 1];
    const std::size_t canvasBytes = std::size_t(canvas_.size());
    const std::size_t most = canvasBytes ? keyCap_ / canvasBytes : 0;
    if (most == 0) return;
    // Frames 2 to the last, in as many stretches as key frames fit the cap.
    const std::size_t after = std::size_t(frames - 1);
    spacing_ = std::max<int>(minSpacing_, int(std::max<std::size_t>(1, (after + most - 1) / most)));
    keys_.resize(std::size_t(frames - 1) / std::size_t(spacing_) + 1);
}

int GifAnimation::KeyFramesHeld() const {
    return int(std::count_if(keys_.begin(), keys_.end(),
                             [](const KeyFrame& k) { return !k.pixels.empty(); }));
}

bool GifAnimation::ResetsCanvas(int n) const {
    const cGIF& g = gif_;
    const int32_t disposal = g.FrameDisposalMethod(n);
    return g.FrameDrawable(n) && !g.FrameUseTransparentColor(n) && g.FrameLeft(n) == 0 &&
           g.FrameTop(n) == 0 && g.FrameWidth(n) >= screenW_ && g.FrameHeight(n) >= screenH_ &&
           disposal <= 2;
}

void GifAnimation::KeepKeyFrame(int n) {
    if (spacing_ <= 0 || n <= 1 || (n - 1) % spacing_ != 0) return;
    const std::size_t i = std::size_t((n - 1) / spacing_);
    if (!exact_ || rendered_ != n - 1 || i >= keys_.size()) return;
    KeyFrame& key = keys_[i];
    const std::size_t bytes = std::size_t(canvas_.size());
    if (!key.pixels.empty() || keyBytes_ + bytes > keyCap_) return;
    try {
        key.pixels.assign(canvas_.lpBits(), canvas_.lpBits() + bytes);
    } catch (const std::bad_alloc&) {
        return; // seeks start from an earlier point instead
    }
    key.touched = touched_;
    keyBytes_ += bytes;
}

int GifAnimation::KeyFrameAtOrBefore(int n) const {
    if (spacing_ <= 0) return 0;
    for (int i = std::min((n - 1) / spacing_, int(keys_.size()) - 1); i >= 1; --i)
        if (!keys_[std::size_t(i)].pixels.empty()) return 1 + i * spacing_;
    return 0;
}

int32_t GifAnimation::ShowFrame(int n) {
    const int frames = gif_.FramesCount();
    if (frames <= 0) return 0;
    n = std::clamp(n, 1, frames);
    current_ = n >= frames ? 1 : n + 1;
    // Frames added or removed since the plan: its key frames no longer fit.
    if (resetAtOrBefore_.size() != std::size_t(frames) + 1) PlanKeyFrames();
    if (!HasBuffers() || resetAtOrBefore_.empty() || (exact_ && rendered_ == n)) {
        changed_ = {};
        return IntervalForDelay(gif_.FrameDelay(n));
    }
    // The latest start whose canvas is known. Frame 1 composes onto the
    // clean background, a frame that resets the canvas onto anything, and
    // the frame after the one shown onto the canvas it left: these start
    // from the canvas as it is; a later key frame is copied in first.
    int from = std::max(1, resetAtOrBefore_[std::size_t(n)]);
    if (exact_ && rendered_ >= 1 && rendered_ < n) from = std::max(from, rendered_ + 1);
    const int key = KeyFrameAtOrBefore(n);
    if (key > from) {
        const KeyFrame& k = keys_[std::size_t((key - 1) / spacing_)];
        std::memcpy(canvas_.lpBits(), k.pixels.data(), k.pixels.size());
        touched_ = k.touched;
        diff_ = WholeScreen(); // the display no longer follows the canvas
        showCanvas_ = false;
        rendered_ = key - 1;
        exact_ = true;
        from = key;
    }
    for (int m = from; m <= n; ++m)
        RenderFrame(m);
    if (from != n) changed_ = WholeScreen();
    return IntervalForDelay(gif_.FrameDelay(n));
}

std::size_t GifAnimation::BufferBytes() const {
    return std::size_t(display_.size() + canvas_.size());
}

GifAnimation::Step GifAnimation::Advance() {
    const int frames = gif_.FramesCount();
    if (frames <= 0) return {};
    if (current_ < 1 || current_ > frames) current_ = 1;
    Step s{current_, RenderFrame(current_)};
    current_ = current_ >= frames ? 1 : current_ + 1;
    return s;
}

GifAnimation::Rect GifAnimation::FrameRect(int n) const {
    const cGIF& g = gif_;
    const int64_t left = g.FrameLeft(n), top = g.FrameTop(n);
    const int64_t x0 = std::clamp<int64_t>(left, 0, screenW_);
    const int64_t y0 = std::clamp<int64_t>(top, 0, screenH_);
    const int64_t x1 = std::clamp<int64_t>(left + g.FrameWidth(n), 0, screenW_);
    const int64_t y1 = std::clamp<int64_t>(top + g.FrameHeight(n), 0, screenH_);
    if (!Sampled()) return {int32_t(x0), int32_t(y0), int32_t(x1 - x0), int32_t(y1 - y0)};
    // The buffer pixels whose canvas pixels lie in it: a run on each axis,
    // the maps being increasing.
    auto first = [](const std::vector<int32_t>& map, int64_t at) {
        return int32_t(std::lower_bound(map.begin(), map.end(), at) - map.begin());
    };
    const int32_t bx0 = first(xs_, x0), bx1 = first(xs_, x1);
    const int32_t by0 = first(ys_, y0), by1 = first(ys_, y1);
    return {bx0, by0, bx1 - bx0, by1 - by0};
}

void GifAnimation::DrawFrame(cDIB& target, int n) {
    if (Sampled())
        gif_.FrameDrawSampled(target, n, xs_, ys_);
    else
        gif_.FrameDraw(target.hDC(), n, 0, 0, 1.0f, false);
}

void GifAnimation::CopyRect(cDIB& dst, const cDIB& src, const Rect& r) {
    if (r.Empty() || !dst.lpBits() || !src.lpBits()) return;
    const std::size_t stride = std::size_t(dst.BytesPerScanline());
    const std::size_t offset = std::size_t(r.x) * 4;
    const std::size_t bytes = std::size_t(r.w) * 4;
    if (r.x == 0 && r.w == dst.Width()) { // whole rows: one copy
        std::memcpy(dst.lpBits() + std::size_t(r.y) * stride,
                    src.lpBits() + std::size_t(r.y) * stride, stride * std::size_t(r.h));
        return;
    }
    for (int32_t y = r.y; y < r.y + r.h; ++y)
        std::memcpy(dst.lpBits() + std::size_t(y) * stride + offset,
                    src.lpBits() + std::size_t(y) * stride + offset, bytes);
}

void GifAnimation::FillBackground(const Rect& r) {
    if (r.Empty() || !canvas_.lpBits()) return;
    const std::size_t stride = std::size_t(canvas_.BytesPerScanline());
    for (int32_t y = r.y; y < r.y + r.h; ++y)
        std::fill_n(reinterpret_cast<uint32_t*>(canvas_.lpBits() + std::size_t(y) * stride) + r.x,
                    r.w, backPixel_);
}

int32_t GifAnimation::RenderFrame(int n) {
    const int32_t interval = IntervalForDelay(gif_.FrameDelay(n));
    if (!HasBuffers()) return interval;
    KeepKeyFrame(n);
    // Frame 1 and a frame that resets the canvas leave what playing from
    // frame 1 leaves whatever was drawn before them; another frame does
    // when it follows the frame drawn last.
    const bool resets =
        std::size_t(n) < resetAtOrBefore_.size() && resetAtOrBefore_[std::size_t(n)] == n;
    exact_ = n == 1 || resets || (exact_ && rendered_ == n - 1);
    rendered_ = n;
    ++compositions_;
    Rect changed;
    // Every loop starts from a clean background. Outside the frames drawn
    // since the buffers were last clean the canvas still is background.
    if (n == 1) {
        FillBackground(touched_);
        diff_ = diff_.United(touched_);
        if (showCanvas_) changed = touched_;
        touched_ = {};
    }
    const Rect frame = FrameRect(n);
    touched_ = touched_.United(frame);
    const int32_t disposal = gif_.FrameDisposalMethod(n);
    if (disposal == 0 || disposal == 1) {
        // Not specified, or do not dispose: the frame stays, so the picture
        // with it is the next frame's canvas too. It is drawn straight onto
        // the canvas, which is then what shows: the same pixels as drawing
        // it over a copy of the canvas and copying that back, without the
        // two copies.
        DrawFrame(canvas_, n);
        if (!showCanvas_) changed = changed.United(diff_);
        diff_ = diff_.United(frame);
        showCanvas_ = true;
    } else {
        // The frame goes again after this step: it is drawn over a copy of
        // the canvas, brought up to date where it differs.
        CopyRect(display_, canvas_, diff_);
        if (!showCanvas_) changed = changed.United(diff_);
        DrawFrame(display_, n);
        if (disposal == 2) FillBackground(frame); // restore to background
        // 3 (restore to previous) and unknown values leave the canvas as it was.
        diff_ = frame;
        showCanvas_ = false;
    }
    changed_ = changed.United(frame);
    return interval;
}
