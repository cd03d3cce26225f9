// One GIF document in memory: the logical screen, the global colour table,
// the loop count and the frames. Loading reads the whole structure (every
// block, every frame's descriptor and where its image data lies) and keeps
// the file's bytes, shared and unchanged, but decodes only the first frame:
// the others are decoded when they are first read or drawn. A decoded frame
// is an 8-bit surface (its colour table with the transparent entry black)
// and a 1-bit mask (white where transparent), so that drawing it is a mask
// blit and an image blit. Decoded frames are kept while they stay within
// the document's `Limits::residentBytes`; past it the least recently used give their pixels up
// and are decoded again, identically, when next needed. A frame written to
// (through the non-const surfaces, the editing functions or a setter) keeps
// its pixels for good. One thread at a time uses a document: reading a frame
// may decode it. A frame can also be decoded on another thread, apart from
// the document (`DecodeJob`), and its pixels handed in afterwards: the
// viewers decode the next frame so while one shows. The animated viewers
// share one each; `Save` writes it back.
// Standard library only.
#pragma once

#include "imaging/cDIB.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

class ByteSink;

class cGIF {
  public:
    static constexpr int kMaxFrames = 32767;
    // The largest 8-bit surface of one frame, the size of one of the
    // animation's 32-bit buffers: a larger frame is never decoded.
    static constexpr std::size_t kMaxFrameBytes = std::size_t(256) << 20;
    // Decoded frames (surfaces and masks) kept at once by default.
    static constexpr std::size_t kResidentFrameBytes = std::size_t(256) << 20;
    static constexpr std::size_t kDocumentBytes = std::size_t(2) << 30;
    struct Limits {
        // Pixel memory the frames of one document may claim, summed in file
        // order; frames past it stay without pixels. Also the largest file read.
        std::size_t documentBytes = kDocumentBytes;
        // Decoded frames kept at once; past it the least recently used are let go.
        std::size_t residentBytes = kResidentFrameBytes;
    };

    // One frame's decoding apart from the document: what its pixels are made
    // from, copied, and the pixels made. Made by `PrepareDecode` on the
    // thread that uses the document, run on any thread (it reads nothing of
    // the document), handed back with `AdoptDecode`.
    class DecodeJob {
      public:
        int Frame() const { return frame_; }
        // Decodes; stops early, with no pixels to hand in, once `stop` is set.
        void Run(const std::atomic<bool>& stop);

      private:
        friend class cGIF;
        int frame_ = 0;
        std::shared_ptr<const std::vector<uint8_t>> source_;
        std::size_t dataAt_ = 0, dataBytes_ = 0;
        int32_t width_ = 0, height_ = 0;
        bool hasData_ = false, interlaced_ = false, useTransparent_ = false;
        uint8_t minCodeSize_ = 0, transparentIndex_ = 0;
        std::array<uint8_t, 1024> palette_{};
        cDIB image_, mask_;
        bool made_ = false; // the surfaces could be had and decoding ran to its end
    };

    cGIF();
    explicit cGIF(Limits limits);
    ~cGIF() { Destroy(); }
    cGIF(const cGIF&) = delete;
    cGIF& operator=(const cGIF&) = delete;

    bool LoadFromFile(const std::string& FileName);
    // Reads a copy of the bytes.
    bool LoadFromStream(std::span<const uint8_t> stream);
    // Reads bytes that the document keeps, shared, to decode frames from later.
    bool LoadFromBytes(std::shared_ptr<const std::vector<uint8_t>> bytes);
    bool Save(const std::string& FileName);
    // The same into any sink (memory, for the round-trip fuzzer and tests).
    bool SaveTo(ByteSink& out);
    void Destroy();

