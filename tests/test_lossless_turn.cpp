// Lossless JPEG turns on real files: the orientation group against pixels
// turned by hand, the EXIF tag found and set in a file's bytes (and bad bytes
// survived), the shown picture turned for every orientation and turn, the
// tag alone where the size forbids a lossless turn, every marker segment
// kept, jpegtran's pixels, damaged files untouched, mode and time, a link,
// a full disk, and a kill at every step leaving the original or the result.
#include "imaging/LosslessTurn.h"
#include "tests/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <turbojpeg.h>
#include <unistd.h>
#include <utility>

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

// An RGB picture, 3 bytes a pixel, top row first.
struct Rgb {
    int w = 0, h = 0;
    Bytes px;
    const uint8_t* At(int x, int y) const { return px.data() + (std::size_t(y) * w + x) * 3; }
    bool operator==(const Rgb&) const = default;
};

// Smooth gradients that run differently in each direction, with a bright
// block near the top-left corner: any wrong turn or flip is far off.
Rgb MakePicture(int w, int h) {
    Rgb r{w, h, Bytes(std::size_t(w) * h * 3)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = r.px.data() + (std::size_t(y) * w + x) * 3;
            const bool block = x >= w / 8 && x < w / 4 && y >= h / 8 && y < h / 4;
            p[0] = uint8_t(block ? 250 : 20 + 200 * x / w);
            p[1] = uint8_t(block ? 250 : 20 + 200 * y / h);
            p[2] = uint8_t(block ? 250 : 40 + 100 * (x + 2 * y) / (w + 2 * h));
        }
    return r;
}

Bytes Compress(const Rgb& r, int subsampling, int flags = 0) {
    tjhandle h = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    constexpr int kQuality = 90;
    EXPECT_EQ(tjCompress2(h, r.px.data(), r.w, 0, r.h, TJPF_RGB, &out, &size, subsampling, kQuality,
                          flags),
              0);
    Bytes b(out, out + size);
    tjFree(out);
    tjDestroy(h);
    return b;
}

Rgb Decode(const Bytes& jpeg) {
    tjhandle h = tjInitDecompress();
    int w = 0, ht = 0, sub = 0, cs = 0;
    Rgb r;
    if (tjDecompressHeader3(h, jpeg.data(), jpeg.size(), &w, &ht, &sub, &cs) == 0) {
        r = {w, ht, Bytes(std::size_t(w) * ht * 3)};
        EXPECT_EQ(tjDecompress2(h, jpeg.data(), jpeg.size(), r.px.data(), w, 0, ht, TJPF_RGB, 0),
                  0);
    }
    tjDestroy(h);
    return r;
}

// The stored pixel shown at (x, y) under an EXIF orientation, by the tag's
// own words ("row 0 is the visual right-hand side", ...), for a stored
// picture of w x h.
std::pair<int, int> StoredFor(int orientation, int x, int y, int w, int h) {
    switch (orientation) {
    case 2:
        return {w - 1 - x, y};
    case 3:
        return {w - 1 - x, h - 1 - y};
    case 4:
        return {x, h - 1 - y};
    case 5:
        return {y, x};
    case 6:
        return {y, h - 1 - x};
    case 7:
        return {w - 1 - y, h - 1 - x};
    case 8:
        return {w - 1 - y, x};
    default:
        return {x, y};
    }
}

Rgb Shown(const Rgb& stored, int orientation) {
    const bool across = orientation >= 5;
    Rgb r{across ? stored.h : stored.w, across ? stored.w : stored.h, {}};
    r.px.resize(stored.px.size());
    for (int y = 0; y < r.h; ++y)
        for (int x = 0; x < r.w; ++x) {
            const auto [sx, sy] = StoredFor(orientation, x, y, stored.w, stored.h);
            std::memcpy(r.px.data() + (std::size_t(y) * r.w + x) * 3, stored.At(sx, sy), 3);
        }
    return r;
}

// A picture turned as a person sees it: right is a quarter turn clockwise.
Rgb Turned(const Rgb& shown, Turn t) {
    switch (t) {
    case Turn::Right:
        return Shown(shown, 6);
    case Turn::Left:
        return Shown(shown, 8);
    case Turn::Half:
        return Shown(shown, 3);
    case Turn::FlipHorizontal:
        return Shown(shown, 2);
    case Turn::FlipVertical:
        return Shown(shown, 4);
    }
    return shown;
}

