// The folders this user last copied or moved pictures to, most recent first,
// at most kMostKept: what the destination chooser offers before any other
// folder. Kept in a file of their own in the user's configuration folder,
// shared by every window and run. A folder's path is the file system's bytes
// and may hold any byte but NUL (a newline too), so each path in the file
// ends with a NUL byte. The file is read tolerantly: a short, damaged or
// huge one gives the paths that are whole, never a crash. It is written
// whole beside itself, synced and renamed over, so that a crash leaves the
// old list or the new one. The standard library and POSIX only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class DestinationList {
  public:
    static constexpr std::size_t kMostKept = 10;
    static constexpr char kFileName[] = "destinations";
    // No path is longer than the system's PATH_MAX, nor is the file read
    // further than the longest list could reach.
    static constexpr std::size_t kLongestPath = 4096;
    static constexpr std::uint64_t kLongestFile = kMostKept * (kLongestPath + 1);

    // The list kept in `file`; nothing is read until Load.
    explicit DestinationList(std::filesystem::path file);

    // The list's file for this user: `xdgConfigHome`/vantrel/destinations
    // when that is absolute, else `home`/.config/vantrel/destinations; empty
    // with neither (nothing is then kept between runs).
    static std::filesystem::path FileFor(const std::string& xdgConfigHome, const std::string& home);
    // FileFor with this process's $XDG_CONFIG_HOME and home folder.
    static std::filesystem::path UserFile();

    // Reads the file again (another window may have written it). A file
    // that is missing or cannot be read gives an empty list.
    void Load();
    // `folder` (an absolute path; trailing slashes dropped) to the front,
    // from wherever it stood; the oldest falls off past kMostKept. The file
    // is read first, so that what another window remembered meanwhile is
    // kept, then written. False, with the list in memory still changed, when
    // the file could not be written (errno says why) or `folder` is no
    // absolute path (nothing changed then).
    bool Remember(const std::string& folder);

    const std::vector<std::string>& Paths() const { return paths_; }
    const std::filesystem::path& File() const { return file_; }

    // The paths a file's bytes hold, as Load reads them.
    static std::vector<std::string> Parse(const std::string& bytes);

  private:
    bool Save() const;

    std::filesystem::path file_;
    std::vector<std::string> paths_;
};
