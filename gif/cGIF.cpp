#include "gif/cGIF.h"

#include "gif/GifFormat.h"
#include "gif/mGIFLZWDec.h"
#include "gif/mGIFLZWEnc.h"
#include "platform/Files.h"

#include <cmath>
#include <cstring>
#include <unistd.h>

namespace {

using namespace GifFormat;

uint32_t PaletteRgb(const uint8_t* palette, uint8_t entry) {
    const uint8_t* e = palette + 4 * entry;
    return uint32_t(e[2]) | (uint32_t(e[1]) << 8) | (uint32_t(e[0]) << 16);
}

// Reads up to `entries` (red, green, blue) entries into a (blue, green, red, 0)
// table. False when the stream ended first; the entries read stay.
bool ReadColorTable(std::span<const uint8_t> s, std::size_t& pos, int entries, uint8_t* table) {
    for (int i = 0; i < entries; ++i, pos += 3) {
        if (pos + 3 > s.size()) {
            pos = s.size();
            return false;
        }
        table[4 * i + 0] = s[pos + 2];
        table[4 * i + 1] = s[pos + 1];
        table[4 * i + 2] = s[pos];
        table[4 * i + 3] = 0;
    }
    return true;
}

// Joins a sub-block sequence starting at the length byte at `pos`; leaves
// `pos` on the terminator. False when the stream ended inside it (tolerated:
// the bytes that were there are kept, so a cut-off frame shows what it has).
bool ReadSubBlocks(std::span<const uint8_t> s, std::size_t& pos, std::vector<uint8_t>& out) {
    out.clear();
    while (pos < s.size() && s[pos] != 0) {
        const std::size_t n = s[pos];
        const std::size_t available = std::min(n, s.size() - pos - 1);
        out.insert(out.end(), s.begin() + std::ptrdiff_t(pos + 1),
                   s.begin() + std::ptrdiff_t(pos + 1 + available));
        pos += n + 1;
    }
    return pos < s.size();
}

// Steps from the length byte at `pos` over a sub-block sequence onto its
// terminator; false when the stream ends first.
bool WalkSubBlocks(std::span<const uint8_t> s, std::size_t& pos) {
    while (pos < s.size() && s[pos] != 0)
        pos += std::size_t(s[pos]) + 1;
    return pos < s.size();
}

bool SkipSubBlocks(std::span<const uint8_t> s, std::size_t& pos) {
    ++pos; // from the label onto the first length byte
    return WalkSubBlocks(s, pos);
}

uint16_t Le16(std::span<const uint8_t> s, std::size_t pos) {
    return uint16_t(s[pos] | (s[pos + 1] << 8));
}

} // namespace

uint8_t GetBits(uint8_t value, uint8_t mask) {
    if (mask < 1) return 0;
    uint8_t v = value & mask;
    for (uint8_t m = mask; (m & 1) == 0; m >>= 1)
        v >>= 1;
    return v;
}

cGIF::cGIF() : cGIF(Limits{}) {}

cGIF::cGIF(Limits limits) : limits_(limits) {
    mGIFLZWDec::InitDecoder();
    mGIFLZWEnc::InitEncoder();
}

void cGIF::SetScreenWidth(uint16_t v) {
    screen_[0] = uint8_t(v & 0xFF);
    screen_[1] = uint8_t(v >> 8);
}

void cGIF::SetScreenHeight(uint16_t v) {
    screen_[2] = uint8_t(v & 0xFF);
    screen_[3] = uint8_t(v >> 8);
}

bool cGIF::SetScreenPixelAspectRatio(float v) {
    const float stored = std::nearbyint(v * 64.0f - 15.0f);
    if (!(stored >= 0.0f && stored <= 255.0f)) return false;
    screen_[6] = uint8_t(stored);
    return true;
}

uint32_t cGIF::GlobalPaletteRGBEntry(uint8_t nEntry) const {
    return globalPaletteExists_ ? PaletteRgb(globalPalette_.data(), nEntry) : 0;
}