constexpr Turn kTurns[] = {Turn::Left, Turn::Right, Turn::FlipHorizontal, Turn::FlipVertical,
                           Turn::Half};

// The largest difference of one sample between two pictures of one size;
// 255 for pictures of different sizes.
int MaxDifference(const Rgb& a, const Rgb& b) {
    if (a.w != b.w || a.h != b.h) return 255;
    int most = 0;
    for (std::size_t i = 0; i < a.px.size(); ++i)
        most = std::max(most, std::abs(int(a.px[i]) - int(b.px[i])));
    return most;
}
// The same picture's blocks decoded in another order round differently by a
// level or two; a wrong turn is off by a hundred.
constexpr int kRounding = 6;

// --- Marker segments ---

struct Segment {
    uint8_t marker;
    Bytes payload;
    bool operator==(const Segment&) const = default;
};

// The segments before the first scan (a well-formed file of ours).
std::vector<Segment> Segments(const Bytes& jpeg) {
    std::vector<Segment> s;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xDA) {
        const std::size_t length = std::size_t(jpeg[at + 2]) << 8 | jpeg[at + 3];
        s.push_back({jpeg[at + 1],
                     Bytes(jpeg.begin() + long(at) + 4, jpeg.begin() + long(at + 2 + length))});
        at += 2 + length;
    }
    return s;
}

bool IsExif(const Segment& s) {
    return s.marker == 0xE1 && s.payload.size() >= 6 &&
           std::memcmp(s.payload.data(), "Exif", 4) == 0;
}

// The APPn (but JFIF's APP0, which the encoder writes itself) and COM
// segments, EXIF left out when asked.
std::vector<Segment> Metadata(const Bytes& jpeg, bool withExif) {
    std::vector<Segment> kept;
    for (const Segment& s : Segments(jpeg))
        if ((s.marker > 0xE0 && s.marker <= 0xEF) || s.marker == 0xFE)
            if (withExif || !IsExif(s)) kept.push_back(s);
    return kept;
}

Bytes SegmentBytes(uint8_t marker, const Bytes& payload) {
    Bytes b(payload.size() + 4);
    b[0] = 0xFF;
    b[1] = marker;
    b[2] = uint8_t((payload.size() + 2) >> 8);
    b[3] = uint8_t(payload.size() + 2);
    std::copy(payload.begin(), payload.end(), b.begin() + 4);
    return b;
}

// An EXIF segment as a camera writes one: IFD0 with the make (a string
// elsewhere in the data), the orientation and a pointer to a sub-IFD holding
// the pixel size; little- or big-endian. Without the orientation when
// `orientation` is 0.
Bytes ExifSegment(int orientation, bool intel) {
    Bytes t;
    auto put16 = [&](unsigned v) {
        t.push_back(uint8_t(intel ? v & 0xFF : v >> 8));
        t.push_back(uint8_t(intel ? v >> 8 : v & 0xFF));
    };
    auto put32 = [&](uint32_t v) {
        put16(intel ? v & 0xFFFF : v >> 16);
        put16(intel ? v >> 16 : v & 0xFFFF);
    };
    const unsigned entries = orientation ? 3 : 2;
    const uint32_t ifd0 = 8, sub = ifd0 + 2 + 12 * entries + 4, make = sub + 2 + 12 + 4;
    t.push_back(intel ? 'I' : 'M');
    t.push_back(intel ? 'I' : 'M');
    put16(42);
    put32(ifd0);
    put16(entries);
    put16(0x010F), put16(2), put32(8), put32(make); // Make, ASCII, 8 bytes
    if (orientation) put16(0x0112), put16(3), put32(1), put16(unsigned(orientation)), put16(0);
    put16(0x8769), put16(4), put32(1), put32(sub); // the EXIF sub-IFD
    put32(0);
    put16(1);
    put16(0xA002), put16(4), put32(1), put32(640); // pixel width
    put32(0);
    for (char c : std::string("Vantrel", 8))
        t.push_back(uint8_t(c));
    Bytes payload = {'E', 'x', 'i', 'f', 0, 0};
    payload.insert(payload.end(), t.begin(), t.end());
    return SegmentBytes(0xE1, payload);
}

