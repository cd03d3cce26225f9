// The bridge to FreeImage: finds a still image's format, decodes it, and
// paints it pixel for pixel onto the load surface, releasing FreeImage's
// bitmap at once. A picture with an embedded colour profile is converted to
// sRGB at the size it is shown at (ColourProfile). GIF files never come this
// way: the GIF codec's pictures carry no profile and are sRGB.
#pragma once

#include "imaging/PictureBox.h"

#include <FreeImage.h>
#include <span>
#include <string>

namespace MFreeImage_2 {

// Loads `FileName` (the file system's bytes) onto `PicLoad`, which takes the
// image's size. A file that cannot be identified or decoded, or whose picture
// would not fit in memory, leaves `PicLoad` as it was. True when it loaded.
bool LoadImageFile(const std::string& FileName, PictureBox& PicLoad);
// The same for a file's bytes already read; `FileName` names the format by
// its extension where the bytes do not.
bool LoadImageBytes(std::span<const uint8_t> bytes, const std::string& FileName,
                    PictureBox& PicLoad);

// The size a picture is wanted at: it is fitted into it (never enlarged); a
// box of 0 x 0 wants the whole picture.
struct Box {
    int width = 0, height = 0;
};

// What LoadImageFitted came to.
struct Fitted {
    bool loaded = false;
    int fullWidth = 0, fullHeight = 0; // the original's size, upright
    bool embeddedPreview = false;      // a camera's embedded preview, not its raw data developed
};

// The picture at the size shown: decoded as far shrunk as ShrinkOnLoad allows
// (a JPEG at a reduced DCT scale, the modern formats by block means) and
// resampled with the Lanczos filter to exactly its fit in `box`, never
// enlarged, onto `Shown`, which takes that size. Not loaded, with `Shown` as
// it was, when the file does not decode.
Fitted LoadImageFitted(std::span<const uint8_t> bytes, const std::string& FileName, Box box,
                       PictureBox& Shown);

// The same with every JPEG through FreeImage, as LoadImageFitted reads those
// its own JPEG reader leaves (JpegReader): the road that reader's pictures
// are measured against.
Fitted LoadImageFittedByFreeImage(std::span<const uint8_t> bytes, const std::string& FileName,
                                  Box box, PictureBox& Shown);

// A decoded picture (`decoded`, or `shown` made from it) of an original of
// `fullWidth` x `fullHeight`, wanted smaller than it is, resampled (Lanczos)
// to its fit in the box straight from the bitmap, so that the whole picture
// is never copied again; one many times its fit is first shrunk by block means.
// Transparency is kept: a palette with a transparency table becomes 32 bits
// first, whose alpha is laid over the background later as any other. `shown`
// comes back when there is nothing to do or it fails; one that is not
// `decoded` is released when replaced.
FIBITMAP* FittedToBox(FIBITMAP* shown, FIBITMAP* decoded, const Box& box, int fullWidth,
                      int fullHeight);

// The flags that make FreeImage's JPEG reader decode a JPEG whose longest
// side is `longestSide` at the DCT scale 1 / `factor` (1, 2, 4 or 8).
int JpegScaleFlags(int longestSide, int factor);

// Paints a FreeImage bitmap unscaled at (0, 0) onto a 32-bit surface: 1, 4, 8,
// 16 (5-5-5 or 5-6-5), 24 and 32 bits per pixel, rows bottom-up as FreeImage
// keeps them, colour tables applied. Alpha, of 32-bit pixels or of palette
// entries (a transparency table), is laid over what the surface holds.
// Returns the number of rows drawn.
int DrawBitmapToDC(FIBITMAP* Bitmap, HDC hDC, int Width, int Height);

// A bitmap of a type no screen shows (16 bits a channel, integers, floating
// point) as a 24 or 32-bit one, tone-mapped where needed; null when it cannot
// be converted. Standard bitmaps come back as they are.
FIBITMAP* ToDisplayable(FIBITMAP* Bitmap);

} // namespace MFreeImage_2
