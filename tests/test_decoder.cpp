// Still pictures decoded in the confined helper: damaged files that crash or
// hang a decoder end only the helper, the next picture decodes at once, the
// helper cannot open files by name, and without a helper the program
// decodes by itself.
#include "TempDir.h"
#include "imaging/StillDecoder.h"
#include "tests/PixelUtil.h"

#include <FreeImage.h>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

namespace {

const std::string kSamples = VANTREL_DAMAGED_SAMPLES;

// A 30 x 20 PNG written by FreeImage, red.
std::string GoodPicture(const TempDir& dir) {
    FIBITMAP* b = FreeImage_Allocate(30, 20, 24);
    RGBQUAD red{0, 0, 255, 0};
    FreeImage_FillBackground(b, &red);
    const std::string path = (dir.path() / "good.png").string();
    EXPECT_TRUE(FreeImage_Save(FIF_PNG, b, path.c_str()));
    FreeImage_Unload(b);
    return path;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

TEST(Decoder, DamagedFilesEndOnlyTheHelper) {
    TempDir dir;
    const std::string good = GoodPicture(dir);
    StillDecoder& d = StillDecoder::Shared();
    ASSERT_TRUE(d.HelperAvailable());
    for (const char* name : {"psd-rle-heap-overflow.psd", "ico-bitcount-0x4000.ico",
                             "hdr-negative-height.hdr", "hang-xbm-width-2147483647.xbm"}) {
        PictureBox box;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(d.Decode(kSamples + "/" + name, box)) << name;
        EXPECT_LT(Seconds(start), 12.0) << name;
        EXPECT_EQ(box.Width(), 0) << name;
        // The next good picture shows at once.
        PictureBox next;
        ASSERT_TRUE(d.Decode(good, next)) << "after " << name;
        EXPECT_EQ(next.Width(), 30);
        EXPECT_EQ(Pixel32(next.Surface(), 29, 19), 0xFF0000u);
    }
}

TEST(Decoder, TheHelperOpensNothingByName) {
    StillDecoder& d = StillDecoder::Shared();
    EXPECT_EQ(d.HelperOpenError("/etc/passwd"), EACCES);
    EXPECT_EQ(d.HelperOpenError(VANTREL_DAMAGED_SAMPLES "/NOTES.md"), EACCES);
}

TEST(Decoder, LimitsAndReplacement) {
    TempDir dir;
    const std::string good = GoodPicture(dir);
    StillDecoder& d = StillDecoder::Shared();
    PictureBox box;
    ASSERT_TRUE(d.Decode(good, box));
    // A helper that died between pictures is replaced; the picture still decodes.
    const pid_t first = d.HelperPid();
    ASSERT_GT(first, 0);
    ::kill(first, SIGKILL);
    // Until it has died (a zombie, not yet reaped by the decoder).
    for (int i = 0; i < 200; ++i) {
        std::ifstream stat("/proc/" + std::to_string(first) + "/stat");
        std::string pid, name, state;
        stat >> pid >> name >> state;
        if (state == "Z" || !stat) break;
        ::usleep(5000);
    }
    PictureBox again;
    EXPECT_TRUE(d.Decode(good, again));
    EXPECT_NE(d.HelperPid(), first);
    // A picture abandoned half-way stops the helper; the next one is fine.
    ASSERT_TRUE(d.Begin(good, 0));
    d.Abandon();
    EXPECT_TRUE(d.Decode(good, again));
    // What cannot be a file fails at once, without the helper.
    EXPECT_FALSE(d.Decode(dir.path().string(), again));
    EXPECT_FALSE(d.Decode((dir.path() / "missing.png").string(), again));
    EXPECT_EQ(again.Width(), 30); // the earlier picture stays
}

TEST(Decoder, WithoutTheHelperThePictureDecodesHere) {
    TempDir dir;
    const std::string good = GoodPicture(dir);
    StillDecoder& d = StillDecoder::Shared();
    d.SetHelperPath((dir.path() / "no-such-helper").string());
    PictureBox box;
    EXPECT_TRUE(d.Decode(good, box));
    EXPECT_EQ(box.Height(), 20);
    d.SetHelperPath(""); // back to the one beside the executable
}
