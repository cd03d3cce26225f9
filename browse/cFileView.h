// Fills the main window's file list with the files of one folder that match
// the current wildcard pattern: name, size, type and date modified, with the
// shared icon of the file's type. The main window creates one, binds it to
// `lvFiles` and calls `ListFiles` whenever the current folder is listed.
#pragma once

#include "browse/FileListView.h"
#include "browse/PathMatchSpec.h"

#include <QPointer>
#include <string>

class cFileView {
  public:
    cFileView() : matcher_(pattern_) {}

    FileListView* ListView() const { return listView_; }
    void SetListView(FileListView* view) { listView_ = view; }

    const std::string& Pattern() const { return pattern_; }
    void SetPattern(const std::string& nPattern);

    // Replaces the rows with the matching files of `sPath` (with or without a
    // trailing "/"). False, with the rows left as they were, when the folder
    // cannot be read; `LastError` then holds the errno of why.
    bool ListFiles(const std::string& sPath, bool bDisplayFileSize_Takes_a_BUTT_LOAD_OF_TIME);
    int LastError() const { return lastError_; }

    // Binds the shared small and large icon lists to the list's views.
    bool AssignSysIL();
    // Fits every column but the last to its header and contents.
    bool AutoSizeListViewHeaders();
    static std::string StripNulls(std::string& OriginalStr);

  private:
    QPointer<FileListView> listView_;
    std::string pattern_ = "*.*";
    PathMatcher matcher_;
    int lastError_ = 0;
};
