// The rows of the image-format filter above the file list, made from one
// table of the formats the program decodes: what each row shows and the
// ";"-separated wildcard patterns it lists. Standard library only.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

struct ImageFormatFilter {
    std::string_view description;
    std::string_view pattern;
};

// Every format the program decodes, with the patterns of its extensions: the
// formats FreeImage reads, then those only Qt's image readers bring. A format
// with a description has a filter row of its own, in this order; one without
// is listed only under "All Supported Formats". Rows 1 to 27 keep their
// places, so a row number means the same row as before; formats added later
// go at the end, before "All Files(*.*)". An extension is in one entry only
// (checked below), and each is lower case ("*.EXT" matches any case).
inline constexpr ImageFormatFilter ImageFormats[] = {
    {"Windows or OS2 BMP(*.bmp)", "*.bmp"},
    {"Cursors(*.cur)", "*.cur"},
    {"Windows DIB(*.dib)", "*.dib"},
    {"Microsoft DirectDraw Surface(*.dds)", "*.dds"},
    {"Windows Enhanced Metafile(*.emf)", "*.emf"},
    {"Compuserve GIF(*.gif)", "*.gif"},
    {"Icon Files(*.ico)", "*.ico"},
    {"JPEG Network Graphics(*.jng)", "*.jng"},
    {"JPEG - JFIF Compliant(*.jpg,*.jpeg,*.jif,*.jfif)", "*.jpg;*.jpeg;*.jif;*.jfif"},
    {"KOALA Files(*.koala,*.gg)", "*.koala;*.gg"},
    {"Deluxe Paint(*.lbm)", "*.lbm"},
    {"Multiple Network Graphics(*.mng)", "*.mng"},
    {"Portable Bitmap(*.pbm)", "*.pbm"},
    {"Kodak PhotoCD(*.pcd)", "*.pcd"},
    {"Zsoft Paintbrush(*.pcx)", "*.pcx"},
    {"Portable Greymap(*.pgm)", "*.pgm"},
    {"Portable Network Graphics(*.png)", "*.png"},
    {"Portable Pixmap(*.ppm)", "*.ppm"},
    {"Adobe Photoshop Document(*.psd)", "*.psd"},
    {"Sun Raster File(*.ras)", "*.ras"},
    {"Run-Length encoded Bitmap(*.rle)", "*.rle"},
    {"Truevision Targa(*.tga)", "*.tga"},
    {"Tagged Image File Format(*.tif,*.tiff)", "*.tif;*.tiff"},
    {"Wireless Bitmap(*.wbmp)", "*.wbmp"},
    {"Windows Meta File(*.wmf)", "*.wmf"},
    {"X11 Bitmap Format(*.xbm)", "*.xbm"},
    {"X PIxMap Format definition(*.xpm)", "*.xpm"},
    // Other spellings of the formats above, which FreeImage reads as well.
    {"", "*.iff;*.jpe;*.koa;*.targa;*.wap;*.wbm;*.psb"},
    {"WebP(*.webp)", "*.webp"},
    {"OpenEXR(*.exr)", "*.exr"},
    {"High Dynamic Range(*.hdr)", "*.hdr"},
    {"JPEG 2000(*.jp2,*.j2k,*.j2c)", "*.jp2;*.j2k;*.j2c"},
    {"JPEG XR(*.jxr,*.wdp,*.hdp)", "*.jxr;*.wdp;*.hdp"},
    {"Portable Float Map(*.pfm)", "*.pfm"},
    {"Macintosh PICT(*.pct,*.pict,*.pic)", "*.pct;*.pict;*.pic"},
    {"Silicon Graphics Image(*.sgi,*.rgb,*.rgba,*.bw)", "*.sgi;*.rgb;*.rgba;*.bw"},
    {"Dr. Halo Cut(*.cut)", "*.cut"},
    {"Camera RAW(*.dng,*.cr2,*.nef,*.arw,*.orf,*.raf,*.rw2,...)",
     "*.3fr;*.arw;*.bay;*.bmq;*.cap;*.cine;*.cr2;*.crw;*.cs1;*.dc2;*.dcr;*.drf;*.dsc;*.dng;*.erf;"
     "*.fff;*.ia;*.iiq;*.k25;*.kc2;*.kdc;*.mdc;*.mef;*.mos;*.mrw;*.nef;*.nrw;*.orf;*.pef;*.ptx;"
     "*.pxn;*.qtk;*.raf;*.raw;*.rdc;*.rw2;*.rwl;*.rwz;*.sr2;*.srf;*.srw;*.sti;*.x3f"},
    // Read by Qt's image readers only.
    {"Apple Icon Image(*.icns)", "*.icns"},
    // Read by libheif and libjxl, before FreeImage.
    {"HEIF Image(*.heic,*.heif)", "*.heic;*.heif"},
    {"AVIF Image(*.avif)", "*.avif"},
    {"JPEG XL(*.jxl)", "*.jxl"},
};

namespace ImageFormatTable {

constexpr char kSeparator = ';';

constexpr std::size_t JoinedLength() {
    std::size_t n = 0;
    for (const ImageFormatFilter& f : ImageFormats)
        n += f.pattern.size() + 1;
    return n - 1;
}

constexpr std::array<char, JoinedLength()> Joined() {
    std::array<char, JoinedLength()> text{};
    std::size_t at = 0;
    for (const ImageFormatFilter& f : ImageFormats) {
        if (at > 0) text[at++] = kSeparator;
        for (const char c : f.pattern)
            text[at++] = c;
    }
    return text;
}

inline constexpr std::array<char, JoinedLength()> kAllSupportedText = Joined();

constexpr std::size_t RowsOfTheirOwn() {
    std::size_t n = 0;
    for (const ImageFormatFilter& f : ImageFormats)
        n += f.description.empty() ? 0 : 1;
    return n;
}

// The patterns of a ";"-separated text, one at a time.
constexpr std::string_view PatternAt(std::string_view text, std::size_t& at) {
    const std::size_t end = std::min(text.find(kSeparator, at), text.size());
    const std::string_view one = text.substr(at, end - at);
    at = end + 1;
    return one;
}

// Every pattern is "*." and a lower-case extension, and none comes twice.
constexpr bool PatternsAreSound(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::string_view one = PatternAt(text, i);
        if (one.size() < 3 || one.substr(0, 2) != "*.") return false;
        for (const char c : one.substr(2))
            if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
        for (std::size_t j = i; j < text.size();)
            if (PatternAt(text, j) == one) return false;
    }
    return true;
}

} // namespace ImageFormatTable

// Every pattern of the table: every extension the program decodes.
inline constexpr std::string_view AllSupportedPattern{ImageFormatTable::kAllSupportedText.data(),
                                                      ImageFormatTable::kAllSupportedText.size()};
static_assert(ImageFormatTable::PatternsAreSound(AllSupportedPattern));

inline constexpr std::size_t kAllFilesRow = ImageFormatTable::RowsOfTheirOwn() + 1;

// Row 0 "All Supported Formats", a row for each format with a description,
// and last "All Files(*.*)".
inline constexpr std::array<ImageFormatFilter, kAllFilesRow + 1> ImageFormatFilters = [] {
    std::array<ImageFormatFilter, kAllFilesRow + 1> rows{};
    rows[0] = {"All Supported Formats", AllSupportedPattern};
    std::size_t at = 1;
    for (const ImageFormatFilter& f : ImageFormats)
        if (!f.description.empty()) rows[at++] = f;
    rows[kAllFilesRow] = {"All Files(*.*)", "*.*"};
    return rows;
}();
