#include "tools/Probe.h"

#include "imaging/StillDecoder.h"
#include "imaging/mScaleImage.h"
#include "tools/Fnv.h"

#include <cstdio>

int ProbeStill(const std::string& file, int boxWidth, int boxHeight, bool withBox) {
    // Through the confined decoder helper, as the program decodes.
    PictureBox PicLoad;
    if (const DecodeResult decoded = StillDecoder().Decode(file); decoded.Decoded())
        PicLoad.AdoptSurface(decoded.picture);
    const cDIB& s = PicLoad.Surface();
    Fnv1a hash;
    for (int32_t y = 0; s.lpBits() && y < s.Height(); ++y) {
        const uint8_t* row = s.lpBits() + std::size_t(y) * std::size_t(s.BytesPerScanline());
        for (int32_t x = 0; x < s.Width(); ++x) {
            const uint8_t rgb[3] = {row[4 * x + 2], row[4 * x + 1], row[4 * x]};
            hash.Add(rgb, 3);
        }
    }
    std::printf("size=%dx%d rgb=%s\n", PicLoad.Width(), PicLoad.Height(), hash.Hex().c_str());
    if (PicLoad.Width() == 0) return 1;
    if (withBox) {
        PictureBox target;
        if (!target.SetSize(boxWidth, boxHeight)) return 1;
        const mScaleImage::Placement p = mScaleImage::ScaleImageToBox(PicLoad, target, 0, true);
        std::printf("placed=%d,%d,%dx%d\n", p.x, p.y, p.width, p.height);
    }
    return 0;
}
