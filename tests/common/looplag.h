#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>

// Measures how long the event loop of this thread goes unserved: a 10 ms
// timer notes how much later than due each of its ticks runs.
class LoopLagMeter : public QObject
{
public:
    LoopLagMeter()
    {
        timer.setTimerType(Qt::PreciseTimer);
        connect(&timer, &QTimer::timeout, this, [this] { worst = maxLagMs(); last = clock.elapsed(); });
    }
    void start() { worst = last = 0; clock.start(); timer.start(intervalMs); }   // also clears the worst lag
    void stop() { worst = maxLagMs(); timer.stop(); }
    // Worst lateness since start(), up to now; a loop blocked right now has not ticked yet, count that too.
    qint64 maxLagMs() const { return std::max(worst, timer.isActive() ? clock.elapsed() - last - intervalMs : 0); }

    // A wait on the loop's thread shows as seconds; sanitized builds run slower.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    static constexpr qint64 stallLimitMs = 600;
#else
    static constexpr qint64 stallLimitMs = 200;
#endif

private:
    static constexpr int intervalMs = 10;
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0, worst = 0;
};
