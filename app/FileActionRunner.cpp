#include "app/FileActionRunner.h"

#include "imaging/ThumbnailCache.h"

#include <QMetaObject>
#include <chrono>

namespace {

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The answer of an action that never started: each of its files left as it was.
ActionDone NotStarted(ActionKind kind, const std::vector<std::string>& paths) {
    ActionDone done;
    done.kind = kind;
    done.cancelled = true;
    for (const std::string& p : paths) {
        FileOutcome o;
        o.status = OutcomeStatus::Cancelled;
        o.source = p;
        done.files.push_back(std::move(o));
    }
    return done;
}

} // namespace

struct FileActionRunner::Context {
    FileActionRunner& runner;
    Ticket ticket;
    // A transfer's options: cancelled by the flag, progress and questions
    // carried to the runner's thread.
    TransferOptions TransferOptionsFor() {
        TransferOptions options;
        options.cancel = &runner.cancel_;
        options.onConflict = [this](const std::string& source, const std::string& existing) {
            return runner.Ask(ticket, source, existing);
        };
        options.progress = [this](uint64_t done, uint64_t total) {
            runner.PostProgress(ticket, done, total);
        };
        return options;
    }
};

FileActionRunner::FileActionRunner(QObject* parent, Trash trash) : QObject(parent) {
    // The desktop's shared cache, as the environment names it now; the
    // cache and the actions are made on the worker, which alone uses them
    // (making the cache looks at the disk).
    worker_ = std::thread(
        [this, root = ThumbnailCache::DefaultRoot(), trash = std::move(trash)]() mutable {
            thumbnails_ = std::make_unique<ThumbnailCache>(std::move(root));
            actions_ = std::make_unique<FileActions>(thumbnails_.get(), std::move(trash));
            Run();
        });
}

FileActionRunner::~FileActionRunner() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    cancel_ = true;
    wake_.notify_all();
    worker_.join();
}

FileActionRunner::Ticket FileActionRunner::Queue(ActionKind kind, std::vector<std::string> paths,
                                                 bool undoable, Work work) {
    const Ticket ticket = nextTicket_++;
    ++pending_;
    if (undoable) {
        ++undoable_;
        emit UndoChanged();
    }
    {
        const std::lock_guard lock(mutex_);
        queue_.push_back({ticket, kind, std::move(paths), undoable, std::move(work)});
    }
    wake_.notify_all();
    return ticket;
}

FileActionRunner::Ticket FileActionRunner::MoveToTrash(std::vector<std::string> paths) {
    return Queue(ActionKind::Trash, paths, true,
                 [paths](FileActions& a, Context&) { return a.MoveToTrash(paths); });
}

FileActionRunner::Ticket FileActionRunner::Delete(std::vector<std::string> paths) {
    return Queue(ActionKind::Delete, paths, false,
                 [paths](FileActions& a, Context&) { return a.Delete(paths); });
}

FileActionRunner::Ticket FileActionRunner::Rename(std::string path, std::string newName) {
    return Queue(ActionKind::Rename, {path}, true,
                 [path, newName](FileActions& a, Context&) { return a.Rename(path, newName); });
}

FileActionRunner::Ticket FileActionRunner::Transfer(TransferKind kind,
                                                    std::vector<std::string> sources,
                                                    std::string destination) {
    const ActionKind action = kind == TransferKind::Copy ? ActionKind::Copy : ActionKind::Move;
    return Queue(action, sources, true, [kind, sources, destination](FileActions& a, Context& c) {
        return a.Transfer(kind, sources, destination, c.TransferOptionsFor());
    });
}

FileActionRunner::Ticket FileActionRunner::Turn(std::string path, ::Turn turn) {
    return Queue(ActionKind::Turn, {path}, true,
                 [path, turn](FileActions& a, Context&) { return a.Turn(path, turn); });
}

FileActionRunner::Ticket FileActionRunner::Undo() {
    // Its kind is known once it ran: the kind of the action it undid.
    return Queue(ActionKind::Trash, {}, false, [](FileActions& a, Context&) { return a.Undo(); });
}

void FileActionRunner::Cancel(Ticket ticket) {
    std::optional<Job> dropped;
    {
        const std::lock_guard lock(mutex_);
        if (running_ == ticket) {
            cancel_ = true;
            return;
        }
        for (auto it = queue_.begin(); it != queue_.end(); ++it)
            if (it->ticket == ticket) {
                dropped = std::move(*it);
                queue_.erase(it);
                break;
            }
    }
    // Said in a later turn, as an answer from the worker would be.
    if (dropped)
        QMetaObject::invokeMethod(
            this,
            [this, job = std::move(*dropped)] {
                Post(job, NotStarted(job.kind, job.paths), canUndo_, undoText_);
            },
            Qt::QueuedConnection);
}

void FileActionRunner::Run() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            job = std::move(queue_.front());
            queue_.pop_front();
            running_ = job.ticket;
            cancel_ = false;
        }
        Context context{*this, job.ticket};
        lastProgressMs_ = 0;
        ActionDone done = job.work(*actions_, context);
        const bool canUndo = actions_->CanUndo();
        std::string undoText = actions_->UndoText();
        {
            const std::lock_guard lock(mutex_);
            running_ = 0;
        }
        QMetaObject::invokeMethod(
            this,
            [this, job = std::move(job), done = std::move(done), canUndo,
             undoText = std::move(undoText)]() mutable {
                Post(job, std::move(done), canUndo, std::move(undoText));
            },
            Qt::QueuedConnection);
    }
}

void FileActionRunner::Post(const Job& job, ActionDone done, bool canUndo, std::string undoText) {
    --pending_;
    if (job.undoable) --undoable_;
    canUndo_ = canUndo;
    undoText_ = std::move(undoText);
    emit Finished(job.ticket, done);
    emit UndoChanged();
}

ConflictChoice FileActionRunner::Ask(Ticket ticket, const std::string& source,
                                     const std::string& existing) {
    uint64_t question = 0;
    {
        const std::lock_guard lock(mutex_);
        if (stopping_) return ConflictChoice::CancelAll;
        question = ++question_;
        answer_.reset();
    }
    QMetaObject::invokeMethod(
        this,
        [this, ticket, question, source, existing] {
            const ConflictChoice choice =
                AskConflict ? AskConflict(ticket, source, existing) : ConflictChoice::Skip;
            {
                const std::lock_guard lock(mutex_);
                if (question == question_) answer_ = choice;
            }
            wake_.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return stopping_ || answer_.has_value(); });
    return stopping_ ? ConflictChoice::CancelAll : *answer_;
}

void FileActionRunner::PostProgress(Ticket ticket, uint64_t done, uint64_t total) {
    progressDone_ = done;
    progressTotal_ = total;
    const int64_t now = NowMs();
    if (done < total && now - lastProgressMs_ < kProgressMs) return;
    // One event on its way at a time; it carries the latest figures.
    if (progressPosted_.exchange(true)) return;
    lastProgressMs_ = now;
    QMetaObject::invokeMethod(
        this,
        [this, ticket] {
            progressPosted_ = false;
            emit Progress(ticket, progressDone_, progressTotal_);
        },
        Qt::QueuedConnection);
}
