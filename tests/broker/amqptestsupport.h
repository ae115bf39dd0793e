#pragma once

#include "qamqpclient.h"
#include "qamqpexchange.h"
#include "qamqpqueue.h"

#include <QTcpServer>

// Longest the event loop may go unserved. A blocking call on the GUI thread
// shows as seconds (handshakes, sends without a deadline); a busy 2-core
// machine alone reaches ~100 ms, and sanitized builds run slower still.
#if defined(__SANITIZE_THREAD__)
constexpr qint64 LagLimitMs = 2000;
#elif defined(__SANITIZE_ADDRESS__)
constexpr qint64 LagLimitMs = 1000;
#else
constexpr qint64 LagLimitMs = 500;
#endif

// Settings of the private broker, or of a port of the test's own.
void configureClient(QAmqpClient *client, int port = -1, const QString &password = QString());
// Threads and file descriptors of this process, to see that nothing leaks.
int threadCount();
int openFileCount();
QByteArray token();
int refusedPort();

// Collects the debug log, from any thread, since it was made.
class DebugCapture
{
public:
    DebugCapture();
    int count(const QString &part) const;
};

// Receives from the fanout exchange "logs" the way the main window does, on a
// fresh queue after every connected(); or only declares it, to publish.
class ChainReceiver
{
public:
    explicit ChainReceiver(int port = -1, bool consume = true);
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
