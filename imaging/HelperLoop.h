// The decoder helper's side of the protocol, shared by vantrel-decoder and
// the tests' own helper: load every reader while files can still be opened,
// confine the process, then answer requests from the socket at descriptor 3
// until the program leaves. A decode checks for a Cancel between its steps
// (after reading the file, after decoding) and answers Cancelled when one
// came. Links FreeImage, Qt Gui and the confinement; used only by helpers.
#pragma once

#include "imaging/DecoderProtocol.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace HelperLoop {

struct Hooks {
    // Answers a request of a kind the loop does not know (the tests' kinds),
    // on `socket`; false ends the helper. Unset: such a request is answered
    // NotDecoded.
    std::function<bool(const DecoderProtocol::Request&, int socket)> otherKind;
    // Asked once the file is read: a status to answer instead of decoding
    // (the tests' pretended decodes), or nothing to decode the file.
    std::function<std::optional<uint32_t>(const DecoderProtocol::Request&)> standIn;
};

// Confines the process and answers requests until the socket ends; the
// helper's exit status.
int Run(const Hooks& hooks = {});

// Whether a Cancel of request `id` waits on the socket; it is taken when it
// does, and so are Cancels of requests already answered.
bool CancelAsked(uint32_t id);

} // namespace HelperLoop
