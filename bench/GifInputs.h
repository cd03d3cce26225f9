// The GIFs the codec benchmarks run on, made once with giflib.
#pragma once

#include "bench/BenchSupport.h"
#include "tests/GifOracle.h"

#include <benchmark/benchmark.h>

#include <algorithm>
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

// A block moving over a smooth ramp, as GIF optimisers write such an
// animation: frame 1 fills the screen with the ramp, each later frame covers
// the block's old and new place (ramp where it was, block where it is) and
// stays (disposal 1). Every frame `delay` hundredths. Small to encode and
// to store, whatever the number of frames.
inline oracle::GifPlan MovingBlockPlan(int frames, int w, int h, int delay) {
    constexpr int kBlockW = 160, kBlockH = 120, kStepX = 13, kStepY = 7;
    const auto ramp = [w, h](int x, int y) { return uint8_t((x + y) * 254 / (w + h)); };
    // A triangle wave: there and back along a side.
    const auto bounce = [](int t, int span) {
        const int p = span > 0 ? t % (2 * span) : 0;
        return p <= span ? p : 2 * span - p;
    };
    oracle::GifPlan s;
    s.width = w, s.height = h;
    s.global = oracle::GreyRamp(256);
    s.loops = 0;
    oracle::FramePlan first;
    first.width = w, first.height = h, first.delay = delay, first.disposal = 1;
    first.indices.resize(std::size_t(w) * std::size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            first.indices[std::size_t(y) * std::size_t(w) + std::size_t(x)] = ramp(x, y);
    s.frames.push_back(std::move(first));
    int oldX = 0, oldY = 0;
    for (int i = 1; i < frames; ++i) {
        const int bx = bounce(i * kStepX, w - kBlockW), by = bounce(i * kStepY, h - kBlockH);
        oracle::FramePlan f;
        f.left = std::min(oldX, bx), f.top = std::min(oldY, by);
        f.width = std::max(oldX, bx) + kBlockW - f.left;
        f.height = std::max(oldY, by) + kBlockH - f.top;
        f.delay = delay, f.disposal = 1;
        f.indices.resize(std::size_t(f.width) * std::size_t(f.height));
        for (int y = 0; y < f.height; ++y)
            for (int x = 0; x < f.width; ++x) {
                const int cx = f.left + x, cy = f.top + y;
                const bool block = cx >= bx && cx < bx + kBlockW && cy >= by && cy < by + kBlockH;
                f.indices[std::size_t(y) * std::size_t(f.width) + std::size_t(x)] =
                    block ? uint8_t(255) : ramp(cx, cy);
            }
        s.frames.push_back(std::move(f));
        oldX = bx, oldY = by;
    }
    return s;
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
