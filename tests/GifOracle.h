// giflib as the reference: it encodes the GIFs our reader must read and
// decodes the GIFs our writer makes. Also a bit writer for hand-made LZW
// streams and a container around them.
#pragma once

#include <gif_lib.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace oracle {

struct Color {
    uint8_t r, g, b;
};

struct FramePlan {
    int left = 0, top = 0, width = 1, height = 1;
    bool interlaced = false;
    std::vector<Color> local; // empty: no local table
    int transparent = -1;
    int disposal = 0;
    int delay = 0;
    bool userInput = false;
    bool gce = true;
    std::vector<uint8_t> indices; // width x height, rows top to bottom
};

struct GifPlan {
    int width = 1, height = 1;
    int background = 0;
    std::vector<Color> global; // empty: no global table
    std::optional<int> loops;
    std::vector<FramePlan> frames;
};

inline int WriteToVector(GifFileType* gif, const GifByteType* bytes, int n) {
    auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
    out->insert(out->end(), bytes, bytes + n);
    return n;
}

inline ColorMapObject* MakeMap(const std::vector<Color>& colors) {
    if (colors.empty()) return nullptr;
    std::vector<GifColorType> c(colors.size());
    for (std::size_t i = 0; i < colors.size(); ++i)
        c[i] = {colors[i].r, colors[i].g, colors[i].b};
    return GifMakeMapObject(int(colors.size()), c.data());
}

// Rows in the order they are stored: top to bottom, or the interlace passes.
inline std::vector<int> StoredRowOrder(int height, bool interlaced) {
    std::vector<int> rows;
    if (!interlaced) {
        for (int r = 0; r < height; ++r)
            rows.push_back(r);
        return rows;
    }
    const int first[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int p = 0; p < 4; ++p)
        for (int r = first[p]; r < height; r += step[p])
            rows.push_back(r);
    return rows;
}

inline std::vector<uint8_t> Encode(const GifPlan& plan) {
    std::vector<uint8_t> out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, WriteToVector, &error);
    if (!gif) throw std::runtime_error("EGifOpen");
    EGifSetGifVersion(gif, true);
    ColorMapObject* global = MakeMap(plan.global);
    EGifPutScreenDesc(gif, plan.width, plan.height, 8, plan.background, global);
    if (plan.loops) {
        EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
        EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0");
        const uint8_t loop[3] = {1, uint8_t(*plan.loops & 0xFF),
                                 uint8_t((*plan.loops >> 8) & 0xFF)};
        EGifPutExtensionBlock(gif, 3, loop);
        EGifPutExtensionTrailer(gif);
    }
    for (const FramePlan& f : plan.frames) {
        if (f.gce) {
            const uint8_t gce[4] = {
                uint8_t((f.disposal << 2) | (f.userInput ? 2 : 0) | (f.transparent >= 0 ? 1 : 0)),
                uint8_t(f.delay & 0xFF), uint8_t((f.delay >> 8) & 0xFF),
                uint8_t(f.transparent >= 0 ? f.transparent : 0)};
            EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, gce);
        }
        ColorMapObject* local = MakeMap(f.local);
        if (EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlaced, local) != GIF_OK)
            throw std::runtime_error("EGifPutImageDesc");
        std::vector<GifPixelType> line(std::size_t(f.width));
        for (int r : StoredRowOrder(f.height, f.interlaced)) {
            std::memcpy(line.data(), f.indices.data() + std::size_t(r) * std::size_t(f.width),
                        line.size());
            if (EGifPutLine(gif, line.data(), f.width) != GIF_OK)
                throw std::runtime_error("EGifPutLine");
        }
        if (local) GifFreeMapObject(local);
    }
    EGifCloseFile(gif, &error);
    if (global) GifFreeMapObject(global);
    return out;
}

struct Decoded {
    int width = 0, height = 0;
    struct Frame {
        int left, top, width, height;
        bool interlaced;
        std::vector<uint8_t> indices; // rows top to bottom
    };
    std::vector<Frame> frames;
};

