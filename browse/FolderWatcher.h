// Watches folders through inotify and reports what changed in each, gathered:
// the events of a burst (a copy of thousands of files) come as one report
// once nothing has come for kQuietMs, and a burst that goes on is reported
// at least every kLongestWaitMs. While nothing changes nothing runs: the
// descriptor wakes the event loop only when the kernel has events, and the
// gathering timer runs only while a report is pending. The file list watches
// its folder's files, the folder tree the folders of its expanded branches.
#pragma once

#include "browse/FolderChanges.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class FolderWatcher : public QObject {
    Q_OBJECT
  public:
    enum class Watches {
        Files,   // files made, removed, renamed, written and touched; the folder itself
        Folders, // folders made, removed and renamed
    };
    static constexpr int kQuietMs = 150;
    static constexpr int kLongestWaitMs = 1000;

    explicit FolderWatcher(Watches what, QObject* parent = nullptr);
    ~FolderWatcher() override;

    // Starts watching `folder` (the file system's bytes; a trailing "/" or
    // none). False, with errno set, when it cannot be watched (gone, no
    // rights, the system's limit of watches reached).
    bool Watch(const std::string& folder);
    void Unwatch(const std::string& folder);
    void UnwatchAll();
    bool Watching(const std::string& folder) const;
    // The folders watched, without a trailing "/" (except the root).
    std::vector<std::string> Folders() const;
    // A report is pending: the gathering timer runs.
    bool Gathering() const { return timer_.isActive(); }

    // For a folder read on another thread: a call that watches `folder`,
    // made on that thread just before the folder is read, since watching a
    // folder of many files takes the system a while. Every event of a watch
    // added so is `folder`'s. The call holds the watcher's descriptor open
    // for as long as it lives; made after the watcher is gone, it watches
    // nothing that anyone reads.
    std::function<void()> WatchOnReader(const std::string& folder);

  signals:
    // What changed in `folder` (as given to Watch) since the last report.
    void changed(const std::string& folder, const FolderEvents& events);

  private:
    void ReadEvents();
    void Report();
    static std::string Key(const std::string& folder);

    Watches what_;
    std::shared_ptr<const int> fd_; // closed when the last holder lets go
    std::string readerFolder_;      // of the watches added by WatchOnReader
    QPointer<QSocketNotifier> notifier_;
    QTimer timer_;
    QElapsedTimer pendingSince_;
    std::unordered_map<int, std::string> folderOf_; // watch descriptor -> folder
    std::map<std::string, int> watchOf_;            // folder -> watch descriptor
    std::map<std::string, FolderEvents> pending_;   // by folder
};
