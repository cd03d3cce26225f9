#include "imaging/MFreeImage_2.h"

#include "imaging/AlphaOver.h"
#include "imaging/ChannelBits.h"
#include "imaging/ColourProfile.h"
#include "imaging/FileBytes.h"
#include "imaging/JpegReader.h"
#include "imaging/ModernReaders.h"
#include "imaging/QtImageReaders.h"
#include "imaging/ShrinkOnLoad.h"
#include "imaging/mScaleImage.h"

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

namespace MFreeImage_2 {

namespace {

// JPEG: the accurate decoder, and the picture turned upright by its EXIF
// Orientation tag, as cameras and phones expect.
constexpr int kJpegFlags = JPEG_ACCURATE | JPEG_EXIFROTATE;

constexpr uint8_t kOpaque = 255;

inline uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b) {
    return (uint32_t(r) << 16) | (uint32_t(g) << 8) | b;
}

void IgnoreFreeImageMessage(FREE_IMAGE_FORMAT, const char*) {}

// libtiff's handler type and setters, looked up in the process: FreeImage
// reads TIFF through the system's libtiff without installing handlers of its
// own, so libtiff's defaults print every warning and error (dozens of
// "TIFFFieldWithTag: Internal error, unknown tag" lines a picture, as FreeImage
// asks for tags the file does not have) to standard error.
using TiffMessageHandler = void (*)(const char* module, const char* format, va_list arguments);
using TiffSetHandler = TiffMessageHandler (*)(TiffMessageHandler);

// Silences the libraries' diagnostics, once, before the first load: a damaged
// or unusual file is reported by the load's result, not by text on standard
// error. Without libtiff in the process (FreeImage built with its own) only
// FreeImage's messages are silenced.
void QuietLibraryMessages() {
    static const bool quiet = [] {
        FreeImage_SetOutputMessage(IgnoreFreeImageMessage);
        for (const char* setter : {"TIFFSetWarningHandler", "TIFFSetErrorHandler"})
            if (void* symbol = dlsym(RTLD_DEFAULT, setter))
                reinterpret_cast<TiffSetHandler>(symbol)(nullptr); // null: no message
        return true;
    }();
    (void)quiet;
}

// The EXIF Orientation of a picture FreeImage decoded (1 when it has none).
int ExifOrientation(FIBITMAP* dib) {
    FITAG* tag = nullptr;
    if (!FreeImage_GetMetadata(FIMD_EXIF_MAIN, dib, "Orientation", &tag) || !tag) return 1;
    if (FreeImage_GetTagType(tag) != FIDT_SHORT || FreeImage_GetTagCount(tag) < 1) return 1;
    const int v = *static_cast<const uint16_t*>(FreeImage_GetTagValue(tag));
    return v >= 1 && v <= 8 ? v : 1;
}

// A PNG's profile is read here: the FreeImage this program is built with
// reads a PNG's iCCP chunk but keeps nothing of it.
constexpr uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t kPngChunkHead = 8, kPngChunkCrc = 4;
// Larger profiles are not taken (a few kilobytes are usual, a large table
// some hundreds); the bound keeps a small chunk from inflating without end.
constexpr DWORD kMaxProfileBytes = 8u << 20;

uint32_t BigEndian32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// The profile in a PNG's iCCP chunk (a name of 1 to 79 bytes, a zero, the
// compression method 0, the profile deflated); empty without one.
std::vector<uint8_t> PngProfile(std::span<const uint8_t> png) {
    if (png.size() < sizeof kPngSignature ||
        !std::equal(std::begin(kPngSignature), std::end(kPngSignature), png.begin()))
        return {};
    std::size_t at = sizeof kPngSignature;
    while (png.size() - at >= kPngChunkHead) {
        const std::size_t length = BigEndian32(&png[at]);
        const auto type = png.subspan(at + 4, 4);
        if (length > png.size() - at - kPngChunkHead) return {};
        const auto data = png.subspan(at + kPngChunkHead, length);
        if (std::ranges::equal(type, std::string_view("IDAT"))) return {}; // iCCP comes before
        if (std::ranges::equal(type, std::string_view("iCCP"))) {
            const auto end = std::find(data.begin(), data.end(), uint8_t(0));
            if (end == data.end() || data.end() - end < 2 || end[1] != 0) return {};
            const auto deflated = data.subspan(std::size_t(end - data.begin()) + 2);
            if (deflated.size() > kMaxProfileBytes) return {};
            // Only the pages the profile fills are ever touched.
            std::unique_ptr<BYTE[]> inflated(new (std::nothrow) BYTE[kMaxProfileBytes]);
            if (!inflated) return {};
            const DWORD size = FreeImage_ZLibUncompress(inflated.get(), kMaxProfileBytes,
                                                        const_cast<BYTE*>(deflated.data()),
                                                        DWORD(deflated.size()));
            return {inflated.get(), inflated.get() + size};
        }
        if (png.size() - at - kPngChunkHead - length < kPngChunkCrc) return {};
        at += kPngChunkHead + length + kPngChunkCrc;
    }
    return {};
}

// ICC profile headers name the colour space at this offset.
constexpr std::size_t kIccColourSpaceAt = 16;

bool GreyProfile(const std::vector<uint8_t>& icc) {
    return icc.size() >= kIccColourSpaceAt + 4 &&
           std::memcmp(&icc[kIccColourSpaceAt], "GRAY", 4) == 0;
}

// The ICC profile of the file (a JPEG's APP2, a PNG's iCCP, a TIFF's tag, a
// WebP's ICCP); empty without one, for a CMYK picture, whose profile
// describes the inks FreeImage has already turned into RGB, and for a grey
// profile on a colour picture, which describes none of its colours.
std::vector<uint8_t> EmbeddedProfile(FIBITMAP* dib, FREE_IMAGE_FORMAT format,
                                     std::span<const uint8_t> file) {
    const FIICCPROFILE* profile = FreeImage_GetICCProfile(dib);
    if (profile && (profile->flags & FIICC_COLOR_IS_CMYK)) return {};
    std::vector<uint8_t> icc;
    if (profile && profile->data && profile->size > 0) {
        const auto* bytes = static_cast<const uint8_t*>(profile->data);
        icc.assign(bytes, bytes + profile->size);
    } else if (format == FIF_PNG) {
        icc = PngProfile(file);
    }
    if (GreyProfile(icc)) { // the colour type only then: of 32-bit pictures it reads every pixel
        const FREE_IMAGE_COLOR_TYPE colours = FreeImage_GetColorType(dib);
        if (colours != FIC_MINISBLACK && colours != FIC_MINISWHITE) return {};
    }
    return icc;
}

// The picture turned upright for an Orientation of 2 to 8: a new bitmap, or
// the same one when nothing needs doing or the turn fails.
FIBITMAP* Upright(FIBITMAP* dib, int orientation) {
    // FreeImage turns counter-clockwise for positive angles.
    FIBITMAP* turned = nullptr;
    switch (orientation) {
    case 3:
    case 4:
        turned = FreeImage_Rotate(dib, 180);
        break;
    case 5:
    case 6:
        turned = FreeImage_Rotate(dib, -90);
        break;
    case 7:
    case 8:
        turned = FreeImage_Rotate(dib, 90);
        break;
    default:
        turned = orientation == 2 ? FreeImage_Clone(dib) : nullptr;
        break;
    }
    if (!turned) return dib;
    // 2, 4, 5 and 7 are mirrored as well.
    if (orientation == 2 || orientation == 4 || orientation == 5 || orientation == 7)
        FreeImage_FlipHorizontal(turned);
    return turned;
}

} // namespace

