// JPEG pictures wanted at a box's size, read through libjpeg directly: decoded
// at the DCT scale ShrinkOnLoad gives, in one pass, into the 32-bit layout of
// the surfaces; turned upright by the EXIF Orientation tag; resampled with the
// Lanczos filter to their fit in the box; converted to sRGB from the embedded
// ICC profile at that size. The same picture as MFreeImage_2's JPEG road, in
// less time: no FreeImage bitmap of the decoded picture, no metadata read but
// the orientation and the profile. What this reader does not take (CMYK and
// YCCK, 12-bit samples, a damaged header, any libjpeg error) is left to that
// road, which then decodes the file as it always has.
#pragma once

#include "imaging/PictureBox.h"

#include <cstdint>
#include <span>

namespace JpegReader {

struct Landed {
    bool loaded = false;               // false: not taken, `Shown` as it was
    int fullWidth = 0, fullHeight = 0; // the original's size, upright
};

// The JPEG in `bytes` at its fit in a `boxWidth` x `boxHeight` box (both
// above 0), never enlarged, onto `Shown`, which takes that size.
Landed LoadFitted(std::span<const uint8_t> bytes, int boxWidth, int boxHeight, PictureBox& Shown);

// The EXIF Orientation (1 to 8) in a JPEG's APP1 Exif block as it follows its
// marker ("Exif\0\0" and a TIFF header); 1 when there is none or it is damaged.
int ExifOrientation(std::span<const uint8_t> app1);

} // namespace JpegReader
