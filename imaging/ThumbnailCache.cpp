#include "imaging/ThumbnailCache.h"

#include "imaging/ThumbnailPng.h"
#include "imaging/mFit.h"

#include "platform/Files.h"
#include "platform/Product.h"

#include <FreeImage.h>
#include <QBuffer>
#include <QCryptographicHash>
#include <QImageReader>
#include <QtEndian>
#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <initializer_list>
#include <limits>
#include <pwd.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct SizeEntry {
    ThumbnailSize size;
    int side;
    const char* folder;
};
constexpr std::array<SizeEntry, 4> kSizes{{{ThumbnailSize::Normal, 128, "normal"},
                                           {ThumbnailSize::Large, 256, "large"},
                                           {ThumbnailSize::XLarge, 512, "x-large"},
                                           {ThumbnailSize::XXLarge, 1024, "xx-large"}}};

// The keys every thumbnail carries, and those it may carry.
constexpr const char* kUriKey = "Thumb::URI";
constexpr const char* kMTimeKey = "Thumb::MTime";
constexpr const char* kSizeKey = "Thumb::Size";
constexpr const char* kWidthKey = "Thumb::Image::Width";
constexpr const char* kHeightKey = "Thumb::Image::Height";
constexpr const char* kSoftwareKey = "Software";

constexpr const char* kFailFolder = "fail";
constexpr std::string_view kPngSignature = "\x89PNG\r\n\x1a\n";
constexpr std::size_t kChunkFrame = 12; // a PNG chunk's length, type and CRC around its data
constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;
// Qt's PNG quality 80 is zlib's level 1: a tenth of the default level's time
// for a thumbnail of photo, for about an eighth more bytes, and quicker to read.
constexpr int kPngQuality = 80;
// A temporary file's name ends in this many random letters; a name taken
// is tried again with others.
constexpr int kTemporarySuffix = 6;
constexpr int kTemporaryAttempts = 100;
// The fail entry's picture: one transparent pixel, as other programs write it.
constexpr int kFailSide = 1;

// Bytes of a path that a URI keeps as they are (GLib's set for file names).
bool KeptInUri(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    constexpr std::string_view kKept = "/-._~!$&'()*+,:=@";
    return kKept.find(char(c)) != std::string_view::npos;
}

std::optional<int64_t> Number(const std::string& s) {
    int64_t value = 0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || error != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return value;
}

// Makes `folder` and any missing folder above it, each readable by the user alone.
bool MakeFolders(const std::string& folder) {
    if (::mkdir(folder.c_str(), kFolderMode) == 0) return true;
    if (errno == ENOENT) {
        const std::string::size_type slash = folder.rfind('/');
        if (slash == std::string::npos || slash == 0) return false;
        if (!MakeFolders(folder.substr(0, slash))) return false;
        if (::mkdir(folder.c_str(), kFolderMode) == 0 || errno == EEXIST)
            return Files::IsFolder(folder);
        return false;
    }
    return errno == EEXIST && Files::IsFolder(folder);
}

