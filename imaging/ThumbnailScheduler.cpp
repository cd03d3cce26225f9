#include "imaging/ThumbnailScheduler.h"

#include <QMetaObject>
#include <algorithm>
#include <system_error>

namespace {

// A row's state for the worker in one generation.
constexpr uint8_t kChecked = 1;   // its thumbnail is in the cache, or it has none
constexpr uint8_t kDelivered = 2; // the owner holds its picture (or none), or it is on the way
constexpr uint8_t kNotCached = 4; // the writer found nothing in the cache: the worker's

} // namespace

ThumbnailScheduler::ThumbnailScheduler(ThumbnailCache cache, QObject* parent)
    : QObject(parent), maker_(std::make_unique<ThumbnailMaker>(std::move(cache))),
      rows_(std::make_shared<const std::vector<std::string>>()) {
    // Without a writer the worker writes what it makes; without a worker
    // every row keeps its type icon.
    try {
        writer_ = std::thread([this] { RunWriter(); });
        hasWriter_ = true;
    } catch (const std::system_error&) {
    }
    try {
        worker_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
    }
}

ThumbnailScheduler::~ThumbnailScheduler() {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        stop_ = true;
        stopping_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
    if (writer_.joinable()) writer_.join(); // what was made is written first
}

uint64_t ThumbnailScheduler::SetRows(std::vector<std::string> paths, ThumbnailSize size) {
    rows_ = std::make_shared<const std::vector<std::string>>(std::move(paths));
    const std::vector<std::string>& rows = *rows_;
    ++generation_;
    first_ = 0;
    last_ = -1;
    refused_.assign(rows.size(), 0);
    if (size != size_) {
        held_.clear();
        uses_.clear();
        heldBytes_ = 0;
    }
    size_ = size;
    // Pictures held for paths still listed stay, at their new rows, until
    // the worker has seen whether their files changed; the others go.
    for (auto& [path, held] : held_)
        held.row = -1;
    std::unordered_map<int, Stamp> known;
    for (int row = 0; row < int(rows.size()); ++row) {
        auto it = held_.find(rows[std::size_t(row)]);
        if (it == held_.end()) continue;
        it->second.row = row;
        known.emplace(row, it->second.stamp);
    }
    for (auto it = held_.begin(); it != held_.end();)
        if (it->second.row < 0)
            Drop(it++);
        else
            ++it;
    full_ = heldBytes_ >= kHeldBytesCap;
    {
        const std::lock_guard<std::mutex> hold(lock_);
        work_ = Work_();
        work_.generation = generation_;
        work_.rows = rows_;
        work_.size = size;
        work_.flags.assign(rows.size(), 0);
        work_.known = std::move(known);
        current_ = generation_;
    }
    wake_.notify_all();
    return generation_;
}

void ThumbnailScheduler::Clear() {
    SetRows({}, size_);
}

void ThumbnailScheduler::SetVisible(int first, int last) {
    const int count = int(rows_->size());
    first_ = std::clamp(first, 0, count);
    last_ = std::clamp(last, -1, count - 1);
    {
        const std::lock_guard<std::mutex> hold(lock_);
        work_.placed = true;
        work_.first = first_;
        work_.last = last_;
        work_.below = last_ >= first_ ? last_ + 1 : first_;
        work_.above = first_ - 1;
    }
    wake_.notify_all();
}

QImage ThumbnailScheduler::Thumbnail(int row) {
    if (row < 0 || row >= int(rows_->size())) return {};
    auto it = held_.find((*rows_)[std::size_t(row)]);
    if (it == held_.end()) return {};
    uses_.splice(uses_.end(), uses_, it->second.use); // asked for: the most recent
    return it->second.image;
}

bool ThumbnailScheduler::HasNoThumbnail(int row) const {
    return row >= 0 && row < int(refused_.size()) && refused_[std::size_t(row)];
}

