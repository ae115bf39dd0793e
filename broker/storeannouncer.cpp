#include "storeannouncer.h"

#include "qamqpclient.h"
#include "qamqpexchange.h"

#include <QDebug>

namespace {
const char *const sentLine[] = {" [x] Sent close", " [x] Sent close site"};
const char *const lostLine[] = {"closeClient: conexão perdida antes do envio",
                                "siteClient: conexão perdida antes do envio"};
const char *const droppedLine[] = {"closeClient: não enviado em 60 s, descartado",
                                   "siteClient: não enviado em 60 s, descartado"};
}

StoreAnnouncer::StoreAnnouncer(std::function<void(QAmqpClient *)> configure, QObject *parent)
    : QObject(parent)
    , configure(std::move(configure))
{
    for (Kind kind : {Close, Site}) {
        deadlines[kind].setSingleShot(true);
        connect(&deadlines[kind], &QTimer::timeout, this, [this, kind] {
            if (!clients[kind])
                return;
            qDebug() << droppedLine[kind];
            release(kind);
            emit expired(kind);
        });
    }
}

StoreAnnouncer::~StoreAnnouncer()
{
    release(Close);
    release(Site);
}

void StoreAnnouncer::enviarFecharLoja(int idPizzaria)
{
    start(Close, QStringLiteral("closeloja:%1:%2:%3").arg(idPizzaria).arg(QStringLiteral("0"), QStringLiteral("4")));
}

void StoreAnnouncer::enviarSite(int idPizzaria, int statusSite)
{
    start(Site, QStringLiteral("statussite:%1:%2:%3").arg(idPizzaria).arg(statusSite).arg(QStringLiteral("5")));
}

void StoreAnnouncer::start(Kind kind, const QString &message)
{
    // An older announcement of this kind that has not gone out would only
    // repeat a state the operator has since changed.
    release(kind);
    auto *client = new QAmqpClient(this);
    clients[kind] = client;
    messages[kind] = message;
    configure(client);
    connect(client, &QAmqpClient::connected, this, [this, kind] { connected(kind); });
    // A lost connection only delays the message: the client reconnects by itself.
    connect(client, &QAmqpClient::disconnected, this, [kind] { qDebug() << lostLine[kind]; });
    client->connectToHost(QString(QLatin1String("")));
    deadlines[kind].start(expiryMs);
}

void StoreAnnouncer::connected(Kind kind)
{
    QAmqpClient *client = clients[kind];
    if (!client)
        return;
    // After a reconnection the exchange of the lost connection is dead for good.
    for (QAmqpExchange *old : client->findChildren<QAmqpExchange *>(QString(), Qt::FindDirectChildrenOnly))
        old->deleteLater();
    QAmqpExchange *exchange = client->createExchange(QStringLiteral("logs"), -1);
    connect(exchange, &QAmqpExchange::declared, this, [this, kind, exchange] { declared(kind, exchange); });
    exchange->declare(QAmqpExchange::FanOut, QAmqpExchange::NoOptions, QAmqpTable());
}

void StoreAnnouncer::declared(Kind kind, QAmqpExchange *exchange)
{
    if (!clients[kind] || exchange->parent() != clients[kind])
        return;
    exchange->publish(messages[kind], QString(QLatin1String("")), QAmqpMessage::PropertyHash(), 0);
    qDebug() << sentLine[kind];
    release(kind);
}

// With its connection open the client still sends what it was given before it closes.
void StoreAnnouncer::release(Kind kind)
{
    QAmqpClient *client = clients[kind];
    if (!client)
        return;
    clients[kind] = nullptr;
    deadlines[kind].stop();
    client->disconnect();
    client->disconnectFromHost();
    client->deleteLater();
}
