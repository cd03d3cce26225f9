// Runs the operations on the user's files for the main window, never on the
// window's thread: one worker thread of its own takes the actions in the
// order they were asked for, each on the one FileActions (so that Undo goes
// back through them in order, and the shared thumbnail cache follows them),
// and each action's ActionDone comes back to this object's thread through
// its event loop (Finished). A transfer's progress comes the same way, at
// most every kProgressMs; its question about a name the destination holds is
// asked on this object's thread (AskConflict) while the worker waits for the
// answer. An action may be cancelled: one queued never starts, one under way
// stops where its operation can (between files, between blocks of a copy).
#pragma once

#include "app/FileActions.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class FileActionRunner : public QObject {
    Q_OBJECT
  public:
    using Ticket = quint64;
    // Progress comes back at most this often.
    static constexpr int kProgressMs = 100;

    // `trash`: where the trashed files go (the desktop's trash by default).
    explicit FileActionRunner(QObject* parent = nullptr, Trash trash = Trash());
    // Cancels what runs, answers a question still open with CancelAll and
    // waits for the worker; what was queued is not started.
    ~FileActionRunner() override;

    // Each queues one action and returns its ticket, which Finished carries.
    Ticket MoveToTrash(std::vector<std::string> paths);
    Ticket Delete(std::vector<std::string> paths);
    Ticket Rename(std::string path, std::string newName);
    Ticket Transfer(TransferKind kind, std::vector<std::string> sources, std::string destination);
    Ticket Turn(std::string path, ::Turn turn);
    Ticket Undo();

    // An action queued is dropped (Finished says cancelled, each file
    // Cancelled); one under way is asked to stop.
    void Cancel(Ticket ticket);
    // Actions queued or under way.
    bool Busy() const { return pending_ > 0; }
    // Something can be undone: an undoable action done or on its way.
    bool CanUndo() const { return undoable_ > 0 || canUndo_; }
    // What Undo would undo ("Undo Move to Trash"); empty while that is not
    // known yet (an action on its way) or when nothing can be undone.
    const std::string& UndoText() const { return undoable_ > 0 ? none_ : undoText_; }

    // Asked on this object's thread for each name the destination of the
    // transfer `ticket` holds already; Skip when unset.
    std::function<ConflictChoice(Ticket ticket, const std::string& source,
                                 const std::string& existing)>
        AskConflict;

  signals:
    void Finished(quint64 ticket, const ActionDone& done);
    // Bytes done of all bytes of the transfer `ticket`.
    void Progress(quint64 ticket, quint64 done, quint64 total);
    // CanUndo or UndoText may say otherwise now.
    void UndoChanged();

  private:
    struct Context; // what an action may use on the worker besides the actions
    using Work = std::function<ActionDone(FileActions&, Context&)>;
    struct Job {
        Ticket ticket = 0;
        ActionKind kind = ActionKind::Trash;
        std::vector<std::string> paths; // the files it is about, for a cancel before it starts
        bool undoable = false;
        Work work;
    };

    Ticket Queue(ActionKind kind, std::vector<std::string> paths, bool undoable, Work work);
    void Run();
    // On the worker: asks AskConflict on this object's thread and waits.
    ConflictChoice Ask(Ticket ticket, const std::string& source, const std::string& existing);
    void Post(const Job& job, ActionDone done, bool canUndo, std::string undoText);
    void PostProgress(Ticket ticket, uint64_t done, uint64_t total);

    // This object's thread only.
    Ticket nextTicket_ = 1;
    int pending_ = 0;
    int undoable_ = 0; // undoable actions queued or under way
    bool canUndo_ = false;
    std::string undoText_;
    const std::string none_;

    // Shared with the worker, under mutex_.
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> queue_;
    Ticket running_ = 0;
    bool stopping_ = false;
    uint64_t question_ = 0;                // the question asked last
    std::optional<ConflictChoice> answer_; // its answer, once given
    std::atomic<bool> cancel_{false};      // the action under way is to stop

    // The latest progress, and whether an event carrying it is on its way.
    std::atomic<uint64_t> progressDone_{0}, progressTotal_{0};
    std::atomic<bool> progressPosted_{false};
    int64_t lastProgressMs_ = 0; // worker only

    // The worker's only: made when it starts.
    std::unique_ptr<ThumbnailCache> thumbnails_;
    std::unique_ptr<FileActions> actions_;
    std::thread worker_;
};
