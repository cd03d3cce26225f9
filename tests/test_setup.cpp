#include "app/mSetup.h"
#include "tests/TempDir.h"

#include <gtest/gtest.h>

namespace {

std::string Bytes(const std::vector<uint8_t>& v) {
    return std::string(v.begin(), v.end());
}

TEST(Settings, DefaultRecordLayoutIsTwentyOneBytesLittleEndian) {
    const std::string b = Bytes(mSetup::Encode(mSetup::Defaults()));
    const std::string expected("\x00\x00"   // StartWithLastPath false
                               "\xFF\xFF"   // StartInThumbnailView true
                               "\x00\x00"   // VSplitOrientation
                               "\xFF\xFF"   // HSplitOrientation true
                               "\x01\x00"   // ReservedValue
                               "\x55\x23"   // MainWidth 9045
                               "\x4D\x1C"   // MainHeight 7245
                               "\x32\x32"   // split percents 50, 50
                               "\x00\x00"   // MainWindowState
                               "\x01\x00/", // LastPath
                               21);
    EXPECT_EQ(b, expected);
}

TEST(Settings, EncodeDecodeRoundTripsEveryField) {
    SetupRecord r;
    r.StartWithLastPath = -1;
    r.StartInThumbnailView = 0;
    r.VSplitOrientation = -7;
    r.HSplitOrientation = 0;
    r.ReservedValue = 12345;
    r.MainWidth = 32767;
    r.MainHeight = -32768;
    r.HSplitPercent = 255;
    r.VSplitPercent = 0;
    r.MainWindowState = 2;
    r.LastPath = std::string("/photos/\xff\xfe odd name", 20);
    const auto bytes = mSetup::Encode(r);
    EXPECT_EQ(bytes.size(), 20u + r.LastPath.size());
    EXPECT_EQ(mSetup::Decode(bytes), r);
}

TEST(Settings, ShortFilesReadTheFieldsTheyReach) {
    const auto full = mSetup::Encode(mSetup::Defaults());
    // 11 bytes: up to the first byte of MainWidth.
    SetupRecord r = mSetup::Decode(std::span(full).first(11));
    EXPECT_EQ(r.StartInThumbnailView, -1);
    EXPECT_EQ(r.ReservedValue, 1);
    EXPECT_EQ(r.MainWidth, 0x55); // low byte only: the high byte is beyond the file
    EXPECT_EQ(r.MainHeight, 0);
    EXPECT_EQ(r.HSplitPercent, 0);
    EXPECT_TRUE(r.LastPath.empty());

    // A length field that runs past the end takes the text that is there.
    std::vector<uint8_t> cut = full;
    cut[18] = 200;
    cut.push_back('x');
    r = mSetup::Decode(cut);
    EXPECT_EQ(r.LastPath, "/x");

    // Bytes after the record are ignored.
    std::vector<uint8_t> tail = full;
    tail.insert(tail.end(), {'j', 'u', 'n', 'k'});
    EXPECT_EQ(mSetup::Decode(tail), mSetup::Defaults());
}

TEST(Settings, LoadHandlesMissingEmptyAndGoodFiles) {
    TempDir dir;
    const auto file = dir.path() / "ipsetup.dat";
    int warnings = 0;
    auto warn = [&] { ++warnings; };

    ::Setup = SetupRecord{};
    mSetup::LoadSettings(file, warn);
    EXPECT_EQ(::Setup, mSetup::Defaults());
    EXPECT_EQ(warnings, 0);
    EXPECT_FALSE(std::filesystem::exists(file)) << "a missing file must not be created";

    dir.Write("ipsetup.dat", "");
    mSetup::LoadSettings(file, warn);
    EXPECT_EQ(warnings, 1);
    EXPECT_EQ(::Setup, mSetup::Defaults());
    EXPECT_FALSE(std::filesystem::exists(file));
    mSetup::LoadSettings(file, warn); // the next start does not warn again
    EXPECT_EQ(warnings, 1);

    SetupRecord stored = mSetup::Defaults();
    stored.MainWidth = 12000;
    stored.LastPath = "/home";
    ::Setup = stored;
    ASSERT_TRUE(mSetup::SaveSettings(file));
    ::Setup = SetupRecord{};
    mSetup::LoadSettings(file, warn);
    EXPECT_EQ(::Setup, stored);
    EXPECT_EQ(warnings, 1);
}

TEST(Settings, SaveReplacesTheWholeRecordAndLeavesNoTemporaryFile) {
    TempDir dir;
    const auto file = dir.Write("ipsetup.dat", std::string(100, 'Z'));
    ::Setup = mSetup::Defaults();
    ASSERT_TRUE(mSetup::SaveSettings(file));
    EXPECT_EQ(TempDir::Read(file), Bytes(mSetup::Encode(::Setup)));
    int entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(Settings, UnusableSettingsFilesGiveDefaultsWithoutHarm) {
    TempDir dir;
    ::Setup = mSetup::Defaults();
    EXPECT_FALSE(mSetup::SaveSettings(dir.path() / "no-such-folder" / "ipsetup.dat"));
    // A folder where the file should be: read as missing, and a save fails.
    const auto folder = dir.path() / "ipsetup.dat";
    std::filesystem::create_directory(folder);
    ::Setup = SetupRecord{};
    int warnings = 0;
    mSetup::LoadSettings(folder, [&] { ++warnings; });
    EXPECT_EQ(::Setup, mSetup::Defaults());
    EXPECT_EQ(warnings, 0);
    EXPECT_FALSE(mSetup::SaveSettings(folder));
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

TEST(Settings, TwipsFieldsRoundHalvesToEvenAndClamp) {
    EXPECT_EQ(mSetup::ToTwipsField(9045.0), 9045);
    EXPECT_EQ(mSetup::ToTwipsField(100.5), 100);
    EXPECT_EQ(mSetup::ToTwipsField(101.5), 102);
    EXPECT_EQ(mSetup::ToTwipsField(40000.0), 32767);
    EXPECT_EQ(mSetup::ToTwipsField(-40000.0), -32768);
}

} // namespace
