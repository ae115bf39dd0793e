#include "brokerrelay.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

BrokerRelay::BrokerRelay(quint16 targetPort, int holdMs, QObject *parent)
    : QObject(parent)
    , targetPort(targetPort)
    , holdMs(holdMs)
{
    connect(&server, &QTcpServer::newConnection, this, &BrokerRelay::accept);
}

bool BrokerRelay::listen()
{
    return server.listen(QHostAddress::LocalHost, 0);
}

void BrokerRelay::cut()
{
    for (QTcpSocket *client : findChildren<QTcpSocket *>(QString(), Qt::FindDirectChildrenOnly))
        client->abort();
}

void BrokerRelay::accept()
{
    while (QTcpSocket *client = server.nextPendingConnection()) {
        ++accepted;
        client->setParent(this);
        auto *upstream = new QTcpSocket(client);
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        QPointer<QTcpSocket> guard(client);
        // Relay only after the hold: what the client sends meanwhile waits in its buffer.
        QTimer::singleShot(holdMs, this, [this, guard, upstream] {
            if (!guard)
                return;
            QTcpSocket *client = guard.data();
            connect(upstream, &QTcpSocket::connected, client, [client, upstream] {
                upstream->write(client->readAll());
                connect(client, &QTcpSocket::readyRead, upstream, [client, upstream] { upstream->write(client->readAll()); });
            });
            connect(upstream, &QTcpSocket::readyRead, client, [client, upstream] { client->write(upstream->readAll()); });
            connect(upstream, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
            upstream->connectToHost(QHostAddress::LocalHost, targetPort);
        });
    }
}
