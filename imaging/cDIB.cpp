#include "imaging/cDIB.h"

#include "imaging/ChannelBits.h"
#include "imaging/mFit.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr uint32_t kSystemColorFlag = 0x80000000u;
constexpr uint32_t kWhite = 0xFFFFFF;

// A system colour that reaches a surface (the core tests, the probe, the
// fuzzers) is this neutral grey; widgets translate theirs beforehand.
constexpr uint32_t kNeutralGreyRef = 0xF0F0F0;

// COLORREF (red low) to the 0x00RRGGBB layout of 32-bit pixels and tables.
inline uint32_t RefToRgb(uint32_t ref) {
    return ((ref & 0xFF) << 16) | (ref & 0xFF00) | ((ref >> 16) & 0xFF);
}

inline int Distance(uint32_t a, uint32_t b) {
    const int dr = int((a >> 16) & 0xFF) - int((b >> 16) & 0xFF);
    const int dg = int((a >> 8) & 0xFF) - int((b >> 8) & 0xFF);
    const int db = int(a & 0xFF) - int(b & 0xFF);
    return dr * dr + dg * dg + db * db;
}

// Raw pixel value of a surface at (x, y): an index, a 5-5-5 word or 0x00RRGGBB.
inline uint32_t ReadRaw(const uint8_t* row, int bpp, int x) {
    switch (bpp) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
        return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    case 8:
        return row[x];
    case 16:
        return uint32_t(row[2 * x]) | (uint32_t(row[2 * x + 1]) << 8);
    case 24:
        return uint32_t(row[3 * x]) | (uint32_t(row[3 * x + 1]) << 8) |
               (uint32_t(row[3 * x + 2]) << 16);
    default: {
        uint32_t v;
        std::memcpy(&v, row + 4 * x, 4);
        return v & 0xFFFFFF;
    }
    }
}

inline void WriteRaw(uint8_t* row, int bpp, int x, uint32_t v, uint32_t rop) {
    auto combine = [rop](uint32_t d, uint32_t s) {
        return rop == SRCAND ? (d & s) : rop == SRCPAINT ? (d | s) : s;
    };
    switch (bpp) {
    case 1: {
        const int shift = 7 - (x & 7);
        const uint32_t d = (row[x >> 3] >> shift) & 1;
        row[x >> 3] = uint8_t((row[x >> 3] & ~(1 << shift)) | ((combine(d, v) & 1) << shift));
        break;
    }
    case 4: {
        const int shift = (x & 1) ? 0 : 4;
        const uint32_t d = (row[x >> 1] >> shift) & 0x0F;
        row[x >> 1] = uint8_t((row[x >> 1] & ~(0x0F << shift)) | ((combine(d, v) & 0x0F) << shift));
        break;
    }
    case 8:
        row[x] = uint8_t(combine(row[x], v));
        break;
    case 16: {
        const uint32_t d = uint32_t(row[2 * x]) | (uint32_t(row[2 * x + 1]) << 8);
        const uint32_t r = combine(d, v);
        row[2 * x] = uint8_t(r);
        row[2 * x + 1] = uint8_t(r >> 8);
        break;
    }
    case 24: {
        const uint32_t d = ReadRaw(row, 24, x);
        const uint32_t r = combine(d, v);
        row[3 * x] = uint8_t(r);
        row[3 * x + 1] = uint8_t(r >> 8);
        row[3 * x + 2] = uint8_t(r >> 16);
        break;
    }
    default: {
        uint32_t d;
        std::memcpy(&d, row + 4 * x, 4);
        const uint32_t r = combine(d & 0xFFFFFF, v) & 0xFFFFFF;
        std::memcpy(row + 4 * x, &r, 4);
        break;
    }
    }
}