FIBITMAP* ToDisplayable(FIBITMAP* dib) {
    switch (FreeImage_GetImageType(dib)) {
    case FIT_BITMAP:
        return dib;
    case FIT_UINT16:
        return FreeImage_ConvertTo8Bits(dib); // the high byte of each sample
    case FIT_RGB16:
        return FreeImage_ConvertTo24Bits(dib);
    case FIT_RGBA16:
        return FreeImage_ConvertTo32Bits(dib);
    case FIT_RGBF:
    case FIT_RGBAF:
    case FIT_FLOAT:
    case FIT_DOUBLE:
        return FreeImage_ToneMapping(dib, FITMO_DRAGO03, 0, 0);
    default:
        return FreeImage_ConvertToStandardType(dib, TRUE); // grey, scaled to 8 bits
    }
}

int DrawBitmapToDC(FIBITMAP* Bitmap, HDC hDC, int Width, int Height) {
    if (!Bitmap || !hDC || !hDC->lpBits() || hDC->bpp() != 32) return 0;
    if (FreeImage_GetImageType(Bitmap) != FIT_BITMAP || !FreeImage_HasPixels(Bitmap)) return 0;
    const int bpp = int(FreeImage_GetBPP(Bitmap));
    const int w = std::min({Width, int(FreeImage_GetWidth(Bitmap)), hDC->Width()});
    const int h = std::min({Height, int(FreeImage_GetHeight(Bitmap)), hDC->Height()});
    const RGBQUAD* palette = FreeImage_GetPalette(Bitmap);
    const unsigned colors = FreeImage_GetColorsUsed(Bitmap);
    uint32_t table[256] = {};
    for (unsigned i = 0; palette && i < colors && i < 256; ++i)
        table[i] = Rgb(palette[i].rgbRed, palette[i].rgbGreen, palette[i].rgbBlue);
    // Palette pictures with transparency (a PNG's tRNS table, partial alpha
    // included; a GIF's transparent index; grey with tRNS) carry an alpha for
    // each entry; entries past the table are opaque.
    uint8_t tableAlpha[256];
    std::fill(std::begin(tableAlpha), std::end(tableAlpha), kOpaque);
    const bool paletteAlpha = bpp <= 8 && FreeImage_IsTransparent(Bitmap);
    if (paletteAlpha)
        if (const BYTE* alphas = FreeImage_GetTransparencyTable(Bitmap))
            std::copy_n(alphas, std::min(FreeImage_GetTransparencyCount(Bitmap), 256u), tableAlpha);
    // An entry laid over what the surface holds, as 32-bit pixels with alpha are.
    const auto entry = [&](uint32_t under, unsigned i) {
        if (tableAlpha[i] == kOpaque) return table[i];
        return AlphaOver(under, uint8_t(table[i] >> 16), uint8_t(table[i] >> 8), uint8_t(table[i]),
                         tableAlpha[i]);
    };
    const bool is565 = bpp == 16 && FreeImage_GetGreenMask(Bitmap) == FI16_565_GREEN_MASK;
    const bool alpha = bpp == 32 && FreeImage_IsTransparent(Bitmap);
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return 0;

    for (int y = 0; y < h; ++y) {
        const uint8_t* in = FreeImage_GetScanLine(Bitmap, int(FreeImage_GetHeight(Bitmap)) - 1 - y);
        auto* out = reinterpret_cast<uint32_t*>(
            hDC->lpBits() + std::size_t(y) * std::size_t(hDC->BytesPerScanline()));
        switch (bpp) {
        case 1:
            for (int x = 0; x < w; ++x)
                out[x] = entry(out[x], (in[x >> 3] >> (7 - (x & 7))) & 1);
            break;
        case 4:
            for (int x = 0; x < w; ++x)
                out[x] = entry(out[x], (x & 1) ? (in[x >> 1] & 0x0F) : (in[x >> 1] >> 4));
            break;
        case 8:
            if (!paletteAlpha) {
                for (int x = 0; x < w; ++x)
                    out[x] = table[in[x]];
                break;
            }
            for (int x = 0; x < w; ++x)
                out[x] = entry(out[x], in[x]);
            break;
        case 16:
            for (int x = 0; x < w; ++x) {
                const unsigned v = unsigned(in[2 * x]) | (unsigned(in[2 * x + 1]) << 8);
                out[x] = is565 ? Rgb(Expand5(v >> 11), Expand6((v >> 5) & 0x3F), Expand5(v & 0x1F))
                               : Rgb(Expand5((v >> 10) & 0x1F), Expand5((v >> 5) & 0x1F),
                                     Expand5(v & 0x1F));
            }
            break;
        case 24:
            // FreeImage keeps blue, green, red on little-endian hosts: the order of 32-bit pixels.
            static_assert(FI_RGBA_BLUE == 0 && FI_RGBA_GREEN == 1 && FI_RGBA_RED == 2);
            for (int x = 0; x < w; ++x, in += 3)
                out[x] = uint32_t(in[0]) | (uint32_t(in[1]) << 8) | (uint32_t(in[2]) << 16);
            break;
        case 32:
            for (int x = 0; x < w; ++x) {
                const uint8_t* p = in + 4 * x;
                out[x] = alpha ? AlphaOver(out[x], p[FI_RGBA_RED], p[FI_RGBA_GREEN],
                                           p[FI_RGBA_BLUE], p[FI_RGBA_ALPHA])
                               : Rgb(p[FI_RGBA_RED], p[FI_RGBA_GREEN], p[FI_RGBA_BLUE]);
            }
            break;
        }
    }
    return h;
}

