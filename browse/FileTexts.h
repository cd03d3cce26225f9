// The texts of a file list row that do not depend on the widget toolkit.
// Standard library only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// "1 KB" for 1 to 1024 bytes; otherwise the size in whole kilobytes, halves
// rounded up, digits grouped by thousands with `groupSeparator`, then " KB".
std::string SizeText(uint64_t bytes, std::string_view groupSeparator);

// "h:mm AMPM": hour of a 12-hour clock without leading zero, two-digit
// minutes, a space and the locale's designator (`am` before noon, else `pm`).
std::string TimeText(int hour, int minute, std::string_view am, std::string_view pm);

// Cuts `text` before its first NUL character and returns a copy of the result.
std::string StripNulls(std::string& text);
