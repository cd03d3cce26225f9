// Pictures decoded ahead of the user, at the size the preview shows them, so
// that the next or the previous row shows at once. Each is kept under its
// file's path, size and time of last change: a file changed on disk never
// shows its old picture. Bounded by a number of pictures and by bytes; the
// oldest go first. Standard library and POSIX only.
#pragma once

#include "imaging/cDIB.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

class cPictureCache {
  public:
    static constexpr std::size_t kMaxPictures = 4;
    static constexpr std::size_t kMaxBytes = std::size_t(96)
                                             << 20; // four full-HD pictures and more

    struct Key {
        std::string path;
        uint64_t size = 0;
        int64_t changedNs = 0; // time of last change
        bool operator==(const Key&) const = default;
    };
    struct Entry {
        Key key;
        StdPicture picture;
        int fullWidth = 0, fullHeight = 0; // the original's size
    };

    explicit cPictureCache(std::size_t maxPictures = kMaxPictures, std::size_t maxBytes = kMaxBytes)
        : maxPictures_(maxPictures), maxBytes_(maxBytes) {}

    // The key of the file at `path` as it is now; false when it cannot be read.
    static bool KeyOf(const std::string& path, Key& key);

    // Keeps `entry` (replacing one of the same path); the oldest go past the bounds.
    void Put(Entry entry);
    // The picture of exactly this file as it is now, or null. One of the same
    // path whose file has changed since is dropped.
    const Entry* Find(const Key& key);
    bool Holds(const std::string& path) const;
    void Clear() { entries_.clear(); }
    std::size_t Count() const { return entries_.size(); }
    std::size_t Bytes() const;

  private:
    std::size_t maxPictures_, maxBytes_;
    std::deque<Entry> entries_; // oldest first
};
