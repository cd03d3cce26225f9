// The large-icon view's thumbnails: gives a ThumbnailScheduler the list's
// rows in the order shown and the rows on screen, and the list each
// thumbnail as it comes. Works only while the large-icon view shows; a new
// folder, a new order or a change on disk gives the scheduler the new rows,
// which drops the work that no longer matters.
#pragma once

#include "browse/FileListView.h"
#include "browse/cFileView.h"
#include "imaging/ThumbnailScheduler.h"

#include <QImage>
#include <QObject>
#include <QTimer>
#include <string>
#include <vector>

class cIconThumbnails : public QObject {
    Q_OBJECT
  public:
    cIconThumbnails(FileListView* list, const cFileView& files, QObject* parent = nullptr);

    // On while the large-icon view shows; off lets every thumbnail go.
    void SetActive(bool on);
    bool Active() const { return active_; }
    // The scheduler, once the view has been shown (for tests).
    ThumbnailScheduler* Scheduler() { return scheduler_; }

  private:
    void RowsChanged();
    void GiveRows();
    void GiveShownRows();
    QImage Picture(int row) const;

    FileListView* list_;
    const cFileView& files_;
    ThumbnailScheduler* scheduler_ = nullptr;
    std::vector<std::string> paths_; // as the scheduler has them
    std::size_t folderLength_ = 0;   // of the folder's part of each path
    QTimer rowsTimer_;
    bool active_ = false;
};
