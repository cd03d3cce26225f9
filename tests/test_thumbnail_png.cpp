// The thumbnails' PNG read back: ThumbnailPng::ReadRgb against FreeImage,
// the reference reader, on PNGs that FreeImage and Qt write (every row
// filter, alpha, odd widths), the kinds it leaves to FreeImage, and damaged
// files. Real libraries, no files on disk.
#include "ThumbnailTestUtil.h"
#include "imaging/ThumbnailPng.h"

#include <FreeImage.h>
#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kBackground = 0x00123456;

// A picture of `w` x `h` and `bpp` bits (24 or 32) with smooth parts, noise
// and edges, so that a PNG writer's adaptive filters take every kind.
FIBITMAP* Mixed(int w, int h, int bpp) {
    FIBITMAP* b = FreeImage_Allocate(w, h, bpp);
    std::mt19937 random(uint32_t(w * 131 + h));
    const int step = bpp / 8;
    for (int y = 0; y < h; ++y) {
        BYTE* row = FreeImage_GetScanLine(b, y);
        for (int x = 0; x < w; ++x, row += step) {
            const bool noisy = (x / 16 + y / 16) % 3 == 0;
            row[FI_RGBA_RED] = BYTE(noisy ? random() : x * 255 / w);
            row[FI_RGBA_GREEN] = BYTE(noisy ? random() : y * 255 / h);
            row[FI_RGBA_BLUE] = BYTE(x % 7 == 0 ? 0xFF : (x ^ y));
            if (step == 4) row[FI_RGBA_ALPHA] = BYTE(y % 5 == 0 ? 0xFF : x * 3 + y);
        }
    }
    return b;
}

QByteArray SavedByFreeImage(FIBITMAP* b, int flags) {
    FIMEMORY* memory = FreeImage_OpenMemory();
    EXPECT_TRUE(FreeImage_SaveToMemory(FIF_PNG, b, memory, flags));
    BYTE* data = nullptr;
    DWORD size = 0;
    FreeImage_AcquireMemory(memory, &data, &size);
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    FreeImage_CloseMemory(memory);
    FreeImage_Unload(b);
    return bytes;
}

// `png` with a chunk of `type` and `data` put right after its header.
QByteArray WithChunk(QByteArray png, const char* type, const QByteArray& data) {
    constexpr int kAfterHeader = 33; // the signature and IHDR
    QByteArray chunk;
    for (int shift = 24; shift >= 0; shift -= 8)
        chunk += char((data.size() >> shift) & 0xFF);
    QByteArray typed = QByteArray(type) + data;
    const uint32_t crc =
        FreeImage_ZLibCRC32(0, reinterpret_cast<BYTE*>(typed.data()), DWORD(typed.size()));
    chunk += typed;
    for (int shift = 24; shift >= 0; shift -= 8)
        chunk += char((crc >> shift) & 0xFF);
    return png.insert(kAfterHeader, chunk);
}

} // namespace

