// The stepping of an animated GIF, without widgets: the current frame, the
// timer interval of each frame, and the composition of the frames onto a
// 32-bit canvas the size of the logical screen, with their positions,
// transparency and disposal. Two surfaces: the display buffer (what is
// shown) and the canvas (the picture the next frame is drawn over); the
// background that disposal restores is one colour, filled in. The animated
// viewer control runs it from its timer; the probe runs it step by step.
//
// Showing any frame (`ShowFrame`, for stepping back) composes forward from
// the latest point whose canvas is known: the frame shown now, a key frame
// (a copy of the canvas kept every few frames as playing passes it, within
// a cap), a frame that covers the whole screen without transparency (the
// canvas then no longer depends on what came before), or frame 1 (every
// loop starts from the clean background). The result is the same, byte for
// byte, as playing from frame 1. Standard library only.
#pragma once

#include "gif/cGIF.h"
#include "imaging/cDIB.h"

#include <cstdint>
#include <span>
#include <vector>

class GifAnimation {
  public:
    // The largest surface one buffer may take (two are held); a logical
    // screen beyond it is not drawn. A frame's 8-bit surface has the same limit.
    static constexpr std::size_t kMaxBufferBytes = cGIF::kMaxFrameBytes;

    // Timer intervals, in milliseconds, for frame delays in hundredths of a
    // second read as signed 16-bit values.
    static constexpr int32_t kNegativeDelayMs = 60000;
    static constexpr int32_t kZeroDelayMs = 100;
    static constexpr int32_t kShortDelayMs = 50;
    static constexpr int32_t kMaxIntervalMs = 65535;
    static int32_t IntervalForDelay(int16_t delay);

    struct Rect {
        int32_t x = 0, y = 0, w = 0, h = 0;
        bool Empty() const { return w <= 0 || h <= 0; }
        Rect United(const Rect& o) const;
    };
    struct Step {
        int frame = 0;        // the frame drawn
        int32_t interval = 0; // the timer interval it set
    };

    explicit GifAnimation(cGIF& gif) : gif_(gif) {}

    // Whether the buffers a GIF's bytes call for fit the limit, read from its
    // logical screen (and, for a zero side, the first frame's extent) before
    // any frame is decoded: a file that declares a screen no buffer can hold
    // is refused at once instead of after decoding every frame. A header too
    // short or damaged to say counts as fitting; the reader decides on it.
    static bool CanvasFits(std::span<const uint8_t> gif);

    // The size of the picture a document composes: its logical screen, a
    // zero side taken from the first frame's extent instead, the one
    // CanvasFits judges.
    static void CanvasSize(const cGIF& gif, int64_t& width, int64_t& height);

    // Creates the two buffers for the loaded document and clears them with
    // `backColor` (a colour value or a system colour code). The buffers take
    // the canvas size, or, given a shown size smaller on either side, that
    // size (no side larger than the canvas's), sampled. False, with the
    // earlier buffers kept, when the canvas size is unusable or the memory
    // cannot be had.
    bool CreateBuffers(uint32_t backColor, int32_t shownWidth = 0, int32_t shownHeight = 0);
    void DestroyBuffers();
    bool HasBuffers() const { return display_.lpBits() != nullptr; }
    // The canvas the buffers stand for, and whether they sample it.
    int32_t CanvasWidth() const { return screenW_; }
    int32_t CanvasHeight() const { return screenH_; }
    bool Sampled() const { return !xs_.empty(); }
    // The work of showing frame n when nothing but the clean background is
    // known, composing from the latest frame at or before it that does not
    // depend on the frames before: the pixels of the frames that must be
    // decoded first, and the buffer pixels drawn.
    uint64_t ComposeCost(int n) const;

    // The frame the next step draws, 1 to the frame count.
    int CurrentFrame() const { return current_; }
    void SetCurrentFrame(int frame) { current_ = frame; }

