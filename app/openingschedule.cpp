#include "openingschedule.h"

namespace {
// "8:00", "18:00" and a TIME column's "18:00:00" name the same kind of moment.
QTime timeOf(const QString &text)
{
    const QTime time = QTime::fromString(text, QStringLiteral("h:mm"));
    return time.isValid() ? time : QTime::fromString(text, QStringLiteral("h:mm:ss"));
}

QDateTime momentOn(const QDate &day, const QTime &time)
{
    if (!time.isValid())
        return QDateTime();
    const QDateTime moment(day, time);
    if (moment.isValid())
        return moment;
    // Skipped when the clocks went forward: read at the offset of the day
    // before, it is the moment as long after the jump.
    const int offset = QDateTime(day.addDays(-1), QTime(12, 0)).offsetFromUtc();
    return QDateTime(day, time, Qt::OffsetFromUTC, offset).toLocalTime();
}
}

OpeningPeriod OpeningPeriod::onDay(const QDate &day, const QString &inicio, const QString &fim)
{
    // A closing time earlier than the opening is on the next day: taken on
    // that day, not moved from this one, where it may not exist.
    const QTime from = timeOf(inicio), to = timeOf(fim);
    return {momentOn(day, from), momentOn(to < from ? day.addDays(1) : day, to)};
}

bool OpeningPeriod::contains(const QDateTime &moment) const
{
    return opening.isValid() && closing.isValid() && opening <= moment && moment < closing;
}