uint32_t cGIF::LocalPaletteRGBEntry(int nFrame, uint8_t nEntry) const {
    return PaletteRgb(F(nFrame).palette.data(), nEntry);
}

cGIF::Frame* cGIF::Find(int nFrame) {
    if (nFrame < 1 || nFrame > framesCount_ || std::size_t(nFrame) > frames_.size()) return nullptr;
    return &frames_[std::size_t(nFrame - 1)];
}

const cGIF::Frame& cGIF::F(int nFrame) const {
    // Frame numbers outside the list read this record; it is never written,
    // so references into it stay valid and any number of readers may share it.
    static const Frame kNoFrame;
    if (const Frame* f = const_cast<cGIF*>(this)->Find(nFrame)) return *f;
    return kNoFrame;
}

void cGIF::Destroy() {
    signature_.clear();
    version_.clear();
    screen_.fill(0);
    globalPalette_.fill(0);
    globalPaletteExists_ = globalPaletteSorted_ = false;
    globalPaletteEntries_ = 0;
    animationLoops_ = 0;
    frames_.clear();
    frames_.resize(1);
    framesCount_ = 0;
    claimedBytes_ = 0;
    residentBytes_ = 0;
    source_.reset();
}

bool cGIF::LoadFromFile(const std::string& FileName) {
    // Only regular files are read, opened without waiting.
    auto bytes = std::make_shared<std::vector<uint8_t>>();
    const int fd = Files::OpenRegularFile(FileName);
    if (fd >= 0 && !Files::ReadWhole(fd, *bytes, limits_.documentBytes)) bytes->clear();
    if (fd >= 0) ::close(fd);
    if (bytes->empty()) {
        Destroy();
        return false;
    }
    return LoadFromBytes(std::move(bytes));
}

// Leniency frame-over-budget: a frame whose 8-bit surface passes the limit of
// one frame, or whose pixels would pass the document's limit, keeps its size
// without pixels. Nothing is allocated here: the surfaces only learn their size.
void cGIF::PlanFrame(Frame& frame, int width, int height) {
    frame.image->Create(width, height, 8, 0);
    frame.mask->Create(width, height, 1, 0);
    std::size_t stride = 0, imageBytes = 0, maskStride = 0, maskBytes = 0;
    const bool sized = SurfaceSize(width, height, 8, kMaxFrameBytes, stride, imageBytes) &&
                       SurfaceSize(width, height, 1, kMaxFrameBytes, maskStride, maskBytes);
    frame.allowed = sized && claimedBytes_ + imageBytes + maskBytes <= limits_.documentBytes;
    if (frame.allowed) claimedBytes_ += imageBytes + maskBytes;
}

bool cGIF::LoadFromStream(std::span<const uint8_t> s) {
    return LoadFromBytes(std::make_shared<const std::vector<uint8_t>>(s.begin(), s.end()));
}

