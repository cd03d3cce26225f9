#include "gif/GifDecodeAhead.h"

GifDecodeAhead::GifDecodeAhead(std::function<void()> onDone) : onDone_(std::move(onDone)) {}

GifDecodeAhead::~GifDecodeAhead() {
    {
        const std::lock_guard lock(mutex_);
        quit_ = true;
        stop_->store(true);
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void GifDecodeAhead::Start(std::unique_ptr<cGIF::DecodeJob> job) {
    if (!job) return;
    {
        const std::lock_guard lock(mutex_);
        waiting_ = std::move(job);
        if (!thread_.joinable()) thread_ = std::thread(&GifDecodeAhead::Work, this);
    }
    wake_.notify_all();
}

bool GifDecodeAhead::Holds(int frame) const {
    return frame > 0 && (running_ == frame || (waiting_ && waiting_->Frame() == frame));
}

bool GifDecodeAhead::Working(int frame) const {
    const std::lock_guard lock(mutex_);
    return Holds(frame);
}

bool GifDecodeAhead::Await(int frame) {
    const std::lock_guard lock(mutex_);
    if (!Holds(frame)) return false;
    awaited_ = frame;
    return true;
}

bool GifDecodeAhead::Asked(int frame) const {
    const std::lock_guard lock(mutex_);
    return Holds(frame) || (frame > 0 && done_ && done_->Frame() == frame);
}

std::unique_ptr<cGIF::DecodeJob> GifDecodeAhead::Take(int frame) {
    const std::lock_guard lock(mutex_);
    if (!done_ || done_->Frame() != frame) return nullptr;
    return std::move(done_);
}

void GifDecodeAhead::Cancel() {
    const std::lock_guard lock(mutex_);
    waiting_.reset();
    done_.reset();
    running_ = awaited_ = 0;
    ++epoch_;
    stop_->store(true);
    stop_ = std::make_shared<std::atomic<bool>>(false);
}

void GifDecodeAhead::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return quit_ || waiting_; });
        if (quit_) return;
        std::unique_ptr<cGIF::DecodeJob> job = std::move(waiting_);
        const std::shared_ptr<std::atomic<bool>> stop = stop_;
        const uint64_t epoch = epoch_;
        running_ = job->Frame();
        lock.unlock();
        job->Run(*stop);
        lock.lock();
        if (epoch != epoch_ || quit_) continue; // cancelled while it ran
        running_ = 0;
        const bool awaited = awaited_ == job->Frame();
        if (awaited) awaited_ = 0;
        done_ = std::move(job);
        if (!awaited) continue;
        lock.unlock();
        onDone_();
        lock.lock();
    }
}
