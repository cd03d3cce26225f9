#include "tools/Probe.h"

#include "app/FileActions.h"

#include <cstdio>
#include <filesystem>

namespace {

// A path on one line: a control byte, DEL and the backslash written as C
// writes them ("\n", "\\", "\x7f"), every other byte as it is.
std::string OneLine(const std::string& path) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7f) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += ch;
        }
    }
    return out;
}

// An argument as an absolute path, its links not resolved (a link is what is acted on).
std::string Absolute(const std::string& arg) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(arg, error);
    return error ? arg : absolute.lexically_normal().string();
}

std::vector<std::string> Absolute(const std::vector<std::string>& args) {
    std::vector<std::string> paths;
    for (const std::string& arg : args)
        paths.push_back(Absolute(arg));
    return paths;
}

// One line per file; 1 when any failed.
int Report(const ActionDone& done) {
    bool failed = false;
    for (const FileOutcome& o : done.files) {
        const std::string source = OneLine(o.source);
        switch (o.status) {
        case OutcomeStatus::Done:
            std::printf("done: %s%s%s%s\n", source.c_str(), o.result.empty() ? "" : " -> ",
                        OneLine(o.result).c_str(), done.byTag ? " (orientation tag only)" : "");
            break;
        case OutcomeStatus::Skipped:
            std::printf("skipped: %s: %s\n", source.c_str(), o.reason.c_str());
            break;
        case OutcomeStatus::Cancelled:
            std::printf("cancelled: %s\n", source.c_str());
            break;
        case OutcomeStatus::Failed:
            std::printf("failed: %s: %s\n", source.c_str(), o.reason.c_str());
            failed = true;
            break;
        }
    }
    return failed || done.cancelled ? 1 : 0;
}

} // namespace

int ProbeTrash(const std::vector<std::string>& files) {
    const ThumbnailCache thumbnails;
    FileActions actions(&thumbnails);
    return Report(actions.MoveToTrash(Absolute(files)));
}

int ProbeTransfer(TransferKind kind, const std::vector<std::string>& sources,
                  const std::string& folder) {
    const ThumbnailCache thumbnails;
    FileActions actions(&thumbnails);
    // No conflict answer: a name the folder holds already is skipped.
    return Report(actions.Transfer(kind, Absolute(sources), Absolute(folder)));
}

int ProbeRotate(const std::string& file, Turn turn) {
    const ThumbnailCache thumbnails;
    FileActions actions(&thumbnails);
    ActionDone done = actions.Turn(Absolute(file), turn);
    // The probe has no view to turn: a file that cannot be turned failed.
    if (done.viewOnly)
        for (FileOutcome& o : done.files)
            o.status = OutcomeStatus::Failed;
    return Report(done);
}