namespace {

enum class Outcome { Loaded, TooLarge, Refused };

// FreeImage reading the caller's bytes in place.
class Memory {
  public:
    explicit Memory(std::span<const uint8_t> bytes)
        : memory_(bytes.size() <= 0xFFFFFFFFu
                      ? FreeImage_OpenMemory(const_cast<BYTE*>(bytes.data()), DWORD(bytes.size()))
                      : nullptr) {}
    ~Memory() {
        if (memory_) FreeImage_CloseMemory(memory_);
    }
    Memory(const Memory&) = delete;
    Memory& operator=(const Memory&) = delete;
    FIMEMORY* get() const { return memory_; }
    // Each read starts from the first byte.
    FIBITMAP* Load(FREE_IMAGE_FORMAT format, int flags) {
        FreeImage_SeekMemory(memory_, 0, SEEK_SET);
        return FreeImage_LoadFromMemory(format, memory_, flags);
    }

  private:
    FIMEMORY* memory_;
};

constexpr const char* kOriginalWidthKey = "OriginalJPEGWidth";
constexpr const char* kOriginalHeightKey = "OriginalJPEGHeight";
// EXIF orientations from 5 on stand a quarter turn from how they are stored.
constexpr int kFirstQuarterTurn = 5;

int CommentNumber(FIBITMAP* dib, const char* key) {
    FITAG* tag = nullptr;
    if (!FreeImage_GetMetadata(FIMD_COMMENTS, dib, key, &tag) || !tag ||
        FreeImage_GetTagType(tag) != FIDT_ASCII || !FreeImage_GetTagValue(tag))
        return 0;
    return std::atoi(static_cast<const char*>(FreeImage_GetTagValue(tag)));
}

} // namespace

