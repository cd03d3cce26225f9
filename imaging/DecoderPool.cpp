#include "imaging/DecoderPool.h"

#include "imaging/FileHeader.h"
#include "imaging/HelperProcess.h"
#include "imaging/LocalDecode.h"
#include "platform/Files.h"
#include "platform/Product.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;
using Job = std::pair<DecoderPool::Ticket, DecoderPool::Request>;

void Signal(int eventfd) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(eventfd, &one, sizeof one);
}

void Drain(int eventfd) {
    uint64_t count;
    [[maybe_unused]] const ssize_t n = ::read(eventfd, &count, sizeof count);
}

DecodeResult Ended(DecodeResult::Status status, std::string reason = {}) {
    DecodeResult result;
    result.status = status;
    result.reason = std::move(reason);
    return result;
}

DecodeResult Unreadable(int error) {
    DecodeResult result = Ended(DecodeResult::Status::Unreadable, std::strerror(error));
    result.error = error;
    return result;
}

// The file of `request` opened for decoding, with its stamp; -1 when the
// answer is known without decoding (it cannot be opened, or it is a GIF),
// which is then in `early`.
int OpenForDecode(const DecoderPool::Request& request, FileStamp& stamp, DecodeResult& early) {
    const int file = Files::OpenRegularFile(request.path);
    if (file < 0) {
        early = Unreadable(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(file, &st) != 0) {
        early = Unreadable(errno);
        ::close(file);
        return -1;
    }
    stamp.size = uint64_t(st.st_size);
    stamp.changedNs = int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    FileHeader header;
    int error = 0;
    if (request.sniffGif && ReadFileHeader(file, header, error) == PreviewRoad::Gif) {
        early = Ended(DecodeResult::Status::Gif);
        ::close(file);
        return -1;
    }
    return file;
}

} // namespace

struct DecoderPool::State {
    State(std::string path, Limits limits)
        : helperPath(path.empty() ? HelperProcess::DefaultPath() : std::move(path)), limits(limits),
          inProcess(!HelperProcess::Available(helperPath)) {}

    const std::string helperPath;
    const Limits limits;
    const bool inProcess;
    int wake = -1;   // an eventfd: something for the pool's thread to do
    int notify = -1; // an eventfd: answers wait
    std::atomic<Ticket> nextTicket{1};
    std::atomic<uint64_t> helperStarts{0};

    // Shared with the callers, under `lock`.
    struct Queue {
        std::deque<Job> waiting;
        Ticket running = 0;
        bool cancelled = false; // the running request was given up
        pid_t helper = -1;
    };
    mutable std::mutex lock;
    bool stopping = false;
    std::array<Queue, kLanes> queues;
    std::vector<std::pair<Ticket, DecodeResult>> results;

    // The pool's thread's own.
    struct Lane {
        std::unique_ptr<HelperProcess> helper; // kept from request to request
        std::shared_ptr<LocalDecode> local;    // the running decode without a helper
        uint32_t id = 0;                       // the helper's running request
        MFreeImage_2::Box box;
        FileStamp stamp;
        bool cancelSent = false;
        Clock::time_point deadline, cancelDeadline;
        bool Busy() const { return id != 0 || local; }
    };
    std::array<Lane, kLanes> lanes;
    std::vector<std::unique_ptr<HelperProcess>> dying; // killed, to be reaped
    uint32_t nextId = 1;
    bool warnedConfinement = false;
    std::thread thread;

    void Run();
    bool Step(int lane);
    void Start(int lane, const Job& job);
    void Finish(int lane, DecodeResult result);
    void Retire(int lane);
    void TakeAnswer(int lane);
    void SayConfinement(uint32_t missing);
    int PollTimeout(Clock::time_point now) const;
    void Expire(Clock::time_point now);
};

void DecoderPool::State::Retire(int lane) {
    std::unique_ptr<HelperProcess> helper = std::move(lanes[lane].helper);
    if (!helper) return;
    helper->Kill();
    // Reaped once its pidfd says it ended; without a pidfd, at once.
    if (helper->PidFd() >= 0 && !helper->Reap(false))
        dying.push_back(std::move(helper));
    else
        helper->Reap(true);
    const std::lock_guard<std::mutex> hold(lock);
    queues[lane].helper = -1;
}

void DecoderPool::State::Finish(int lane, DecodeResult result) {
    Lane& l = lanes[lane];
    result.stamp = l.stamp;
    result.inProcess = inProcess;
    l.id = 0;
    l.local.reset();
    l.cancelSent = false;
    l.stamp = {};
    const std::lock_guard<std::mutex> hold(lock);
    Queue& q = queues[lane];
    if (!q.cancelled && q.running != 0 && result.status != DecodeResult::Status::Cancelled) {
        results.emplace_back(q.running, std::move(result));
        Signal(notify);
    }
    q.running = 0;
    q.cancelled = false;
}

