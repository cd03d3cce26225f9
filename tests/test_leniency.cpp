// One row for each kind of tolerated damage named in gif/README.md ("Damage
// that is tolerated"), with the result the list promises. The splitter share
// above 100 is the main window's: its row is in test_main_window.
#include "app/mSetup.h"
#include "gif/ByteSink.h"
#include "gif/cGIF.h"
#include "tests/GifOracle.h"
#include "tests/GifTestUtil.h"
#include "tests/TempDir.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

using oracle::CodeWriter;
using oracle::Container;

// A two-frame document (6 x 4, 4 colours), its bytes and its frames' indices.
struct Sample {
    std::vector<uint8_t> bytes;
    std::vector<std::vector<uint8_t>> indices;
    Sample() {
        oracle::GifPlan plan;
        plan.width = 6, plan.height = 4;
        plan.global = oracle::GreyRamp(4);
        for (int k = 0; k < 2; ++k) {
            oracle::FramePlan f;
            f.width = 6, f.height = 4;
            for (int i = 0; i < 24; ++i)
                f.indices.push_back(uint8_t((i * (k + 1)) % 4));
            plan.frames.push_back(f);
            indices.push_back(f.indices);
        }
        bytes = oracle::Encode(plan);
    }
};

std::vector<uint8_t> Codes(std::initializer_list<int> codes, int width = 3) {
    CodeWriter w;
    for (int c : codes)
        w.Put(c, width);
    return w.Finish();
}

struct Row {
    const char* name;
    std::function<void()> check;
};

} // namespace

