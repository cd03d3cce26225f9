// Thumbnails for a folder's rows, made on a worker thread through a
// ThumbnailMaker (its own confined helper): the rows on screen first, then
// the others outward from them, below and above in turn. A new set of rows
// (another folder, another order, a change in the folder) starts a new
// generation: rows not started are dropped, the one in progress is given up
// or left to finish for the cache, and nothing of an older generation is
// delivered. Results come to the thread that owns the scheduler (the
// window's) through the event loop, as signals. No widgets.
//
// Memory: the thumbnails held for the view are capped at kHeldBytesCap; past
// it, those least recently asked for and off screen are let go first (made
// again from the cache when they come into view), and a row made off screen
// is only stored in the cache. The rows on screen are always held, so a
// screen larger than the cap holds a screen. Besides, the worker holds one
// picture, and at most kPendingWrites wait to be written to the cache by a
// writer thread while the helper decodes the next. With nothing to write,
// the writer reads thumbnails of rows on screen from the cache, beside the
// worker, and leaves the rows the cache cannot give to the worker.
#pragma once

#include "imaging/ThumbnailMaker.h"

#include <QImage>
#include <QObject>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

class ThumbnailScheduler : public QObject {
    Q_OBJECT
  public:
    static constexpr std::size_t kHeldBytesCap = std::size_t(64) << 20;
    static constexpr std::size_t kPendingWrites = 4;

    explicit ThumbnailScheduler(ThumbnailCache cache = ThumbnailCache(), QObject* parent = nullptr);
    ~ThumbnailScheduler() override;
    ThumbnailScheduler(const ThumbnailScheduler&) = delete;
    ThumbnailScheduler& operator=(const ThumbnailScheduler&) = delete;

    // The rows shown, as full paths in the view's order, and the size their
    // thumbnails are wanted at; the new generation's number. Thumbnails held
    // for the same paths at the same size stay until their files are seen
    // to have changed. Nothing is made until SetVisible tells where the
    // screen is.
    uint64_t SetRows(std::vector<std::string> paths, ThumbnailSize size);
    // No rows: everything held is let go.
    void Clear();
    // Rows `first` to `last` (inclusive) are on screen.
    void SetVisible(int first, int last);

    // The row's thumbnail when held, else a null image (the type icon then).
    QImage Thumbnail(int row);
    // True when the row has no thumbnail and will not get one in this
    // generation (it does not decode, or is not a picture file at all).
    bool HasNoThumbnail(int row) const;
    uint64_t Generation() const { return generation_; }
    std::size_t HeldBytes() const { return heldBytes_; }

  signals:
    // Thumbnail(row) now gives the row's picture.
    void ThumbnailReady(quint64 generation, int row);
    // The row keeps its type icon.
    void ThumbnailRefused(quint64 generation, int row);
    // Every row of the generation has been handled (more may follow if
    // thumbnails let go come into view again).
    void AllHandled(quint64 generation);

  private:
    struct Stamp {
        int64_t mtime = 0;
        uint64_t size = 0;
    };
    struct Held {
        QImage image;
        Stamp stamp;
        int row = -1;
        std::list<std::string>::iterator use; // in uses_, least recent first
    };
    struct Job {
        uint64_t generation = 0;
        int row = -1;
        std::string path;
        ThumbnailSize size = ThumbnailSize::Normal;
        bool known = false; // the owner holds a picture of `stamp`
        Stamp stamp;
        bool visible = false;
    };

    struct Write {
        ThumbnailSource source;
        ThumbnailSize size;
        std::shared_ptr<const ThumbnailResult> made;
    };

    // Worker side, under `lock_` but while it works. The writer picks rows
    // on screen only, and only to read them from the cache.
    void Run();
    bool PickLocked(Job& job, bool forWriter = false);
    void Work(const Job& job);
    // Describes the job's file: false when the owner's picture is of it as it is.
    bool Describe(const Job& job, ThumbnailSource& source, Stamp& stamp) const;
    void Post(const Job& job, std::shared_ptr<const ThumbnailResult> result, Stamp stamp);
    // Writer side: the pictures made, into the cache; rows on screen from it.
    void RunWriter();
    void Look(const Job& job);
    // Owner side.
    void Deliver(uint64_t generation, int row, const ThumbnailResult& result, Stamp stamp);
    bool Visible(int row) const { return row >= first_ && row <= last_; }
    void Hold(int row, const std::string& path, QImage image, Stamp stamp);
    void Drop(std::unordered_map<std::string, Held>::iterator it);
    void NotDelivered(int row);

    std::unique_ptr<ThumbnailMaker> maker_; // used by the worker only

    // Owner's view of the rows.
    std::shared_ptr<const std::vector<std::string>> rows_;
    ThumbnailSize size_ = ThumbnailSize::Normal;
    uint64_t generation_ = 0;
    int first_ = 0, last_ = -1;
    std::unordered_map<std::string, Held> held_;
    std::list<std::string> uses_;
    std::size_t heldBytes_ = 0;
    std::vector<uint8_t> refused_; // by row

    // Shared with the worker.
    std::mutex lock_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::atomic<uint64_t> current_{0}; // the generation wanted; read while decoding
    std::atomic<bool> stopping_{false};
    std::atomic<bool> full_{false}; // the owner holds its cap: off-screen pictures are not decoded
    struct Work_ {
        uint64_t generation = 0;
        std::shared_ptr<const std::vector<std::string>> rows;
        ThumbnailSize size = ThumbnailSize::Normal;
        std::vector<uint8_t> flags;
        std::unordered_map<int, Stamp> known;
        int first = 0, last = -1;
        int below = 0, above = -1; // the next rows outward from the screen
        bool belowNext = true;
        bool placed = false; // SetVisible came
    } work_;
    std::deque<Write> writes_;
    std::size_t unwritten_ = 0; // queued or being written
    bool looking_ = false;      // the writer reads a row from the cache
    bool worked_ = false;       // rows handled since AllHandled was last sent
    bool hasWriter_ = false;    // set before the worker starts
    std::thread worker_, writer_;
};
