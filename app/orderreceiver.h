#pragma once

#include "messageinbox.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>

class QAmqpClient;

// The console's receiving connection: an exclusive server-named queue bound to
// the fanout exchange "logs", consumed without acknowledgement. Keeps every
// message delivered for the tick, and rebuilds the connection when it stays
// down or loses its queue.
class OrderReceiver : public QObject
{
    Q_OBJECT

public:
    // configure gives each new client its broker settings.
    explicit OrderReceiver(std::function<void(QAmqpClient *)> configure, QObject *parent = nullptr);
    ~OrderReceiver() override;

    void startReceiver();
    // The tick's look: true while receiving. A receiver down past its grace,
    // or connected without a consumer, is rebuilt.
    bool step();
    bool isConsuming() const { return consuming; }
    MessageInbox &messages() { return inbox; }

signals:
    // A new queue consumes after a loss: what was announced meanwhile is missed.
    void missedMessages();

private slots:
    void clientConnected();
    void exchangeDeclared();
    void queueDeclared();
    void queueBound();
    void messageReceived();

private:
    void noteReceiverDown();
    void noteReceiverChannelLost();
    void rebuildReceiver();

    std::function<void(QAmqpClient *)> configure;
    QAmqpClient *client = nullptr;
    MessageInbox inbox;
    QElapsedTimer downSince;     // invalid while the receiver is connected
    bool consuming = false;
    bool broken = false;         // connected, but its consumer or a channel is gone
    bool reconnected = false;    // lost since the last catch-up
};