bool ThumbnailScheduler::PickLocked(Job& job, bool forWriter) {
    Work_& w = work_;
    if (!w.placed) return false; // the screen comes first, so wait to learn where it is
    const int count = int(w.flags.size());
    const uint8_t skip = forWriter ? kDelivered | kNotCached : kDelivered;
    int row = -1;
    // The screen first: rows whose picture the owner does not hold.
    for (int r = std::max(w.first, 0); r <= w.last && r < count && row < 0; ++r)
        if (!(w.flags[std::size_t(r)] & skip)) row = r;
    job.visible = row >= 0;
    if (forWriter && row < 0) return false;
    // Then outward, a row below and a row above in turn.
    const auto done = [&](int r) { return w.flags[std::size_t(r)] & kChecked; };
    while (row < 0) {
        while (w.below < count && done(w.below))
            ++w.below;
        while (w.above >= 0 && done(w.above))
            --w.above;
        const bool below = w.below < count, above = w.above >= 0;
        if (!below && !above) return false;
        const bool takeBelow = below && (w.belowNext || !above);
        row = takeBelow ? w.below++ : w.above--;
        w.belowNext = !takeBelow;
    }
    w.flags[std::size_t(row)] |= kChecked | kDelivered;
    job.generation = w.generation;
    job.row = row;
    job.path = (*w.rows)[std::size_t(row)];
    job.size = w.size;
    auto known = w.known.find(row);
    job.known = known != w.known.end();
    if (job.known) {
        job.stamp = known->second;
        w.known.erase(known); // checked once
    }
    return true;
}

void ThumbnailScheduler::Run() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        if (stop_) return;
        Job job;
        if (!PickLocked(job)) {
            // Handled once the pictures made are in the cache too.
            if (worked_ && unwritten_ == 0 && !looking_) {
                QMetaObject::invokeMethod(
                    this, [this, g = work_.generation] { emit AllHandled(g); },
                    Qt::QueuedConnection);
                worked_ = false;
            }
            wake_.wait(hold);
            continue;
        }
        worked_ = true;
        hold.unlock();
        Work(job);
        hold.lock();
    }
}

bool ThumbnailScheduler::Describe(const Job& job, ThumbnailSource& source, Stamp& stamp) const {
    if (!ThumbnailCache::Describe(job.path, source)) return true; // Skipped
    stamp = {source.mtime, source.size};
    return !job.known || job.stamp.mtime != stamp.mtime || job.stamp.size != stamp.size;
}

void ThumbnailScheduler::Post(const Job& job, std::shared_ptr<const ThumbnailResult> result,
                              Stamp stamp) {
    QMetaObject::invokeMethod(
        this,
        [this, generation = job.generation, row = job.row, result = std::move(result), stamp] {
            Deliver(generation, row, *result, stamp);
        },
        Qt::QueuedConnection);
}

void ThumbnailScheduler::Work(const Job& job) {
    ThumbnailSource source;
    auto made = std::make_shared<ThumbnailResult>();
    Stamp stamp;
    if (!Describe(job, source, stamp)) return; // nothing to read
    if (!source.path.empty()) {
        const uint64_t generation = job.generation;
        const auto cancelled = [this, generation] { return stopping_ || current_ != generation; };
        // Off screen with the owner full, a picture would be let go at once:
        // the cache is filled, and the row is made again when it comes into view.
        const bool wanted = job.visible || !full_;
        *made = maker_->Make(source, job.size, cancelled, wanted, !hasWriter_);
    }
    Post(job, made, stamp);
    if (made->outcome != ThumbnailOutcome::Made || !hasWriter_) return;
    // Written beside the next decode; the worker waits while too many are.
    std::unique_lock<std::mutex> hold(lock_);
    wake_.wait(hold, [this] { return stop_ || writes_.size() < kPendingWrites; });
    writes_.push_back({std::move(source), job.size, std::move(made)});
    ++unwritten_;
    wake_.notify_all();
}