// `jpeg` with `more` put after its SOI and JFIF segment.
Bytes WithSegments(const Bytes& jpeg, const Bytes& more) {
    std::size_t at = 2;
    if (jpeg[3] == 0xE0) at += 2 + (std::size_t(jpeg[4]) << 8 | jpeg[5]);
    Bytes b(jpeg.begin(), jpeg.begin() + long(at));
    b.insert(b.end(), more.begin(), more.end());
    b.insert(b.end(), jpeg.begin() + long(at), jpeg.end());
    return b;
}

// Segments a camera and an editor leave besides EXIF: a colour profile, an
// XMP packet, Photoshop's resources, a comment and a maker's own.
Bytes OtherSegments() {
    auto text = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
    Bytes b = SegmentBytes(0xE2, text(std::string("ICC_PROFILE\0\1\1not really a profile", 33)));
    for (const Bytes& s : {SegmentBytes(0xE1, text("http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>")),
                           SegmentBytes(0xED, text("Photoshop 3.0\08BIM")),
                           SegmentBytes(0xFE, text("a comment the turn keeps")),
                           SegmentBytes(0xEF, text("maker's own"))})
        b.insert(b.end(), s.begin(), s.end());
    return b;
}

// A JPEG of w x h with an EXIF orientation (0: no EXIF) and the other segments.
Bytes Photo(int w, int h, int orientation, int subsampling = TJSAMP_420, int flags = 0) {
    Bytes more = orientation ? ExifSegment(orientation, true) : Bytes{};
    const Bytes others = OtherSegments();
    more.insert(more.end(), others.begin(), others.end());
    return WithSegments(Compress(MakePicture(w, h), subsampling, flags), more);
}

void WriteFile(const fs::path& p, const Bytes& b) {
    std::ofstream(p, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}
Bytes ReadFile(const fs::path& p) {
    const std::string s = TempDir::Read(p);
    return Bytes(s.begin(), s.end());
}

// The names in a folder.
std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

int Tag(const Bytes& jpeg) {
    return Orientation::ReadJpeg(jpeg).value_or(1);
}

} // namespace

// --- The orientation group ---

// After() agrees with pixels turned by hand: the picture a file shows under
// After(o, t) is the picture it showed under o, turned by t.
TEST(Orientation, AfterIsTheShownPictureTurned) {
    const Rgb stored = MakePicture(5, 3);
    for (int o = 1; o <= 8; ++o)
        for (Turn t : kTurns) {
            const int after = Orientation::After(o, t);
            EXPECT_EQ(Shown(stored, after), Turned(Shown(stored, o), t))
                << "orientation " << o << " turn " << int(t) << " gave " << after;
            EXPECT_EQ(Orientation::After(after, Orientation::Inverse(t)), o);
        }
    EXPECT_EQ(Orientation::After(1, Turn::Right), 6);
    EXPECT_EQ(Orientation::After(1, Turn::Left), 8);
    EXPECT_EQ(Orientation::After(6, Turn::Left), 1);
}

// --- The tag in a file's bytes ---

TEST(Orientation, TagReadAndSetInPlaceInEitherByteOrder) {
    const Bytes plain = Compress(MakePicture(32, 16), TJSAMP_444);
    for (bool intel : {true, false})
        for (int o = 1; o <= 8; ++o) {
            Bytes jpeg = WithSegments(plain, ExifSegment(o, intel));
            ASSERT_EQ(Orientation::ReadJpeg(jpeg), o);
            const Bytes before = jpeg;
            const int wanted = o % 8 + 1;
            ASSERT_TRUE(Orientation::WriteJpeg(jpeg, wanted));
            EXPECT_EQ(Orientation::ReadJpeg(jpeg), wanted);
            ASSERT_EQ(jpeg.size(), before.size());
            int changed = 0;
            for (std::size_t i = 0; i < jpeg.size(); ++i)
                changed += jpeg[i] != before[i];
            EXPECT_EQ(changed, 1) << "only the value's low byte differs";
        }
}