void DecoderPool::State::SayConfinement(uint32_t missing) {
    if (missing == 0 || warnedConfinement) return;
    warnedConfinement = true;
    std::fprintf(stderr, "%s: %s\n", Product::kCommand,
                 HelperProcess::ConfinementNotice(missing).c_str());
}

void DecoderPool::State::Start(int lane, const Job& job) {
    Lane& l = lanes[lane];
    const Request& request = job.second;
    DecodeResult early;
    const int file = OpenForDecode(request, l.stamp, early);
    if (file < 0) return Finish(lane, std::move(early));
    l.box = request.box;
    l.deadline = Clock::now() + std::chrono::milliseconds(limits.timeLimitMs);
    if (inProcess) {
        DecodeResult failed;
        l.local = LocalDecode::Start(file, request.path, request.box, request.background, failed);
        if (!l.local) Finish(lane, std::move(failed));
        return;
    }
    bool sent = false;
    // A helper gone since its last answer is replaced, and the new one gets this picture.
    for (int attempt = 0; attempt < 2 && !sent; ++attempt) {
        if (!l.helper) {
            l.helper = HelperProcess::Start(helperPath);
            if (!l.helper) break;
            helperStarts.fetch_add(1);
            const std::lock_guard<std::mutex> hold(lock);
            queues[lane].helper = l.helper->Pid();
        }
        l.id = nextId++;
        if (nextId == 0) nextId = 1; // 0 stands for no request
        sent = l.helper->SendDecode(l.id, file, request.path, request.box, request.background);
        if (!sent) Retire(lane);
    }
    ::close(file);
    if (!sent) {
        l.id = 0;
        Finish(lane, Ended(DecodeResult::Status::Failed, HelperProcess::kNotStarted));
    }
}

// Starts the lane's next request, or gives up its running one that was
// cancelled; false when there was nothing to do.
bool DecoderPool::State::Step(int lane) {
    Lane& l = lanes[lane];
    Job job;
    {
        const std::lock_guard<std::mutex> hold(lock);
        Queue& q = queues[lane];
        if (l.Busy()) {
            if (!q.cancelled || l.cancelSent) return false;
        } else {
            if (q.waiting.empty()) return false;
            job = std::move(q.waiting.front());
            q.waiting.pop_front();
            q.running = job.first;
            q.cancelled = false;
        }
    }
    if (!l.Busy()) {
        Start(lane, job);
        return true;
    }
    // Given up while running: a helper is asked to drop it, and has
    // `cancelMs` to say it did. A decode in this process cannot be stopped:
    // the lane waits as long for it to end (its answer dropped) rather than
    // start one more thread beside it, then leaves it to run on by itself.
    l.cancelSent = true;
    l.cancelDeadline = Clock::now() + std::chrono::milliseconds(limits.cancelMs);
    if (l.helper && !l.helper->SendCancel(l.id)) TakeAnswer(lane); // gone: its end is read now
    return true;
}

void DecoderPool::State::TakeAnswer(int lane) {
    Lane& l = lanes[lane];
    if (!l.helper) return;
    if (l.id == 0) { // idle and readable: it ended, or speaks unasked
        Retire(lane);
        return;
    }
    HelperProcess::Answer answer = l.helper->Receive(l.id, l.box);
    if (answer.result.status == DecodeResult::Status::Cancelled && !l.cancelSent) {
        answer.result = Ended(DecodeResult::Status::Failed, HelperProcess::kBrokenAnswer);
        answer.keep = false;
    }
    SayConfinement(answer.result.missingConfinement);
    if (!answer.keep) Retire(lane);
    Finish(lane, std::move(answer.result));
}

void DecoderPool::State::Expire(Clock::time_point now) {
    for (int lane = 0; lane < kLanes; ++lane) {
        Lane& l = lanes[lane];
        if (!l.Busy()) continue;
        if (l.cancelSent && now >= l.cancelDeadline) { // deaf to the cancel
            Retire(lane);
            Finish(lane, Ended(DecodeResult::Status::Cancelled));
        } else if (now >= l.deadline) {
            Retire(lane); // a decode in this process runs on by itself
            Finish(lane, Ended(DecodeResult::Status::TimedOut, HelperProcess::kTooLong));
        }
    }
}

int DecoderPool::State::PollTimeout(Clock::time_point now) const {
    Clock::time_point next = Clock::time_point::max();
    for (const Lane& l : lanes) {
        if (!l.Busy()) continue;
        next = std::min(next, l.deadline);
        if (l.cancelSent) next = std::min(next, l.cancelDeadline);
    }
    if (next == Clock::time_point::max()) return -1;
    if (next <= now) return 0;
    // Rounded up, so that the wake-up is never before the deadline.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
    return int(std::min<int64_t>(ms, INT32_MAX));
}