// The thumbnails' own PNG reader gives FreeImage's pixels exactly, for RGB
// and RGBA of 8 bits written by FreeImage (every row filter) and by Qt, of
// any width; it leaves every other kind to FreeImage (palette, grey, 16
// bits, interlaced, a transparent colour) and refuses what is damaged.
TEST(ThumbnailPng, ReadsWhatFreeImageReads) {
    struct Row {
        const char* what;
        QByteArray png;
        bool ours;
    };
    QImage argb(37, 23, QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            argb.setPixel(x, y, qRgba(x * 7, y * 11, (x * y) & 0xFF, (x * 13 + y * 5) & 0xFF));
    // Smooth with a little grain, as a photo's thumbnail: its rows filtered
    // Up and Average.
    QImage grain(1024, 683, QImage::Format_RGB32);
    std::mt19937 random(7);
    for (int y = 0; y < grain.height(); ++y)
        for (int x = 0; x < grain.width(); ++x) {
            const unsigned g = random() & 7;
            grain.setPixel(x, y,
                           qRgb((x / 4 + g) & 0xFF, (y / 3 + g) & 0xFF, ((x + y) / 32 + g) & 0xFF));
        }
    QImage grey = argb.convertToFormat(QImage::Format_Grayscale8);
    QImage indexed = argb.convertToFormat(QImage::Format_RGB32)
                         .convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    QImage deep = argb.convertToFormat(QImage::Format_RGBA64);
    FIBITMAP* colours = Mixed(40, 30, 24);
    FIBITMAP* keyed = FreeImage_ColorQuantize(colours, FIQ_WUQUANT);
    FreeImage_Unload(colours);
    BYTE transparency[256];
    std::fill(std::begin(transparency), std::end(transparency), BYTE(0xFF));
    transparency[3] = 0;
    FreeImage_SetTransparencyTable(keyed, transparency, 256);
    const std::vector<Row> rows = {
        {"RGB 1 x 1", SavedByFreeImage(Mixed(1, 1, 24), 0), true},
        {"RGB 3 x 200", SavedByFreeImage(Mixed(3, 200, 24), 0), true},
        {"RGB 1024 x 683", SavedByFreeImage(Mixed(1024, 683, 24), PNG_Z_BEST_SPEED), true},
        {"RGB 257 x 64, best compression", SavedByFreeImage(Mixed(257, 64, 24), 9), true},
        {"RGBA 513 x 71", SavedByFreeImage(Mixed(513, 71, 32), 0), true},
        {"RGB by Qt", ThumbnailPng::Encode(argb.convertToFormat(QImage::Format_RGB32), {}, 80),
         true},
        {"RGBA by Qt", ThumbnailPng::Encode(argb, {}, 50), true},
        {"a photo's by Qt", ThumbnailPng::Encode(grain, {}, 80), true},
        {"a photo's with alpha by Qt",
         ThumbnailPng::Encode(grain.convertToFormat(QImage::Format_ARGB32), {}, 80), true},
        {"interlaced", SavedByFreeImage(Mixed(64, 48, 24), PNG_INTERLACED), false},
        {"palette", ThumbnailPng::Encode(indexed, {}, 50), false},
        {"palette with a transparent entry", SavedByFreeImage(keyed, 0), false},
        {"RGB with a transparent colour",
         WithChunk(ThumbnailPng::Encode(grain, {}, 80), "tRNS", QByteArray("\0\1\0\2\0\3", 6)),
         false},
        {"grey", ThumbnailPng::Encode(grey, {}, 50), false},
        {"16 bits a channel", ThumbnailPng::Encode(deep, {}, 50), false},
    };
    ThumbnailPng::ReadBuffers buffers;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_FALSE(row.png.isEmpty());
        const auto* bytes = reinterpret_cast<const uint8_t*>(row.png.constData());
        PictureBox picture;
        picture.SetBackColor(kBackground);
        const bool read =
            ThumbnailPng::ReadRgb({bytes, std::size_t(row.png.size())}, 2048, picture, buffers);
        EXPECT_EQ(read, row.ours);
        if (read) {
            EXPECT_EQ(
                FirstDifference(picture.Surface(), ReadByFreeImage(row.png, kBackground).Surface()),
                "");
        }
        if (!row.ours) continue;
        // Damaged: cut short, a byte of the image data changed (its CRC),
        // wider than allowed.
        const std::size_t size = std::size_t(row.png.size());
        EXPECT_FALSE(ThumbnailPng::ReadRgb({bytes, size - 20}, 2048, picture, buffers));
        QByteArray changed = row.png;
        changed[changed.size() - 20] = char(~changed[changed.size() - 20]);
        EXPECT_FALSE(ThumbnailPng::ReadRgb(
            {reinterpret_cast<const uint8_t*>(changed.constData()), size}, 2048, picture, buffers));
        EXPECT_FALSE(ThumbnailPng::ReadRgb({bytes, size}, 0, picture, buffers));
    }
}
