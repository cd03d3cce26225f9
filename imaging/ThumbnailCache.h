// The desktop's shared thumbnail cache ($XDG_CACHE_HOME/thumbnails), read and
// written the way file managers do, so that thumbnails one program made are
// the next one's: a PNG named by the MD5 of the file's URI, in a folder for
// each size, carrying the URI, the file's modification time and size as text
// keys. A thumbnail whose keys do not match the file is made again. Files
// that do not decode leave a small entry of their own under
// fail/vantrel-1.0/ and are tried again once they change. Everything is
// written under the cache's folder only, each file whole (a temporary file
// renamed into place), readable by the user alone; a link inside the cache
// (at a thumbnail's name, or in place of one of its folders) is neither read
// nor written through. No widgets; the pictures are Qt images, the keys
// plain PNG text that every reader takes.
#pragma once

#include <QImage>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The sizes every thumbnailer knows, by the longest side of their pictures.
enum class ThumbnailSize { Normal, Large, XLarge, XXLarge };

// What the cache knows of a picture file: its URI and what changes with it.
struct ThumbnailSource {
    std::string path; // absolute, links not followed (the name the user browses)
    std::string uri;
    int64_t mtime = 0; // seconds since the epoch
    uint64_t size = 0; // bytes
};

// A thumbnail the cache holds for a file as it is now (its URI, MTime and,
// when it has one, its Size key are the file's), read but not decoded.
struct ThumbnailFile {
    std::vector<uint8_t> png;
    int width = 0, height = 0; // from the PNG's header
    // Thumb::Image::Width and Height, the original's size; 0 when absent or
    // not a positive number.
    int fullWidth = 0, fullHeight = 0;
    std::string software; // the Software key (who made it); empty when absent
};

class ThumbnailCache {
  public:
    // A thumbnail file larger than this is no thumbnail (1024 x 1024 pixels
    // of 16-bit RGBA stored raw are 8 MB).
    static constexpr uint64_t kMaxFileBytes = uint64_t(16) << 20;
    // The longest side of a size's pictures (128, 256, 512, 1024).
    static int Side(ThumbnailSize size);
    // Its folder under the cache: "normal", "large", "x-large", "xx-large".
    static const char* FolderName(ThumbnailSize size);
    static std::optional<ThumbnailSize> SizeNamed(std::string_view name);
    // The smallest size whose pictures fill an icon of `iconSide` logical
    // pixels on a screen of `devicePixelRatio`; the largest when none does.
    static ThumbnailSize SizeForIcon(int iconSide, double devicePixelRatio);

    // $XDG_CACHE_HOME/thumbnails when that is an absolute path, else
    // ~/.cache/thumbnails.
    static std::string DefaultRoot();
    explicit ThumbnailCache(std::string root = DefaultRoot());
    const std::string& Root() const { return root_; }

    // "file://" and the absolute path with every byte outside the letters,
    // digits, "/" and -._~!$&'()*+,:=@ written as %XX (upper case), as GLib
    // writes it for the desktop's file managers: the same file, the same name.
    static std::string Uri(const std::string& absolutePath);
    static std::string Md5Hex(std::string_view text);
    // The program's folder under fail/: its command and version ("vantrel-1.0").
    static std::string FailFolderName();
    std::string ThumbnailPath(const std::string& uri, ThumbnailSize size) const;
    std::string FailPath(const std::string& uri) const;

    // Fills `source` for a regular file (or a link to one); false for
    // anything else, or when it cannot be reached.
    static bool Describe(const std::string& path, ThumbnailSource& source);
    // True for a file inside the cache's own folder, which is never
    // thumbnailed (links resolved on both sides).
    bool Inside(const std::string& path) const;

    // True when a picture of this size is no larger than `size` on either
    // side: the cache holds nothing larger.
    static bool Fits(QSize picture, ThumbnailSize size);
    // True when the cache holds a thumbnail of `source` at `size` whose keys
    // match the file as it is now; its picture goes to `image` when given
    // (a picture that does not read is no thumbnail).
    bool Find(const ThumbnailSource& source, ThumbnailSize size, QImage* image = nullptr) const;
    // The thumbnail of `source` at `size` when its keys match the file as it
    // is now, by the same rules as Find (a regular file, no link, at most
    // `maxBytes`, a PNG), its pixels left for the caller to decode.
    std::optional<ThumbnailFile> Open(const ThumbnailSource& source, ThumbnailSize size,
                                      uint64_t maxBytes = kMaxFileBytes) const;
    // True when a thumbnail's Software key names this program (any version):
    // it was made by the same decoder, at its size's box, as Store writes it.
    static bool Ours(std::string_view software);
    // True when a fail entry says this very version of the file did not decode.
    bool FailedBefore(const ThumbnailSource& source) const;
    // Writes `image` (fitted to the size already) as the thumbnail of
    // `source`, with the original's size when known; the thumbnail's path,
    // or empty when it could not be written or does not fit the size.
    std::string Store(const ThumbnailSource& source, ThumbnailSize size, const QImage& image,
                      int fullWidth = 0, int fullHeight = 0) const;
    // Notes that this version of the file does not decode; a fail entry of
    // an older version is replaced. Forget removes the entry.
    bool StoreFailure(const ThumbnailSource& source) const;
    void ForgetFailure(const ThumbnailSource& source) const;

    // The file at `path` (absolute, links not followed) is gone, or its
    // pictures changed: its thumbnails at every size and its fail entries
    // (every program's) are removed.
    void Forget(const std::string& path) const;
    // The file at `from` is now at `to` (renamed or moved, the same bytes):
    // its thumbnails and fail entries go under the new name with their
    // Thumb::URI rewritten (the other keys, the pixels and any older
    // thumbnail of `to` replaced as they are); one that cannot be rewritten
    // (no PNG, another file's URI) is removed.
    void Moved(const std::string& from, const std::string& to) const;

  private:
    std::string root_;
    std::string canonicalRoot_; // links resolved, for Inside
};
