#pragma once

#include <QObject>
#include <QTcpServer>

// A TCP relay to the broker that can hold every new connection back for a
// while (a slow handshake) and cut the open ones (a connection lost).
class BrokerRelay : public QObject
{
    Q_OBJECT

public:
    BrokerRelay(quint16 targetPort, int holdMs, QObject *parent = nullptr);

    bool listen();
    quint16 port() const { return server.serverPort(); }
    int connections() const { return accepted; }
    void cut();

private:
    void accept();

    QTcpServer server;
    quint16 targetPort;
    int holdMs;
    int accepted = 0;
};
