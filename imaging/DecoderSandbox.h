// The confinement of the decoder helper, applied once it has loaded all the
// code it will run: resource limits the helper cannot raise (address space,
// open files, CPU time, no core files), no new privileges, Landlock rules
// that allow no file-system access at all (and, where the kernel has it, no
// signal to a process outside the helper), and a system-call filter that
// allows what decoding from memory and answering over the socket need.
// Opening or stat'ing files by name is refused (EACCES); signals and limits
// aimed at another process and clone without CLONE_THREAD are refused
// (EPERM); clone3 answers ENOSYS so that threads start through clone;
// anything else outside the list ends the process.
#pragma once

#include <cstdint>
#include <sys/types.h>

namespace DecoderSandbox {

constexpr unsigned long long kAddressSpaceBytes = 3ull << 30;
constexpr unsigned kCpuSecondsPerPicture = 10;

// Applies the limits, the rules and the filter, and gives the layers that
// are in force (DecoderProtocol's kConfined bits). Where the kernel or the
// library lacks one, the helper goes on with what there is; its answers
// carry these bits, so that the program can say what is missing.
uint32_t Confine();
// The system-call filter alone, for this process (`self` being its pid), on
// top of any it has already; no new privileges must be set first. False
// when the kernel or the library refuses it. Confine uses it; tests load it
// in a child of their own to try the filter without the other layers.
bool LoadCallFilter(pid_t self);
// Lets the next picture use at least `kCpuSecondsPerPicture` more seconds (under
// a second more: the limit counts whole seconds of the time used, rounded up).
void AllowNextPicture();
// Whether the helper's CPU time for its whole life leaves a full picture's
// worth; when not, the helper ends after its answer and the program starts
// a new one, rather than being killed in the middle of a picture.
bool TimeForAnotherPicture();

} // namespace DecoderSandbox