// Converts colours (0x00RRGGBB) to the raw pixel values of one surface.
class ColorToRaw {
  public:
    ColorToRaw(const cDIB& dst, bool nearestForMono) : dst_(dst), nearestForMono_(nearestForMono) {}
    uint32_t operator()(uint32_t rgb) {
        switch (dst_.bpp()) {
        case 1:
            // Colour to monochrome: a pixel equal to white becomes 1, all else 0.
            if (!nearestForMono_) return rgb == kWhite ? 1 : 0;
            [[fallthrough]];
        case 4:
        case 8:
            return Nearest(rgb);
        case 16:
            return (((rgb >> 19) & 0x1F) << 10) | (((rgb >> 11) & 0x1F) << 5) | ((rgb >> 3) & 0x1F);
        default:
            return rgb;
        }
    }

  private:
    uint32_t Nearest(uint32_t rgb) {
        if (cacheValid_ && rgb == cacheKey_) return cacheValue_;
        int best = 0, bestDistance = std::numeric_limits<int>::max();
        for (int i = 0; i < dst_.TableEntries() && bestDistance > 0; ++i) {
            const int d = Distance(rgb, dst_.TableColor(i));
            if (d < bestDistance) best = i, bestDistance = d;
        }
        cacheValid_ = true;
        cacheKey_ = rgb;
        cacheValue_ = uint32_t(best);
        return cacheValue_;
    }
    const cDIB& dst_;
    bool nearestForMono_;
    bool cacheValid_ = false;
    uint32_t cacheKey_ = 0, cacheValue_ = 0;
};

uint32_t RawToColor(const cDIB& src, uint32_t raw) {
    switch (src.bpp()) {
    case 1:
    case 4:
    case 8:
        return src.TableColor(int(raw));
    case 16:
        return (uint32_t(Expand5((raw >> 10) & 0x1F)) << 16) |
               (uint32_t(Expand5((raw >> 5) & 0x1F)) << 8) | Expand5(raw & 0x1F);
    default:
        return raw;
    }
}

// The raster core: stretches (or copies) a source rectangle onto a target
// rectangle with nearest-pixel sampling and a raster operation. Negative
// extents mirror; everything outside either surface is clipped.
int32_t StretchRaster(cDIB& dst, int32_t x, int32_t y, int32_t w, int32_t h, const cDIB& src,
                      int32_t sx, int32_t sy, int32_t sw, int32_t sh, uint32_t rop) {
    if (!dst.lpBits() || !src.lpBits()) return 0;
    if (w == 0 || h == 0 || sw == 0 || sh == 0) return 1;
    bool flipX = false, flipY = false;
    if (w < 0) x += w, w = -w, flipX = !flipX;
    if (h < 0) y += h, h = -h, flipY = !flipY;
    if (sw < 0) sx += sw, sw = -sw, flipX = !flipX;
    if (sh < 0) sy += sh, sh = -sh, flipY = !flipY;
    // Clip the target rectangle to the target surface before building maps.
    const int32_t x0 = std::max(x, 0), x1 = int32_t(std::min<int64_t>(int64_t(x) + w, dst.Width()));
    const int32_t y0 = std::max(y, 0),
                  y1 = int32_t(std::min<int64_t>(int64_t(y) + h, dst.Height()));
    if (x0 >= x1 || y0 >= y1) return 1;
    const std::vector<int32_t> xs = SampleMap(w, sx, sw, flipX);
    const std::vector<int32_t> ys = SampleMap(h, sy, sh, flipY);

    ColorToRaw toRaw(dst, false);
    // Sources with a table convert through a lookup of every index once.
    std::vector<uint32_t> lut;
    if (src.bpp() <= 8) {
        lut.resize(std::size_t(src.TableEntries()));
        for (std::size_t i = 0; i < lut.size(); ++i)
            lut[i] = toRaw(src.TableColor(int(i)));
    }
    const int sbpp = src.bpp(), dbpp = dst.bpp();
    for (int32_t ty = y0; ty < y1; ++ty) {
        const int32_t srow = ys[std::size_t(ty - y)];
        if (srow < 0 || srow >= src.Height()) continue;
        const uint8_t* in = src.lpBits() + std::size_t(srow) * std::size_t(src.BytesPerScanline());
        uint8_t* out = dst.lpBits() + std::size_t(ty) * std::size_t(dst.BytesPerScanline());
        if (sbpp == 8 && dbpp == 32) { // the frame-drawing path: indices onto 32-bit pixels
            auto* out32 = reinterpret_cast<uint32_t*>(out);
            for (int32_t tx = x0; tx < x1; ++tx) {
                const int32_t scol = xs[std::size_t(tx - x)];
                if (scol < 0 || scol >= src.Width()) continue;
                const uint32_t s = lut[in[scol]];
                uint32_t& d = out32[tx];
                d = rop == SRCAND ? (d & s) & 0xFFFFFF : rop == SRCPAINT ? (d | s) & 0xFFFFFF : s;
            }
            continue;
        }
        for (int32_t tx = x0; tx < x1; ++tx) {
            const int32_t scol = xs[std::size_t(tx - x)];
            if (scol < 0 || scol >= src.Width()) continue;
            const uint32_t raw = ReadRaw(in, sbpp, scol);
            const uint32_t v =
                sbpp <= 8 ? (raw < lut.size() ? lut[raw] : 0) : toRaw(RawToColor(src, raw));
            WriteRaw(out, dbpp, tx, v, rop);
        }
    }
    return 1;
}

} // namespace

