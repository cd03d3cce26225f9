#include "gif/mGIFLZWDec.h"

#include "gif/GifFormat.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace mGIFLZWDec {

namespace {

constexpr int kMaxCodeWidth = 12;
constexpr int kMaxCodes = 1 << kMaxCodeWidth; // 4096
constexpr int kMaxMinCodeSize = 11;           // 2^11 roots plus two special codes fit 12 bits
// Strings are copied in 16-byte chunks; the output keeps this much room
// beyond the string being written, and the input this much beyond its end.
constexpr std::size_t kChunk = 16;
constexpr std::size_t kInputSlack = 8;

using GifFormat::kInterlaceFirst;
using GifFormat::kInterlacePasses;
using GifFormat::kInterlaceStep;

inline uint64_t Load8(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8); // little-endian hosts only (x86-64, arm64)
    return v;
}

inline void Copy16(uint8_t* dst, const uint8_t* src) {
    uint8_t chunk[kChunk];
    std::memcpy(chunk, src, kChunk); // the whole chunk is read before any of it is written
    std::memcpy(dst, chunk, kChunk);
}

// The single bytes 0 to 255 in order, with room for a 16-byte read past the
// last: the strings of the root codes are read from here.
struct RootBytes {
    uint8_t bytes[256 + kChunk];
    RootBytes() {
        for (int i = 0; i < 256; ++i)
            bytes[i] = uint8_t(i);
        std::fill(bytes + 256, bytes + 256 + kChunk, 0);
    }
};
const RootBytes kRoots;

// The string table of one decode. Every string of the table has been written
// to the output already (an entry is the previous string followed by the
// first byte of the one after it, which comes next in the output), so an
// entry is only where its bytes are and how many there are: emitting a code
// is one copy from earlier output. Roots point into `kRoots`.
struct Table {
    const uint8_t* at[kMaxCodes];
    uint16_t length[kMaxCodes];
};

// Scratch memory of one thread, kept between frames up to kMaxKeptScratchBytes.
struct Scratch {
    std::unique_ptr<uint8_t[]> memory;
    std::size_t size = 0;
    uint8_t* Get(std::size_t bytes) {
        if (bytes <= size) return memory.get();
        memory.reset(new (std::nothrow) uint8_t[bytes]);
        size = memory ? bytes : 0;
        return memory.get();
    }
    void Trim() {
        if (size > kMaxKeptScratchBytes) memory.reset(), size = 0;
    }
};
thread_local Scratch joined, pixels;
thread_local uint64_t decodes = 0;

// Trims a scratch on every way out of the scope that used it.
class TrimOnExit {
  public:
    explicit TrimOnExit(Scratch& scratch) : scratch_(scratch) {}
    ~TrimOnExit() { scratch_.Trim(); }
    TrimOnExit(const TrimOnExit&) = delete;
    TrimOnExit& operator=(const TrimOnExit&) = delete;

  private:
    Scratch& scratch_;
};

// The image data as one run of bytes, with the sub-blocks' length bytes
// taken out and zero bytes after it, so that the bit reader can always load
// eight bytes at once. Null when memory runs out.
uint8_t* JoinSubBlocks(std::span<const uint8_t> subBlocks, std::size_t& bytes) {
    uint8_t* data = joined.Get(subBlocks.size() + kInputSlack);
    bytes = 0;
    if (!data) return nullptr;
    std::size_t i = 0;
    while (i < subBlocks.size() && subBlocks[i] != 0) {
        const std::size_t n = std::min<std::size_t>(subBlocks[i], subBlocks.size() - i - 1);
        std::memcpy(data + bytes, subBlocks.data() + i + 1, n);
        bytes += n;
        i += 1 + n;
    }
    std::memset(data + bytes, 0, kInputSlack);
    return data;
}

