#include "app/mSetup.h"

#include "platform/Files.h"
#include "platform/Product.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace mSetup {

namespace {

void PutInt16(std::vector<uint8_t>& out, int v) {
    const auto u = static_cast<uint16_t>(v);
    out.push_back(static_cast<uint8_t>(u & 0xFF));
    out.push_back(static_cast<uint8_t>(u >> 8));
}

int16_t GetInt16(const uint8_t* p) {
    return static_cast<int16_t>(p[0] | (p[1] << 8));
}

} // namespace

std::string FirstStartFolder(const std::string& pictures, const std::string& home) {
    for (const std::string* folder : {&pictures, &home})
        if (!folder->empty() && folder->front() == '/' && Files::IsFolder(*folder)) return *folder;
    return "/";
}

SetupRecord Defaults() {
    SetupRecord r;
    r.StartWithLastPath = kFalse;
    r.StartInThumbnailView = kTrue;
    r.VSplitOrientation = 0;
    r.HSplitOrientation = kTrue;
    r.ReservedValue = 1;
    r.MainWidth = 9045;
    r.MainHeight = 7245;
    r.HSplitPercent = 50;
    r.VSplitPercent = 50;
    r.MainWindowState = kWindowNormal;
    r.LastPath = std::string(1, '/'); // the file system root
    return r;
}

std::vector<uint8_t> Encode(const SetupRecord& r) {
    std::vector<uint8_t> out;
    out.reserve(kFixedBytes + r.LastPath.size());
    PutInt16(out, r.StartWithLastPath);
    PutInt16(out, r.StartInThumbnailView);
    PutInt16(out, r.VSplitOrientation);
    PutInt16(out, r.HSplitOrientation);
    PutInt16(out, r.ReservedValue);
    PutInt16(out, r.MainWidth);
    PutInt16(out, r.MainHeight);
    out.push_back(r.HSplitPercent);
    out.push_back(r.VSplitPercent);
    PutInt16(out, r.MainWindowState);
    // The length field is 16 bits; a longer path is cut rather than corrupting the record.
    const std::size_t n = std::min<std::size_t>(r.LastPath.size(), 0xFFFF);
    PutInt16(out, static_cast<int>(n));
    out.insert(out.end(), r.LastPath.begin(), r.LastPath.begin() + static_cast<std::ptrdiff_t>(n));
    return out;
}

SetupRecord Decode(std::span<const uint8_t> bytes) {
    // A short file is read as far as it goes: missing bytes read as zero
    // (leniency settings-short, gif/README.md).
    uint8_t head[kFixedBytes] = {};
    std::copy_n(bytes.begin(), std::min(bytes.size(), kFixedBytes), head);
    SetupRecord r;
    r.StartWithLastPath = GetInt16(head + 0);
    r.StartInThumbnailView = GetInt16(head + 2);
    r.VSplitOrientation = GetInt16(head + 4);
    r.HSplitOrientation = GetInt16(head + 6);
    r.ReservedValue = GetInt16(head + 8);
    r.MainWidth = GetInt16(head + 10);
    r.MainHeight = GetInt16(head + 12);
    r.HSplitPercent = head[14];
    r.VSplitPercent = head[15];
    r.MainWindowState = GetInt16(head + 16);
    const std::size_t length = static_cast<uint16_t>(GetInt16(head + 18));
    if (bytes.size() > kFixedBytes) {
        // Leniency settings-path-past-end: the text that is there.
        const std::size_t available = std::min(length, bytes.size() - kFixedBytes);
        r.LastPath.assign(reinterpret_cast<const char*>(bytes.data()) + kFixedBytes, available);
    }
    return r;
}

int16_t ToTwipsField(double twips) {
    if (!std::isfinite(twips)) return 0;
    const double r = std::nearbyint(std::clamp(twips, -32768.0, 32767.0));
    return static_cast<int16_t>(r);
}

