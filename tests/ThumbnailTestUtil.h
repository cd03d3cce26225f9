// What the thumbnail tests share: the desktop's thumbnail cache of one test
// (XDG_CACHE_HOME pointing into a temporary folder of its own from
// construction, before anything reads it, until destruction), a file
// described as the cache knows it, and a PNG's pixels as FreeImage reads
// them, to compare with.
#pragma once

#include "PixelUtil.h"
#include "TempDir.h"
#include "imaging/MFreeImage_2.h"
#include "imaging/ThumbnailCache.h"

#include <FreeImage.h>
#include <QByteArray>
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

// The PNG as FreeImage reads it, onto a surface of `background` as the
// program lays every FreeImage picture.
inline PictureBox ReadByFreeImage(QByteArray png, uint32_t background) {
    FIMEMORY* memory = FreeImage_OpenMemory(reinterpret_cast<BYTE*>(png.data()), DWORD(png.size()));
    FIBITMAP* b = FreeImage_LoadFromMemory(FIF_PNG, memory, 0);
    FreeImage_CloseMemory(memory);
    PictureBox box;
    box.SetBackColor(background);
    EXPECT_NE(b, nullptr);
    if (!b) return box;
    FIBITMAP* shown = MFreeImage_2::ToDisplayable(b);
    const int w = int(FreeImage_GetWidth(b)), h = int(FreeImage_GetHeight(b));
    EXPECT_TRUE(box.SetSize(w, h));
    box.Cls();
    MFreeImage_2::DrawBitmapToDC(shown, box.hDC(), w, h);
    if (shown != b) FreeImage_Unload(shown);
    FreeImage_Unload(b);
    return box;
}

// The first pixel where two surfaces differ (colour only), or "" when none does.
inline std::string FirstDifference(const cDIB& a, const cDIB& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return "sizes " + std::to_string(a.Width()) + "x" + std::to_string(a.Height()) + " and " +
               std::to_string(b.Width()) + "x" + std::to_string(b.Height());
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if ((Pixel32(a, x, y) ^ Pixel32(b, x, y)) & 0xFFFFFF)
                return "pixel " + std::to_string(x) + "," + std::to_string(y);
    return "";
}
