#include "qamqpclient.h"
#include "qamqpclient_p.h"
#include "qamqpexchange.h"
#include "qamqplink.h"
#include "qamqpqueue.h"
#include "qamqpworker.h"
#include "brokerlog.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <vector>

namespace {

// Per pass of the event loop, so that a burst of deliveries cannot hold it.
constexpr size_t EventsPerPass = 128;

// Clients whose worker runs. When the application object goes away their
// workers are let go, so that none of them touches Qt during the exit.
QSet<QAmqpClientPrivate *> &running()
{
    static QSet<QAmqpClientPrivate *> set;
    return set;
}

void releaseAllWorkers()
{
    const QSet<QAmqpClientPrivate *> clients = running();
    for (QAmqpClientPrivate *d : clients)
        d->releaseWorker();
}

// Every link whose worker may still run, released or not: once a second the
// client's thread cuts the socket of one stuck in a send, since that worker
// cannot notice by itself.
void watch(const std::shared_ptr<QAmqpLink> &link)
{
    static std::vector<std::weak_ptr<QAmqpLink>> links;
    static QPointer<QTimer> timer;
    static QCoreApplication *watched = nullptr;
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return;
    if (app != watched) {
        watched = app;
        qAddPostRoutine(releaseAllWorkers);
    }
    if (!timer) {
        timer = new QTimer(app);
        timer->setInterval(1000);
        QObject::connect(timer, &QTimer::timeout, [] {
            links.erase(std::remove_if(links.begin(), links.end(),
                                       [](const std::weak_ptr<QAmqpLink> &l) { return l.expired(); }),
                        links.end());
            for (const std::weak_ptr<QAmqpLink> &weak : links) {
                if (const std::shared_ptr<QAmqpLink> l = weak.lock())
                    l->cutIfStuck();
            }
            if (links.empty())
                timer->stop();
        });
    }
    links.push_back(link);
    if (!timer->isActive())
        timer->start();
}

void logUnpublished(int count, const char *why)
{
    if (count > 0)
        qCDebug(lcBroker).noquote() << QStringLiteral("QAmqpClient: %1 message(s) not published: %2").arg(count).arg(QLatin1String(why));
}

} // namespace

void QAmqpClientPrivate::startWorker()
{
    auto fresh = std::make_shared<QAmqpLink>(settings, q, autoReconnect, firstRetryDelay);
    if (!qamqpStartWorker(fresh)) {
        qCDebug(lcBroker) << "QAmqpClient: cannot start the connection thread";
        return;
    }
    link = std::move(fresh);
    running().insert(this);
    watch(link);
}

void QAmqpClientPrivate::releaseWorker()
{
    if (!link)
        return;
    const int dropped = link->release(connected);
    link.reset();
    running().remove(this);
    logUnpublished(dropped, "connection closed");
}

void QAmqpClientPrivate::send(QAmqpCommand &&command)
{
    const bool publication = command.publication() != nullptr;
    if (!link || !link->push(std::move(command)))
        logUnpublished(publication ? 1 : 0, "connection closed");
}

void QAmqpClientPrivate::openChannel(QAmqpChannel *channel)
{
    const auto taken = [this, channel](int number) {
        for (const QAmqpChannel *other : qAsConst(channels)) {
            if (other != channel && other->m_epoch == epoch && !other->m_dead && other->m_number == number)
                return true;
        }
        return false;
    };
    // The worker closes a deleted channel before it opens the next one, and
    // results carry the channel's id, so numbers can be used again at once.
    if (channel->m_number <= 0 || channel->m_number > channelMax || taken(channel->m_number)) {
        int number = 1;
        while (number <= channelMax && taken(number))
            ++number;
        channel->m_number = number;
    }
    channel->m_epoch = epoch;
    if (channel->m_number > channelMax) {
        channel->m_dead = true;
        qCDebug(lcBroker).noquote() << QStringLiteral("QAmqpClient: no channel left for \"%1\"").arg(channel->m_name);
        return;
    }

    QAmqpCommand open;
    open.op = QAmqpOp::OpenChannel();
    open.epoch = epoch;
    open.channelId = channel->m_id;
    open.channel = channel->m_number;
    send(std::move(open));
    for (QAmqpCommand &command : channel->m_pending) {
        command.epoch = epoch;
        command.channelId = channel->m_id;
        command.channel = channel->m_number;
        send(std::move(command));
    }
    channel->m_pending.clear();
}

