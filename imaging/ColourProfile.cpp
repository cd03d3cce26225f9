#include "imaging/ColourProfile.h"

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace ColourProfile {

namespace {

constexpr int kLevels = 256;
constexpr std::size_t kChannels = 3; // blue, green, red; a fourth byte follows
constexpr std::size_t kPixelBytes = 4;
// A profile whose conversion moves no colour of a sample grid (every
// `kSrgbGridStep`-th level of each channel) by more than `kSrgbTolerance`
// is sRGB in all but name: its pictures stay as decoded, exact and free.
constexpr int kSrgbGridStep = 17;
constexpr int kSrgbTolerance = 1;
// An ICC profile's header; anything shorter is no profile.
constexpr std::size_t kIccHeaderBytes = 128;

// What a profile does to a picture, made once for a profile's bytes.
struct Conversion {
    Conversion() = default;
    Conversion(const Conversion&) = delete;
    Conversion& operator=(const Conversion&) = delete;
    ~Conversion() {
        if (rgb) cmsDeleteTransform(rgb);
    }

    std::vector<uint8_t> icc; // the profile it was made from
    // An RGB profile: blue, green, red and a fourth byte that stays as it is.
    cmsHTRANSFORM rgb = nullptr;
    // A grey profile: its tone curve for each of blue, green and red, so
    // that grey pixels stay grey and a background laid under transparent
    // ones keeps its hue.
    bool grey = false;
    std::array<std::array<uint8_t, kLevels>, kChannels> greyCurve{};
};

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

// Every colour of the sample grid, as blue, green, red, 0.
std::vector<uint8_t> SampleGrid() {
    std::vector<uint8_t> grid;
    for (int b = 0; b < kLevels; b += kSrgbGridStep)
        for (int g = 0; g < kLevels; g += kSrgbGridStep)
            for (int r = 0; r < kLevels; r += kSrgbGridStep)
                grid.insert(grid.end(), {uint8_t(b), uint8_t(g), uint8_t(r), 0});
    return grid;
}

bool CloseTo(const uint8_t* a, const uint8_t* b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (std::abs(int(a[i]) - int(b[i])) > kSrgbTolerance) return false;
    return true;
}

// The RGB transform of `profile`, or null when it cannot be made or acts
// as sRGB.
cmsHTRANSFORM RgbTransform(cmsHPROFILE profile, cmsHPROFILE srgb) {
    cmsHTRANSFORM t =
        cmsCreateTransform(profile, TYPE_BGRA_8, srgb, TYPE_BGRA_8, INTENT_PERCEPTUAL, 0);
    if (!t) return nullptr;
    const std::vector<uint8_t> grid = SampleGrid();
    std::vector<uint8_t> converted(grid.size());
    cmsDoTransform(t, grid.data(), converted.data(), cmsUInt32Number(grid.size() / kPixelBytes));
    for (std::size_t i = 0; i < grid.size(); i += kPixelBytes)
        if (!CloseTo(&grid[i], &converted[i], kChannels)) return t;
    cmsDeleteTransform(t);
    return nullptr;
}

// The tone curve of a grey `profile` into `c`; false when it cannot be
// made or acts as sRGB's.
bool GreyCurve(cmsHPROFILE profile, cmsHPROFILE srgb, Conversion& c) {
    cmsHTRANSFORM t =
        cmsCreateTransform(profile, TYPE_GRAY_8, srgb, TYPE_BGR_8, INTENT_PERCEPTUAL, 0);
    if (!t) return false;
    std::array<uint8_t, kLevels> levels;
    std::array<uint8_t, kLevels * kChannels> converted;
    for (int v = 0; v < kLevels; ++v)
        levels[std::size_t(v)] = uint8_t(v);
    cmsDoTransform(t, levels.data(), converted.data(), kLevels);
    cmsDeleteTransform(t);
    bool identity = true;
    for (std::size_t v = 0; v < kLevels; ++v)
        for (std::size_t channel = 0; channel < kChannels; ++channel) {
            c.greyCurve[channel][v] = converted[kChannels * v + channel];
            identity = identity && CloseTo(&levels[v], &converted[kChannels * v + channel], 1);
        }
    return !identity;
}

// The conversion for `icc`; one that does nothing when the profile is
// damaged, of a kind a decoded picture cannot be converted from, or sRGB.
std::shared_ptr<const Conversion> MakeConversion(std::span<const uint8_t> icc) {
    auto c = std::make_shared<Conversion>();
    c->icc.assign(icc.begin(), icc.end());
    if (icc.size() < kIccHeaderBytes || icc.size() > std::numeric_limits<cmsUInt32Number>::max())
        return c;
    // lcms2 checks the header and reads tags only as the transform needs
    // them: a profile cut short or with sizes and offsets that lie fails
    // to open or to make a transform, and is ignored.
    const Profile profile(cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size())));
    if (!profile) return c;
    // Device links, abstract and named-colour profiles describe no picture's
    // colours; CMYK pictures reach us already converted to RGB by the decoder.
    switch (cmsGetDeviceClass(profile.get())) {
    case cmsSigInputClass:
    case cmsSigDisplayClass:
    case cmsSigOutputClass:
    case cmsSigColorSpaceClass:
        break;
    default:
        return c;
    }
    const Profile srgb(cmsCreate_sRGBProfile());
    if (!srgb) return c;
    switch (cmsGetColorSpace(profile.get())) {
    case cmsSigRgbData:
        c->rgb = RgbTransform(profile.get(), srgb.get());
        break;
    case cmsSigGrayData:
        c->grey = GreyCurve(profile.get(), srgb.get(), *c);
        break;
    default:
        break;
    }
    return c;
}

