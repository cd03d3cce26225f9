#include "gif/IndexedRows.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define VANTREL_ROWS_AVX2 1
#endif

namespace IndexedRows {
namespace {

constexpr uint32_t kRgb = 0xFFFFFF;
constexpr std::size_t kByte = 8; // pixels a mask byte covers

void CopyPlain(uint32_t* out, const uint8_t* in, std::size_t n, const uint32_t* lut) {
    for (std::size_t i = 0; i < n; ++i)
        out[i] = lut[in[i]];
}

// Pixels `from` to n of a row whose pixel 0 is mask bit 0.
void MaskedPlain(uint32_t* out, const uint8_t* in, const uint8_t* bits, std::size_t from,
                 std::size_t n, const uint32_t* lut) {
    for (std::size_t i = from; i < n; ++i)
        out[i] = Under(out[i], lut[in[i]], KeepAt(bits, i));
}

#if VANTREL_ROWS_AVX2

// Eight lookups. Loaded one by one and put together: gathering them in one
// instruction is slower on some processors and no faster on others.
__attribute__((target("avx2"))) __m256i Lookup8(const uint8_t* in, const uint32_t* lut) {
    return _mm256_setr_epi32(int(lut[in[0]]), int(lut[in[1]]), int(lut[in[2]]), int(lut[in[3]]),
                             int(lut[in[4]]), int(lut[in[5]]), int(lut[in[6]]), int(lut[in[7]]));
}

__attribute__((target("avx2"))) void CopyAvx2(uint32_t* out, const uint8_t* in, std::size_t n,
                                              const uint32_t* lut) {
    std::size_t i = 0;
    for (; i + kByte <= n; i += kByte)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), Lookup8(in + i, lut));
    CopyPlain(out + i, in + i, n - i, lut);
}

// Eight pixels under one mask byte: `colour` where the bit is 0, the
// target's pixel (its colour bits) ORed with it where the bit is 1.
__attribute__((target("avx2"))) __m256i Under(uint32_t byte, __m256i colour, const __m256i* o) {
    if (byte == 0) return colour; // the frame covers all eight
    // Lane k tests mask bit 7 - k.
    const __m256i select = _mm256_setr_epi32(128, 64, 32, 16, 8, 4, 2, 1);
    const __m256i bit = _mm256_and_si256(_mm256_set1_epi32(int(byte)), select);
    const __m256i keep =
        _mm256_and_si256(_mm256_cmpeq_epi32(bit, select), _mm256_set1_epi32(int(kRgb)));
    return _mm256_or_si256(_mm256_and_si256(_mm256_loadu_si256(o), keep), colour);
}

__attribute__((target("avx2"))) void MaskedAvx2(uint32_t* out, const uint8_t* in,
                                                const uint8_t* bits, std::size_t n,
                                                const uint32_t* lut) {
    const __m256i rgb = _mm256_set1_epi32(int(kRgb));
    std::size_t i = 0;
    for (; i + 2 * kByte <= n; i += 2 * kByte) { // two groups a turn: their loads overlap
        auto* o = reinterpret_cast<__m256i*>(out + i);
        const __m256i first = _mm256_and_si256(Lookup8(in + i, lut), rgb);
        const __m256i second = _mm256_and_si256(Lookup8(in + i + kByte, lut), rgb);
        const __m256i a = Under(bits[i / kByte], first, o);
        const __m256i b = Under(bits[i / kByte + 1], second, o + 1);
        _mm256_storeu_si256(o, a);
        _mm256_storeu_si256(o + 1, b);
    }
    MaskedPlain(out, in, bits, i, n, lut);
}

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

#else

bool HasAvx2() {
    return false;
}

#endif

} // namespace

void Copy(uint32_t* out, const uint8_t* in, std::size_t n, const uint32_t* lut) {
#if VANTREL_ROWS_AVX2
    if (HasAvx2()) return CopyAvx2(out, in, n, lut);
#endif
    CopyPlain(out, in, n, lut);
}

void Masked(uint32_t* out, const uint8_t* in, const uint8_t* bits, std::size_t firstBit,
            std::size_t n, const uint32_t* lut) {
    // Up to the first whole mask byte one at a time, then whole bytes on.
    std::size_t head = 0;
    for (; head < n && (firstBit + head) % kByte != 0; ++head)
        out[head] = Under(out[head], lut[in[head]], KeepAt(bits, firstBit + head));
    out += head, in += head, n -= head;
    bits += (firstBit + head) / kByte;
#if VANTREL_ROWS_AVX2
    if (HasAvx2()) return MaskedAvx2(out, in, bits, n, lut);
#endif
    MaskedPlain(out, in, bits, 0, n, lut);
}

void MaskOf(uint8_t* bits, const uint8_t* in, std::size_t n, uint8_t index) {
    std::size_t i = 0;
    for (; i + kByte <= n; i += kByte) {
        uint32_t byte = 0;
        for (std::size_t k = 0; k < kByte; ++k)
            byte = (byte << 1) | uint32_t(in[i + k] == index);
        bits[i / kByte] = uint8_t(byte);
    }
    if (i == n) return;
    uint32_t byte = bits[i / kByte];
    for (std::size_t k = 0; i + k < n; ++k) {
        const uint32_t bit = 0x80u >> k;
        byte = in[i + k] == index ? byte | bit : byte & ~bit;
    }
    bits[i / kByte] = uint8_t(byte);
}

bool Vectorised() {
    return HasAvx2();
}

} // namespace IndexedRows
