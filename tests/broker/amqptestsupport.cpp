#include "amqptestsupport.h"

#include "testenv.h"

#include <QDir>
#include <QTcpSocket>
#include <QTimer>
#include <QUuid>

#include <mutex>

void configureClient(QAmqpClient *client, int port, const QString &password)
{
    client->setHost(QStringLiteral("127.0.0.1"));
    client->setPort(quint16(port < 0 ? TestEnv::amqpPort() : port));
    client->setVirtualHost(TestEnv::amqpVirtualHost());
    client->setUsername(TestEnv::amqpUser());
    client->setPassword(password.isNull() ? TestEnv::amqpPassword() : password);
    client->setAutoReconnect(true, 0);
}

int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

int openFileCount()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
}

QByteArray token()
{
    return QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
}

int refusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const int port = probe.serverPort();
    probe.close();
    return port;
}

namespace {

std::mutex captureMutex;
QStringList captured;
QtMessageHandler previousHandler = nullptr;

void capture(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    QtMessageHandler previous;
    {
        std::lock_guard<std::mutex> lock(captureMutex);
        captured.append(text);
        previous = previousHandler;
    }
    if (previous)
        previous(type, context, text);
}

} // namespace

DebugCapture::DebugCapture()
{
    std::lock_guard<std::mutex> lock(captureMutex);
    captured.clear();
    previousHandler = qInstallMessageHandler(capture);
}

DebugCapture::~DebugCapture()
{
    std::lock_guard<std::mutex> lock(captureMutex);
    qInstallMessageHandler(previousHandler);
}

QStringList DebugCapture::lines() const
{
    std::lock_guard<std::mutex> lock(captureMutex);
    return captured;
}

ChainReceiver::ChainReceiver(int port, QObject *parent)
    : QObject(parent)
    , client(new QAmqpClient(nullptr))
{
    configureClient(client, port);
    connect(client, SIGNAL(connected()), this, SLOT(clientConnected()));
    connect(client, SIGNAL(disconnected()), this, SLOT(clientDisconnected()));
    client->connectToHost(QString());
}

ChainReceiver::~ChainReceiver()
{
    client->disconnect(this);
    delete client;
}

void ChainReceiver::clientConnected()
{
    ++connectedCount;
    readyQueue = nullptr;
    QAmqpExchange *exchange = client->createExchange(QStringLiteral("logs"), -1);
    connect(exchange, SIGNAL(declared()), this, SLOT(exchangeDeclared()));
    exchange->declare(QAmqpExchange::FanOut, QAmqpExchange::NoOptions, QAmqpTable());
}

void ChainReceiver::clientDisconnected()
{
    ++disconnectedCount;
    readyQueue = nullptr;
}

void ChainReceiver::exchangeDeclared()
{
    if (!qobject_cast<QAmqpExchange *>(sender()))
        return;
    QAmqpQueue *queue = client->createQueue(-1);
    connect(queue, SIGNAL(declared()), this, SLOT(queueDeclared()));
    connect(queue, SIGNAL(bound()), this, SLOT(queueBound()));
    connect(queue, SIGNAL(messageReceived()), this, SLOT(messageReceived()));
    queue->declare(QAmqpQueue::Exclusive);
}

void ChainReceiver::queueDeclared()
{
    if (QAmqpQueue *queue = qobject_cast<QAmqpQueue *>(sender()))
        queue->bind(QStringLiteral("logs"), queue->name());
}

void ChainReceiver::queueBound()
{
    QAmqpQueue *queue = qobject_cast<QAmqpQueue *>(sender());
    if (!queue)
        return;
    queue->consume(QAmqpQueue::coNoAck);
    readyQueue = queue;
}

void ChainReceiver::messageReceived()
{
    if (QAmqpQueue *queue = qobject_cast<QAmqpQueue *>(sender()))
        payloads.append(queue->dequeue().payload());
}

Publisher::Publisher(QObject *parent)
    : QObject(parent)
    , client(new QAmqpClient(this))
{
    configureClient(client);
    connect(client, SIGNAL(connected()), this, SLOT(clientConnected()));
    client->connectToHost(QString());
}

void Publisher::clientConnected()
{
    ready = false;
    exchange = client->createExchange(QStringLiteral("logs"), -1);
    connect(exchange, SIGNAL(declared()), this, SLOT(exchangeDeclared()));
    exchange->declare(QAmqpExchange::FanOut, QAmqpExchange::NoOptions, QAmqpTable());
}

void Publisher::exchangeDeclared()
{
    if (qobject_cast<QAmqpExchange *>(sender()) == exchange)
        ready = true;
}

SilentListener::SilentListener(bool hangUp)
{
    server.listen(QHostAddress::LocalHost, 0);
    connect(&server, &QTcpServer::newConnection, this, [this, hangUp] {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            ++accepted;
            socket->setParent(this);
            if (hangUp)
                socket->abort();
            else
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

FreezableProxy::FreezableProxy(int cutAfterMs)
{
    server.listen(QHostAddress::LocalHost, 0);
    connect(&server, &QTcpServer::newConnection, this, [this, cutAfterMs] {
        while (QTcpSocket *down = server.nextPendingConnection()) {
            ++accepted;
            down->setParent(this);
            if (frozen) {
                down->setReadBufferSize(1);
                continue;
            }
            auto *up = new QTcpSocket(this);
            up->connectToHost(QHostAddress::LocalHost, quint16(TestEnv::amqpPort()));
            connect(down, &QTcpSocket::readyRead, this, [this, down, up] {
                if (!frozen)
                    up->write(down->readAll());
            });
            connect(up, &QTcpSocket::readyRead, this, [this, down, up] {
                if (!frozen)
                    down->write(up->readAll());
            });
            if (cutAfterMs >= 0)
                QTimer::singleShot(cutAfterMs, down, [down, up] { down->abort(); up->abort(); });
        }
    });
}

void FreezableProxy::freeze()
{
    frozen = true;
    // Stop taking bytes off the sockets too, so that the sender's side fills up.
    for (QTcpSocket *socket : findChildren<QTcpSocket *>())
        socket->setReadBufferSize(1);
}

void FreezableProxy::cutAll()
{
    for (QTcpSocket *socket : findChildren<QTcpSocket *>())
        socket->abort();
}
