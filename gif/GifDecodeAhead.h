// Decodes one frame of an animation at a time on a thread of its own, so
// that the thread that plays it only composes: the viewer asks for the
// frame it shows next as soon as it shows one, and takes the pixels when
// that frame is due. A job holds everything it decodes from (`cGIF::DecodeJob`):
// the thread reads nothing of the document, and hands the finished job back
// through this object only. `onDone` is called on the worker's thread when
// a job someone waits for (`Await`) has finished; it must not touch what
// belongs to another thread (the viewer posts itself an event). A job that
// finishes before it is due, the usual case, wakes nobody. The thread starts with the first job
// and ends with this object: the job it runs then stops at its next clear
// code. Standard library only.
#pragma once

#include "gif/cGIF.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class GifDecodeAhead {
  public:
    explicit GifDecodeAhead(std::function<void()> onDone);
    ~GifDecodeAhead();
    GifDecodeAhead(const GifDecodeAhead&) = delete;
    GifDecodeAhead& operator=(const GifDecodeAhead&) = delete;

    // Decodes the job next, in place of one not yet started; a job running
    // goes on to its end.
    void Start(std::unique_ptr<cGIF::DecodeJob> job);
    // Whether frame n is waiting or being decoded.
    bool Working(int frame) const;
    // The same; when it is, `onDone` is called once it has finished.
    bool Await(int frame);
    // Whether frame n is waiting, being decoded or decoded and not yet taken.
    bool Asked(int frame) const;
    // The finished job for frame n, or null (a finished job of another frame stays).
    std::unique_ptr<cGIF::DecodeJob> Take(int frame);
    // Forgets every job: the one waiting and the one finished are dropped,
    // the one running stops early and its end is never reported. Does not wait.
    void Cancel();

  private:
    void Work();
    // Working, with the lock held.
    bool Holds(int frame) const;

    std::function<void()> onDone_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::unique_ptr<cGIF::DecodeJob> waiting_, done_;
    int running_ = 0;    // the frame being decoded, or 0
    int awaited_ = 0;    // the frame whose end `onDone` reports, or 0
    uint64_t epoch_ = 0; // counts Cancel: a job started before one is not handed back
    bool quit_ = false;
    // Set to stop the job running; each job has its own, since one cancelled
    // may still be running when the next starts waiting.
    std::shared_ptr<std::atomic<bool>> stop_ = std::make_shared<std::atomic<bool>>(false);
    std::thread thread_; // last: started once everything above exists
};
