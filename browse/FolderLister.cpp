#include "browse/FolderLister.h"

#include <QMetaObject>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <pthread.h>
#include <system_error>
#include <thread>

namespace {

// Entries read between two looks at the clock and at newer requests.
constexpr std::size_t kEntriesPerStep = 64;

// A part's rows in the listing's order, sorted here rather than on the
// window's thread, which then only merges them among the rows it has.
void SortByName(std::vector<FileRow>& rows) {
    std::sort(rows.begin(), rows.end(),
              [](const FileRow& a, const FileRow& b) { return NameLess(a.name, b.name); });
}

} // namespace

struct FolderLister::Job {
    uint32_t id = 0;
    uint32_t generation = 0; // of the listing it belongs to
    Kind kind = Kind::List;
    bool whole = false;
    std::string folder, pattern;
    std::vector<std::string> names;
    std::function<void()> beforeReading;
};

// What the lister and its thread share. The thread outlives the lister when
// it is in the middle of a slow folder: it then finds no receiver and ends.
struct FolderLister::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Job> jobs;
    FolderLister* receiver = nullptr; // null once the lister is gone
    bool threadRunning = false;
    std::atomic<uint32_t> generation{0};

    // Hands `part` to the lister's thread, if the lister is still there.
    void Post(uint32_t generation, Part part, Kind kind) {
        const std::lock_guard lock(mutex);
        if (!receiver) return;
        FolderLister* to = receiver;
        QMetaObject::invokeMethod(
            to,
            [to, generation, part = std::move(part), kind]() mutable {
                to->Deliver(generation, part, kind);
            },
            Qt::QueuedConnection);
    }
};

FolderLister::FolderLister(QObject* parent) : QObject(parent), shared_(std::make_shared<Shared>()) {
    shared_->receiver = this;
}

FolderLister::~FolderLister() {
    const std::lock_guard lock(shared_->mutex);
    shared_->receiver = nullptr;
    shared_->jobs.clear();
    shared_->generation++;
    shared_->wake.notify_all();
}

uint32_t FolderLister::List(const std::string& folder, const std::string& pattern,
                            std::function<void()> beforeReading) {
    Job job;
    job.folder = folder;
    job.pattern = pattern;
    job.beforeReading = std::move(beforeReading);
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->jobs.clear(); // nobody waits for them now
        job.generation = ++shared_->generation;
    }
    return Ask(std::move(job));
}

uint32_t FolderLister::Check(const std::string& folder, const std::string& pattern,
                             std::vector<std::string> names, bool whole) {
    Job job;
    job.kind = Kind::Check;
    job.whole = whole;
    job.folder = folder;
    job.pattern = pattern;
    job.names = std::move(names);
    job.generation = shared_->generation.load();
    return Ask(std::move(job));
}

uint32_t FolderLister::ReadSubfolders(const std::string& folder) {
    Job job;
    job.kind = Kind::Subfolders;
    job.folder = folder;
    job.generation = shared_->generation.load();
    return Ask(std::move(job));
}

void FolderLister::Cancel() {
    const std::lock_guard lock(shared_->mutex);
    shared_->jobs.clear();
    shared_->generation++;
}

uint32_t FolderLister::Ask(Job job) {
    job.id = nextId_++;
    if (nextId_ == 0) nextId_ = 1; // 0 means "no request"
    const uint32_t id = job.id;
    std::unique_lock lock(shared_->mutex);
    shared_->jobs.push_back(std::move(job));
    shared_->wake.notify_one();
    if (shared_->threadRunning) return id;
    try {
        std::thread(Run, shared_).detach();
        shared_->threadRunning = true;
    } catch (const std::system_error&) {
        // No thread to be had: the request is done here, its answer still
        // coming through the event loop.
        Job now = std::move(shared_->jobs.front());
        shared_->jobs.pop_front();
        lock.unlock();
        Do(shared_, now);
    }
    return id;
}

void FolderLister::Run(const std::shared_ptr<Shared>& shared) {
    ::pthread_setname_np(::pthread_self(), "folder-lister"); // as tools show it
    for (;;) {
        Job job;
        {
            std::unique_lock lock(shared->mutex);
            shared->wake.wait(lock, [&] { return !shared->jobs.empty() || !shared->receiver; });
            if (!shared->receiver) return; // the lister is gone
            job = std::move(shared->jobs.front());
            shared->jobs.pop_front();
        }
        Do(shared, job);
    }
}

void FolderLister::Do(const std::shared_ptr<Shared>& shared, const Job& job) {
    const auto stale = [&] { return shared->generation.load() != job.generation; };
    if (stale()) return;
    const PathMatcher matcher(job.pattern);
    Part part;
    part.id = job.id;
    if (job.kind == Kind::Subfolders) {
        if (!ScanSubfolders(job.folder, part.folders)) part.error = errno;
        part.last = true;
        shared->Post(job.generation, std::move(part), job.kind);
        return;
    }
    const bool check = job.kind == Kind::Check;
    if (check && !job.whole) {
        if (!ScanNames(job.folder, matcher, job.names, part.rows)) part.error = errno;
        part.last = true;
        shared->Post(job.generation, std::move(part), job.kind);
        return;
    }
    if (job.beforeReading) job.beforeReading();
    FolderReader reader;
    if (!reader.Open(job.folder)) {
        part.error = errno;
        part.last = true;
        shared->Post(job.generation, std::move(part), job.kind);
        return;
    }
    using Clock = std::chrono::steady_clock;
    const auto sinceStart = [start = Clock::now()] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    };
    std::size_t sent = 0; // rows in the parts sent so far
    long long sentAt = 0;
    for (bool more = true; more;) {
        more = reader.Read(matcher, part.rows, kEntriesPerStep);
        if (stale()) return;
        if (check || !more || part.rows.empty()) continue;
        const long long now = sinceStart();
        const bool due = sent == 0 ? part.rows.size() >= kFirstPartRows || now >= kFirstPartMs
                                   : now - sentAt >= kPartMs && part.rows.size() >= sent;
        if (!due) continue;
        Part next;
        next.id = job.id;
        next.rows.swap(part.rows);
        SortByName(next.rows);
        sent += next.rows.size();
        shared->Post(job.generation, std::move(next), Kind::List);
        sentAt = now;
    }
    part.last = true;
    if (!check) SortByName(part.rows);
    shared->Post(job.generation, std::move(part), job.kind);
}

void FolderLister::Deliver(uint32_t generation, Part& part, Kind kind) {
    if (generation != shared_->generation.load()) return; // asked for before a later listing
    switch (kind) {
    case Kind::List:
        emit partRead(part);
        break;
    case Kind::Check:
        emit checked(part);
        break;
    case Kind::Subfolders:
        emit subfoldersRead(part);
        break;
    }
}