// Where a save of `file` must land: the file itself, or for a symbolic link
// the file it points to, so that the link stays.
static std::filesystem::path SaveTarget(const std::filesystem::path& file) {
    std::error_code ec;
    std::filesystem::path target = file;
    for (int hops = 0; hops < 40 && std::filesystem::is_symlink(target, ec); ++hops) {
        const std::filesystem::path next = std::filesystem::read_symlink(target, ec);
        if (ec) break;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return target;
}

SetupRecord LoadSettings(const std::filesystem::path& file,
                         const std::function<void()>& warnCorrupt) {
    std::error_code ec;
    bool useDefaults = true;
    std::vector<uint8_t> bytes;
    if (std::filesystem::is_regular_file(file, ec)) {
        std::ifstream in(file, std::ios::binary);
        if (in) bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad() || !in.is_open()) {
            bytes.clear(); // unreadable: start with defaults, leave the file alone
        } else if (bytes.empty()) {
            if (warnCorrupt) warnCorrupt();
            // Leniency settings-empty. A link stays, its target goes.
            std::filesystem::remove(SaveTarget(file), ec);
        } else {
            useDefaults = false;
        }
    }
    return useDefaults ? Defaults() : Decode(bytes);
}

namespace {

bool WriteAll(int fd, const std::vector<uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = EIO; // a write that makes no progress
        if (n <= 0) return false;
        done += std::size_t(n);
    }
    return true;
}

// A failed save, with errno saying why.
bool Fail(int error) {
    errno = error;
    return false;
}

} // namespace

bool SaveSettings(const SetupRecord& record, const std::filesystem::path& file) {
    const std::filesystem::path target = SaveTarget(file);
    mode_t mode = 0644;
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        // A file its user cannot read, or made read-only, is kept as it is:
        // writing over it would lose what it holds or undo the user's choice.
        if (!S_ISREG(st.st_mode)) return Fail(EISDIR);
        const int probe = ::open(target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (probe < 0) return false;
        ::close(probe);
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return Fail(EACCES);
        if (::access(target.c_str(), W_OK) != 0) return false;
        mode = st.st_mode & 07777;
    }
    const std::vector<uint8_t> bytes = Encode(record);
    std::filesystem::path tmp = target;
    tmp += ".tmp";
    tmp += std::to_string(::getpid());
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) return false;
    ::fchmod(fd, mode); // the umask may have narrowed it
    // On disk before the rename, so that a crash leaves the old file or the new one.
    const bool written = WriteAll(fd, bytes) && ::fsync(fd) == 0;
    const int writeError = errno;
    const bool closed = ::close(fd) == 0;
    const int error = written ? errno : writeError;
    std::error_code ec;
    if (!written || !closed) {
        std::filesystem::remove(tmp, ec);
        return Fail(error);
    }
    std::filesystem::rename(tmp, target, ec);
    if (ec) {
        const int renameError = ec.value();
        std::filesystem::remove(tmp, ec);
        return Fail(renameError);
    }
    return true;
}

std::filesystem::path SettingsFileFor(const std::filesystem::path& programFolder,
                                      const std::string& xdgConfigHome, const std::string& home) {
    std::error_code ec;
    const std::filesystem::path beside = programFolder / kFileName;
    const bool buildTree =
        std::filesystem::exists(programFolder / kBuildTreeMark, ec) ||
        std::filesystem::exists(programFolder.parent_path() / kBuildTreeMark, ec);
    if (buildTree || ::access(beside.c_str(), W_OK) == 0) return beside;
    const std::filesystem::path config = UserConfigFolder(xdgConfigHome, home);
    if (config.empty()) return beside; // nowhere else to go
    return config / kFileName;
}

std::filesystem::path UserConfigFolder(const std::string& xdgConfigHome, const std::string& home) {
    // Relative values are not used, as the desktop's base-folder rules say.
    if (!xdgConfigHome.empty() && xdgConfigHome.front() == '/')
        return std::filesystem::path(xdgConfigHome) / Product::kCommand;
    if (!home.empty() && home.front() == '/')
        return std::filesystem::path(home) / ".config" / Product::kCommand;
    return {};
}

} // namespace mSetup