bool cGIF::LoadFromBytes(std::shared_ptr<const std::vector<uint8_t>> bytes) {
    Destroy();
    if (!bytes) return false;
    const std::span<const uint8_t> s(*bytes);
    if (s.size() < 6 || std::memcmp(s.data(), "GIF", 3) != 0) return false;
    const std::string version(reinterpret_cast<const char*>(s.data()) + 3, 3);
    if (version != "87a" && version != "89a") return false;
    signature_ = "GIF";
    version_ = version;
    source_ = std::move(bytes);

    std::size_t pos = 6;
    if (pos + 7 > s.size()) return true; // leniency header-only: an empty document
    std::memcpy(screen_.data(), s.data() + pos, 7);
    pos += 7;
    const uint8_t flags = screen_[4];
    globalPaletteExists_ = GetBits(flags, kGlobalTableFlag) != 0;
    if (globalPaletteExists_) {
        globalPaletteSorted_ = GetBits(flags, kSortFlag) != 0;
        globalPaletteEntries_ = int16_t(1 << (GetBits(flags, kTableSizeMask) + 1));
        ReadColorTable(s, pos, globalPaletteEntries_,
                       globalPalette_.data()); // leniency short-table
    }

    // Every `break` below is leniency cut-file (the data ended inside a
    // block: what was read stays); leaving the loop at the end of the data
    // is leniency no-trailer. See gif/README.md.
    std::vector<uint8_t> data;
    while (pos < s.size()) {
        const uint8_t block = s[pos];
        if (block == kExtensionIntroducer) {
            if (++pos >= s.size()) break;
            const uint8_t label = s[pos];
            if (label == kGraphicControlLabel) {
                ++pos;
                if (pos + 5 > s.size()) break;
                if (frames_.size() < std::size_t(framesCount_) + 1)
                    frames_.resize(framesCount_ + 1);
                Frame& f = frames_[std::size_t(framesCount_)];
                const uint8_t packed = s[pos + 1];
                f.delay = int16_t(Le16(s, pos + 2));
                f.disposal = GetBits(packed, kDisposalMask);
                f.userInput = GetBits(packed, kUserInputFlag) != 0;
                f.useTransparent = GetBits(packed, kTransparentFlag) != 0;
                if (f.useTransparent) f.transparentIndex = s[pos + 4];
                pos += 5;
            } else if (label == kApplicationLabel) {
                ++pos;
                if (pos + 12 > s.size()) break;
                const bool netscape = std::memcmp(s.data() + pos + 1, "NETSCAPE2.0", 11) == 0;
                pos += 12;
                const bool complete = ReadSubBlocks(s, pos, data);
                if (netscape && data.size() >= 3)
                    animationLoops_ = int16_t(data[1] | (data[2] << 8));
                if (!complete) break;
            } else if (!SkipSubBlocks(s, pos)) {
                break;
            }
        } else if (block == kImageSeparator) {
            ++pos;
            if (framesCount_ >= kMaxFrames || pos + 9 > s.size()) break; // and too-many-frames
            ++framesCount_;
            frames_.resize(std::size_t(framesCount_));
            Frame& f = frames_.back();
            f.left = Le16(s, pos);
            f.top = Le16(s, pos + 2);
            const int width = Le16(s, pos + 4);
            const int height = Le16(s, pos + 6);
            const uint8_t packed = s[pos + 8];
            pos += 9;
            f.interlaced = GetBits(packed, kInterlaceFlag) != 0;
            f.localPaletteUsed = GetBits(packed, kLocalTableFlag) != 0;
            bool tableComplete = true;
            if (f.localPaletteUsed) {
                f.localPaletteSorted = GetBits(packed, kLocalSortFlag) != 0;
                f.localPaletteEntries = int16_t(1 << (GetBits(packed, kTableSizeMask) + 1));
                f.palette.fill(0);
                tableComplete = ReadColorTable(s, pos, f.localPaletteEntries,
                                               f.palette.data()); // leniency short-table
            } else {
                f.localPaletteSorted = globalPaletteSorted_;
                f.localPaletteEntries = globalPaletteEntries_;
                f.palette = globalPalette_;
            }
            PlanFrame(f, width, height);
            if (!tableComplete || pos >= s.size()) break;
            // Only where the image data lies is noted; the frame is decoded
            // from its sub-blocks, in place, when it is first read.
            f.minCodeSize = s[pos++];
            f.dataAt = pos;
            const bool complete = WalkSubBlocks(s, pos);
            f.dataBytes = std::min(pos + 1, s.size()) - f.dataAt;
            f.hasData = true;
            if (!complete) break;
        } else if (block == kTrailer) {
            break;
        }
        ++pos; // over the block's last byte, or a byte that starts no block (leniency stray-byte)
    }
    Resident(1); // the first frame is ready to show once the document is
    return true;
}
