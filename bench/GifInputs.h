// The GIFs the codec benchmarks run on, made once with giflib.
#pragma once

#include "bench/BenchSupport.h"
#include "tests/GifOracle.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

struct GifInput {
    std::vector<uint8_t> bytes;
    int64_t pixels = 0;
    oracle::GifPlan plan;
};

inline oracle::FramePlan BenchFrame(int w, int h, int colors, bool smooth, bool interlaced,
                                    uint32_t seed) {
    oracle::FramePlan f;
    f.width = w;
    f.height = h;
    f.interlaced = interlaced;
    f.indices.resize(std::size_t(w) * std::size_t(h));
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            f.indices[std::size_t(y) * std::size_t(w) + std::size_t(x)] =
                uint8_t(smooth ? ((x + y) * colors / (w + h)) % colors : rng() % unsigned(colors));
    return f;
}

// giflib reading a GIF file whole, as a program using it would: the reference
// next to our own loads.
inline void GiflibReadFile(const std::string& path) {
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (!gif) return;
    DGifSlurp(gif);
    benchmark::DoNotOptimize(gif->SavedImages);
    DGifCloseFile(gif, &error);
}

// Writes GIF bytes to a file of that name in a scratch folder; its path.
inline std::string WriteScratchGif(const std::vector<uint8_t>& bytes, const std::string& name) {
    const std::string file = ScratchFolder() + "/" + name;
    if (std::FILE* f = std::fopen(file.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return file;
}

inline const GifInput& Input(const std::string& name) {
    static std::map<std::string, GifInput> cache;
    auto it = cache.find(name);
    if (it != cache.end()) return it->second;
    GifInput in;
    oracle::GifPlan& s = in.plan;
    s.global = oracle::GreyRamp(256);
    if (name == "noise") {
        s.width = s.height = 2000;
        s.frames.push_back(BenchFrame(2000, 2000, 256, false, false, 1));
    } else if (name == "gradient") {
        s.width = s.height = 2000;
        s.frames.push_back(BenchFrame(2000, 2000, 256, true, false, 2));
    } else if (name == "interlaced") {
        s.width = s.height = 2000;
        s.frames.push_back(BenchFrame(2000, 2000, 256, true, true, 3));
    } else if (name == "flat") {
        s.width = s.height = 2000;
        s.frames.push_back(BenchFrame(2000, 2000, 1, true, false, 4));
    } else if (name == "anim100") {
        s.width = s.height = 300;
        s.loops = 0;
        for (int i = 0; i < 100; ++i)
            s.frames.push_back(BenchFrame(300, 300, 64, i % 2 == 0, false, uint32_t(i)));
    } else if (name == "anim1000") {
        s.width = s.height = 64;
        s.loops = 0;
        for (int i = 0; i < 1000; ++i)
            s.frames.push_back(BenchFrame(64, 64, 16, i % 2 == 0, false, uint32_t(i)));
    }
    for (const auto& f : s.frames)
        in.pixels += int64_t(f.width) * f.height;
    in.bytes = oracle::Encode(s);
    return cache.emplace(name, std::move(in)).first->second;
}
