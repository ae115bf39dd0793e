#include "openingschedule.h"

namespace {
QDateTime momentOn(const QDate &day, const QString &time)
{
    return QDateTime::fromString(QStringLiteral("%1 %2").arg(day.toString(QStringLiteral("dd/MM/yyyy")), time),
                                 QStringLiteral("dd/MM/yyyy hh:mm"));
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
