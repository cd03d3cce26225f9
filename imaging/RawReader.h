// Camera RAW files through LibRaw (the library FreeImage reads them with).
// For a picture wanted in a box, the camera's embedded JPEG preview is shown
// when it covers the box's fit: a few milliseconds against a second or more
// of developing the raw data. Otherwise the raw data is developed with the
// camera's white balance, at half size (each 2 x 2 block of sensor cells one
// pixel: about a quarter of a full develop's time) for the whole picture and
// wherever half size still covers the fit. The whole picture is thus half the
// sensor's sides: more pixels than a screen shows, and a 50 MP file stays
// within the helper's CPU time for a picture, which a full develop may not.
#pragma once

#include "imaging/ModernReaders.h"

namespace RawReader {

// FreeImage identifies the bytes as a camera RAW file, or the name has one
// of the RAW extensions FreeImage knows and its RAW reader takes the bytes
// (most RAW formats are TIFF files inside; a plain TIFF is not one).
bool Recognises(std::span<const uint8_t> bytes, const std::string& FileName);

// `shownPreview` tells whether the picture is the embedded preview.
ModernReaders::Outcome Load(std::span<const uint8_t> bytes, MFreeImage_2::Box box,
                            PictureBox& whole, int& fullWidth, int& fullHeight, bool& shownPreview);

} // namespace RawReader
