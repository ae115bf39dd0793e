#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class QAmqpClient;
class QAmqpExchange;

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

    // configure gives each new client its broker settings.
    explicit StoreAnnouncer(std::function<void(QAmqpClient *)> configure, QObject *parent = nullptr);
    static constexpr int expiryMs = 60000;
    ~StoreAnnouncer() override;

    void enviarFecharLoja(int idPizzaria);
    void enviarSite(int idPizzaria, int statusSite);

signals:
    // An announcement of kind was dropped unpublished.
    void expired(StoreAnnouncer::Kind kind);

private:
    void connected(Kind kind);
    void declared(Kind kind, QAmqpExchange *exchange);
    void start(Kind kind, const QString &message);
    void release(Kind kind);

    std::function<void(QAmqpClient *)> configure;
    QAmqpClient *clients[2] = {nullptr, nullptr};
    QString messages[2];
    QTimer deadlines[2];
};
