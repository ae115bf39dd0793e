#pragma once

#include <QObject>
#include <QStringList>

class QAmqpClient;

// Drops the channels of an earlier, lost connection of client and declares the
// fanout exchange "logs" on it; the exchange's declared() goes to slot of receiver.
void declaraLogs(QAmqpClient *client, QObject *receiver, const char *slot);

// Status messages that an order dialog closed before they went out. Takes
// over the dialog's client, publishes them once the broker is reachable,
// then closes the connection and deletes the client and itself.
class PendingAnnouncement : public QObject
{
    Q_OBJECT

public:
    PendingAnnouncement(QAmqpClient *client, const QStringList &messages);
    ~PendingAnnouncement() override;

private slots:
    void clientConnected();
    void exchangeDeclared();

private:
    QAmqpClient *client;
    QStringList messages;
    bool published = false;
};
