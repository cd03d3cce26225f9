// Wildcard matching of file paths for the file list. A spec is a list of
// patterns separated by ";"; blanks in front of a pattern are skipped; "*"
// matches any run of characters (folder separators included), "?" any one
// character; letters match regardless of case (ASCII letters); the spec "*.*"
// matches everything. Paths are the file system's bytes: a UTF-8 sequence
// counts as one character, a byte that is not valid UTF-8 as one of its own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// A spec compiled once, matched against many paths without allocating.
class PathMatcher {
  public:
    explicit PathMatcher(std::string_view spec);
    bool Matches(std::string_view path) const;

  private:
    // Patterns of the form "*" and a literal of ASCII characters (as "*.png"),
    // folded to lower case: matched by the path's tail alone.
    std::vector<std::string> suffixes_;
    std::vector<std::u32string> patterns_;
    bool matchesAll_ = false;
};

bool PathMatchSpec(std::string_view path, std::string_view spec);
