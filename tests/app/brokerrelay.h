#pragma once

#include <QTcpServer>

// A TCP relay to the broker that holds every new connection back for a while
// (a slow handshake) and can cut the open ones (a connection lost).
class BrokerRelay : public QTcpServer
{
public:
    BrokerRelay(quint16 targetPort, int holdMs);

    int connections() const { return accepted; }
    void cut();

private:
    void relay();

    quint16 targetPort;
    int holdMs;
    int accepted = 0;
};
