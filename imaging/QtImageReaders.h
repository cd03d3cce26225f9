// The second reader of still images: Qt's image readers (with the desktop's
// image format plugins), for valid files FreeImage cannot identify or decode.
// The picture lands on the load surface under the same rules as FreeImage's:
// the size is checked before any pixels are allocated, an EXIF orientation is
// applied, and alpha is laid over the surface's background.
#pragma once

#include "imaging/PictureBox.h"

#include <span>
#include <string>
#include <vector>

// True when the file's bytes were decoded onto `PicLoad`; otherwise `PicLoad`
// is left as it was. `FileName` only names the format by its extension. The
// pixels keep the file's colours: `icc` receives the picture's colour
// profile (empty when it has none) for the caller to convert to sRGB once
// the picture has the size it is shown at.
bool LoadWithQtReaders(std::span<const uint8_t> bytes, const std::string& FileName,
                       PictureBox& PicLoad, std::vector<uint8_t>& icc);

// The EXIF orientation (1 to 8) that Qt's readers find in a file's header,
// for formats whose orientation FreeImage does not report (TIFF); 1 when
// there is none. Reads the header only.
int OrientationFromQtReaders(std::span<const uint8_t> bytes);
