// The order of the file list's rows: natural order of names by locale, and
// each column both ways, on rows built here.
#include "browse/NaturalOrder.h"
#include "browse/RowOrder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Sorted(std::vector<std::string> names, const NaturalOrder& order) {
    std::vector<FileRow> rows;
    for (std::string& n : names)
        rows.push_back(FileRow{std::move(n)});
    std::vector<std::string> out;
    for (const uint32_t i : SortedOrder(rows, RowSort::Name, false, order))
        out.push_back(rows[i].name);
    return out;
}

TEST(NaturalOrder, NamesAsPeopleReadThem) {
    // Each row lists names in the order expected; they are sorted from the
    // reverse order and from a shuffle.
    const struct {
        const char* locale;
        std::vector<std::string> names;
    } cases[] = {
        // Runs of digits by value.
        {"en_US",
         {"IMG_1.jpg", "IMG_2.jpg", "IMG_9.jpg", "IMG_10.jpg", "IMG_11.jpg", "IMG_100.jpg"}},
        {"en_US", {"1", "2", "10", "a1b2", "a1b10", "a2b1", "a10b1"}},
        // Leading zeros: equal value, then the bytes decide ("0" before "1").
        {"en_US",
         {"file001.png", "file01.png", "file1.png", "file02.png", "file2.png", "file010.png",
          "file10.png"}},
        // Case does not count; equal but for case, the bytes decide.
        {"en_US", {"apple", "Banana", "banana", "cherry", "IMG_5", "img_5", "img_40", "IMG_300"}},
        // Accents count after the letters: e, é, f.
        {"en_US", {"cafe.jpg", "caf\xc3\xa9.jpg", "cafz.jpg"}},
        // An accent composed or not is the same letter; the bytes then decide.
        {"en_US", {"cafe", "cafe\xcc\x81", "caf\xc3\xa9", "cafz"}},
        // Long names alike for many bytes, numbers at the end.
        {"en_US",
         {"photo of the summer holiday 2", "photo of the summer holiday 10",
          "photo of the summer holiday 10b", "Photo of the summer holiday 11"}},
        // Names that are not UTF-8 read as U+FFFD, after every letter; among
        // themselves by their bytes. A cut sequence too.
        {"en_US", {"cafe", "cafz", "caf\xc3", "caf\xe9", "caf\xff", "cag", "\xff\xfe"}},
        // The user's language: in Swedish, ö comes after z; in English, near o.
        {"sv_SE",
         {"ob", "zz",
          "\xc3\xb6"
          "a"}},
        {"en_US",
         {"\xc3\xb6"
          "a",
          "ob", "zz"}},
        // Without a language (the C locale), still natural and without case.
        {"C", {"a2", "A10", "b1"}},
        {"", {"a2", "A10", "b1"}},
        // Duplicates and the empty name keep a place and do not fault.
        {"en_US", {"", "a", "a", "b"}},
    };
    for (const auto& c : cases) {
        NaturalOrder order(c.locale);
        std::vector<std::string> reversed(c.names.rbegin(), c.names.rend());
        EXPECT_EQ(Sorted(reversed, order), c.names) << c.locale << " " << c.names.front();
        std::vector<std::string> shuffled = c.names;
        std::rotate(shuffled.begin(), shuffled.begin() + long(shuffled.size() / 2), shuffled.end());
        EXPECT_EQ(Sorted(shuffled, order), c.names) << c.locale << " " << c.names.front();
        for (std::size_t i = 0; i + 1 < c.names.size(); ++i)
            EXPECT_FALSE(order.Less(c.names[i + 1], c.names[i])) << c.names[i];
    }
}