// A folder the cache holds (a size's, or fail/ and the program's below it),
// open as a descriptor, made when `make` and missing; -1 when it cannot be
// had. The root and what is above it may be links (a cache kept on another
// disk); the folders inside it may not: a link there is refused, never
// followed, so that nothing is read or written outside the cache through one.
int OpenFolder(const std::string& root, std::initializer_list<std::string_view> inside, bool make) {
    if (make && !MakeFolders(root)) return -1;
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (const std::string_view part : inside) {
        if (fd < 0) return -1;
        const std::string name(part);
        if (make && ::mkdirat(fd, name.c_str(), kFolderMode) != 0 && errno != EEXIST) {
            ::close(fd);
            return -1;
        }
        const int next =
            ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    return fd;
}

// A name for a temporary file beside `name`, different at each call.
std::string TemporaryName(const std::string& name) {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    std::string temp = "." + name + ".";
    for (int i = 0; i < kTemporarySuffix; ++i)
        temp += kLetters[random() % (sizeof kLetters - 1)];
    return temp;
}

// Writes `bytes` as `name` in the folder open on `folder`: a temporary file
// beside it, renamed over the name once whole, so that a reader sees the old
// file or the new one and never a part.
bool WriteWhole(int folder, const std::string& name, const QByteArray& bytes) {
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < kTemporaryAttempts; ++attempt) {
        temp = TemporaryName(name);
        fd = ::openat(folder, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      kFileMode);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    bool written = ::fchmod(fd, kFileMode) == 0;
    for (qsizetype done = 0; written && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        written = n > 0;
        done += written ? n : 0;
    }
    written = ::close(fd) == 0 && written;
    if (written && ::renameat(folder, temp.c_str(), folder, name.c_str()) == 0) return true;
    ::unlinkat(folder, temp.c_str(), 0);
    return false;
}

// The Software key's text up to the version: the program's name and a space.
std::string SoftwarePrefix() {
    return std::string(Product::kName) + " ";
}

// The PNG of `image` with the keys of `source`, as tEXt chunks.
QByteArray Encode(const QImage& image, const ThumbnailSource& source, int fullWidth,
                  int fullHeight) {
    std::vector<ThumbnailPng::Key> keys{{kUriKey, source.uri},
                                        {kMTimeKey, std::to_string(source.mtime)},
                                        {kSizeKey, std::to_string(source.size)}};
    if (fullWidth > 0 && fullHeight > 0) {
        keys.emplace_back(kWidthKey, std::to_string(fullWidth));
        keys.emplace_back(kHeightKey, std::to_string(fullHeight));
    }
    keys.emplace_back(kSoftwareKey, SoftwarePrefix() + Product::kVersion);
    return ThumbnailPng::Encode(image, keys, kPngQuality);
}

// A text key of the PNG header FreeImage read, or empty.
std::string Text(FIBITMAP* header, const char* key) {
    FITAG* tag = nullptr;
    if (!FreeImage_GetMetadata(FIMD_COMMENTS, header, key, &tag) || !tag ||
        FreeImage_GetTagType(tag) != FIDT_ASCII || !FreeImage_GetTagValue(tag))
        return {};
    const auto* value = static_cast<const char*>(FreeImage_GetTagValue(tag));
    return std::string(value, ::strnlen(value, FreeImage_GetTagLength(tag)));
}

// A positive whole number of pixels, or 0.
int Pixels(const std::string& text) {
    const std::optional<int64_t> value = Number(text);
    return value && *value > 0 && *value <= std::numeric_limits<int32_t>::max() ? int(*value) : 0;
}

// The PNG `bytes` as a thumbnail of `source`: its keys (tEXt, zTXt or iTXt,
// read from its header, not its pixels) must be those of `source`. FreeImage
// reads them as written; Qt's reader splits a key at its first ':'.
std::optional<ThumbnailFile> Keyed(std::vector<uint8_t> bytes, const ThumbnailSource& source) {
    if (bytes.size() < kPngSignature.size() ||
        std::memcmp(bytes.data(), kPngSignature.data(), kPngSignature.size()) != 0)
        return std::nullopt;
    FIMEMORY* memory = FreeImage_OpenMemory(bytes.data(), DWORD(bytes.size()));
    if (!memory) return std::nullopt;
    FIBITMAP* header = FreeImage_LoadFromMemory(FIF_PNG, memory, FIF_LOAD_NOPIXELS);
    std::optional<ThumbnailFile> file;
    if (header) {
        const std::string size = Text(header, kSizeKey); // optional, but checked when there
        if (Text(header, kUriKey) == source.uri &&
            Number(Text(header, kMTimeKey)) == source.mtime &&
            (size.empty() || Number(size) == int64_t(source.size))) {
            file.emplace();
            file->width = int(FreeImage_GetWidth(header));
            file->height = int(FreeImage_GetHeight(header));
            file->fullWidth = Pixels(Text(header, kWidthKey));
            file->fullHeight = Pixels(Text(header, kHeightKey));
            if (!file->fullWidth || !file->fullHeight) file->fullWidth = file->fullHeight = 0;
            file->software = Text(header, kSoftwareKey);
        }
        FreeImage_Unload(header);
    }
    FreeImage_CloseMemory(memory);
    if (file) file->png = std::move(bytes);
    return file;
}

// Reads the thumbnail `name` in the folder open on `folder` (closed here),
// when its keys are those of `source`. A link at the name, or anything but a
// regular file of at most `maxBytes`, is no thumbnail.
std::optional<ThumbnailFile> ReadKeyed(int folder, const std::string& name,
                                       const ThumbnailSource& source, uint64_t maxBytes) {
    if (folder < 0) return std::nullopt;
    const int fd =
        ::openat(folder, name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
    ::close(folder);
    if (fd < 0) return std::nullopt;
    std::vector<uint8_t> bytes;
    const bool read = Files::ReadWhole(fd, bytes, maxBytes);
    ::close(fd);
    if (!read) return std::nullopt;
    return Keyed(std::move(bytes), source);
}

// Reads the thumbnail `name` in the folder open on `folder` (closed here):
// true when its keys are those of `source`, and then (when asked) its
// picture, no larger than `side`, is in `image`.
bool ReadMatching(int folder, const std::string& name, const ThumbnailSource& source, int side,
                  QImage* image) {
    // A stale thumbnail is never decoded.
    const std::optional<ThumbnailFile> file =
        ReadKeyed(folder, name, source, ThumbnailCache::kMaxFileBytes);
    if (!file) return false;
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(file->png.data()),
                                              qsizetype(file->png.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    if (!image) return reader.canRead();
    // Another program's thumbnail larger than its size is shown at the size.
    const QSize stored = reader.size();
    const auto fit = mFit::FitInBox(stored.width(), stored.height(), side, side, 0, false);
    if (stored.width() > side || stored.height() > side)
        reader.setScaledSize(QSize(fit.width, fit.height));
    *image = reader.read();
    return !image->isNull();
}

// `path` made absolute against the working folder and normalised, links not
// resolved; empty when it is empty or the working folder cannot be had.
std::string AbsolutePath(const std::string& path) {
    if (path.empty()) return {};
    std::filesystem::path absolute = path;
    if (path[0] != '/') {
        std::error_code error;
        absolute = std::filesystem::current_path(error) / path;
        if (error) return {};
    }
    return absolute.lexically_normal().string();
}

// Each folder that holds entries of a file, open in turn for `visit`: every
// size's, and every program's under fail/. A missing folder is passed over,
// a link in place of one is refused as OpenFolder refuses it.
template <typename Visit> void EachFolder(const std::string& root, Visit visit) {
    for (const SizeEntry& entry : kSizes) {
        const int folder = OpenFolder(root, {entry.folder}, false);
        if (folder < 0) continue;
        visit(folder);
        ::close(folder);
    }
    const int fail = OpenFolder(root, {kFailFolder}, false);
    if (fail < 0) return;
    DIR* programs = ::fdopendir(::fcntl(fail, F_DUPFD_CLOEXEC, 0));
    while (const dirent* program = programs ? ::readdir(programs) : nullptr) {
        if (std::strcmp(program->d_name, ".") == 0 || std::strcmp(program->d_name, "..") == 0)
            continue;
        const int folder =
            ::openat(fail, program->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (folder < 0) continue;
        visit(folder);
        ::close(folder);
    }
    if (programs) ::closedir(programs);
    ::close(fail);
}

// A tEXt chunk whole: its length, type, `key`, a NUL, `text` and its CRC.
QByteArray TextChunk(std::string_view key, std::string_view text) {
    const QByteArray typed = QByteArray("tEXt") + QByteArray(key.data(), qsizetype(key.size())) +
                             '\0' + QByteArray(text.data(), qsizetype(text.size()));
    const auto length = qToBigEndian(uint32_t(typed.size() - 4));
    const auto crc = qToBigEndian(uint32_t(FreeImage_ZLibCRC32(
        0, reinterpret_cast<BYTE*>(const_cast<char*>(typed.data())), DWORD(typed.size()))));
    return QByteArray(reinterpret_cast<const char*>(&length), sizeof length) + typed +
           QByteArray(reinterpret_cast<const char*>(&crc), sizeof crc);
}

// The thumbnail `png` with its Thumb::URI saying `uri`: each text chunk of
// that key dropped and one tEXt chunk of it put right after the header,
// where Store writes it; every other chunk kept byte for byte. Nothing for
// bytes that are no whole PNG, carry no URI, or whose URI (in plain text) is
// not `was`.
std::optional<QByteArray> Rekeyed(const std::vector<uint8_t>& png, std::string_view was,
                                  std::string_view uri) {
    const auto* bytes = reinterpret_cast<const char*>(png.data());
    if (png.size() < kPngSignature.size() ||
        std::string_view(bytes, kPngSignature.size()) != kPngSignature)
        return std::nullopt;
    QByteArray out(kPngSignature.data(), qsizetype(kPngSignature.size()));
    bool found = false;
    for (std::size_t at = kPngSignature.size();;) {
        if (png.size() - at < kChunkFrame) return std::nullopt;
        const uint32_t length = qFromBigEndian<uint32_t>(bytes + at);
        if (png.size() - at - kChunkFrame < length) return std::nullopt;
        const std::string_view type(bytes + at + 4, 4), data(bytes + at + 8, length);
        const std::size_t nul = data.find('\0');
        if ((type == "tEXt" || type == "zTXt" || type == "iTXt") && nul != data.npos &&
            data.substr(0, nul) == kUriKey) {
            if (type == "tEXt" && data.substr(nul + 1) != was) return std::nullopt;
            found = true;
        } else {
            out.append(bytes + at, qsizetype(kChunkFrame + length));
        }
        if (at == kPngSignature.size()) {
            if (type != "IHDR") return std::nullopt;
            out.append(TextChunk(kUriKey, uri));
        }
        at += kChunkFrame + length;
        if (type == "IEND") break;
    }
    if (!found) return std::nullopt;
    return out;
}

} // namespace

int ThumbnailCache::Side(ThumbnailSize size) {
    return kSizes[std::size_t(size)].side;
}

const char* ThumbnailCache::FolderName(ThumbnailSize size) {
    return kSizes[std::size_t(size)].folder;
}

std::optional<ThumbnailSize> ThumbnailCache::SizeNamed(std::string_view name) {
    for (const SizeEntry& entry : kSizes)
        if (name == entry.folder) return entry.size;
    return std::nullopt;
}

ThumbnailSize ThumbnailCache::SizeForIcon(int iconSide, double devicePixelRatio) {
    if (!std::isfinite(devicePixelRatio) || devicePixelRatio <= 0) devicePixelRatio = 1;
    const double pixels = std::ceil(std::max(iconSide, 0) * devicePixelRatio);
    for (const SizeEntry& entry : kSizes)
        if (entry.side >= pixels) return entry.size;
    return kSizes.back().size;
}

std::string ThumbnailCache::DefaultRoot() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && cache[0] == '/') return std::string(cache) + "/thumbnails";
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') {
        const passwd* user = ::getpwuid(::getuid());
        home = user && user->pw_dir ? user->pw_dir : "/tmp";
    }
    return std::string(home) + "/.cache/thumbnails";
}

