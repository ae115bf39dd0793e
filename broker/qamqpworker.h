#pragma once

#include "qamqpmessage.h"
#include "qamqptable.h"

#include <QByteArray>
#include <QString>

#include <deque>
#include <memory>
#include <mutex>
#include <set>

class QObject;

// One request from the client to its worker thread.
struct QAmqpCommand
{
    enum Kind { OpenChannel, CloseChannel, DeclareExchange, Publish, DeclareQueue, Bind, Consume };

    Kind kind = OpenChannel;
    quint64 epoch = 0;        // connection it was meant for
    int channel = 0;
    QByteArray name;          // exchange of a declaration or a publication; queue otherwise
    QByteArray key;           // exchange type, routing key or binding key
    QByteArray exchange;      // exchange of a binding
    QByteArray body;
    int options = 0;
    QAmqpTable arguments;
    QAmqpMessage::PropertyHash properties;
};

// One result from the worker thread to the client.
struct QAmqpEvent
{
    enum Kind {
        Connected, AttemptFailed, Lost, Finished,
        ChannelOpened, ChannelClosed, ExchangeDeclared, QueueDeclared, QueueBound, Consuming,
        Delivery, Log
    };

    Kind kind = Log;
    quint64 epoch = 0;
    int channel = 0;
    QString text;
    QAmqpMessage message;
};

struct QAmqpSettings
{
    QByteArray host = "localhost";
    quint16 port = 5672;
    QByteArray virtualHost = "/";
    QByteArray username = "guest";
    QByteArray password = "guest";
};

// What a client and its worker thread share. The worker holds it for as long
// as it runs, so a client can let go at any moment without waiting.
struct QAmqpLink
{
    QAmqpLink();
    ~QAmqpLink();
    QAmqpLink(const QAmqpLink &) = delete;
    QAmqpLink &operator=(const QAmqpLink &) = delete;

    void wake();                       // makes the worker look at its commands
    void post(QAmqpEvent &&event);     // to the client, if it still listens

    QAmqpSettings settings;            // fixed before the worker starts
    int wakeFd = -1;                   // eventfd; lives as long as the link

    // Guarded by mutex.
    std::mutex mutex;
    std::deque<QAmqpCommand> commands;
    std::deque<QAmqpEvent> events;
    QObject *receiver = nullptr;       // null once the client let go
    bool eventPosted = false;
    bool stopping = false;
    bool autoReconnect = false;
    int firstRetryDelay = 1;           // seconds
    // The socket, so that a stop can cut it: at once during the handshake,
    // after a grace period once logged in (the worker may be stuck in a send).
    int socketFd = -1;
    bool loggedIn = false;
    // While the worker waits with nothing to do, the connection it is not
    // using, so that a small publication can go out without waking it.
    void *idleConnection = nullptr;
    quint64 idleEpoch = 0;
    std::set<int> idleChannels;        // channels open on it
};

int qamqpEventType();

// Sends a small publication at once, from the calling thread, when the
// worker is idle and the socket has room for it (so that the send cannot
// block). False when it must go through the worker instead. Sets error if
// the send failed; the worker then finds the connection broken.
bool qamqpPublishNow(QAmqpLink &link, const QAmqpCommand &command, QString *error);

// Starts the worker thread of a link. It runs detached: it connects, serves
// the commands, reconnects when asked to, and ends by itself once stopping
// is set. False when no thread could be started.
bool qamqpStartWorker(const std::shared_ptr<QAmqpLink> &link);
