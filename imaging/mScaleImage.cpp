#include "imaging/mScaleImage.h"

#include "imaging/MFreeImage_2.h"
#include "imaging/RowBands.h"

#include <QImage>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

namespace mScaleImage {

namespace {
int32_t Round(double v) {
    return int32_t(std::nearbyint(v));
}

// Copies rows [first, end) of a 32-bit picture into a 24-bit bitmap of the
// same size, flipping them into FreeImage's bottom-up order.
void CopyRows(const cDIB& picture, FIBITMAP* bitmap, int first, int end) {
    const int w = picture.Width(), h = picture.Height();
    static_assert(FI_RGBA_BLUE == 0 && FI_RGBA_GREEN == 1 && FI_RGBA_RED == 2);
    for (int y = first; y < end; ++y) {
        const uint8_t* in =
            picture.lpBits() + std::size_t(y) * std::size_t(picture.BytesPerScanline());
        uint8_t* out = FreeImage_GetScanLine(bitmap, h - 1 - y);
        int x = 0;
        // Four pixels a step: 16 bytes in, 12 bytes out.
        for (; x + 4 <= w; x += 4, in += 16, out += 12) {
            uint32_t p[4];
            std::memcpy(p, in, 16);
            const uint32_t a = (p[0] & 0xFFFFFF) | (p[1] << 24);
            const uint32_t b = ((p[1] >> 8) & 0xFFFF) | (p[2] << 16);
            const uint32_t c = ((p[2] >> 16) & 0xFF) | (p[3] << 8);
            std::memcpy(out, &a, 4);
            std::memcpy(out + 4, &b, 4);
            std::memcpy(out + 8, &c, 4);
        }
        for (; x < w; ++x, in += 4, out += 3) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
        }
    }
}

// A whole 32-bit picture into a 24-bit bitmap of its size, in row bands on every processor.
void CopyPicture(const cDIB& picture, FIBITMAP* bitmap) {
    constexpr int kLeastRows = 64;
    RowBands::InBands(picture.Height(), kLeastRows,
                      [&](int first, int end) { CopyRows(picture, bitmap, first, end); });
}

FIBITMAP* Allocate24(int w, int h) {
    return FreeImage_Allocate(w, h, 24, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK);
}

// The copy of the picture that resampling reads from. Every preview of the
// same picture (a resized pane) needs one of the same size, and allocating
// a large one costs more than filling it, so one is kept for the next call.
struct Scratch {
    FIBITMAP* bitmap = nullptr;
    ~Scratch() { Release(); }
    void Release() {
        if (bitmap) FreeImage_Unload(bitmap);
        bitmap = nullptr;
    }
    FIBITMAP* For(int w, int h) {
        if (bitmap && int(FreeImage_GetWidth(bitmap)) == w && int(FreeImage_GetHeight(bitmap)) == h)
            return bitmap;
        Release();
        bitmap = Allocate24(w, h);
        return bitmap;
    }
};
// One per thread: previews may be scaled on several threads at once.
thread_local Scratch scratch;

bool UsablePicture(const StdPicture& Picture) {
    return Picture && Picture->lpBits() && Picture->bpp() == 32;
}

constexpr int kBytes24 = 3;

// `width` x `height` pixels of a 24-bit bitmap from pixel (x, row) of its
// memory on, as a bitmap of their own that shares its memory.
FIBITMAP* Window(FIBITMAP* bitmap, int x, int row, int width, int height) {
    const unsigned pitch = FreeImage_GetPitch(bitmap);
    return FreeImage_ConvertFromRawBitsEx(
        FALSE, FreeImage_GetBits(bitmap) + std::size_t(row) * pitch + std::size_t(x) * kBytes24,
        FIT_BITMAP, width, height, int(pitch), 24, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK,
        FI_RGBA_BLUE_MASK, FALSE);
}

// `from` (a bitmap of its own) copied into `to` at pixel (x, row) of its memory, then unloaded.
void Paste(FIBITMAP* from, FIBITMAP* to, int x, int row) {
    const int w = int(FreeImage_GetWidth(from)), h = int(FreeImage_GetHeight(from));
    for (int y = 0; y < h; ++y)
        std::memcpy(FreeImage_GetScanLine(to, row + y) + std::size_t(x) * kBytes24,
                    FreeImage_GetScanLine(from, y), std::size_t(w) * kBytes24);
    FreeImage_Unload(from);
}

// A 24-bit bitmap resampled (Lanczos) to `w` x `h` on every processor:
// across in bands of rows, then down in bands of columns, each band through
// FreeImage's own filter, which weighs a row across and a column down the
// same whatever the band. The same pixels as FreeImage's resampling across
// first; null when memory runs short.
FIBITMAP* RescaleInBands(FIBITMAP* source, int w, int h) {
    const int sh = int(FreeImage_GetHeight(source));
    constexpr int kLeastLines = 64;
    if (RowBands::Processors() == 1 || sh < 2 * kLeastLines || w < 2 * kLeastLines ||
        FreeImage_GetBPP(source) != 24)
        return FreeImage_Rescale(source, w, h, FILTER_LANCZOS3);
    FIBITMAP* across = Allocate24(w, sh);
    FIBITMAP* scaled = Allocate24(w, h);
    std::atomic<bool> ok = across && scaled;
    const auto pass = [&ok](FIBITMAP* from, FIBITMAP* to, bool rows, int first, int end) {
        if (!ok) return;
        const int fromW = int(FreeImage_GetWidth(from)), fromH = int(FreeImage_GetHeight(from));
        const int toH = int(FreeImage_GetHeight(to));
        FIBITMAP* band = rows ? Window(from, 0, first, fromW, end - first)
                              : Window(from, first, 0, end - first, fromH);
        FIBITMAP* done =
            band ? FreeImage_Rescale(band, rows ? int(FreeImage_GetWidth(to)) : end - first,
                                     rows ? end - first : toH, FILTER_LANCZOS3)
                 : nullptr;
        if (band) FreeImage_Unload(band);
        if (!done) {
            ok = false;
            return;
        }
        Paste(done, to, rows ? 0 : first, rows ? first : 0);
    };
    if (ok)
        RowBands::InBands(sh, kLeastLines,
                          [&](int first, int end) { pass(source, across, true, first, end); });
    if (ok)
        RowBands::InBands(w, kLeastLines,
                          [&](int first, int end) { pass(across, scaled, false, first, end); });
    if (across) FreeImage_Unload(across);
    if (!ok && scaled) FreeImage_Unload(scaled);
    return ok ? scaled : nullptr;
}

} // namespace

