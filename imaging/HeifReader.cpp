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
    const auto decode = [&options](heif_image_handle* handle) {
        heif_image* image = nullptr;
        const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
        heif_decode_image(handle, &image, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                          options.get());
        return std::unique_ptr<heif_image, ImageRelease>(image);
    };
    std::unique_ptr<heif_image, ImageRelease> image = thumbnail ? decode(thumbnail.get()) : nullptr;
    if (!image) thumbnail.reset(); // a damaged thumbnail: the picture itself
    if (!image) image = decode(primary.get());
    if (!image) return Outcome::Refused;
    heif_image_handle* decoded = thumbnail ? thumbnail.get() : primary.get();
    const bool alpha = heif_image_handle_has_alpha_channel(decoded) != 0;
    const int w = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int h = heif_image_get_height(image.get(), heif_channel_interleaved);
    int stride = 0;
    const uint8_t* pixels =
        heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    constexpr int kEightBits = 8;
    if (!pixels || w <= 0 || h <= 0 || stride <= 0 ||
        heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) != kEightBits)
        return Outcome::Refused;
    if (!ModernReaders::Land::Fits(w, h)) return Outcome::TooLarge;
    const bool premultiplied = alpha && heif_image_handle_is_premultiplied_alpha(decoded) != 0;
    const int shrink = ModernReaders::Land::ShrinkFactor(w, h, box);
    if (!ModernReaders::Land::Pixels(pixels, std::size_t(stride), alpha ? 4 : 3, premultiplied, w,
                                     h, shrink, whole))
        return Outcome::TooLarge;
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
