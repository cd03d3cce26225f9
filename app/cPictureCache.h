// Pictures decoded ahead of the user, at the size the preview shows them, so
// that the next or the previous row shows at once; and the chosen picture at
// the screen's size, which a resized pane is drawn from until its own
// picture comes. Each is kept under its file's path, size and time of last
// change, and the box it was fitted into: a file changed on disk never shows
// its old picture. Bounded by a number of pictures and by bytes; the oldest
// go first. Standard library only.
#pragma once

#include "imaging/cDIB.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

class cPictureCache {
  public:
    // The chosen picture at the pane's and the screen's size, its two
    // neighbours, and the pictures chosen just before.
    static constexpr std::size_t kMaxPictures = 6;
    static constexpr std::size_t kMaxBytes = std::size_t(96) << 20; // six 4K-screen pictures

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
        int boxWidth = 0, boxHeight = 0;   // the box it was fitted into (0: none)
        bool cameraPreview = false;        // a camera's embedded preview of its raw picture
    };

    explicit cPictureCache(std::size_t maxPictures = kMaxPictures, std::size_t maxBytes = kMaxBytes)
        : maxPictures_(maxPictures), maxBytes_(maxBytes) {}

    // Keeps `entry` (replacing one of the same path and box); the oldest go
    // past the bounds.
    void Put(Entry entry);
    // The picture of exactly this file as it is now, fitted into this box, or
    // null. Those of the same path whose file has changed since are dropped.
    const Entry* Find(const Key& key, int boxWidth, int boxHeight);
    bool Holds(const std::string& path) const;
    // Forgets every picture of `path` (its file changed, went or was renamed).
    void Drop(const std::string& path);
    void Clear() { entries_.clear(); }
    std::size_t Count() const { return entries_.size(); }
    std::size_t Bytes() const;

  private:
    std::size_t maxPictures_, maxBytes_;
    std::deque<Entry> entries_; // oldest first
};
