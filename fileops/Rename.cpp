#include "fileops/Rename.h"

// Placeholder until renaming is built.

std::string RefuseNewName(const std::string&, const std::string&, const std::string&) {
    return "Not built yet";
}
bool ExtensionChanges(const std::string&, const std::string&) {
    return false;
}
FileOutcome RenameFile(const std::string& path, const std::string&) {
    FileOutcome o;
    o.source = path;
    o.reason = "Not built yet";
    return o;
}
