#include "gif/mGIFLZWEnc.h"

#include "gif/GifFormat.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace mGIFLZWEnc {

namespace {

constexpr int kHashSize = 5003; // a prime a little above 4096 x 1.2
constexpr int kHashShift = 4;   // 8 - log2 of the doublings from 5003 to 65536
constexpr int kMaxBits = 12;
constexpr int kMaxMaxCode = 1 << kMaxBits; // 4096: no code is ever this large
constexpr int kPacketBytes = 254;
constexpr std::size_t kPacketsPerWrite = 64;

constexpr uint32_t kGenerations = 1u << 11;

// The string table of one call: key pixel x 4096 + prefix code (-1 when
// empty), and in a parallel array the code given to that string. Probes read
// keys only, so the keys are kept dense: 20 KB, well inside the first-level
// cache.
//
// Beside it, the last extension found for each string, packed as generation
// (11 bits), pixel + 1 (9 bits) and code (12 bits). Images repeat the same
// extension often, and one look there is cheaper than hashing. It only ever
// holds what the table itself answered, and is forgotten (a new generation)
// whenever an answer of the table could change: at a clear, and when key 0
// (which ends probes early) is stored or overwritten.
struct HashTable {
    int32_t htab[kHashSize];
    int32_t codetab[kHashSize];
    uint32_t lastChild[kMaxMaxCode] = {};
    uint32_t generation = 0;

    void ForgetChildren() {
        if (++generation == kGenerations) { // wrapped: old entries could match again
            generation = 1;
            std::fill(std::begin(lastChild), std::end(lastChild), 0u);
        }
    }
    uint32_t ChildKey(int32_t c) const { return (generation << 9) | uint32_t(c + 1); }
    uint32_t Child(int32_t c, int32_t code) const { return (ChildKey(c) << 12) | uint32_t(code); }
    void Empty() {
        std::fill(std::begin(htab), std::end(htab), -1);
        ForgetChildren();
    }
};

// Packs codes least significant bit first (gif/README.md). The caller keeps
// the bits in a 64-bit word (in registers) and stores them 32 at a time into
// this staging area; the staged bytes are cut into sub-blocks of 254 data
// bytes, each after its length byte, and handed to the sink in runs.
class CodeOutput {
  public:
    static constexpr std::size_t kStageWords = 4096; // 16 KB

    explicit CodeOutput(ByteSink& out) : out_(out) {
        stage_.resize(kStageWords + 1);
        packets_.reserve(kPacketsPerWrite * (kPacketBytes + 1));
    }
    uint32_t* Begin() { return stage_.data(); }
    uint32_t* Limit() { return stage_.data() + kStageWords; }

    // Cuts the bytes staged before `end` into sub-blocks; what does not fill
    // one waits for the next call. Returns where staging starts again.
    uint32_t* Drain(uint32_t* end) {
        Cut(reinterpret_cast<const uint8_t*>(stage_.data()), std::size_t(end - stage_.data()) * 4,
            false);
        return stage_.data();
    }
    // The last bits (`bits` of them, fewer than 32, zero-filled to a byte),
    // every pending sub-block, and the sink.
    void Finish(uint32_t* end, uint64_t acc, int bits) {
        *end = uint32_t(acc);
        Cut(reinterpret_cast<const uint8_t*>(stage_.data()),
            std::size_t(end - stage_.data()) * 4 + std::size_t((bits + 7) / 8), true);
        out_.Write(packets_.data(), packets_.size());
        packets_.clear();
    }

  private:
    void Cut(const uint8_t* staged, std::size_t n, bool all) {
        // The bytes carried over from the last call come first.
        carry_.insert(carry_.end(), staged, staged + n);
        std::size_t at = 0;
        while (carry_.size() - at >= kPacketBytes || (all && carry_.size() > at)) {
            const std::size_t take = std::min<std::size_t>(kPacketBytes, carry_.size() - at);
            packets_.push_back(uint8_t(take));
            packets_.insert(packets_.end(), carry_.begin() + std::ptrdiff_t(at),
                            carry_.begin() + std::ptrdiff_t(at + take));
            at += take;
            if (packets_.size() + kPacketBytes + 1 > packets_.capacity()) {
                out_.Write(packets_.data(), packets_.size());
                packets_.clear();
            }
        }
        carry_.erase(carry_.begin(), carry_.begin() + std::ptrdiff_t(at));
    }

