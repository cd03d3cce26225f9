// JPEG XL pictures through libjxl, on its thread pool: the first frame,
// turned upright by the file's orientation, its alpha laid over the
// background and its colours made sRGB (by libjxl for pictures coded in its
// own colour space, through ColourProfile for the others).
#pragma once

#include "imaging/ModernReaders.h"

namespace JxlReader {

// The bytes start with a JPEG XL codestream or the JPEG XL container's signature box.
bool Recognises(std::span<const uint8_t> bytes);

ModernReaders::Outcome Load(std::span<const uint8_t> bytes, MFreeImage_2::Box box,
                            PictureBox& whole, int& fullWidth, int& fullHeight);

} // namespace JxlReader
