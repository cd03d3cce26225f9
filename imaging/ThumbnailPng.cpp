#include "imaging/ThumbnailPng.h"

#include <FreeImage.h>
#include <QBuffer>
#include <QImageWriter>
#include <cstdint>
#include <string_view>

namespace {

constexpr std::string_view kSignature = "\x89PNG\r\n\x1a\n";
constexpr std::size_t kChunkFrame = 12; // length, type and CRC around a chunk's data
constexpr std::size_t kHeaderData = 13; // IHDR's data, always the first chunk
constexpr std::size_t kAfterHeader = kSignature.size() + kChunkFrame + kHeaderData;
constexpr std::size_t kMaxKeyBytes = 79;

// The PNG's CRC-32 (zlib's), through the zlib FreeImage carries.
uint32_t Crc(std::string_view bytes) {
    return FreeImage_ZLibCRC32(0, reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())),
                               DWORD(bytes.size()));
}

void AppendBigEndian(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += char((value >> shift) & 0xFF);
}

// One tEXt chunk: the key, a NUL, the text, uncompressed.
std::string TextChunk(const ThumbnailPng::Key& key) {
    const std::string data = key.first + '\0' + key.second;
    std::string chunk;
    AppendBigEndian(chunk, uint32_t(data.size()));
    const std::string typed = "tEXt" + data;
    chunk += typed;
    AppendBigEndian(chunk, Crc(typed));
    return chunk;
}

bool Holdable(const ThumbnailPng::Key& key) {
    return !key.first.empty() && key.first.size() <= kMaxKeyBytes &&
           key.first.find('\0') == std::string::npos && key.second.find('\0') == std::string::npos;
}

} // namespace

namespace ThumbnailPng {

QByteArray Encode(const QImage& image, const std::vector<Key>& keys, int quality) {
    if (image.isNull()) return {};
    std::string chunks;
    for (const Key& key : keys) {
        if (!Holdable(key)) return {};
        chunks += TextChunk(key);
    }
    // A view of the pixels alone, so that no text the image carries is written.
    QImage bare(image.constBits(), image.width(), image.height(), image.bytesPerLine(),
                image.format());
    bare.setColorTable(image.colorTable());
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.setQuality(quality);
    if (!writer.write(bare) || std::size_t(bytes.size()) < kAfterHeader ||
        !bytes.startsWith(
            QByteArray::fromRawData(kSignature.data(), qsizetype(kSignature.size()))) ||
        bytes.mid(qsizetype(kSignature.size() + 4), 4) != "IHDR")
        return {};
    bytes.insert(qsizetype(kAfterHeader), chunks.data(), qsizetype(chunks.size()));
    return bytes;
}

} // namespace ThumbnailPng
