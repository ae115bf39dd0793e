#include "brokermessage.h"

namespace {

const char *const kindNames[] = {"pedido_novo", "aprovado", "cancelado", "status", "statussite", "closeloja"};

QString compose(BrokerMessage::Type type, int store, int field2, int field3)
{
    return QStringLiteral("%1:%2:%3:%4").arg(QLatin1String(kindNames[type])).arg(store).arg(field2).arg(field3);
}

} // namespace

BrokerMessage::BrokerMessage(const QString &text)
    : fields(text.split(QLatin1Char(':')))
{
}

QString BrokerMessage::newOrder(int store, int order) { return compose(NewOrder, store, order, 0); }
QString BrokerMessage::orderStatus(int store, int order, int code) { return compose(OrderStatus, store, order, code); }
QString BrokerMessage::storeStatus(int store, int status) { return compose(StoreStatus, store, status, 5); }
QString BrokerMessage::closing(int store) { return compose(StoreClosing, store, 0, 4); }

BrokerMessage::Type BrokerMessage::type() const
{
    for (int type = NewOrder; type < Unknown; ++type) {
        if (kind() == QLatin1String(kindNames[type]))
            return Type(type);
    }
    return Unknown;
}

QString BrokerMessage::textOfPayload(const QByteArray &payload)
{
    return QString::fromUtf8(payload.constData());
}

bool BrokerMessage::isFor(const QString &kind, int store) const
{
    return fields.size() >= 2 && fields.at(0) == kind && fields.at(1).toInt() == store;
}

bool BrokerMessage::isForStore(int store) const
{
    return fields.size() >= 2 && fields.at(1).toInt() == store;
}

// The order kinds, with the code in field 3 that their senders always give.
bool BrokerMessage::carriesOrder() const
{
    const Type t = type();
    return fields.size() > 3 && t <= OrderStatus;
}

bool BrokerMessage::changesOrder() const
{
    const Type t = type();
    return fields.size() > 2 && (t == Approved || t == Cancelled || t == OrderStatus);
}
