#pragma once

#include "debugcapture.h"
#include "qamqpclient.h"
#include "qamqpexchange.h"
#include "qamqpqueue.h"

// Settings of the private broker, or of a port of the test's own.
void configureClient(QAmqpClient *client, int port = -1, const QString &password = QString());

// Receives from the fanout exchange "logs" the way the main window does, on a
// fresh queue after every connected(); or only declares it, to publish.
class ChainReceiver
{
public:
    explicit ChainReceiver(int port = -1, bool consume = true);
    Q_DISABLE_COPY(ChainReceiver)   // owns client, and its handlers hold this
    ~ChainReceiver() { delete client; }
    bool isReady() const { return readyQueue != nullptr; }
    int count(const QByteArray &payload) const { return payloads.count(payload); }

    QAmqpClient *client;
    QList<QByteArray> payloads;
    QList<QAmqpMessage> messages;
    QAmqpExchange *exchange = nullptr;  // "logs", declared since the latest connection
    QAmqpQueue *readyQueue = nullptr;   // consumer confirmed since the latest connection
    int disconnectedCount = 0;
};

struct Publisher : ChainReceiver { Publisher() : ChainReceiver(-1, false) {} };