TEST(NaturalOrder, KeysOfLongAndOddNames) {
    NaturalOrder order("en_US");
    // A name near the longest a file system allows, of digits and of
    // characters whose keys are long, and every single byte value.
    const std::string digits(255, '7'), wide = [] {
        std::string s;
        for (int i = 0; i < 80; ++i)
            s += "\xe4\xb8\x80"; // a CJK ideograph, three bytes
        return s;
    }();
    std::string keys;
    order.AppendKey(digits, keys);
    order.AppendKey(wide, keys);
    EXPECT_FALSE(keys.empty());
    std::vector<std::string> bytes;
    for (int b = 1; b < 256; ++b)
        bytes.push_back(std::string(1, char(b)) + "x");
    const std::vector<std::string> sorted = Sorted(bytes, order);
    EXPECT_EQ(sorted.size(), bytes.size());
    EXPECT_TRUE(std::is_permutation(sorted.begin(), sorted.end(), bytes.begin()));
    EXPECT_EQ(Sorted({"7" + digits, digits}, order),
              (std::vector<std::string>{digits, "7" + digits}));
}

TEST(NaturalOrder, ManyNamesKeyedOnSeveralThreads) {
    // Enough names for the keys to be made on more than one thread: the
    // result is the order of the names compared one pair at a time.
    constexpr uint32_t kNames = 40000, kPrime = 7919;
    std::vector<std::string> names;
    for (uint32_t i = 0; i < kNames; ++i) {
        const uint32_t n = i * kPrime % kNames;
        names.push_back((n % 3 ? "IMG_" : "img_") + std::to_string(n % (kNames / 2)) +
                        (n % 5 ? ".jpg" : "\xc3\xa9.JPG"));
    }
    NaturalOrder order("en_US");
    const std::vector<std::string> sorted = Sorted(names, order);
    ASSERT_EQ(sorted.size(), names.size());
    for (std::size_t i = 0; i + 1 < sorted.size(); ++i)
        ASSERT_FALSE(order.Less(sorted[i + 1], sorted[i])) << sorted[i] << " " << sorted[i + 1];
}

struct Expect {
    RowSort sort;
    std::vector<std::string> names; // ascending
};

TEST(RowOrder, EveryColumnBothWays) {
    // Ties of size, type and date fall to the names' natural order.
    const std::vector<FileRow> rows = {
        {"b10.png", 300, 1000, 1}, {"b9.png", 300, 2000, 1}, {"A.gif", 100, -50, 0},
        {"c.jpg", 2, 2000, 2},     {"a.bmp", 300, 2000, 3},  {"d.xyz", 5000000000ull, 0, 9},
    };
    // Type names in natural order: gif (0), png (1), jpg (2), bmp (3); type 9 has none.
    const std::vector<uint32_t> typeRanks = {0, 2, 1, 3};
    const Expect cases[] = {
        {RowSort::Name, {"a.bmp", "A.gif", "b9.png", "b10.png", "c.jpg", "d.xyz"}},
        {RowSort::Size, {"c.jpg", "A.gif", "a.bmp", "b9.png", "b10.png", "d.xyz"}},
        {RowSort::Date, {"A.gif", "d.xyz", "b10.png", "a.bmp", "b9.png", "c.jpg"}},
        {RowSort::Type, {"A.gif", "c.jpg", "b9.png", "b10.png", "a.bmp", "d.xyz"}},
        // The listing's order, case folded then bytes, has no other way round.
        {RowSort::Listing, {"a.bmp", "A.gif", "b10.png", "b9.png", "c.jpg", "d.xyz"}},
    };
    NaturalOrder order("en_US");
    for (const Expect& e : cases) {
        for (const bool descending : {false, true}) {
            std::vector<std::string> want = e.names;
            if (descending && e.sort != RowSort::Listing) std::reverse(want.begin(), want.end());
            std::vector<std::string> got;
            for (const uint32_t i : SortedOrder(rows, e.sort, descending, order, typeRanks))
                got.push_back(rows[i].name);
            EXPECT_EQ(got, want) << int(e.sort) << (descending ? " descending" : "");
        }
    }
    // Nothing to sort, and one row.
    EXPECT_TRUE(SortedOrder({}, RowSort::Date, true, order).empty());
    EXPECT_EQ(SortedOrder(std::vector<FileRow>{{"x"}}, RowSort::Type, false, order),
              std::vector<uint32_t>{0});
}