void ThumbnailScheduler::RunWriter() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        Job job;
        if (!writes_.empty()) {
            const Write write = std::move(writes_.front());
            writes_.pop_front();
            wake_.notify_all(); // room for the worker
            hold.unlock();
            maker_->Keep(write.source, write.size, *write.made);
            hold.lock();
            --unwritten_;
            wake_.notify_all(); // the worker may be done
        } else if (stop_) {
            return; // all written
        } else if (PickLocked(job, true)) {
            looking_ = worked_ = true;
            hold.unlock();
            Look(job);
            hold.lock();
            looking_ = false;
            wake_.notify_all();
        } else {
            wake_.wait(hold);
        }
    }
}

void ThumbnailScheduler::Look(const Job& job) {
    ThumbnailSource source;
    Stamp stamp;
    if (!Describe(job, source, stamp)) return;
    std::optional<ThumbnailResult> found;
    if (!source.path.empty()) found = maker_->Look(source, job.size, true);
    if (source.path.empty() || found) {
        Post(job, std::make_shared<const ThumbnailResult>(found.value_or(ThumbnailResult())),
             stamp);
        return;
    }
    // Only a decode can tell: the row goes back to the worker.
    const std::lock_guard<std::mutex> hold(lock_);
    if (work_.generation != job.generation) return;
    uint8_t& flags = work_.flags[std::size_t(job.row)];
    flags = uint8_t((flags & ~(kChecked | kDelivered)) | kNotCached);
    if (job.known) work_.known.emplace(job.row, job.stamp);
}

void ThumbnailScheduler::Deliver(uint64_t generation, int row, const ThumbnailResult& result,
                                 Stamp stamp) {
    if (generation != generation_ || row < 0 || row >= int(rows_->size()))
        return; // asked for rows that are no longer shown
    const std::string& path = (*rows_)[std::size_t(row)];
    switch (result.outcome) {
    case ThumbnailOutcome::Found:
    case ThumbnailOutcome::Made:
        if (result.image.isNull()) {
            NotDelivered(row);
            return;
        }
        Hold(row, path, result.image, stamp);
        return;
    case ThumbnailOutcome::Failed:
    case ThumbnailOutcome::Skipped:
        // The worker does not come back to it in this generation.
        if (auto it = held_.find(path); it != held_.end()) Drop(it);
        refused_[std::size_t(row)] = 1;
        emit ThumbnailRefused(generation, row);
        return;
    }
}

void ThumbnailScheduler::Hold(int row, const std::string& path, QImage image, Stamp stamp) {
    const std::size_t bytes = std::size_t(image.sizeInBytes());
    if (auto it = held_.find(path); it != held_.end()) Drop(it);
    // Room is made for a row on screen by letting go of pictures off
    // screen, least recently asked for first; a picture off screen is not
    // held past the cap.
    for (auto use = uses_.begin();
         Visible(row) && heldBytes_ + bytes > kHeldBytesCap && use != uses_.end();) {
        auto it = held_.find(*use++);
        const int let = it->second.row;
        if (Visible(let)) continue;
        Drop(it);
        NotDelivered(let);
    }
    if (heldBytes_ + bytes > kHeldBytesCap && !Visible(row)) {
        full_ = true;
        NotDelivered(row);
        return;
    }
    Held held{std::move(image), stamp, row, uses_.insert(uses_.end(), path)};
    heldBytes_ += bytes;
    held_.emplace(path, std::move(held));
    full_ = heldBytes_ >= kHeldBytesCap;
    emit ThumbnailReady(generation_, row);
}

void ThumbnailScheduler::Drop(std::unordered_map<std::string, Held>::iterator it) {
    heldBytes_ -= std::size_t(it->second.image.sizeInBytes());
    uses_.erase(it->second.use);
    held_.erase(it);
    full_ = heldBytes_ >= kHeldBytesCap;
}

void ThumbnailScheduler::NotDelivered(int row) {
    if (row < 0) return;
    {
        const std::lock_guard<std::mutex> hold(lock_);
        if (work_.generation != generation_ || row >= int(work_.flags.size())) return;
        work_.flags[std::size_t(row)] &= uint8_t(~kDelivered);
    }
    if (Visible(row)) wake_.notify_all();
}
