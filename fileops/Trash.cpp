#include "fileops/Trash.h"

// Placeholder until the trash is built: every call fails, nothing is touched.

std::string Trash::DefaultHomeTrash() {
    return {};
}
Trash::Trash(std::string homeTrash) : home_(std::move(homeTrash)) {}
std::string Trash::TopDirOf(const std::string&) {
    return {};
}
std::string Trash::FolderFor(const std::string&, std::string* why) const {
    if (why) *why = "Not built yet";
    return {};
}
Trash::Result Trash::MoveToTrash(const std::string& path) const {
    Result r;
    r.outcome.source = path;
    r.outcome.reason = "Not built yet";
    return r;
}
FileOutcome Trash::Restore(const TrashEntry& entry) const {
    FileOutcome o;
    o.source = entry.trashedFile;
    o.reason = "Not built yet";
    return o;
}
FileOutcome Trash::DeletePermanently(const std::string& path) {
    FileOutcome o;
    o.source = path;
    o.reason = "Not built yet";
    return o;
}
