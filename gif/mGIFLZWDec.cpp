#include "gif/mGIFLZWDec.h"

#include <cstring>

namespace mGIFLZWDec {

namespace {

constexpr int kMaxCodeWidth = 12;
constexpr int kMaxCodes = 1 << kMaxCodeWidth; // 4096
constexpr int kMaxMinCodeSize = 11;           // 2^11 roots plus two special codes fit 12 bits
constexpr int kHeadBytes = 7;
constexpr int kLengthShift = 56;
constexpr uint64_t kHeadMask = (uint64_t(1) << kLengthShift) - 1;

// The string table, as parallel arrays so that the part read for every code
// stays small (32 KB): `head` holds a string's first 7 bytes (first byte
// lowest) and, in its top byte, its length capped at 255. A string of up to 7
// bytes is written from `head` alone; longer ones walk `prefix` and `suffix`
// (entry n is the string of `prefix[n]` followed by `suffix[n]`) past the head.
uint64_t head[kMaxCodes];
uint16_t prefix[kMaxCodes];
uint8_t suffix[kMaxCodes];
uint16_t length[kMaxCodes];

inline int HeadLength(uint64_t h) {
    return int(h >> kLengthShift);
}
// The length of the string of `code`, whose head is `h`.
inline int Length(int code, uint64_t h) {
    const int n = HeadLength(h);
    return n < 255 ? n : length[code];
}
inline uint64_t Root(int code) {
    return (uint64_t(1) << kLengthShift) | uint8_t(code);
}

// The entry for the previous string followed by byte `f`.
inline uint64_t Extend(uint64_t previousHead, int previousLength, uint8_t f) {
    const int n = previousLength + 1;
    const uint64_t bytes = previousLength < kHeadBytes
                               ? (previousHead & kHeadMask) | (uint64_t(f) << (8 * previousLength))
                               : previousHead & kHeadMask;
    return bytes | (uint64_t(n < 255 ? n : 255) << kLengthShift);
}

// A whole string, for strings that run over the end of a row. No string is
// longer than the table has entries.
uint8_t stack[kMaxCodes + 1];

// Rows of an interlaced frame are stored in four passes.
constexpr int kInterlaceStep[4] = {8, 8, 4, 2};
constexpr int kInterlaceFirst[4] = {0, 4, 2, 1};

inline uint64_t Load8(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8); // little-endian hosts only (x86-64, arm64)
    return v;
}
inline void Store8(uint8_t* p, uint64_t v) {
    std::memcpy(p, &v, 8);
}

// Where the next pixel goes: a row of the surface and a column in it.
//
// Short strings are stored 8 bytes at a time when the row has room. The bytes
// past the string's end then hold stray values until the following strings
// overwrite them; `saved` keeps the true contents of the 8 bytes at the cursor
// so that they can be put back before any other write and when decoding
// stops early (pixels the stream never reaches keep their values).
struct Cursor {
    uint8_t* bits;
    std::size_t stride;
    int width, height;
    int row = 0, col = 0, pass = 0;
    bool interlaced;
    bool done = false;
    uint8_t* line;
    uint64_t saved = 0;
    bool dirty = false;

    Cursor(cDIB& dib, bool interlacedFrame)
        : bits(dib.lpBits()), stride(std::size_t(dib.BytesPerScanline())), width(dib.Width()),
          height(dib.Height()), interlaced(interlacedFrame), line(bits) {}

    void Clean() {
        if (dirty) Store8(line + col, saved);
        dirty = false;
    }

    void NextRow() {
        col = 0;
        if (!interlaced) {
            if (++row >= height) done = true;
        } else {
            row += kInterlaceStep[pass];
            while (row >= height) { // a pass whose first row is past the end is skipped
                if (++pass >= 4) {
                    done = true;
                    return;
                }
                row = kInterlaceFirst[pass];
            }
        }
        line = bits + std::size_t(row) * stride;
    }

    // Writes the string of `code` at the cursor.
    void Emit(int code) {
        const uint64_t h = head[code];
        if (HeadLength(h) <= kHeadBytes && col + 16 <= width) {
            // Eight bytes at once: the string, then stray bytes that the next
            // strings overwrite; their true contents move along in `saved`.
            const int n = HeadLength(h);
            uint8_t* p = line + col;
            if (!dirty) saved = Load8(p);
            Store8(p, h);
            const uint64_t ahead = Load8(p + 8); // untouched so far
            saved = (saved >> (8 * n)) | (ahead << (64 - 8 * n));
            dirty = true;
            col += n;
            return;
        }
        Clean();
        const int n = Length(code, h);
        if (n <= width - col) {
            // The whole string fits in this row: the bytes past its head are
            // written backwards along the chain, in place.
            uint8_t* p = line + col;
            if (n <= kHeadBytes) {
                for (int k = 0; k < n; ++k)
                    p[k] = uint8_t(h >> (8 * k));
            } else {
                uint8_t* q = p + n - 1;
                int c = code;
                for (int k = n; k > kHeadBytes; --k) {
                    *q-- = suffix[c];
                    c = prefix[c];
                }
                for (int k = 0; k < kHeadBytes; ++k)
                    p[k] = uint8_t(h >> (8 * k));
            }
            col += n;
            if (col == width) NextRow();
            return;
        }
        uint8_t* p = stack + n - 1;
        int c = code;
        for (int k = n; k > kHeadBytes; --k) {
            *p-- = suffix[c];
            c = prefix[c];
        }
        for (int k = 0; k < n && k < kHeadBytes; ++k)
            stack[k] = uint8_t(h >> (8 * k));
        const uint8_t* s = stack;
        int left = n;
        while (left > 0 && !done) {
            const int chunk = left < width - col ? left : width - col;
            std::memcpy(line + col, s, std::size_t(chunk));
            s += chunk;
            left -= chunk;
            col += chunk;
            if (col == width) NextRow();
        }
    }
};

// Where the codes come from: one run of bytes, or a GIF sub-block sequence
// read in place (length byte, data, ... up to the zero terminator).
struct Source {
    const uint8_t* p;
    const uint8_t* chunkEnd;
    const uint8_t* end;
    bool subBlocks;

