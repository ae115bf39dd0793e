#include "looplag.h"

#include <algorithm>

namespace {
constexpr int IntervalMs = 10;
}

LoopLagMeter::LoopLagMeter(QObject *parent)
    : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(IntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &LoopLagMeter::tick);
}

void LoopLagMeter::start()
{
    m_maxLag = 0;
    m_clock.start();
    m_last = 0;
    m_timer.start();
}

void LoopLagMeter::stop()
{
    tick();
    m_timer.stop();
}

qint64 LoopLagMeter::maxLagMs() const
{
    // A loop blocked right now has not ticked yet; count that too.
    const qint64 pending = m_timer.isActive() ? m_clock.elapsed() - m_last - IntervalMs : 0;
    return std::max(m_maxLag, pending);
}

void LoopLagMeter::tick()
{
    const qint64 now = m_clock.elapsed();
    m_maxLag = std::max(m_maxLag, now - m_last - IntervalMs);
    m_last = now;
}