    // `Left` and `Top` place the screen's origin on the target (they may be negative).
    void FrameDraw(HDC hDC, int nFrame, int32_t Left, int32_t Top, float ScaleFactor,
                   bool ScreenCrop);
    // Draws a frame onto a 32-bit target whose pixel (i, j) stands for the
    // screen pixel (xs[i], ys[j]) (increasing maps): each target pixel gets
    // what FrameDraw at scale 1 onto a screen-sized target gives its screen
    // pixel; pixels outside the frame are left alone.
    void FrameDrawSampled(cDIB& target, int nFrame, std::span<const int32_t> xs,
                          std::span<const int32_t> ys);
    void FrameMask(int nFrame, uint8_t TransparentColorIndex);
    void FrameInsert(int nFrame, uint16_t Width, uint16_t Height);
    void FrameRemove(int nFrame);
    void FrameMoveUp(int nFrame);
    void FrameMoveDown(int nFrame);

    // Document properties. Screen sizes and frame positions are unsigned
    // 16-bit values, as the file stores them (0 to 65535).
    int16_t AnimationLoops() const { return animationLoops_; }
    void SetAnimationLoops(int16_t New_AnimationLoops) { animationLoops_ = New_AnimationLoops; }
    uint16_t ScreenWidth() const { return uint16_t(screen_[0] | (screen_[1] << 8)); }
    void SetScreenWidth(uint16_t New_ScreenWidth);
    uint16_t ScreenHeight() const { return uint16_t(screen_[2] | (screen_[3] << 8)); }
    void SetScreenHeight(uint16_t New_ScreenHeight);
    uint8_t ScreenBackgroundColorIndex() const { return screen_[5]; }
    void SetScreenBackgroundColorIndex(uint8_t v) { screen_[5] = v; }
    float ScreenPixelAspectRatio() const { return (float(screen_[6]) + 15.0f) / 64.0f; }
    // False (an overflow: nothing stored) when the byte would fall outside 0 to 255.
    bool SetScreenPixelAspectRatio(float New_ScreenPixelAspectRatio);
    uint8_t ScreenPixelAspectByte() const { return screen_[6]; }
    const uint8_t* lpGlobalPalette() const { return globalPalette_.data(); }
    uint32_t GlobalPaletteRGBEntry(uint8_t nEntry) const;
    bool GlobalPaletteExists() const { return globalPaletteExists_; }
    void SetGlobalPaletteExists(bool v) { globalPaletteExists_ = v; }
    bool GlobalPaletteSorted() const { return globalPaletteSorted_; }
    void SetGlobalPaletteSorted(bool v) { globalPaletteSorted_ = v; }
    int16_t GlobalPaletteEntries() const { return globalPaletteEntries_; }
    void SetGlobalPaletteEntries(int16_t v) { globalPaletteEntries_ = v; }
    uint8_t* GlobalPalette() { return globalPalette_.data(); }
    int16_t FramesCount() const { return framesCount_; }
    const std::string& Version() const { return version_; }
    // Memory held: decoded frames' surfaces and masks, and the file's bytes.
    std::size_t PixelBytes() const { return residentBytes_; }
    std::size_t SourceBytes() const { return source_ ? source_->size() : 0; }
    // Whether any frame can hold pixels (none can when every one is over a limit).
    bool AnyFrameDrawable() const;
    const Limits& DocumentLimits() const { return limits_; }

    // A job that decodes frame nFrame elsewhere, or null when the frame needs
    // none (it holds pixels, may not hold any, or is not in the document).
    std::unique_ptr<DecodeJob> PrepareDecode(int nFrame) const;
    // Gives the job's frame the pixels it made; false (nothing changes) when
    // the job made none, or the frame holds pixels by now or is no longer
    // the frame the job was made from.
    bool AdoptDecode(DecodeJob& job);

