#include "imaging/HeifReader.h"

#include "imaging/ColourProfile.h"
#include "imaging/RowBands.h"
#include "imaging/mScaleImage.h"

#include <algorithm>
#include <libheif/heif.h>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

namespace HeifReader {

namespace {

using ModernReaders::Outcome;

// The ftyp box: a 32-bit size, "ftyp", the major brand, a minor version,
// then compatible brands of four bytes each.
constexpr std::size_t kBoxHeader = 8;
constexpr std::size_t kBrandBytes = 4;
constexpr std::size_t kFirstCompatibleBrand = 16;
constexpr std::string_view kFtyp = "ftyp";
// Brands of files that hold still pictures libheif decodes: HEVC (heic,
// heix and their multi-layer kinds), the general image brands and AV1.
constexpr std::string_view kStillBrands[] = {"heic", "heix", "heim", "heis",
                                             "mif1", "mif2", "avif"};

bool IsStillBrand(std::span<const uint8_t> brand) {
    const std::string_view text(reinterpret_cast<const char*>(brand.data()), brand.size());
    for (const std::string_view still : kStillBrands)
        if (text == still) return true;
    return false;
}

uint32_t BigEndian32(std::span<const uint8_t> b) {
    return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
}

// The chroma every HEVC picture of the file is coded in, from the hvcC boxes
// of its meta box (a chromaFormat of 1, 2 or 3 in the configuration's 17th
// byte), or undefined when they differ, when there are none or when the
// boxes cannot be walked. Asked for as coded, libheif hands the planes over
// as they are; asked for undefined, it spreads 4:2:0 chroma to 4:4:4 on one thread.
heif_chroma CodedChroma(std::span<const uint8_t> bytes) {
    constexpr std::size_t kChromaByte = 16;
    constexpr std::string_view kMeta = "meta", kHvcC = "hvcC";
    const auto type = [&bytes](std::size_t at) {
        return std::string_view(reinterpret_cast<const char*>(bytes.data()) + at, kBrandBytes);
    };
    std::size_t at = 0;
    while (at + kBoxHeader <= bytes.size()) { // the file's top-level boxes, for its meta box
        const std::size_t size = BigEndian32(bytes.subspan(at, 4));
        if (size < kBoxHeader || size > bytes.size() - at) return heif_chroma_undefined;
        if (type(at + 4) != kMeta) {
            at += size;
            continue;
        }
        heif_chroma chroma = heif_chroma_undefined;
        for (std::size_t box = at + kBoxHeader; box + kBoxHeader <= at + size; ++box) {
            if (type(box + 4) != kHvcC) continue;
            const std::size_t length = BigEndian32(bytes.subspan(box, 4));
            if (length <= kBoxHeader + kChromaByte || length > at + size - box)
                return heif_chroma_undefined;
            const heif_chroma coded = [](int format) {
                switch (format) {
                case 1:
                    return heif_chroma_420;
                case 2:
                    return heif_chroma_422;
                case 3:
                    return heif_chroma_444;
                default:
                    return heif_chroma_undefined;
                }
            }(bytes[box + kBoxHeader + kChromaByte] & 3);
            if (coded == heif_chroma_undefined ||
                (chroma != heif_chroma_undefined && coded != chroma))
                return heif_chroma_undefined;
            chroma = coded;
        }
        return chroma;
    }
    return heif_chroma_undefined;
}

struct ContextFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleRelease {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageRelease {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct OptionsFree {
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};
using Handle = std::unique_ptr<heif_image_handle, HandleRelease>;

bool Ok(const heif_error& e) {
    return e.code == heif_error_Ok;
}

// The Kr and Kb of an nclx matrix that turns YCbCr to RGB the common way,
// or false for the matrices libheif turns by other means (identity, YCgCo,
// derived from the primaries).
bool MatrixWeights(heif_matrix_coefficients matrix, double& kr, double& kb) {
    switch (matrix) {
    case heif_matrix_coefficients_ITU_R_BT_709_5:
        kr = 0.2126, kb = 0.0722;
        return true;
    case heif_matrix_coefficients_unspecified:
    case heif_matrix_coefficients_ITU_R_BT_470_6_System_B_G:
    case heif_matrix_coefficients_ITU_R_BT_601_6:
        kr = 0.299, kb = 0.114;
        return true;
    case heif_matrix_coefficients_US_FCC_T47:
        kr = 0.30, kb = 0.11;
        return true;
    case heif_matrix_coefficients_SMPTE_240M:
        kr = 0.212, kb = 0.087;
        return true;
    case heif_matrix_coefficients_ITU_R_BT_2020_2_non_constant_luminance:
        kr = 0.2627, kb = 0.0593;
        return true;
    default:
        return false;
    }
}

// The planes of an 8-bit YCbCr picture as decoded, `w` x `h`, to be turned
// to RGB as libheif would (nearest chroma sample, the picture's nclx matrix,
// full range when it names none). False for a picture of another kind.
bool ReadPlanes(heif_image* image, heif_image_handle* handle, ModernReaders::Land::YCbCr& planes,
                int& w, int& h) {
    if (heif_image_get_colorspace(image) != heif_colorspace_YCbCr) return false;
    switch (heif_image_get_chroma_format(image)) {
    case heif_chroma_420:
        planes.shiftX = planes.shiftY = 1;
        break;
    case heif_chroma_422:
        planes.shiftX = 1;
        break;
    case heif_chroma_444:
        break;
    default:
        return false;
    }
    heif_color_profile_nclx* nclx = nullptr;
    if (!Ok(heif_image_get_nclx_color_profile(image, &nclx)))
        (void)heif_image_handle_get_nclx_color_profile(handle, &nclx);
    const heif_matrix_coefficients matrix =
        nclx ? nclx->matrix_coefficients : heif_matrix_coefficients_unspecified;
    planes.fullRange = !nclx || nclx->full_range_flag != 0;
    heif_nclx_color_profile_free(nclx);
    if (!MatrixWeights(matrix, planes.kr, planes.kb)) return false;
    const heif_channel channels[3] = {heif_channel_Y, heif_channel_Cb, heif_channel_Cr};
    constexpr int kEightBits = 8;
    for (const heif_channel channel : channels)
        if (heif_image_get_bits_per_pixel_range(image, channel) != kEightBits) return false;
    int yStride = 0, cbStride = 0, crStride = 0;
    planes.y = heif_image_get_plane_readonly(image, channels[0], &yStride);
    planes.cb = heif_image_get_plane_readonly(image, channels[1], &cbStride);
    planes.cr = heif_image_get_plane_readonly(image, channels[2], &crStride);
    if (!planes.y || !planes.cb || !planes.cr) return false;
    w = heif_image_get_width(image, channels[0]);
    h = heif_image_get_height(image, channels[0]);
    const int cw = heif_image_get_width(image, channels[1]);
    const int ch = heif_image_get_height(image, channels[1]);
    // Every luma sample has its chroma sample within the planes.
    if (yStride < w || cbStride != crStride || cbStride < cw || w <= 0 || h <= 0 ||
        heif_image_get_width(image, channels[2]) != cw ||
        heif_image_get_height(image, channels[2]) != ch || ((w - 1) >> planes.shiftX) >= cw ||
        ((h - 1) >> planes.shiftY) >= ch)
        return false;
    planes.yStride = std::size_t(yStride);
    planes.cStride = std::size_t(cbStride);
    return true;
}

// The primary image's thumbnail that is the smallest still covering `fit`,
// or none.
Handle ThumbnailCovering(heif_image_handle* primary, const mScaleImage::Placement& fit) {
    const int count = heif_image_handle_get_number_of_thumbnails(primary);
    if (count <= 0) return nullptr;
    std::vector<heif_item_id> ids(static_cast<std::size_t>(count));
    const int listed = heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count);
    Handle best;
    for (int i = 0; i < listed; ++i) {
        heif_image_handle* raw = nullptr;
        if (!Ok(heif_image_handle_get_thumbnail(primary, ids[std::size_t(i)], &raw))) continue;
        Handle thumb(raw);
        const int w = heif_image_handle_get_width(thumb.get());
        const int h = heif_image_handle_get_height(thumb.get());
        if (w < fit.width || h < fit.height) continue;
        if (!best || w < heif_image_handle_get_width(best.get())) best = std::move(thumb);
    }
    return best;
}

// The ICC profile stored with `handle`, or none.
std::vector<uint8_t> IccProfile(heif_image_handle* handle) {
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    if (type != heif_color_profile_type_prof && type != heif_color_profile_type_rICC) return {};
    std::vector<uint8_t> icc(heif_image_handle_get_raw_color_profile_size(handle));
    if (icc.empty() || !Ok(heif_image_handle_get_raw_color_profile(handle, icc.data()))) return {};
    return icc;
}

} // namespace

bool Recognises(std::span<const uint8_t> bytes) {
    if (bytes.size() < kFirstCompatibleBrand ||
        std::string_view(reinterpret_cast<const char*>(bytes.data()) + 4, 4) != kFtyp)
        return false;
    // The brands within the box, and within the file.
    const std::size_t end = std::min<std::size_t>(BigEndian32(bytes.first(4)), bytes.size());
    if (end < kFirstCompatibleBrand) return false;
    if (IsStillBrand(bytes.subspan(kBoxHeader, kBrandBytes))) return true;
    for (std::size_t at = kFirstCompatibleBrand; at + kBrandBytes <= end; at += kBrandBytes)
        if (IsStillBrand(bytes.subspan(at, kBrandBytes))) return true;
    return false;
}

void Prepare() {
    static const bool ready = [] {
        heif_init(nullptr);
        return true;
    }();
    (void)ready;
}

Outcome Load(std::span<const uint8_t> bytes, MFreeImage_2::Box box, PictureBox& whole,
             int& fullWidth, int& fullHeight) try {
    Prepare();
    std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
    if (!context || !Ok(heif_context_read_from_memory_without_copy(context.get(), bytes.data(),
                                                                   bytes.size(), nullptr)))
        return Outcome::Refused;
    // A phone's photo is a grid of tiles, which libheif decodes on as many threads as it is given.
    heif_context_set_max_decoding_threads(context.get(), RowBands::Processors());
    heif_image_handle* raw = nullptr;
    if (!Ok(heif_context_get_primary_image_handle(context.get(), &raw))) return Outcome::Refused;
    const Handle primary(raw);
    // The size after the file's transforms: the picture as it stands.
    const int width = heif_image_handle_get_width(primary.get());
    const int height = heif_image_handle_get_height(primary.get());
    if (width <= 0 || height <= 0) return Outcome::Refused;
    if (!ModernReaders::Land::Fits(width, height)) return Outcome::TooLarge;

    Handle thumbnail;
    if (box.width > 0 && box.height > 0)
        thumbnail = ThumbnailCovering(
            primary.get(), mScaleImage::FitInBox(width, height, box.width, box.height, 0, true));
    std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
    if (!options) return Outcome::Refused;
    options->convert_hdr_to_8bit = 1; // 10 and 12-bit pictures as 8 bits a channel
    // An opaque 8-bit picture is asked for as coded, its YCbCr planes, and
    // landed from them on every processor: no RGB copy of the whole picture is
    // made. Any other is asked for as RGB.
    const auto planar = [](heif_image_handle* handle) {
        constexpr int kEightBits = 8;
        return heif_image_handle_has_alpha_channel(handle) == 0 &&
               heif_image_handle_get_luma_bits_per_pixel(handle) == kEightBits &&
               heif_image_handle_get_chroma_bits_per_pixel(handle) == kEightBits;
    };
    const heif_chroma coded = CodedChroma(bytes);
    const auto decode = [&options, coded](heif_image_handle* handle, bool planes) {
        heif_image* image = nullptr;
        const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
        if (planes)
            heif_decode_image(handle, &image, heif_colorspace_YCbCr, coded, options.get());
        else
            heif_decode_image(handle, &image, heif_colorspace_RGB,
                              alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                              options.get());
        return std::unique_ptr<heif_image, ImageRelease>(image);
    };
    std::unique_ptr<heif_image, ImageRelease> image =
        thumbnail ? decode(thumbnail.get(), planar(thumbnail.get())) : nullptr;
    if (!image) thumbnail.reset(); // a damaged thumbnail: the picture itself
    heif_image_handle* decoded = thumbnail ? thumbnail.get() : primary.get();
    if (!image) image = decode(decoded, planar(decoded));
    if (!image) return Outcome::Refused;
    int w = 0, h = 0;
    ModernReaders::Land::YCbCr planes;
    if (ReadPlanes(image.get(), decoded, planes, w, h)) {
        if (!ModernReaders::Land::Fits(w, h)) return Outcome::TooLarge;
        if (!ModernReaders::Land::Planes(planes, w, h, ModernReaders::Land::ShrinkFactor(w, h, box),
                                         whole))
            return Outcome::TooLarge;
    } else {
        if (heif_image_get_chroma_format(image.get()) != heif_chroma_interleaved_RGB &&
            heif_image_get_chroma_format(image.get()) != heif_chroma_interleaved_RGBA)
            image = decode(decoded, false); // planes of another kind: libheif turns them
        if (!image) return Outcome::Refused;
        const bool alpha = heif_image_handle_has_alpha_channel(decoded) != 0;
        w = heif_image_get_width(image.get(), heif_channel_interleaved);
        h = heif_image_get_height(image.get(), heif_channel_interleaved);
        int stride = 0;
        const uint8_t* pixels =
            heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
        constexpr int kEightBits = 8;
        if (!pixels || w <= 0 || h <= 0 || stride <= 0 ||
            heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) !=
                kEightBits)
            return Outcome::Refused;
        if (!ModernReaders::Land::Fits(w, h)) return Outcome::TooLarge;
        const bool premultiplied = alpha && heif_image_handle_is_premultiplied_alpha(decoded) != 0;
        const int shrink = ModernReaders::Land::ShrinkFactor(w, h, box);
        if (!ModernReaders::Land::Pixels(pixels, std::size_t(stride), alpha ? 4 : 3, premultiplied,
                                         w, h, shrink, whole))
            return Outcome::TooLarge;
    }
    std::vector<uint8_t> icc = IccProfile(decoded);
    if (icc.empty() && thumbnail) icc = IccProfile(primary.get());
    if (!icc.empty()) ColourProfile::ToSrgb(*whole.hDC(), icc);
    // A file whose decoded primary image is not the size it declares is taken at its decoded size.
    fullWidth = thumbnail ? width : w;
    fullHeight = thumbnail ? height : h;
    return Outcome::Loaded;
} catch (const std::bad_alloc&) { // libheif's memory for a picture that is too large
    return Outcome::TooLarge;
}

} // namespace HeifReader
