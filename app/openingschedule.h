#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

// One opening period of the day: texts of hours and minutes such as "18:00",
// "8:00" or "18:00:00".
// A closing time earlier than the opening ends on the next day.
struct OpeningPeriod
{
    QDateTime opening;
    QDateTime closing;

    static OpeningPeriod onDay(const QDate &day, const QString &inicio, const QString &fim);

    // Open from the opening moment (included) to the closing moment (excluded).
    // A period whose times do not parse never contains anything.
    bool contains(const QDateTime &moment) const;
};
