// Reads folders for the file list on a thread of its own, so that the
// window's thread never waits for a folder: a listing comes in parts, the
// first as soon as a screen of rows is read (or kFirstPartMs has passed),
// the others spaced out (kPartMs), the last one saying whether the folder
// could be read; a check reads the rows of a few names again (or of the whole
// folder), for the changes a watch reported; a read of a folder's subfolders
// (for the folder tree) answers with their names. Requests run one after the
// other in the order asked; each gets its own number, and a listing drops
// everything asked before it: their answers never arrive. Answers arrive
// through the event loop of the lister's thread.
#pragma once

#include "browse/FolderScan.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class FolderLister : public QObject {
    Q_OBJECT
  public:
    static constexpr std::size_t kFirstPartRows = 256; // more than a screen shows
    static constexpr int kFirstPartMs = 20;
    // Later parts at least this far apart, each at least as large as all
    // those before it: the list places each part among the rows it has, so
    // the work of the whole listing stays within twice that of placing all
    // its rows at once. A folder read within this time comes in two parts.
    static constexpr int kPartMs = 500;

    struct Part {
        uint32_t id = 0;
        std::vector<FileRow> rows; // of a listing: in name order (NameLess); of a check: as read
        bool last = false;         // the listing is over (a check has one part)
        int error = 0;             // with `last`: the errno of a folder that could not be read
        // Of a subfolder read: the folders inside, in name order (rows unused).
        std::vector<std::string> folders;
    };

    explicit FolderLister(QObject* parent = nullptr);
    ~FolderLister() override;

    // Lists `folder` (ending in "/") with the ";"-separated `pattern`;
    // `beforeReading`, if any, is called on the lister's thread just before
    // the folder is read (its watch is added there: see FolderWatcher).
    uint32_t List(const std::string& folder, const std::string& pattern,
                  std::function<void()> beforeReading = {});
    // The rows of those of `names` that are matching files of `folder` now;
    // with `whole`, of every file of the folder (names unused).
    uint32_t Check(const std::string& folder, const std::string& pattern,
                   std::vector<std::string> names, bool whole);
    // The folders inside `folder` (links to folders too), in one part;
    // `error` says why a folder could not be read (it then has none).
    uint32_t ReadSubfolders(const std::string& folder);
    // Drops every request asked so far.
    void Cancel();

  signals:
    void partRead(FolderLister::Part& part);
    void checked(FolderLister::Part& part);
    void subfoldersRead(FolderLister::Part& part);

  private:
    struct Job;
    struct Shared;
    uint32_t Ask(Job job);
    static void Run(const std::shared_ptr<Shared>& shared);
    static void Do(const std::shared_ptr<Shared>& shared, const Job& job);
    enum class Kind { List, Check, Subfolders };
    void Deliver(uint32_t generation, Part& part, Kind kind);

    std::shared_ptr<Shared> shared_;
    uint32_t nextId_ = 1;
};
