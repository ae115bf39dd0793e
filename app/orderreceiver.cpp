#include "orderreceiver.h"

#include "brokermessage.h"

#include "qamqpclient.h"
#include "qamqpexchange.h"
#include "qamqpqueue.h"
#include "consolelog.h"

#include <QDebug>

namespace {

const QString exchangeName = QStringLiteral("logs");

// A receiver that has not finished its handshake by then is given up and rebuilt.
constexpr qint64 receiverConnectLimitMs = 10000;

} // namespace

OrderReceiver::OrderReceiver(std::function<void(QAmqpClient *)> configure, QObject *parent)
    : QObject(parent)
    , configure(std::move(configure))
    , client(new QAmqpClient(nullptr))
{
}

OrderReceiver::~OrderReceiver()
{
    client->disconnect(this);
    delete client;
}

void OrderReceiver::startReceiver()
{
    configure(client);
    connect(client, &QAmqpClient::connected, this, &OrderReceiver::clientConnected);
    connect(client, &QAmqpClient::disconnected, this, &OrderReceiver::noteReceiverDown);
    client->connectToHost(QString(QLatin1String("")));
}

bool OrderReceiver::step()
{
    if (client->isConnected() && !broken) {
        downSince.invalidate();
        if (reconnected && consuming) {
            reconnected = false;
            emit missedMessages();
        }
        return true;
    }
    noteReceiverDown();
    // The client retries by itself; rebuilding too soon would throw that away.
    if (broken || downSince.elapsed() >= receiverConnectLimitMs)
        rebuildReceiver();
    return false;
}

// The queue of a lost connection is gone with what was published meanwhile:
// the list is refreshed once the next queue consumes.
void OrderReceiver::noteReceiverDown()
{
    reconnected = true;
    consuming = false;
    if (!downSince.isValid())
        downSince.start();
}

// The broker closed a channel of the receiver or ended its consumer (its queue
// was deleted, a declaration was refused): the connection stays open but
// nothing arrives any more, so the receiver is rebuilt at the next tick.
void OrderReceiver::noteReceiverChannelLost()
{
    // A lost connection closes its channels too; that case has its own grace.
    if (!client->isConnected())
        return;
    broken = true;
    noteReceiverDown();
}

void OrderReceiver::clientConnected()
{
    // Whatever was announced before this connection's queue consumes is missed.
    reconnected = true;
    consuming = false;
    // Channels of a connection that was lost and reopened are dead; drop them.
    for (QAmqpChannel *old : client->findChildren<QAmqpChannel *>(QString(), Qt::FindDirectChildrenOnly))
        old->deleteLater();
    QAmqpExchange *exchange = client->createExchange(exchangeName, -1);
    connect(exchange, &QAmqpExchange::declared, this, &OrderReceiver::exchangeDeclared);
    connect(exchange, &QAmqpChannel::closed, this, &OrderReceiver::noteReceiverChannelLost);
    exchange->declare(QAmqpExchange::FanOut, QAmqpExchange::NoOptions, QAmqpTable());
}

void OrderReceiver::exchangeDeclared()
{
    QAmqpQueue *queue = client->createQueue(-1);
    connect(queue, &QAmqpQueue::declared, this, &OrderReceiver::queueDeclared);
    connect(queue, &QAmqpQueue::bound, this, &OrderReceiver::queueBound);
    connect(queue, &QAmqpQueue::messageReceived, this, &OrderReceiver::messageReceived);
    connect(queue, &QAmqpQueue::consuming, this, [this] { consuming = true; });
    connect(queue, &QAmqpChannel::closed, this, &OrderReceiver::noteReceiverChannelLost);
    connect(queue, &QAmqpQueue::cancelled, this, &OrderReceiver::noteReceiverChannelLost);
    queue->declare(QAmqpQueue::Exclusive);
}

void OrderReceiver::queueDeclared()
{
    auto *queue = qobject_cast<QAmqpQueue *>(sender());
    if (!queue)
        return;
    queue->bind(exchangeName, queue->name());
}

void OrderReceiver::queueBound()
{
    auto *queue = qobject_cast<QAmqpQueue *>(sender());
    if (!queue)
        return;
    qCDebug(lcConsole) << " [*] Waiting for logs. To exit press CTRL+C";
    queue->consume(QAmqpQueue::coNoAck);
}

void OrderReceiver::messageReceived()
{
    auto *queue = qobject_cast<QAmqpQueue *>(sender());
    if (!queue || queue->isEmpty())
        return;
    const QAmqpMessage message = queue->dequeue();
    qCDebug(lcConsole) << " [x] recebida " << message.payload();
    const QString text = BrokerMessage::textOfPayload(message.payload());
    if (!text.isEmpty())
        inbox.push(text);
}

void OrderReceiver::rebuildReceiver()
{
    client->disconnect();
    delete client;
    client = new QAmqpClient(nullptr);
    broken = false;
    noteReceiverDown();
    // The new client gets its own grace from the next tick that sees it down.
    downSince.invalidate();
    startReceiver();
}
