#include "browse/FolderWatcher.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

constexpr uint32_t kFileEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                 IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF |
                                 IN_ONLYDIR;
constexpr uint32_t kFolderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                   IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// Room for many events at once: each is a header and a name of at most NAME_MAX bytes.
constexpr std::size_t kReadBytes = 64 * (sizeof(inotify_event) + NAME_MAX + 1);

} // namespace

FolderWatcher::FolderWatcher(Watches what, QObject* parent) : QObject(parent), what_(what) {
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd >= 0) {
        fd_ = std::shared_ptr<const int>(new int(fd), [](const int* held) {
            ::close(*held);
            delete held;
        });
        notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &FolderWatcher::ReadEvents);
    }
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &FolderWatcher::Report);
}

FolderWatcher::~FolderWatcher() {
    delete notifier_.data(); // before its descriptor closes
}

std::function<void()> FolderWatcher::WatchOnReader(const std::string& folder) {
    readerFolder_ = Key(folder);
    const uint32_t mask = what_ == Watches::Files ? kFileEvents : kFolderEvents;
    return [fd = fd_, key = readerFolder_, mask] {
        if (fd) ::inotify_add_watch(*fd, key.c_str(), mask);
    };
}

std::string FolderWatcher::Key(const std::string& folder) {
    std::string key = folder;
    while (key.size() > 1 && key.back() == '/')
        key.pop_back();
    return key;
}

bool FolderWatcher::Watch(const std::string& folder) {
    if (!fd_) {
        errno = EMFILE;
        return false;
    }
    const std::string key = Key(folder);
    if (watchOf_.contains(key)) return true;
    const int wd = ::inotify_add_watch(*fd_, key.c_str(),
                                       what_ == Watches::Files ? kFileEvents : kFolderEvents);
    if (wd < 0) return false;
    // Two paths of one folder share a descriptor: the later one is reported.
    if (const auto old = folderOf_.find(wd); old != folderOf_.end()) watchOf_.erase(old->second);
    folderOf_[wd] = key;
    watchOf_[key] = wd;
    return true;
}

void FolderWatcher::Unwatch(const std::string& folder) {
    const auto it = watchOf_.find(Key(folder));
    if (it == watchOf_.end()) return;
    ::inotify_rm_watch(*fd_, it->second); // its last event, IN_IGNORED, finds no folder
    folderOf_.erase(it->second);
    pending_.erase(it->first);
    watchOf_.erase(it);
    if (pending_.empty()) timer_.stop();
}

void FolderWatcher::UnwatchAll() {
    while (!watchOf_.empty())
        Unwatch(watchOf_.begin()->first);
    readerFolder_.clear();
    pending_.clear();
    timer_.stop();
}

bool FolderWatcher::Watching(const std::string& folder) const {
    return watchOf_.contains(Key(folder));
}

std::vector<std::string> FolderWatcher::Folders() const {
    std::vector<std::string> folders;
    for (const auto& [folder, wd] : watchOf_)
        folders.push_back(folder);
    return folders;
}

void FolderWatcher::ReadEvents() {
    alignas(inotify_event) char buffer[kReadBytes];
    bool any = false;
    for (;;) {
        const ssize_t got = ::read(*fd_, buffer, sizeof buffer);
        if (got <= 0) break; // EAGAIN: all read
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= got;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + e->len);
            if (e->mask & IN_Q_OVERFLOW) {
                // Lost events, of any folder: each is read again whole.
                for (const auto& [wd, folder] : folderOf_)
                    pending_[folder].Add(IN_Q_OVERFLOW, 0, {});
                if (!readerFolder_.empty()) pending_[readerFolder_].Add(IN_Q_OVERFLOW, 0, {});
                any = true;
                continue;
            }
            const auto known = folderOf_.find(e->wd);
            if (known == folderOf_.end() && readerFolder_.empty()) continue; // unwatched since
            const std::string& folder = known != folderOf_.end() ? known->second : readerFolder_;
            const std::string_view name(e->name, e->len ? ::strnlen(e->name, e->len) : 0);
            // The tree cares for folders only; a file's event is none of its business.
            if (what_ == Watches::Folders && !name.empty() && !(e->mask & IN_ISDIR)) continue;
            pending_[folder].Add(e->mask, e->cookie, name);
            any = true;
            if ((e->mask & IN_IGNORED) && known != folderOf_.end()) {
                // The folder went, and its watch with it.
                watchOf_.erase(known->second);
                folderOf_.erase(known);
            }
        }
    }
    if (!any || pending_.empty()) return;
    // Reported once the burst is over, or when the longest wait is up.
    if (!timer_.isActive()) pendingSince_.start();
    const int waited = int(pendingSince_.elapsed());
    timer_.start(std::max(0, std::min(kQuietMs, kLongestWaitMs - waited)));
}

void FolderWatcher::Report() {
    std::map<std::string, FolderEvents> reports;
    reports.swap(pending_);
    for (const auto& [folder, events] : reports)
        emit changed(folder, events);
}
