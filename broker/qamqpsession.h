#pragma once

#include "qamqpcommand.h"

#include <amqp.h>

#include <QString>

#include <deque>
#include <map>

class QAmqpLink;

// One AMQP connection, driven by the worker thread: socket, login, heartbeats,
// the client's commands and what the broker sends. The only user of
// librabbitmq.
class QAmqpSession
{
public:
    QAmqpSession(QAmqpLink &link, quint64 epoch);
    ~QAmqpSession();
    QAmqpSession(const QAmqpSession &) = delete;
    QAmqpSession &operator=(const QAmqpSession &) = delete;

    bool open(QString *error);
    int channelMax() const;
    // Runs the open connection. Returns a null string when asked to stop,
    // else why the connection was lost.
    QString serve();
    void close(bool graceful);

private:
    enum class Rpc { Ok, ChannelClosed, ConnectionLost };
    enum class Read { Got, Nothing, ConnectionLost };

    bool openTcp(QString *error);
    bool openTls(QString *error);
    void post(QAmqpEvent::Kind kind, quint64 channelId = 0, const QString &text = QString());

    bool execute(QAmqpCommand &command, QString *why);
    bool publish(const QAmqpOp::Publish &publication, amqp_channel_t channel, QString *why);
    Rpc checkRpc(int channel, QString *why);
    Read readOne(QString *why);
    bool handleMethod(int channel, const amqp_method_t &method, QString *why);
    void channelClosedByBroker(int channel, const amqp_channel_close_t *close);
    void dropUnsent(const std::deque<QAmqpCommand> &commands, const QString &why);
    QString sendFailure(int status) const;

    QAmqpLink &m_link;
    const quint64 m_epoch;
    amqp_connection_state_t m_conn = nullptr;
    std::map<int, quint64> m_channels;   // open channel numbers and their channel ids
    bool m_blocked = false;               // by a broker under a resource alarm
    std::deque<QAmqpCommand> m_held;      // requests waiting for the block to lift
    bool m_readPaused = false;
    QByteArray m_headerBuffer;            // where a publication's properties are measured
};
