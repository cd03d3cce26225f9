// Expands the LZW image data of one GIF frame into palette indices, written
// into the frame's 8-bit surface. Each call has its own string table, so
// frames decode on several threads at once. gif/README.md walks through a
// tiny stream byte by byte.
#pragma once

#include "imaging/cDIB.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

namespace mGIFLZWDec {

// Scratch memory up to this size stays with a thread between frames, so that
// frame after frame of an animation does not map fresh pages; more is
// released when the frame is done, however decoding ended.
constexpr std::size_t kMaxKeptScratchBytes = std::size_t(16) << 20;
// The scratch memory the calling thread's decoder holds now.
std::size_t KeptScratchBytes();

// Frames the calling thread has decoded (each call that reached the codes).
uint64_t DecodesOnThisThread();

// Kept for callers of the earlier module-wide tables; it does nothing now.
void InitDecoder();

// Decodes `data` (the frame's sub-blocks joined, length bytes removed) into
// `dib`, which must be an 8-bit surface of the frame's size, new (all zero).
// Pixels the stream never reaches stay as they were; on a surface whose rows
// have no padding, up to 16 of them just past the last pixel written are set
// to zero, which is what a new surface holds. Damaged data never makes it read or write
// outside `data` and `dib`; decoding stops at the end code, at the end of the
// data, at the first meaningless code, or once the last row is written.
void DecodeToDIB(cDIB& dib, bool interlaced, uint8_t minCodeSize, std::span<const uint8_t> data);

// The same, reading the data in place from a sub-block sequence that starts
// at its first length byte (the stream may end early or at the terminator).
// Once `stop` (when given) is set, decoding ends at the next clear code
// (encoders write one at least every 4096 codes), leaving what it wrote.
void DecodeSubBlocksToDIB(cDIB& dib, bool interlaced, uint8_t minCodeSize,
                          std::span<const uint8_t> subBlocks,
                          const std::atomic<bool>* stop = nullptr);

} // namespace mGIFLZWDec
