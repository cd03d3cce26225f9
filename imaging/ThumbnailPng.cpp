#include "imaging/ThumbnailPng.h"

#include "imaging/AlphaOver.h"

#include <FreeImage.h>
#include <QBuffer>
#include <QImageWriter>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <libdeflate.h>
#include <new>
#include <string_view>
#include <vector>

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

uint32_t BigEndian(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// A chunk's type, four letters.
constexpr uint32_t Type(const char (&name)[5]) {
    return uint32_t(uint8_t(name[0])) << 24 | uint32_t(uint8_t(name[1])) << 16 |
           uint32_t(uint8_t(name[2])) << 8 | uint8_t(name[3]);
}

// What the header says, for the kinds ReadRgb takes.
constexpr uint8_t kBitDepth = 8;
constexpr uint8_t kColourRgb = 2, kColourRgba = 6;
constexpr uint32_t kMaxChunk = 0x7FFFFFFF; // the largest length a chunk may give

// The PNG's row filters, undone in place: `row` holds `bytes` filtered
// bytes, `prior` the row above unfiltered (zeros above the first), `bpp`
// bytes a pixel (the first pixel has nothing to its left). False for a
// filter type that is none of the five.
bool Unfilter(uint8_t filter, uint8_t* row, const uint8_t* prior, std::size_t bytes,
              std::size_t bpp) {
    switch (filter) {
    case 0: // None
        return true;
    case 1: // Sub
        for (std::size_t i = bpp; i < bytes; ++i)
            row[i] = uint8_t(row[i] + row[i - bpp]);
        return true;
    case 2: // Up
        for (std::size_t i = 0; i < bytes; ++i)
            row[i] = uint8_t(row[i] + prior[i]);
        return true;
    case 3: // Average
        for (std::size_t i = 0; i < bpp; ++i)
            row[i] = uint8_t(row[i] + (prior[i] >> 1));
        for (std::size_t i = bpp; i < bytes; ++i)
            row[i] = uint8_t(row[i] + ((unsigned(row[i - bpp]) + prior[i]) >> 1));
        return true;
    case 4: // Paeth
        for (std::size_t i = 0; i < bpp; ++i)
            row[i] = uint8_t(row[i] + prior[i]);
        for (std::size_t i = bpp; i < bytes; ++i) {
            const int a = row[i - bpp], b = prior[i], c = prior[i - bpp];
            const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
            row[i] = uint8_t(row[i] + (pa <= pb && pa <= pc ? a : pb <= pc ? b : c));
        }
        return true;
    default:
        return false;
    }
}

// The zlib stream `data` inflated into exactly `raw`'s bytes, its checksum
// checked: libdeflate, a whole buffer at once, in about half of zlib's time.
bool Inflate(const std::vector<uint8_t>& data, std::vector<uint8_t>& raw) {
    libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
    if (!inflater) return false;
    std::size_t written = 0;
    const libdeflate_result result = libdeflate_zlib_decompress(inflater, data.data(), data.size(),
                                                                raw.data(), raw.size(), &written);
    libdeflate_free_decompressor(inflater);
    return result == LIBDEFLATE_SUCCESS && written == raw.size();
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

bool ReadRgb(std::span<const uint8_t> png, int maxSide, PictureBox& picture, ReadBuffers& buffers) {
    // The signature, then IHDR first: 13 bytes of width, height, bit depth,
    // colour type, compression, filter method and interlacing.
    if (png.size() < kAfterHeader + 4 ||
        std::memcmp(png.data(), kSignature.data(), kSignature.size()) != 0 ||
        BigEndian(png.data() + kSignature.size()) != kHeaderData ||
        BigEndian(png.data() + kSignature.size() + 4) != Type("IHDR"))
        return false;
    const uint8_t* header = png.data() + kSignature.size() + 8;
    const uint32_t width = BigEndian(header), height = BigEndian(header + 4);
    const uint8_t colour = header[9];
    if (width == 0 || height == 0 || width > uint32_t(maxSide) || height > uint32_t(maxSide) ||
        header[8] != kBitDepth || (colour != kColourRgb && colour != kColourRgba) ||
        header[10] != 0 || header[11] != 0 || header[12] != 0)
        return false;
    // The chunks up to IEND, each whole and with its CRC checked where it
    // matters (the header, the image data); a transparent colour (tRNS) is
    // the general reader's.
    std::vector<uint8_t>& data = buffers.data;
    data.clear();
    data.reserve(png.size());
    bool ended = false;
    for (std::size_t at = kSignature.size(); !ended;) {
        if (png.size() - at < kChunkFrame) return false;
        const uint32_t length = BigEndian(png.data() + at);
        const uint32_t type = BigEndian(png.data() + at + 4);
        if (length > kMaxChunk || png.size() - at - kChunkFrame < length) return false;
        const auto* typed = reinterpret_cast<const char*>(png.data() + at + 4);
        if ((type == Type("IHDR") || type == Type("IDAT")) &&
            Crc(std::string_view(typed, length + 4)) != BigEndian(png.data() + at + 8 + length))
            return false;
        if (type == Type("tRNS")) return false;
        if (type == Type("IDAT"))
            data.insert(data.end(), png.data() + at + 8, png.data() + at + 8 + length);
        ended = type == Type("IEND");
        at += kChunkFrame + length;
    }
    // The image data inflated whole: a filter byte and the pixels of each row.
    const std::size_t bpp = colour == kColourRgba ? 4 : 3;
    const std::size_t stride = 1 + std::size_t(width) * bpp;
    const uint64_t rawBytes = uint64_t(stride) * height;
    std::vector<uint8_t>& raw = buffers.rows;
    try {
        raw.resize(std::size_t(rawBytes));
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (data.empty() || !Inflate(data, raw)) return false;
    if (!picture.SetSize(int32_t(width), int32_t(height))) return false;
    if (bpp == 4) picture.Cls(); // what alpha is laid over; RGB rows cover the surface
    const cDIB& surface = picture.Surface();
    const std::vector<uint8_t> zeros(stride - 1, 0);
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = raw.data() + std::size_t(y) * stride;
        const uint8_t* prior = y == 0 ? zeros.data() : row - stride + 1;
        if (!Unfilter(row[0], row + 1, prior, stride - 1, bpp)) return false;
        const uint8_t* in = row + 1;
        auto* out = reinterpret_cast<uint32_t*>(
            surface.lpBits() + std::size_t(y) * std::size_t(surface.BytesPerScanline()));
        if (bpp == 3)
            for (uint32_t x = 0; x < width; ++x, in += 3)
                out[x] = uint32_t(in[0]) << 16 | uint32_t(in[1]) << 8 | in[2];
        else
            for (uint32_t x = 0; x < width; ++x, in += 4)
                out[x] = AlphaOver(out[x], in[0], in[1], in[2], in[3]);
    }
    return true;
}

} // namespace ThumbnailPng
