// HEIF pictures (HEIC from phones, AVIF from the web) through libheif: the
// primary image with the file's own transforms (rotation, mirroring, crop)
// applied, its alpha laid over the background, its embedded ICC profile
// converted to sRGB. An EXIF Orientation inside a HEIF file is not applied:
// the file's transforms already say how the picture stands. For a small box
// the primary image's thumbnail is decoded instead when it covers the fit.
#pragma once

#include "imaging/ModernReaders.h"

namespace HeifReader {

// The bytes start with an ISO media `ftyp` box naming a HEIF or AVIF still-picture brand.
bool Recognises(std::span<const uint8_t> bytes);

ModernReaders::Outcome Load(std::span<const uint8_t> bytes, MFreeImage_2::Box box,
                            PictureBox& whole, int& fullWidth, int& fullHeight);

// libheif's set-up (its decoder plugins), done once.
void Prepare();

} // namespace HeifReader
