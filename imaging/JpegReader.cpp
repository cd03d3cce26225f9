#include "imaging/JpegReader.h"

#include "imaging/Orientation.h"

#include "imaging/ColourProfile.h"
#include "imaging/Lanczos.h"
#include "imaging/MFreeImage_2.h"
#include "imaging/ShrinkOnLoad.h"
#include "imaging/mFit.h"

#include <FreeImage.h>
#include <algorithm>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <cstdlib>
#include <cstring>
#include <jpeglib.h>
#include <memory>
#include <new>
#include <vector>

namespace JpegReader {

namespace {

constexpr int kApp1 = JPEG_APP0 + 1, kApp2 = JPEG_APP0 + 2;
constexpr unsigned kWholeMarker = 0xFFFF;
// EXIF orientations from 5 on stand a quarter turn from how they are stored.
constexpr int kFirstQuarterTurn = 5;
// Rows handed to libjpeg at a time (its largest output group is 16 rows).
constexpr int kRowsAtOnce = 16;
// The fourth byte of a surface's pixel as the FreeImage road leaves it.
constexpr uint32_t kColourBits = 0x00FFFFFF;

// libjpeg's errors end the decode here (never exit()); its warnings (a
// truncated file, a damaged stretch of data) are not shown: the decode goes
// on as FreeImage's does, with what the file holds.
struct Errors {
    jpeg_error_mgr manager{};
    std::jmp_buf jump{};
};

[[noreturn]] void Leave(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<Errors*>(cinfo->err)->jump, 1);
}

void Silent(j_common_ptr) {}

// One decompression, released however it ends.
struct Session {
    Errors errors;
    jpeg_decompress_struct cinfo{};
    bool created = false;
    Session() {
        cinfo.err = jpeg_std_error(&errors.manager);
        errors.manager.error_exit = Leave;
        errors.manager.output_message = Silent;
    }
    ~Session() {
        if (created) jpeg_destroy_decompress(&cinfo);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
};

// Each function below that calls libjpeg sets its own return point first and
// holds nothing that needs destroying: an error comes back as false.

// The header and the markers this reader needs; the profile (malloc'd by
// libjpeg, null without one) is the caller's to free. The scale and output
// are set for `factor` afterwards by Start.
bool ReadHeader(Session& s, std::span<const uint8_t> bytes, JOCTET*& icc, unsigned& iccSize) {
    if (setjmp(s.errors.jump)) return false;
    jpeg_create_decompress(&s.cinfo);
    s.created = true;
    jpeg_mem_src(&s.cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_save_markers(&s.cinfo, kApp1, kWholeMarker);
    jpeg_save_markers(&s.cinfo, kApp2, kWholeMarker);
    if (jpeg_read_header(&s.cinfo, TRUE) != JPEG_HEADER_OK) return false;
    if (!jpeg_read_icc_profile(&s.cinfo, &icc, &iccSize)) icc = nullptr, iccSize = 0;
    return true;
}

// Decompression started at 1 / `factor` of each side, into blue, green, red
// and a fourth byte: the surfaces' order.
bool Start(Session& s, int factor) {
    if (setjmp(s.errors.jump)) return false;
    s.cinfo.scale_num = 1;
    s.cinfo.scale_denom = unsigned(factor);
    s.cinfo.dct_method = JDCT_ISLOW; // the accurate transform, as the FreeImage road asks
    s.cinfo.out_color_space = JCS_EXT_BGRX;
    return jpeg_start_decompress(&s.cinfo) != 0;
}

// Every row of the picture, row y at rows[y]; then the rest of the file.
bool ReadRows(Session& s, uint8_t* const* rows) {
    if (setjmp(s.errors.jump)) return false;
    while (s.cinfo.output_scanline < s.cinfo.output_height) {
        const JDIMENSION at = s.cinfo.output_scanline;
        const JDIMENSION count = std::min<JDIMENSION>(kRowsAtOnce, s.cinfo.output_height - at);
        if (jpeg_read_scanlines(&s.cinfo, const_cast<JSAMPARRAY>(rows + at), count) == 0)
            return false;
    }
    jpeg_finish_decompress(&s.cinfo);
    return true;
}

// The orientation of the first Exif block among the saved markers.
int OrientationOf(const jpeg_decompress_struct& cinfo) {
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next)
        if (m->marker == kApp1 && m->data_length >= 6 && std::memcmp(m->data, "Exif\0\0", 6) == 0)
            return ExifOrientation({m->data, m->data_length});
    return 1;
}

// Where the upright picture's pixel (u, v) is in the stored one (w x h): at
// x0 + u * xu + v * xv, y0 + u * yu + v * yv.
struct Turn {
    int x0, xu, xv, y0, yu, yv;
};

Turn TurnFor(int orientation, int w, int h) {
    switch (orientation) {
    case 2:
        return {w - 1, -1, 0, 0, 0, 1};
    case 3:
        return {w - 1, -1, 0, h - 1, 0, -1};
    case 4:
        return {0, 1, 0, h - 1, 0, -1};
    case 5:
        return {0, 0, 1, 0, 1, 0};
    case 6:
        return {0, 0, 1, h - 1, -1, 0};
    case 7:
        return {w - 1, 0, -1, h - 1, -1, 0};
    case 8:
        return {w - 1, 0, -1, 0, 1, 0};
    default:
        return {0, 1, 0, 0, 0, 1};
    }
}

// The stored picture (`w` x `h`, packed rows) upright into `rows` (one a row
// of the upright picture).
void TurnUpright(const uint32_t* stored, int w, int h, int orientation, uint8_t* const* rows,
                 int uprightWidth, int uprightHeight) {
    const Turn t = TurnFor(orientation, w, h);
    for (int v = 0; v < uprightHeight; ++v) {
        auto* out = reinterpret_cast<uint32_t*>(rows[v]);
        int x = t.x0 + v * t.xv, y = t.y0 + v * t.yv;
        for (int u = 0; u < uprightWidth; ++u, x += t.xu, y += t.yu)
            out[u] = stored[std::size_t(y) * std::size_t(w) + std::size_t(x)];
    }
}

// The surface's pixels with their fourth byte cleared, as every other road
// leaves an opaque picture.
void ClearFourthBytes(cDIB& surface) {
    for (int y = 0; y < surface.Height(); ++y) {
        auto* row = reinterpret_cast<uint32_t*>(
            surface.lpBits() + std::size_t(y) * std::size_t(surface.BytesPerScanline()));
        for (int x = 0; x < surface.Width(); ++x)
            row[x] &= kColourBits;
    }
}

// ICC profile headers name the colour space at this offset.
constexpr std::size_t kIccColourSpaceAt = 16;

// The profile kept for the conversion: a grey profile describes none of a
// colour picture's colours.
std::vector<uint8_t> UsableProfile(const JOCTET* icc, unsigned size, bool grey) {
    if (!icc || size == 0) return {};
    if (!grey && size >= kIccColourSpaceAt + 4 &&
        std::memcmp(icc + kIccColourSpaceAt, "GRAY", 4) == 0)
        return {};
    return {icc, icc + size};
}

} // namespace

int ExifOrientation(std::span<const uint8_t> app1) {
    return Orientation::ReadExif(app1).value_or(1);
}

Landed LoadFitted(std::span<const uint8_t> bytes, int boxWidth, int boxHeight, PictureBox& Shown) {
    if (boxWidth <= 0 || boxHeight <= 0 || bytes.size() < 3 || bytes[0] != 0xFF ||
        bytes[1] != 0xD8 || bytes[2] != 0xFF)
        return {};
    Session s;
    JOCTET* iccBytes = nullptr;
    unsigned iccSize = 0;
    const bool header = ReadHeader(s, bytes, iccBytes, iccSize);
    const bool grey = s.cinfo.jpeg_color_space == JCS_GRAYSCALE;
    const std::vector<uint8_t> icc =
        header ? UsableProfile(iccBytes, iccSize, grey) : std::vector<uint8_t>{};
    std::free(iccBytes);
    // Colour and grey pictures of 8-bit samples only; CMYK and YCCK are the
    // FreeImage road's, which turns their inks into RGB.
    const J_COLOR_SPACE space = s.cinfo.jpeg_color_space;
    if (!header || (space != JCS_YCbCr && space != JCS_RGB && space != JCS_GRAYSCALE)) return {};
    const int w = int(s.cinfo.image_width), h = int(s.cinfo.image_height);
    const int orientation = OrientationOf(s.cinfo);
    const bool turned = orientation >= kFirstQuarterTurn;
    const int factor =
        ShrinkOnLoad::Factor(w, h, boxWidth, boxHeight, ShrinkOnLoad::kJpegDct, turned);
    if (!Start(s, factor)) return {};
    const int ow = int(s.cinfo.output_width), oh = int(s.cinfo.output_height);
    std::size_t stride = 0, size = 0;
    if (!SurfaceSize(ow, oh, 32, kMaxSurfaceBytes, stride, size)) return {};

    Landed landed{false, turned ? h : w, turned ? w : h};
    const int uw = turned ? oh : ow, uh = turned ? ow : oh; // the decoded picture upright
    const mFit::Placement fit =
        mFit::FitInBox(landed.fullWidth, landed.fullHeight, boxWidth, boxHeight, 0, true);
    std::vector<uint8_t*> rows;
    // Every pixel is written by the decode: no time spent clearing them first.
    std::unique_ptr<uint32_t[]> decoded, upright;
    try {
        rows.resize(std::size_t(std::max(oh, uh)));
        if (orientation == 1 && fit.width == ow && fit.height == oh) {
            // Decoded at its fit: straight onto the surface.
            if (!Shown.SetSize(ow, oh)) return {};
            cDIB& surface = *Shown.Image();
            for (int y = 0; y < oh; ++y)
                rows[std::size_t(y)] =
                    surface.lpBits() + std::size_t(y) * std::size_t(surface.BytesPerScanline());
            if (!ReadRows(s, rows.data())) return {};
            ClearFourthBytes(surface);
            ColourProfile::ToSrgb(surface, icc);
            landed.loaded = true;
            return landed;
        }
        // Otherwise into a bitmap of FreeImage's row order (bottom-up), which
        // its resampling reads in place, as it reads the FreeImage road's.
        upright = std::make_unique_for_overwrite<uint32_t[]>(std::size_t(uw) * std::size_t(uh));
        for (int y = 0; y < uh; ++y)
            rows[std::size_t(y)] = reinterpret_cast<uint8_t*>(
                upright.get() + std::size_t(uh - 1 - y) * std::size_t(uw));
        if (orientation == 1) {
            if (!ReadRows(s, rows.data())) return {};
        } else {
            decoded = std::make_unique_for_overwrite<uint32_t[]>(std::size_t(ow) * std::size_t(oh));
            std::vector<uint8_t*> storedRows(static_cast<std::size_t>(oh));
            for (int y = 0; y < oh; ++y)
                storedRows[std::size_t(y)] =
                    reinterpret_cast<uint8_t*>(decoded.get() + std::size_t(y) * std::size_t(ow));
            if (!ReadRows(s, storedRows.data())) return {};
            TurnUpright(decoded.get(), ow, oh, orientation, rows.data(), uw, uh);
            decoded.reset();
        }
    } catch (const std::bad_alloc&) {
        return {};
    }
    // Within a few times its fit (as a DCT scale leaves nearly every photo):
    // resampled here, FreeImage's Lanczos within a level, in a fraction of
    // its time. Many times larger: block means first, as FreeImage's road.
    if (ShrinkOnLoad::Factor(uw, uh, boxWidth, boxHeight, ShrinkOnLoad::kBlockMeans) < 2) {
        if (!Shown.SetSize(fit.width, fit.height)) return {};
        cDIB& surface = *Shown.Image();
        std::vector<uint8_t*> to;
        try {
            to.resize(std::size_t(fit.height));
        } catch (const std::bad_alloc&) {
            return {};
        }
        for (int y = 0; y < fit.height; ++y)
            to[std::size_t(y)] =
                surface.lpBits() + std::size_t(y) * std::size_t(surface.BytesPerScanline());
        if (!Lanczos::Resample(rows.data(), uw, uh, to.data(), fit.width, fit.height)) return {};
        ClearFourthBytes(surface);
        ColourProfile::ToSrgb(surface, icc);
        landed.loaded = true;
        return landed;
    }
    FIBITMAP* bitmap = FreeImage_ConvertFromRawBitsEx(
        FALSE, reinterpret_cast<BYTE*>(upright.get()), FIT_BITMAP, uw, uh, uw * 4, 32,
        FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK, FALSE);
    if (!bitmap) return {};
    FIBITMAP* shown = MFreeImage_2::FittedToBox(bitmap, bitmap, {boxWidth, boxHeight},
                                                landed.fullWidth, landed.fullHeight);
    const int sw = int(FreeImage_GetWidth(shown)), sh = int(FreeImage_GetHeight(shown));
    if (FreeImage_GetBPP(shown) == 32 && Shown.SetSize(sw, sh)) {
        cDIB& surface = *Shown.Image();
        for (int y = 0; y < sh; ++y) {
            const auto* in =
                reinterpret_cast<const uint32_t*>(FreeImage_GetScanLine(shown, sh - 1 - y));
            auto* out = reinterpret_cast<uint32_t*>(
                surface.lpBits() + std::size_t(y) * std::size_t(surface.BytesPerScanline()));
            for (int x = 0; x < sw; ++x)
                out[x] = in[x] & kColourBits;
        }
        ColourProfile::ToSrgb(surface, icc);
        landed.loaded = true;
    }
    if (shown != bitmap) FreeImage_Unload(shown);
    FreeImage_Unload(bitmap);
    return landed;
}

} // namespace JpegReader
