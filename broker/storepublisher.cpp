#include "storepublisher.h"

#include "qamqpclient.h"
#include "qamqpexchange.h"

StorePublisher::StorePublisher(std::function<void(QAmqpClient *)> configure, QObject *parent)
    : QObject(parent)
    , configure(std::move(configure))
{
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, this, [this] {
        const QStringList dropped = std::exchange(held, {});
        emit expired(dropped);
        if (finishing)
            close();
    });
}

StorePublisher::~StorePublisher()
{
    if (client) {
        client->disconnect(this);
        delete client;
    }
}

void StorePublisher::publish(const QString &text)
{
    held.append(text);
    if (expiryMs > 0 && !deadline.isActive())
        deadline.start(expiryMs);
    if (!client) {
        client = new QAmqpClient(nullptr);
        configure(client);
        connect(client, &QAmqpClient::connected, this, &StorePublisher::connected);
        connect(client, &QAmqpClient::disconnected, this, &StorePublisher::connectionLost);
    }
    // Starts connecting if it is not yet trying; an open client says so again.
    client->connectToHost(QString(QLatin1String("")));
}

void StorePublisher::finish()
{
    finishing = true;
    if (held.isEmpty())
        close();
}

void StorePublisher::connected()
{
    // Channels of a connection that was lost and reopened are dead; drop them.
    for (QAmqpChannel *old : client->findChildren<QAmqpChannel *>(QString(), Qt::FindDirectChildrenOnly))
        old->deleteLater();
    QAmqpExchange *exchange = client->createExchange(QStringLiteral("logs"), -1);
    connect(exchange, &QAmqpExchange::declared, this, [this, exchange] { declared(exchange); });
    exchange->declare(QAmqpExchange::FanOut, QAmqpExchange::NoOptions, QAmqpTable());
}

void StorePublisher::declared(QAmqpExchange *exchange)
{
    if (held.isEmpty()) {
        if (finishing)
            close();
        return;
    }
    deadline.stop();
    for (const QString &text : std::exchange(held, {})) {
        exchange->publish(text, QString(QLatin1String("")), QAmqpMessage::PropertyHash(), 0);
        emit published(text);
    }
    // The broker answers a declaration on a channel only after the messages
    // sent before it on that channel: closing then loses nothing.
    if (finishing)
        exchange->declare(QAmqpExchange::FanOut, QAmqpExchange::NoOptions, QAmqpTable());
}

void StorePublisher::close()
{
    if (client) {
        client->disconnect(this);
        client->disconnectFromHost();
        client->deleteLater();
        client = nullptr;
    }
    deleteLater();
}
