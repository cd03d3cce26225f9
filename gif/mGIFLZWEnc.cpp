#include "gif/mGIFLZWEnc.h"

#include <algorithm>
#include <vector>

namespace mGIFLZWEnc {

namespace {

constexpr int kHashSize = 5003; // a prime a little above 4096 x 1.2
constexpr int kHashShift = 4;   // 8 - log2 of the doublings from 5003 to 65536
constexpr int kMaxBits = 12;
constexpr int kMaxMaxCode = 1 << kMaxBits; // 4096: no code is ever this large
constexpr int kPacketBytes = 254;
constexpr std::size_t kPacketsPerWrite = 64;

uint32_t masks[17];

// The string table: key pixel x 4096 + prefix code (-1 when empty), and in a
// parallel array the code given to that string. Probes read keys only, so the
// keys are kept dense: 20 KB, well inside the first-level cache.
int32_t htab[kHashSize];
int32_t codetab[kHashSize];

// The last extension found for each string, packed as generation (11 bits),
// pixel + 1 (9 bits) and code (12 bits). Images repeat the same extension
// often, and one look here is cheaper than hashing. It only ever holds what
// the table itself answered, and is forgotten (a new generation) whenever an
// answer of the table could change: at a clear, and when key 0 (which ends
// probes early) is stored or overwritten.
uint32_t lastChild[kMaxMaxCode];
uint32_t generation = 0;
constexpr uint32_t kGenerations = 1u << 11;

void ForgetChildren() {
    if (++generation == kGenerations) { // wrapped: old entries could match again
        generation = 1;
        std::fill(std::begin(lastChild), std::end(lastChild), 0u);
    }
}

inline uint32_t ChildKey(int32_t c) {
    return (generation << 9) | uint32_t(c + 1);
}
inline uint32_t Child(int32_t c, int32_t code) {
    return (ChildKey(c) << 12) | uint32_t(code);
}

void EmptyTable() {
    std::fill(std::begin(htab), std::end(htab), -1);
    ForgetChildren();
}

// Packs codes least significant bit first into sub-blocks of 254 data bytes
// (gif/README.md), handing the sink whole runs of finished sub-blocks.
class CodeOutput {
  public:
    CodeOutput(ByteSink& out, int initBits) : out_(out), initBits_(initBits), nBits_(initBits) {
        maxCode_ = (1 << nBits_) - 1;
        buffer_.resize(kPacketsPerWrite * (kPacketBytes + 1));
        packet_ = buffer_.data();
        fill_ = packet_ + 1;
    }

    // Writes `code` at the current width, then moves the width on: one bit
    // wider once `freeEnt` passes the largest code, back to the initial
    // width after a clear code.
    void Put(int code, int freeEnt, bool& clearPending) {
        accum_ = (accum_ & masks[bits_]) | (uint32_t(code) << bits_);
        bits_ += nBits_;
        while (bits_ >= 8) {
            Byte(uint8_t(accum_));
            accum_ >>= 8;
            bits_ -= 8;
        }
        if (freeEnt > maxCode_ || clearPending) {
            if (clearPending) {
                nBits_ = initBits_;
                maxCode_ = (1 << nBits_) - 1;
                clearPending = false;
            } else {
                ++nBits_;
                maxCode_ = nBits_ == kMaxBits ? kMaxMaxCode : (1 << nBits_) - 1;
            }
        }
    }

    // The remaining bits, zero-filled to a byte, and every pending sub-block.
    void Finish() {
        while (bits_ > 0) {
            Byte(uint8_t(accum_));
            accum_ >>= 8;
            bits_ -= 8;
        }
        ClosePacket();
        Flush();
    }

  private:
    void Byte(uint8_t b) {
        *fill_++ = b;
        if (fill_ - packet_ > kPacketBytes) ClosePacket();
    }
    void ClosePacket() {
        const auto n = fill_ - packet_ - 1;
        if (n == 0) return;
        *packet_ = uint8_t(n);
        packet_ = fill_;
        if (std::size_t(packet_ - buffer_.data()) + kPacketBytes + 1 > buffer_.size()) Flush();
        fill_ = packet_ + 1;
    }
    void Flush() {
        out_.Write(buffer_.data(), std::size_t(packet_ - buffer_.data()));
        packet_ = buffer_.data();
        fill_ = packet_ + 1;
    }

