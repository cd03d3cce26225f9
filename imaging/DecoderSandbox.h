// The confinement of the decoder helper, applied once it has loaded all the
// code it will run: resource limits (address space, CPU time, no core files),
// no new privileges, Landlock rules that allow no file-system access at all,
// and a system-call filter that allows what decoding from memory and
// answering over the socket need. Opening files by name is refused (EACCES);
// anything else outside the list ends the process.
#pragma once

namespace DecoderSandbox {

constexpr unsigned long long kAddressSpaceBytes = 3ull << 30;
constexpr unsigned kCpuSecondsPerPicture = 10;

// Applies the limits and the filter. Where the kernel or the library lacks
// one, the helper goes on with what there is and says so once on stderr.
void Confine();
// Lets the next picture use at most `kCpuSecondsPerPicture` more seconds.
void AllowNextPicture();

} // namespace DecoderSandbox
