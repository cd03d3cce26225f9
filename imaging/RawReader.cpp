#include "imaging/RawReader.h"

#include "imaging/ShrinkOnLoad.h"
#include "imaging/mScaleImage.h"

#include <FreeImage.h>
#include <algorithm>
#include <memory>
#include <mutex>

// FreeImage.h and LibRaw both name a 64-bit integer INT64 (long and long
// long): LibRaw's is renamed here. Its C functions use neither.
#define INT64 LIBRAW_INT64
#define UINT64 LIBRAW_UINT64
#include <libraw/libraw.h>
#undef INT64
#undef UINT64

namespace RawReader {

namespace {

using ModernReaders::Outcome;

// LibRaw's non-reentrant build, which FreeImage uses too: one file at a time.
std::mutex libraryLock;

// LibRaw's flip: 3 half a turn, 5 a quarter counter-clockwise, 6 a quarter
// clockwise; bit 2 set means the sides swap.
constexpr int kHalfTurn = 3;
constexpr int kQuarterLeft = 5;
constexpr int kQuarterRight = 6;
constexpr int kSidesSwap = 4;
// FreeImage turns counter-clockwise for positive angles.
constexpr double kLeft = 90, kRight = -90, kHalf = 180;
constexpr int kEightBits = 8;
constexpr int kRgb = 3;

struct RawClose {
    void operator()(libraw_data_t* r) const { libraw_close(r); }
};
struct ImageFree {
    void operator()(libraw_processed_image_t* i) const { libraw_dcraw_clear_mem(i); }
};
using Image = std::unique_ptr<libraw_processed_image_t, ImageFree>;

struct MemoryClose {
    void operator()(FIMEMORY* m) const { FreeImage_CloseMemory(m); }
};
using Memory = std::unique_ptr<FIMEMORY, MemoryClose>;

// FreeImage reading the caller's bytes in place; null past its 32-bit sizes.
Memory OpenMemory(std::span<const uint8_t> bytes) {
    constexpr std::size_t kMaxMemoryBytes = 0xFFFFFFFFu;
    return Memory(bytes.size() <= kMaxMemoryBytes
                      ? FreeImage_OpenMemory(const_cast<BYTE*>(bytes.data()), DWORD(bytes.size()))
                      : nullptr);
}

struct BitmapUnload {
    void operator()(FIBITMAP* b) const { FreeImage_Unload(b); }
};
using Bitmap = std::unique_ptr<FIBITMAP, BitmapUnload>;

Bitmap Upright(Bitmap bitmap, int flip) {
    const double angle = flip == kHalfTurn       ? kHalf
                         : flip == kQuarterLeft  ? kLeft
                         : flip == kQuarterRight ? kRight
                                                 : 0;
    if (angle == 0 || !bitmap) return bitmap;
    Bitmap turned(FreeImage_Rotate(bitmap.get(), angle));
    return turned ? std::move(turned) : std::move(bitmap);
}

// The embedded JPEG preview onto `whole`, upright, when it covers `fit` (of
// `box`), at the DCT scale ShrinkOnLoad chooses for it.
bool LoadPreview(libraw_data_t* raw, MFreeImage_2::Box box, const mScaleImage::Placement& fit,
                 PictureBox& whole) {
    if (libraw_unpack_thumb(raw) != LIBRAW_SUCCESS ||
        raw->thumbnail.tformat != LIBRAW_THUMBNAIL_JPEG)
        return false;
    const bool swap = (raw->sizes.flip & kSidesSwap) != 0;
    const int w = swap ? raw->thumbnail.theight : raw->thumbnail.twidth;
    const int h = swap ? raw->thumbnail.twidth : raw->thumbnail.theight;
    if (w < fit.width || h < fit.height) return false;
    int error = 0;
    const Image jpeg(libraw_dcraw_make_mem_thumb(raw, &error));
    if (!jpeg || jpeg->type != LIBRAW_IMAGE_JPEG) return false;
    const Memory memory = OpenMemory({jpeg->data, jpeg->data_size});
    if (!memory.get()) return false;
    const int factor = ShrinkOnLoad::Factor(raw->thumbnail.twidth, raw->thumbnail.theight,
                                            box.width, box.height, ShrinkOnLoad::kJpegDct, swap);
    const int longest = std::max<int>(raw->thumbnail.twidth, raw->thumbnail.theight);
    Bitmap bitmap(FreeImage_LoadFromMemory(
        FIF_JPEG, memory.get(), JPEG_ACCURATE | MFreeImage_2::JpegScaleFlags(longest, factor)));
    if (bitmap && FreeImage_GetBPP(bitmap.get()) != 24)
        bitmap.reset(FreeImage_ConvertTo24Bits(bitmap.get()));
    bitmap = Upright(std::move(bitmap), raw->sizes.flip);
    if (!bitmap) return false;
    const int bw = int(FreeImage_GetWidth(bitmap.get())),
              bh = int(FreeImage_GetHeight(bitmap.get()));
    if (!ModernReaders::Land::Fits(bw, bh) || !whole.SetSize(bw, bh)) return false;
    MFreeImage_2::DrawBitmapToDC(bitmap.get(), whole.hDC(), bw, bh);
    return true;
}

// The raw data developed onto `whole`, upright: at half size for the whole
// picture and where half the sensor still covers `fit`, else at full size.
Outcome Develop(libraw_data_t* raw, MFreeImage_2::Box box, const mScaleImage::Placement& fit,
                PictureBox& whole) {
    const bool swap = (raw->sizes.flip & kSidesSwap) != 0;
    const int halfWidth = (swap ? raw->sizes.height : raw->sizes.width) / 2;
    const int halfHeight = (swap ? raw->sizes.width : raw->sizes.height) / 2;
    const bool wholePicture = box.width <= 0 || box.height <= 0;
    raw->params.half_size = wholePicture || (halfWidth >= fit.width && halfHeight >= fit.height);
    raw->params.use_camera_wb = 1;
    raw->params.output_bps = kEightBits;
    if (libraw_unpack(raw) != LIBRAW_SUCCESS || libraw_dcraw_process(raw) != LIBRAW_SUCCESS)
        return Outcome::Refused;
    int error = 0;
    const Image image(libraw_dcraw_make_mem_image(raw, &error));
    if (!image || image->type != LIBRAW_IMAGE_BITMAP || image->colors != kRgb ||
        image->bits != kEightBits ||
        std::size_t(image->width) * image->height * kRgb > image->data_size)
        return Outcome::Refused;
    const int w = image->width, h = image->height;
    return ModernReaders::Land::Pixels(image->data, std::size_t(w) * kRgb, kRgb, false, w, h,
                                       ModernReaders::Land::ShrinkFactor(w, h, box), whole)
               ? Outcome::Loaded
               : Outcome::TooLarge;
}

} // namespace

bool Recognises(std::span<const uint8_t> bytes, const std::string& FileName) {
    const Memory memory = OpenMemory(bytes);
    if (!memory.get()) return false;
    const FREE_IMAGE_FORMAT format = FreeImage_GetFileTypeFromMemory(memory.get(), 0);
    if (format == FIF_RAW) return true;
    if ((format != FIF_TIFF && format != FIF_UNKNOWN) ||
        FreeImage_GetFIFFromFilename(FileName.c_str()) != FIF_RAW)
        return false;
    FreeImage_SeekMemory(memory.get(), 0, SEEK_SET);
    return FreeImage_ValidateFromMemory(FIF_RAW, memory.get());
}

Outcome Load(std::span<const uint8_t> bytes, MFreeImage_2::Box box, PictureBox& whole,
             int& fullWidth, int& fullHeight, bool& shownPreview) {
    shownPreview = false;
    const std::lock_guard<std::mutex> hold(libraryLock);
    const std::unique_ptr<libraw_data_t, RawClose> raw(libraw_init(0));
    if (!raw) return Outcome::Refused;
    // What LibRaw cannot open is left to FreeImage: a plain TIFF under a RAW
    // name is read as the TIFF it is, and a damaged RAW file fails there.
    if (libraw_open_buffer(raw.get(), const_cast<uint8_t*>(bytes.data()), bytes.size()) !=
        LIBRAW_SUCCESS)
        return Outcome::NotMine;
    const bool swap = (raw->sizes.flip & kSidesSwap) != 0;
    const int width = swap ? raw->sizes.height : raw->sizes.width;
    const int height = swap ? raw->sizes.width : raw->sizes.height;
    if (width <= 0 || height <= 0) return Outcome::Refused;
    if (!ModernReaders::Land::Fits(width, height)) return Outcome::TooLarge;
    fullWidth = width;
    fullHeight = height;
    const bool wanted = box.width > 0 && box.height > 0;
    const auto fit = wanted ? mScaleImage::FitInBox(width, height, box.width, box.height, 0, true)
                            : mScaleImage::Placement{};
    if (wanted && LoadPreview(raw.get(), box, fit, whole)) {
        shownPreview = true;
        return Outcome::Loaded;
    }
    return Develop(raw.get(), box, fit, whole);
}

} // namespace RawReader