std::vector<int32_t> SampleMap(int32_t dstLength, int32_t srcStart, int32_t srcLength, bool flip) {
    std::vector<int32_t> map(static_cast<std::size_t>(std::max(dstLength, 0)));
    for (int32_t i = 0; i < dstLength; ++i) {
        const int64_t offset = ((2 * int64_t(i) + 1) * srcLength) / (2 * int64_t(dstLength));
        map[std::size_t(i)] = int32_t(srcStart + (flip ? srcLength - 1 - offset : offset));
    }
    return map;
}

uint32_t TranslateColor(uint32_t color) {
    if ((color & kSystemColorFlag) == 0) return color & 0xFFFFFF;
    return kNeutralGreyRef;
}

SurfaceLayout LayoutSurface(int64_t width, int64_t height, int bpp, std::size_t maxBytes) {
    SurfaceLayout l;
    if (width <= 0 || height <= 0 || bpp <= 0 || bpp > 32 || width > kMaxSurfaceSide ||
        height > kMaxSurfaceSide)
        return l;
    // Sides of at most 2^24 pixels of at most 32 bits: no product below overflows.
    const uint64_t stride = (uint64_t(width) * uint64_t(bpp) + 31) / 32 * 4;
    l.bytesPerScanline = std::size_t(stride);
    l.size = std::size_t(stride * uint64_t(height));
    l.fits = l.size <= maxBytes;
    return l;
}

bool SurfaceSize(int64_t width, int64_t height, int bpp, std::size_t maxBytes,
                 std::size_t& bytesPerScanline, std::size_t& size) {
    const SurfaceLayout l = LayoutSurface(width, height, bpp, maxBytes);
    if (!l.fits) return false;
    bytesPerScanline = l.bytesPerScanline;
    size = l.size;
    return true;
}

void cDIB::FreeDeleter::operator()(uint8_t* p) const {
    if (release)
        release(p, bytes);
    else
        std::free(p);
}

bool cDIB::Adopt(uint8_t* bits, std::size_t bytes, int32_t width, int32_t height,
                 void (*release)(uint8_t*, std::size_t)) {
    std::size_t stride = 0, size = 0;
    if (!bits || !release || !SurfaceSize(width, height, 32, kMaxSurfaceBytes, stride, size) ||
        size != bytes)
        return false;
    Destroy();
    bits_ = std::unique_ptr<uint8_t[], FreeDeleter>(bits, FreeDeleter{release, bytes});
    width_ = width;
    height_ = height;
    bpp_ = 32;
    bytesPerScanline_ = int32_t(stride);
    size_ = size;
    table_.fill(0);
    return true;
}