FIBITMAP* FittedToBox(FIBITMAP* shown, FIBITMAP* decoded, const Box& box, int fullWidth,
                      int fullHeight) {
    if (!shown || box.width <= 0 || box.height <= 0) return shown;
    const auto fit = mScaleImage::FitInBox(fullWidth, fullHeight, box.width, box.height, 0, true);
    const int w = int(FreeImage_GetWidth(shown)), h = int(FreeImage_GetHeight(shown));
    if (fit.width <= 0 || fit.height <= 0 || (fit.width >= w && fit.height >= h)) return shown;
    FIBITMAP* source = shown;
    // The bits a pixel first: the transparency of a 32-bit bitmap reads all its pixels.
    if (FreeImage_GetBPP(shown) < 32 && FreeImage_IsTransparent(shown))
        source = FreeImage_ConvertTo32Bits(shown);
    // A picture many times the box is first shrunk by whole blocks, which
    // costs a fraction of resampling the whole of it; the Lanczos step from
    // there looks the same.
    const int blocks = ShrinkOnLoad::Factor(w, h, box.width, box.height, ShrinkOnLoad::kBlockMeans);
    if (FIBITMAP* shrunk = source ? mScaleImage::ShrinkByBlocks(source, blocks) : nullptr) {
        if (source != shown) FreeImage_Unload(source);
        source = shrunk;
    }
    FIBITMAP* scaled =
        source ? FreeImage_Rescale(source, fit.width, fit.height, FILTER_LANCZOS3) : nullptr;
    if (source && source != shown) FreeImage_Unload(source);
    if (!scaled) return shown;
    if (shown != decoded) FreeImage_Unload(shown);
    return scaled;
}

