// The persistent settings of Vantrel: one fixed binary record, kept in memory
// for the whole run by the program's start-up, handed to the windows that use
// it, and stored in `ipsetup.dat` (see SettingsFileFor).
// This header is the only place that knows the record's layout and defaults.
// Standard library only, so the fuzzer and the core tests use it without Qt.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

struct SetupRecord {
    int16_t StartWithLastPath = 0;
    int16_t StartInThumbnailView = 0;
    int16_t VSplitOrientation = 0;
    int16_t HSplitOrientation = 0;
    int16_t ReservedValue = 0;
    int16_t MainWidth = 0;  // twips
    int16_t MainHeight = 0; // twips
    uint8_t HSplitPercent = 0;
    uint8_t VSplitPercent = 0;
    int16_t MainWindowState = 0; // 0 normal, 2 maximised
    std::string LastPath;        // file-system bytes, no terminator

    bool operator==(const SetupRecord&) const = default;
};

namespace mSetup {

constexpr int16_t kTrue = -1;
constexpr int16_t kFalse = 0;
constexpr int16_t kWindowNormal = 0;
constexpr int16_t kWindowMaximised = 2;
constexpr std::size_t kFixedBytes = 20; // every field before the LastPath text
constexpr char kFileName[] = "ipsetup.dat";

SetupRecord Defaults();

// Where a first start (no settings file yet) opens, as if it were the stored
// path: the user's Pictures folder when it is one, else the home folder,
// else the root. The root the defaults store holds no pictures on a desktop.
std::string FirstStartFolder(const std::string& pictures, const std::string& home);

// The record as it stands in the file: little-endian, no padding.
std::vector<uint8_t> Encode(const SetupRecord& record);

// Reads a record from the start of `bytes`. Fields the bytes do not reach stay
// zero; a LastPath length that runs past the end takes the text that is there.
SetupRecord Decode(std::span<const uint8_t> bytes);

// A pixel or twips measure as a stored 16-bit twips field: rounded halves to
// even and clamped to the field's range, so an oversized window still saves.
int16_t ToTwipsField(double twips);

// The record `file` holds. A missing or unreadable file means defaults and
// leaves no file behind; an empty file calls `warnCorrupt` once, is deleted and
// gives defaults.
SetupRecord LoadSettings(const std::filesystem::path& file,
                         const std::function<void()>& warnCorrupt);

// Writes `record` to `file` through a temporary file in the same folder renamed
// over it, so a failed write never leaves a torn record. A symbolic link keeps
// pointing where it did: the file it names is written. A file that exists but
// cannot be read, or that is read-only, is left as it is. False on failure,
// with errno saying why.
bool SaveSettings(const SetupRecord& record, const std::filesystem::path& file);

// A folder is a build tree when it or its parent holds this file.
constexpr char kBuildTreeMark[] = "CMakeCache.txt";

// The settings file of a program run from `programFolder`. Beside the program
// in a build tree, or where an `ipsetup.dat` that its user can write already
// lies there (a copy kept with its settings); an installed program's folder
// is no place for one user's settings, so otherwise the user's configuration
// folder: `xdgConfigHome`/vantrel/ when that is absolute, else
// `home`/.config/vantrel/. With neither, beside the program.
std::filesystem::path SettingsFileFor(const std::filesystem::path& programFolder,
                                      const std::string& xdgConfigHome, const std::string& home);

// This program's folder in the user's configuration folder:
// `xdgConfigHome`/vantrel when that is absolute, else `home`/.config/vantrel;
// empty with neither.
std::filesystem::path UserConfigFolder(const std::string& xdgConfigHome, const std::string& home);

} // namespace mSetup
