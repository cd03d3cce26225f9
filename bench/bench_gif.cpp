// GIF decoding and encoding, ours next to giflib's, on the same inputs.
#include "bench/BenchSupport.h"
#include "bench/GifInputs.h"
#include "gif/ByteSink.h"
#include "gif/cGIF.h"
#include "gif/mGIFLZWEnc.h"

#include <benchmark/benchmark.h>
#include <cstdio>

namespace {

const char* const kDecodeInputs[] = {"noise", "gradient", "interlaced", "anim100"};

void DecodeVantrel(benchmark::State& state, const std::string& name) {
    const GifInput& in = Input(name);
    cGIF gif;
    for (auto _ : state) {
        gif.LoadFromStream(in.bytes);
        benchmark::DoNotOptimize(gif.FrameDIBXOR(1).lpBits());
    }
    state.SetItemsProcessed(state.iterations() * in.pixels);
}

void DecodeGiflib(benchmark::State& state, const std::string& name) {
    const GifInput& in = Input(name);
    for (auto _ : state) {
        oracle::Reader reader{&in.bytes};
        int error = 0;
        GifFileType* gif = DGifOpen(&reader, oracle::ReadFromVector, &error);
        DGifSlurp(gif);
        benchmark::DoNotOptimize(gif->SavedImages[0].RasterBits);
        DGifCloseFile(gif, &error);
    }
    state.SetItemsProcessed(state.iterations() * in.pixels);
}

const char* const kEncodeInputs[] = {"noise", "gradient", "flat", "anim1000"};

// The frames of an input as our 8-bit surfaces.
std::vector<std::unique_ptr<cDIB>> Surfaces(const GifInput& in) {
    std::vector<std::unique_ptr<cDIB>> out;
    for (const auto& f : in.plan.frames) {
        auto d = std::make_unique<cDIB>();
        d->Create(f.width, f.height, 8);
        for (int y = 0; y < f.height; ++y)
            std::memcpy(d->lpBits() + std::size_t(y) * std::size_t(d->BytesPerScanline()),
                        f.indices.data() + std::size_t(y) * std::size_t(f.width),
                        std::size_t(f.width));
        out.push_back(std::move(d));
    }
    return out;
}

void EncodeVantrel(benchmark::State& state, const std::string& name) {
    const GifInput& in = Input(name);
    const auto frames = Surfaces(in);
    std::size_t bytes = 0;
    for (auto _ : state) {
        VectorSink sink;
        sink.bytes.reserve(in.bytes.size() + 4096);
        for (const auto& d : frames)
            mGIFLZWEnc::EncodeFromDIB(sink, *d, 9, false);
        bytes = sink.bytes.size();
        benchmark::DoNotOptimize(sink.bytes.data());
    }
    state.SetItemsProcessed(state.iterations() * in.pixels);
    state.counters["bytes_out"] = double(bytes);
}

void EncodeGiflib(benchmark::State& state, const std::string& name) {
    const GifInput& in = Input(name);
    std::size_t bytes = 0;
    ColorMapObject* map = oracle::MakeMap(in.plan.global);
    for (auto _ : state) {
        std::vector<uint8_t> out;
        out.reserve(in.bytes.size() + 4096);
        int error = 0;
        GifFileType* gif = EGifOpen(&out, oracle::WriteToVector, &error);
        EGifPutScreenDesc(gif, in.plan.width, in.plan.height, 8, 0, map);
        std::size_t header = out.size();
        for (const auto& f : in.plan.frames) {
            EGifPutImageDesc(gif, 0, 0, f.width, f.height, false, nullptr);
            for (int y = 0; y < f.height; ++y)
                EGifPutLine(gif,
                            const_cast<GifPixelType*>(f.indices.data()) +
                                std::size_t(y) * std::size_t(f.width),
                            f.width);
        }
        EGifCloseFile(gif, &error);
        // Image data only, as ours: drop the screen, the descriptors and code-size bytes.
        bytes = out.size() - header - in.plan.frames.size() * 12 - 1;
        benchmark::DoNotOptimize(out.data());
    }
    GifFreeMapObject(map);
    state.SetItemsProcessed(state.iterations() * in.pixels);
    state.counters["bytes_out"] = double(bytes);
}

// A 3000 x 2000 noise GIF written to disk once; the whole load of the file
// (open, read, parse, decode), ours and giflib's from its file name.
const std::string& NoiseFile() {
    static const std::string path = [] {
        oracle::GifPlan plan;
        plan.width = 3000, plan.height = 2000;
        plan.global = oracle::GreyRamp(256);
        plan.frames.push_back(BenchFrame(3000, 2000, 256, false, false, 9));
        const std::vector<uint8_t> bytes = oracle::Encode(plan);
        const std::string file = ScratchFolder() + "/noise3000x2000.gif";
        std::FILE* f = std::fopen(file.c_str(), "wb");
        if (f) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return file;
    }();
    return path;
}

void LoadFileVantrel(benchmark::State& state, int) {
    const std::string& file = NoiseFile();
    for (auto _ : state) {
        cGIF gif;
        gif.LoadFromFile(file);
        benchmark::DoNotOptimize(gif.FrameDIBXOR(1).lpBits());
    }
    state.SetItemsProcessed(state.iterations() * 3000 * 2000);
}

void LoadFileGiflib(benchmark::State& state, int) {
    const std::string& file = NoiseFile();
    for (auto _ : state)
        GiflibReadFile(file);
    state.SetItemsProcessed(state.iterations() * 3000 * 2000);
}

int Register() {
    RegisterPair("GifLoadFile/noise3000x2000", LoadFileVantrel, "giflib", LoadFileGiflib, 0);
    for (const char* name : kDecodeInputs)
        RegisterPair(std::string("GifDecode/") + name, DecodeVantrel, "giflib", DecodeGiflib,
                     std::string(name));
    for (const char* name : kEncodeInputs)
        RegisterPair(std::string("GifEncode/") + name, EncodeVantrel, "giflib", EncodeGiflib,
                     std::string(name));
    return 0;
}
const int registered = Register();

} // namespace