TEST(Orientation, TagAddedWhereThereIsNoExif) {
    const Bytes jfif = Compress(MakePicture(32, 16), TJSAMP_444);
    ASSERT_EQ(jfif[3], 0xE0);
    Bytes bare(jfif.begin(), jfif.begin() + 2); // the same without its JFIF segment
    bare.insert(bare.end(), jfif.begin() + 4 + (jfif[4] << 8 | jfif[5]), jfif.end());
    for (const Bytes& original : {jfif, bare}) {
        Bytes jpeg = original;
        EXPECT_EQ(Orientation::ReadJpeg(jpeg), std::nullopt);
        ASSERT_TRUE(Orientation::WriteJpeg(jpeg, 6));
        EXPECT_EQ(Orientation::ReadJpeg(jpeg), 6);
        const auto before = Segments(original), after = Segments(jpeg);
        ASSERT_EQ(after.size(), before.size() + 1);
        const std::size_t exifAt = original == jfif ? 1 : 0;
        EXPECT_TRUE(IsExif(after[exifAt]));
        EXPECT_EQ(Decode(jpeg), Decode(original));
    }
    EXPECT_FALSE(Orientation::WriteJpeg(bare, 9));
}

// An EXIF segment without the tag gets it in a copy of its IFD0 at the
// segment's end: every byte of its TIFF data stays where it was (but the
// pointer to IFD0), and the new IFD holds the old entries and the tag in order.
TEST(Orientation, TagAddedToExifWithoutOne) {
    const Bytes plain = Compress(MakePicture(32, 16), TJSAMP_444);
    for (bool intel : {true, false}) {
        Bytes jpeg = WithSegments(plain, ExifSegment(0, intel));
        const Segment before = Segments(jpeg)[1];
        ASSERT_TRUE(IsExif(before));
        EXPECT_EQ(Orientation::ReadJpeg(jpeg), std::nullopt);
        ASSERT_TRUE(Orientation::WriteJpeg(jpeg, 6));
        EXPECT_EQ(Orientation::ReadJpeg(jpeg), 6);
        const Bytes after = Segments(jpeg)[1].payload;
        ASSERT_GT(after.size(), before.payload.size());
        constexpr std::size_t kIfdPointer = 6 + 4;
        for (std::size_t i = 0; i < before.payload.size(); ++i)
            if (i < kIfdPointer || i >= kIfdPointer + 4) {
                ASSERT_EQ(after[i], before.payload[i]) << i;
            }
        auto read16 = [&](std::size_t at) {
            return intel ? after[6 + at] | after[7 + at] << 8 : after[6 + at] << 8 | after[7 + at];
        };
        const std::size_t ifd = std::size_t(read16(intel ? 4 : 6));
        ASSERT_EQ(read16(ifd), 3);
        EXPECT_EQ(read16(ifd + 2), 0x010F);
        EXPECT_EQ(read16(ifd + 14), 0x0112);
        EXPECT_EQ(read16(ifd + 26), 0x8769);
        EXPECT_EQ(Decode(jpeg), Decode(plain));
    }
    // An IFD0 that claims more entries than its segment holds takes nothing.
    Bytes damaged = WithSegments(plain, ExifSegment(0, false));
    const std::size_t ifd0 = 2 + (plain[4] << 8 | plain[5]) + 2 + 4 + 6 + 8;
    damaged[ifd0] = 0x7F;
    const Bytes kept = damaged;
    EXPECT_FALSE(Orientation::WriteJpeg(damaged, 6));
    EXPECT_EQ(damaged, kept);
}

// Cut short and scrambled headers: nothing found, false, never a crash.
TEST(Orientation, BadBytesAreNothing) {
    const Bytes good = Photo(16, 16, 6);
    std::size_t header = 0;
    while (!(good[header] == 0xFF && good[header + 1] == 0xDA))
        ++header;
    for (std::size_t n = 0; n < header; ++n) {
        Bytes cut(good.begin(), good.begin() + long(n));
        (void)Orientation::ReadJpeg(cut);
        (void)Orientation::WriteJpeg(cut, 3);
    }
    std::mt19937 rng(30);
    for (int i = 0; i < 20000; ++i) {
        Bytes m(good.begin(), good.begin() + long(header) + 2);
        for (int k = 0, changes = 1 + int(rng() % 8); k < changes; ++k)
            m[rng() % m.size()] = uint8_t(rng() % 4 == 0 ? 0xFF : rng());
        const auto read = Orientation::ReadJpeg(m);
        if (read) {
            EXPECT_TRUE(*read >= 1 && *read <= 8);
        }
        if (Orientation::WriteJpeg(m, 2)) {
            EXPECT_EQ(Orientation::ReadJpeg(m), 2);
        }
    }
    EXPECT_EQ(Orientation::ReadJpeg({}), std::nullopt);
    Bytes text = {'h', 'e', 'l', 'l', 'o'};
    EXPECT_FALSE(Orientation::WriteJpeg(text, 1));
    EXPECT_EQ(text, Bytes({'h', 'e', 'l', 'l', 'o'}));
}

