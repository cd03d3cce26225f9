#include "imaging/Orientation.h"

#include <array>
#include <cstddef>
#include <cstring>

namespace {

// An orientation as the 2 x 2 matrix that carries a stored pixel's place to
// its shown place, about the picture's centre with y running down:
// (x, y) -> (a x + b y, c x + d y). The eight matrices of entries -1, 0 and 1
// with one non-zero entry per row and column are the eight orientations, and
// composing turns is multiplying them.
struct Matrix {
    int a, b, c, d;
    bool operator==(const Matrix&) const = default;
};

constexpr std::array<Matrix, 8> kShownFromStored = {{
    {1, 0, 0, 1},   // 1 upright
    {-1, 0, 0, 1},  // 2 mirrored left-right
    {-1, 0, 0, -1}, // 3 half a turn
    {1, 0, 0, -1},  // 4 mirrored top-bottom
    {0, 1, 1, 0},   // 5 mirrored about the top-left to bottom-right diagonal
    {0, -1, 1, 0},  // 6 a quarter turn clockwise
    {0, -1, -1, 0}, // 7 mirrored about the other diagonal
    {0, 1, -1, 0},  // 8 a quarter turn anticlockwise
}};

Matrix MatrixOf(int orientation) {
    return orientation >= 1 && orientation <= 8 ? kShownFromStored[orientation - 1]
                                                : kShownFromStored[0];
}

Matrix MatrixOf(Turn turn) {
    switch (turn) {
    case Turn::Left:
        return MatrixOf(8);
    case Turn::Right:
        return MatrixOf(6);
    case Turn::FlipHorizontal:
        return MatrixOf(2);
    case Turn::FlipVertical:
        return MatrixOf(4);
    case Turn::Half:
        return MatrixOf(3);
    }
    return MatrixOf(1);
}

// `second` applied after `first`.
Matrix Then(const Matrix& first, const Matrix& second) {
    return {second.a * first.a + second.b * first.c, second.a * first.b + second.b * first.d,
            second.c * first.a + second.d * first.c, second.c * first.b + second.d * first.d};
}

int OrientationOf(const Matrix& m) {
    for (std::size_t i = 0; i < kShownFromStored.size(); ++i)
        if (kShownFromStored[i] == m) return int(i) + 1;
    return 1;
}

// --- The tag in a JPEG's bytes ---

constexpr uint8_t kMarker = 0xFF, kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA, kApp0 = 0xE0, kApp1 = 0xE1,
                  kTem = 0x01, kRst0 = 0xD0, kRst7 = 0xD7;
constexpr char kExifId[] = "Exif\0"; // with its terminator: "Exif" and two zero bytes
constexpr std::size_t kExifIdBytes = 6, kTiffHeaderBytes = 8, kEntryBytes = 12;
constexpr uint16_t kTiffMagic = 42, kOrientationTag = 0x0112, kShort = 3;
// Segments looked at before the picture's data, at most: a JPEG with more
// before its first scan is taken as holding no tag rather than walked for long.
constexpr int kMaxSegments = 4096;

uint16_t Read16(const uint8_t* p, bool intel) {
    return intel ? uint16_t(p[0] | p[1] << 8) : uint16_t(p[0] << 8 | p[1]);
}
uint32_t Read32(const uint8_t* p, bool intel) {
    return intel
               ? uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24
               : uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
void Write16(uint8_t* p, uint16_t v, bool intel) {
    p[intel ? 0 : 1] = uint8_t(v & 0xFF);
    p[intel ? 1 : 0] = uint8_t(v >> 8);
}

// What a walk of a JPEG's segments found.
struct Found {
    bool jpeg = false;         // starts with SOI and its segments hold together up to here
    bool exif = false;         // an APP1 "Exif" segment is there
    std::size_t newExifAt = 0; // where a new EXIF segment goes: after SOI and a JFIF APP0
    std::size_t valueAt = 0;   // the Orientation tag's SHORT value, 0 for none
    bool intel = false;        // the TIFF data's byte order
    std::size_t lengthAt = 0;  // the EXIF segment's length field
    std::size_t tiffAt = 0, tiffBytes = 0; // its TIFF data
};

// The Orientation entry of IFD0 in the TIFF data at `tiff` (`size` bytes),
// every offset checked against `size`: its value's offset, or 0.
std::size_t OrientationValueAt(const uint8_t* tiff, std::size_t size, bool& intel) {
    if (size < kTiffHeaderBytes) return 0;
    intel = tiff[0] == 'I' && tiff[1] == 'I';
    if (!intel && !(tiff[0] == 'M' && tiff[1] == 'M')) return 0;
    if (Read16(tiff + 2, intel) != kTiffMagic) return 0;
    const uint32_t ifd = Read32(tiff + 4, intel);
    if (ifd < kTiffHeaderBytes || ifd > size || size - ifd < 2) return 0;
    const std::size_t entries = Read16(tiff + ifd, intel);
    const std::size_t room = (size - ifd - 2) / kEntryBytes; // entries that fit, at most
    for (std::size_t i = 0; i < entries && i < room; ++i) {
        const std::size_t at = ifd + 2 + i * kEntryBytes;
        if (Read16(tiff + at, intel) != kOrientationTag) continue;
        if (Read16(tiff + at + 2, intel) != kShort || Read32(tiff + at + 4, intel) < 1) return 0;
        return at + 8; // one SHORT lies in the entry itself
    }
    return 0;
}

Found Walk(const std::vector<uint8_t>& jpeg) {
    Found f;
    const std::size_t n = jpeg.size();
    if (n < 4 || jpeg[0] != kMarker || jpeg[1] != kSoi) return f;
    std::size_t at = 2;
    f.newExifAt = at;
    for (int segment = 0; segment < kMaxSegments; ++segment) {
        if (at >= n || jpeg[at] != kMarker) return f;
        while (at < n && jpeg[at] == kMarker)
            ++at; // fill bytes before a marker
        if (at >= n) return f;
        const uint8_t marker = jpeg[at++];
        if (marker == kEoi || marker == kSos) break; // no EXIF after the first scan
        if (marker == kTem || (marker >= kRst0 && marker <= kRst7)) continue; // no length
        if (n - at < 2) return f;
        const std::size_t length = std::size_t(jpeg[at]) << 8 | jpeg[at + 1];
        if (length < 2 || n - at < length) return f;
        const uint8_t* payload = jpeg.data() + at + 2;
        const std::size_t payloadBytes = length - 2;
        if (segment == 0 && marker == kApp0 && payloadBytes >= 5 &&
            std::memcmp(payload, "JFIF", 5) == 0)
            f.newExifAt = at + length;
        if (!f.exif && marker == kApp1 && payloadBytes >= kExifIdBytes &&
            std::memcmp(payload, kExifId, kExifIdBytes) == 0) {
            f.exif = true;
            f.lengthAt = at;
            f.tiffAt = at + 2 + kExifIdBytes;
            f.tiffBytes = payloadBytes - kExifIdBytes;
            const std::size_t value =
                OrientationValueAt(payload + kExifIdBytes, payloadBytes - kExifIdBytes, f.intel);
            if (value != 0) f.valueAt = at + 2 + kExifIdBytes + value;
        }
        at += length;
    }
    f.jpeg = true;
    return f;
}

// An APP1 EXIF segment holding only the Orientation tag, big-endian TIFF data.
std::vector<uint8_t> ExifSegment(int orientation) {
    const uint8_t v = uint8_t(orientation);
    return {kMarker, kApp1, 0, 34,     'E', 'x', 'i', 'f', 0, 0, // marker, length, id
            'M',     'M',   0, 42,     0,   0,   0,   8,         // TIFF header, IFD0 at 8
            0,       1,                                          // one entry
            0x01,    0x12,  0, kShort, 0,   0,   0,   1,   0, v,
            0,       0,            // Orientation, SHORT, 1 value
            0,       0,     0, 0}; // no next IFD
}

void Write32(uint8_t* p, uint32_t v, bool intel) {
    Write16(p + (intel ? 0 : 2), uint16_t(v & 0xFFFF), intel);
    Write16(p + (intel ? 2 : 0), uint16_t(v >> 16), intel);
}

// An EXIF segment whose IFD0 has no Orientation entry gets one without moving
// a byte of its TIFF data (whose offsets, a maker's notes' among them, stay
// true): a copy of IFD0 with the entry in its place among the others goes at
// the segment's end, and the TIFF header points to it. The old IFD0 stays as
// unused bytes. False, nothing changed, when IFD0 is damaged or the segment
// would outgrow its 64 KB.
bool AddOrientation(std::vector<uint8_t>& jpeg, const Found& f, int orientation) {
    const uint8_t* tiff = jpeg.data() + f.tiffAt;
    const bool intel = tiff[0] == 'I' && tiff[1] == 'I';
    if (f.tiffBytes < kTiffHeaderBytes || (!intel && !(tiff[0] == 'M' && tiff[1] == 'M')) ||
        Read16(tiff + 2, intel) != kTiffMagic)
        return false;
    const uint32_t ifd = Read32(tiff + 4, intel);
    if (ifd < kTiffHeaderBytes || ifd > f.tiffBytes || f.tiffBytes - ifd < 2) return false;
    const std::size_t entries = Read16(tiff + ifd, intel);
    if ((f.tiffBytes - ifd - 2) / kEntryBytes < entries) return false;
    const std::size_t nextAt = ifd + 2 + entries * kEntryBytes;
    const uint32_t next = f.tiffBytes - nextAt >= 4 ? Read32(tiff + nextAt, intel) : 0;

    std::vector<uint8_t> entry(kEntryBytes, 0);
    Write16(entry.data(), kOrientationTag, intel);
    Write16(entry.data() + 2, kShort, intel);
    Write32(entry.data() + 4, 1, intel);
    Write16(entry.data() + 8, uint16_t(orientation), intel);
    std::vector<uint8_t> copy(2);
    bool placed = false;
    for (std::size_t i = 0; i < entries; ++i) {
        const uint8_t* e = tiff + ifd + 2 + i * kEntryBytes;
        const uint16_t tag = Read16(e, intel);
        if (!placed && tag >= kOrientationTag) {
            copy.insert(copy.end(), entry.begin(), entry.end());
            placed = true;
        }
        if (tag != kOrientationTag) copy.insert(copy.end(), e, e + kEntryBytes); // one unusable
    }
    if (!placed) copy.insert(copy.end(), entry.begin(), entry.end());
    Write16(copy.data(), uint16_t((copy.size() - 2) / kEntryBytes), intel);
    copy.resize(copy.size() + 4);
    Write32(copy.data() + copy.size() - 4, next, intel);

    const std::size_t pad = f.tiffBytes % 2; // an IFD starts on a word boundary
    const std::size_t length = std::size_t(jpeg[f.lengthAt]) << 8 | jpeg[f.lengthAt + 1];
    const std::size_t newLength = length + pad + copy.size();
    if (newLength > 0xFFFF) return false;
    copy.insert(copy.begin(), pad, 0);
    Write32(jpeg.data() + f.tiffAt + 4, uint32_t(f.tiffBytes + pad), intel);
    jpeg[f.lengthAt] = uint8_t(newLength >> 8);
    jpeg[f.lengthAt + 1] = uint8_t(newLength & 0xFF);
    jpeg.insert(jpeg.begin() + std::ptrdiff_t(f.tiffAt + f.tiffBytes), copy.begin(), copy.end());
    return true;
}

} // namespace

namespace Orientation {

int After(int orientation, Turn turn) {
    return OrientationOf(Then(MatrixOf(orientation), MatrixOf(turn)));
}

Turn Inverse(Turn turn) {
    switch (turn) {
    case Turn::Left:
        return Turn::Right;
    case Turn::Right:
        return Turn::Left;
    default:
        return turn; // the flips and the half turn undo themselves
    }
}

std::optional<int> ReadJpeg(const std::vector<uint8_t>& jpeg) {
    const Found f = Walk(jpeg);
    if (!f.jpeg || f.valueAt == 0) return std::nullopt;
    const int v = Read16(jpeg.data() + f.valueAt, f.intel);
    if (v < 1 || v > 8) return std::nullopt;
    return v;
}

std::optional<int> ReadExif(std::span<const uint8_t> app1) {
    if (app1.size() < kExifIdBytes || std::memcmp(app1.data(), kExifId, kExifIdBytes) != 0)
        return std::nullopt;
    const uint8_t* tiff = app1.data() + kExifIdBytes;
    bool intel = false;
    const std::size_t value = OrientationValueAt(tiff, app1.size() - kExifIdBytes, intel);
    if (value == 0) return std::nullopt;
    const int v = Read16(tiff + value, intel);
    if (v < 1 || v > 8) return std::nullopt;
    return v;
}

bool WriteJpeg(std::vector<uint8_t>& jpeg, int orientation) {
    if (orientation < 1 || orientation > 8) return false;
    const Found f = Walk(jpeg);
    if (!f.jpeg) return false;
    if (f.valueAt != 0) {
        Write16(jpeg.data() + f.valueAt, uint16_t(orientation), f.intel);
        return true;
    }
    if (f.exif) return AddOrientation(jpeg, f, orientation);
    const std::vector<uint8_t> segment = ExifSegment(orientation);
    jpeg.insert(jpeg.begin() + std::ptrdiff_t(f.newExifAt), segment.begin(), segment.end());
    return true;
}

} // namespace Orientation
