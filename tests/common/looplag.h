#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// Measures how long the event loop of this thread goes unserved: a 10 ms
// timer notes how much later than due each of its ticks runs.
class LoopLagMeter : public QObject
{
public:
    explicit LoopLagMeter(QObject *parent = nullptr);

    void start() { worst = last = 0; clock.start(); timer.start(intervalMs); }   // also clears the worst lag
    void stop() { tick(); timer.stop(); }
    qint64 maxLagMs() const;            // worst lateness since start(), up to now

private:
    static constexpr int intervalMs = 10;
    void tick();

    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 worst = 0;
};