    // Key frames: the canvas kept every `minSpacing` frames as playing passes
    // them, or every so many more that they take at most `capBytes` (none
    // when one canvas alone passes it, or with a cap of 0). Kept until the
    // buffers are made again; a seek then composes at most a spacing's worth
    // of frames. 128 MB holds 16 canvases of 1920 x 1080.
    static constexpr std::size_t kKeyFrameBytes = std::size_t(128) << 20;
    static constexpr int kKeyFrameSpacing = 8;
    void KeepKeyFrames(std::size_t capBytes, int minSpacing = kKeyFrameSpacing);
    // Frames between two key frames (0: none are kept), the memory they
    // hold and how many there are now.
    int KeyFrameSpacing() const { return spacing_; }
    std::size_t KeyFrameBytes() const { return keyBytes_; }
    int KeyFramesHeld() const;

    // Renders the current frame and moves on (to 1 after the last frame).
    Step Advance();
    // Shows frame n (clamped to 1 to the frame count) as playing from frame
    // 1 would show it; the next step draws the frame after it. Returns the
    // frame's interval.
    int32_t ShowFrame(int n);
    // The frame the display shows (0 before the first).
    int Shown() const { return rendered_; }
    // Frames composed since the buffers were made: each step, and each frame
    // that a seek composes on its way.
    uint64_t Compositions() const { return compositions_; }
    // Composes frame n onto the display buffer and prepares the canvas for
    // the next frame; returns the frame's interval.
    int32_t RenderFrame(int n);

    // The part of the display buffer the last step changed (in buffer pixels).
    Rect Changed() const { return changed_; }

    // The composed picture to show. When the frame drawn last stays on the
    // canvas, that is the canvas itself; otherwise the display buffer.
    const cDIB& Display() const { return showCanvas_ ? canvas_ : display_; }
    cDIB& Canvas() { return canvas_; }
    uint32_t BackColor() const { return backColor_; }
    // Pixel memory held by the buffers.
    std::size_t BufferBytes() const;

  private:
    // A copy of the canvas as it is before frame 1 + i * spacing is drawn,
    // with the part drawn on since it was last clean.
    struct KeyFrame {
        std::vector<uint8_t> pixels;
        Rect touched;
    };

    void CopyRect(cDIB& dst, const cDIB& src, const Rect& r);
    // Restores the background there: the pixel value clearing wrote.
    void FillBackground(const Rect& r);
    // The buffer pixels frame n covers.
    Rect FrameRect(int n) const;
    Rect WholeScreen() const { return {0, 0, display_.Width(), display_.Height()}; }
    // Draws frame n onto a buffer, sampled when the buffers are.
    void DrawFrame(cDIB& target, int n);
    // Whether frame n leaves a canvas independent of the frames before it: it
    // covers the screen, has no transparent colour and is not restored to
    // the previous picture.
    bool ResetsCanvas(int n) const;
    // Sizes the key frames' plan for the document and buffers (none kept yet).
    void PlanKeyFrames();
    // Keeps the canvas before frame n when n is due a key frame and the
    // canvas follows from frame n - 1.
    void KeepKeyFrame(int n);
    // The latest frame at or before n with a key frame kept, or 0.
    int KeyFrameAtOrBefore(int n) const;

    cGIF& gif_;
    cDIB display_, canvas_;
    int32_t screenW_ = 0, screenH_ = 0;
    // Sampled buffers: buffer column i shows canvas column xs_[i], row j row
    // ys_[j]. Empty: one to one.
    std::vector<int32_t> xs_, ys_;
    uint32_t backColor_ = 0;
    uint32_t backPixel_ = 0; // backColor_ as the buffers store it
    int current_ = 1;
    // Where the display buffer differs from the canvas (a bounding box).
    Rect diff_;
    bool showCanvas_ = false;
    Rect changed_;
    // Everything drawn on the canvas since it was last all background.
    Rect touched_;
    // The frame drawn last, and whether the canvas is what playing from
    // frame 1 up to it leaves (false once a frame was drawn out of order).
    int rendered_ = 0;
    bool exact_ = true;
    uint64_t compositions_ = 0;
    std::size_t keyCap_ = 0;
    int minSpacing_ = kKeyFrameSpacing;
    int spacing_ = 0;
    std::size_t keyBytes_ = 0;
    std::vector<KeyFrame> keys_; // keys_[i] for frame 1 + i * spacing_; [0] unused
    // resetAtOrBefore_[n]: the latest frame at or before n that ResetsCanvas, or 0.
    std::vector<int> resetAtOrBefore_;
};
