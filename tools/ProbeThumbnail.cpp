#include "tools/Probe.h"

#include "imaging/ThumbnailMaker.h"

#include <cstdio>

int ProbeThumbnail(const std::string& file, ThumbnailSize size) {
    // The program's own road: the shared cache, then the thumbnails' helper.
    ThumbnailMaker maker;
    const ThumbnailResult result = maker.Make(file, size);
    switch (result.outcome) {
    case ThumbnailOutcome::Found:
    case ThumbnailOutcome::Made:
        if (result.file.empty()) {
            std::fprintf(stderr, "vantrel-probe: the thumbnail could not be written under %s\n",
                         maker.Cache().Root().c_str());
            return 1;
        }
        std::printf("%s\n", result.file.c_str());
        return 0;
    case ThumbnailOutcome::Failed:
        std::fprintf(stderr, "vantrel-probe: %s does not decode (fail entry: %s)\n", file.c_str(),
                     result.file.empty() ? "not written" : result.file.c_str());
        return 1;
    case ThumbnailOutcome::Skipped:
        break;
    }
    std::fprintf(stderr,
                 "vantrel-probe: no thumbnail for %s (not a picture file, inside the "
                 "thumbnail cache, or no decoder)\n",
                 file.c_str());
    return 1;
}