ThumbnailCache::ThumbnailCache(std::string root) : root_(std::move(root)) {
    std::error_code error;
    canonicalRoot_ = std::filesystem::weakly_canonical(root_, error).string();
    if (error) canonicalRoot_ = root_;
    while (canonicalRoot_.size() > 1 && canonicalRoot_.back() == '/')
        canonicalRoot_.pop_back();
}

std::string ThumbnailCache::Uri(const std::string& absolutePath) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    uri.reserve(uri.size() + absolutePath.size());
    for (const char ch : absolutePath) {
        const auto c = static_cast<unsigned char>(ch);
        if (KeptInUri(c)) {
            uri += ch;
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 0xF];
        }
    }
    return uri;
}

std::string ThumbnailCache::Md5Hex(std::string_view text) {
    return QCryptographicHash::hash(QByteArrayView(text.data(), qsizetype(text.size())),
                                    QCryptographicHash::Md5)
        .toHex()
        .toStdString();
}

std::string ThumbnailCache::FailFolderName() {
    // The major and minor parts of the version: a fix release reads the
    // entries of the release it fixes.
    const std::string_view version = Product::kVersion;
    const auto major = version.find('.');
    const auto minor = major == std::string_view::npos ? major : version.find('.', major + 1);
    return std::string(Product::kCommand) + "-" + std::string(version.substr(0, minor));
}

