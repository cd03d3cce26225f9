#include "browse/NaturalOrder.h"

#include "browse/AsciiFold.h"

#include <unicode/ucol.h>
#include <unicode/ustring.h>

namespace {

constexpr UChar32 kReplacement = 0xFFFD;
constexpr unsigned char kAsciiEnd = 0x80;
// Room for a key before ICU is asked for its length: a few bytes a character
// covers the names of a folder; a longer key costs a second call.
constexpr std::size_t kKeyBytesPerUnit = 4;
constexpr std::size_t kKeyBytesExtra = 16;

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
    ucol_setAttribute(collator_, UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
}

NaturalOrder::~NaturalOrder() {
    if (collator_) ucol_close(collator_);
}

void NaturalOrder::AppendKey(std::string_view name, std::string& keys) const {
    if (!collator_) { // without a collation: letters folded, bytes otherwise
        for (const char c : name)
            keys.push_back(char(FoldAscii(static_cast<unsigned char>(c))));
        return;
    }
    // UTF-16 never takes more units than UTF-8 takes bytes.
    utf16_.resize(name.size());
    int32_t units = 0;
    bool ascii = true;
    for (const char c : name)
        ascii = ascii && static_cast<unsigned char>(c) < kAsciiEnd;
    if (ascii) {
        for (std::size_t i = 0; i < name.size(); ++i)
            utf16_[i] = char16_t(static_cast<unsigned char>(name[i]));
        units = int32_t(name.size());
    } else {
        UErrorCode status = U_ZERO_ERROR;
        u_strFromUTF8WithSub(reinterpret_cast<UChar*>(utf16_.data()), int32_t(utf16_.size()),
                             &units, name.data(), int32_t(name.size()), kReplacement, nullptr,
                             &status);
        if (U_FAILURE(status)) units = 0;
    }
    const auto* text = reinterpret_cast<const UChar*>(utf16_.data());
    const std::size_t at = keys.size();
    std::size_t room = std::size_t(units) * kKeyBytesPerUnit + kKeyBytesExtra;
    keys.resize(at + room);
    int32_t length = ucol_getSortKey(collator_, text, units,
                                     reinterpret_cast<uint8_t*>(keys.data() + at), int32_t(room));
    if (length > int32_t(room)) {
        room = std::size_t(length);
        keys.resize(at + room);
        length = ucol_getSortKey(collator_, text, units,
                                 reinterpret_cast<uint8_t*>(keys.data() + at), int32_t(room));
    }
    // The key ends in a zero byte that no other byte of it is: left out, a
    // key that is the start of another still comes first.
    keys.resize(length > 0 ? at + std::size_t(length) - 1 : at);
}

bool NaturalOrder::Less(std::string_view a, std::string_view b) const {
    std::string ka, kb;
    AppendKey(a, ka);
    AppendKey(b, kb);
    const int c = ka.compare(kb);
    return c != 0 ? c < 0 : a < b;
}
