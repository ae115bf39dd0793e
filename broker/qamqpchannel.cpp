#include "qamqpchannel.h"
#include "qamqpclient_p.h"
#include "qamqpexchange.h"
#include "qamqpqueue.h"
#include "brokerlog.h"

#include <amqp.h>
#include <amqp_framing.h>

#include <QDebug>

#include <cstddef>

// The option values are the method's flag bits, which the protocol packs in
// the order librabbitmq's structures list the fields.
#define AMQP_FLAG_BIT(Method, first, field) \
    (1 << int((offsetof(Method, field) - offsetof(Method, first)) / sizeof(amqp_boolean_t)))

static_assert(QAmqpExchange::Passive == AMQP_FLAG_BIT(amqp_exchange_declare_t, passive, passive)
                  && QAmqpExchange::Durable == AMQP_FLAG_BIT(amqp_exchange_declare_t, passive, durable)
                  && QAmqpExchange::AutoDelete == AMQP_FLAG_BIT(amqp_exchange_declare_t, passive, auto_delete)
                  && QAmqpExchange::Internal == AMQP_FLAG_BIT(amqp_exchange_declare_t, passive, internal)
                  && QAmqpExchange::NoWait == AMQP_FLAG_BIT(amqp_exchange_declare_t, passive, nowait),
              "exchange options must be the flags of exchange.declare");
static_assert(QAmqpQueue::Passive == AMQP_FLAG_BIT(amqp_queue_declare_t, passive, passive)
                  && QAmqpQueue::Durable == AMQP_FLAG_BIT(amqp_queue_declare_t, passive, durable)
                  && QAmqpQueue::Exclusive == AMQP_FLAG_BIT(amqp_queue_declare_t, passive, exclusive)
                  && QAmqpQueue::AutoDelete == AMQP_FLAG_BIT(amqp_queue_declare_t, passive, auto_delete)
                  && QAmqpQueue::NoWait == AMQP_FLAG_BIT(amqp_queue_declare_t, passive, nowait),
              "queue options must be the flags of queue.declare");
static_assert(QAmqpQueue::coNoLocal == AMQP_FLAG_BIT(amqp_basic_consume_t, no_local, no_local)
                  && QAmqpQueue::coNoAck == AMQP_FLAG_BIT(amqp_basic_consume_t, no_local, no_ack)
                  && QAmqpQueue::coExclusive == AMQP_FLAG_BIT(amqp_basic_consume_t, no_local, exclusive)
                  && QAmqpQueue::coNoWait == AMQP_FLAG_BIT(amqp_basic_consume_t, no_local, nowait),
              "consume options must be the flags of basic.consume");
static_assert(QAmqpExchange::poMandatory == AMQP_FLAG_BIT(amqp_basic_publish_t, mandatory, mandatory),
              "publish options must be the flags of basic.publish");

QAmqpChannel::QAmqpChannel(const QString &name, int channelNumber, QAmqpClient *client)
    : QObject(client)
    , m_client(client)
    , m_name(name)
    , m_number(channelNumber)
    , m_id(++client->d->lastChannelId)
{
    QAmqpClientPrivate *d = client->d.get();
    d->channels.append(this);
    if (d->connected)
        d->openChannel(this);
}

QAmqpChannel::~QAmqpChannel()
{
    if (m_client)
        m_client->d->channelDestroyed(this);
}

void QAmqpChannel::submit(QAmqpCommand::Operation &&operation)
{
    if (!m_client)
        return;
    QAmqpCommand command;
    command.op = std::move(operation);
    if (m_dead) {
        if (command.publication())
            qCDebug(lcBroker).noquote() << QStringLiteral("QAmqpClient: message to \"%1\" not published: its channel is closed")
                                      .arg(m_name);
        else
            qCDebug(lcBroker).noquote() << QStringLiteral("QAmqpClient: request on the closed channel of \"%1\" ignored")
                                      .arg(m_name);
        return;
    }
    if (m_epoch == 0) {   // goes out when the connection opens
        m_pending.push_back(std::move(command));
        return;
    }
    command.epoch = m_epoch;
    command.channelId = m_id;
    command.channel = m_number;
    m_client->d->send(std::move(command));
}

QAmqpExchange::QAmqpExchange(const QString &name, int channelNumber, QAmqpClient *client)
    : QAmqpChannel(name, channelNumber, client)
{
}

void QAmqpExchange::declare(ExchangeType type, ExchangeOptions options, const QAmqpTable &args)
{
    static const char *const typeNames[] = {"direct", "fanout", "topic", "headers"};
    QAmqpOp::DeclareExchange declaration;
    declaration.name = name().toUtf8();
    declaration.type = typeNames[type >= Direct && type <= Headers ? type : Direct];
    declaration.passive = options.testFlag(Passive);
    declaration.durable = options.testFlag(Durable);
    declaration.autoDelete = options.testFlag(AutoDelete);
    declaration.internal = options.testFlag(Internal);
    declaration.arguments = args;
    submit(std::move(declaration));
}

void QAmqpExchange::publish(const QString &message, const QString &routingKey,
                            const QAmqpMessage::PropertyHash &properties, int publishOptions)
{
    publish(message.toUtf8(), routingKey, QStringLiteral("text/plain"), properties, publishOptions);
}

void QAmqpExchange::publish(const QByteArray &message, const QString &routingKey, const QString &mimeType,
                            const QAmqpMessage::PropertyHash &properties, int publishOptions)
{
    QAmqpOp::Publish publication;
    publication.exchange = name().toUtf8();
    publication.routingKey = routingKey.toUtf8();
    publication.body = message;
    publication.mandatory = (publishOptions & poMandatory) != 0;
    publication.properties = properties;
    if (!mimeType.isEmpty() && !properties.contains(QAmqpMessage::ContentType))
        publication.properties.insert(QAmqpMessage::ContentType, mimeType);
    submit(std::move(publication));
}

QAmqpQueue::QAmqpQueue(const QString &name, int channelNumber, QAmqpClient *client)
    : QAmqpChannel(name, channelNumber, client)
{
}

void QAmqpQueue::declare(int options, const QAmqpTable &arguments)
{
    QAmqpOp::DeclareQueue declaration;
    declaration.name = name().toUtf8();
    declaration.passive = (options & Passive) != 0;
    declaration.durable = (options & Durable) != 0;
    declaration.exclusive = (options & Exclusive) != 0;
    declaration.autoDelete = (options & AutoDelete) != 0;
    declaration.arguments = arguments;
    submit(std::move(declaration));
}

void QAmqpQueue::bind(const QString &exchangeName, const QString &key)
{
    QAmqpOp::Bind binding;
    binding.queue = name().toUtf8();   // empty before declared(): the broker takes the last declared queue
    binding.exchange = exchangeName.toUtf8();
    binding.key = key.toUtf8();
    submit(std::move(binding));
}

void QAmqpQueue::bind(QAmqpExchange *exchange, const QString &key)
{
    if (!exchange) {
        qCDebug(lcBroker) << "QAmqpClient: bind to no exchange ignored";
        return;
    }
    bind(exchange->name(), key);
}

bool QAmqpQueue::consume(int options)
{
    if (m_consumeRequested || isClosedForGood())
        return false;
    m_consumeRequested = true;
    QAmqpOp::Consume consumer;
    consumer.queue = name().toUtf8();
    consumer.noLocal = (options & coNoLocal) != 0;
    consumer.noAck = (options & coNoAck) != 0;
    consumer.exclusive = (options & coExclusive) != 0;
    submit(std::move(consumer));
    return true;
}
