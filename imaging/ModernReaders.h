// Readers for the formats today's phones and cameras write, which FreeImage
// does not read well or at all: HEIF/HEIC and AVIF (libheif), JPEG XL
// (libjxl) and camera RAW (the camera's embedded preview where a full
// develop would be slow). They run before FreeImage and land their picture
// on the load surface under the same limits.
#pragma once

#include "imaging/MFreeImage_2.h"
#include "imaging/PictureBox.h"

#include <span>
#include <string>

namespace ModernReaders {

enum class Outcome {
    NotMine,  // not one of these formats: FreeImage and Qt's readers go on
    Loaded,   // decoded onto the surface
    TooLarge, // past the size limits: a failed load
    Refused,  // one of these formats, but damaged: a failed load
};

// Decodes `bytes` onto `whole` when they hold one of these formats, at least
// as large as its fit in `box` (a 0 x 0 box wants the whole picture), upright.
// The original's size, upright, goes to `fullWidth` x `fullHeight`.
Outcome Load(std::span<const uint8_t> bytes, const std::string& FileName, MFreeImage_2::Box box,
             PictureBox& whole, int& fullWidth, int& fullHeight);

} // namespace ModernReaders
