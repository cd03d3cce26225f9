// A thumbnail's PNG: the pixels written by Qt, the text keys added as plain
// tEXt chunks by hand. Qt's writer compresses a long text into a zTXt chunk,
// and the desktop's libraries (GLib's check of a thumbnail among them) read a
// thumbnail's Thumb::URI and Thumb::MTime from tEXt chunks only; it would
// also split a key at its first ':'. No widgets.
#pragma once

#include <QByteArray>
#include <QImage>
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

} // namespace ThumbnailPng
