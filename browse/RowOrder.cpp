#include "browse/RowOrder.h"

#include "browse/AsciiFold.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <numeric>

namespace {

// Rows sorted by one number first; rows of equal number by name.
struct Item {
    uint64_t primary;
    uint32_t row;
};

// Collation keys of a group of names, made once each, side by side.
class KeyedNames {
  public:
    KeyedNames(const NaturalOrder& names, std::size_t count) : names_(names) {
        ends_.reserve(count);
    }
    void Clear() {
        keys_.clear();
        ends_.clear();
    }
    void Add(std::span<const std::string_view> names) { names_.AppendKeys(names, keys_, ends_); }
    // Eight bytes of key `i` from byte `depth` on, the first as the highest,
    // zeros past its end. No byte within a key is zero, so words compare as
    // the keys do, and a key that ends sorts before one that goes on.
    uint64_t Word(std::size_t i, std::size_t depth) const {
        const std::size_t begin = (i == 0 ? 0 : ends_[i - 1]) + depth;
        uint64_t word = 0;
        for (std::size_t k = 0; k < kWordBytes; ++k) {
            const std::size_t at = begin + k;
            const uint64_t byte = at < ends_[i] ? static_cast<unsigned char>(keys_[at]) : 0;
            word = (word << kBitsPerByte) | byte;
        }
        return word;
    }
    static constexpr std::size_t kWordBytes = 8;

  private:
    static constexpr int kBitsPerByte = 8;
    const NaturalOrder& names_;
    std::string keys_;
    std::vector<std::size_t> ends_;
};

struct Slot {
    uint64_t word; // of the key, at the depth being sorted
    uint32_t at;   // the name's place in its group
};

// Sorts slots whose keys agree on their first `depth` bytes: by the next
// eight bytes, then each run that still agrees by the eight after. Keys that
// are equal to the end go by `tie`. A radix sort by words: each pass compares
// integers, not strings.
template <typename Tie>
void SortSlots(std::span<Slot> slots, std::size_t depth, const KeyedNames& keyed, Tie tie) {
    for (Slot& s : slots)
        s.word = keyed.Word(s.at, depth);
    std::sort(slots.begin(), slots.end(), [](const Slot& a, const Slot& b) {
        return a.word != b.word ? a.word < b.word : a.at < b.at;
    });
    constexpr uint64_t kLastByte = 0xFF;
    for (std::size_t begin = 0; begin < slots.size();) {
        std::size_t end = begin + 1;
        while (end < slots.size() && slots[end].word == slots[begin].word)
            ++end;
        const std::span<Slot> run = slots.subspan(begin, end - begin);
        if (run.size() > 1) {
            if ((run.front().word & kLastByte) == 0) // every key of the run has ended
                std::sort(run.begin(), run.end(),
                          [&](const Slot& a, const Slot& b) { return tie(a.at, b.at); });
            else
                SortSlots(run, depth + KeyedNames::kWordBytes, keyed, tie);
        }
        begin = end;
    }
}

// Sorts `run` (indices of texts) by natural order, then bytes, then index.
template <typename TextOf>
void SortByName(std::span<uint32_t> run, TextOf textOf, KeyedNames& keyed) {
    keyed.Clear();
    std::vector<std::string_view> texts(run.size());
    for (std::size_t k = 0; k < run.size(); ++k)
        texts[k] = textOf(run[k]);
    keyed.Add(texts);
    std::vector<Slot> slots(run.size());
    for (uint32_t k = 0; k < slots.size(); ++k)
        slots[k].at = k;
    SortSlots(std::span(slots), 0, keyed, [&](uint32_t a, uint32_t b) {
        if (const int c = std::string_view(textOf(run[a])).compare(textOf(run[b]))) return c < 0;
        return run[a] < run[b];
    });
    std::vector<uint32_t> sorted(run.size());
    for (std::size_t k = 0; k < slots.size(); ++k)
        sorted[k] = run[slots[k].at];
    std::copy(sorted.begin(), sorted.end(), run.begin());
}

// A row in the listing's order (names without regard to case, then bytes,
// then place): its first sixteen folded bytes as two words, the first byte
// highest, zeros past the name's end. Rows whose words differ are in the
// order of their words (no name holds a zero byte), so most comparisons are
// of integers; rows whose words agree are compared whole.
struct Listed {
    uint64_t high, low;
    uint32_t row;
};

// Eight bytes of `name` from `from` on, zeros past its end, ASCII capitals
// folded to small letters all at once, the first byte as the highest.
uint64_t FoldedWord(const std::string& name, std::size_t from) {
    constexpr std::size_t kWordBytes = 8;
    uint64_t word = 0;
    if (from < name.size())
        std::memcpy(&word, name.data() + from, std::min(kWordBytes, name.size() - from));
    // A byte below 0x80 from 'A' to 'Z' gains 0x20: the high bit of each
    // byte says whether it is at least 'A' and whether it passes 'Z'.
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full, kHigh = 0x8080808080808080ull;
    constexpr uint64_t kToA = 0x3F3F3F3F3F3F3F3Full;   // 'A' + 0x3F = 0x80
    constexpr uint64_t kPastZ = 0x2525252525252525ull; // 'Z' + 1 + 0x25 = 0x80
    constexpr int kToCaseBit = 2;                      // 0x80 >> 2 = 0x20
    const uint64_t seven = word & kLow7;
    const uint64_t capital = ~word & ((seven + kToA) ^ (seven + kPastZ)) & kHigh;
    word |= capital >> kToCaseBit;
    if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
    return word;
}

Listed ListedRow(std::span<const FileRow> rows, uint32_t row) {
    constexpr std::size_t kSecondWord = 8;
    return {FoldedWord(rows[row].name, 0), FoldedWord(rows[row].name, kSecondWord), row};
}

auto ListingLess(std::span<const FileRow> rows) {
    return [rows](const Listed& a, const Listed& b) {
        if (a.high != b.high) return a.high < b.high;
        if (a.low != b.low) return a.low < b.low;
        const int order = NameOrder(rows[a.row].name, rows[b.row].name);
        return order != 0 ? order < 0 : a.row < b.row;
    };
}

// `rows` at `indices`, in the listing's order.
std::vector<Listed> SortedListing(std::span<const FileRow> rows,
                                  std::span<const uint32_t> indices) {
    std::vector<Listed> listed;
    listed.reserve(indices.size());
    for (const uint32_t i : indices)
        listed.push_back(ListedRow(rows, i));
    // A listing's part comes sorted from its worker: a look is then enough.
    if (!std::is_sorted(listed.begin(), listed.end(), ListingLess(rows)))
        std::sort(listed.begin(), listed.end(), ListingLess(rows));
    return listed;
}

// A signed time as an unsigned number of the same order.
uint64_t Biased(int64_t t) {
    return uint64_t(t) ^ (uint64_t(1) << 63);
}

} // namespace