    bool NextBlock() {
        if (!subBlocks || chunkEnd >= end || *chunkEnd == 0) return false;
        const std::size_t n = *chunkEnd;
        p = chunkEnd + 1;
        chunkEnd = p + (n < std::size_t(end - p) ? n : std::size_t(end - p));
        return true;
    }
    // Tops up the bit buffer; fewer bits than asked for means the data ended.
    void Refill(uint64_t& acc, int& bits) {
        if (chunkEnd - p >= 8) {
            acc |= Load8(p) << bits;
            const int take = (63 - bits) >> 3;
            p += take;
            bits += take * 8;
            return;
        }
        while (bits <= 56) {
            if (p == chunkEnd && !NextBlock()) return;
            if (p == chunkEnd) continue;
            acc |= uint64_t(*p++) << bits;
            bits += 8;
        }
    }
};

void Decode(cDIB& dib, bool interlaced, uint8_t minCodeSize, Source in) {
    if (dib.bpp() != 8 || !dib.lpBits() || dib.Width() <= 0 || dib.Height() <= 0) return;
    // Sizes 0 and above 11 cannot be decoded in a 12-bit table: the frame stays blank.
    if (minCodeSize < 1 || minCodeSize > kMaxMinCodeSize) return;

    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    const int initialWidth = minCodeSize + 1;
    for (int i = 0; i < clear; ++i) { // roots: a single byte (the code's low 8 bits)
        head[i] = Root(i);
        length[i] = 1;
    }

    Cursor out(dib, interlaced);
    // Least-significant-bit-first codes; see gif/README.md for a worked stream.
    uint64_t acc = 0;
    int bits = 0;
    int width = initialWidth;
    uint32_t mask = (1u << width) - 1;
    int next = clear + 2;
    int previous = -1; // none: the next code starts a new run after a clear
    uint64_t previousHead = 0;

    // Defines entry `next` as the previous string followed by byte `f`; the
    // codes grow a bit once `next` passes the largest code of the width.
    // Only strings longer than a head are ever walked, so only they need
    // their chain (and only those of 255 bytes or more their full length).
    auto addEntry = [&](uint8_t f) {
        const int n = Length(previous, previousHead);
        head[next] = Extend(previousHead, n, f);
        if (n >= kHeadBytes) {
            prefix[next] = uint16_t(previous);
            suffix[next] = f;
            length[next] = uint16_t(n + 1);
        }
        if (++next > int(mask) && width < kMaxCodeWidth) mask = (1u << ++width) - 1;
    };

    for (;;) {
        if (bits < width) {
            in.Refill(acc, bits);
            if (bits < width) break; // the data ends inside a code
        }
        const int code = int(acc & mask);
        acc >>= width;
        bits -= width;

        if (code < next && previous >= 0 && unsigned(code - clear) > 1u) {
            // The usual case: a known string after a known string.
            const uint64_t h = head[code];
            if (next < kMaxCodes) addEntry(uint8_t(h)); // previous string + this one's first byte
            out.Emit(code);
            previous = code;
            previousHead = h;
            if (out.done) break;
            continue;
        }
        // The first code is read like any other: encoders should open with a
        // clear code, but streams that open with a root exist and decode the
        // same way in other readers (the root is the frame's first pixel).
        if (code == end) break;
        if (code == clear) {
            width = initialWidth;
            mask = (1u << width) - 1;
            next = clear + 2;
            previous = -1;
            continue;
        }
        if (previous < 0) {
            // After a clear only a root makes sense; anything else is damage.
            if (code > end) break;
        } else {
            // A code equal to `next` names the string being defined by this
            // very code: the previous string plus its own first byte. Anything
            // above it, or `next` with a full table, has no meaning: stop.
            if (code != next || next >= kMaxCodes) break;
            addEntry(uint8_t(previousHead));
        }
        out.Emit(code);
        previous = code;
        previousHead = head[code];
        if (out.done) break;
    }
    out.Clean();
}

} // namespace

void InitDecoder() {
    for (int i = 0; i < 256; ++i) {
        head[i] = Root(i);
        length[i] = 1;
    }
}

void DecodeToDIB(cDIB& dib, bool interlaced, uint8_t minCodeSize, std::span<const uint8_t> data) {
    const uint8_t* end = data.data() + data.size();
    Decode(dib, interlaced, minCodeSize, Source{data.data(), end, end, false});
}

void DecodeSubBlocksToDIB(cDIB& dib, bool interlaced, uint8_t minCodeSize,
                          std::span<const uint8_t> subBlocks) {
    const uint8_t* begin = subBlocks.data();
    Decode(dib, interlaced, minCodeSize, Source{begin, begin, begin + subBlocks.size(), true});
}

} // namespace mGIFLZWDec
