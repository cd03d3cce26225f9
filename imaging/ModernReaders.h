// Readers for the formats today's phones and cameras write, which FreeImage
// does not read well or at all: HEIF/HEIC and AVIF (libheif), JPEG XL
// (libjxl) and camera RAW (the camera's embedded preview where a full
// develop would be slow). They run before FreeImage and land their picture
// on the load surface under the same limits. Each reader knows its files by
// their bytes; a name's extension alone never makes a file one of theirs.
#pragma once

#include "imaging/MFreeImage_2.h"
#include "imaging/PictureBox.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace ModernReaders {

enum class Outcome {
    NotMine,  // not one of these formats: FreeImage and Qt's readers go on
    Loaded,   // decoded onto the surface
    TooLarge, // past the size limits: a failed load
    Refused,  // one of these formats, but damaged: a failed load
};

struct Landed {
    Outcome outcome = Outcome::NotMine;
    int fullWidth = 0, fullHeight = 0; // the original's size, upright
    bool embeddedPreview = false;      // a camera's embedded preview, not its raw data developed
};

// Decodes `bytes` onto `whole` when they hold one of these formats, upright,
// shrunk as far as ShrinkOnLoad allows for `box` (a 0 x 0 box wants the whole
// picture). `whole` is left as it was unless the outcome is Loaded.
Landed Load(std::span<const uint8_t> bytes, const std::string& FileName, MFreeImage_2::Box box,
            PictureBox& whole);

// The extensions of the files these readers take besides FreeImage's and Qt's
// (the filter list's rows for them; files are still known by their bytes).
inline constexpr std::string_view kExtensions[] = {"heic", "heif", "avif", "jxl"};

// Sets up the libraries once (libheif's decoders); the confined helper calls
// it before its confinement, while the libraries can still look around.
void Prepare();

// For the readers themselves.
namespace Land {

// A picture of `width` x `height` may be held as a surface.
bool Fits(int64_t width, int64_t height);

// The whole factor a picture of `width` x `height`, upright, is shrunk by
// block means as it is landed for `box` (ShrinkOnLoad's policy).
int ShrinkFactor(int width, int height, MFreeImage_2::Box box);

// `width` x `height` pixels of 8-bit red, green, blue (and alpha when
// `channels` is 4, straight or `premultiplied`), rows `stride` bytes apart,
// onto `whole`, each alpha laid over its background, each `shrink` x
// `shrink` block as one pixel (its mean). False, with `whole` untouched, when
// its surface cannot be had.
bool Pixels(const uint8_t* pixels, std::size_t stride, int channels, bool premultiplied, int width,
            int height, int shrink, PictureBox& whole);

} // namespace Land

} // namespace ModernReaders