namespace {

Outcome LoadWithFreeImage(std::span<const uint8_t> bytes, const std::string& FileName,
                          PictureBox& PicLoad, const Box& box, int& fullWidth, int& fullHeight) {
    QuietLibraryMessages();
    Memory memory(bytes);
    if (!memory.get()) return Outcome::Refused;
    FREE_IMAGE_FORMAT format = FreeImage_GetFileTypeFromMemory(memory.get(), 0);
    if (format == FIF_UNKNOWN) format = FreeImage_GetFIFFromFilename(FileName.c_str());
    if (format == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(format)) return Outcome::Refused;
    int flags = format == FIF_JPEG ? kJpegFlags : 0;

    // Where the format allows, read the size first: a picture too large for
    // memory is a failed load, not an attempt to allocate it.
    bool reduced = false;
    if (FreeImage_FIFSupportsNoPixels(format)) {
        FIBITMAP* header = memory.Load(format, flags | FIF_LOAD_NOPIXELS);
        if (!header) return Outcome::Refused;
        const int w = int(FreeImage_GetWidth(header)), h = int(FreeImage_GetHeight(header));
        const bool turned = ExifOrientation(header) >= kFirstQuarterTurn;
        FreeImage_Unload(header);
        std::size_t stride = 0, bytes = 0;
        // A JPEG wanted smaller than it is decodes at a reduced scale: only
        // the reduced picture is ever held, whatever size the file claims.
        if (format == FIF_JPEG) {
            const int factor =
                ShrinkOnLoad::Factor(w, h, box.width, box.height, ShrinkOnLoad::kJpegDct, turned);
            flags |= JpegScaleFlags(std::max(w, h), factor);
            reduced = factor > 1;
        }
        if (!reduced && !SurfaceSize(w, h, 32, kMaxSurfaceBytes, stride, bytes))
            return Outcome::TooLarge;
    }

    FIBITMAP* bitmap = memory.Load(format, flags);
    if (!bitmap) return Outcome::Refused;
    // Taken now: the turned copy below need not carry it.
    const std::vector<uint8_t> icc = EmbeddedProfile(bitmap, format, bytes);
    if (reduced) {
        fullWidth = int(FreeImage_GetWidth(bitmap));
        fullHeight = int(FreeImage_GetHeight(bitmap));
        const int ow = CommentNumber(bitmap, kOriginalWidthKey);
        const int oh = CommentNumber(bitmap, kOriginalHeightKey);
        if (ow > 0 && oh > 0) {
            // The original's size is stored as the file has it; the picture
            // may have been turned upright since.
            const bool turned = (fullWidth > fullHeight) != (ow > oh);
            fullWidth = turned ? oh : ow;
            fullHeight = turned ? ow : oh;
        }
    }
    // JPEG is turned at load; other formats that carry the tag are turned
    // here (TIFF's own tag is read through the Qt readers, which report it).
    if (format != FIF_JPEG) {
        int orientation = ExifOrientation(bitmap);
        if (orientation == 1 && format == FIF_TIFF) orientation = OrientationFromQtReaders(bytes);
        FIBITMAP* upright = Upright(bitmap, orientation);
        if (upright != bitmap) {
            FreeImage_Unload(bitmap);
            bitmap = upright;
        }
    }
    if (!reduced) { // the whole picture, upright
        fullWidth = int(FreeImage_GetWidth(bitmap));
        fullHeight = int(FreeImage_GetHeight(bitmap));
    }
    FIBITMAP* shown = FittedToBox(ToDisplayable(bitmap), bitmap, box, fullWidth, fullHeight);
    Outcome outcome = shown ? Outcome::TooLarge : Outcome::Refused;
    if (shown) {
        const int w = int(FreeImage_GetWidth(shown));
        const int h = int(FreeImage_GetHeight(shown));
        if (PicLoad.SetSize(w, h)) {
            // The bitmap covers the whole surface; only alpha shows the background.
            if (FreeImage_IsTransparent(shown) || FreeImage_GetBPP(shown) == 32) PicLoad.Cls();
            DrawBitmapToDC(shown, PicLoad.hDC(), w, h);
            // At the size shown, which for a preview is a small part of the
            // original's pixels; a profile that cannot be used leaves the
            // picture as decoded.
            ColourProfile::ToSrgb(*PicLoad.Image(), icc);
            outcome = Outcome::Loaded;
        }
        if (shown != bitmap) FreeImage_Unload(shown);
    }
    FreeImage_Unload(bitmap);
    return outcome;
}

} // namespace