struct Reader {
    const std::vector<uint8_t>* bytes;
    std::size_t pos = 0;
};

inline int ReadFromVector(GifFileType* gif, GifByteType* buf, int n) {
    auto* r = static_cast<Reader*>(gif->UserData);
    const std::size_t left = r->bytes->size() - r->pos;
    const std::size_t take = std::min<std::size_t>(left, std::size_t(n));
    std::memcpy(buf, r->bytes->data() + r->pos, take);
    r->pos += take;
    return int(take);
}

// giflib's reading of a whole file; nullopt when giflib rejects it.
inline std::optional<Decoded> Decode(const std::vector<uint8_t>& bytes) {
    Reader reader{&bytes};
    int error = 0;
    GifFileType* gif = DGifOpen(&reader, ReadFromVector, &error);
    if (!gif) return std::nullopt;
    if (DGifSlurp(gif) != GIF_OK) {
        DGifCloseFile(gif, &error);
        return std::nullopt;
    }
    Decoded d;
    d.width = gif->SWidth;
    d.height = gif->SHeight;
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& s = gif->SavedImages[i];
        const GifImageDesc& id = s.ImageDesc;
        d.frames.push_back(
            {id.Left, id.Top, id.Width, id.Height, id.Interlace,
             std::vector<uint8_t>(s.RasterBits,
                                  s.RasterBits + std::size_t(id.Width) * std::size_t(id.Height))});
    }
    DGifCloseFile(gif, &error);
    return d;
}

// Packs codes least significant bit first, as GIF stores them.
class CodeWriter {
  public:
    void Put(int code, int width) {
        acc_ |= uint64_t(code) << bits_;
        bits_ += width;
        while (bits_ >= 8) {
            bytes_.push_back(uint8_t(acc_ & 0xFF));
            acc_ >>= 8;
            bits_ -= 8;
        }
    }
    std::vector<uint8_t> Finish() {
        if (bits_ > 0) bytes_.push_back(uint8_t(acc_ & 0xFF));
        acc_ = 0;
        bits_ = 0;
        return bytes_;
    }

  private:
    std::vector<uint8_t> bytes_;
    uint64_t acc_ = 0;
    int bits_ = 0;
};

// A one-frame GIF (global table of 2^tableBits grey entries) around raw LZW data.
inline std::vector<uint8_t> Container(int width, int height, int minCodeSize,
                                      const std::vector<uint8_t>& lzw, bool interlaced = false,
                                      int tableBits = 8) {
    std::vector<uint8_t> g = {'G',
                              'I',
                              'F',
                              '8',
                              '9',
                              'a',
                              uint8_t(width),
                              uint8_t(width >> 8),
                              uint8_t(height),
                              uint8_t(height >> 8),
                              uint8_t(0x80 | (tableBits - 1)),
                              0,
                              0};
    g.reserve(g.size() + 3 * 256 + 32 + lzw.size() * 2);
    for (int i = 0; i < (1 << tableBits); ++i)
        g.resize(g.size() + 3, uint8_t(i));
    g.insert(g.end(), {0x2C, 0, 0, 0, 0, uint8_t(width), uint8_t(width >> 8), uint8_t(height),
                       uint8_t(height >> 8), uint8_t(interlaced ? 0x40 : 0), uint8_t(minCodeSize)});
    for (std::size_t i = 0; i < lzw.size(); i += 255) {
        const std::size_t n = std::min<std::size_t>(255, lzw.size() - i);
        g.push_back(uint8_t(n));
        g.insert(g.end(), lzw.begin() + std::ptrdiff_t(i), lzw.begin() + std::ptrdiff_t(i + n));
    }
    g.push_back(0);
    g.push_back(0x3B);
    return g;
}

inline std::vector<Color> GreyRamp(int n) {
    std::vector<Color> c(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        c[std::size_t(i)] = {uint8_t(i * 255 / std::max(1, n - 1)), uint8_t(i), uint8_t(255 - i)};
    return c;
}

} // namespace oracle
