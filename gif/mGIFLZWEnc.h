// Compresses the palette indices of one frame, read straight from its 8-bit
// surface, into GIF LZW data written as sub-blocks of up to 254 bytes (without
// the terminator). Strings are found in an open-addressing hash table of 5003
// slots; codes grow to 12 bits and a clear code follows a full table. One
// frame at a time: the tables are module-wide.
#pragma once

#include "gif/ByteSink.h"
#include "imaging/cDIB.h"

#include <cstdint>

namespace mGIFLZWEnc {

void InitEncoder();

// False (with nothing sound written) when the surface is not an 8-bit surface
// with pixels, the initial width is outside 2 to 9 bits, or a pixel's index does
// not fit the code size. The sink's own failure is the caller's to check.
bool EncodeFromDIB(ByteSink& out, const cDIB& dib, uint8_t initialWidth, bool interlaced);

} // namespace mGIFLZWEnc