FIBITMAP* BitmapFromPicture(const StdPicture& Picture) {
    if (!UsablePicture(Picture)) return nullptr;
    FIBITMAP* bitmap = Allocate24(Picture->Width(), Picture->Height());
    if (bitmap) CopyPicture(*Picture, bitmap);
    return bitmap;
}

FIBITMAP* RescaleBitmap(FIBITMAP* Bitmap, ScaleSize Width, ScaleSize Height, bool AsPercent,
                        bool FreeSource, uint32_t Filter) {
    if (!Bitmap) return nullptr;
    const double sourceWidth = FreeImage_GetWidth(Bitmap),
                 sourceHeight = FreeImage_GetHeight(Bitmap);
    auto resolve = [AsPercent](ScaleSize s, double source) -> int32_t {
        switch (s.kind) {
        case ScaleSize::Kind::Omitted:
            return 0;
        case ScaleSize::Kind::Pixels:
            return int32_t(s.value);
        case ScaleSize::Kind::Factor: {
            const int32_t v = Round(s.value * source);
            return AsPercent ? Round(double(v) / 100.0) : v;
        }
        }
        return 0;
    };
    int32_t w = resolve(Width, sourceWidth), h = resolve(Height, sourceHeight);
    if (w <= 0 && h > 0 && sourceHeight > 0)
        w = Round(sourceWidth / sourceHeight * double(h));
    else if (h <= 0 && w > 0 && sourceWidth > 0)
        h = Round(double(w) / (sourceWidth / sourceHeight));
    FIBITMAP* result = nullptr;
    if (w > 0 && h > 0) result = FreeImage_Rescale(Bitmap, w, h, FREE_IMAGE_FILTER(Filter));
    if (!result) return Bitmap;
    if (FreeSource) FreeImage_Unload(Bitmap);
    return result;
}