TEST(RowOrder, TypeNamesRanked) {
    const std::vector<std::string> types = {"PNG image", "N/A", "JPEG image", "GIF image",
                                            "jpeg image"};
    NaturalOrder order("en_US");
    EXPECT_EQ(NaturalRanks(types, order), (std::vector<uint32_t>{4, 3, 1, 0, 2}));
    // Two extensions with one type name (.jpg, .jpeg): one place, so that
    // their rows go by name together.
    const std::vector<std::string> twice = {"JPEG image", "GIF image", "JPEG image", "PNG image"};
    EXPECT_EQ(NaturalRanks(twice, order), (std::vector<uint32_t>{1, 0, 1, 3}));
    const std::vector<FileRow> rows = {
        {"b.jpg", 1, 0, 0}, {"a.jpeg", 1, 0, 2}, {"c.gif", 1, 0, 1}, {"A.jpg", 1, 0, 0}};
    std::vector<std::string> got;
    for (const uint32_t i :
         SortedOrder(rows, RowSort::Type, false, order, NaturalRanks(twice, order)))
        got.push_back(rows[i].name);
    EXPECT_EQ(got, (std::vector<std::string>{"c.gif", "a.jpeg", "A.jpg", "b.jpg"}));
}

// Rows added or renamed among rows in the listing's order are merged in,
// whichever and however many they are: the order of the names compared one
// by one, also for the bytes next to the letters and those past ASCII.
TEST(RowOrder, RowsMergedIntoTheListingsOrder) {
    std::vector<FileRow> rows;
    const char* const stems[] = {"IMG_",
                                 "img_",
                                 "@",
                                 "[",
                                 "`",
                                 "{",
                                 "A",
                                 "a",
                                 "Z",
                                 "z",
                                 "\xc3\x89",
                                 "\xc3\xa9",
                                 "\xff",
                                 "IMG_0000000000000",
                                 "img_00000000000"};
    for (int i = 0; i < 300; ++i) {
        const int n = (i * 37) % 300;
        rows.push_back({stems[n % std::size(stems)] + std::to_string(n / 7) + ".jpg"});
    }
    const auto byName = [](const std::vector<FileRow>& all) {
        std::vector<uint32_t> order(all.size());
        std::iota(order.begin(), order.end(), 0u);
        std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
            return NameLess(all[a].name, all[b].name);
        });
        std::vector<std::string> names;
        for (const uint32_t i : order)
            names.push_back(all[i].name);
        return names;
    };
    NaturalOrder order("en_US");
    std::vector<std::string> sorted;
    for (const uint32_t i : SortedOrder(rows, RowSort::Listing, false, order))
        sorted.push_back(rows[i].name);
    ASSERT_EQ(sorted, byName(rows));
    const std::vector<uint32_t> shown = SortedOrder(rows, RowSort::Listing, false, order);
    const struct {
        const char* what;
        std::vector<uint32_t> unplaced; // places in `rows`
    } cases[] = {
        {"nothing", {}},
        {"one", {0}},
        {"a few scattered", {3, 77, 150, 4}},
        {"many", {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130, 140, 150, 160}},
        {"out of range and twice", {5, 1000, 5}},
    };
    for (const auto& c : cases) {
        std::vector<FileRow> now = rows;
        // The unplaced rows get new names that belong elsewhere.
        for (const uint32_t i : c.unplaced)
            if (i < now.size()) now[i].name = "New" + std::to_string(299 - i) + ".jpg";
        std::vector<std::string> got;
        for (const uint32_t i : ListingOrderAfter(now, shown, c.unplaced))
            got.push_back(now[i].name);
        EXPECT_EQ(got, byName(now)) << c.what;
    }
}

} // namespace
