#pragma once

#include <QObject>
#include <QTcpServer>

// A TCP relay to another port that holds every new connection back for a
// while before it starts relaying: a broker whose handshake takes long.
class SlowProxy : public QObject
{
    Q_OBJECT

public:
    SlowProxy(quint16 targetPort, int holdMs, QObject *parent = nullptr);

    bool listen();
    quint16 port() const { return server.serverPort(); }
    int connections() const { return accepted; }

private:
    void accept();

    QTcpServer server;
    quint16 targetPort;
    int holdMs;
    int accepted = 0;
};