bool cDIB::Create(int32_t NewWidth, int32_t NewHeight, int32_t Newbpp, std::size_t maxBytes) {
    Destroy();
    const bool depthOk =
        Newbpp == 1 || Newbpp == 4 || Newbpp == 8 || Newbpp == 16 || Newbpp == 24 || Newbpp == 32;
    if (!depthOk || NewWidth <= 0 || NewHeight <= 0) return false;
    width_ = NewWidth;
    height_ = NewHeight;
    bpp_ = Newbpp;
    const SurfaceLayout layout = LayoutSurface(NewWidth, NewHeight, Newbpp, maxBytes);
    bytesPerScanline_ = int32_t(layout.bytesPerScanline);
    size_ = layout.size;
    if (!layout.fits) return false; // too large: the size stays readable, no pixels
    // calloc: large surfaces come as untouched zero pages, paid for when written.
    bits_ = std::unique_ptr<uint8_t[], FreeDeleter>(
        static_cast<uint8_t*>(std::calloc(layout.size, 1)), FreeDeleter{});
    table_.fill(0);
    return bits_ != nullptr;
}

uint8_t cDIB::CreateFromStdPicture(const StdPicture& Image, bool Force32bpp) {
    if (!Image || !Image->lpBits()) return 0;
    const int sourceBpp = Image->bpp();
    if (!Create(Image->Width(), Image->Height(), Force32bpp ? 32 : sourceBpp)) return 0;
    if (sourceBpp <= 8 && !Force32bpp) table_ = Image->table_;
    StretchRaster(*this, 0, 0, width_, height_, *Image, 0, 0, width_, height_, SRCCOPY);
    return uint8_t(sourceBpp);
}

void cDIB::CloneTo(cDIB& oDIB) const {
    if (&oDIB == this || !oDIB.Create(width_, height_, bpp_)) return;
    if (bpp_ <= 8) oDIB.table_ = table_;
    if (bits_) std::memcpy(oDIB.bits_.get(), bits_.get(), size_);
}

void cDIB::Swap(cDIB& other) noexcept {
    std::swap(bits_, other.bits_);
    std::swap(width_, other.width_);
    std::swap(height_, other.height_);
    std::swap(bpp_, other.bpp_);
    std::swap(bytesPerScanline_, other.bytesPerScanline_);
    std::swap(size_, other.size_);
    std::swap(stretchMode_, other.stretchMode_);
    std::swap(table_, other.table_);
}

void cDIB::Destroy() {
    bits_.reset();
    width_ = height_ = bpp_ = bytesPerScanline_ = 0;
    size_ = 0;
}

int32_t cDIB::LoadBlt(const cDIB* hSrcDC, int32_t x, int32_t y, int32_t nWidth, int32_t nHeight) {
    if (!bits_ || !hSrcDC) return 0;
    if (nWidth < 1) nWidth = width_;
    if (nHeight < 1) nHeight = height_;
    return StretchRaster(*this, 0, 0, nWidth, nHeight, *hSrcDC, x, y, nWidth, nHeight, SRCCOPY);
}

int32_t cDIB::Stretch(HDC hDstDC, int32_t x, int32_t y, int32_t nWidth, int32_t nHeight,
                      int32_t xSrc, int32_t ySrc, int32_t nSrcWidth, int32_t nSrcHeight,
                      uint32_t lROP, int32_t StretchMode) const {
    if (!bits_ || !hDstDC) return 0;
    if (nSrcWidth < 1) nSrcWidth = width_;
    if (nSrcHeight < 1) nSrcHeight = height_;
    const int32_t remembered = hDstDC->StretchBltMode();
    hDstDC->SetStretchBltMode(StretchMode);
    const int32_t result = StretchRaster(*hDstDC, x, y, nWidth, nHeight, *this, xSrc, ySrc,
                                         nSrcWidth, nSrcHeight, lROP);
    hDstDC->SetStretchBltMode(remembered);
    return result;
}

