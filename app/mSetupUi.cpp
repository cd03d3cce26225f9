#include "app/mSetupUi.h"

#include "app/mSetup.h"

#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>

namespace mSetup {

namespace {
std::filesystem::path settingsFolder;
}

std::filesystem::path SettingsPath() {
    std::filesystem::path folder = settingsFolder;
    if (folder.empty())
        folder = QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
    return folder / kFileName;
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
    return SaveSettings(SettingsPath());
}

} // namespace mSetup
