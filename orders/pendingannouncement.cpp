#include "pendingannouncement.h"

#include "qamqpclient.h"
#include "qamqpexchange.h"

PendingAnnouncement::PendingAnnouncement(QAmqpClient *amqp, const QStringList &pending)
    : client(amqp)
    , messages(pending)
{
    client->disconnect();
    connect(client, SIGNAL(connected()), this, SLOT(clientConnected()));
    // Starts connecting if it is not yet trying; an open client says so again.
    client->connectToHost(QString());
}

PendingAnnouncement::~PendingAnnouncement()
{
    client->disconnect();
    delete client;
}

void PendingAnnouncement::clientConnected()
{
    // Channels of a lost connection are dead.
    for (QAmqpChannel *old : client->findChildren<QAmqpChannel *>(QString(), Qt::FindDirectChildrenOnly))
        old->deleteLater();
    QAmqpExchange *exchange = client->createExchange(QStringLiteral("logs"), -1);
    connect(exchange, SIGNAL(declared()), this, SLOT(exchangeDeclared()));
    exchange->declare(QAmqpExchange::FanOut, QAmqpExchange::NoOptions, QAmqpTable());
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
    client->disconnect();
    client->disconnectFromHost();
    deleteLater();
}
