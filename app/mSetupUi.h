// Loading and saving the settings record from the program's own folder, with
// the warning the user sees for a damaged settings file.
#pragma once

#include <filesystem>

namespace mSetup {

// The settings file: `ipsetup.dat` in the folder of the executable when its
// user can write there, else in $XDG_CONFIG_HOME/vantrel/ (~/.config/vantrel/).
std::filesystem::path SettingsPath();
// Points the settings file at another folder (tests run the program this way).
void SetSettingsFolder(const std::filesystem::path& folder);

void LoadSettings();
bool SaveSettings();

} // namespace mSetup