// --- Turning files ---

namespace {

struct Size {
    int w, h;
};
constexpr Size kWhole = {64, 48}, kPartial = {50, 30}, kPartialAcross = {50, 48};

struct TurnedFile {
    TurnOutcome outcome;
    Bytes before, after;
};

// Writes `jpeg` at `path`, turns it and reads it back.
TurnedFile TurnFile(const fs::path& path, const Bytes& jpeg, Turn t,
                    const TurnOptions& options = {}) {
    WriteFile(path, jpeg);
    TurnedFile r{TurnJpeg(path, t, options), jpeg, {}};
    r.after = ReadFile(path);
    return r;
}

} // namespace

// A turn and the opposite turn give the very pixels and tag back, at every
// sampling, whether the turn moved the pixels or set the tag.
TEST(LosslessTurn, RightThenLeftGivesThePixelsAndTagBack) {
    TempDir dir;
    const fs::path path = dir.path() / "p.jpg";
    for (int sampling : {TJSAMP_444, TJSAMP_422, TJSAMP_420, TJSAMP_GRAY})
        for (Size size : {kWhole, kPartial})
            for (int orientation : {0, 1}) {
                SCOPED_TRACE(testing::Message() << "sampling " << sampling << ", " << size.w
                                                << " x " << size.h << ", tag " << orientation);
                const Bytes original = Photo(size.w, size.h, orientation, sampling);
                const TurnedFile right = TurnFile(path, original, Turn::Right);
                ASSERT_TRUE(right.outcome.outcome.Done()) << right.outcome.outcome.reason;
                EXPECT_EQ(right.outcome.byTag, size.h % tjMCUHeight[sampling] != 0);
                const TurnOutcome left = TurnJpeg(path, Turn::Left);
                ASSERT_TRUE(left.outcome.Done()) << left.outcome.reason;
                const Bytes back = ReadFile(path);
                EXPECT_EQ(Decode(back), Decode(original));
                EXPECT_EQ(Tag(back), Tag(original)); // no tag and 1 are one upright
                EXPECT_EQ(Metadata(back, false), Metadata(original, false));
            }
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"p.jpg"});
}

// For each orientation a file may carry and each turn, the picture shown
// afterwards is the one shown before, turned; the pixels move where the
// size allows it in the direction needed, else only the tag changes; and
// the undo gives the file's pixels and tag back.
TEST(LosslessTurn, EveryOrientationAndTurnShowsThePictureTurned) {
    TempDir dir;
    const fs::path path = dir.path() / "p.jpg";
    for (Size size : {kWhole, kPartial, kPartialAcross})
        for (int o = 1; o <= 8; ++o) {
            const Bytes original = Photo(size.w, size.h, o);
            const Rgb stored = Decode(original), shown = Shown(stored, o);
            for (Turn t : kTurns) {
                SCOPED_TRACE(testing::Message() << size.w << " x " << size.h << ", orientation "
                                                << o << ", turn " << int(t));
                const TurnedFile r = TurnFile(path, original, t);
                ASSERT_TRUE(r.outcome.outcome.Done()) << r.outcome.outcome.reason;
                EXPECT_EQ(r.outcome.orientationBefore, o);
                const Rgb now = Decode(r.after);
                EXPECT_LE(MaxDifference(Shown(now, Tag(r.after)), Turned(shown, t)), kRounding);
                EXPECT_EQ(Tag(r.after), r.outcome.orientationAfter);
                if (r.outcome.byTag) {
                    EXPECT_EQ(now, stored);
                } else {
                    EXPECT_EQ(Tag(r.after), 1);
                }
                if (size.w == kWhole.w && size.h == kWhole.h) {
                    EXPECT_EQ(r.outcome.byTag, Orientation::After(o, t) == 1);
                }

                const TurnOutcome undone = UndoTurn(path, r.outcome);
                ASSERT_TRUE(undone.outcome.Done()) << undone.outcome.reason;
                const Bytes back = ReadFile(path);
                EXPECT_EQ(Decode(back), stored);
                EXPECT_EQ(Tag(back), o);
                EXPECT_EQ(Metadata(back, false), Metadata(original, false));
            }
        }
    // Partial blocks on the right only: a quarter turn right moves the bottom
    // edge to the left, which is whole; a quarter turn left cannot.
    const Bytes upright = Photo(kPartialAcross.w, kPartialAcross.h, 1);
    EXPECT_FALSE(TurnFile(path, upright, Turn::Right).outcome.byTag);
    const TurnedFile left = TurnFile(path, upright, Turn::Left);
    EXPECT_TRUE(left.outcome.byTag);
    EXPECT_EQ(Decode(left.after), Decode(upright));
    EXPECT_EQ(Tag(left.after), 8);
}

