// `vantrel-probe play`: the animated viewer's stepping on a canvas the size of
// the logical screen, on a white background, without a window. The first step
// is the one a load performs, each further one a "next frame".
#include "gif/GifAnimation.h"
#include "gif/cGIF.h"
#include "tools/Fnv.h"
#include "tools/Probe.h"

#include <cstdio>
#include <fstream>

namespace {

constexpr uint32_t kWhite = 0x00FFFFFF;

// The display buffer's red, green and blue bytes, row by row from the top.
std::vector<uint8_t> RgbRows(const cDIB& d) {
    std::vector<uint8_t> rgb;
    rgb.reserve(std::size_t(d.Width()) * std::size_t(d.Height()) * 3);
    for (int32_t y = 0; y < d.Height(); ++y) {
        const uint8_t* row = d.lpBits() + std::size_t(y) * std::size_t(d.BytesPerScanline());
        for (int32_t x = 0; x < d.Width(); ++x) {
            const uint8_t* px = row + 4 * std::size_t(x); // blue, green, red, 0
            rgb.insert(rgb.end(), {px[2], px[1], px[0]});
        }
    }
    return rgb;
}

bool WritePpm(const std::string& path, const cDIB& d, const std::vector<uint8_t>& rgb) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << d.Width() << ' ' << d.Height() << "\n255\n";
    out.write(reinterpret_cast<const char*>(rgb.data()), std::streamsize(rgb.size()));
    return bool(out);
}

} // namespace

int ProbePlay(const std::string& file, int steps, const std::string& outDir) {
    cGIF gif;
    GifAnimation anim(gif);
    if (!gif.LoadFromFile(file) || gif.FramesCount() <= 0 || !anim.CreateBuffers(kWhite)) {
        std::printf("play ok=0\n");
        return 1;
    }
    for (int k = 1; k <= steps; ++k) {
        const GifAnimation::Step s = anim.Advance();
        const std::vector<uint8_t> rgb = RgbRows(anim.Display());
        Fnv1a h;
        h.Add(rgb.data(), rgb.size());
        std::printf("step %d frame=%d interval=%d display=%s\n", k, s.frame, int(s.interval),
                    h.Hex().c_str());
        if (!outDir.empty() &&
            !WritePpm(outDir + "/step" + std::to_string(k) + ".ppm", anim.Display(), rgb)) {
            std::fprintf(stderr, "cannot write %s/step%d.ppm\n", outDir.c_str(), k);
            return 1;
        }
    }
    return 0;
}
