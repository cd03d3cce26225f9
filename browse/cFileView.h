// Fills the main window's file list with the files of one folder that match
// the current wildcard pattern: name, size, type and date modified, with the
// shared icon of the file's type; and keeps the list following that folder
// on disk. The main window creates one, binds it to `lvFiles` and calls
// `StartListing` whenever the current folder is listed: the folder is read
// on a worker thread, its first rows show before it is read to its end, and
// from then on the files made, removed, renamed or rewritten in it show in
// the list. `ListFiles` lists at once, on the caller's thread (the probe).
#pragma once

#include "browse/FileListView.h"
#include "browse/FolderLister.h"
#include "browse/FolderReturnWatch.h"
#include "browse/FolderWatcher.h"
#include "browse/PathMatchSpec.h"

#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

class cFileView {
  public:
    cFileView();
    ~cFileView();
    cFileView(const cFileView&) = delete;
    cFileView& operator=(const cFileView&) = delete;

    FileListView* ListView() const { return listView_; }
    void SetListView(FileListView* view);

    const std::string& Pattern() const { return pattern_; }
    void SetPattern(const std::string& nPattern);

    // Replaces the rows with the matching files of `sPath` (with or without a
    // trailing "/"). False, with the rows left as they were, when the folder
    // cannot be read; `LastError` then holds the errno of why. Ends any
    // listing under way and any watching.
    bool ListFiles(const std::string& sPath, bool bDisplayFileSize_Takes_a_BUTT_LOAD_OF_TIME);
    int LastError() const { return lastError_; }

    // Lists `sPath` on the worker and follows it on disk until the next
    // listing or `StopWatching`. The rows shown go at once; the new ones come
    // in parts (RowsArrived after each), each placed in the list's order,
    // and the first row is selected as no choice of a file, unless the user
    // selected a row meanwhile. Listed(false) when the folder cannot be read
    // (LastError says why, the list stays empty). Later, Changed after the
    // rows followed the disk, and FolderGone when the folder itself went
    // (removed, moved away, unreadable): the rows then stay as they were.
    // A folder that could not be listed because it is not there is watched
    // for: once it is made again it is listed again, as if asked.
    void StartListing(const std::string& sPath, bool bDisplayFileSize);
    bool Listing() const { return listId_ != 0; }
    // The folder listed last, ending in "/".
    const std::string& Folder() const { return folder_; }
    void StopWatching();
    // The program itself changed files of the folder listed (trashed, moved
    // away, renamed, copied in): the rows follow at once, as the watcher's
    // changes do (FileListView::ApplyChanges), and what the watcher reports
    // of the same changes later, or a check or listing already under way,
    // adds no row twice and brings back no row removed: their word on these
    // names is dropped and the names are looked at again once they answer.
    // `done` says how the files are now: renamed and added rows with the
    // size and time the files have on disk (a rename keeps them), so that
    // the watcher's report of the same rename or copy changes nothing more.
    // Parts of `done` the list shows already (the watcher was first) are
    // not made twice. `Changed` is not called: the caller knows what it did.
    //
    // When the current row goes: with `moveOn`, the row that takes its
    // place (else the one before it) becomes current, is scrolled to and
    // `selectedRowChanged` tells it as a choice of that file (-1 when no row
    // is left), as a file manager moves on after a deletion; without it, that
    // row becomes current as no choice, as for the watcher's changes.
    void Follow(const RowChanges& done, bool moveOn = false);
    // Looks at these names (no folder part) on disk again, on the worker,
    // and follows what it finds (`Changed` then tells it): an operation of
    // the program's own that failed may have left a file whose row `Follow`
    // removed. Nothing while no folder is followed.
    void Recheck(const std::vector<std::string>& names);

    std::function<void()> RowsArrived;
    std::function<void(bool listed)> Listed;
    std::function<void(const RowChanges& changes)> Changed;
    std::function<void()> FolderGone;

    // Binds the shared small and large icon lists to the list's views.
    bool AssignSysIL();
    // Fits every column but the last to its header and contents.
    bool AutoSizeListViewHeaders();
    static std::string StripNulls(std::string& OriginalStr);

    // The rows of a listing go into the list this many at a time, a turn of
    // the event loop each, so that placing a large part never holds the
    // window's thread long.
    static constexpr std::size_t kRowsPerTurn = 8192;
    // With the list on show, the rows placed are painted in a later turn of
    // their own, and the next rows wait for that paint, or this long when no
    // paint comes: the work of placing rows and that of painting them never
    // run in one go.
    static constexpr int kPaintWaitMs = 50;

  private:
    void OnPart(FolderLister::Part& part);
    // Places the next rows that arrived; once the listing's last have, ends it.
    void TakeArrived();
    // Paints the rows placed in a later turn, when `shown`, and takes the
    // next rows that arrived after that paint.
    void NextTurn(bool shown);
    void OnChecked(FolderLister::Part& part);
    void OnEvents(const FolderEvents& events);
    // Looks at the names reported so far, unless a listing or a check is under way.
    void CheckPending();
    void Gone();
    // The folder listed is not there: it is listed again once it is.
    void AwaitReturn();
    static void SetTypes(std::vector<FileRow>& rows);

    QPointer<FileListView> listView_;
    QMetaObject::Connection chosen_, pressed_; // the user's own selections
    QMetaObject::Connection painting_;
    std::string pattern_ = "*.*";
    PathMatcher matcher_;
    int lastError_ = 0;
    std::unique_ptr<FolderLister> lister_;
    std::unique_ptr<FolderWatcher> watcher_;
    std::unique_ptr<FolderReturnWatch> returnWatch_; // while the folder is not there
    bool displaySize_ = true;                        // the listing's, for listing it again
    std::string folder_;                             // listed or being listed, ending in "/"
    std::string listedPattern_;                      // the pattern it is listed with
    uint32_t listId_ = 0;                            // the listing under way
    uint32_t checkId_ = 0;                           // the check under way
    FolderEvents checking_;                          // what that check is about
    FolderEvents pending_;                           // reported meanwhile, not looked at yet
    // Names the program changed itself (Follow) while the listing or check
    // under way was read: its word on them is older, and is dropped.
    std::set<std::string> followed_;
    // Names Follow showed renamed or copied in: the watcher's report of that
    // rename or copy is no rewrite of the file.
    std::set<std::string> echoes_;
    bool userSelected_ = false;    // during the listing
    std::vector<FileRow> arrived_; // read, not in the list yet from `arrivedAt_` on
    std::size_t arrivedAt_ = 0;
    bool arrivedLast_ = false; // the listing's last part is among them
    int arrivedError_ = 0;     // with it: why the folder could not be read
    QTimer nextTurn_;
    QTimer showTurn_;            // lets the view paint the rows placed, in a turn after theirs
    bool awaitingPaint_ = false; // nextTurn_ waits for the rows placed to be painted
};
