// The messages between the program and its decoder helper, over a Unix
// socket pair of packets. The program sends a Decode request with the
// picture's open file descriptor; the helper answers with the picture's size
// and, when it decoded, a sealed memory file holding the 32-bit pixels in the
// load surface's layout (rows of BytesPerScanline bytes, top row first). A
// Cancel request names the Decode it gives up: the helper, between the steps
// of that decode, answers it with a Cancelled reply instead of the picture; a
// Cancel for a request already answered is dropped without a reply.
#pragma once

#include "platform/Product.h"

#include <cstddef>
#include <cstdint>

namespace DecoderProtocol {

constexpr uint32_t kMagic = 0x56444543; // "VDEC"
constexpr int kHelperSocketFd = 3;      // where the helper finds its socket
constexpr const char* kHelperName = Product::kHelperCommand;
constexpr std::size_t kNameBytes = 256;

// What a request asks. Kinds from kFirstTestKind on are understood only by
// the tests' own helper.
constexpr uint32_t kDecode = 0;
constexpr uint32_t kCancel = 1;
constexpr uint32_t kFirstTestKind = 100;

// How a decode ended, as `Reply::status`.
constexpr uint32_t kDecoded = 0;    // the memory file rides along
constexpr uint32_t kNotDecoded = 1; // no reader knows the file
constexpr uint32_t kCancelled = 2;  // given up on a Cancel request

// The layers of the helper's confinement, as bits of `Reply::confinement`:
// limits it cannot raise (address space, open files, CPU time), no new
// privileges, file-system rules (Landlock), the system-call filter (seccomp).
// A kernel or library without one leaves the helper running without it.
constexpr uint32_t kConfinedLimits = 1u << 0;
constexpr uint32_t kConfinedNoNewPrivileges = 1u << 1;
constexpr uint32_t kConfinedFiles = 1u << 2;
constexpr uint32_t kConfinedCalls = 1u << 3;
constexpr uint32_t kConfinedAll =
    kConfinedLimits | kConfinedNoNewPrivileges | kConfinedFiles | kConfinedCalls;

struct Request {
    uint32_t magic = kMagic;
    uint32_t id = 0; // a Cancel's is the Decode's it gives up
    uint32_t kind = kDecode;
    uint32_t background = 0; // laid under transparent pixels (0x00RRGGBB colour value)
    int32_t boxWidth = 0;    // the picture fitted into this box (0 x 0: whole)
    int32_t boxHeight = 0;
    char name[kNameBytes] = {}; // the file's name: its extension names a format
};

struct Reply {
    uint32_t magic = kMagic;
    uint32_t id = 0;
    uint32_t status = kNotDecoded;
    int32_t width = 0, height = 0; // of the picture sent (0 x 0 without one)
    int32_t fullWidth = 0;         // the original's size, upright (the picture may be smaller)
    int32_t fullHeight = 0;
    uint32_t embeddedPreview = 0; // 1: a camera's embedded preview, not its developed raw data
    uint32_t confinement = 0;     // the kConfined layers in force in the helper
    uint32_t retiring = 0;        // 1: the helper ends after this answer
    uint64_t bytes = 0;           // of the memory file
};

} // namespace DecoderProtocol