    // Frame properties; nFrame runs from 1 to FramesCount. Outside that range
    // the getters read one empty frame that nothing ever writes (no pixels,
    // every value zero), so what they return stays valid and unchanged, and
    // the setters do nothing. The surfaces of that empty frame are shared by
    // every document: only frames in the range may be drawn into.
    // The surfaces to write: the frame is decoded and keeps its pixels for good.
    cDIB& FrameDIBXOR(int nFrame) {
        Pin(nFrame);
        return *F(nFrame).image;
    }
    cDIB& FrameDIBAND(int nFrame) {
        Pin(nFrame);
        return *F(nFrame).mask;
    }
    // The surfaces to read: the frame is decoded if it is not; its pixels stay
    // until another frame's decoding needs the room.
    const cDIB& FrameDIBXOR(int nFrame) const { return *Resident(nFrame).image; }
    const cDIB& FrameDIBAND(int nFrame) const { return *Resident(nFrame).mask; }
    // The frame's size as declared, without decoding it (0 x 0 when a side is 0).
    int32_t FrameWidth(int nFrame) const { return F(nFrame).image->Width(); }
    int32_t FrameHeight(int nFrame) const { return F(nFrame).image->Height(); }
    // Whether the frame may hold pixels (within the limits of one frame and
    // of the document), and whether it holds them now.
    bool FrameDrawable(int nFrame) const { return F(nFrame).allowed; }
    bool FrameDecoded(int nFrame) const { return F(nFrame).resident; }
    int16_t FrameDelay(int nFrame) const { return F(nFrame).delay; }
    void SetFrameDelay(int nFrame, int16_t v) { Edit(nFrame, &Frame::delay, v); }
    bool FrameInterlaced(int nFrame) const { return F(nFrame).interlaced; }
    void SetFrameInterlaced(int nFrame, bool v) { Edit(nFrame, &Frame::interlaced, v); }
    uint16_t FrameLeft(int nFrame) const { return F(nFrame).left; }
    void SetFrameLeft(int nFrame, uint16_t v) { Edit(nFrame, &Frame::left, v); }
    uint16_t FrameTop(int nFrame) const { return F(nFrame).top; }
    void SetFrameTop(int nFrame, uint16_t v) { Edit(nFrame, &Frame::top, v); }
    int32_t FrameDisposalMethod(int nFrame) const { return F(nFrame).disposal; }
    void SetFrameDisposalMethod(int nFrame, int32_t v) {
        Edit(nFrame, &Frame::disposal, uint8_t(v & 0xFF));
    }
    bool FrameUseTransparentColor(int nFrame) const { return F(nFrame).useTransparent; }
    void SetFrameUseTransparentColor(int nFrame, bool v) {
        Edit(nFrame, &Frame::useTransparent, v);
    }
    uint8_t FrameTransparentColorIndex(int nFrame) const {
        return uint8_t(F(nFrame).transparentIndex);
    }
    void SetFrameTransparentColorIndex(int nFrame, uint8_t v) {
        Edit(nFrame, &Frame::transparentIndex, uint16_t(v));
    }
    bool FrameUserInput(int nFrame) const { return F(nFrame).userInput; }
    void SetFrameUserInput(int nFrame, bool v) { Edit(nFrame, &Frame::userInput, v); }
    const uint8_t* lpLocalPalette(int nFrame) const { return F(nFrame).palette.data(); }
    // Null outside the range: there is no table to change.
    uint8_t* LocalPalette(int nFrame) {
        Frame* f = Find(nFrame);
        Pin(nFrame);
        return f ? f->palette.data() : nullptr;
    }
    uint32_t LocalPaletteRGBEntry(int nFrame, uint8_t nEntry) const;
    bool LocalPaletteUsed(int nFrame) const { return F(nFrame).localPaletteUsed; }
    void SetLocalPaletteUsed(int nFrame, bool v) { Edit(nFrame, &Frame::localPaletteUsed, v); }
    bool LocalPaletteSorted(int nFrame) const { return F(nFrame).localPaletteSorted; }
    void SetLocalPaletteSorted(int nFrame, bool v) { Edit(nFrame, &Frame::localPaletteSorted, v); }
    int16_t LocalPaletteEntries(int nFrame) const { return F(nFrame).localPaletteEntries; }
    void SetLocalPaletteEntries(int nFrame, int16_t v) {
        Edit(nFrame, &Frame::localPaletteEntries, v);
    }