TEST(Leniency, EveryNamedKindOfDamage) {
    const Sample s;
    const Row rows[] = {
        {"cut-file",
         [&] { // cut inside the second frame's data
             std::vector<uint8_t> cut(s.bytes.begin(), s.bytes.end() - 6);
             cGIF gif;
             ASSERT_TRUE(gif.LoadFromStream(cut));
             ASSERT_EQ(gif.FramesCount(), 2);
             EXPECT_EQ(FrameIndices(gif, 1), s.indices[0]);
             EXPECT_EQ(FrameIndices(gif, 2)[0], s.indices[1][0]);
         }},
        {"header-only",
         [] {
             const std::vector<uint8_t> b = {'G', 'I', 'F', '8', '9', 'a'};
             cGIF gif;
             EXPECT_TRUE(gif.LoadFromStream(b));
             EXPECT_EQ(gif.FramesCount(), 0);
         }},
        {"short-table",
         [] { // a 256-entry table with two entries present
             std::vector<uint8_t> b = {'G',  'I', 'F', '8', '9', 'a', 1, 0,   1, 0,
                                       0xF7, 0,   0,   255, 0,   0,   0, 255, 0};
             cGIF gif;
             ASSERT_TRUE(gif.LoadFromStream(b));
             EXPECT_EQ(gif.GlobalPaletteRGBEntry(1), 0x00FF00u);
             EXPECT_EQ(gif.GlobalPaletteRGBEntry(2), 0u);
         }},
        {"stray-byte",
         [&] { // a byte that starts no block, before the first frame's descriptor
             std::vector<uint8_t> b = s.bytes;
             const auto at = std::find(b.begin() + 13 + 12, b.end(), uint8_t(0x2C));
             b.insert(at, 0x55);
             cGIF gif;
             ASSERT_TRUE(gif.LoadFromStream(b));
             ASSERT_EQ(gif.FramesCount(), 2);
             EXPECT_EQ(FrameIndices(gif, 2), s.indices[1]);
         }},
        {"no-trailer",
         [&] {
             std::vector<uint8_t> b(s.bytes.begin(), s.bytes.end() - 1);
             cGIF gif;
             ASSERT_TRUE(gif.LoadFromStream(b));
             EXPECT_EQ(FrameIndices(gif, 2), s.indices[1]);
         }},
        {"lzw-no-clear",
         [] {
             cGIF gif;
             ASSERT_TRUE(gif.LoadFromStream(Container(3, 1, 2, Codes({1, 6, 5}), false, 2)));
             EXPECT_EQ(FrameIndices(gif, 1), (std::vector<uint8_t>{1, 1, 1}));
         }},
        {"lzw-bad-code",
         [] {
             cGIF gif;
             ASSERT_TRUE(gif.LoadFromStream(Container(3, 1, 2, Codes({4, 1, 7, 2, 5}), false, 2)));
             EXPECT_EQ(FrameIndices(gif, 1), (std::vector<uint8_t>{1, 0, 0}));
         }},
        {"lzw-code-size",
         [] {
             cGIF gif;
             ASSERT_TRUE(gif.LoadFromStream(Container(2, 2, 0, std::vector<uint8_t>(8, 0xAB))));
             EXPECT_EQ(FrameIndices(gif, 1), std::vector<uint8_t>(4, 0));
         }},
        {"lzw-full-table",
         [] { // roots only, past 4096 entries, no clear: as giflib decodes them
             CodeWriter w;
             int width = 3, next = 6;
             w.Put(4, width);
             std::vector<uint8_t> expected;
             for (int i = 0; i < 5000; ++i) {
                 w.Put(i % 4, width);
                 expected.push_back(uint8_t(i % 4));
                 if (i > 0 && next < 4096 && ++next > (1 << width) - 1 && width < 12) ++width;
             }
             w.Put(5, width);
             const auto file = Container(100, 50, 2, w.Finish(), false, 2);
             cGIF gif;
             ASSERT_TRUE(gif.LoadFromStream(file));
             EXPECT_EQ(FrameIndices(gif, 1), expected);
             EXPECT_EQ(oracle::Decode(file)->frames[0].indices, expected);
         }},
        {"lzw-excess",
         [] {
             cGIF gif;
             ASSERT_TRUE(gif.LoadFromStream(Container(2, 1, 2, Codes({4, 1, 2, 3, 5}), false, 2)));
             EXPECT_EQ(FrameIndices(gif, 1), (std::vector<uint8_t>{1, 2}));
         }},
        {"frame-off-screen",
         [] {
             oracle::GifPlan plan;
             plan.width = plan.height = 4;
             plan.global = oracle::GreyRamp(2);
             oracle::FramePlan f;
             f.left = f.top = 2, f.width = f.height = 4;
             f.indices.assign(16, 1);
             plan.frames.push_back(f);
             cGIF gif;
             ASSERT_TRUE(gif.LoadFromStream(oracle::Encode(plan)));
             EXPECT_EQ(gif.FrameDIBXOR(1).Width(), 4); // kept whole
             cDIB screen;
             ASSERT_TRUE(screen.Create(4, 4, 32));
             gif.FrameDraw(screen.hDC(), 1, 0, 0, 1.0f, false); // clipped
         }},
        {"too-many-frames",
         [] { // 32768 one-pixel frames
             std::vector<uint8_t> b = {'G',  'I', 'F', '8', '9', 'a', 1,   0,   1,  0,
                                       0x80, 0,   0,   0,   0,   0,   255, 255, 255};
             const std::vector<uint8_t> frame = {0x2C, 0, 0, 0, 0,    1,    0, 1,
                                                 0,    0, 2, 2, 0x4C, 0x01, 0};
             for (int i = 0; i < 32768; ++i)
                 b.insert(b.end(), frame.begin(), frame.end());
             b.push_back(0x3B);
             cGIF gif;
             ASSERT_TRUE(gif.LoadFromStream(b));
             EXPECT_EQ(gif.FramesCount(), cGIF::kMaxFrames);
         }},
        {"frame-over-budget",
         [&] {
             cGIF gif({.documentBytes = 40}); // less than one 6 x 4 frame with its mask
             ASSERT_TRUE(gif.LoadFromStream(s.bytes));
             EXPECT_EQ(gif.FrameDIBXOR(1).Width(), 6); // the size stays readable
             EXPECT_EQ(gif.FrameDIBXOR(1).lpBits(), nullptr);
         }},
        {"table-rounded-up",
         [] {
             cGIF gif;
             gif.SetScreenWidth(1);
             gif.SetScreenHeight(1);
             gif.SetGlobalPaletteExists(true);
             gif.SetGlobalPaletteEntries(6);
             VectorSink sink;
             ASSERT_TRUE(gif.SaveTo(sink));
             cGIF again;
             ASSERT_TRUE(again.LoadFromStream(sink.bytes));
             EXPECT_EQ(again.GlobalPaletteEntries(), 8);
         }},
        {"settings-short",
         [] {
             const SetupRecord r = mSetup::Decode(std::vector<uint8_t>{0xFF, 0xFF, 0x01});
             EXPECT_EQ(r.StartWithLastPath, -1);
             EXPECT_EQ(r.StartInThumbnailView, 1);
             EXPECT_EQ(r.MainWidth, 0);
         }},
        {"settings-path-past-end",
         [] {
             std::vector<uint8_t> b = mSetup::Encode(mSetup::Defaults());
             b[18] = 200; // LastPath claims 200 bytes; one is there
             EXPECT_EQ(mSetup::Decode(b).LastPath, "/");
         }},
        {"settings-empty",
         [] {
             TempDir dir;
             const auto file = dir.Write("ipsetup.dat", "");
             int warnings = 0;
             EXPECT_EQ(mSetup::LoadSettings(file, [&] { ++warnings; }), mSetup::Defaults());
             EXPECT_EQ(warnings, 1);
             EXPECT_FALSE(std::filesystem::exists(file));
         }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        r.check();
    }
}
