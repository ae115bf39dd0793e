#include "openingschedule.h"

namespace {
// "8:00", "18:00" and a TIME column's "18:00:00" name the same kind of moment.
QDateTime momentOn(const QDate &day, const QString &text)
{
    QTime time = QTime::fromString(text, QStringLiteral("h:mm"));
    if (!time.isValid())
        time = QTime::fromString(text, QStringLiteral("h:mm:ss"));
    return time.isValid() ? QDateTime(day, time) : QDateTime();
}
}

OpeningPeriod OpeningPeriod::onDay(const QDate &day, const QString &inicio, const QString &fim)
{
    OpeningPeriod period{momentOn(day, inicio), momentOn(day, fim)};
    if (period.closing < period.opening)
        period.closing = period.closing.addDays(1);
    return period;
}

bool OpeningPeriod::contains(const QDateTime &moment) const
{
    return opening.isValid() && closing.isValid() && opening <= moment && moment < closing;
}