// Every APPn and COM segment comes through a turn: byte for byte but the
// EXIF segment, whose tag is now 1; a file without a tag gets none.
TEST(LosslessTurn, EveryMarkerSegmentIsKept) {
    TempDir dir;
    const fs::path path = dir.path() / "p.jpg";
    for (int o : {0, 6}) {
        const Bytes original = Photo(kWhole.w, kWhole.h, o);
        const TurnedFile r = TurnFile(path, original, Turn::Half);
        ASSERT_TRUE(r.outcome.outcome.Done()) << r.outcome.outcome.reason;
        ASSERT_FALSE(r.outcome.byTag);
        EXPECT_EQ(Metadata(r.after, false), Metadata(original, false));
        EXPECT_EQ(Metadata(r.after, true).size(), Metadata(original, true).size());
        EXPECT_EQ(Orientation::ReadJpeg(r.after), o ? std::optional<int>(1) : std::nullopt);
        const auto segments = Segments(r.after);
        EXPECT_TRUE(std::any_of(segments.begin(), segments.end(), [](const Segment& s) {
            return s.marker == 0xE0;
        })) << "the JFIF segment";
    }
}

// A progressive file stays progressive (as small as it was), its pixels
// turned all the same.
TEST(LosslessTurn, ProgressiveStaysProgressive) {
    TempDir dir;
    const fs::path path = dir.path() / "p.jpg";
    const Bytes original = Photo(kWhole.w, kWhole.h, 1, TJSAMP_420, TJFLAG_PROGRESSIVE);
    auto progressive = [](const Bytes& jpeg) {
        const auto s = Segments(jpeg);
        return std::any_of(s.begin(), s.end(), [](const Segment& g) { return g.marker == 0xC2; });
    };
    ASSERT_TRUE(progressive(original));
    const TurnedFile r = TurnFile(path, original, Turn::Right);
    ASSERT_TRUE(r.outcome.outcome.Done()) << r.outcome.outcome.reason;
    EXPECT_TRUE(progressive(r.after));
    EXPECT_LE(MaxDifference(Decode(r.after), Turned(Decode(original), Turn::Right)), kRounding);
    ASSERT_TRUE(TurnJpeg(path, Turn::Left).outcome.Done());
    EXPECT_EQ(Decode(ReadFile(path)), Decode(original));
}

