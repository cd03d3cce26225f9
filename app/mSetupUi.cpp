#include "app/mSetupUi.h"

#include "app/mSetup.h"
#include "platform/Product.h"

#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <unistd.h>

namespace mSetup {

namespace {

std::filesystem::path settingsFolder;
bool saveFailureReported = false;

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// $HOME, else the home folder the user database gives.
std::string HomeFolder() {
    std::string home = Environment("HOME");
    if (home.empty())
        if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
            home = entry->pw_dir;
    return home;
}

} // namespace

std::filesystem::path SettingsPath() {
    if (!settingsFolder.empty()) return settingsFolder / kFileName;
    const std::filesystem::path programFolder =
        QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
    return SettingsFileFor(programFolder, Environment("XDG_CONFIG_HOME"), HomeFolder());
}

void SetSettingsFolder(const std::filesystem::path& folder) {
    settingsFolder = folder;
}

SetupRecord LoadSettings() {
    return LoadSettings(SettingsPath(), [] {
        QMessageBox box(QMessageBox::Warning, QString::fromLatin1(Product::kName),
                        QStringLiteral("Configuration data file is corrupt\r\n"
                                       "Default values will be used"),
                        QMessageBox::Ok);
        box.exec();
    });
}

bool SaveSettings(const SetupRecord& record) {
    const std::filesystem::path file = SettingsPath();
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec); // the first save makes the folder
    if (SaveSettings(record, file)) return true;
    const int error = ec ? ec.value() : errno; // a folder that could not be made says most
    if (!saveFailureReported)
        std::fprintf(stderr, "%s: the settings could not be saved to %s: %s\n", Product::kCommand,
                     file.c_str(), std::strerror(error));
    saveFailureReported = true;
    return false;
}

} // namespace mSetup
