#include "tools/Probe.h"

#include "gif/cGIF.h"
#include "tools/Fnv.h"

#include <cstdio>

namespace {

// Read through the document's reading surfaces: frames decode as they come
// and need not all be held at once.
std::string IndexHash(const cGIF& gif, int n) {
    const cDIB& dib = gif.FrameDIBXOR(n);
    Fnv1a h;
    if (dib.lpBits())
        for (int32_t r = 0; r < dib.Height(); ++r)
            h.Add(dib.lpBits() + std::size_t(r) * std::size_t(dib.BytesPerScanline()),
                  std::size_t(dib.Width()));
    return h.Hex();
}

} // namespace

int ProbeGif(const std::string& file) {
    cGIF gif;
    if (!gif.LoadFromFile(file)) {
        std::printf("gif ok=0\n");
        return 1;
    }
    std::printf("gif ok=1 version=%s screen=%ux%u bg=%u aspect=%u loops=%d global=%d frames=%d\n",
                gif.Version().c_str(), unsigned(uint16_t(gif.ScreenWidth())),
                unsigned(uint16_t(gif.ScreenHeight())), unsigned(gif.ScreenBackgroundColorIndex()),
                unsigned(gif.ScreenPixelAspectByte()), int(gif.AnimationLoops()),
                gif.GlobalPaletteExists() ? int(gif.GlobalPaletteEntries()) : 0,
                int(gif.FramesCount()));
    for (int n = 1; n <= gif.FramesCount(); ++n) {
        const int width = gif.FrameWidth(n), height = gif.FrameHeight(n);
        std::string transparent = "-";
        if (gif.FrameUseTransparentColor(n))
            transparent = std::to_string(unsigned(gif.FrameTransparentColorIndex(n)));
        std::printf("frame %d rect=%u,%u,%dx%d interlaced=%d delay=%d disposal=%d transparent=%s "
                    "userinput=%d local=%d indices=%s\n",
                    n, unsigned(uint16_t(gif.FrameLeft(n))), unsigned(uint16_t(gif.FrameTop(n))),
                    width, height, gif.FrameInterlaced(n) ? 1 : 0, int(gif.FrameDelay(n)),
                    int(gif.FrameDisposalMethod(n)), transparent.c_str(),
                    gif.FrameUserInput(n) ? 1 : 0,
                    gif.LocalPaletteUsed(n) ? int(gif.LocalPaletteEntries(n)) : 0,
                    IndexHash(gif, n).c_str());
    }
    return 0;
}

int ProbeResave(const std::string& in, const std::string& out) {
    cGIF gif;
    if (!gif.LoadFromFile(in)) return 1;
    return gif.Save(out) ? 0 : 1;
}
