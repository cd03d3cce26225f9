// Folder paths as text: the one way the program appends the trailing "/".
// Standard library only.
#pragma once

#include <string>

// Appends "/" to `path` unless it already ends in one; returns the result.
inline std::string AddBackslash(std::string& path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}
