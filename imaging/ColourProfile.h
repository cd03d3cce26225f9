// Colour management: pictures that carry an ICC profile are converted to
// sRGB, the colours the screen is taken to show, with LittleCMS 2 and the
// perceptual intent. Pictures without a profile are sRGB already. The still
// readers call it on the decoded picture, where they can once it is fitted to
// its box (a fraction of the original's pixels), in the helper process or on
// the in-process worker; it is thread-safe, and the conversions made for the
// last few profiles seen are kept for the pictures that follow.
#pragma once

#include "imaging/cDIB.h"

#include <cstdint>
#include <span>

namespace ColourProfile {

// Converts the 32-bit surface in place from the colours of `icc` to sRGB;
// the fourth byte of each pixel is kept; a large surface is converted in
// bands of rows on a thread a processor. False, with the surface untouched,
// when the profile is empty, damaged, not an RGB or grey profile of a device
// or colour space (CMYK pictures arrive converted to RGB by their decoder),
// or sRGB itself (no colour moves by more than a level).
bool ToSrgb(cDIB& surface, std::span<const uint8_t> icc);

} // namespace ColourProfile
