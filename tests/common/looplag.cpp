#include "looplag.h"

#include <algorithm>

LoopLagMeter::LoopLagMeter(QObject *parent)
    : QObject(parent)
{
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, &LoopLagMeter::tick);
}

qint64 LoopLagMeter::maxLagMs() const
{
    // A loop blocked right now has not ticked yet; count that too.
    return std::max(worst, timer.isActive() ? clock.elapsed() - last - intervalMs : 0);
}

void LoopLagMeter::tick()
{
    worst = std::max(worst, clock.elapsed() - last - intervalMs);
    last = clock.elapsed();
}
