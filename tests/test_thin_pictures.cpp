// Thin pictures (10000 x 1, 1 x 10000, 5000 x 3 ...) fitted into small
// boxes: a side that would round to nothing keeps 1 pixel, so every picture
// with a pixel shows something. The fit's arithmetic at its edges (the
// preview's and the animated viewer's), then real files decoded in the
// confined helper (vantrel-decoder beside the test) into a small box and made
// into thumbnails in a cache of the test's own, and another program's thin
// thumbnail read back at the size.
#include "TempDir.h"
#include "ThumbnailTestUtil.h"
#include "imaging/StillDecoder.h"
#include "imaging/ThumbnailMaker.h"
#include "imaging/cDIB.h"
#include "imaging/mScaleImage.h"
#include "tests/PixelUtil.h"

#include <FreeImage.h>
#include <QImage>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// One decoder for the test program, its helper kept from one test to the next.
StillDecoder& SharedDecoder() {
    static StillDecoder decoder;
    return decoder;
}

constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kGrey = 0x808080; // the boxes' background

// A w x h red picture saved as `format`.
std::string RedPicture(const fs::path& file, int w, int h, FREE_IMAGE_FORMAT format) {
    FIBITMAP* b = FreeImage_Allocate(w, h, 24);
    RGBQUAD red{0, 0, 255, 0};
    FreeImage_FillBackground(b, &red);
    FIBITMAP* saved = format == FIF_GIF ? FreeImage_ColorQuantize(b, FIQ_WUQUANT) : b;
    EXPECT_TRUE(FreeImage_Save(format, saved, file.c_str(), 0)) << file;
    if (saved != b) FreeImage_Unload(saved);
    FreeImage_Unload(b);
    return file.string();
}

struct Thin {
    const char* name;
    int w, h;
    FREE_IMAGE_FORMAT format;
};

// Wide and tall, one pixel and a few, in the formats whose roads differ (a
// JPEG decodes at a reduced scale first, a GIF through its palette).
constexpr Thin kThin[] = {
    {"wide.png", 10000, 1, FIF_PNG}, {"tall.png", 1, 10000, FIF_PNG},
    {"wide3.png", 5000, 3, FIF_PNG}, {"tall3.png", 3, 5000, FIF_PNG},
    {"wide.jpg", 5000, 3, FIF_JPEG}, {"tall.jpg", 3, 5000, FIF_JPEG},
    {"wide.gif", 10000, 1, FIF_GIF}, {"tall.gif", 1, 10000, FIF_GIF},
};

} // namespace

TEST(ThinPictures, FitKeepsAPixelEachWay) {
    using mScaleImage::FitInBox;
    using mScaleImage::Placement;
    const struct {
        int w, h, targetW, targetH, margin;
        bool centre;
        Placement expect;
    } rows[] = {
        {10000, 1, 128, 128, 0, true, {0, 64, 128, 1}}, // 0.0128 high; y = 63.5 to even
        {1, 10000, 128, 128, 0, true, {64, 0, 1, 128}},
        {5000, 3, 640, 480, 0, true, {0, 240, 640, 1}}, // 0.384 high
        {3, 5000, 640, 480, 0, true, {320, 0, 1, 480}}, // 0.288 wide, after the width step
        {800, 1, 400, 300, 0, true, {0, 150, 400, 1}},  // exactly half a pixel: even is 0
        {1000, 3, 400, 300, 0, true, {0, 150, 400, 1}}, // 1.2 rounds to 1 by itself
        {10000, 1, 1, 1, 0, true, {0, 0, 1, 1}},        // the smallest box
        {10000, 1, 138, 138, 10, false, {10, 10, 128, 1}},
        {3, 1, 2, 2, 0, true, {0, 0, 2, 1}},
        // No room, or no pixels: nothing to show, as before.
        {1000, 500, 0, 300, 0, true, {0, 150, 0, 0}},
        {1000, 500, 400, 0, 0, true, {200, 0, 0, 0}},
        {100, 0, 50, 50, 0, true, {0, 25, 50, 0}},
    };
    for (const auto& r : rows) {
        const Placement p = FitInBox(r.w, r.h, r.targetW, r.targetH, int16_t(r.margin), r.centre);
        EXPECT_EQ(std::vector<int>({p.x, p.y, p.width, p.height}),
                  std::vector<int>({r.expect.x, r.expect.y, r.expect.width, r.expect.height}))
            << r.w << "x" << r.h << " in " << r.targetW << "x" << r.targetH;
    }
}

