// Camera raw files written by hand for tests, since Debian has no tool that
// makes one: a minimal DNG with its sensor cells and an optional preview.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace dng {

// A small DNG as cameras write them: a TIFF whose first directory holds
// 16-bit sensor cells under a red-green-green-blue colour filter (each
// quadrant lit in its colour's cells, the last in all of them) and, when
// `preview` is given, a second directory holding that JPEG (of
// previewWidth x previewHeight) as the camera's preview. `orientation` is the TIFF Orientation tag.
constexpr int kRawWidth = 128, kRawHeight = 96;
constexpr uint16_t kLit = 60000;

// Little-endian values of `size` bytes each.
inline std::string Le(std::initializer_list<uint32_t> values, int size = 4) {
    std::string bytes;
    for (const uint32_t v : values)
        for (int i = 0; i < size; ++i)
            bytes.push_back(char((v >> (8 * i)) & 0xFF));
    return bytes;
}

struct TiffEntry {
    uint32_t tag, type, count;
    std::string value; // over four bytes it goes after the directory
};
enum TiffType : uint32_t { kByte = 1, kAscii, kShort, kLong, kRational, kSRational = 10 };

// A TIFF directory written at `at`, followed by its values over four bytes.
inline std::string Directory(std::size_t at, std::vector<TiffEntry> entries, uint32_t next) {
    std::sort(entries.begin(), entries.end(),
              [](const TiffEntry& a, const TiffEntry& b) { return a.tag < b.tag; });
    std::string out = Le({uint32_t(entries.size())}, 2), values;
    const std::size_t valuesAt = at + 2 + 12 * entries.size() + 4;
    for (const TiffEntry& e : entries) {
        out += Le({e.tag, e.type}, 2) + Le({e.count});
        if (e.value.size() <= 4) {
            out += e.value + std::string(4 - e.value.size(), '\0');
            continue;
        }
        out += Le({uint32_t(valuesAt + values.size())});
        values += e.value + std::string(e.value.size() % 2, '\0');
    }
    return out + Le({next}) + values;
}

inline std::string MakeDng(int orientation, const std::string& preview, uint32_t previewWidth = 0,
                           uint32_t previewHeight = 0) {
    std::string dng = "II" + Le({42}, 2) + Le({0}); // the raw directory's offset, set below
    const uint32_t cellsAt = uint32_t(dng.size());
    for (int y = 0; y < kRawHeight; ++y)
        for (int x = 0; x < kRawWidth; ++x) {
            const int quadrant = (y >= kRawHeight / 2) * 2 + (x >= kRawWidth / 2);
            const int filter = (y & 1) * 2 + (x & 1); // red, green, green, blue
            const int colour = filter == 0 ? 0 : filter == 3 ? 2 : 1;
            dng += Le({quadrant == 3 || quadrant == colour ? kLit : 0u}, 2);
        }
    const uint32_t cellBytes = uint32_t(dng.size()) - cellsAt;
    const uint32_t previewAt = uint32_t(dng.size());
    dng += preview + std::string(preview.size() % 2, '\0');
    uint32_t previewDirectory = 0;
    if (!preview.empty()) {
        previewDirectory = uint32_t(dng.size());
        dng += Directory(previewDirectory,
                         {{254, kLong, 1, Le({1})}, // a reduced picture
                          {256, kLong, 1, Le({previewWidth})},
                          {257, kLong, 1, Le({previewHeight})},
                          {258, kShort, 1, Le({8}, 2)},
                          {259, kShort, 1, Le({7}, 2)}, // JPEG
                          {262, kShort, 1, Le({6}, 2)},
                          {273, kLong, 1, Le({previewAt})},
                          {277, kShort, 1, Le({3}, 2)},
                          {278, kLong, 1, Le({previewHeight})},
                          {279, kLong, 1, Le({uint32_t(preview.size())})}},
                         0);
    }
    std::string identity; // the colour matrix: the cells are XYZ
    for (uint32_t i = 0; i < 9; ++i)
        identity += Le({i % 4 == 0, 1});
    const uint32_t rawDirectory = uint32_t(dng.size());
    dng.replace(4, 4, Le({rawDirectory}));
    dng += Directory(rawDirectory,
                     {{254, kLong, 1, Le({0})},
                      {256, kLong, 1, Le({kRawWidth})},
                      {257, kLong, 1, Le({kRawHeight})},
                      {258, kShort, 1, Le({16}, 2)},
                      {259, kShort, 1, Le({1}, 2)},
                      {262, kShort, 1, Le({32803}, 2)}, // colour filter array
                      {271, kAscii, 8, std::string("Vantrel", 8)},
                      {272, kAscii, 5, std::string("Test", 5)},
                      {273, kLong, 1, Le({cellsAt})},
                      {274, kShort, 1, Le({uint32_t(orientation)}, 2)},
                      {277, kShort, 1, Le({1}, 2)},
                      {278, kLong, 1, Le({kRawHeight})},
                      {279, kLong, 1, Le({cellBytes})},
                      {33421, kShort, 2, Le({2, 2}, 2)},
                      {33422, kByte, 4, std::string("\0\1\1\2", 4)},
                      {50706, kByte, 4, std::string("\1\4\0\0", 4)}, // DNG 1.4
                      {50708, kAscii, 13, std::string("Vantrel Test", 13)},
                      {50717, kLong, 1, Le({65535})},
                      {50721, kSRational, 9, identity},
                      {50728, kRational, 3, Le({1, 1, 1, 1, 1, 1})},
                      {50778, kShort, 1, Le({21}, 2)}}, // D65
                     previewDirectory);
    return dng;
}

} // namespace dng
