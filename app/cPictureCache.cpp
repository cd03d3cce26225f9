#include "app/cPictureCache.h"

#include <algorithm>

std::size_t cPictureCache::Bytes() const {
    std::size_t bytes = 0;
    for (const Entry& e : entries_)
        if (e.picture) bytes += std::size_t(e.picture->size());
    return bytes;
}

void cPictureCache::Put(Entry entry) {
    std::erase_if(entries_, [&](const Entry& e) {
        return e.key.path == entry.key.path &&
               (!(e.key == entry.key) ||
                (e.boxWidth == entry.boxWidth && e.boxHeight == entry.boxHeight));
    });
    const std::size_t bytes = entry.picture ? std::size_t(entry.picture->size()) : 0;
    if (!entry.picture || bytes > maxBytes_) return; // nothing, or more than all the room
    entries_.push_back(std::move(entry));
    while (entries_.size() > maxPictures_ || Bytes() > maxBytes_)
        entries_.pop_front();
}

const cPictureCache::Entry* cPictureCache::Find(const Key& key, int boxWidth, int boxHeight) {
    // Pictures of the file as it was before a change are never shown again.
    std::erase_if(entries_,
                  [&](const Entry& e) { return e.key.path == key.path && !(e.key == key); });
    const auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) {
        return e.key == key && e.boxWidth == boxWidth && e.boxHeight == boxHeight;
    });
    return it == entries_.end() ? nullptr : &*it;
}

bool cPictureCache::Holds(const std::string& path) const {
    return std::any_of(entries_.begin(), entries_.end(),
                       [&](const Entry& e) { return e.key.path == path; });
}

void cPictureCache::Drop(const std::string& path) {
    std::erase_if(entries_, [&](const Entry& e) { return e.key.path == path; });
}