std::string ThumbnailCache::ThumbnailPath(const std::string& uri, ThumbnailSize size) const {
    return root_ + "/" + FolderName(size) + "/" + Md5Hex(uri) + ".png";
}

std::string ThumbnailCache::FailPath(const std::string& uri) const {
    return root_ + "/" + kFailFolder + "/" + FailFolderName() + "/" + Md5Hex(uri) + ".png";
}

bool ThumbnailCache::Describe(const std::string& path, ThumbnailSource& source) {
    const std::string absolute = AbsolutePath(path);
    struct stat st {};
    if (absolute.empty() || ::stat(absolute.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    source.path = absolute;
    source.uri = Uri(source.path);
    source.mtime = int64_t(st.st_mtim.tv_sec);
    source.size = uint64_t(st.st_size);
    return true;
}

bool ThumbnailCache::Inside(const std::string& path) const {
    std::error_code error;
    std::string real = std::filesystem::weakly_canonical(path, error).string();
    if (error) real = path;
    return real.size() > canonicalRoot_.size() &&
           real.compare(0, canonicalRoot_.size(), canonicalRoot_) == 0 &&
           real[canonicalRoot_.size()] == '/';
}

bool ThumbnailCache::Fits(QSize picture, ThumbnailSize size) {
    return picture.width() <= Side(size) && picture.height() <= Side(size);
}

bool ThumbnailCache::Find(const ThumbnailSource& source, ThumbnailSize size, QImage* image) const {
    return ReadMatching(OpenFolder(root_, {FolderName(size)}, false), Md5Hex(source.uri) + ".png",
                        source, Side(size), image);
}

std::optional<ThumbnailFile> ThumbnailCache::Open(const ThumbnailSource& source, ThumbnailSize size,
                                                  uint64_t maxBytes) const {
    return ReadKeyed(OpenFolder(root_, {FolderName(size)}, false), Md5Hex(source.uri) + ".png",
                     source, maxBytes);
}

bool ThumbnailCache::Ours(std::string_view software) {
    const std::string prefix = SoftwarePrefix();
    return software.size() > prefix.size() && software.substr(0, prefix.size()) == prefix;
}

bool ThumbnailCache::FailedBefore(const ThumbnailSource& source) const {
    return ReadMatching(OpenFolder(root_, {kFailFolder, FailFolderName()}, false),
                        Md5Hex(source.uri) + ".png", source, kFailSide, nullptr);
}

std::string ThumbnailCache::Store(const ThumbnailSource& source, ThumbnailSize size,
                                  const QImage& image, int fullWidth, int fullHeight) const {
    // The shared folders hold nothing larger than their size, whatever was made.
    if (image.isNull() || !Fits(image.size(), size)) return {};
    const QByteArray png = Encode(image, source, fullWidth, fullHeight);
    const std::string name = Md5Hex(source.uri) + ".png";
    if (png.isEmpty()) return {};
    const int folder = OpenFolder(root_, {FolderName(size)}, true);
    if (folder < 0) return {};
    const bool written = WriteWhole(folder, name, png);
    ::close(folder);
    return written ? ThumbnailPath(source.uri, size) : std::string();
}

bool ThumbnailCache::StoreFailure(const ThumbnailSource& source) const {
    QImage pixel(kFailSide, kFailSide, QImage::Format_ARGB32);
    pixel.fill(Qt::transparent);
    const QByteArray png = Encode(pixel, source, 0, 0);
    if (png.isEmpty()) return false;
    const int folder = OpenFolder(root_, {kFailFolder, FailFolderName()}, true);
    if (folder < 0) return false;
    const bool written = WriteWhole(folder, Md5Hex(source.uri) + ".png", png);
    ::close(folder);
    return written;
}

void ThumbnailCache::ForgetFailure(const ThumbnailSource& source) const {
    const int folder = OpenFolder(root_, {kFailFolder, FailFolderName()}, false);
    if (folder < 0) return;
    ::unlinkat(folder, (Md5Hex(source.uri) + ".png").c_str(), 0);
    ::close(folder);
}

void ThumbnailCache::Forget(const std::string& path) const {
    const std::string name = Md5Hex(Uri(AbsolutePath(path))) + ".png";
    EachFolder(root_, [&](int folder) { ::unlinkat(folder, name.c_str(), 0); });
}

void ThumbnailCache::Moved(const std::string& from, const std::string& to) const {
    const std::string was = Uri(AbsolutePath(from)), uri = Uri(AbsolutePath(to));
    const std::string oldName = Md5Hex(was) + ".png", newName = Md5Hex(uri) + ".png";
    if (oldName == newName) return;
    EachFolder(root_, [&](int folder) {
        const int fd = ::openat(folder, oldName.c_str(),
                                O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
        if (fd < 0 && errno == ENOENT) {
            // Nothing to carry over: whatever `to` had is another file's.
            ::unlinkat(folder, newName.c_str(), 0);
            return;
        }
        std::vector<uint8_t> bytes;
        const bool read = fd >= 0 && Files::ReadWhole(fd, bytes, kMaxFileBytes);
        if (fd >= 0) ::close(fd);
        const std::optional<QByteArray> png =
            read ? Rekeyed(bytes, was, uri) : std::optional<QByteArray>();
        if (!png || !WriteWhole(folder, newName, *png)) ::unlinkat(folder, newName.c_str(), 0);
        ::unlinkat(folder, oldName.c_str(), 0);
    });
}