void QAmqpClientPrivate::channelDestroyed(QAmqpChannel *channel)
{
    channels.removeAll(channel);
    logUnpublished(qamqpCountPublications(channel->m_pending), "exchange deleted before the connection opened");
    if (connected && channel->m_epoch == epoch && !channel->m_dead) {
        QAmqpCommand close;
        close.op = QAmqpOp::CloseChannel();
        close.epoch = epoch;
        close.channelId = channel->m_id;
        close.channel = channel->m_number;
        send(std::move(close));
    }
}

QAmqpChannel *QAmqpClientPrivate::findChannel(quint64 id) const
{
    for (QAmqpChannel *channel : channels) {
        if (channel->m_id == id)
            return channel;
    }
    return nullptr;
}

bool QAmqpClientPrivate::closeChannels()
{
    QList<QPointer<QAmqpChannel>> closing;
    for (QAmqpChannel *channel : qAsConst(channels)) {
        if (channel->m_epoch != 0 && channel->m_epoch == epoch && !channel->m_dead) {
            channel->m_dead = true;
            channel->m_open = false;
            if (auto *queue = qobject_cast<QAmqpQueue *>(channel))
                queue->m_consumeRequested = false;
            closing.append(channel);
        }
    }
    QPointer<QAmqpClient> guard(q);
    for (const QPointer<QAmqpChannel> &channel : qAsConst(closing)) {
        if (channel)
            emit channel->closed();
        if (!guard)
            return false;
    }
    return true;
}

bool QAmqpClientPrivate::handle(QAmqpEvent &event)
{
    QPointer<QAmqpClient> guard(q);
    switch (event.kind) {
    case QAmqpEvent::Connected: {
        connected = true;
        epoch = event.epoch;
        channelMax = event.number;
        const QList<QAmqpChannel *> waiting = channels;
        for (QAmqpChannel *channel : waiting) {
            if (channel->m_epoch == 0 && !channel->m_dead)
                openChannel(channel);
        }
        emit q->connected();
        return !guard.isNull();
    }
    case QAmqpEvent::AttemptFailed:
        qCDebug(lcBroker).noquote() << QStringLiteral("QAmqpClient: cannot connect to %1:%2: %3")
                                  .arg(QString::fromUtf8(settings.host)).arg(settings.port).arg(event.text);
        return true;
    case QAmqpEvent::Lost:
        if (!connected || event.epoch != epoch)
            return true;
        qCDebug(lcBroker).noquote() << QStringLiteral("QAmqpClient: connection to %1:%2 lost: %3")
                                  .arg(QString::fromUtf8(settings.host)).arg(settings.port).arg(event.text);
        connected = false;
        if (!closeChannels())
            return false;
        emit q->disconnected();
        return !guard.isNull();
    case QAmqpEvent::Finished:
        link.reset();
        running().remove(this);
        return true;
    case QAmqpEvent::Log:
        qCDebug(lcBroker).noquote() << event.text;
        return true;
    default:
        break;
    }

    QAmqpChannel *channel = findChannel(event.channelId);
    if (!channel)
        return true;
    QAmqpQueue *queue = qobject_cast<QAmqpQueue *>(channel);
    switch (event.kind) {
    case QAmqpEvent::ChannelOpened:
        channel->m_open = true;
        emit channel->opened();
        break;
    case QAmqpEvent::ChannelClosed:
        qCDebug(lcBroker).noquote() << QStringLiteral("QAmqpClient: channel %1 (\"%2\") closed by the broker: %3")
                                  .arg(channel->m_number).arg(channel->m_name, event.text);
        channel->m_open = false;
        channel->m_dead = true;
        if (queue)
            queue->m_consumeRequested = false;
        emit channel->closed();
        break;
    case QAmqpEvent::ExchangeDeclared:
        if (auto *exchange = qobject_cast<QAmqpExchange *>(channel))
            emit exchange->declared();
        break;
    case QAmqpEvent::QueueDeclared:
        if (queue) {
            queue->setName(event.text);
            emit queue->declared();
        }
        break;
    case QAmqpEvent::QueueBound:
        if (queue)
            emit queue->bound();
        break;
    case QAmqpEvent::Consuming:
        if (queue) {
            queue->m_consumerTag = event.text;
            emit queue->consuming(event.text);
        }
        break;
    case QAmqpEvent::ConsumerCancelled:
        if (queue) {
            qCDebug(lcBroker).noquote() << QStringLiteral("QAmqpClient: the broker cancelled the consumer of \"%1\"")
                                      .arg(queue->name());
            queue->m_consumeRequested = false;
            emit queue->cancelled(event.text);
        }
        break;
    case QAmqpEvent::Delivery:
        if (queue) {
            queue->enqueue(event.message);
            emit queue->messageReceived();
        }
        break;
    default:
        break;
    }
    return !guard.isNull();
}

