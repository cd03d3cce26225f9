#include "app/mSetup.h"
#include "tests/TempDir.h"

#include <cerrno>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

    EXPECT_EQ(mSetup::LoadSettings(file, warn), mSetup::Defaults());
    EXPECT_EQ(warnings, 0);
    EXPECT_FALSE(std::filesystem::exists(file)) << "a missing file must not be created";

    dir.Write("ipsetup.dat", "");
    EXPECT_EQ(mSetup::LoadSettings(file, warn), mSetup::Defaults());
    EXPECT_EQ(warnings, 1);
    EXPECT_FALSE(std::filesystem::exists(file));
    mSetup::LoadSettings(file, warn); // the next start does not warn again
    EXPECT_EQ(warnings, 1);

    SetupRecord stored = mSetup::Defaults();
    stored.MainWidth = 12000;
    stored.LastPath = "/home";
    ASSERT_TRUE(mSetup::SaveSettings(stored, file));
    EXPECT_EQ(mSetup::LoadSettings(file, warn), stored);
    EXPECT_EQ(warnings, 1);
}

TEST(Settings, SaveReplacesTheWholeRecordAndLeavesNoTemporaryFile) {
    TempDir dir;
    const auto file = dir.Write("ipsetup.dat", std::string(100, 'Z'));
    ASSERT_TRUE(mSetup::SaveSettings(mSetup::Defaults(), file));
    EXPECT_EQ(TempDir::Read(file), Bytes(mSetup::Encode(mSetup::Defaults())));
    int entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(Settings, UnusableSettingsFilesGiveDefaultsWithoutHarm) {
    TempDir dir;
    EXPECT_FALSE(
        mSetup::SaveSettings(mSetup::Defaults(), dir.path() / "no-such-folder" / "ipsetup.dat"));
    EXPECT_EQ(errno, ENOENT); // the failure says why, for the report
    // A folder where the file should be: read as missing, and a save fails.
    const auto folder = dir.path() / "ipsetup.dat";
    std::filesystem::create_directory(folder);
    int warnings = 0;
    EXPECT_EQ(mSetup::LoadSettings(folder, [&] { ++warnings; }), mSetup::Defaults());
    EXPECT_EQ(warnings, 0);
    EXPECT_FALSE(mSetup::SaveSettings(mSetup::Defaults(), folder));
    EXPECT_EQ(errno, EISDIR);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

// Runs `body` as an unprivileged user (nobody) in a child process when the
// tests run as root, else in this process. Its result: 0 passed, 1 failed,
// 2 the case cannot be set up here.
int AsUnprivilegedUser(const std::function<int()>& body) {
    if (::geteuid() != 0) return body();
    const pid_t pid = ::fork();
    if (pid == 0) {
        constexpr uid_t kNobody = 65534;
        const bool dropped = ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
        ::_exit(dropped ? body() : 2);
    }
    int status = 0;
    if (pid <= 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return 1;
    return WEXITSTATUS(status);
}

SetupRecord Stored() {
    SetupRecord r = mSetup::Defaults();
    r.MainWidth = 12345;
    r.LastPath = "/home/someone/Pictures";
    return r;
}

TEST(SettingsSave, AFileThatCannotBeReadIsKept) {
    TempDir dir;
    ::chmod(dir.path().c_str(), 0777); // the folder is not what stops the save
    const std::string kept = Bytes(mSetup::Encode(Stored()));
    const auto file = dir.Write("ipsetup.dat", kept);
    ::chmod(file.c_str(), 0);
    const int result = AsUnprivilegedUser([&] {
        // The file must be there for this user, and unreadable to it.
        if (::access(file.c_str(), F_OK) != 0 || ::access(file.c_str(), R_OK) == 0) return 2;
        SetupRecord setup = mSetup::LoadSettings(file, [] {});
        const bool defaults = setup == mSetup::Defaults();
        setup.MainWidth = 1; // what an exit would store
        return defaults && !mSetup::SaveSettings(setup, file) ? 0 : 1;
    });
    ::chmod(file.c_str(), 0600);
    if (result == 2) GTEST_SKIP() << "no unprivileged user can reach " << dir.path();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(TempDir::Read(file), kept);
}

TEST(SettingsSave, AReadOnlyFileIsLeftAsItIs) {
    TempDir dir;
    const std::string kept = Bytes(mSetup::Encode(Stored()));
    const auto file = dir.Write("ipsetup.dat", kept);
    ::chmod(file.c_str(), 0444);
    EXPECT_FALSE(
        mSetup::SaveSettings(mSetup::Defaults(), file)); // also as root, who could write it
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(TempDir::Read(file), kept);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    int entries = 0; // no temporary file left behind
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(SettingsSave, ALinkKeepsPointingAtItsTarget) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "dotfiles");
    const auto real = dir.Write("dotfiles/vantrel.dat", Bytes(mSetup::Encode(Stored())));
    ::chmod(real.c_str(), 0600);
    const auto link = dir.path() / "ipsetup.dat";
    std::filesystem::create_symlink("dotfiles/vantrel.dat", link);
    SetupRecord setup = mSetup::Defaults();
    setup.MainWidth = 9000;
    ASSERT_TRUE(mSetup::SaveSettings(setup, link));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(TempDir::Read(real), Bytes(mSetup::Encode(setup)));
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u); // the target keeps its permissions
    // A link whose target is missing: the target is created, the link stays.
    std::filesystem::remove(real);
    ASSERT_TRUE(mSetup::SaveSettings(setup, link));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(TempDir::Read(real), Bytes(mSetup::Encode(setup)));
    // An empty target is reported once and removed; the link stays.
    dir.Write("dotfiles/vantrel.dat", "");
    int warnings = 0;
    mSetup::LoadSettings(link, [&] { ++warnings; });
    EXPECT_EQ(warnings, 1);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
}

TEST(SettingsPlace, BesideTheProgramOnlyInABuildTreeOrWhereTheFileAlreadyIs) {
    enum class Where { Beside, Xdg, HomeConfig };
    struct Row {
        const char* name;
        const char* mark; // a file made first, relative to the prefix, or null
        mode_t markMode;  // its permissions
        const char* xdg;  // $XDG_CONFIG_HOME, "@" for the test's own absolute one
        bool home;        // $HOME set
        Where expected;
    };
    const Row rows[] = {
        {"installed, writable prefix", nullptr, 0, "@", true, Where::Xdg},
        {"installed, no XDG_CONFIG_HOME", nullptr, 0, "", true, Where::HomeConfig},
        {"installed, relative XDG_CONFIG_HOME", nullptr, 0, "cfg", true, Where::HomeConfig},
        {"installed, no configuration folder known", nullptr, 0, "", false, Where::Beside},
        {"build tree", "bin/CMakeCache.txt", 0644, "@", true, Where::Beside},
        {"build tree, program in a subfolder", "CMakeCache.txt", 0644, "@", true, Where::Beside},
        {"settings kept beside the program", "bin/ipsetup.dat", 0644, "@", true, Where::Beside},
        {"read-only settings beside the program", "bin/ipsetup.dat", 0444, "@", true, Where::Xdg},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.markMode == 0444 && ::geteuid() == 0) continue; // root may write it anyway
        TempDir dir;
        const auto prefix = dir.path() / "prefix";
        const auto bin = prefix / "bin";
        std::filesystem::create_directories(bin);
        if (row.mark) {
            const auto mark = dir.Write(std::string("prefix/") + row.mark, "x");
            ::chmod(mark.c_str(), row.markMode);
        }
        const std::string xdg =
            std::string(row.xdg) == "@" ? (dir.path() / "xdg").string() : row.xdg;
        const std::string home = row.home ? (dir.path() / "home").string() : "";
        const std::filesystem::path expected =
            row.expected == Where::Beside ? bin / "ipsetup.dat"
            : row.expected == Where::Xdg  ? dir.path() / "xdg/vantrel/ipsetup.dat"
                                          : dir.path() / "home/.config/vantrel/ipsetup.dat";
        EXPECT_EQ(mSetup::SettingsFileFor(bin, xdg, home), expected);
    }
}