    ByteSink& out_;
    std::vector<uint8_t> buffer_;
    uint8_t* packet_; // the length byte of the sub-block being filled
    uint8_t* fill_;
    uint32_t accum_ = 0;
    int bits_ = 0;
    int initBits_, nBits_, maxCode_;
};

// Row order of a frame: top to bottom, or the four interlace passes.
std::vector<int32_t> RowOrder(int32_t height, bool interlaced) {
    std::vector<int32_t> rows;
    rows.reserve(std::size_t(height));
    if (!interlaced) {
        for (int32_t r = 0; r < height; ++r)
            rows.push_back(r);
        return rows;
    }
    static constexpr int first[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int32_t r = first[pass]; r < height; r += step[pass])
            rows.push_back(r);
    return rows;
}

} // namespace

void InitEncoder() {
    for (int k = 0; k <= 16; ++k)
        masks[k] = (uint32_t(1) << k) - 1;
}

bool EncodeFromDIB(ByteSink& out, const cDIB& dib, uint8_t initialWidth, bool interlaced) {
    if (dib.bpp() != 8 || !dib.lpBits() || dib.Width() <= 0 || dib.Height() <= 0) return false;
    if (initialWidth < 2 || initialWidth > 9) return false;
    if (masks[16] == 0) InitEncoder();

    const int clear = 1 << (initialWidth - 1);
    const int eof = clear + 1;
    int freeEnt = clear + 2;
    bool clearPending = false;
    CodeOutput codes(out, initialWidth);

    EmptyTable();
    codes.Put(clear, freeEnt, clearPending);

    const std::vector<int32_t> rows = RowOrder(dib.Height(), interlaced);
    const int32_t width = dib.Width();
    const std::size_t stride = std::size_t(dib.BytesPerScanline());
    const uint8_t* bits = dib.lpBits();
    int32_t ent = bits[std::size_t(rows[0]) * stride]; // the first pixel starts the first string
    if (ent >= clear) return false;
    int32_t x0 = 1;
    // The hints pay on smooth pictures and cost on noise: they are used on
    // rows after one where they often hit, and tried again every 8th row.
    // Skipping them never makes them wrong: they only hold valid answers.
    bool hints = true;
    int32_t hits = 0;
    constexpr int kRetryRows = 8;
    for (std::size_t n = 0; n < rows.size(); ++n) {
        const uint8_t* row = bits + std::size_t(rows[n]) * stride;
        for (int32_t x = x0; x < width; ++x) {
            const int32_t c = row[x];
            if (c >= clear) [[unlikely]]
                return false; // an index the code size cannot carry
            if (hints) {
                const uint32_t hint = lastChild[ent];
                if ((hint >> 12) == ChildKey(c)) {
                    ent = int32_t(hint & 0xFFF);
                    ++hits;
                    continue;
                }
            }
            const int32_t fcode = (c << kMaxBits) + ent;
            int32_t i = (c << kHashShift) ^ ent;
            int32_t key = htab[i];
            if (key == fcode) [[likely]] {
                if (hints) lastChild[ent] = Child(c, codetab[i]);
                ent = codetab[i];
                continue;
            }
            if (key >= 0) { // occupied by another string: probe
                const int32_t disp = i == 0 ? 1 : kHashSize - i;
                bool found = false;
                do {
                    if ((i -= disp) < 0) i += kHashSize;
                    key = htab[i];
                    if (key == fcode) {
                        if (hints) lastChild[ent] = Child(c, codetab[i]);
                        ent = codetab[i];
                        found = true;
                        break;
                    }
                } while (key > 0); // a slot holding key 0 ends the probe like an empty one
                if (found) continue;
            }
            codes.Put(ent, freeEnt, clearPending);
            if (freeEnt < kMaxMaxCode) {
                if (fcode == 0 || htab[i] == 0)
                    ForgetChildren();
                else if (hints)
                    lastChild[ent] = Child(c, freeEnt);
                htab[i] = fcode;
                codetab[i] = freeEnt++;
            } else { // the table is full: a clear code at the old width, then start again
                EmptyTable();
                freeEnt = clear + 2;
                clearPending = true;
                codes.Put(clear, freeEnt, clearPending);
            }
            ent = c;
        }
        x0 = 0;
        hints = hits * 4 >= width || (n + 1) % kRetryRows == 0;
        hits = 0;
    }
    codes.Put(ent, freeEnt, clearPending);
    codes.Put(eof, freeEnt, clearPending);
    codes.Finish();
    return true;
}

} // namespace mGIFLZWEnc
