#include "imaging/ColourProfile.h"

namespace ColourProfile {

bool ToSrgb(cDIB&, std::span<const uint8_t>) {
    return false;
}

} // namespace ColourProfile
