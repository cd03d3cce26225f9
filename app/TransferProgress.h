// The progress of long work on files (a copy or a move of many files): a
// small window beside its owner with a bar and Cancel, shown only once the
// work has taken longer than kShowAfterMs, as file managers do, so that
// quick work never flashes a window. Non-modal: the owner stays usable.
// Cancel (also Esc and closing the window) emits cancelRequested once and
// says "Cancelling…" until the work ends; the owner sets its worker's
// cancel flag from it. Post may be called from any thread (the worker's
// progress callback); the window shows the latest figures, never a queue
// of stale ones.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <cstdint>

class TransferProgress : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kShowAfterMs = 500;
    // The bar's steps: byte counts of any size are shown as a share of this.
    static constexpr int kBarSteps = 1000;

    // Starts the clock: the window shows after kShowAfterMs unless Finish
    // came first. `text` says what is under way ("Copying 12 files to …").
    TransferProgress(QWidget* owner, const QString& title, const QString& text);

    // `done` of `total` (bytes, or files), on the window's thread.
    void Progress(uint64_t done, uint64_t total);
    // The same from any thread: the newest figures are shown once the
    // window's thread gets to them.
    void Post(uint64_t done, uint64_t total);
    // The work ended: the window hides and shows no more.
    void Finish();

    bool Cancelled() const { return cancelled_; }
    bool Finished() const { return finished_; }

    QLabel* lblWhat;
    QProgressBar* barDone;
    QPushButton* cmdCancel;
    QTimer showTimer; // fires once after kShowAfterMs

  signals:
    void cancelRequested();

  public slots:
    void reject() override; // Esc and the window's close button: Cancel

  private:
    void Cancel();
    void ShowPosted();

    bool cancelled_ = false;
    bool finished_ = false;
    std::atomic<uint64_t> postedDone_{0}, postedTotal_{0};
    std::atomic<bool> postPending_{false};
};