void cDIB::Cls(uint32_t BackColor) {
    if (!bits_) return;
    const uint32_t rgb = RefToRgb(TranslateColor(BackColor));
    ColorToRaw toRaw(*this, true); // a brush on a table surface takes the nearest entry
    const uint32_t v = toRaw(rgb);
    if (bpp_ == 8 || (bpp_ <= 4 && (v == 0 || v == uint32_t(TableEntries() - 1)))) {
        // Whole bytes: an index repeated over the byte (all 0s or all 1s for 1 and 4 bits).
        const uint8_t fill = bpp_ == 8 ? uint8_t(v) : (v == 0 ? 0 : 0xFF);
        for (int32_t r = 0; r < height_; ++r)
            std::memset(bits_.get() + std::size_t(r) * std::size_t(bytesPerScanline_), fill,
                        std::size_t((int64_t(width_) * bpp_ + 7) / 8));
        return;
    }
    for (int32_t r = 0; r < height_; ++r) {
        uint8_t* row = bits_.get() + std::size_t(r) * std::size_t(bytesPerScanline_);
        if (bpp_ == 32) { // whole pixels: the viewers clear full-screen buffers
            std::fill_n(reinterpret_cast<uint32_t*>(row), width_, v);
            continue;
        }
        for (int32_t c = 0; c < width_; ++c)
            WriteRaw(row, bpp_, c, v, SRCCOPY);
    }
}

void cDIB::SetPalette(const std::vector<uint8_t>& palette) {
    SetPalette(palette.data(), palette.size());
}

void cDIB::SetPalette(const uint8_t* palette, std::size_t bytes) {
    if (!bits_ || bpp_ > 8 || !palette) return;
    const std::size_t entries = std::min<std::size_t>(bytes / 4, std::size_t(TableEntries()));
    std::memcpy(table_.data(), palette, entries * 4);
}

void cDIB::GetPalette(std::vector<uint8_t>& palette) const {
    if (!bits_ || bpp_ > 8) return;
    palette.assign(table_.begin(), table_.begin() + TableEntries() * 4);
}

uint32_t cDIB::TableColor(int i) const {
    if (i < 0 || i >= TableEntries()) return 0;
    const uint8_t* e = table_.data() + 4 * i;
    return (uint32_t(e[2]) << 16) | (uint32_t(e[1]) << 8) | e[0];
}

void BestFitOf(int32_t width, int32_t height, int32_t DstW, int32_t DstH, int32_t& bfx,
               int32_t& bfy, int32_t& bfW, int32_t& bfH, bool StretchFit) {
    if (width <= 0 || height <= 0) return;
    if (width > DstW || height > DstH || StretchFit) {
        const float xr = float(DstW) / float(width);
        const float yr = float(DstH) / float(height);
        if (xr >= yr) {
            bfH = DstH;
            bfW = mFit::FittedSide(float(width) * yr);
        } else {
            bfW = DstW;
            bfH = mFit::FittedSide(float(height) * xr);
        }
    } else {
        bfW = width;
        bfH = height;
    }
    bfx = (DstW - bfW) / 2;
    bfy = (DstH - bfH) / 2;
}

void cDIB::GetBestFitInfo(int32_t DstW, int32_t DstH, int32_t& bfx, int32_t& bfy, int32_t& bfW,
                          int32_t& bfH, bool StretchFit) const {
    if (!bits_) return;
    BestFitOf(width_, height_, DstW, DstH, bfx, bfy, bfW, bfH, StretchFit);
}

StdPicture cDIB::Image() const {
    auto picture = std::make_shared<cDIB>();
    if (!bits_ || !picture->Create(width_, height_, 32)) return picture;
    Stretch(picture.get(), 0, 0, width_, height_, 0, 0, width_, height_, SRCCOPY, COLORONCOLOR);
    return picture;
}
