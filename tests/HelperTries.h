// The tests' own requests to their decoder helper (decoder_test_helper),
// which runs the product helper's loop and confinement and answers these
// too: what the confinement must forbid, tried for real against this
// process, and pretended decodes named by the file's name, for the pool's
// cancel tests.
#pragma once

#include "imaging/DecoderProtocol.h"

#include <cstdint>

namespace HelperTries {

// Open or stat `name` by its path; send this process (the helper's parent) a
// signal that ends it; lower its limit of open files; start a process.
constexpr uint32_t kTryOpen = DecoderProtocol::kFirstTestKind;
constexpr uint32_t kTrySignalParent = DecoderProtocol::kFirstTestKind + 1;
constexpr uint32_t kTryLimitParent = DecoderProtocol::kFirstTestKind + 2;
constexpr uint32_t kTryNewProcess = DecoderProtocol::kFirstTestKind + 3;
constexpr uint32_t kTryStat = DecoderProtocol::kFirstTestKind + 4;

// The answer to a try: 0 when it worked, else the errno met.
struct TryReply {
    uint32_t magic = DecoderProtocol::kMagic;
    uint32_t id = 0;
    int32_t error = 0;
};

// A file whose name ends so (or holds it before its extension: x.slow.jpg)
// is not decoded: the helper pretends a decode
// that takes `kSlowMs`, looking for a cancel between its steps, and then
// says it does not decode.
constexpr const char* kSlowEnding = ".slow";
constexpr int kSlowMs = 120000;
// A file whose name ends so keeps the helper busy for ever in a pretended
// decode that never looks for a cancel.
constexpr const char* kDeafEnding = ".deaf";

} // namespace HelperTries
