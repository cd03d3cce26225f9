// Colour management: pictures that carry an ICC profile are converted to
// sRGB, the colours the screen is taken to show, with LittleCMS 2 and the
// perceptual intent. Pictures without a profile are sRGB already.
#pragma once

#include "imaging/cDIB.h"

#include <cstdint>
#include <span>

namespace ColourProfile {

// Converts the 32-bit surface in place from the colours of `icc` to sRGB.
// False, with the surface untouched, when the profile is empty, damaged,
// not an RGB or grey display profile, or sRGB itself.
bool ToSrgb(cDIB& surface, std::span<const uint8_t> icc);

} // namespace ColourProfile
