#pragma once

#include <QTcpServer>

// A TCP relay to a local server. It can hold every new connection back for a
// while (a slow handshake), hang each one up a while after it came, cut the
// open ones (a connection lost), and freeze: then it keeps every socket open
// and neither moves nor reads a byte, so the sender's side fills up, like a
// peer that died silently, until released.
class BrokerRelay : public QTcpServer
{
public:
    explicit BrokerRelay(quint16 targetPort, int holdMs = 0, int cutAfterMs = -1);
    int connections() const { return accepted; }
    void cut();
    void freeze();
    void release()
    {
        cut();
        frozen = false;
    }

private:
    quint16 targetPort;
    int accepted = 0;
    bool frozen = false;
};
