#include "brokerrelay.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

BrokerRelay::BrokerRelay(quint16 targetPort, int holdMs)
    : targetPort(targetPort)
    , holdMs(holdMs)
{
    connect(this, &QTcpServer::newConnection, this, &BrokerRelay::relay);
    listen(QHostAddress::LocalHost);
}

void BrokerRelay::cut()
{
    for (QTcpSocket *client : findChildren<QTcpSocket *>(QString(), Qt::FindDirectChildrenOnly))
        client->abort();
}

void BrokerRelay::relay()
{
    while (QPointer<QTcpSocket> client = nextPendingConnection()) {
        ++accepted;
        auto *upstream = new QTcpSocket(client);
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        connect(upstream, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
        connect(upstream, &QTcpSocket::readyRead, client, [client, upstream] { client->write(upstream->readAll()); });
        // What the client sends during the hold waits in its buffer.
        connect(upstream, &QTcpSocket::connected, client, [client, upstream] {
            upstream->write(client->readAll());
            connect(client, &QTcpSocket::readyRead, upstream, [client, upstream] { upstream->write(client->readAll()); });
        });
        QTimer::singleShot(holdMs, upstream, [this, upstream] { upstream->connectToHost(QHostAddress::LocalHost, targetPort); });
    }
}
