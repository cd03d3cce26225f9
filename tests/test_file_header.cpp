// Which road a chosen file takes, decided by its first bytes alone.
#include "TempDir.h"
#include "imaging/FileHeader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

TEST(FileHeader, TheFirstThreeBytesDecide) {
    TempDir dir;
    const struct {
        const char* name;
        std::string bytes;
        PreviewRoad road;
    } rows[] = {
        {"photo.bmp", "GIF89a and more", PreviewRoad::Gif}, // a GIF under another name
        {"anim.gif", "\x89PNG\r\n", PreviewRoad::Still},    // a PNG under a GIF's name
        {"lower.gif", "gif89a", PreviewRoad::Still},        // case matters
        {"short.gif", "GI", PreviewRoad::Still},            // too short for a GIF
        {"empty.gif", "", PreviewRoad::Still},
        {"exact.gif", "GIF", PreviewRoad::Gif},
    };
    for (const auto& r : rows) {
        dir.Write(r.name, r.bytes);
        FileHeader h;
        EXPECT_EQ(ReadFileHeader((dir.path() / r.name).string(), h), r.road) << r.name;
        EXPECT_EQ(h.IsGif(), r.road == PreviewRoad::Gif) << r.name;
    }
}

TEST(FileHeader, WhatCannotBeReadLeavesTheHeaderAlone) {
    TempDir dir;
    dir.Write("good.gif", "GIF87a");
    FileHeader h;
    ASSERT_EQ(ReadFileHeader((dir.path() / "good.gif").string(), h), PreviewRoad::Gif);
    ASSERT_EQ(::mkfifo((dir.path() / "fifo.gif").c_str(), 0600), 0);
    for (const std::string& bad : {(dir.path() / "missing.gif").string(), dir.path().string(),
                                   (dir.path() / "fifo.gif").string(), std::string("/dev/zero")}) {
        EXPECT_EQ(ReadFileHeader(bad, h), PreviewRoad::Unreadable) << bad;
        EXPECT_TRUE(h.IsGif()) << bad; // the header read before stays
    }
    FileHeader fresh;
    EXPECT_FALSE(fresh.IsGif()); // all zero before any file is chosen
}
