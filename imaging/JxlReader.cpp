#include "imaging/JxlReader.h"

#include "imaging/ColourProfile.h"

#include <algorithm>
#include <jxl/decode_cxx.h>
#include <jxl/encode.h>
#include <jxl/thread_parallel_runner_cxx.h>
#include <memory>
#include <new>
#include <vector>

namespace JxlReader {

namespace {

using ModernReaders::Outcome;

constexpr uint8_t kCodestream[] = {0xFF, 0x0A};
constexpr uint8_t kContainer[] = {0x00, 0x00, 0x00, 0x0C, 'J',  'X',
                                  'L',  ' ',  0x0D, 0x0A, 0x87, 0x0A};
// Orientations 5 to 8 turn the picture a quarter: its sides swap.
constexpr uint32_t kFirstQuarterTurn = JXL_ORIENT_TRANSPOSE;

bool StartsWith(std::span<const uint8_t> bytes, std::span<const uint8_t> signature) {
    return bytes.size() >= signature.size() &&
           std::equal(signature.begin(), signature.end(), bytes.begin());
}

bool IsSrgb(const JxlColorEncoding& c) {
    return (c.color_space == JXL_COLOR_SPACE_RGB || c.color_space == JXL_COLOR_SPACE_GRAY) &&
           c.white_point == JXL_WHITE_POINT_D65 &&
           (c.color_space == JXL_COLOR_SPACE_GRAY || c.primaries == JXL_PRIMARIES_SRGB) &&
           c.transfer_function == JXL_TRANSFER_FUNCTION_SRGB;
}

// Settles the colours of the pixels to come: sRGB from libjxl where it can
// convert (pictures coded in its own colour space); otherwise the profile of
// the pixels, for ColourProfile, unless they are sRGB already.
bool SettleColours(JxlDecoder* decoder, const JxlBasicInfo& info, std::vector<uint8_t>& icc) {
    if (!info.uses_original_profile) {
        JxlColorEncoding srgb{};
        JxlColorEncodingSetToSRGB(&srgb, info.num_color_channels == 1 ? JXL_TRUE : JXL_FALSE);
        return JxlDecoderSetPreferredColorProfile(decoder, &srgb) == JXL_DEC_SUCCESS;
    }
    JxlColorEncoding encoded{};
    if (JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                           &encoded) == JXL_DEC_SUCCESS &&
        IsSrgb(encoded))
        return true;
    std::size_t size = 0;
    if (JxlDecoderGetICCProfileSize(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) !=
            JXL_DEC_SUCCESS ||
        size == 0)
        return true; // no profile to be had: the pixels are shown as they are
    icc.resize(size);
    if (JxlDecoderGetColorAsICCProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, icc.data(),
                                       size) != JXL_DEC_SUCCESS)
        icc.clear();
    return true;
}

} // namespace

bool Recognises(std::span<const uint8_t> bytes) {
    return StartsWith(bytes, kCodestream) || StartsWith(bytes, kContainer);
}

Outcome Load(std::span<const uint8_t> bytes, MFreeImage_2::Box box, PictureBox& whole,
             int& fullWidth, int& fullHeight) try {
    const JxlDecoderPtr decoder = JxlDecoderMake(nullptr);
    const JxlThreadParallelRunnerPtr runner =
        JxlThreadParallelRunnerMake(nullptr, JxlThreadParallelRunnerDefaultNumWorkerThreads());
    if (!decoder || !runner ||
        JxlDecoderSetParallelRunner(decoder.get(), JxlThreadParallelRunner, runner.get()) !=
            JXL_DEC_SUCCESS ||
        JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING |
                                                     JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetKeepOrientation(decoder.get(), JXL_FALSE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(decoder.get(), bytes.data(), bytes.size()) != JXL_DEC_SUCCESS)
        return Outcome::Refused;
    JxlDecoderCloseInput(decoder.get());

    JxlBasicInfo info{};
    JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    int width = 0, height = 0;         // upright
    std::unique_ptr<uint8_t[]> pixels; // every byte written by libjxl: left uncleared
    std::vector<uint8_t> icc;
    for (;;) {
        switch (JxlDecoderProcessInput(decoder.get())) {
        case JXL_DEC_BASIC_INFO:
            if (JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS)
                return Outcome::Refused;
            if (!ModernReaders::Land::Fits(info.xsize, info.ysize)) return Outcome::TooLarge;
            width = int(info.orientation >= kFirstQuarterTurn ? info.ysize : info.xsize);
            height = int(info.orientation >= kFirstQuarterTurn ? info.xsize : info.ysize);
            format.num_channels = info.alpha_bits > 0 ? 4 : 3;
            if (info.alpha_bits > 0 && info.alpha_premultiplied)
                JxlDecoderSetUnpremultiplyAlpha(decoder.get(), JXL_TRUE);
            break;
        case JXL_DEC_COLOR_ENCODING:
            if (!SettleColours(decoder.get(), info, icc)) return Outcome::Refused;
            break;
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
            std::size_t size = 0;
            if (JxlDecoderImageOutBufferSize(decoder.get(), &format, &size) != JXL_DEC_SUCCESS ||
                size != std::size_t(width) * std::size_t(height) * format.num_channels)
                return Outcome::Refused;
            pixels.reset(new uint8_t[size]);
            if (JxlDecoderSetImageOutBuffer(decoder.get(), &format, pixels.get(), size) !=
                JXL_DEC_SUCCESS)
                return Outcome::Refused;
            break;
        }
        case JXL_DEC_FULL_IMAGE: { // the first frame: all that is shown
            if (!pixels) return Outcome::Refused;
            const std::size_t stride = std::size_t(width) * format.num_channels;
            if (!ModernReaders::Land::Pixels(
                    pixels.get(), stride, int(format.num_channels), false, width, height,
                    ModernReaders::Land::ShrinkFactor(width, height, box), whole))
                return Outcome::TooLarge;
            if (!icc.empty()) ColourProfile::ToSrgb(*whole.hDC(), icc);
            fullWidth = width;
            fullHeight = height;
            return Outcome::Loaded;
        }
        default: // an error, input that ends early, or the end without a frame
            return Outcome::Refused;
        }
    }
} catch (const std::bad_alloc&) {
    return Outcome::TooLarge;
}

} // namespace JxlReader
