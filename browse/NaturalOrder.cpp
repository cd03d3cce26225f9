#include "browse/NaturalOrder.h"

#include "browse/AsciiFold.h"

#include <algorithm>
#include <thread>
#include <unicode/ucol.h>
#include <unicode/ustring.h>
#include <unicode/uvernum.h>

namespace {

constexpr UChar32 kReplacement = 0xFFFD;
constexpr unsigned char kAsciiEnd = 0x80;
// Room for a key before ICU is asked for its length: a few bytes a character
// covers the names of a folder; a longer key costs a second call.
constexpr std::size_t kKeyBytesPerUnit = 4;
constexpr std::size_t kKeyBytesExtra = 16;
// Keys of many names are made on a few threads, each with enough names to
// be worth starting it.
constexpr std::size_t kMostThreads = 4;
constexpr std::size_t kNamesPerThread = 8192;

void AppendKeyWith(const UCollator* collator, std::u16string& utf16, std::string_view name,
                   std::string& keys) {
    if (!collator) { // without a collation: letters folded, bytes otherwise
        for (const char c : name)
            keys.push_back(char(FoldAscii(static_cast<unsigned char>(c))));
        return;
    }
    // UTF-16 never takes more units than UTF-8 takes bytes.
    utf16.resize(name.size());
    int32_t units = 0;
    bool ascii = true;
    for (const char c : name)
        ascii = ascii && static_cast<unsigned char>(c) < kAsciiEnd;
    if (ascii) {
        for (std::size_t i = 0; i < name.size(); ++i)
            utf16[i] = char16_t(static_cast<unsigned char>(name[i]));
        units = int32_t(name.size());
    } else {
        UErrorCode status = U_ZERO_ERROR;
        u_strFromUTF8WithSub(reinterpret_cast<UChar*>(utf16.data()), int32_t(utf16.size()), &units,
                             name.data(), int32_t(name.size()), kReplacement, nullptr, &status);
        if (U_FAILURE(status)) units = 0;
    }
    const auto* text = reinterpret_cast<const UChar*>(utf16.data());
    const std::size_t at = keys.size();
    std::size_t room = std::size_t(units) * kKeyBytesPerUnit + kKeyBytesExtra;
    keys.resize(at + room);
    int32_t length = ucol_getSortKey(collator, text, units,
                                     reinterpret_cast<uint8_t*>(keys.data() + at), int32_t(room));
    if (length > int32_t(room)) {
        room = std::size_t(length);
        keys.resize(at + room);
        length = ucol_getSortKey(collator, text, units,
                                 reinterpret_cast<uint8_t*>(keys.data() + at), int32_t(room));
    }
    // The key ends in a zero byte that no other byte of it is: left out, a
    // key that is the start of another still comes first.
    keys.resize(length > 0 ? at + std::size_t(length) - 1 : at);
}

} // namespace

NaturalOrder::NaturalOrder(std::string_view locale) {
    std::string id(locale);
    if (id == "C" || id == "POSIX") id.clear(); // the root collation
    UErrorCode status = U_ZERO_ERROR;
    collator_ = ucol_open(id.c_str(), &status);
    if (U_FAILURE(status)) {
        if (collator_) ucol_close(collator_);
        collator_ = nullptr;
        return;
    }
    // Secondary strength: accents count, case does not. Numeric collation:
    // digits compare by value.
    ucol_setStrength(collator_, UCOL_SECONDARY);
    ucol_setAttribute(collator_, UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
    // Normalization stays as the locale has it (off for most): ICU orders
    // text already in the usual composed or decomposed forms correctly
    // without it, and it would cost a good part of each key.
}

NaturalOrder::~NaturalOrder() {
    if (collator_) ucol_close(collator_);
}

void NaturalOrder::AppendKey(std::string_view name, std::string& keys) const {
    AppendKeyWith(collator_, utf16_, name, keys);
}

void NaturalOrder::AppendKeys(std::span<const std::string_view> names, std::string& keys,
                              std::vector<std::size_t>& ends) const {
    // A collator serves one thread at a time: each other thread takes a copy.
    std::vector<UCollator*> copies;
    const std::size_t wanted =
        std::min<std::size_t>({std::max(1u, std::thread::hardware_concurrency()), kMostThreads,
                               names.size() / kNamesPerThread});
    for (std::size_t t = 1; collator_ && t < wanted; ++t) {
        UErrorCode status = U_ZERO_ERROR;
#if U_ICU_VERSION_MAJOR_NUM >= 71
        UCollator* copy = ucol_clone(collator_, &status);
#else
        UCollator* copy = ucol_safeClone(collator_, nullptr, nullptr, &status);
#endif
        if (U_FAILURE(status) || !copy) break;
        copies.push_back(copy);
    }
    const std::size_t threads = copies.size() + 1;
    const std::size_t share = (names.size() + threads - 1) / threads;
    struct Part {
        std::string keys;
        std::vector<std::size_t> ends;
    };
    std::vector<Part> parts(threads);
    const auto make = [&](std::size_t t, const UCollator* collator) {
        std::u16string utf16;
        Part& part = parts[t];
        const std::size_t begin = std::min(names.size(), t * share);
        const std::size_t end = std::min(names.size(), begin + share);
        part.ends.reserve(end - begin);
        for (std::size_t i = begin; i < end; ++i) {
            AppendKeyWith(collator, utf16, names[i], part.keys);
            part.ends.push_back(part.keys.size());
        }
    };
    std::vector<std::thread> workers;
    for (std::size_t t = 1; t < threads; ++t)
        workers.emplace_back(make, t, copies[t - 1]);
    make(0, collator_);
    for (std::thread& w : workers)
        w.join();
    for (UCollator* copy : copies)
        ucol_close(copy);
    ends.reserve(ends.size() + names.size());
    for (const Part& part : parts) {
        const std::size_t base = keys.size();
        keys += part.keys;
        for (const std::size_t e : part.ends)
            ends.push_back(base + e);
    }
}

bool NaturalOrder::Less(std::string_view a, std::string_view b) const {
    std::string ka, kb;
    AppendKey(a, ka);
    AppendKey(b, kb);
    const int c = ka.compare(kb);
    return c != 0 ? c < 0 : a < b;
}
