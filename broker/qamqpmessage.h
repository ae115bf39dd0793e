#pragma once

#include "qamqptable.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVariant>

// One message delivered by the broker. A plain copyable value; the payload
// is shared, so copies are cheap.
class QAmqpMessage
{
public:
    // Values are the property flags of the AMQP basic class.
    enum Property {
        ContentType = 0x8000,
        ContentEncoding = 0x4000,
        Headers = 0x2000,            // a QAmqpTable
        DeliveryMode = 0x1000,       // 1 transient, 2 persistent
        Priority = 0x0800,
        CorrelationId = 0x0400,
        ReplyTo = 0x0200,
        Expiration = 0x0100,
        MessageId = 0x0080,
        Timestamp = 0x0040,          // a QDateTime, whole seconds
        Type = 0x0020,
        UserId = 0x0010,
        AppId = 0x0008,
        ClusterID = 0x0004
    };
    typedef QHash<Property, QVariant> PropertyHash;

    QAmqpMessage() = default;

    // False for a default-constructed message, true for one the broker delivered.
    bool isValid() const { return m_valid; }
    QByteArray payload() const { return m_payload; }

    bool hasProperty(Property property) const { return m_properties.contains(property); }
    QVariant property(Property property, const QVariant &defaultValue = QVariant()) const
    { return m_properties.value(property, defaultValue); }
    PropertyHash properties() const { return m_properties; }
    QAmqpTable headers() const { return m_properties.value(Headers).value<QAmqpTable>(); }

    QString exchangeName() const { return m_exchangeName; }
    QString routingKey() const { return m_routingKey; }
    quint64 deliveryTag() const { return m_deliveryTag; }
    bool isRedelivered() const { return m_redelivered; }

private:
    friend class QAmqpSession;

    bool m_valid = false;
    bool m_redelivered = false;
    quint64 m_deliveryTag = 0;
    QByteArray m_payload;
    PropertyHash m_properties;
    QString m_exchangeName;
    QString m_routingKey;
};

Q_DECLARE_METATYPE(QAmqpMessage)
