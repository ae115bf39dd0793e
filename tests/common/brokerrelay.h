#pragma once

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

// A TCP relay to a local server. It can hold every new connection back for a
// while (a slow handshake), hang each one up a while after it came, cut the
// open ones (a connection lost), and freeze: then it keeps every socket open
// and neither moves nor reads a byte, so the sender's side fills up, like a
// peer that died silently, until released.
class BrokerRelay : public QTcpServer
{
public:
    explicit BrokerRelay(quint16 targetPort, int holdMs = 0, int cutAfterMs = -1)
    {
        connect(this, &QTcpServer::newConnection, this, [this, targetPort, holdMs, cutAfterMs] {
            QPointer<QTcpSocket> client = nextPendingConnection();
            ++accepted;
            connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
            if (cutAfterMs >= 0)
                QTimer::singleShot(cutAfterMs, client, [client] { client->abort(); });
            // A frozen relay lets no new connection through.
            if (frozen)
                return client->setReadBufferSize(1);
            auto *upstream = new QTcpSocket(client);
            connect(upstream, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
            connect(upstream, &QTcpSocket::readyRead, client, [this, client, upstream] {
                if (!frozen)
                    client->write(upstream->readAll());
            });
            // What the client sends during the hold waits in its buffer.
            connect(upstream, &QTcpSocket::connected, client, [this, client, upstream] {
                upstream->write(client->readAll());
                connect(client, &QTcpSocket::readyRead, upstream, [this, client, upstream] {
                    if (!frozen)
                        upstream->write(client->readAll());
                });
            });
            QTimer::singleShot(holdMs, upstream, [this, targetPort, upstream] {
                if (!frozen)
                    upstream->connectToHost(QHostAddress::LocalHost, targetPort);
            });
        });
        listen(QHostAddress::LocalHost);
    }
    int connections() const { return accepted; }
    void cut()
    {
        for (QTcpSocket *socket : findChildren<QTcpSocket *>())
            socket->abort();
    }
    void freeze()
    {
        frozen = true;
        for (QTcpSocket *socket : findChildren<QTcpSocket *>())
            socket->setReadBufferSize(1);
    }
    void release() { cut(); frozen = false; }

private:
    int accepted = 0;
    bool frozen = false;
};