namespace {

// `whole` (of a picture whose original is `fullWidth` x `fullHeight`) onto
// `Shown` at its fit in `box`.
bool FitInto(const PictureBox& whole, int fullWidth, int fullHeight, Box box, PictureBox& Shown) {
    const auto fit = mScaleImage::FitInBox(fullWidth, fullHeight, box.width, box.height, 0, true);
    if (!Shown.SetSize(fit.width, fit.height)) return false;
    if (fit.width == whole.Width() && fit.height == whole.Height()) // it fits: a plain copy
        Shown.hDC()->LoadBlt(&whole.Surface(), 0, 0, fit.width, fit.height);
    else
        mScaleImage::StretchImageTo(whole, Shown);
    return true;
}

} // namespace

namespace {

// The whole picture onto `PicLoad` (the original's size is larger than the
// picture for a camera's raw photo, which is developed at half size).
Fitted LoadWhole(std::span<const uint8_t> bytes, const std::string& FileName, PictureBox& PicLoad) {
    const ModernReaders::Landed modern = ModernReaders::Load(bytes, FileName, Box{}, PicLoad);
    Fitted result{modern.outcome == ModernReaders::Outcome::Loaded, modern.fullWidth,
                  modern.fullHeight, modern.embeddedPreview};
    switch (modern.outcome) {
    case ModernReaders::Outcome::NotMine:
        break;
    case ModernReaders::Outcome::Loaded: // in sRGB already: those readers convert their own
    case ModernReaders::Outcome::TooLarge:
    case ModernReaders::Outcome::Refused:
        return result;
    }
    switch (
        LoadWithFreeImage(bytes, FileName, PicLoad, Box{}, result.fullWidth, result.fullHeight)) {
    case Outcome::Loaded:
        result.loaded = true;
        return result;
    case Outcome::TooLarge: // the same limits hold for every reader
        return result;
    case Outcome::Refused:
        break;
    }
    // Valid files FreeImage cannot identify or decode (BMP with a V4 or V5
    // header, RLE bitmaps, WebP ...): the Qt image readers.
    std::vector<uint8_t> icc;
    if (!LoadWithQtReaders(bytes, FileName, PicLoad, icc)) return result;
    ColourProfile::ToSrgb(*PicLoad.Image(), icc);
    return {true, PicLoad.Width(), PicLoad.Height(), false};
}

} // namespace