    ByteSink& out_;
    std::vector<uint32_t> stage_;
    std::vector<uint8_t> carry_;
    std::vector<uint8_t> packets_;
};

// The strings of the table as a plain set, keyed by prefix code x 256 +
// pixel: one bit says whether a string is there, and beside it its code.
// While no string has key 0, the hash table answers exactly what this set
// answers, and the set answers without probing. The string "0, 0" (key 0)
// changes that: a slot holding key 0 ends every probe that meets it, so some
// strings can no longer be found, and which ones depends on where they lie.
// From that string on, until the next clear, the hash table itself answers:
// it is built by adding this run's strings again in their order, which puts
// every one of them in the slot it would have had. Each thread has one set.
class StringSet {
  public:
    static constexpr std::size_t kKeys = std::size_t(kMaxMaxCode) << 8;

    bool Has(uint32_t key) const { return (present_[key >> 6] >> (key & 63)) & 1; }
    int32_t Code(uint32_t key) const { return code_[key]; }
    void Add(uint32_t key, int32_t code) {
        present_[key >> 6] |= uint64_t(1) << (key & 63);
        code_[key] = uint16_t(code);
        added_.push_back(key);
    }
    // Forgets every string (only the bits that were set are cleared).
    void Clear() {
        for (const uint32_t key : added_)
            present_[key >> 6] &= ~(uint64_t(1) << (key & 63));
        added_.clear();
    }
    // Fills the hash table with the strings in the order they were added.
    void Replay(HashTable& t) const {
        for (const uint32_t key : added_) {
            const int32_t ent = int32_t(key >> 8), c = int32_t(key & 0xFF);
            int32_t i = (c << kHashShift) ^ ent;
            if (t.htab[i] >= 0) { // the walk a lookup of a new string makes
                const int32_t disp = i == 0 ? 1 : kHashSize - i;
                do {
                    if ((i -= disp) < 0) i += kHashSize;
                } while (t.htab[i] > 0);
            }
            t.htab[i] = (c << kMaxBits) + ent;
            t.codetab[i] = code_[key];
        }
    }

  private:
    std::vector<uint64_t> present_ = std::vector<uint64_t>(kKeys / 64);
    std::unique_ptr<uint16_t[]> code_{new uint16_t[kKeys]}; // read only where a bit is set
    std::vector<uint32_t> added_;
};

thread_local StringSet strings;

// Row order of a frame: top to bottom, or the four interlace passes.
std::vector<int32_t> RowOrder(int32_t height, bool interlaced) {
    std::vector<int32_t> rows;
    rows.reserve(std::size_t(height));
    if (!interlaced) {
        for (int32_t r = 0; r < height; ++r)
            rows.push_back(r);
        return rows;
    }
    using namespace GifFormat;
    for (int pass = 0; pass < kInterlacePasses; ++pass)
        for (int32_t r = kInterlaceFirst[pass]; r < height; r += kInterlaceStep[pass])
            rows.push_back(r);
    return rows;
}

} // namespace

void InitEncoder() {} // kept for its callers: there is nothing to prepare now

