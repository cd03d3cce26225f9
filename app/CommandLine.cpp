#include "app/CommandLine.h"

#include "platform/Product.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

std::string UsageText() {
    const std::string command = Product::kCommand;
    return "Usage: " + command +
           " [FOLDER | FILE]\n"
           "Browse the pictures of FOLDER, or of FILE's folder with FILE chosen.\n"
           "Without an argument, start at the folder browsed last.\n"
           "\n"
           "  --help     show this help and exit\n"
           "  --version  show the version and exit\n";
}

std::string VersionText() {
    return std::string(Product::kCommand) + " " + Product::kVersion + "\n";
}

namespace {

StartRequest Unusable(const std::string& path, const std::string& why) {
    StartRequest r;
    r.error = path + ": " + why + "; starting at the folder browsed last";
    return r;
}

} // namespace

StartRequest ParseCommandLine(int argc, const char* const* argv) {
    StartRequest r;
    std::string path;
    bool options = true;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (options && a == "--") {
            options = false;
        } else if (options && (a == "--help" || a == "-h")) {
            r.kind = StartRequest::Kind::Help;
            return r;
        } else if (options && a == "--version") {
            r.kind = StartRequest::Kind::Version;
            return r;
        } else if (options && a.size() > 1 && a[0] == '-') {
            r.kind = StartRequest::Kind::BadOption;
            r.error = "unknown option " + a;
            return r;
        } else if (path.empty()) {
            path = a;
        } else {
            r.error = "only one folder or file can be opened; " + a + " is ignored";
        }
    }
    if (path.empty()) return r;
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved)) return Unusable(path, std::strerror(errno));
    struct stat st {};
    if (::stat(resolved, &st) != 0) return Unusable(path, std::strerror(errno));
    const std::string full = resolved;
    if (S_ISDIR(st.st_mode)) {
        r.kind = StartRequest::Kind::Folder;
        r.folder = full;
        return r;
    }
    if (!S_ISREG(st.st_mode)) return Unusable(path, "not a folder or a regular file");
    if (::access(resolved, R_OK) != 0) return Unusable(path, std::strerror(errno));
    const std::size_t slash = full.rfind('/');
    r.kind = StartRequest::Kind::File;
    r.folder = slash == 0 ? "/" : full.substr(0, slash);
    r.file = full.substr(slash + 1);
    return r;
}
