#include "qamqpclient.h"
#include "qamqpclient_p.h"
#include "qamqpexchange.h"
#include "qamqpqueue.h"

#include <QCoreApplication>
#include <QDebug>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QUrl>

#include <sys/socket.h>

#include <algorithm>

namespace {

// Per pass of the event loop, so that a burst of deliveries cannot hold it.
constexpr size_t EventsPerPass = 128;
constexpr int StuckWorkerGraceMs = 3000;   // longer than the worker's own goodbye

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

void watchApplicationEnd()
{
    static QCoreApplication *watched = nullptr;
    QCoreApplication *app = QCoreApplication::instance();
    if (app && app != watched) {
        watched = app;
        qAddPostRoutine(releaseAllWorkers);
    }
}

int countPublications(const std::vector<QAmqpCommand> &commands)
{
    return int(std::count_if(commands.begin(), commands.end(), [](const QAmqpCommand &c) {
        return c.kind == QAmqpCommand::Publish;
    }));
}

} // namespace

void QAmqpClientPrivate::startWorker()
{
    auto fresh = std::make_shared<QAmqpLink>();
    fresh->settings = settings;
    fresh->receiver = q;
    fresh->autoReconnect = autoReconnect;
    fresh->firstRetryDelay = firstRetryDelay;
    if (!qamqpStartWorker(fresh)) {
        qDebug() << "QAmqpClient: cannot start the connection thread";
        return;
    }
    link = std::move(fresh);
    running().insert(this);
    watchApplicationEnd();
}

void QAmqpClientPrivate::releaseWorker()
{
    if (!link)
        return;
    int lost = 0;
    {
        std::lock_guard<std::mutex> lock(link->mutex);
        link->receiver = nullptr;
        link->stopping = true;
        link->events.clear();
        if (link->socketFd >= 0 && !link->loggedIn)
            ::shutdown(link->socketFd, SHUT_RDWR);
        // With the connection open, the worker still sends what it holds.
        if (!connected) {
            lost = int(std::count_if(link->commands.begin(), link->commands.end(), [](const QAmqpCommand &c) {
                return c.kind == QAmqpCommand::Publish;
            }));
        }
    }
    link->wake();
    // A worker stuck in a send to a peer that stopped reading never sees the
    // stop; once the goodbye had its time, its socket is cut.
    if (QCoreApplication::instance()) {
        const std::weak_ptr<QAmqpLink> watched = link;
        QTimer::singleShot(StuckWorkerGraceMs, QCoreApplication::instance(), [watched] {
            if (const std::shared_ptr<QAmqpLink> stuck = watched.lock()) {
                std::lock_guard<std::mutex> lock(stuck->mutex);
                if (stuck->socketFd >= 0)
                    ::shutdown(stuck->socketFd, SHUT_RDWR);
            }
        });
    }
    link.reset();
    running().remove(this);
    if (lost > 0)
        qDebug() << "QAmqpClient:" << lost << "message(s) not published: connection closed";
}

void QAmqpClientPrivate::send(QAmqpCommand &&command)
{
    if (!link)
        return;
    if (command.kind == QAmqpCommand::Publish) {
        QString error;
        if (qamqpPublishNow(*link, command, &error)) {
            if (!error.isEmpty())
                qDebug().noquote() << QStringLiteral("QAmqpClient: message to \"%1\" not published: %2")
                                          .arg(QString::fromUtf8(command.name), error);
            return;
        }
    }
    bool wasIdle;
    {
        std::lock_guard<std::mutex> lock(link->mutex);
        wasIdle = link->commands.empty();
        link->commands.push_back(std::move(command));
    }
    // A non-empty list means a wake-up is already on its way.
    if (wasIdle)
        link->wake();
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
    if (channel->m_number <= 0 || channel->m_number > 0xffff || taken(channel->m_number)) {
        // Numbers are not reused within a connection, so that no late result
        // of a closed channel reaches a new one.
        while (taken(nextChannelNumber))
            ++nextChannelNumber;
        channel->m_number = nextChannelNumber++;
    }
    channel->m_epoch = epoch;

    QAmqpCommand open;
    open.kind = QAmqpCommand::OpenChannel;
    open.epoch = epoch;
    open.channel = channel->m_number;
    send(std::move(open));
    for (QAmqpCommand &command : channel->m_pending) {
        command.epoch = epoch;
        command.channel = channel->m_number;
        send(std::move(command));
    }
    channel->m_pending.clear();
}

