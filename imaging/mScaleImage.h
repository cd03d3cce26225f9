// Draws the decoded still image into the preview, shrunk to fit with its
// aspect ratio kept, never enlarged, centred: the picture is copied to a
// FreeImage bitmap, resampled with the Lanczos filter to the exact size and
// copied one to one onto the target. Used after every still-image selection
// and whenever the preview pane changes size.
#pragma once

#include "imaging/PictureBox.h"
#include "imaging/mFit.h"

#include <FreeImage.h>
#include <optional>

namespace mScaleImage {

constexpr uint32_t kLanczos3 = FILTER_LANCZOS3;

// Where an image of `w` x `h` lands in a target of the given inner size (the
// one fit rule, mFit's, which every road asks).
using mFit::FitInBox;
using mFit::Placement;

// Clears `Target` and draws `Source` into it; returns where it was drawn.
Placement ScaleImageToBox(const PictureBox& Source, PictureBox& Target, int16_t Margin,
                          bool Centre);

// How a picture is drawn fitted: `Exact` resamples with the Lanczos filter;
// `Quick` with Qt's smooth scaling, a few milliseconds for a screen-sized
// picture, for a pane whose size is changing (the exact picture follows).
enum class Resample { Exact, Quick };

// Clears `Target` and draws `Source`, a picture of an original of
// `fullWidth` x `fullHeight` (perhaps reduced), where the original fits into
// the target: shrunk to fit, never enlarged past its full size, centred. A
// source already of the fitted size is copied as it is.
Placement DrawFitted(const PictureBox& Source, int32_t fullWidth, int32_t fullHeight,
                     PictureBox& Target, Resample how);

// Clears `Target` and draws `Source` over all of it, resampled to its size
// whatever the aspect (for a picture decoded at a reduced scale, whose
// fitted size comes from the original's).
void StretchImageTo(const PictureBox& Source, PictureBox& Target);

// A new bitmap with a copy of the picture's pixels (24 bits, FreeImage's row
// order), or null.
FIBITMAP* BitmapFromPicture(const StdPicture& Picture);

// A size for RescaleBitmap: omitted, a number of pixels, or a factor of the
// source's size (a percentage when `AsPercent`).
struct ScaleSize {
    enum class Kind { Omitted, Pixels, Factor } kind = Kind::Omitted;
    double value = 0;
    static ScaleSize Pixels(int32_t v) { return {Kind::Pixels, double(v)}; }
    static ScaleSize Factor(double v) { return {Kind::Factor, v}; }
};

// The bitmap resampled to the size asked for (one side alone keeps the aspect
// ratio); the source is released when a new bitmap was made and `FreeSource`.
// With no size, or when resampling fails, the source comes back unchanged.
FIBITMAP* RescaleBitmap(FIBITMAP* Bitmap, ScaleSize Width, ScaleSize Height, bool AsPercent,
                        bool FreeSource, uint32_t Filter);

// A bitmap of 8-bit channels (24 or 32 bits) shrunk by a whole factor `k`:
// each pixel the mean of a k x k block (those at the right and bottom edges
// of the blocks that are there). A cheap first step before resampling a
// large picture to a small size; null for other bitmaps or a factor below 2.
FIBITMAP* ShrinkByBlocks(FIBITMAP* Bitmap, int k);

// Copies the bitmap (or its part from xSrc, ySrc) onto the target at (x, y),
// stretched to Width x Height; sizes of 0 mean the source's. Clipped by the
// target. Mirror bit 1 flips vertically, bit 2 horizontally. Always 0.
int PaintBitmap(HDC hDC, FIBITMAP* Bitmap, int32_t x, int32_t y, int32_t Width, int32_t Height,
                int32_t xSrc, int32_t ySrc, int32_t SrcWidth, int32_t SrcHeight, int32_t Mirror,
                uint32_t RasterOp, int32_t StretchMode);

} // namespace mScaleImage
