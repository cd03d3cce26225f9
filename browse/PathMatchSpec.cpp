#include "browse/PathMatchSpec.h"

#include "browse/AsciiFold.h"

#include <cstdint>

namespace {

constexpr char32_t kInvalidByteBase = 0x110000; // above Unicode: matches only itself

// Decodes one character at `i`, folds ASCII letters to lower case, advances `i`.
char32_t NextChar(std::string_view s, std::size_t& i) {
    const auto b0 = static_cast<uint8_t>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return char32_t(FoldAscii(b0));
    }
    int extra = 0;
    char32_t cp = 0;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        cp = b0 & 0x07;
    }
    bool valid = extra > 0 && i + extra < s.size();
    for (int k = 1; valid && k <= extra; ++k) {
        const auto b = static_cast<uint8_t>(s[i + k]);
        valid = (b & 0xC0) == 0x80;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (!valid) {
        ++i;
        return kInvalidByteBase + b0;
    }
    i += extra + 1;
    return cp;
}

bool MatchOne(std::string_view s, const std::u32string& p) {
    // Greedy match with one backtrack point for the last "*": linear for the
    // usual patterns, never worse than |s| x |p|.
    std::size_t si = 0, pi = 0;
    std::size_t starP = std::u32string::npos, starS = 0;
    while (si < s.size()) {
        std::size_t next = si;
        const char32_t c = NextChar(s, next);
        if (pi < p.size() && p[pi] == U'*') {
            starP = pi++;
            starS = si;
        } else if (pi < p.size() && (p[pi] == U'?' || p[pi] == c)) {
            ++pi;
            si = next;
        } else if (starP != std::u32string::npos) {
            pi = starP + 1;
            NextChar(s, starS);
            si = starS;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == U'*')
        ++pi;
    return pi == p.size();
}

// "*" then ASCII characters other than "*" and "?". An ASCII byte in a path
// is always a character of its own, so such a pattern matches exactly the
// paths whose last bytes are its literal, letters folded.
bool IsAsciiSuffixPattern(std::string_view one) {
    if (one.size() < 2 || one.front() != '*') return false;
    for (const char c : one.substr(1))
        if (static_cast<unsigned char>(c) >= 0x80 || c == '*' || c == '?') return false;
    return true;
}

bool EndsWithFolded(std::string_view path, std::string_view foldedSuffix) {
    if (path.size() < foldedSuffix.size()) return false;
    const std::string_view tail = path.substr(path.size() - foldedSuffix.size());
    for (std::size_t i = 0; i < tail.size(); ++i)
        if (FoldAscii(static_cast<unsigned char>(tail[i])) !=
            static_cast<unsigned char>(foldedSuffix[i]))
            return false;
    return true;
}

} // namespace

PathMatcher::PathMatcher(std::string_view spec) {
    std::size_t start = 0;
    while (start <= spec.size()) {
        std::size_t end = spec.find(';', start);
        if (end == std::string_view::npos) end = spec.size();
        std::string_view one = spec.substr(start, end - start);
        while (!one.empty() && one.front() == ' ')
            one.remove_prefix(1);
        if (one == "*.*") matchesAll_ = true;
        if (IsAsciiSuffixPattern(one)) {
            std::string suffix(one.substr(1));
            for (char& c : suffix)
                c = char(FoldAscii(static_cast<unsigned char>(c)));
            suffixes_.push_back(std::move(suffix));
        } else if (!one.empty()) {
            std::u32string compiled;
            for (std::size_t i = 0; i < one.size();)
                compiled.push_back(NextChar(one, i));
            patterns_.push_back(std::move(compiled));
        }
        start = end + 1;
    }
}

bool PathMatcher::Matches(std::string_view path) const {
    if (matchesAll_) return true;
    for (const std::string& suffix : suffixes_)
        if (EndsWithFolded(path, suffix)) return true;
    for (const auto& p : patterns_)
        if (MatchOne(path, p)) return true;
    return false;
}

bool PathMatchSpec(std::string_view path, std::string_view spec) {
    return PathMatcher(spec).Matches(path);
}