void QAmqpClientPrivate::channelDestroyed(QAmqpChannel *channel)
{
    channels.removeAll(channel);
    const int lost = countPublications(channel->m_pending);
    if (lost > 0)
        qDebug() << "QAmqpClient:" << lost << "message(s) not published: exchange deleted before the connection opened";
    if (connected && channel->m_epoch == epoch && !channel->m_dead) {
        QAmqpCommand close;
        close.kind = QAmqpCommand::CloseChannel;
        close.epoch = epoch;
        close.channel = channel->m_number;
        send(std::move(close));
    }
}

QAmqpChannel *QAmqpClientPrivate::findChannel(quint64 epochOfEvent, int number) const
{
    for (QAmqpChannel *channel : channels) {
        if (channel->m_epoch == epochOfEvent && channel->m_number == number)
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
        nextChannelNumber = 1;
        const QList<QAmqpChannel *> waiting = channels;
        for (QAmqpChannel *channel : waiting) {
            if (channel->m_epoch == 0 && !channel->m_dead)
                openChannel(channel);
        }
        emit q->connected();
        return !guard.isNull();
    }
    case QAmqpEvent::AttemptFailed:
        qDebug().noquote() << QStringLiteral("QAmqpClient: cannot connect to %1:%2: %3")
                                  .arg(QString::fromUtf8(settings.host)).arg(settings.port).arg(event.text);
        return true;
    case QAmqpEvent::Lost:
        if (!connected || event.epoch != epoch)
            return true;
        qDebug().noquote() << QStringLiteral("QAmqpClient: connection to %1:%2 lost: %3")
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
        qDebug().noquote() << event.text;
        return true;
    default:
        break;
    }

    QAmqpChannel *channel = findChannel(event.epoch, event.channel);
    if (!channel)
        return true;
    QAmqpQueue *queue = qobject_cast<QAmqpQueue *>(channel);
    switch (event.kind) {
    case QAmqpEvent::ChannelOpened:
        channel->m_open = true;
        emit channel->opened();
        break;
    case QAmqpEvent::ChannelClosed:
        qDebug().noquote() << QStringLiteral("QAmqpClient: channel %1 (\"%2\") closed by the broker: %3")
                                  .arg(channel->m_number).arg(channel->m_name, event.text);
        channel->m_open = false;
        channel->m_dead = true;
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
}

QAmqpClient::~QAmqpClient()
{
    d->releaseWorker();
    int lost = 0;
    for (QAmqpChannel *channel : qAsConst(d->channels)) {
        lost += countPublications(channel->m_pending);
        channel->m_pending.clear();
        channel->m_client = nullptr;   // they die with this object, quietly
    }
    d->channels.clear();
    if (lost > 0)
        qDebug() << "QAmqpClient:" << lost << "message(s) not published: client deleted before the connection opened";
}

void QAmqpClient::setHost(const QString &host) { d->settings.host = host.toUtf8(); }
void QAmqpClient::setPort(quint16 port) { d->settings.port = port ? port : 5672; }
void QAmqpClient::setUsername(const QString &username) { d->settings.username = username.toUtf8(); }
void QAmqpClient::setPassword(const QString &password) { d->settings.password = password.toUtf8(); }
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
    if (d->link) {
        std::lock_guard<std::mutex> lock(d->link->mutex);
        d->link->autoReconnect = d->autoReconnect;
        d->link->firstRetryDelay = d->firstRetryDelay;
    }
}

bool QAmqpClient::autoReconnect() const { return d->autoReconnect; }
bool QAmqpClient::isConnected() const { return d->connected; }

void QAmqpClient::connectToHost(const QString &uri)
{
    if (!uri.isEmpty()) {
        const QUrl url(uri, QUrl::StrictMode);
        if (!url.isValid() || url.scheme() != QLatin1String("amqp") || url.host().isEmpty()) {
            qDebug() << "QAmqpClient: not an amqp:// address; not connecting";
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
    if (e->type() != QEvent::Type(qamqpEventType()))
        return QObject::event(e);
    const std::shared_ptr<QAmqpLink> link = d->link;
    if (!link)
        return true;
    std::deque<QAmqpEvent> batch;
    {
        std::lock_guard<std::mutex> lock(link->mutex);
        const size_t n = std::min(link->events.size(), EventsPerPass);
        std::move(link->events.begin(), link->events.begin() + long(n), std::back_inserter(batch));
        link->events.erase(link->events.begin(), link->events.begin() + long(n));
        if (link->events.empty())
            link->eventPosted = false;
        else
            QCoreApplication::postEvent(this, new QEvent(QEvent::Type(qamqpEventType())));
    }
    for (QAmqpEvent &event : batch) {
        if (d->link != link)    // disconnected by a slot: the rest is stale
            break;
        if (!d->handle(event))
            break;              // deleted by a slot
    }
    return true;
}
