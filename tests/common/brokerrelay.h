#pragma once

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

// A TCP relay to a local server. It can hold every new connection back for a
// while (a slow handshake), hang each one up a while after it came, cut the
// open ones (a connection lost), and freeze: then it keeps every socket open
// and neither moves nor reads a byte, so the sender's side fills up, like a
// peer that died silently, until released.
class BrokerRelay : public QTcpServer
{
public:
    explicit BrokerRelay(quint16 targetPort, int holdMs = 0, int cutAfterMs = -1)
    {
        connect(this, &QTcpServer::newConnection, this, [this, targetPort, holdMs, cutAfterMs] {
            QPointer<QTcpSocket> client = nextPendingConnection();
            ++accepted;
            connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
            if (cutAfterMs >= 0)
                QTimer::singleShot(cutAfterMs, client, [client] { client->abort(); });
            // A frozen relay lets no new connection through.
            if (frozen)
                return client->setReadBufferSize(1);
            auto *upstream = new QTcpSocket(client);
            connect(upstream, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
            connect(upstream, &QTcpSocket::readyRead, client, [this, client, upstream] {
                if (!frozen)
                    send(client, upstream->readAll(), client->property("hold").toInt() == AnswersLate);
            });
            // What the client sends during the hold waits in its buffer.
            connect(upstream, &QTcpSocket::connected, client, [this, client, upstream] {
                upstream->write(client->readAll());
                connect(client, &QTcpSocket::readyRead, upstream, [this, client, upstream] {
                    if (frozen)
                        return;
                    const bool late = holding(client, upstream);
                    send(upstream, client->readAll(), late);
                });
            });
            QTimer::singleShot(holdMs, upstream, [this, targetPort, upstream] {
                if (!frozen)
                    upstream->connectToHost(QHostAddress::LocalHost, targetPort);
            });
        });
        listen(QHostAddress::LocalHost);
    }
    int connections() const { return accepted; }
    int heldChunks() const { return held; }   // moved late by holdWhen
    void cut()
    {
        for (QTcpSocket *socket : findChildren<QTcpSocket *>())
            socket->abort();
    }
    void freeze()
    {
        frozen = true;
        for (QTcpSocket *socket : findChildren<QTcpSocket *>())
            socket->setReadBufferSize(1);
    }
    void release() { cut(); frozen = false; }

    // A request that holds pattern (Requests: a statement held on its way) or,
    // once it is executed (a MySQL COM_STMT_EXECUTE), the server's answer to it
    // (Answers: run at once, its rows arriving late) moves ms later; the
    // connection's next statement is judged afresh.
    enum Hold { Requests, Answers };
    void holdWhen(const QByteArray &pattern, Hold what, int ms) { hold = {pattern, what, ms}; }

private:
    enum HoldState { NotHeld, RequestsHeld, AnswersNext, AnswersLate };

    bool holding(QTcpSocket *client, QTcpSocket *upstream) const
    {
        int state = client->property("hold").toInt();
        // The client asks again once what was held has reached it.
        if ((state == RequestsHeld && !upstream->property("late").toInt()) || (state == AnswersLate && !client->property("late").toInt()))
            state = NotHeld;
        const QByteArray next = client->peek(5);
        if (state == AnswersNext && next.size() == 5 && next.at(4) == 0x17)
            state = AnswersLate;
        else if (state == NotHeld && !hold.pattern.isEmpty() && client->peek(1 << 16).contains(hold.pattern))
            state = hold.what == Requests ? RequestsHeld : AnswersNext;
        client->setProperty("hold", state);
        return state == RequestsHeld;
    }
    void send(QTcpSocket *to, const QByteArray &data, bool late)
    {
        // Equal delays keep their order: what follows late bytes is late too.
        if (!late && !to->property("late").toInt())
            return (void)to->write(data);
        ++held;
        to->setProperty("late", to->property("late").toInt() + 1);
        QTimer::singleShot(hold.ms, to, [to, data] {
            to->write(data);
            to->setProperty("late", to->property("late").toInt() - 1);
        });
    }

    struct { QByteArray pattern; Hold what = Requests; int ms = 0; } hold;
    int held = 0;
    int accepted = 0;
    bool frozen = false;
};