void DecoderPool::State::Run() {
    for (;;) {
        {
            const std::lock_guard<std::mutex> hold(lock);
            if (stopping) break;
        }
        for (int lane = 0; lane < kLanes; ++lane) {
            // A request that ends at once (unreadable, a GIF) lets the next
            // one start; one cancelled while it started is given up now.
            while (Step(lane)) {
            }
        }
        // The commands, each lane's helper (its socket, its pidfd) or
        // in-process decode, and the helpers killed and not yet reaped.
        std::vector<pollfd> watched{{wake, POLLIN, 0}};
        std::array<std::size_t, kLanes> first{};
        for (int lane = 0; lane < kLanes; ++lane) {
            const Lane& l = lanes[lane];
            first[lane] = watched.size();
            if (l.helper) {
                watched.push_back({l.helper->Socket(), POLLIN, 0});
                if (l.helper->PidFd() >= 0) watched.push_back({l.helper->PidFd(), POLLIN, 0});
            } else if (l.local) {
                watched.push_back({l.local->Fd(), POLLIN, 0});
            }
        }
        const std::size_t firstDying = watched.size();
        for (const auto& helper : dying)
            watched.push_back({helper->PidFd(), POLLIN, 0});
        const int ready = ::poll(watched.data(), watched.size(), PollTimeout(Clock::now()));
        if (ready < 0) continue; // interrupted, or short of memory for a moment
        if (watched[0].revents) Drain(wake);
        for (int lane = 0; lane < kLanes; ++lane) {
            const std::size_t end = lane + 1 < kLanes ? first[lane + 1] : firstDying;
            bool readable = false;
            for (std::size_t i = first[lane]; i < end; ++i)
                readable = readable || watched[i].revents != 0;
            if (!readable) continue;
            Lane& l = lanes[lane];
            if (l.helper) {
                TakeAnswer(lane);
            } else if (l.local) {
                if (auto result = l.local->Take()) Finish(lane, std::move(*result));
            }
        }
        for (std::size_t i = dying.size(); i-- > 0;)
            if (watched[firstDying + i].revents && dying[i]->Reap(false))
                dying.erase(dying.begin() + std::ptrdiff_t(i));
        Expire(Clock::now());
    }
    for (int lane = 0; lane < kLanes; ++lane)
        Retire(lane);
    for (auto& helper : dying)
        helper->Reap(true);
    dying.clear();
}

DecoderPool::DecoderPool(std::string helperPath) : DecoderPool(std::move(helperPath), Limits()) {}

DecoderPool::DecoderPool(std::string helperPath, Limits limits)
    : state_(std::make_unique<State>(std::move(helperPath), limits)) {
    state_->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    state_->notify = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    state_->thread = std::thread([state = state_.get()] { state->Run(); });
}

DecoderPool::~DecoderPool() {
    {
        const std::lock_guard<std::mutex> hold(state_->lock);
        state_->stopping = true;
    }
    Signal(state_->wake);
    state_->thread.join();
    ::close(state_->wake);
    ::close(state_->notify);
}

DecoderPool::Ticket DecoderPool::Submit(Lane lane, Request request) {
    const Ticket ticket = state_->nextTicket.fetch_add(1);
    {
        const std::lock_guard<std::mutex> hold(state_->lock);
        state_->queues[int(lane)].waiting.emplace_back(ticket, std::move(request));
    }
    Signal(state_->wake);
    return ticket;
}

void DecoderPool::Cancel(Ticket ticket) {
    const std::lock_guard<std::mutex> hold(state_->lock);
    for (State::Queue& q : state_->queues) {
        std::erase_if(q.waiting, [ticket](const Job& job) { return job.first == ticket; });
        if (q.running == ticket && !q.cancelled) {
            q.cancelled = true;
            Signal(state_->wake);
        }
    }
    auto& results = state_->results;
    std::erase_if(results, [ticket](const auto& answer) { return answer.first == ticket; });
    if (results.empty()) Drain(state_->notify);
}

int DecoderPool::NotifyFd() const {
    return state_->notify;
}

std::vector<std::pair<DecoderPool::Ticket, DecodeResult>> DecoderPool::TakeResults() {
    const std::lock_guard<std::mutex> hold(state_->lock);
    Drain(state_->notify);
    return std::exchange(state_->results, {});
}

bool DecoderPool::Idle() const {
    const std::lock_guard<std::mutex> hold(state_->lock);
    for (const State::Queue& q : state_->queues)
        if (!q.waiting.empty() || q.running != 0) return false;
    return state_->results.empty();
}

bool DecoderPool::DecodesInProcess() const {
    return state_->inProcess;
}

uint64_t DecoderPool::HelperStarts() const {
    return state_->helperStarts.load();
}

std::vector<pid_t> DecoderPool::HelperPids() const {
    const std::lock_guard<std::mutex> hold(state_->lock);
    std::vector<pid_t> pids;
    for (const State::Queue& q : state_->queues)
        if (q.helper > 0) pids.push_back(q.helper);
    return pids;
}
