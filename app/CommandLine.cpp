#include "app/CommandLine.h"

#include "platform/Product.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>
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

// Qt's options for every application (QGuiApplication, QApplication and the
// X11 platform), written with one dash or two. Those in kWithValue take the
// next argument; "-style=NAME" and the like carry theirs.
constexpr std::string_view kWithValue[] = {"platform",
                                           "platformpluginpath",
                                           "platformtheme",
                                           "plugin",
                                           "qwindowgeometry",
                                           "qwindowicon",
                                           "qwindowtitle",
                                           "session",
                                           "display",
                                           "geometry",
                                           "title",
                                           "icon",
                                           "name",
                                           "style",
                                           "stylesheet"};
constexpr std::string_view kFlags[] = {"reverse", "widgetcount", "nograb",
                                       "dograb",  "sync",        "testability"};
constexpr std::string_view kWithEquals[] = {"style=", "stylesheet=", "qmljsdebugger="};

// How many arguments Qt's option at `a` takes up (1 or 2), or 0 when `a` is
// not one of Qt's options.
int ToolkitOptionLength(std::string_view a) {
    if (a.size() < 2 || a[0] != '-') return 0;
    a.remove_prefix(a[1] == '-' ? 2 : 1);
    for (const std::string_view name : kWithValue)
        if (a == name) return 2;
    for (const std::string_view name : kFlags)
        if (a == name) return 1;
    for (const std::string_view prefix : kWithEquals)
        if (a.starts_with(prefix)) return 1;
    return 0;
}

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
        } else if (const int n = options ? ToolkitOptionLength(a) : 0; n > 0) {
            i += n - 1;
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
