// Waits for a folder that is not there to be there (again): the nearest
// folder above it that exists is watched for folders made or moved in, and
// the watch steps down as each missing folder on the way comes, so that
// `arrived` is emitted once the folder itself exists, however deep the part
// that went. The file list uses one for a folder it could not list because
// it was gone, to list it again when it is made again. Nothing runs while
// nothing changes above it.
#pragma once

#include "browse/FolderWatcher.h"

#include <QObject>
#include <string>

class FolderReturnWatch : public QObject {
    Q_OBJECT
  public:
    // Watches for `folder` (the file system's bytes, a trailing "/" or none).
    explicit FolderReturnWatch(const std::string& folder, QObject* parent = nullptr);
    // Looks at the disk and watches; `arrived` comes at once (queued) when
    // the folder is there already.
    void Start();
    // The folder above it watched now; empty when none can be watched.
    const std::string& Watched() const { return watched_; }

  signals:
    void arrived();

  private:
    // The nearest folder above `folder_` that exists.
    std::string NearestAbove() const;
    void Look();

    std::string folder_;
    std::string watched_;
    FolderWatcher watcher_{FolderWatcher::Watches::Folders};
};
