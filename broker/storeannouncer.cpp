#include "storeannouncer.h"

#include "brokermessage.h"
#include "storepublisher.h"
#include "brokerlog.h"

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
}

void StoreAnnouncer::enviarFecharLoja(int idPizzaria)
{
    start(Close, BrokerMessage::closing(idPizzaria));
}

void StoreAnnouncer::enviarSite(int idPizzaria, int statusSite)
{
    start(Site, BrokerMessage::storeStatus(idPizzaria, statusSite));
}

void StoreAnnouncer::start(Kind kind, const QString &message)
{
    // An older announcement of this kind that has not gone out would only
    // repeat a state the operator has since changed.
    if (publishers[kind] && publishers[kind]->isHolding())
        delete publishers[kind];
    auto *publisher = new StorePublisher(configure, this);
    publishers[kind] = publisher;
    publisher->setExpiry(expiryMs);
    connect(publisher, &StorePublisher::published, this, [kind] { qCDebug(lcBroker) << sentLine[kind]; });
    // A lost connection only delays the message: the client reconnects by itself.
    connect(publisher, &StorePublisher::connectionLost, this, [kind] { qCDebug(lcBroker) << lostLine[kind]; });
    connect(publisher, &StorePublisher::expired, this, [this, kind] {
        qCDebug(lcBroker) << droppedLine[kind];
        emit expired(kind);
    });
    publisher->publish(message);
    publisher->finish();
}
