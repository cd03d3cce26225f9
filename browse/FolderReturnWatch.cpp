#include "browse/FolderReturnWatch.h"

#include "platform/Files.h"

FolderReturnWatch::FolderReturnWatch(const std::string& folder, QObject* parent)
    : QObject(parent), folder_(folder) {
    while (folder_.size() > 1 && folder_.back() == '/')
        folder_.pop_back();
    // Whatever a report says, the disk is looked at again as it is now.
    connect(&watcher_, &FolderWatcher::changed, this, &FolderReturnWatch::Look);
}

void FolderReturnWatch::Start() {
    QMetaObject::invokeMethod(this, &FolderReturnWatch::Look, Qt::QueuedConnection);
}

std::string FolderReturnWatch::NearestAbove() const {
    std::string above = folder_;
    while (!above.empty()) {
        const std::size_t slash = above.rfind('/');
        if (slash == std::string::npos) return {};
        above.resize(slash == 0 ? 1 : slash);
        if (Files::IsFolder(above)) return above;
        if (above == "/") return {};
    }
    return {};
}

void FolderReturnWatch::Look() {
    for (;;) {
        watcher_.UnwatchAll(); // a watch anew each time: the one above may be another folder now
        watched_.clear();
        if (Files::IsFolder(folder_)) {
            emit arrived();
            return;
        }
        const std::string above = NearestAbove();
        if (above.empty() || !watcher_.Watch(above)) return; // nothing to watch: given up
        watched_ = above;
        // A folder made before the watch was there brings no event: looked
        // at once more, with the watch in place.
        if (!Files::IsFolder(folder_) && NearestAbove() == above) return;
    }
}
