#pragma once

#include "qamqpmessage.h"
#include "qamqptable.h"

#include <QByteArray>
#include <QString>

#include <variant>

// Requests of a client to its connection, one type each.
namespace QAmqpOp {

struct OpenChannel {};
struct CloseChannel {};
struct DeclareExchange
{
    QByteArray name;
    QByteArray type;
    bool passive = false;
    bool durable = false;
    bool autoDelete = false;
    bool internal = false;
    QAmqpTable arguments;
};
struct DeclareQueue
{
    QByteArray name;   // empty: the broker names it
    bool passive = false;
    bool durable = false;
    bool exclusive = false;
    bool autoDelete = false;
    QAmqpTable arguments;
};
struct Bind
{
    QByteArray queue;
    QByteArray exchange;
    QByteArray key;
};
struct Consume
{
    QByteArray queue;
    bool noLocal = false;
    bool noAck = false;
    bool exclusive = false;
};
struct Publish
{
    QByteArray exchange;
    QByteArray routingKey;
    QByteArray body;
    bool mandatory = false;
    QAmqpMessage::PropertyHash properties;
};

} // namespace QAmqpOp

struct QAmqpCommand
{
    using Operation = std::variant<QAmqpOp::OpenChannel, QAmqpOp::CloseChannel, QAmqpOp::DeclareExchange,
                                   QAmqpOp::DeclareQueue, QAmqpOp::Bind, QAmqpOp::Consume, QAmqpOp::Publish>;

    quint64 epoch = 0;       // connection it was meant for
    quint64 channelId = 0;   // the channel object; ids are never reused
    int channel = 0;         // its number on that connection
    Operation op;

    const QAmqpOp::Publish *publication() const { return std::get_if<QAmqpOp::Publish>(&op); }
};

// One result from a connection to its client.
struct QAmqpEvent
{
    enum Kind {
        Connected, AttemptFailed, Lost, Finished,
        ChannelOpened, ChannelClosed, ExchangeDeclared, QueueDeclared, QueueBound, Consuming, ConsumerCancelled,
        Delivery, Log
    };

    Kind kind = Log;
    quint64 epoch = 0;
    quint64 channelId = 0;
    int number = 0;          // highest channel number, on Connected
    QString text;
    QAmqpMessage message;
};

struct QAmqpSettings
{
    QByteArray host = "localhost";
    quint16 port = 5672;
    QByteArray virtualHost = "/";
    QByteArray username = "guest";
    QByteArray password = "guest";
    QByteArray caFile;       // TLS, verified against this authority; empty: plain TCP

    bool operator==(const QAmqpSettings &o) const
    {
        return host == o.host && port == o.port && virtualHost == o.virtualHost && username == o.username
            && password == o.password && caFile == o.caFile;
    }
    bool operator!=(const QAmqpSettings &o) const { return !(*this == o); }
};