FIBITMAP* ShrinkByBlocks(FIBITMAP* Bitmap, int k) {
    if (!Bitmap || k < 2 || FreeImage_GetImageType(Bitmap) != FIT_BITMAP) return nullptr;
    const int bpp = int(FreeImage_GetBPP(Bitmap));
    if (bpp != 24 && bpp != 32) return nullptr;
    const int channels = bpp / 8;
    const int w = int(FreeImage_GetWidth(Bitmap)), h = int(FreeImage_GetHeight(Bitmap));
    const int outW = (w + k - 1) / k, outH = (h + k - 1) / k;
    FIBITMAP* out =
        FreeImage_Allocate(outW, outH, bpp, FreeImage_GetRedMask(Bitmap),
                           FreeImage_GetGreenMask(Bitmap), FreeImage_GetBlueMask(Bitmap));
    if (!out) return nullptr;
    std::vector<uint32_t> sums(std::size_t(outW) * std::size_t(channels));
    for (int oy = 0; oy < outH; ++oy) {
        std::fill(sums.begin(), sums.end(), 0u);
        const int rows = std::min(k, h - oy * k);
        for (int r = 0; r < rows; ++r) {
            const BYTE* in = FreeImage_GetScanLine(Bitmap, oy * k + r);
            uint32_t* sum = sums.data();
            for (int ox = 0; ox < outW; ++ox, sum += channels) {
                const int columns = std::min(k, w - ox * k);
                for (int c = 0; c < columns; ++c, in += channels)
                    for (int ch = 0; ch < channels; ++ch)
                        sum[ch] += in[ch];
            }
        }
        BYTE* row = FreeImage_GetScanLine(out, oy);
        const uint32_t* sum = sums.data();
        for (int ox = 0; ox < outW; ++ox, sum += channels, row += channels) {
            const uint32_t n = uint32_t(rows) * uint32_t(std::min(k, w - ox * k));
            for (int ch = 0; ch < channels; ++ch)
                row[ch] = BYTE((sum[ch] + n / 2) / n);
        }
    }
    return out;
}

int PaintBitmap(HDC hDC, FIBITMAP* Bitmap, int32_t x, int32_t y, int32_t Width, int32_t Height,
                int32_t xSrc, int32_t ySrc, int32_t SrcWidth, int32_t SrcHeight, int32_t Mirror,
                uint32_t RasterOp, int32_t StretchMode) {
    if (!hDC || !Bitmap || !hDC->lpBits()) return 0;
    if (SrcWidth == 0) SrcWidth = int32_t(FreeImage_GetWidth(Bitmap));
    if (Width == 0) Width = SrcWidth;
    if (SrcHeight == 0) SrcHeight = int32_t(FreeImage_GetHeight(Bitmap));
    if (Height == 0) Height = SrcHeight;
    constexpr int32_t kFlipVertical = 1, kFlipHorizontal = 2;
    if (Mirror & kFlipVertical) y += Height, Height = -Height;
    if (Mirror & kFlipHorizontal) x += Width, Width = -Width;
    // Through a 32-bit surface of the bitmap, with the raster semantics of the surfaces.
    cDIB source;
    const int w = int(FreeImage_GetWidth(Bitmap)), h = int(FreeImage_GetHeight(Bitmap));
    FIBITMAP* shown = MFreeImage_2::ToDisplayable(Bitmap);
    if (shown && source.Create(w, h, 32)) {
        MFreeImage_2::DrawBitmapToDC(shown, &source, w, h);
        source.Stretch(hDC, x, y, Width, Height, xSrc, ySrc, SrcWidth, SrcHeight, RasterOp,
                       StretchMode);
    }
    if (shown && shown != Bitmap) FreeImage_Unload(shown);
    return 0;
}

