#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// A broker text: fields joined by ':', field 0 the kind, field 1 the store id in
// decimal, fields 2 and 3 depending on the kind. Nothing is trimmed or escaped.
class BrokerMessage
{
public:
    explicit BrokerMessage(const QString &text);

    // The payload read as UTF-8 up to its first zero byte.
    static QString textOfPayload(const QByteArray &payload);

    QString kind() const { return fields.value(0); }
    int fieldCount() const { return fields.size(); }

    // Exactly this kind, with a store field that reads as store (not a number reads as 0).
    bool isFor(const QString &kind, int store) const;

    // A fourth field makes field 2 an order number to remember.
    bool carriesOrder() const { return fields.size() > 3; }
    int order() const { return fields.value(2).toInt(); }

private:
    QStringList fields;
};
