// A thumbnail's PNG: the pixels written by Qt, the text keys added as plain
// tEXt chunks by hand. Qt's writer compresses a long text into a zTXt chunk,
// and the desktop's libraries (GLib's check of a thumbnail among them) read a
// thumbnail's Thumb::URI and Thumb::MTime from tEXt chunks only; it would
// also split a key at its first ':'. The pixels of the common kind (8-bit RGB
// or RGBA, not interlaced) are read back here, straight onto a surface, in
// about half of a general reader's time. No widgets.
#pragma once

#include "imaging/PictureBox.h"

#include <QByteArray>
#include <QImage>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace ThumbnailPng {

// A key and its text, Latin-1 both; the key 1 to 79 bytes, neither with a NUL.
using Key = std::pair<std::string, std::string>;

// The PNG of `image` (written at `quality`, Qt's scale: zlib's level) with
// `keys` as tEXt chunks right after the header, and no other text; empty when
// it cannot be written or a key is not one a PNG can hold.
QByteArray Encode(const QImage& image, const std::vector<Key>& keys, int quality);

// What ReadRgb works in, kept from one read to the next by a caller that
// reads many: fresh memory costs more to touch than the reading itself. At
// most a file's image data and its rows inflated.
struct ReadBuffers {
    std::vector<uint8_t> data, rows;
};

// Reads the pixels of a PNG of 8-bit RGB or RGBA, not interlaced and without
// a transparent colour, onto `picture` (which takes its size, at most
// `maxSide` on a side, and keeps its surface when it has that size already),
// alpha laid over the box's background: the image data inflated whole
// (libdeflate), each row unfiltered into the surface. False for any other
// PNG (a general reader's) and for one that is damaged (a chunk cut short,
// a CRC, the compressed data or a row's filter wrong); `picture` then holds
// nothing to show.
bool ReadRgb(std::span<const uint8_t> png, int maxSide, PictureBox& picture, ReadBuffers& buffers);

} // namespace ThumbnailPng
