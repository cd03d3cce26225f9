// Loading and saving the settings record for the running program, with the
// warning the user sees for a damaged settings file and the report of a save
// that failed.
#pragma once

#include "app/mSetup.h"

#include <filesystem>

namespace mSetup {

// The settings file of this program (mSetup::SettingsFileFor its folder,
// $XDG_CONFIG_HOME and the home folder), or the folder set below.
std::filesystem::path SettingsPath();
// Points the settings file at another folder (tests run the program this way).
void SetSettingsFolder(const std::filesystem::path& folder);

// The record SettingsPath() holds; a damaged file is said in a message box.
SetupRecord LoadSettings();
// Saves `record` to SettingsPath(), making its folder first. A failure is reported on
// standard error, the first time only, and the program goes on: the file
// that was there stays as it was.
bool SaveSettings(const SetupRecord& record);

} // namespace mSetup
