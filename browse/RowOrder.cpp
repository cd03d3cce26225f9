#include "browse/RowOrder.h"

#include <algorithm>
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
    void Add(std::string_view name) {
        names_.AppendKey(name, keys_);
        ends_.push_back(keys_.size());
    }
    std::string_view Key(std::size_t i) const {
        const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
        return std::string_view(keys_).substr(begin, ends_[i] - begin);
    }

  private:
    const NaturalOrder& names_;
    std::string keys_;
    std::vector<std::size_t> ends_;
};

// Sorts `texts[run[k]]` for every k by natural order, then bytes, then index.
template <typename TextOf>
void SortByName(std::span<uint32_t> run, TextOf textOf, KeyedNames& keyed) {
    keyed.Clear();
    for (const uint32_t i : run)
        keyed.Add(textOf(i));
    std::vector<uint32_t> slot(run.size());
    std::iota(slot.begin(), slot.end(), 0u);
    std::sort(slot.begin(), slot.end(), [&](uint32_t a, uint32_t b) {
        if (const int c = keyed.Key(a).compare(keyed.Key(b))) return c < 0;
        if (const int c = std::string_view(textOf(run[a])).compare(textOf(run[b]))) return c < 0;
        return run[a] < run[b];
    });
    std::vector<uint32_t> sorted(run.size());
    for (std::size_t k = 0; k < slot.size(); ++k)
        sorted[k] = run[slot[k]];
    std::copy(sorted.begin(), sorted.end(), run.begin());
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
        std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
            if (NameLess(rows[a].name, rows[b].name)) return true;
            return !NameLess(rows[b].name, rows[a].name) && a < b;
        });
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

std::vector<uint32_t> NaturalRanks(std::span<const std::string> texts, const NaturalOrder& names) {
    std::vector<uint32_t> order(texts.size());
    std::iota(order.begin(), order.end(), 0u);
    KeyedNames keyed(names, texts.size());
    SortByName(
        order, [&](uint32_t i) -> const std::string& { return texts[i]; }, keyed);
    std::vector<uint32_t> ranks(texts.size());
    for (uint32_t place = 0; place < order.size(); ++place)
        ranks[order[place]] = place;
    return ranks;
}
