// Writing a GIF document to a file.
#include "gif/ByteSink.h"
#include "gif/cGIF.h"
#include "gif/mGIFLZWEnc.h"

#include <cstdio>
#include <sys/stat.h>

namespace {

constexpr int kMinCodeSize = 2;

// Bits of the colour table size field for n entries: the smallest b >= 1 with
// 2^b >= n. 0 for counts no table can have (outside 2 to 256).
int TableSizeBits(int entries) {
    if (entries < 2 || entries > 256) return 0;
    int b = 1;
    while ((1 << b) < entries)
        ++b;
    return b;
}

// 2^bits entries of (red, green, blue) from a (blue, green, red, 0) palette;
// entries from `entries` on are written black.
void WriteColorTable(ByteSink& out, const uint8_t* palette, int entries, int bits) {
    uint8_t rgb[256 * 3] = {};
    for (int i = 0; i < entries; ++i) {
        rgb[3 * i] = palette[4 * i + 2];
        rgb[3 * i + 1] = palette[4 * i + 1];
        rgb[3 * i + 2] = palette[4 * i];
    }
    out.Write(rgb, std::size_t(3) << bits);
}

} // namespace

bool cGIF::Save(const std::string& FileName) {
    // Replace an existing file (or link); never delete a device, FIFO or folder.
    struct stat st {};
    if (::lstat(FileName.c_str(), &st) == 0 && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
        std::remove(FileName.c_str()); // a failure to delete is not an error
    FileSink out(FileName);
    if (out.Failed()) return false;
    auto fail = [&out] {
        out.Close();
        return false;
    };

    out.Write(reinterpret_cast<const uint8_t*>("GIF"), 3);
    out.Write(reinterpret_cast<const uint8_t*>(framesCount_ > 0 ? "89a" : "87a"), 3);

    int g = 0;
    if (globalPaletteExists_) {
        g = TableSizeBits(globalPaletteEntries_);
        if (g == 0) return fail();
    }
    out.Word(uint16_t(ScreenWidth()));
    out.Word(uint16_t(ScreenHeight()));
    const uint8_t screenFlags =
        g == 0 ? 0 : uint8_t(0x80 | ((g - 1) << 4) | (globalPaletteSorted_ ? 0x08 : 0) | (g - 1));
    out.Byte(screenFlags);
    out.Byte(ScreenBackgroundColorIndex());
    out.Byte(ScreenPixelAspectByte());
    if (g > 0) WriteColorTable(out, globalPalette_.data(), globalPaletteEntries_, g);

    if (framesCount_ > 0) {
        static const uint8_t loopHead[] = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S',  'C',
                                           'A',  'P',  'E',  '2', '.', '0', 0x03, 0x01};
        out.Write(loopHead, sizeof loopHead);
        out.Word(uint16_t(animationLoops_));
        out.Byte(0);
    }

    for (int n = 1; n <= framesCount_; ++n) {
        const Frame& f = F(n);
        out.Write(std::array<uint8_t, 3>{0x21, 0xF9, 0x04}.data(), 3);
        out.Byte(uint8_t((f.useTransparent ? 0x01 : 0) | (f.userInput ? 0x02 : 0) |
                         ((f.disposal & 0x07) << 2)));
        out.Word(uint16_t(f.delay));
        out.Byte(f.useTransparent ? uint8_t(f.transparentIndex) : 0);
        out.Byte(0);

        // A frame needs a table in force and pixels; otherwise no sound file can be written.
        const int l = f.localPaletteUsed ? TableSizeBits(f.localPaletteEntries) : 0;
        const int bits = f.localPaletteUsed ? l : g;
        if (bits == 0 || !f.image->lpBits() || f.image->Width() > 0xFFFF ||
            f.image->Height() > 0xFFFF)
            return fail();
        out.Byte(0x2C);
        out.Word(uint16_t(f.left));
        out.Word(uint16_t(f.top));
        out.Word(uint16_t(f.image->Width()));
        out.Word(uint16_t(f.image->Height()));
        out.Byte(uint8_t((bits - 1) | (f.localPaletteSorted ? 0x20 : 0) |
                         (f.interlaced ? 0x40 : 0) | (f.localPaletteUsed ? 0x80 : 0)));
        if (f.localPaletteUsed) WriteColorTable(out, f.palette.data(), f.localPaletteEntries, l);
        const int minCodeSize = bits < kMinCodeSize ? kMinCodeSize : bits;
        out.Byte(uint8_t(minCodeSize));
        if (!mGIFLZWEnc::EncodeFromDIB(out, *f.image, uint8_t(minCodeSize + 1), f.interlaced))
            return fail();
        out.Byte(0);
    }
    out.Byte(0x3B);
    return out.Close();
}
