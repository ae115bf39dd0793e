#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// A broker text: fields joined by ':', field 0 the kind, field 1 the store id in
// decimal, fields 2 and 3 depending on the kind. Nothing is trimmed or escaped.
class BrokerMessage
{
public:
    enum Type { NewOrder, Approved, Cancelled, OrderStatus, StoreStatus, StoreClosing, Unknown };

    explicit BrokerMessage(const QString &text);

    // The texts this console and the service send.
    static QString newOrder(int store, int order);                 // "pedido_novo:<store>:<order>:0"
    static QString orderStatus(int store, int order, int code);    // "status:<store>:<order>:<code>"
    static QString storeStatus(int store, int status);             // "statussite:<store>:<status>:5"
    static QString closing(int store);                             // "closeloja:<store>:0:4"

    // The payload read as UTF-8 up to its first zero byte.
    static QString textOfPayload(const QByteArray &payload);

    QString kind() const { return fields.value(0); }
    Type type() const;
    int fieldCount() const { return fields.size(); }

    // Exactly this kind, with a store field that reads as store (not a number reads as 0).
    bool isFor(const QString &kind, int store) const;
    // Of any kind, with a store field that reads as store.
    bool isForStore(int store) const;

    int store() const { return fields.value(1).toInt(); }
    int order() const { return fields.value(2).toInt(); }

    // An order kind ("pedido_novo", "aprovado", "cancelado", "status") with a
    // code in field 3: field 2 is an order number to remember. "statussite"
    // and "closeloja" carry a store status there, never an order.
    bool carriesOrder() const;
    // A status change of the order in field 2 ("status", "aprovado",
    // "cancelado"): an open dialog of that store's order is out of date.
    // A new order's own announcement changes nothing.
    bool changesOrder() const;

private:
    QStringList fields;
};