TEST(Settings, TwipsFieldsRoundHalvesToEvenAndClamp) {
    EXPECT_EQ(mSetup::ToTwipsField(9045.0), 9045);
    EXPECT_EQ(mSetup::ToTwipsField(100.5), 100);
    EXPECT_EQ(mSetup::ToTwipsField(101.5), 102);
    EXPECT_EQ(mSetup::ToTwipsField(40000.0), 32767);
    EXPECT_EQ(mSetup::ToTwipsField(-40000.0), -32768);
}

} // namespace

TEST(Settings, AFirstStartOpensThePicturesFolderElseHome) {
    TempDir dir;
    const std::string pictures = (dir.path() / "Pictures").string();
    const std::string home = dir.path().string();
    const std::string file = (dir.path() / "file").string();
    dir.Write("file", "");
    EXPECT_EQ(mSetup::FirstStartFolder(pictures, home), home); // no Pictures folder yet
    std::filesystem::create_directory(pictures);
    EXPECT_EQ(mSetup::FirstStartFolder(pictures, home), pictures);
    // Neither a file, a relative path nor nothing is a place to start.
    EXPECT_EQ(mSetup::FirstStartFolder(file, home), home);
    EXPECT_EQ(mSetup::FirstStartFolder("Pictures", home), home);
    EXPECT_EQ(mSetup::FirstStartFolder("", ""), "/");
    EXPECT_EQ(mSetup::FirstStartFolder(file, file), "/");
}
