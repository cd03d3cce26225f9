// One GIF document in memory: the logical screen, the global colour table,
// the loop count and the frames. Every frame is decoded when the document is
// loaded into an 8-bit surface (its colour table with the transparent entry
// black) and a 1-bit mask (white where transparent), so that drawing a frame
// later is a mask blit and an image blit. The animated viewers own one each;
// `Save` writes a document back. Standard library only.
#pragma once

#include "imaging/cDIB.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

class ByteSink;

class cGIF {
  public:
    static constexpr int kMaxFrames = 32767;
    // Pixel memory one document may hold; frames past it stay without pixels.
    static inline std::size_t MaxDocumentBytes = std::size_t(2) << 30;

    cGIF();
    ~cGIF() { Destroy(); }
    cGIF(const cGIF&) = delete;
    cGIF& operator=(const cGIF&) = delete;

    bool LoadFromFile(const std::string& FileName);
    bool LoadFromStream(std::span<const uint8_t> stream);
    bool Save(const std::string& FileName);
    // The same into any sink (memory, for the round-trip fuzzer and tests).
    bool SaveTo(ByteSink& out);
    void Destroy();

    // `Left` and `Top` place the screen's origin on the target (they may be negative).
    void FrameDraw(HDC hDC, int nFrame, int32_t Left, int32_t Top, float ScaleFactor,
                   bool ScreenCrop);
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

    // Frame properties; nFrame runs from 1 to FramesCount. Outside that range
    // the getters read one empty frame that nothing ever writes (no pixels,
    // every value zero), so what they return stays valid and unchanged, and
    // the setters do nothing. The surfaces of that empty frame are shared by
    // every document: only frames in the range may be drawn into.
    cDIB& FrameDIBXOR(int nFrame) { return *F(nFrame).image; }
    const cDIB& FrameDIBXOR(int nFrame) const { return *F(nFrame).image; }
    cDIB& FrameDIBAND(int nFrame) { return *F(nFrame).mask; }
    const cDIB& FrameDIBAND(int nFrame) const { return *F(nFrame).mask; }
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
    };

    // The frame numbered nFrame, or null outside 1 to FramesCount.
    Frame* Find(int nFrame);
    // The same for reading: outside the range, the empty frame.
    const Frame& F(int nFrame) const;
    template <typename T> void Edit(int nFrame, T Frame::*field, T value) {
        if (Frame* f = Find(nFrame)) f->*field = value;
    }
    // Decodes the frame's image data, given as its sub-block sequence.
    void DecodeFrame(int nFrame, uint8_t minCodeSize, std::span<const uint8_t> subBlocks);
    bool CreateFrameSurfaces(Frame& frame, int width, int height);

    std::string signature_, version_;
    std::array<uint8_t, 7> screen_{}; // the logical screen descriptor as stored
    int16_t animationLoops_ = 0;
    bool globalPaletteExists_ = false;
    bool globalPaletteSorted_ = false;
    int16_t globalPaletteEntries_ = 0;
    std::array<uint8_t, 1024> globalPalette_{};
    std::vector<Frame> frames_;
    int16_t framesCount_ = 0;
    std::size_t pixelBytes_ = 0; // pixel memory held by the frames
};

// Bit field of `value` selected by `mask`, shifted down to bit 0.
uint8_t GetBits(uint8_t value, uint8_t mask);
