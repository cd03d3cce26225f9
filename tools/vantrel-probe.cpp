// vantrel-probe: the program's own components without windows, for tests and
// diagnosis.
//   vantrel-probe gif FILE
//   vantrel-probe resave IN OUT
#include "tools/Probe.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {
int Usage() {
    std::fprintf(stderr, "usage: vantrel-probe gif FILE\n"
                         "       vantrel-probe resave IN OUT\n");
    return 2;
}
} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    if (command == "gif" && argc == 3) return ProbeGif(argv[2]);
    if (command == "resave" && argc == 4) return ProbeResave(argv[2], argv[3]);
    return Usage();
}