QAmqpClient::QAmqpClient(QObject *parent)
    : QObject(parent)
    , d(new QAmqpClientPrivate(this))
{
    // Registered here, so that a worker only ever reads the registry.
    qRegisterMetaType<QAmqpTable>();
    qRegisterMetaType<QAmqpMessage>();
}

QAmqpClient::~QAmqpClient()
{
    d->releaseWorker();
    int lost = 0;
    for (QAmqpChannel *channel : qAsConst(d->channels)) {
        lost += qamqpCountPublications(channel->m_pending);
        channel->m_pending.clear();
        channel->m_client = nullptr;   // they die with this object, quietly
    }
    d->channels.clear();
    logUnpublished(lost, "client deleted before the connection opened");
}

void QAmqpClient::setHost(const QString &host) { d->settings.host = host.toUtf8(); }
void QAmqpClient::setPort(quint16 port) { d->settings.port = port ? port : 5672; }
void QAmqpClient::setUsername(const QString &username) { d->settings.username = username.toUtf8(); }
void QAmqpClient::setPassword(const QString &password) { d->settings.password = password.toUtf8(); }
void QAmqpClient::setCaCertificateFile(const QString &path) { d->settings.caFile = QFile::encodeName(path); }
void QAmqpClient::setVirtualHost(const QString &virtualHost)
{
    d->settings.virtualHost = virtualHost.isEmpty() ? QByteArray("/") : virtualHost.toUtf8();
}
QString QAmqpClient::host() const { return QString::fromUtf8(d->settings.host); }
quint16 QAmqpClient::port() const { return d->settings.port; }
QString QAmqpClient::virtualHost() const { return QString::fromUtf8(d->settings.virtualHost); }
QString QAmqpClient::username() const { return QString::fromUtf8(d->settings.username); }

void QAmqpClient::setAutoReconnect(bool value, int timeout)
{
    d->autoReconnect = value;
    d->firstRetryDelay = timeout > 0 ? timeout : 1;
    if (d->link)
        d->link->setRetry(d->autoReconnect, d->firstRetryDelay);
}

bool QAmqpClient::autoReconnect() const { return d->autoReconnect; }
bool QAmqpClient::isConnected() const { return d->connected; }

void QAmqpClient::connectToHost(const QString &uri)
{
    if (!uri.isEmpty()) {
        const QUrl url(uri, QUrl::StrictMode);
        if (!url.isValid() || url.scheme() != QLatin1String("amqp") || url.host().isEmpty()) {
            qCDebug(lcBroker) << "QAmqpClient: not an amqp:// address; not connecting";
            return;
        }
        setHost(url.host());
        setPort(quint16(url.port(5672)));
        if (!url.userName().isEmpty())
            setUsername(url.userName(QUrl::FullyDecoded));
        if (!url.password().isEmpty())
            setPassword(url.password(QUrl::FullyDecoded));
        QString path = url.path(QUrl::FullyDecoded);
        if (path.startsWith(QLatin1Char('/')))
            path.remove(0, 1);
        setVirtualHost(path);
    }
    if (d->connected) {
        QTimer::singleShot(0, this, [this] {
            if (d->connected)
                emit connected();
        });
        return;
    }
    // A worker that gave up, or that retries with other settings, makes way.
    if (d->link && (d->link->isEnding() || d->link->settings() != d->settings))
        d->releaseWorker();
    if (!d->link)
        d->startWorker();
}

void QAmqpClient::disconnectFromHost()
{
    const bool wasConnected = d->connected;
    d->releaseWorker();
    d->connected = false;
    if (!d->closeChannels())
        return;
    if (wasConnected)
        emit disconnected();
}

QAmqpExchange *QAmqpClient::createExchange(const QString &name, int channelNumber)
{
    return new QAmqpExchange(name, channelNumber, this);
}

QAmqpQueue *QAmqpClient::createQueue(int channelNumber)
{
    return new QAmqpQueue(QString(), channelNumber, this);
}

QAmqpQueue *QAmqpClient::createQueue(const QString &name, int channelNumber)
{
    return new QAmqpQueue(name, channelNumber, this);
}

bool QAmqpClient::event(QEvent *e)
{
    if (e->type() != QEvent::Type(QAmqpLink::eventType()))
        return QObject::event(e);
    const std::shared_ptr<QAmqpLink> link = d->link;
    if (!link)
        return true;
    std::vector<QAmqpEvent> batch = link->takeEvents(EventsPerPass);
    for (QAmqpEvent &event : batch) {
        if (d->link != link)    // disconnected by a slot: the rest is stale
            break;
        if (!d->handle(event))
            break;              // deleted by a slot
    }
    return true;
}
