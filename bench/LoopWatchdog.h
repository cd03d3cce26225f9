// How long the thread of the event loop stays busy in one go, seen from
// outside the work: a timer due every millisecond records how late each of
// its calls comes. The greatest lateness is the longest time the loop did not
// come back to its events (within a millisecond). Header only; Qt Core.
// Beside it, the most processor time the thread spent between two calls: on
// a machine shared with other work, the lateness also counts the time the
// system gave to others, this does not.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <ctime>

class LoopWatchdog : public QObject {
  public:
    LoopWatchdog() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            const qint64 now = clock_.nsecsElapsed();
            longestNs_ = std::max(longestNs_, now - lastNs_ - kPeriodNs);
            lastNs_ = now;
            const qint64 cpu = ThreadCpuNs();
            longestCpuNs_ = std::max(longestCpuNs_, cpu - lastCpuNs_);
            lastCpuNs_ = cpu;
        });
    }
    // Starts watching anew; the longest time is forgotten.
    void Start() {
        clock_.start();
        lastNs_ = 0;
        longestNs_ = 0;
        lastCpuNs_ = ThreadCpuNs();
        longestCpuNs_ = 0;
        timer_.start();
    }
    void Stop() { timer_.stop(); }
    // The longest time the loop was busy in one go since Start, in milliseconds.
    double LongestBusyMs() const { return double(std::max<qint64>(longestNs_, 0)) / 1e6; }
    // The most processor time the thread spent in one go since Start, in milliseconds.
    double LongestBusyCpuMs() const { return double(longestCpuNs_) / 1e6; }

  private:
    static constexpr qint64 kPeriodNs = 1000000;
    static qint64 ThreadCpuNs() {
        timespec t{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
    }
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 lastNs_ = 0, longestNs_ = 0;
    qint64 lastCpuNs_ = 0, longestCpuNs_ = 0;
};
