#include "qamqpchannel.h"
#include "qamqpclient_p.h"
#include "qamqpexchange.h"
#include "qamqpqueue.h"

#include <QDebug>

QAmqpChannel::QAmqpChannel(const QString &name, int channelNumber, QAmqpClient *client)
    : QObject(client)
    , m_client(client)
    , m_name(name)
    , m_number(channelNumber)
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

void QAmqpChannel::submit(QAmqpCommand &&command)
{
    if (!m_client)
        return;
    if (m_dead) {
        if (command.kind == QAmqpCommand::Publish)
            qDebug().noquote() << QStringLiteral("QAmqpClient: message to \"%1\" not published: its channel is closed")
                                      .arg(m_name);
        else
            qDebug().noquote() << QStringLiteral("QAmqpClient: request on the closed channel of \"%1\" ignored")
                                      .arg(m_name);
        return;
    }
    if (m_epoch == 0) {   // goes out when the connection opens
        m_pending.push_back(std::move(command));
        return;
    }
    command.epoch = m_epoch;
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
    QAmqpCommand command;
    command.kind = QAmqpCommand::DeclareExchange;
    command.name = name().toUtf8();
    command.key = typeNames[type >= Direct && type <= Headers ? type : Direct];
    command.options = int(options);
    command.arguments = args;
    submit(std::move(command));
}

void QAmqpExchange::publish(const QString &message, const QString &routingKey,
                            const QAmqpMessage::PropertyHash &properties, int publishOptions)
{
    publish(message.toUtf8(), routingKey, QStringLiteral("text/plain"), properties, publishOptions);
}

void QAmqpExchange::publish(const QByteArray &message, const QString &routingKey, const QString &mimeType,
                            const QAmqpMessage::PropertyHash &properties, int publishOptions)
{
    QAmqpCommand command;
    command.kind = QAmqpCommand::Publish;
    command.name = name().toUtf8();
    command.key = routingKey.toUtf8();
    command.body = message;
    command.options = publishOptions;
    command.properties = properties;
    if (!mimeType.isEmpty() && !properties.contains(QAmqpMessage::ContentType))
        command.properties.insert(QAmqpMessage::ContentType, mimeType);
    submit(std::move(command));
}

QAmqpQueue::QAmqpQueue(const QString &name, int channelNumber, QAmqpClient *client)
    : QAmqpChannel(name, channelNumber, client)
{
}

void QAmqpQueue::declare(int options, const QAmqpTable &arguments)
{
    QAmqpCommand command;
    command.kind = QAmqpCommand::DeclareQueue;
    command.name = name().toUtf8();
    command.options = options;
    command.arguments = arguments;
    submit(std::move(command));
}

void QAmqpQueue::bind(const QString &exchangeName, const QString &key)
{
    QAmqpCommand command;
    command.kind = QAmqpCommand::Bind;
    command.name = name().toUtf8();   // empty before declared(): the broker takes the last declared queue
    command.exchange = exchangeName.toUtf8();
    command.key = key.toUtf8();
    submit(std::move(command));
}

void QAmqpQueue::bind(QAmqpExchange *exchange, const QString &key)
{
    if (!exchange) {
        qDebug() << "QAmqpClient: bind to no exchange ignored";
        return;
    }
    bind(exchange->name(), key);
}

bool QAmqpQueue::consume(int options)
{
    if (m_consumeRequested || isClosedForGood())
        return false;
    m_consumeRequested = true;
    QAmqpCommand command;
    command.kind = QAmqpCommand::Consume;
    command.name = name().toUtf8();
    command.options = options;
    submit(std::move(command));
    return true;
}
