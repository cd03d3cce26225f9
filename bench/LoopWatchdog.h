// How long the thread of the event loop stays busy in one go, seen from
// outside the work: a timer due every millisecond records how late each of
// its calls comes. The greatest lateness is the longest time the loop did not
// come back to its events (within a millisecond). Header only; Qt Core.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>

class LoopWatchdog : public QObject {
  public:
    LoopWatchdog() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            const qint64 now = clock_.nsecsElapsed();
            longestNs_ = std::max(longestNs_, now - lastNs_ - kPeriodNs);
            lastNs_ = now;
        });
    }
    // Starts watching anew; the longest time is forgotten.
    void Start() {
        clock_.start();
        lastNs_ = 0;
        longestNs_ = 0;
        timer_.start();
    }
    void Stop() { timer_.stop(); }
    // The longest time the loop was busy in one go since Start, in milliseconds.
    double LongestBusyMs() const { return double(std::max<qint64>(longestNs_, 0)) / 1e6; }

  private:
    static constexpr qint64 kPeriodNs = 1000000;
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 lastNs_ = 0, longestNs_ = 0;
};