// The pixels of a quarter turn are jpegtran's, made from the same file.
TEST(LosslessTurn, PixelsAreJpegtrans) {
    if (std::system("command -v jpegtran >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "jpegtran is missing (Debian libjpeg-turbo-progs)";
    TempDir dir;
    const Bytes original = Photo(640, 480, 1);
    WriteFile(dir.path() / "in.jpg", original);
    const TurnedFile ours = TurnFile(dir.path() / "ours.jpg", original, Turn::Right);
    ASSERT_TRUE(ours.outcome.outcome.Done()) << ours.outcome.outcome.reason;
    const std::string command = "jpegtran -rotate 90 -copy all -outfile '" +
                                (dir.path() / "ref.jpg").string() + "' '" +
                                (dir.path() / "in.jpg").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const Bytes ref = ReadFile(dir.path() / "ref.jpg");
    EXPECT_EQ(Decode(ours.after), Decode(ref));
    EXPECT_EQ(Metadata(ours.after, true), Metadata(ref, true));
}

// What is no JPEG, or a damaged one, fails with a reason and is left as it was.
TEST(LosslessTurn, DamagedOrOtherFilesAreUntouched) {
    TempDir dir;
    const Bytes whole = Photo(kWhole.w, kWhole.h, 1), partial = Photo(kPartial.w, kPartial.h, 1);
    const Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13};
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"empty.jpg", {}},
        {"text.jpg", {'n', 'o', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'}},
        {"png.jpg", png},
        {"soi.jpg", {0xFF, 0xD8, 0xFF}},
        {"cut.jpg", Bytes(whole.begin(), whole.begin() + long(whole.size() * 2 / 3))},
        {"cut-partial.jpg", Bytes(partial.begin(), partial.begin() + long(partial.size() / 2))},
        {"header-only.jpg", Bytes(whole.begin(), whole.begin() + long(whole.size() - 600))},
    };
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        const fs::path path = dir.path() / name;
        for (Turn t : {Turn::Right, Turn::Left}) {
            const TurnedFile r = TurnFile(path, bytes, t);
            EXPECT_EQ(r.outcome.outcome.status, OutcomeStatus::Failed);
            EXPECT_FALSE(r.outcome.outcome.reason.empty());
            EXPECT_EQ(r.after, bytes);
        }
        EXPECT_EQ(fs::remove(path), true);
        EXPECT_TRUE(Names(dir.path()).empty()) << "a temporary file left";
    }
    // Scrambled files: turned whole or left byte for byte, never a crash.
    std::mt19937 rng(5);
    const fs::path scrambled = dir.path() / "scrambled.jpg";
    for (int i = 0; i < 200; ++i) {
        Bytes bytes = i % 2 ? whole : partial;
        for (int k = 0, changes = 1 + int(rng() % 4); k < changes; ++k)
            bytes[rng() % bytes.size()] = uint8_t(rng());
        const TurnedFile r = TurnFile(scrambled, bytes, kTurns[rng() % 5]);
        if (!r.outcome.outcome.Done()) {
            EXPECT_EQ(r.after, bytes);
        }
    }
    fs::remove(scrambled);
    EXPECT_TRUE(Names(dir.path()).empty()) << "a temporary file left";
    EXPECT_FALSE(TurnJpeg((dir.path() / "missing.jpg").string(), Turn::Right).outcome.Done());
    fs::create_directory(dir.path() / "folder.jpg");
    EXPECT_FALSE(TurnJpeg((dir.path() / "folder.jpg").string(), Turn::Right).outcome.Done());
    EXPECT_FALSE(CanTurnLosslessly((dir.path() / "folder.jpg").string()));
    WriteFile(dir.path() / "p.jpg", whole);
    EXPECT_TRUE(CanTurnLosslessly((dir.path() / "p.jpg").string()));
    WriteFile(dir.path() / "p.png", png);
    EXPECT_FALSE(CanTurnLosslessly((dir.path() / "p.png").string()));
}

// The turned file keeps the original's mode, owner and extended attributes
// (a desktop's rating); its time is new unless the original's is asked for.
TEST(LosslessTurn, ModeOwnerAndAttributesKeptTimeAsAsked) {
    TempDir dir;
    const fs::path path = dir.path() / "p.jpg";
    WriteFile(path, Photo(kWhole.w, kWhole.h, 1));
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(path.c_str(), 1234, 4321), 0);
    }
    const std::string rating = "5 stars";
    const bool attributes =
        ::setxattr(path.c_str(), "user.xdg.rating", rating.data(), rating.size(), 0) == 0;
    const struct timespec old[2] = {{978307200, 5}, {978307200, 123456789}}; // 2001
    for (bool keep : {false, true}) {
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
        TurnOptions options;
        options.keepModificationTime = keep;
        ASSERT_TRUE(TurnJpeg(path, Turn::Right, options).outcome.Done());
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
        if (attributes) {
            char value[32] = {};
            EXPECT_EQ(::getxattr(path.c_str(), "user.xdg.rating", value, sizeof value),
                      ssize_t(rating.size()));
            EXPECT_EQ(std::string(value), rating);
        }
        if (root) {
            EXPECT_EQ(st.st_uid, 1234u);
            EXPECT_EQ(st.st_gid, 4321u);
        }
        if (keep) {
            EXPECT_EQ(st.st_mtim.tv_sec, old[1].tv_sec);
            EXPECT_EQ(st.st_mtim.tv_nsec, old[1].tv_nsec);
        } else {
            EXPECT_GT(st.st_mtim.tv_sec, old[1].tv_sec + 1000000);
        }
    }
}

