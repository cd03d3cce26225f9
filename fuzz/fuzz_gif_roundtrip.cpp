// libFuzzer target: a document read from any bytes, written to memory and
// read back, must come back with the same frames; along the way its frames
// are drawn at scales and crops taken from the input, masked again, and
// played through the animation stepping.
#include "gif/ByteSink.h"
#include "gif/GifAnimation.h"
#include "gif/cGIF.h"

#include <cstdlib>

namespace {

constexpr std::size_t kDocumentBytes = 4u << 20;

void Require(bool ok) {
    if (!ok) std::abort();
}

std::vector<uint8_t> Indices(cGIF& gif, int n) {
    cDIB& d = gif.FrameDIBXOR(n);
    std::vector<uint8_t> out;
    for (int32_t y = 0; d.lpBits() && y < d.Height(); ++y) {
        const uint8_t* row = d.lpBits() + std::size_t(y) * std::size_t(d.BytesPerScanline());
        out.insert(out.end(), row, row + d.Width());
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    cGIF gif({.documentBytes = kDocumentBytes}); // small documents: the fuzzer explores
    if (!gif.LoadFromStream({data, size})) return 0;
    const uint8_t knob = size > 0 ? data[size - 1] : 0;

    // Frame operations driven by the document and the input's last byte.
    cDIB target;
    target.Create(48, 40, knob & 1 ? 32 : 8);
    for (int n = 0; n <= gif.FramesCount() + 1 && n <= 10; ++n) { // 0 and past the end too
        const float scale = float(knob % 7) / 3.0f;
        gif.FrameDraw(target.hDC(), n, int16_t(knob % 11) - 5, int16_t(knob % 13) - 6, scale,
                      knob & 2);
        if (knob & 4) gif.FrameMask(n, uint8_t(knob));
    }
    GifAnimation anim(gif);
    if (gif.FramesCount() > 0 && anim.CreateBuffers(0x8000000F))
        for (int step = 0; step < 2 * gif.FramesCount() && step < 12; ++step)
            anim.Advance();

    // Written and read back: the same frames.
    VectorSink sink;
    if (!gif.SaveTo(sink)) return 0; // a document no sound file can hold
    cGIF again;
    Require(again.LoadFromStream(sink.bytes));
    Require(again.FramesCount() == gif.FramesCount());
    Require(again.ScreenWidth() == gif.ScreenWidth() && again.ScreenHeight() == gif.ScreenHeight());
    for (int n = 1; n <= gif.FramesCount(); ++n) {
        Require(again.FrameLeft(n) == gif.FrameLeft(n) && again.FrameTop(n) == gif.FrameTop(n));
        Require(again.FrameDelay(n) == gif.FrameDelay(n));
        Require(again.FrameDisposalMethod(n) == (gif.FrameDisposalMethod(n) & 7));
        Require(Indices(again, n) == Indices(gif, n));
    }
    return 0;
}