// The conversion for `icc`, made once and kept for the last few profiles
// seen: a folder's photos mostly share one, or a few (a phone's and a
// camera's). Shared between threads; a conversion in use stays alive while
// another thread replaces it.
constexpr std::size_t kKeptConversions = 4;

std::shared_ptr<const Conversion> ConversionFor(std::span<const uint8_t> icc) {
    static std::mutex mutex;
    static std::array<std::shared_ptr<const Conversion>, kKeptConversions> kept; // latest first
    const auto remember = [](std::shared_ptr<const Conversion> c, std::size_t from) {
        std::move_backward(kept.begin(), kept.begin() + std::ptrdiff_t(from),
                           kept.begin() + std::ptrdiff_t(from) + 1);
        kept.front() = std::move(c);
        return kept.front();
    };
    {
        const std::lock_guard lock(mutex);
        for (std::size_t i = 0; i < kept.size() && kept[i]; ++i)
            if (std::ranges::equal(kept[i]->icc, icc)) return remember(kept[i], i);
    }
    auto made = MakeConversion(icc); // outside the lock: other pictures go on
    const std::lock_guard lock(mutex);
    return remember(std::move(made), kept.size() - 1);
}

// Rows [first, end) of `surface` converted in place.
void ConvertRows(const Conversion& c, cDIB& surface, int32_t first, int32_t end) {
    const auto stride = std::size_t(surface.BytesPerScanline());
    uint8_t* rows = surface.lpBits() + std::size_t(first) * stride;
    if (c.rgb) {
        // lcms2 reads each pixel before writing it and leaves the fourth
        // byte of every pixel as it was.
        cmsDoTransformLineStride(c.rgb, rows, rows, cmsUInt32Number(surface.Width()),
                                 cmsUInt32Number(end - first), cmsUInt32Number(stride),
                                 cmsUInt32Number(stride), 0, 0);
        return;
    }
    for (int32_t y = first; y < end; ++y, rows += stride) {
        uint8_t* p = rows;
        for (int32_t x = 0; x < surface.Width(); ++x, p += kPixelBytes)
            for (std::size_t channel = 0; channel < kChannels; ++channel)
                p[channel] = c.greyCurve[channel][p[channel]];
    }
}

// Pictures of at least this many pixels are converted in bands of rows, one
// a processor (at most kMostBands): lcms2 takes about half a second for a
// whole 24-megapixel photo on one.
constexpr int64_t kBandedPixels = int64_t(1) << 20;
constexpr unsigned kMostBands = 8;

} // namespace

bool ToSrgb(cDIB& surface, std::span<const uint8_t> icc) {
    if (icc.empty() || surface.bpp() != 32 || !surface.lpBits()) return false;
    const auto c = ConversionFor(icc);
    if (!c->rgb && !c->grey) return false;
    const int32_t height = surface.Height();
    const unsigned bands = int64_t(surface.Width()) * height < kBandedPixels
                               ? 1
                               : std::clamp(std::thread::hardware_concurrency(), 1u, kMostBands);
    const auto bandStart = [&](unsigned band) { return int32_t(int64_t(height) * band / bands); };
    std::vector<std::thread> others;
    for (unsigned band = 1; band < bands; ++band) {
        try {
            others.emplace_back(ConvertRows, std::cref(*c), std::ref(surface), bandStart(band),
                                bandStart(band + 1));
        } catch (const std::system_error&) { // no thread to be had: this one does it
            ConvertRows(*c, surface, bandStart(band), bandStart(band + 1));
        }
    }
    ConvertRows(*c, surface, 0, bandStart(1));
    for (std::thread& other : others)
        other.join();
    return true;
}

} // namespace ColourProfile
