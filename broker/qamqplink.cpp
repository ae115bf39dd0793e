#include "qamqplink.h"
#include "brokerlog.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEvent>

#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace {

// A send that has not finished in this time goes to a peer that stopped
// reading: neither heartbeats nor reads happen meanwhile.
constexpr qint64 SendDeadlineMs = 10000;
constexpr qint64 GoodbyeGraceMs = 3000;
// Deliveries the client may leave untaken before the worker stops reading.
constexpr size_t EventBound = 4096;

qint64 steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch()).count() + 1;
}

} // namespace

QAmqpLink::QAmqpLink(const QAmqpSettings &settings, QObject *receiver, bool autoReconnect, int firstRetryDelay)
    : m_settings(settings)
    , m_wakeFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
    , m_receiver(receiver)
    , m_autoReconnect(autoReconnect)
    , m_firstRetryDelay(firstRetryDelay)
{
}

QAmqpLink::~QAmqpLink()
{
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

int QAmqpLink::eventType()
{
    static const int type = QEvent::registerEventType();
    return type;
}

void QAmqpLink::wake()
{
    const quint64 one = 1;
    ssize_t n;
    do {
        n = ::write(m_wakeFd, &one, sizeof one);
    } while (n < 0 && errno == EINTR);
}

void QAmqpLink::drainWake()
{
    quint64 count;
    while (::read(m_wakeFd, &count, sizeof count) > 0) {
    }
}

bool QAmqpLink::push(QAmqpCommand &&command)
{
    bool wasIdle;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_finished)
            return false;
        wasIdle = m_commands.empty();
        m_commands.push_back(std::move(command));
    }
    // A non-empty list means a wake-up is already on its way.
    if (wasIdle)
        wake();
    return true;
}

std::vector<QAmqpEvent> QAmqpLink::takeEvents(size_t max)
{
    std::vector<QAmqpEvent> batch;
    bool resume = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const size_t n = std::min(m_events.size(), max);
        batch.reserve(n);
        std::move(m_events.begin(), m_events.begin() + long(n), std::back_inserter(batch));
        m_events.erase(m_events.begin(), m_events.begin() + long(n));
        if (m_events.empty())
            m_eventPosted = false;
        else if (m_receiver)
            QCoreApplication::postEvent(m_receiver, new QEvent(QEvent::Type(eventType())));
        if (m_readHeld && m_events.size() < EventBound / 2) {
            m_readHeld = false;
            resume = true;
        }
    }
    if (resume)
        wake();
    return batch;
}

void QAmqpLink::setRetry(bool autoReconnect, int firstRetryDelay)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_autoReconnect = autoReconnect;
    m_firstRetryDelay = firstRetryDelay;
}

int QAmqpLink::release(bool connectionOpen)
{
    int dropped = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_receiver = nullptr;
        m_stopping = true;
        m_releasedAt = steadyMs();
        m_events.clear();
        if (m_socketFd >= 0 && !m_loggedIn)
            ::shutdown(m_socketFd, SHUT_RDWR);
        if (!connectionOpen) {
            dropped = qamqpCountPublications(m_commands);
            m_commands.clear();
        }
    }
    wake();
    return dropped;
}

bool QAmqpLink::isEnding() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ending;
}

void QAmqpLink::cutIfStuck()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_socketFd < 0)
        return;
    const qint64 now = steadyMs();
    const qint64 sendingSince = m_sendingSince.load(std::memory_order_relaxed);
    const bool stuckSend = sendingSince != 0 && now - sendingSince > SendDeadlineMs;
    const bool stuckGoodbye = m_stopping && now - m_releasedAt > GoodbyeGraceMs;
    if (stuckSend || stuckGoodbye) {
        m_cut = true;
        ::shutdown(m_socketFd, SHUT_RDWR);
    }
}

bool QAmqpLink::take(std::deque<QAmqpCommand> *commands)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::move(m_commands.begin(), m_commands.end(), std::back_inserter(*commands));
    m_commands.clear();
    return !m_stopping;
}

bool QAmqpLink::hasCommands() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_commands.empty() || m_stopping;
}

bool QAmqpLink::isStopping() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stopping;
}

void QAmqpLink::post(QAmqpEvent &&event)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_receiver)
        return;
    m_events.push_back(std::move(event));
    if (m_events.size() >= EventBound)
        m_readHeld = true;
    if (!m_eventPosted) {
        m_eventPosted = true;
        QCoreApplication::postEvent(m_receiver, new QEvent(QEvent::Type(eventType())));
    }
}

void QAmqpLink::log(const QString &text)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_receiver) {
            qCDebug(lcBroker).noquote() << text;
            return;
        }
    }
    QAmqpEvent event;
    event.kind = QAmqpEvent::Log;
    event.text = text;
    post(std::move(event));
}

bool QAmqpLink::mayRead() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_readHeld;
}

bool QAmqpLink::retry(int *firstDelay)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stopping || !m_autoReconnect) {
        m_ending = true;
        return false;
    }
    *firstDelay = std::max(1, m_firstRetryDelay);
    return true;
}

int QAmqpLink::finish()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_finished = true;
    m_ending = true;
    const int dropped = qamqpCountPublications(m_commands);
    m_commands.clear();
    return dropped;
}

bool QAmqpLink::setSocket(int fd, bool loggedIn)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (fd >= 0 && m_stopping && !loggedIn)
        return false;
    m_socketFd = fd;
    m_loggedIn = loggedIn;
    m_cut = false;
    m_sendingSince = 0;
    return true;
}

void QAmqpLink::beginSend()
{
    m_sendingSince.store(steadyMs(), std::memory_order_relaxed);
}

void QAmqpLink::endSend()
{
    m_sendingSince.store(0, std::memory_order_relaxed);
}

bool QAmqpLink::wasCut() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_cut;
}