namespace {

Fitted LoadFitted(std::span<const uint8_t> bytes, const std::string& FileName, Box box,
                  PictureBox& Shown, bool jpegReader) {
    if (box.width <= 0 || box.height <= 0) // the whole picture, decoded where it goes
        return LoadWhole(bytes, FileName, Shown);
    PictureBox whole;
    whole.SetBackColor(Shown.BackColor());
    std::vector<uint8_t> icc; // of a picture the Qt readers decode
    const ModernReaders::Landed modern = ModernReaders::Load(bytes, FileName, box, whole);
    Fitted result{false, modern.fullWidth, modern.fullHeight, modern.embeddedPreview};
    switch (modern.outcome) {
    case ModernReaders::Outcome::NotMine:
        break;
    case ModernReaders::Outcome::Loaded: // in sRGB already: those readers convert their own
        result.loaded = FitInto(whole, result.fullWidth, result.fullHeight, box, Shown);
        return result;
    case ModernReaders::Outcome::TooLarge:
    case ModernReaders::Outcome::Refused:
        return result;
    }
    // A JPEG through libjpeg itself; what that reader leaves, through FreeImage.
    const JpegReader::Landed jpeg =
        jpegReader ? JpegReader::LoadFitted(bytes, box.width, box.height, Shown)
                   : JpegReader::Landed{};
    if (jpeg.loaded) return {true, jpeg.fullWidth, jpeg.fullHeight, false};
    bool loaded = false;
    switch (LoadWithFreeImage(bytes, FileName, whole, box, result.fullWidth, result.fullHeight)) {
    case Outcome::Loaded:
        loaded = true;
        break;
    case Outcome::TooLarge: // the same limits hold for every reader
        return result;
    case Outcome::Refused:
        loaded = LoadWithQtReaders(bytes, FileName, whole, icc);
        result.fullWidth = whole.Width();
        result.fullHeight = whole.Height();
        break;
    }
    if (!loaded || !FitInto(whole, result.fullWidth, result.fullHeight, box, Shown)) return result;
    ColourProfile::ToSrgb(*Shown.Image(), icc); // FreeImage's pictures are converted already
    result.loaded = true;
    return result;
}

} // namespace

Fitted LoadImageFitted(std::span<const uint8_t> bytes, const std::string& FileName, Box box,
                       PictureBox& Shown) {
    return LoadFitted(bytes, FileName, box, Shown, true);
}

Fitted LoadImageFittedByFreeImage(std::span<const uint8_t> bytes, const std::string& FileName,
                                  Box box, PictureBox& Shown) {
    return LoadFitted(bytes, FileName, box, Shown, false);
}

int JpegScaleFlags(int longestSide, int factor) {
    // FreeImage's JPEG reader takes, in the high word of its flags, the side
    // the decoded picture must at least have, and decodes at the smallest
    // DCT scale whose longest side reaches it.
    constexpr int kRequestedSideShift = 16;
    constexpr int kMaxRequestedSide = 0xFFFF;
    if (factor <= 1 || longestSide < factor) return 0;
    return std::min(kMaxRequestedSide, longestSide / factor) << kRequestedSideShift;
}

bool LoadImageBytes(std::span<const uint8_t> bytes, const std::string& FileName,
                    PictureBox& PicLoad) {
    return LoadWhole(bytes, FileName, PicLoad).loaded;
}

bool LoadImageFile(const std::string& FileName, PictureBox& PicLoad) {
    // Only regular files: opening a FIFO or a device to sniff it could block.
    std::vector<uint8_t> bytes;
    return ReadFileBytes(FileName, bytes) && LoadImageBytes(bytes, FileName, PicLoad);
}

} // namespace MFreeImage_2
