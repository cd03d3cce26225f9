#include "app/mSetupUi.h"

#include "app/mSetup.h"

#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>
#include <cstdlib>
#include <unistd.h>

namespace mSetup {

namespace {
std::filesystem::path settingsFolder;
}

std::filesystem::path SettingsPath() {
    if (!settingsFolder.empty()) return settingsFolder / kFileName;
    // Next to the program when its user can write there (a build folder, a
    // copy in the user's own folders); an installed program's folder is not
    // the user's, so the user's configuration folder takes the file.
    const std::filesystem::path programFolder =
        QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
    if (::access(programFolder.c_str(), W_OK) == 0) return programFolder / kFileName;
    std::filesystem::path config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
        config = xdg;
    else if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        config = std::filesystem::path(home) / ".config";
    else
        return programFolder / kFileName; // nowhere else to go: reads work, saves fail
    return config / "vantrel" / kFileName;
}

void SetSettingsFolder(const std::filesystem::path& folder) {
    settingsFolder = folder;
}

void LoadSettings() {
    LoadSettings(SettingsPath(), [] {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Vantrel"),
                        QStringLiteral("Configuration data file is corrupt\r\n"
                                       "Default values will be used"),
                        QMessageBox::Ok);
        box.exec();
    });
}

bool SaveSettings() {
    const std::filesystem::path file = SettingsPath();
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec); // the first save makes the folder
    return SaveSettings(file);
}

} // namespace mSetup
