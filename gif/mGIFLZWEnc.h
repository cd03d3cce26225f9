// Compresses the palette indices of one frame, read straight from its 8-bit
// surface, into GIF LZW data written as sub-blocks of up to 254 bytes (without
// the terminator). Strings are found in an open-addressing hash table of 5003
// slots (while no string has key 0, a plain set answers the same, faster);
// codes grow to 12 bits and a clear code follows a full table. Each call has
// its own tables, so frames encode on several threads at once.
#pragma once

#include "gif/ByteSink.h"
#include "imaging/cDIB.h"

#include <cstdint>

namespace mGIFLZWEnc {

// Kept for callers of the earlier module-wide tables; it does nothing now.
void InitEncoder();

// False (with nothing sound written) when the surface is not an 8-bit surface
// with pixels, the initial width is outside 2 to 9 bits, or a pixel's index does
// not fit the code size. The sink's own failure is the caller's to check.
bool EncodeFromDIB(ByteSink& out, const cDIB& dib, uint8_t initialWidth, bool interlaced);

} // namespace mGIFLZWEnc
