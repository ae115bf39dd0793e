#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QAmqpClient;
class StorePublisher;

// The console's own announcements on the fanout exchange "logs": the store
// closing ("closeloja") and a status set by hand ("statussite"). Each goes out
// on a connection of its own, released once the message is published; a newer
// announcement of a kind replaces one of that kind still waiting to go out.
// One not published within expiryMs is dropped: a closing sent hours later,
// when the broker returns, would end the store in the middle of service.
class StoreAnnouncer : public QObject
{
    Q_OBJECT

public:
    enum Kind { Close, Site };
    static constexpr int expiryMs = 60000;

    // configure gives each new client its broker settings.
    explicit StoreAnnouncer(std::function<void(QAmqpClient *)> configure, QObject *parent = nullptr);

    void enviarFecharLoja(int idPizzaria);
    void enviarSite(int idPizzaria, int statusSite);

signals:
    // An announcement of kind was dropped unpublished.
    void expired(StoreAnnouncer::Kind kind);

private:
    void start(Kind kind, const QString &message);

    std::function<void(QAmqpClient *)> configure;
    QPointer<StorePublisher> publishers[2];
};