namespace {

// Rows of 32-bit pixels (`stride` bytes apart) copied one to one onto the
// target at (x, y), clipped by it.
void CopyAt(const uint8_t* bits, std::size_t stride, int32_t width, int32_t height, cDIB& target,
            int32_t x, int32_t y) {
    const int32_t left = std::max(x, 0), top = std::max(y, 0);
    const int32_t right = std::min(x + width, target.Width());
    const int32_t bottom = std::min(y + height, target.Height());
    if (right <= left || !target.lpBits() || target.bpp() != 32) return;
    for (int32_t row = top; row < bottom; ++row)
        std::memcpy(target.lpBits() + std::size_t(row) * std::size_t(target.BytesPerScanline()) +
                        std::size_t(left) * 4,
                    bits + std::size_t(row - y) * stride + std::size_t(left - x) * 4,
                    std::size_t(right - left) * 4);
}

void CopyAt(const cDIB& picture, cDIB& target, int32_t x, int32_t y) {
    CopyAt(picture.lpBits(), std::size_t(picture.BytesPerScanline()), picture.Width(),
           picture.Height(), target, x, y);
}

// The picture resampled (Lanczos) to `p`'s size and painted there.
void DrawScaled(const PictureBox& Source, PictureBox& Target, const Placement& p) {
    const StdPicture picture = Source.Image();
    if (UsablePicture(picture) && picture->Width() == p.width && picture->Height() == p.height) {
        if (Target.Surface().lpBits()) CopyAt(*picture, *Target.Image(), p.x, p.y);
        return; // already of the size shown
    }
    FIBITMAP* source =
        UsablePicture(picture) ? scratch.For(picture->Width(), picture->Height()) : nullptr;
    if (!source) return;
    CopyPicture(*picture, source);
    FIBITMAP* scaled = RescaleInBands(source, p.width, p.height);
    PaintBitmap(Target.hDC(), scaled ? scaled : source, p.x, p.y, 0, 0, 0, 0, 0, 0, 0, SRCCOPY,
                COLORONCOLOR);
    if (scaled) FreeImage_Unload(scaled);
}

// The picture resampled by Qt's smooth scaling to `p`'s size and painted there.
void DrawQuick(const cDIB& picture, cDIB& target, const Placement& p) {
    const QImage source(picture.lpBits(), picture.Width(), picture.Height(),
                        picture.BytesPerScanline(), QImage::Format_RGB32);
    const QImage scaled =
        source.scaled(p.width, p.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_RGB32);
    if (scaled.isNull()) return;
    CopyAt(scaled.constBits(), std::size_t(scaled.bytesPerLine()), scaled.width(), scaled.height(),
           target, p.x, p.y);
}

} // namespace

Placement DrawFitted(const PictureBox& Source, int32_t fullWidth, int32_t fullHeight,
                     PictureBox& Target, Resample how) {
    if (fullWidth <= 0 || fullHeight <= 0) fullWidth = Source.Width(), fullHeight = Source.Height();
    const Placement p = FitInBox(fullWidth, fullHeight, Target.Width(), Target.Height(), 0, true);
    Target.Cls();
    const StdPicture picture = Source.Image();
    if (!UsablePicture(picture) || p.width <= 0 || p.height <= 0 || !Target.Surface().lpBits())
        return p;
    if (how == Resample::Quick && (picture->Width() != p.width || picture->Height() != p.height))
        DrawQuick(*picture, *Target.Image(), p);
    else
        DrawScaled(Source, Target, p);
    return p;
}

Placement ScaleImageToBox(const PictureBox& Source, PictureBox& Target, int16_t Margin,
                          bool Centre) {
    const Placement p =
        FitInBox(Source.Width(), Source.Height(), Target.Width(), Target.Height(), Margin, Centre);
    Target.Cls();
    DrawScaled(Source, Target, p);
    return p;
}

void StretchImageTo(const PictureBox& Source, PictureBox& Target) {
    Target.Cls();
    DrawScaled(Source, Target, {0, 0, Target.Width(), Target.Height()});
}

} // namespace mScaleImage
