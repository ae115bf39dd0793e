#pragma once

#include <QObject>
#include <QStringList>

class QAmqpClient;

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
