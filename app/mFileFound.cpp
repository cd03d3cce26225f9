#include "app/mFileFound.h"

#include "browse/PathMatchSpec.h"

#include <dirent.h>
#include <memory>
#include <sys/stat.h>

bool FileFound(const std::string& path) {
    if (path.empty()) return false;
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.find_first_of("*?") == std::string::npos) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0;
    }
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    if (folder.empty()) folder.push_back('/'); // GCC 12 warns falsely on = "/"
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) return false;
    const PathMatcher matcher(name);
    while (const dirent* e = ::readdir(dir.get())) {
        const std::string_view entry = e->d_name;
        if (entry == "." || entry == "..") continue;
        if (matcher.Matches(entry)) return true;
    }
    return false;
}
