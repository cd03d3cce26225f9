// The bytes and bits of the GIF format that the reader, the writer and the
// codecs share: block introducers and labels, the flag bits of the packed
// fields, and the row order of interlaced frames. One name for each.
#pragma once

#include <cstdint>

namespace GifFormat {

// Blocks.
constexpr uint8_t kExtensionIntroducer = 0x21;
constexpr uint8_t kImageSeparator = 0x2C;
constexpr uint8_t kTrailer = 0x3B;
constexpr uint8_t kGraphicControlLabel = 0xF9;
constexpr uint8_t kApplicationLabel = 0xFF;
constexpr uint8_t kGraphicControlSize = 4; // the one sub-block of a graphic control extension
constexpr uint8_t kBlockTerminator = 0;

// The logical screen's packed byte.
constexpr uint8_t kGlobalTableFlag = 0x80;
constexpr uint8_t kSortFlag = 0x08;
constexpr uint8_t kTableSizeMask = 0x07;
constexpr int kColorResolutionShift = 4;

// The image descriptor's packed byte.
constexpr uint8_t kLocalTableFlag = 0x80;
constexpr uint8_t kInterlaceFlag = 0x40;
constexpr uint8_t kLocalSortFlag = 0x20;

// The graphic control extension's packed byte.
constexpr uint8_t kDisposalMask = 0x1C;
constexpr int kDisposalShift = 2;
constexpr uint8_t kUserInputFlag = 0x02;
constexpr uint8_t kTransparentFlag = 0x01;

// Interlaced frames store their rows in four passes: the first row and the
// step of each.
constexpr int kInterlacePasses = 4;
constexpr int kInterlaceFirst[kInterlacePasses] = {0, 4, 2, 1};
constexpr int kInterlaceStep[kInterlacePasses] = {8, 8, 4, 2};

} // namespace GifFormat