// The animated viewer's fit: one ratio, offsets halved rounding down.
TEST(ThinPictures, AnimatedViewersFitKeepsAPixelEachWay) {
    const struct {
        int w, h, boxW, boxH;
        bool stretch;
        int x, y, fitW, fitH;
    } rows[] = {
        {10000, 1, 128, 128, false, 0, 63, 128, 1},
        {1, 10000, 128, 128, false, 63, 0, 1, 128},
        {5000, 3, 640, 480, false, 0, 239, 640, 1},
        {3, 5000, 640, 480, false, 319, 0, 1, 480},
        {10000, 1, 128, 128, true, 0, 63, 128, 1},
        {10, 10, 0, 5, false, 0, 2, 0, 0}, // no room: nothing
    };
    for (const auto& r : rows) {
        int x = -1, y = -1, w = -1, h = -1;
        BestFitOf(r.w, r.h, r.boxW, r.boxH, x, y, w, h, r.stretch);
        EXPECT_EQ(std::vector<int>({x, y, w, h}), std::vector<int>({r.x, r.y, r.fitW, r.fitH}))
            << r.w << "x" << r.h << " in " << r.boxW << "x" << r.boxH;
    }
}

TEST(ThinPictures, DecodeIntoASmallBox) {
    TempDir dir;
    StillDecoder& d = SharedDecoder();
    for (const Thin& t : kThin) {
        const std::string file = RedPicture(dir.path() / t.name, t.w, t.h, t.format);
        for (const MFreeImage_2::Box box : {MFreeImage_2::Box{128, 128}, {640, 480}}) {
            const auto fit = mScaleImage::FitInBox(t.w, t.h, box.width, box.height, 0, true);
            const std::string what = std::string(t.name) + " in " + std::to_string(box.width) +
                                     "x" + std::to_string(box.height);
            const DecodeResult decoded = d.Decode(file, box, kGrey);
            if (!decoded.Decoded()) {
                ADD_FAILURE() << what << " did not decode";
                continue;
            }
            PictureBox picture;
            picture.AdoptSurface(decoded.picture);
            EXPECT_EQ(picture.Width(), fit.width) << what;
            EXPECT_EQ(picture.Height(), fit.height) << what;
            EXPECT_EQ(std::min(picture.Width(), picture.Height()), 1) << what;
            EXPECT_EQ(decoded.fullWidth, t.w) << what;
            EXPECT_EQ(decoded.fullHeight, t.h) << what;
            // The picture's own colour, not the background (a JPEG's near it).
            ASSERT_TRUE(picture.Surface().lpBits()) << what;
            EXPECT_LE(
                MaxDifference(Pixel32(picture.Surface(), picture.Width() / 2, picture.Height() / 2),
                              kRed),
                40)
                << what;
        }
    }
}

TEST(ThinPictures, Thumbnails) {
    CacheHome home;
    TempDir pictures;
    ThumbnailMaker maker;
    for (const Thin& t : kThin) {
        const std::string file = RedPicture(pictures.path() / t.name, t.w, t.h, t.format);
        for (ThumbnailSize size : {ThumbnailSize::Normal, ThumbnailSize::XLarge}) {
            const int side = ThumbnailCache::Side(size);
            const auto fit = mScaleImage::FitInBox(t.w, t.h, side, side, 0, false);
            const std::string what = std::string(t.name) + " at " + std::to_string(side);
            const ThumbnailResult r = maker.Make(file, size);
            if (r.outcome != ThumbnailOutcome::Made) {
                ADD_FAILURE() << what << " made no thumbnail";
                continue;
            }
            EXPECT_EQ(r.image.size(), QSize(fit.width, fit.height)) << what;
            EXPECT_EQ(QImage(QString::fromStdString(r.file)).size(), r.image.size()) << what;
            EXPECT_EQ(r.fullWidth, t.w) << what;
            EXPECT_EQ(r.fullHeight, t.h) << what;
        }
    }
}

// Another program's thumbnail, thinner and larger than its size, is read at
// the size with a row kept rather than refused and made again.
TEST(ThinPictures, AnotherProgramsThumbnailIsReadAtTheSize) {
    CacheHome home;
    TempDir pictures;
    const std::string file = RedPicture(pictures.path() / "wide.png", 10000, 1, FIF_PNG);
    ThumbnailSource source;
    ASSERT_TRUE(ThumbnailCache::Describe(file, source));
    const ThumbnailCache cache;
    const std::string path = cache.ThumbnailPath(source.uri, ThumbnailSize::Normal);
    fs::create_directories(fs::path(path).parent_path());
    QImage blue(1024, 2, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    blue.setText("Thumb::URI", QString::fromStdString(source.uri));
    blue.setText("Thumb::MTime", QString::number(source.mtime));
    ASSERT_TRUE(blue.save(QString::fromStdString(path), "png"));
    QImage found;
    ASSERT_TRUE(cache.Find(source, ThumbnailSize::Normal, &found));
    EXPECT_EQ(found.size(), QSize(128, 1));
    EXPECT_EQ(found.pixel(64, 0) & 0xFFFFFF, 0x0000FFu);
}