  private:
    struct Frame {
        std::shared_ptr<cDIB> image = std::make_shared<cDIB>();
        std::shared_ptr<cDIB> mask = std::make_shared<cDIB>();
        uint16_t left = 0, top = 0;
        bool interlaced = false;
        bool useTransparent = false;
        uint16_t transparentIndex = 0;
        int16_t delay = 0;
        uint8_t disposal = 0;
        bool userInput = false;
        bool localPaletteUsed = false;
        bool localPaletteSorted = false;
        int16_t localPaletteEntries = 0;
        std::array<uint8_t, 1024> palette{};
        // The image data in the document's bytes: the LZW minimum code size
        // and the sub-blocks (cut short where the file ends), when there are any.
        bool hasData = false;
        uint8_t minCodeSize = 0;
        std::size_t dataAt = 0, dataBytes = 0;
        // Within the limits of one frame and of the document: may hold pixels.
        bool allowed = false;
        // Pixels held for good: written to, or made without image data.
        bool pinned = false;
        // Pixels held now, and when the frame was last read (for eviction).
        mutable bool resident = false;
        mutable uint64_t lastUse = 0;
    };

    // The frame numbered nFrame, or null outside 1 to FramesCount.
    Frame* Find(int nFrame);
    // The same for reading: outside the range, the empty frame.
    const Frame& F(int nFrame) const;
    // A frame is changed only with its pixels held for good, so that what
    // was decoded with the old values is never decoded again with new ones.
    template <typename T> void Edit(int nFrame, T Frame::*field, T value) {
        if (Frame* f = Find(nFrame)) {
            Pin(nFrame);
            f->*field = value;
        }
    }
    // The frame with its pixels decoded if it may have them (the empty frame
    // outside the range); `Pin` keeps them for good.
    const Frame& Resident(int nFrame) const;
    void Pin(int nFrame);
    // Sizes the frame's surfaces without pixels and decides whether it may
    // have them, charging them to the document's limit.
    void PlanFrame(Frame& frame, int width, int height);
    // Gives the frame pixels: its image data decoded, or blank without any.
    bool Decode(const Frame& frame) const;
    // The job that decodes the frame numbered nFrame.
    std::unique_ptr<DecodeJob> JobFor(int nFrame, const Frame& frame) const;
    // Gives the frame the job's surfaces (which it made from this frame).
    void Install(const Frame& frame, DecodeJob& job) const;
    void Release(const Frame& frame) const;
    // Releases the least recently used frames until `bytes` more fit the cap.
    void MakeRoom(std::size_t bytes, const Frame* keep) const;
    static std::size_t SurfaceBytes(const Frame& frame);
    // The mask of a decoded frame from its image and a transparent index.
    static void BuildMask(const Frame& frame, uint8_t transparentIndex);
    // Mask bit 1 exactly where the image holds the transparent index.
    static void MaskOf(const cDIB& image, cDIB& mask, uint8_t transparentIndex);

    Limits limits_;
    std::string signature_, version_;
    std::array<uint8_t, 7> screen_{}; // the logical screen descriptor as stored
    int16_t animationLoops_ = 0;
    bool globalPaletteExists_ = false;
    bool globalPaletteSorted_ = false;
    int16_t globalPaletteEntries_ = 0;
    std::array<uint8_t, 1024> globalPalette_{};
    std::vector<Frame> frames_;
    int16_t framesCount_ = 0;
    std::size_t claimedBytes_ = 0;                       // pixel memory the allowed frames claim
    std::shared_ptr<const std::vector<uint8_t>> source_; // the file's bytes
    mutable std::size_t residentBytes_ = 0;              // held by decoded frames
    mutable uint64_t useClock_ = 0;
};

// Bit field of `value` selected by `mask`, shifted down to bit 0.
uint8_t GetBits(uint8_t value, uint8_t mask);
