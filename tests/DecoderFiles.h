// The picture the decoder's tests decode when any good one will do.
#pragma once

#include "TempDir.h"

#include <FreeImage.h>
#include <gtest/gtest.h>
#include <string>

// A 30 x 20 PNG written by FreeImage, red.
inline std::string GoodPicture(const TempDir& dir) {
    FIBITMAP* b = FreeImage_Allocate(30, 20, 24);
    RGBQUAD red{0, 0, 255, 0};
    FreeImage_FillBackground(b, &red);
    const std::string path = (dir.path() / "good.png").string();
    EXPECT_TRUE(FreeImage_Save(FIF_PNG, b, path.c_str()));
    FreeImage_Unload(b);
    return path;
}
