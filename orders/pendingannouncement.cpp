#include "pendingannouncement.h"

#include "qamqpclient.h"
#include "qamqpexchange.h"

void declaraLogs(QAmqpClient *client, QObject *receiver, const char *slot)
{
    for (QAmqpChannel *old : client->findChildren<QAmqpChannel *>(QString(), Qt::FindDirectChildrenOnly))
        old->deleteLater();
    QAmqpExchange *exchange = client->createExchange(QStringLiteral("logs"), -1);
    QObject::connect(exchange, SIGNAL(declared()), receiver, slot);
    exchange->declare(QAmqpExchange::FanOut, QAmqpExchange::NoOptions, QAmqpTable());
}

PendingAnnouncement::PendingAnnouncement(QAmqpClient *amqp, const QStringList &pending)
    : client(amqp)
    , messages(pending)
{
    connect(client, SIGNAL(connected()), this, SLOT(clientConnected()));
    // Starts connecting if it is not yet trying; an open client says so again.
    client->connectToHost(QString());
}

PendingAnnouncement::~PendingAnnouncement()
{
    client->disconnect(this);
    delete client;
}

void PendingAnnouncement::clientConnected()
{
    declaraLogs(client, this, SLOT(exchangeDeclared()));
}

void PendingAnnouncement::exchangeDeclared()
{
    auto *exchange = qobject_cast<QAmqpExchange *>(sender());
    if (!exchange)
        return;
    if (!published) {
        for (const QString &message : qAsConst(messages))
            exchange->publish(message, QString(QLatin1String("")), QAmqpMessage::PropertyHash(), 0);
        published = true;
        // The broker answers a declaration on a channel only after the
        // messages sent before it on that channel: closing then loses nothing.
        exchange->declare(QAmqpExchange::FanOut, QAmqpExchange::NoOptions, QAmqpTable());
        return;
    }
    client->disconnect(this);
    client->disconnectFromHost();
    deleteLater();
}
