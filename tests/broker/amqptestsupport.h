#pragma once

#include "qamqpclient.h"
#include "qamqpexchange.h"
#include "qamqpqueue.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTcpServer>

// Longest the event loop may go unserved; sanitized builds run slower.
#if defined(__SANITIZE_THREAD__)
constexpr qint64 LagLimitMs = 1000;
#elif defined(__SANITIZE_ADDRESS__)
constexpr qint64 LagLimitMs = 250;
#else
constexpr qint64 LagLimitMs = 50;
#endif

// Settings of the private broker, or of a port of the test's own.
void configureClient(QAmqpClient *client, int port = -1, const QString &password = QString());

// Threads and file descriptors of this process, to see that nothing leaks.
int threadCount();
int openFileCount();

QByteArray token();
int refusedPort();

// Collects the debug log, from any thread, while it lives.
class DebugCapture
{
public:
    DebugCapture();
    ~DebugCapture();
    QStringList lines() const;
    int count(const QString &part) const { return lines().filter(part).size(); }
};

// Receives from the fanout exchange "logs" the way the main window does:
// each step connected by name, the exchange or queue taken from sender().
// On every connected() it declares everything again on a fresh queue.
class ChainReceiver : public QObject
{
    Q_OBJECT

public:
    explicit ChainReceiver(int port = -1, QObject *parent = nullptr);
    ~ChainReceiver() override;

    QAmqpClient *client;
    QList<QByteArray> payloads;
    int connectedCount = 0;
    int disconnectedCount = 0;

    bool isReady() const { return readyQueue != nullptr; }
    QAmqpQueue *readyQueue = nullptr;   // consuming since the latest connection

public slots:
    void clientConnected();
    void clientDisconnected();
    void exchangeDeclared();
    void queueDeclared();
    void queueBound();
    void messageReceived();
};

// A client that declares "logs" and then publishes through it.
class Publisher : public QObject
{
    Q_OBJECT

public:
    explicit Publisher(QObject *parent = nullptr);

    QAmqpClient *client;
    QAmqpExchange *exchange = nullptr;
    bool ready = false;

public slots:
    void clientConnected();
    void exchangeDeclared();
};

// Accepts connections and never says a word; counts them. With hangUp it
// closes each one at once.
class SilentListener : public QObject
{
public:
    explicit SilentListener(bool hangUp = false);
    int port() const { return server.serverPort(); }

    QTcpServer server;
    int accepted = 0;
};

// Passes bytes between a client and the broker until frozen; then keeps
// every socket open and moves nothing, like a peer that died silently.
// With cutAfterMs set, it hangs up each connection that long after it came.
class FreezableProxy : public QObject
{
public:
    explicit FreezableProxy(int cutAfterMs = -1);
    int port() const { return server.serverPort(); }
    void freeze();
    void cutAll();

    QTcpServer server;
    bool frozen = false;
    int accepted = 0;
};
