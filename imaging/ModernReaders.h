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

// Decodes `bytes` onto `whole` when they hold one of these formats, at least
// as large as its fit in `box` (a 0 x 0 box wants the whole picture), upright.
// The original's size, upright, goes to `fullWidth` x `fullHeight`. `whole`
// is left as it was unless the outcome is Loaded.
Outcome Load(std::span<const uint8_t> bytes, const std::string& FileName, MFreeImage_2::Box box,
             PictureBox& whole, int& fullWidth, int& fullHeight);

// The extensions of the files these readers take besides FreeImage's and Qt's
// (the filter list's rows for them; files are still known by their bytes).
inline constexpr std::string_view kExtensions[] = {"heic", "heif", "avif", "jxl"};

// True when the last Load on this thread showed a camera's embedded preview
// rather than a picture developed from its raw data.
bool ShownEmbeddedPreview();

// Sets up the libraries once (libheif's decoders); the confined helper calls
// it before its confinement, while the libraries can still look around.
void Prepare();

// For the readers themselves.
namespace Land {

// A picture of `width` x `height` may be held as a surface.
bool Fits(int64_t width, int64_t height);

// The whole factor a picture of `width` x `height` may be shrunk by while it
// is landed and still be well above its fit in `box` (1 for the whole
// picture, or when it is not much larger than the box).
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
