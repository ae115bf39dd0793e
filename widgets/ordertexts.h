#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QVariant>

// "PEDIDO NOVO", "APROVADO", ... for a status code; unknown codes as their number.
QString orderStatusText(const QVariant &code);

// A moment in seconds since the epoch, local time, "dd/MM/yy hh:mm".
QString orderMomentText(const QVariant &secondsSinceEpoch);

// An amount with two decimals in locale, padded with blanks to 10 characters;
// a NULL amount is an empty text.
QString moneyCellText(const QVariant &amount, const QLocale &locale);

// Orders later than this moment (seconds since the epoch) are listed: the same
// clock time two calendar days before now.
qint64 recentOrdersCutoff(const QDateTime &now);