// A file made read-only is not rewritten, though its folder would allow
// it (checked as an ordinary user: the machine's tests may run as root).
TEST(LosslessTurn, ReadOnlyFileIsRefused) {
    TempDir dir;
    const fs::path path = dir.path() / "p.jpg";
    const Bytes original = Photo(kWhole.w, kWhole.h, 1);
    WriteFile(path, original);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    constexpr uid_t kNobody = 65534;
    constexpr int kRefused = 0, kTurned = 1, kCannotTest = 2;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::chown(path.c_str(), kNobody, kNobody) != 0 ||
                                 ::setresgid(kNobody, kNobody, kNobody) != 0 ||
                                 ::setresuid(kNobody, kNobody, kNobody) != 0))
            ::_exit(kCannotTest);
        ::_exit(TurnJpeg(path, Turn::Right).outcome.Done() ? kTurned : kRefused);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == kCannotTest) GTEST_SKIP() << "cannot become an ordinary user";
    EXPECT_EQ(WEXITSTATUS(status), kRefused);
    EXPECT_EQ(ReadFile(path), original);
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"p.jpg"});
}

// A link to a picture turns the picture it leads to and stays a link.
TEST(LosslessTurn, LinkStaysALinkToTheTurnedPicture) {
    TempDir dir;
    fs::create_directory(dir.path() / "pictures");
    const fs::path target = dir.path() / "pictures" / "p.jpg", link = dir.path() / "link.jpg";
    const Bytes original = Photo(kWhole.w, kWhole.h, 1);
    WriteFile(target, original);
    fs::create_symlink("pictures/p.jpg", link);
    const TurnOutcome t = TurnJpeg(link, Turn::Right);
    ASSERT_TRUE(t.outcome.Done()) << t.outcome.reason;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), "pictures/p.jpg");
    const Rgb turned = Decode(ReadFile(target));
    EXPECT_EQ(turned.w, kWhole.h);
    EXPECT_EQ(Names(dir.path() / "pictures"), std::vector<std::string>{"p.jpg"});
}

// No room for the turned file: the original as it was, no temporary file.
TEST(LosslessTurn, FullDiskLeavesTheOriginal) {
    TempDir dir;
    const fs::path mount = dir.path() / "small";
    fs::create_directory(mount);
    if (::mount("tmpfs", mount.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
    const fs::path path = mount / "p.jpg";
    const Bytes original = Photo(640, 480, 1);
    WriteFile(path, original);
    {
        std::ofstream filler(mount / "filler", std::ios::binary);
        const std::string block(4096, 'x');
        while (filler.write(block.data(), std::streamsize(block.size())) && filler.flush()) {
        }
    }
    const TurnOutcome t = TurnJpeg(path, Turn::Right);
    EXPECT_EQ(t.outcome.status, OutcomeStatus::Failed);
    EXPECT_EQ(t.outcome.error, ENOSPC) << t.outcome.reason;
    EXPECT_EQ(ReadFile(path), original);
    EXPECT_EQ(Names(mount), (std::vector<std::string>{"filler", "p.jpg"}));
    ::umount2(mount.c_str(), MNT_DETACH);
}

// Killed at any step, the file is the original up to the rename and the
// turned file from it on, never anything else; a temporary file left
// behind is a hidden one beside it.
TEST(LosslessTurn, KilledAtAnyStepLeavesTheOriginalOrTheResult) {
    TempDir dir;
    const Bytes original = Photo(kWhole.w, kWhole.h, 6);
    const Bytes turned = TurnFile(dir.path() / "whole.jpg", original, Turn::Right).after;
    ASSERT_NE(turned, original);
    const TurnStep steps[] = {TurnStep::Begin,       TurnStep::Read,       TurnStep::Transformed,
                              TurnStep::TempWritten, TurnStep::TempSynced, TurnStep::Renamed,
                              TurnStep::FolderSynced};
    for (TurnStep step : steps) {
        SCOPED_TRACE(testing::Message() << "killed at step " << int(step));
        const fs::path folder = dir.path() / ("step" + std::to_string(int(step)));
        fs::create_directory(folder);
        const fs::path path = folder / "p.jpg";
        WriteFile(path, original);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            TurnOptions options;
            options.observeStep = [step](TurnStep now) {
                if (now == step) ::raise(SIGKILL);
            };
            TurnJpeg(path, Turn::Right, options);
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        EXPECT_EQ(ReadFile(path), step < TurnStep::Renamed ? original : turned);
        for (const std::string& name : Names(folder))
            if (name != "p.jpg") {
                EXPECT_EQ(name[0], '.') << name;
            }
    }
}
