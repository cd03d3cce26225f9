// What the thumbnail tests share: the desktop's thumbnail cache of one test
// (XDG_CACHE_HOME pointing into a temporary folder of its own from
// construction, before anything reads it, until destruction), and a file
// described as the cache knows it.
#pragma once

#include "TempDir.h"
#include "imaging/ThumbnailCache.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

struct CacheHome {
    TempDir dir;
    CacheHome() { ::setenv("XDG_CACHE_HOME", dir.str().c_str(), 1); }
    ~CacheHome() { ::unsetenv("XDG_CACHE_HOME"); }
    std::string Root() const { return dir.str() + "/thumbnails"; }
};

inline ThumbnailSource Described(const std::string& path) {
    ThumbnailSource source;
    EXPECT_TRUE(ThumbnailCache::Describe(path, source)) << path;
    return source;
}
