#include "brokermessage.h"

BrokerMessage::BrokerMessage(const QString &text)
    : fields(text.split(QLatin1Char(':')))
{
}

QString BrokerMessage::textOfPayload(const QByteArray &payload)
{
    return QString::fromUtf8(payload.constData());
}

bool BrokerMessage::isFor(const QString &kind, int store) const
{
    return fields.size() >= 2 && fields.at(0) == kind && fields.at(1).toInt() == store;
}
