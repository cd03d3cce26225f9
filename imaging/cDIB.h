// A device-independent bitmap over plain memory, in exactly the Windows DIB
// layout: top-down rows of `BytesPerScanline` bytes (each padded to a multiple
// of 4), 1, 4, 8, 16 (5-5-5), 24 or 32 bits per pixel, and for 1, 4 and 8 bits a
// colour table of 4-byte (blue, green, red, 0) entries. The GIF codecs read and
// write palette indices straight in its memory; frame composition and the
// viewers draw with its blit and stretch operations, which follow the platform
// raster semantics (SRCCOPY, SRCAND, SRCPAINT, nearest-pixel COLORONCOLOR).
// Standard library only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class cDIB;

// A drawing target ("device context"): the surface drawn on.
using HDC = cDIB*;
// A picture object: a reference-counted 32-bit surface.
using StdPicture = std::shared_ptr<cDIB>;

// Raster operations and stretch modes, with the platform's values.
constexpr uint32_t SRCCOPY = 0xCC0020;
constexpr uint32_t SRCAND = 0x8800C6;
constexpr uint32_t SRCPAINT = 0xEE0086;
constexpr int BLACKONWHITE = 1;
constexpr int COLORONCOLOR = 3;
constexpr int HALFTONE = 4;

// Pixel memory of one surface may not exceed this; larger sizes fail to create.
constexpr std::size_t kMaxSurfaceBytes = std::size_t(1) << 30;

// Sides longer than this are refused whatever their memory.
constexpr int64_t kMaxSurfaceSide = int64_t(1) << 24;

// The one place where row and surface sizes are computed: overflow-checked,
// sides of 1 to kMaxSurfaceSide pixels, `fits` when the surface needs at
// most `maxBytes` (the sizes stay readable when it does not).
struct SurfaceLayout {
    std::size_t bytesPerScanline = 0;
    std::size_t size = 0;
    bool fits = false;
};
SurfaceLayout LayoutSurface(int64_t width, int64_t height, int bpp, std::size_t maxBytes);

// The same as a yes or no: false when a value is not usable or the size
// exceeds `maxBytes`.
bool SurfaceSize(int64_t width, int64_t height, int bpp, std::size_t maxBytes,
                 std::size_t& bytesPerScanline, std::size_t& size);

// A colour value (red + 256 x green + 65536 x blue, or a system colour code
// 0x80000000 + index) as a plain red/green/blue value. Surfaces know no
// desktop palette: widgets turn system colours into plain ones before they
// hand them over, and a system colour that reaches a surface is a neutral grey.
uint32_t TranslateColor(uint32_t color);

// Nearest-pixel sampling along one axis: entry i of the result is the
// position, from srcStart, that target pixel i of dstLength reads from a
// source run of srcLength (mirrored when `flip`). Stretches use it, and
// whatever must show exactly what a stretch shows.
std::vector<int32_t> SampleMap(int32_t dstLength, int32_t srcStart, int32_t srcLength, bool flip);

// Where a picture of width x height lies in a box of DstW x DstH: shrunk to
// fit with its proportions kept (or stretched to fit when `StretchFit`),
// centred, never enlarged otherwise. Its arithmetic is its own (one ratio in
// single precision, the offsets halved rounding down); its sides round as
// mFit's do, so a thin picture keeps at least a pixel each way.
void BestFitOf(int32_t width, int32_t height, int32_t DstW, int32_t DstH, int32_t& bfx,
               int32_t& bfy, int32_t& bfW, int32_t& bfH, bool StretchFit);

class cDIB {
  public:
    cDIB() = default;
    ~cDIB() { Destroy(); }
    cDIB(const cDIB&) = delete;
    cDIB& operator=(const cDIB&) = delete;

    // Surfaces larger than `maxBytes` (or whose memory cannot be had) fail
    // like a platform that ran out of resources: false, no pixels, while the
    // requested Width, Height, bpp, BytesPerScanline and size stay readable.
    bool Create(int32_t NewWidth, int32_t NewHeight, int32_t Newbpp,
                std::size_t maxBytes = kMaxSurfaceBytes);
    uint8_t CreateFromStdPicture(const StdPicture& Image, bool Force32bpp);
    // Reads a Windows bitmap file; the pixel memory keeps the file's row order
    // (bottom-up for an ordinary bitmap file). Lives in the imaging library.
    uint8_t CreateFromBitmapFile(const std::string& FileName);
    void CloneTo(cDIB& oDIB) const;
    // Takes memory that holds a 32-bit surface of `width` x `height` in this
    // layout (rows of BytesPerScanline bytes), for example pixels another
    // process decoded into shared memory. `release(bits, bytes)` gives it
    // back. False, with nothing taken, when `bytes` is not exactly the size.
    bool Adopt(uint8_t* bits, std::size_t bytes, int32_t width, int32_t height,
               void (*release)(uint8_t*, std::size_t));
    // Exchanges pixels, size, depth and table with `other`.
    void Swap(cDIB& other) noexcept;
    void Destroy();

    int32_t LoadBlt(const cDIB* hSrcDC, int32_t x, int32_t y, int32_t nWidth, int32_t nHeight);
    int32_t Stretch(HDC hDstDC, int32_t x, int32_t y, int32_t nWidth, int32_t nHeight, int32_t xSrc,
                    int32_t ySrc, int32_t nSrcWidth, int32_t nSrcHeight, uint32_t lROP,
                    int32_t StretchMode) const;
    void Cls(uint32_t BackColor);
    void SetPalette(const std::vector<uint8_t>& palette);
    void SetPalette(const uint8_t* palette, std::size_t bytes);
    void GetPalette(std::vector<uint8_t>& palette) const;
    void GetBestFitInfo(int32_t DstW, int32_t DstH, int32_t& bfx, int32_t& bfy, int32_t& bfW,
                        int32_t& bfH, bool StretchFit) const;

    // This surface as a drawing target, or null without one.
    HDC hDC() { return hDIB() ? this : nullptr; }
    uintptr_t hDIB() const { return reinterpret_cast<uintptr_t>(bits_.get()); }
    uint8_t* lpBits() const { return bits_.get(); }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    int32_t bpp() const { return bpp_; }
    int32_t BytesPerScanline() const { return bytesPerScanline_; }
    int64_t size() const { return int64_t(size_); }
    // A new 32-bit picture showing the surface.
    StdPicture Image() const;

    // The target's stretch mode, remembered and put back around a stretch.
    int32_t StretchBltMode() const { return stretchMode_; }
    void SetStretchBltMode(int32_t mode) { stretchMode_ = mode; }

    // Colour table entry i as 0x00RRGGBB; 0 beyond the table.
    uint32_t TableColor(int i) const;
    int TableEntries() const { return bpp_ <= 8 && bpp_ > 0 ? 1 << bpp_ : 0; }

  private:
    // Memory from calloc, or memory handed in with its own release.
    struct FreeDeleter {
        FreeDeleter() noexcept : release(nullptr), bytes(0) {}
        FreeDeleter(void (*r)(uint8_t*, std::size_t), std::size_t n) noexcept
            : release(r), bytes(n) {}
        void (*release)(uint8_t*, std::size_t);
        std::size_t bytes;
        void operator()(uint8_t* p) const;
    };
    std::unique_ptr<uint8_t[], FreeDeleter> bits_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t bpp_ = 0;
    int32_t bytesPerScanline_ = 0;
    std::size_t size_ = 0;
    int32_t stretchMode_ = BLACKONWHITE;
    std::array<uint8_t, 1024> table_{};
};
