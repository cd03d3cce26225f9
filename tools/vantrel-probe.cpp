// vantrel-probe: the program's own components without windows, for tests and
// diagnosis.
//   vantrel-probe gif FILE
//   vantrel-probe resave IN OUT
//   vantrel-probe list DIR [PATTERN] [--sort name|size|type|date] [--reverse]
//   vantrel-probe watch DIR SECONDS
//   vantrel-probe still FILE [BOXW BOXH]
//   vantrel-probe play FILE STEPS [OUTDIR]
//   vantrel-probe thumbnail FILE [normal|large|x-large|xx-large]
//   vantrel-probe trash FILE...
//   vantrel-probe move|copy SRC... DIR
//   vantrel-probe rotate FILE left|right|flip
#include "tools/Probe.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
int Usage() {
    std::fprintf(stderr, "usage: vantrel-probe gif FILE\n"
                         "       vantrel-probe resave IN OUT\n"
                         "       vantrel-probe list DIR [PATTERN] [--sort name|size|type|date] "
                         "[--reverse]\n"
                         "       vantrel-probe watch DIR SECONDS\n"
                         "       vantrel-probe still FILE [BOXW BOXH]\n"
                         "       vantrel-probe play FILE STEPS [OUTDIR]\n"
                         "       vantrel-probe thumbnail FILE [normal|large|x-large|xx-large]\n"
                         "       vantrel-probe trash FILE...\n"
                         "       vantrel-probe move SRC... DIR\n"
                         "       vantrel-probe copy SRC... DIR\n"
                         "       vantrel-probe rotate FILE left|right|flip\n"
                         "Move and copy skip a name DIR holds already (nothing is replaced); "
                         "the file\n"
                         "commands print one line per file and exit 1 when any failed.\n");
    return 2;
}
} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    if (command == "gif" && argc == 3) return ProbeGif(argv[2]);
    if (command == "resave" && argc == 4) return ProbeResave(argv[2], argv[3]);
    if (command == "still" && (argc == 3 || argc == 5)) {
        const int w = argc == 5 ? std::atoi(argv[3]) : 0, h = argc == 5 ? std::atoi(argv[4]) : 0;
        if (argc == 5 && (w <= 0 || h <= 0)) return Usage();
        return ProbeStill(argv[2], w, h, argc == 5);
    }
    if (command == "play" && (argc == 4 || argc == 5)) {
        const int steps = std::atoi(argv[3]);
        if (steps <= 0) return Usage();
        return ProbePlay(argv[2], steps, argc == 5 ? argv[4] : "");
    }
    if (command == "thumbnail" && (argc == 3 || argc == 4)) {
        const auto size = ThumbnailCache::SizeNamed(argc == 4 ? argv[3] : "normal");
        if (!size) return Usage();
        return ProbeThumbnail(argv[2], *size);
    }
    if (command == "trash" && argc >= 3) return ProbeTrash({argv + 2, argv + argc});
    if ((command == "move" || command == "copy") && argc >= 4)
        return ProbeTransfer(command == "move" ? TransferKind::Move : TransferKind::Copy,
                             {argv + 2, argv + argc - 1}, argv[argc - 1]);
    if (command == "rotate" && argc == 4) {
        const std::string way = argv[3];
        if (way == "left") return ProbeRotate(argv[2], Turn::Left);
        if (way == "right") return ProbeRotate(argv[2], Turn::Right);
        if (way == "flip") return ProbeRotate(argv[2], Turn::FlipHorizontal);
        return Usage();
    }
    if (command == "watch" && argc == 4) {
        char* end = nullptr;
        const double seconds = std::strtod(argv[3], &end);
        if (end == argv[3] || *end != '\0' || !(seconds >= 0)) return Usage();
        return ProbeWatch(argc, argv, argv[2], seconds);
    }
    if (command == "list" && argc >= 3) {
        ListRequest request;
        request.folder = argv[2];
        for (int i = 3; i < argc; ++i) {
            const std::string arg = argv[i];
            if (arg == "--sort" && i + 1 < argc && request.sort.empty()) {
                request.sort = argv[++i];
                if (request.sort != "name" && request.sort != "size" && request.sort != "type" &&
                    request.sort != "date")
                    return Usage();
            } else if (arg == "--reverse" && !request.reverse) {
                request.reverse = true;
            } else if (arg.rfind("--", 0) != 0 && !request.pattern) {
                request.pattern = arg;
            } else {
                return Usage();
            }
        }
        if (request.reverse && request.sort.empty()) return Usage(); // no order to reverse
        return ProbeList(argc, argv, request);
    }
    return Usage();
}