// Decodes codes into `out` (room for `total` pixels); returns the number of
// pixels written. Bytes past the last pixel written may hold scratch, up to
// kChunk of them but never past `total`. See gif/README.md for a worked stream.
// `stop`, when given, is looked at on each clear code.
std::size_t Run(uint8_t* out, std::size_t total, int minCodeSize, const uint8_t* in,
                std::size_t inBytes, const std::atomic<bool>* stop) {
    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    const int initialWidth = minCodeSize + 1;
    auto table = std::make_unique<Table>();
    for (int i = 0; i < clear; ++i) { // roots: a single byte (the code's low 8 bits)
        table->at[i] = kRoots.bytes + (i & 0xFF);
        table->length[i] = 1;
    }
    const uint8_t* const inEnd = in + inBytes; // kInputSlack zero bytes follow
    const uint8_t* p = in;
    uint64_t acc = 0;
    int bits = 0;
    int width = initialWidth;
    uint32_t mask = (1u << width) - 1;
    int next = clear + 2;
    // Codes below `known` are strings that follow a string: `next` once a
    // string was written since the last clear, 0 before (then only a root
    // makes sense).
    int known = 0;
    std::size_t prevLen = 0; // of the string written last
    uint8_t* o = out;        // where the next pixel goes
    uint8_t* const outEnd = out + total;
    // Up to here the fast copy may run: strings (and their chunks) that could
    // reach past the last pixel take the careful road.
    uint8_t* const fastEnd = total > kMaxCodes + kChunk ? outEnd - kMaxCodes - kChunk : out;

    for (;;) {
        if (bits < width) {
            // Whole bytes, eight at a time: the data is followed by zeros.
            if (p >= inEnd) break; // the data ends inside a code
            acc |= Load8(p) << bits;
            const int take = (63 - bits) >> 3;
            const std::size_t left = std::size_t(inEnd - p);
            const int got = int(std::min<std::size_t>(std::size_t(take), left));
            p += got;
            bits += got * 8;
            if (bits < width) break;
        }
        const int code = int(acc & mask);
        acc >>= width;
        bits -= width;

        if (code<known&& unsigned(code - clear)> 1u) {
            // The usual case: a known string after a known string. The new
            // entry is the previous string and this one's first byte, which
            // lands right after it.
            const uint8_t* src = table->at[code];
            const std::size_t len = table->length[code];
            if (next < kMaxCodes) { // a full table adds nothing (leniency lzw-full-table)
                table->at[next] = o - prevLen;
                table->length[next] = uint16_t(prevLen + 1);
                known = ++next;
                if (next > int(mask) && width < kMaxCodeWidth) mask = (1u << ++width) - 1;
            }
            prevLen = len;
            if (o < fastEnd) { // room for any string: no end in sight
                Copy16(o, src);
                for (std::size_t k = kChunk; k < len; k += kChunk)
                    Copy16(o + k, src + k);
                o += len;
                continue;
            }
            const std::size_t room = std::min(len, std::size_t(outEnd - o));
            std::memmove(o, src, room);
            o += room;
            if (room < len || o >= outEnd) break; // leniency lzw-excess: the rest is dropped
            continue;
        }
        if (code == end) break;
        // Leniency lzw-no-clear: the first code needs no clear before it.
        if (code == clear) {
            if (stop && stop->load(std::memory_order_relaxed)) break;
            width = initialWidth;
            mask = (1u << width) - 1;
            next = clear + 2;
            known = 0;
            continue;
        }
        if (known == 0) {
            // After a clear (or at the start) only a root makes sense; anything
            // else is damage (leniency lzw-bad-code: the pixels before stay).
            if (code > end) break;
            *o++ = uint8_t(code);
            prevLen = 1;
        } else {
            // A code equal to `next` names the string being defined by this
            // very code: the previous string plus its own first byte. Anything
            // above it, or `next` with a full table, has no meaning: stop.
            if (code != next || next >= kMaxCodes) break; // leniency lzw-bad-code
            const uint8_t* prev = o - prevLen;            // just written
            table->at[next] = prev;
            table->length[next] = uint16_t(prevLen + 1);
            ++next;
            if (next > int(mask) && width < kMaxCodeWidth) mask = (1u << ++width) - 1;
            const std::size_t room = std::min(prevLen + 1, std::size_t(outEnd - o));
            for (std::size_t k = 0; k < room; ++k) // overlapping: byte by byte
                o[k] = prev[k];
            o += room;
            if (room < prevLen + 1) break;
            prevLen += 1;
        }
        known = next;
        if (o >= outEnd) break;
    }
    return std::size_t(std::min(o, outEnd) - out);
}

void Decode(cDIB& dib, bool interlaced, uint8_t minCodeSize, const uint8_t* data, std::size_t bytes,
            const std::atomic<bool>* stop) {
    if (dib.bpp() != 8 || !dib.lpBits() || dib.Width() <= 0 || dib.Height() <= 0) return;
    // Sizes 0 and above 11 cannot be decoded in a 12-bit table: the frame
    // stays blank (leniency lzw-code-size).
    if (minCodeSize < 1 || minCodeSize > kMaxMinCodeSize) return;
    ++decodes;
    const std::size_t width = std::size_t(dib.Width()), height = std::size_t(dib.Height());
    const std::size_t stride = std::size_t(dib.BytesPerScanline());
    const std::size_t total = width * height;

    // Rows without padding, in stream order: straight into the surface. The
    // scratch a stream that stops early leaves past its last pixel is
    // cleared, since a new surface is all zero.
    if (!interlaced && stride == width) {
        const std::size_t written = Run(dib.lpBits(), total, minCodeSize, data, bytes, stop);
        std::memset(dib.lpBits() + written, 0, std::min(kChunk, total - written));
        return;
    }
    // Otherwise the pixels in stream order first, then into their rows, so
    // that pixels the stream never reaches keep their values.
    const TrimOnExit trim(pixels);
    uint8_t* linear = pixels.Get(total + kChunk);
    if (!linear) return;
    const std::size_t written = Run(linear, total + kChunk, minCodeSize, data, bytes, stop);
    std::size_t row = 0, pass = 0, done = 0;
    while (done < written && done < total) {
        const std::size_t n = std::min(width, std::min(written, total) - done);
        std::memcpy(dib.lpBits() + row * stride, linear + done, n);
        done += n;
        if (!interlaced) {
            ++row;
            continue;
        }
        row += std::size_t(kInterlaceStep[pass]);
        while (row >= height) { // a pass whose first row is past the end is skipped
            if (++pass >= std::size_t(kInterlacePasses)) return;
            row = std::size_t(kInterlaceFirst[pass]);
        }
    }
}

} // namespace

void InitDecoder() {}

std::size_t KeptScratchBytes() {
    return joined.size + pixels.size;
}

uint64_t DecodesOnThisThread() {
    return decodes;
}

void DecodeToDIB(cDIB& dib, bool interlaced, uint8_t minCodeSize, std::span<const uint8_t> data) {
    std::vector<uint8_t> padded(data.begin(), data.end());
    const std::size_t bytes = padded.size();
    padded.resize(bytes + kInputSlack, 0);
    Decode(dib, interlaced, minCodeSize, padded.data(), bytes, nullptr);
}

void DecodeSubBlocksToDIB(cDIB& dib, bool interlaced, uint8_t minCodeSize,
                          std::span<const uint8_t> subBlocks, const std::atomic<bool>* stop) {
    const TrimOnExit trim(joined);
    std::size_t bytes = 0;
    const uint8_t* data = JoinSubBlocks(subBlocks, bytes);
    if (data) Decode(dib, interlaced, minCodeSize, data, bytes, stop);
}

} // namespace mGIFLZWDec
