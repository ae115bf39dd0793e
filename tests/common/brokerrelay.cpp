#include "brokerrelay.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

BrokerRelay::BrokerRelay(quint16 targetPort, int holdMs, int cutAfterMs)
    : targetPort(targetPort)
{
    connect(this, &QTcpServer::newConnection, this, [this, holdMs, cutAfterMs] {
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
        QTimer::singleShot(holdMs, upstream, [this, upstream] {
            if (!frozen)
                upstream->connectToHost(QHostAddress::LocalHost, this->targetPort);
        });
    });
    listen(QHostAddress::LocalHost);
}

void BrokerRelay::cut()
{
    for (QTcpSocket *socket : findChildren<QTcpSocket *>())
        socket->abort();
}

void BrokerRelay::freeze()
{
    frozen = true;
    for (QTcpSocket *socket : findChildren<QTcpSocket *>())
        socket->setReadBufferSize(1);
}
