#include "imaging/ModernReaders.h"

namespace ModernReaders {

Outcome Load(std::span<const uint8_t>, const std::string&, MFreeImage_2::Box, PictureBox&, int&,
             int&) {
    return Outcome::NotMine;
}

} // namespace ModernReaders
