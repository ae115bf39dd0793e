#pragma once

#include "qamqpchannel.h"
#include "qamqpmessage.h"
#include "qamqptable.h"

class QAmqpExchange : public QAmqpChannel
{
    Q_OBJECT

public:
    enum ExchangeType { Direct, FanOut, Topic, Headers };
    Q_ENUM(ExchangeType)

    enum ExchangeOption {
        NoOptions = 0x0,
        Passive = 0x01,
        Durable = 0x02,
        AutoDelete = 0x04,
        Internal = 0x08,
        NoWait = 0x10      // accepted; the declaration is still confirmed
    };
    Q_DECLARE_FLAGS(ExchangeOptions, ExchangeOption)

    enum PublishOption {
        poNoOptions = 0x0,
        poMandatory = 0x01  // unroutable messages come back and are logged
    };

    void declare(ExchangeType type = Direct, ExchangeOptions options = NoOptions,
                 const QAmqpTable &args = QAmqpTable());

    // A text is sent as UTF-8 with content type "text/plain".
    void publish(const QString &message, const QString &routingKey,
                 const QAmqpMessage::PropertyHash &properties = QAmqpMessage::PropertyHash(),
                 int publishOptions = poNoOptions);
    void publish(const QByteArray &message, const QString &routingKey, const QString &mimeType,
                 const QAmqpMessage::PropertyHash &properties = QAmqpMessage::PropertyHash(),
                 int publishOptions = poNoOptions);

signals:
    void declared();

private:
    friend class QAmqpClient;
    friend class QAmqpClientPrivate;
    QAmqpExchange(const QString &name, int channelNumber, QAmqpClient *client);
};

Q_DECLARE_OPERATORS_FOR_FLAGS(QAmqpExchange::ExchangeOptions)
