#include "platform/KeyStore.h"

#include <QFile>
#include <QStandardPaths>

namespace KeyStore {

const std::vector<std::string>& SystemInfoTools() {
    static const std::vector<std::string> tools = {
        "hardinfo",          "kinfocenter",         "gnome-system-monitor",
        "xfce4-taskmanager", "mate-system-monitor", "lxtask"};
    return tools;
}

bool GetKeyValue(uint32_t KeyRoot, const std::string& KeyName, const std::string& SubKeyRef,
                 std::string& KeyVal) {
    KeyVal.clear();
    if (KeyRoot != HKEY_LOCAL_MACHINE || KeyName != kMsInfoKey || SubKeyRef != kMsInfoValue)
        return false;
    for (const std::string& tool : SystemInfoTools()) {
        const QString found = QStandardPaths::findExecutable(QString::fromStdString(tool));
        if (!found.isEmpty()) {
            KeyVal = QFile::encodeName(found).toStdString();
            return true;
        }
    }
    return false;
}

} // namespace KeyStore
