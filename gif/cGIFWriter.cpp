// Writing a GIF document to a file.
#include "gif/ByteSink.h"
#include "gif/GifFormat.h"
#include "gif/cGIF.h"
#include "gif/mGIFLZWEnc.h"

#include <cstdio>
#include <sys/stat.h>

namespace {

constexpr int kMinCodeSize = 2;

// Bits of the colour table size field for n entries: the smallest b >= 1 with
// 2^b >= n (leniency table-rounded-up: the table is padded to 2^b entries).
// 0 for counts no table can have (outside 2 to 256).
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
    const bool written = SaveTo(out);
    return out.Close() && written;
}

bool cGIF::SaveTo(ByteSink& out) {
    using namespace GifFormat;
    auto fail = [] { return false; };

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
        g == 0 ? 0
               : uint8_t(kGlobalTableFlag | ((g - 1) << kColorResolutionShift) |
                         (globalPaletteSorted_ ? kSortFlag : 0) | (g - 1));
    out.Byte(screenFlags);
    out.Byte(ScreenBackgroundColorIndex());
    out.Byte(ScreenPixelAspectByte());
    if (g > 0) WriteColorTable(out, globalPalette_.data(), globalPaletteEntries_, g);

    if (framesCount_ > 0) {
        // The NETSCAPE2.0 application block: 11 bytes of name, then a
        // 3-byte sub-block with the loop count after its identifier 1.
        static const uint8_t loopHead[] = {kExtensionIntroducer,
                                           kApplicationLabel,
                                           0x0B,
                                           'N',
                                           'E',
                                           'T',
                                           'S',
                                           'C',
                                           'A',
                                           'P',
                                           'E',
                                           '2',
                                           '.',
                                           '0',
                                           0x03,
                                           0x01};
        out.Write(loopHead, sizeof loopHead);
        out.Word(uint16_t(animationLoops_));
        out.Byte(kBlockTerminator);
    }

    for (int n = 1; n <= framesCount_; ++n) {
        const Frame& f = Resident(n); // decoded if need be; later frames may let it go
        out.Write(
            std::array<uint8_t, 3>{kExtensionIntroducer, kGraphicControlLabel, kGraphicControlSize}
                .data(),
            3);
        out.Byte(uint8_t((f.useTransparent ? kTransparentFlag : 0) |
                         (f.userInput ? kUserInputFlag : 0) |
                         ((f.disposal << kDisposalShift) & kDisposalMask)));
        out.Word(uint16_t(f.delay));
        out.Byte(f.useTransparent ? uint8_t(f.transparentIndex) : 0);
        out.Byte(kBlockTerminator);

        // A frame needs a table in force and pixels; otherwise no sound file can be written.
        const int l = f.localPaletteUsed ? TableSizeBits(f.localPaletteEntries) : 0;
        const int bits = f.localPaletteUsed ? l : g;
        if (bits == 0 || !f.image->lpBits() || f.image->Width() > 0xFFFF ||
            f.image->Height() > 0xFFFF)
            return fail();
        out.Byte(kImageSeparator);
        out.Word(uint16_t(f.left));
        out.Word(uint16_t(f.top));
        out.Word(uint16_t(f.image->Width()));
        out.Word(uint16_t(f.image->Height()));
        out.Byte(uint8_t((bits - 1) | (f.localPaletteSorted ? kLocalSortFlag : 0) |
                         (f.interlaced ? kInterlaceFlag : 0) |
                         (f.localPaletteUsed ? kLocalTableFlag : 0)));
        if (f.localPaletteUsed) WriteColorTable(out, f.palette.data(), f.localPaletteEntries, l);
        const int minCodeSize = bits < kMinCodeSize ? kMinCodeSize : bits;
        out.Byte(uint8_t(minCodeSize));
        if (!mGIFLZWEnc::EncodeFromDIB(out, *f.image, uint8_t(minCodeSize + 1), f.interlaced))
            return fail();
        out.Byte(kBlockTerminator);
    }
    out.Byte(kTrailer);
    return !out.Failed();
}
