#include "ordertexts.h"

QString orderStatusText(const QVariant &code)
{
    switch (code.toInt()) {
    case 0: return QStringLiteral("PEDIDO NOVO");
    case 1: return QStringLiteral("APROVADO");
    case 2: return QStringLiteral("CANCELADO");
    case 3: return QStringLiteral("ENTREGUE");
    case 4: return QStringLiteral("CANCELADO");
    default: return code.toString();
    }
}

QString orderMomentText(const QVariant &secondsSinceEpoch)
{
    return QDateTime::fromSecsSinceEpoch(secondsSinceEpoch.toLongLong(), Qt::LocalTime)
        .toString(QStringLiteral("dd/MM/yy hh:mm"));
}

QString moneyCellText(const QVariant &amount, const QLocale &locale)
{
    // A NULL of a numeric type reads as "0" in text, so test for it too.
    if (amount.isNull() || amount.toString().isEmpty())
        return QString();
    return locale.toString(amount.toDouble(), 'f', 2).rightJustified(10, QLatin1Char(' '));
}

qint64 recentOrdersCutoff(const QDateTime &now)
{
    return now.addDays(-2).toSecsSinceEpoch();
}
