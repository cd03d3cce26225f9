#include "imaging/ModernReaders.h"

#include "imaging/AlphaOver.h"
#include "imaging/HeifReader.h"
#include "imaging/JxlReader.h"
#include "imaging/RawReader.h"
#include "imaging/RowBands.h"
#include "imaging/ShrinkOnLoad.h"

#include <algorithm>
#include <vector>

namespace ModernReaders {

namespace {

constexpr unsigned kOpaque = 255;

} // namespace

Landed Load(std::span<const uint8_t> bytes, const std::string& FileName, MFreeImage_2::Box box,
            PictureBox& whole) {
    Landed landed;
    if (HeifReader::Recognises(bytes))
        landed.outcome = HeifReader::Load(bytes, box, whole, landed.fullWidth, landed.fullHeight);
    else if (JxlReader::Recognises(bytes))
        landed.outcome = JxlReader::Load(bytes, box, whole, landed.fullWidth, landed.fullHeight);
    else if (RawReader::Recognises(bytes, FileName))
        landed.outcome = RawReader::Load(bytes, box, whole, landed.fullWidth, landed.fullHeight,
                                         landed.embeddedPreview);
    return landed;
}

void Prepare() {
    HeifReader::Prepare();
}

namespace Land {

bool Fits(int64_t width, int64_t height) {
    std::size_t stride = 0, bytes = 0;
    return SurfaceSize(width, height, 32, kMaxSurfaceBytes, stride, bytes);
}

int ShrinkFactor(int width, int height, MFreeImage_2::Box box) {
    return ShrinkOnLoad::Factor(width, height, box.width, box.height, ShrinkOnLoad::kBlockMeans);
}

namespace {

// `height` rows of `width` pixels onto `whole`, each `shrink` x `shrink`
// block as its mean. `read(y, row, under)` puts picture row `y` as 0x00RRGGBB
// into `row`; `under` is the output row, for pixels laid over its background.
template <class ReadRow>
bool LandRows(int width, int height, int shrink, bool overBackground, PictureBox& whole,
              ReadRow read) {
    const int outWidth = (width + shrink - 1) / shrink;
    const int outHeight = (height + shrink - 1) / shrink;
    if (!whole.SetSize(outWidth, outHeight)) return false;
    if (overBackground) whole.Cls();
    const cDIB& surface = whole.Surface();
    constexpr int kLeastRows = 16;
    RowBands::InBands(outHeight, kLeastRows, [&](int firstOut, int endOut) {
        // One picture row, and the sums of each output pixel's block: red, green and blue.
        std::vector<uint32_t> row(shrink > 1 ? std::size_t(width) : 0);
        std::vector<uint32_t> sums(shrink > 1 ? std::size_t(outWidth) * 3 : 0);
        for (int oy = firstOut; oy < endOut; ++oy) {
            auto* out = reinterpret_cast<uint32_t*>(
                surface.lpBits() + std::size_t(oy) * std::size_t(surface.BytesPerScanline()));
            if (shrink == 1) {
                read(oy, out, out);
                continue;
            }
            const int firstRow = oy * shrink;
            const int rows = std::min(shrink, height - firstRow);
            std::fill(sums.begin(), sums.end(), 0u);
            for (int y = firstRow; y < firstRow + rows; ++y) {
                read(y, row.data(), out);
                for (int x = 0; x < width; ++x) {
                    uint32_t* sum = &sums[std::size_t(x / shrink) * 3];
                    sum[0] += (row[std::size_t(x)] >> 16) & 0xFF;
                    sum[1] += (row[std::size_t(x)] >> 8) & 0xFF;
                    sum[2] += row[std::size_t(x)] & 0xFF;
                }
            }
            for (int ox = 0; ox < outWidth; ++ox) {
                const uint32_t count =
                    uint32_t(rows) * uint32_t(std::min(shrink, width - ox * shrink));
                const uint32_t* sum = &sums[std::size_t(ox) * 3];
                const auto mean = [count](uint32_t s) { return (s + count / 2) / count; };
                out[ox] = (mean(sum[0]) << 16) | (mean(sum[1]) << 8) | mean(sum[2]);
            }
        }
    });
    return true;
}

} // namespace

bool Pixels(const uint8_t* pixels, std::size_t stride, int channels, bool premultiplied, int width,
            int height, int shrink, PictureBox& whole) {
    if (!pixels || width <= 0 || height <= 0 || shrink < 1 || (channels != 3 && channels != 4))
        return false;
    const bool alpha = channels == 4;
    // Pixels with alpha are laid over the background the surface is filled with.
    return LandRows(width, height, shrink, alpha, whole,
                    [&](int y, uint32_t* row, const uint32_t* under) {
                        const uint8_t* in = pixels + std::size_t(y) * stride;
                        for (int x = 0; x < width; ++x, in += channels) {
                            uint8_t r = in[0], g = in[1], b = in[2];
                            if (!alpha) {
                                row[x] = (uint32_t(r) << 16) | (uint32_t(g) << 8) | b;
                                continue;
                            }
                            const unsigned a = in[3];
                            if (premultiplied && a > 0 && a < kOpaque) { // back to straight colours
                                r = uint8_t(std::min(kOpaque, (r * kOpaque + a / 2) / a));
                                g = uint8_t(std::min(kOpaque, (g * kOpaque + a / 2) / a));
                                b = uint8_t(std::min(kOpaque, (b * kOpaque + a / 2) / a));
                            }
                            row[x] = AlphaOver(under[x / shrink], r, g, b, uint8_t(a));
                        }
                    });
}

} // namespace Land

} // namespace ModernReaders