std::vector<uint32_t> SortedOrder(std::span<const FileRow> rows, RowSort sort, bool descending,
                                  const NaturalOrder& names, std::span<const uint32_t> typeRanks) {
    std::vector<uint32_t> order(rows.size());
    std::iota(order.begin(), order.end(), 0u);
    if (sort == RowSort::Listing) {
        const std::vector<Listed> listed = SortedListing(rows, order);
        for (std::size_t at = 0; at < listed.size(); ++at)
            order[at] = listed[at].row;
        return order;
    }
    const auto nameOf = [&](uint32_t i) -> const std::string& { return rows[i].name; };
    KeyedNames keyed(names, rows.size());
    if (sort == RowSort::Name) {
        SortByName(order, nameOf, keyed);
    } else {
        constexpr uint32_t kNoRank = std::numeric_limits<uint32_t>::max();
        std::vector<Item> items(rows.size());
        for (uint32_t i = 0; i < rows.size(); ++i) {
            const FileRow& r = rows[i];
            uint64_t primary = 0;
            if (sort == RowSort::Size) primary = r.size;
            if (sort == RowSort::Date) primary = Biased(r.mtime);
            if (sort == RowSort::Type)
                primary = r.typeIndex >= 0 && std::size_t(r.typeIndex) < typeRanks.size()
                              ? typeRanks[std::size_t(r.typeIndex)]
                              : kNoRank;
            items[i] = {primary, i};
        }
        std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
            return a.primary != b.primary ? a.primary < b.primary : a.row < b.row;
        });
        for (std::size_t i = 0; i < items.size(); ++i)
            order[i] = items[i].row;
        // Runs of equal value, by name: only tied rows need their keys.
        for (std::size_t begin = 0; begin < items.size();) {
            std::size_t end = begin + 1;
            while (end < items.size() && items[end].primary == items[begin].primary)
                ++end;
            if (end - begin > 1)
                SortByName(std::span(order).subspan(begin, end - begin), nameOf, keyed);
            begin = end;
        }
    }
    if (descending) std::reverse(order.begin(), order.end());
    return order;
}

std::vector<uint32_t> ListingOrderAfter(std::span<const FileRow> rows,
                                        std::span<const uint32_t> order,
                                        std::span<const uint32_t> unplaced) {
    std::vector<bool> moving(rows.size());
    std::vector<uint32_t> moved;
    for (const uint32_t i : unplaced)
        if (i < rows.size() && !moving[i]) {
            moving[i] = true;
            moved.push_back(i);
        }
    std::vector<Listed> placed;
    placed.reserve(rows.size());
    for (const uint32_t i : order)
        if (i < rows.size() && !moving[i]) placed.push_back(ListedRow(rows, i));
    const std::vector<Listed> sorted = SortedListing(rows, moved);
    std::vector<Listed> merged(placed.size() + sorted.size());
    std::merge(placed.begin(), placed.end(), sorted.begin(), sorted.end(), merged.begin(),
               ListingLess(rows));
    std::vector<uint32_t> result(merged.size());
    for (std::size_t at = 0; at < merged.size(); ++at)
        result[at] = merged[at].row;
    return result;
}

std::vector<uint32_t> NaturalRanks(std::span<const std::string> texts, const NaturalOrder& names) {
    std::vector<uint32_t> order(texts.size());
    std::iota(order.begin(), order.end(), 0u);
    KeyedNames keyed(names, texts.size());
    SortByName(
        order, [&](uint32_t i) -> const std::string& { return texts[i]; }, keyed);
    // The same text has the same place (two extensions of one type), so
    // that rows of either go by their names together.
    std::vector<uint32_t> ranks(texts.size());
    uint32_t rank = 0;
    for (uint32_t place = 0; place < order.size(); ++place) {
        if (place > 0 && texts[order[place]] != texts[order[place - 1]]) rank = place;
        ranks[order[place]] = rank;
    }
    return ranks;
}
