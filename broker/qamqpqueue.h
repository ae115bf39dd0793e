#pragma once

#include "qamqpchannel.h"
#include "qamqpmessage.h"
#include "qamqptable.h"

#include <QQueue>

class QAmqpExchange;

// A queue on the broker, and the local first-in first-out list of the
// messages it delivered: messageReceived() is emitted once per message
// appended; take them with dequeue().
class QAmqpQueue : public QAmqpChannel, public QQueue<QAmqpMessage>
{
    Q_OBJECT

public:
    enum QueueOption {
        NoOptions = 0x0,
        Passive = 0x01,
        Durable = 0x02,
        Exclusive = 0x04,
        AutoDelete = 0x08,
        NoWait = 0x10      // accepted; the declaration is still confirmed
    };
    enum ConsumeOption {
        coNoLocal = 0x01,
        coNoAck = 0x02,
        coExclusive = 0x04,
        coNoWait = 0x08    // accepted; consuming() is still emitted
    };

    // An empty name lets the broker name the queue; name() holds it after declared().
    void declare(int options = Durable | AutoDelete, const QAmqpTable &arguments = QAmqpTable());
    void bind(const QString &exchangeName, const QString &key);
    void bind(QAmqpExchange *exchange, const QString &key);
    // False when this queue already consumes or its channel is closed for good.
    // Without coNoAck the broker waits for acknowledgements that this client
    // never sends.
    bool consume(int options = coNoAck);

    // False again once the broker cancelled the consumer or closed the channel.
    bool isConsuming() const { return m_consumeRequested; }
    QString consumerTag() const { return m_consumerTag; }

signals:
    void declared();
    void bound();
    void messageReceived();
    void consuming(const QString &consumerTag);
    // The broker ended the consumer, for example because the queue was
    // deleted: nothing more arrives, though the connection stays open.
    void cancelled(const QString &consumerTag);

private:
    friend class QAmqpClient;
    friend class QAmqpClientPrivate;
    QAmqpQueue(const QString &name, int channelNumber, QAmqpClient *client);

    bool m_consumeRequested = false;
    QString m_consumerTag;
};
