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

    void start();                       // also clears the worst lag
    void stop();
    qint64 maxLagMs() const;            // worst lateness since start(), up to now

private:
    void tick();

    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 worst = 0;
};
