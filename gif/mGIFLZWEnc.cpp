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

uint32_t masks[17];
int32_t htab[kHashSize];
int32_t codetab[kHashSize];

struct State {
    ByteSink& out;
    int initBits = 0, nBits = 0, maxCode = 0;
    int clearCode = 0, eofCode = 0, freeEnt = 0;
    bool clearPending = false;
    uint32_t accum = 0;
    int bits = 0;
    uint8_t packet[256] = {};
    int count = 0;

    static int MaxCode(int n) { return (1 << n) - 1; }

    void FlushPacket() {
        if (count > 0) {
            packet[0] = uint8_t(count);
            out.Write(packet, std::size_t(count) + 1);
            count = 0;
        }
    }
    void CharOut(uint8_t c) {
        packet[++count] = c;
        if (count >= kPacketBytes) FlushPacket();
    }
    void Output(int code) {
        accum &= masks[bits];
        accum = bits > 0 ? accum | (uint32_t(code) << bits) : uint32_t(code);
        bits += nBits;
        while (bits >= 8) {
            CharOut(uint8_t(accum & 0xFF));
            accum >>= 8;
            bits -= 8;
        }
        // The width changes only after the code that was written at the old one.
        if (freeEnt > maxCode || clearPending) {
            if (clearPending) {
                nBits = initBits;
                maxCode = MaxCode(nBits);
                clearPending = false;
            } else {
                ++nBits;
                maxCode = nBits == kMaxBits ? kMaxMaxCode : MaxCode(nBits);
            }
        }
        if (code == eofCode) {
            while (bits > 0) {
                CharOut(uint8_t(accum & 0xFF));
                accum >>= 8;
                bits -= 8;
            }
            FlushPacket();
        }
    }
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

    State s{out};
    s.initBits = s.nBits = initialWidth;
    s.maxCode = State::MaxCode(initialWidth);
    s.clearCode = 1 << (initialWidth - 1);
    s.eofCode = s.clearCode + 1;
    s.freeEnt = s.clearCode + 2;
    const int clear = s.clearCode;

    std::fill(std::begin(htab), std::end(htab), -1);
    s.Output(clear);

    const std::vector<int32_t> rows = RowOrder(dib.Height(), interlaced);
    const int32_t width = dib.Width();
    const std::size_t stride = std::size_t(dib.BytesPerScanline());
    const uint8_t* bits = dib.lpBits();
    int32_t ent = -1;
    for (const int32_t r : rows) {
        const uint8_t* row = bits + std::size_t(r) * stride;
        for (int32_t x = 0; x < width; ++x) {
            const int32_t c = row[x];
            if (c >= clear) return false; // an index the code size cannot carry
            if (ent < 0) {
                ent = c;
                continue;
            }
            const int32_t fcode = (c << kMaxBits) + ent;
            int32_t i = (c << kHashShift) ^ ent;
            if (htab[i] == fcode) {
                ent = codetab[i];
                continue;
            }
            if (htab[i] >= 0) { // occupied by another string: probe
                const int32_t disp = i == 0 ? 1 : kHashSize - i;
                bool found = false;
                do {
                    if ((i -= disp) < 0) i += kHashSize;
                    if (htab[i] == fcode) {
                        ent = codetab[i];
                        found = true;
                        break;
                    }
                } while (htab[i] > 0);
                if (found) continue;
            }
            s.Output(ent);
            if (s.freeEnt < kMaxMaxCode) {
                codetab[i] = s.freeEnt++;
                htab[i] = fcode;
            } else { // the table is full: start again
                std::fill(std::begin(htab), std::end(htab), -1);
                s.freeEnt = clear + 2;
                s.clearPending = true;
                s.Output(clear);
            }
            ent = c;
        }
    }
    s.Output(ent);
    s.Output(s.eofCode);
    return true;
}

} // namespace mGIFLZWEnc
