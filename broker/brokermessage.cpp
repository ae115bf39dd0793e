#include "brokermessage.h"

namespace {

bool isStatusChange(const QString &kind)
{
    return kind == QLatin1String("status") || kind == QLatin1String("aprovado") || kind == QLatin1String("cancelado");
}

} // namespace

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

bool BrokerMessage::carriesOrder() const
{
    return fields.size() > 3 && (isStatusChange(kind()) || kind() == QLatin1String("pedido_novo"));
}

bool BrokerMessage::changesOrder() const
{
    return fields.size() > 2 && isStatusChange(kind());
}