bool EncodeFromDIB(ByteSink& out, const cDIB& dib, uint8_t initialWidth, bool interlaced) {
    if (dib.bpp() != 8 || !dib.lpBits() || dib.Width() <= 0 || dib.Height() <= 0) return false;
    if (initialWidth < 2 || initialWidth > 9) return false;

    const int clear = 1 << (initialWidth - 1);
    const int eof = clear + 1;
    int freeEnt = clear + 2;
    bool clearPending = false;
    CodeOutput codes(out);
    auto table = std::make_unique<HashTable>(); // this call's own
    HashTable& t = *table;
    // The code writer's state lives here, in registers: the bits not yet
    // staged, the code width, and where the next 32 bits go.
    uint64_t acc = 0;
    int accBits = 0;
    int nBits = initialWidth;
    int maxCode = (1 << nBits) - 1;
    uint32_t* stage = codes.Begin();
    uint32_t* const stageLimit = codes.Limit();
    // Writes `code` at the current width, then moves the width on: one bit
    // wider once `freeEnt` passes the largest code, back to the initial
    // width after a clear code.
    auto put = [&](int code) {
        acc |= uint64_t(uint32_t(code)) << accBits;
        accBits += nBits;
        if (accBits >= 32) {
            *stage++ = uint32_t(acc); // little-endian: the lower bits first
            acc >>= 32;
            accBits -= 32;
            if (stage == stageLimit) stage = codes.Drain(stage);
        }
        if (freeEnt > maxCode || clearPending) {
            if (clearPending) {
                nBits = initialWidth;
                maxCode = (1 << nBits) - 1;
                clearPending = false;
            } else {
                ++nBits;
                maxCode = nBits == kMaxBits ? kMaxMaxCode : (1 << nBits) - 1;
            }
        }
    };

    t.Empty();
    put(clear);

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
    // The set pays on pictures large enough to bring its memory into the
    // caches; small frames keep to the hash table, which answers the same.
    constexpr int64_t kSetPixels = 1 << 16;
    const bool setPays = int64_t(width) * dib.Height() >= kSetPixels;
    StringSet& set = strings; // this thread's
    set.Clear();
    bool bySet = setPays; // and no string with key 0 yet
    for (std::size_t n = 0; n < rows.size(); ++n) {
        const uint8_t* row = bits + std::size_t(rows[n]) * stride;
        for (int32_t x = x0; x < width; ++x) {
            const int32_t c = row[x];
            if (c >= clear) [[unlikely]]
                return false; // an index the code size cannot carry
            if (hints) {
                const uint32_t hint = t.lastChild[ent];
                if ((hint >> 12) == t.ChildKey(c)) {
                    ent = int32_t(hint & 0xFFF);
                    ++hits;
                    continue;
                }
            }
            if (bySet) {
                const uint32_t key = (uint32_t(ent) << 8) | uint32_t(c);
                if (set.Has(key)) {
                    const int32_t code = set.Code(key);
                    if (hints) t.lastChild[ent] = t.Child(c, code);
                    ent = code;
                    continue;
                }
                if (freeEnt < kMaxMaxCode && (c != 0 || ent != 0)) [[likely]] {
                    put(ent);
                    if (hints) t.lastChild[ent] = t.Child(c, freeEnt);
                    set.Add(key, freeEnt++);
                    ent = c;
                    continue;
                }
                if (freeEnt < kMaxMaxCode) { // "0, 0": the hash table answers from here
                    t.Empty();
                    set.Replay(t);
                    bySet = false;
                }
                // The rest (a full table, or "0, 0") goes the hash table's way below.
            }
            const int32_t fcode = (c << kMaxBits) + ent;
            int32_t i = (c << kHashShift) ^ ent;
            int32_t key = t.htab[i];
            if (key == fcode) [[likely]] {
                if (hints) t.lastChild[ent] = t.Child(c, t.codetab[i]);
                ent = t.codetab[i];
                continue;
            }
            if (key >= 0) { // occupied by another string: probe
                const int32_t disp = i == 0 ? 1 : kHashSize - i;
                bool found = false;
                do {
                    if ((i -= disp) < 0) i += kHashSize;
                    key = t.htab[i];
                    if (key == fcode) {
                        if (hints) t.lastChild[ent] = t.Child(c, t.codetab[i]);
                        ent = t.codetab[i];
                        found = true;
                        break;
                    }
                } while (key > 0); // a slot holding key 0 ends the probe like an empty one
                if (found) continue;
            }
            put(ent);
            if (freeEnt < kMaxMaxCode) {
                if (fcode == 0 || t.htab[i] == 0)
                    t.ForgetChildren();
                else if (hints)
                    t.lastChild[ent] = t.Child(c, freeEnt);
                t.htab[i] = fcode;
                t.codetab[i] = freeEnt++;
            } else { // the table is full: a clear code at the old width, then start again
                t.Empty();
                set.Clear();
                bySet = setPays;
                freeEnt = clear + 2;
                clearPending = true;
                put(clear);
            }
            ent = c;
        }
        x0 = 0;
        hints = hits * 4 >= width || (n + 1) % kRetryRows == 0;
        hits = 0;
    }
    put(ent);
    put(eof);
    codes.Finish(stage, acc, accBits);
    return true;
}

} // namespace mGIFLZWEnc
