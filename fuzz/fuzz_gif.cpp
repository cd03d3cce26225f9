// libFuzzer target: any bytes through the GIF reader, then drawn and written.
#include "gif/ByteSink.h"
#include "gif/cGIF.h"
#include "gif/mGIFLZWEnc.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Keep one document's memory small so the fuzzer explores instead of allocating.
    cGIF gif({.documentBytes = 4u << 20});
    if (!gif.LoadFromStream({data, size})) return 0;
    cDIB target;
    target.Create(64, 64, 32);
    for (int n = 1; n <= gif.FramesCount() && n <= 8; ++n) {
        gif.FrameDraw(target.hDC(), n, 0, 0, 0.5f, n % 2 == 0);
        cDIB& image = gif.FrameDIBXOR(n);
        if (image.size() <= (256 << 10)) {
            VectorSink sink;
            mGIFLZWEnc::EncodeFromDIB(sink, image, 9, gif.FrameInterlaced(n));
        }
    }
    return 0;
}
