#include "browse/FileTexts.h"

namespace {
constexpr uint64_t kBytesPerKB = 1024;
}

std::string SizeText(uint64_t bytes, std::string_view groupSeparator) {
    if (bytes >= 1 && bytes <= kBytesPerKB) return "1 KB";
    // Halves round up: add half a kilobyte before the division (no overflow:
    // the sum is done on the quotient and remainder separately).
    const uint64_t kb = bytes / kBytesPerKB + ((bytes % kBytesPerKB) >= kBytesPerKB / 2 ? 1 : 0);
    const std::string digits = std::to_string(kb);
    std::string out;
    out.reserve(digits.size() + digits.size() / 3 * groupSeparator.size() + 3);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += groupSeparator;
        out += digits[i];
    }
    out += " KB";
    return out;
}

std::string TimeText(int hour, int minute, std::string_view am, std::string_view pm) {
    const int h12 = (hour % 12 == 0) ? 12 : hour % 12;
    std::string out = std::to_string(h12);
    out += ':';
    out += char('0' + (minute / 10) % 10);
    out += char('0' + minute % 10);
    out += ' ';
    out += (hour < 12) ? am : pm;
    return out;
}

std::string StripNulls(std::string& text) {
    const std::size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    return text;
}
