// The eight ways a picture can lie, numbered as EXIF's Orientation tag
// numbers them (1 upright ... 8), the turns a person asks for, and how they
// combine; and the Orientation tag found and set in a JPEG file's bytes.
// The standard library only.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// A turn of the picture as it is shown.
enum class Turn { Left, Right, FlipHorizontal, FlipVertical, Half };

namespace Orientation {

// The orientation a file must carry for its shown picture to be the one
// shown now (under `orientation`) turned by `turn`.
int After(int orientation, Turn turn);
// The turn that undoes `turn`.
Turn Inverse(Turn turn);

// The Orientation tag of a JPEG's EXIF segment: 1 to 8, or nothing when the
// file has no EXIF segment, no such tag or a value out of range.
std::optional<int> ReadJpeg(const std::vector<uint8_t>& jpeg);
// The Orientation tag in the payload of an APP1 segment as it follows its
// length ("Exif\0\0" and TIFF data): 1 to 8, or nothing when there is none
// or it is damaged.
std::optional<int> ReadExif(std::span<const uint8_t> app1);
// Sets the Orientation tag in place (the tag's value only, every other byte
// kept); where there is no EXIF segment, one holding only the tag is put
// after the SOI and any JFIF segment. False for bytes that are no JPEG, or an
// EXIF segment that cannot take the tag.
bool WriteJpeg(std::vector<uint8_t>& jpeg, int orientation);

} // namespace Orientation
