#include "qamqpworker.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QVariantList>

#include <amqp.h>
#include <amqp_framing.h>
#include <amqp_tcp_socket.h>

#include <netdb.h>
#include <netinet/in.h>
#include <linux/sockios.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <list>
#include <set>
#include <thread>
#include <vector>

static_assert(QAmqpMessage::ContentType == AMQP_BASIC_CONTENT_TYPE_FLAG
                  && QAmqpMessage::Headers == AMQP_BASIC_HEADERS_FLAG
                  && QAmqpMessage::Timestamp == AMQP_BASIC_TIMESTAMP_FLAG
                  && QAmqpMessage::ClusterID == AMQP_BASIC_CLUSTER_ID_FLAG,
              "message properties must be the flags of the basic class");

namespace {

constexpr int HeartbeatSeconds = 10;        // a silent peer is dropped after two of them
constexpr int ConnectTimeoutMs = 10000;
constexpr int HandshakeTimeoutSeconds = 10;
constexpr int RpcTimeoutSeconds = 10;
constexpr int CloseTimeoutSeconds = 2;
constexpr int MaxRetryDelaySeconds = 30;
constexpr int IdlePollMs = 1000;            // how often heartbeats get a look
constexpr int FramesPerRound = 256;         // keeps commands flowing under a flood
constexpr int DirectPublishLimit = 16 * 1024;

// Numbers every connection of the process, so that no two ever share one.
std::atomic<quint64> lastEpoch{0};

amqp_bytes_t bytesOf(const QByteArray &data)
{
    amqp_bytes_t bytes;
    bytes.len = size_t(data.size());
    bytes.bytes = const_cast<char *>(data.constData());
    return bytes;
}

QByteArray toByteArray(amqp_bytes_t bytes)
{
    if (bytes.len == 0)
        return QByteArray("");
    return QByteArray(static_cast<const char *>(bytes.bytes), int(bytes.len));
}

QString toText(amqp_bytes_t bytes)
{
    return QString::fromUtf8(static_cast<const char *>(bytes.bytes), int(bytes.len));
}

timeval seconds(int value)
{
    timeval tv;
    tv.tv_sec = value;
    tv.tv_usec = 0;
    return tv;
}

// Keeps the memory of an encoded table alive for the duration of one call.
class TableEncoder
{
public:
    amqp_table_t table(const QVariantHash &hash)
    {
        amqp_table_t table;
        table.num_entries = hash.size();
        table.entries = nullptr;
        if (hash.isEmpty())
            return table;
        m_entries.emplace_back(size_t(hash.size()));
        std::vector<amqp_table_entry_t> &entries = m_entries.back();
        int i = 0;
        for (auto it = hash.constBegin(); it != hash.constEnd(); ++it, ++i) {
            entries[size_t(i)].key = bytes(it.key().toUtf8());
            entries[size_t(i)].value = value(it.value());
        }
        table.entries = entries.data();
        return table;
    }

    amqp_field_value_t value(const QVariant &variant)
    {
        amqp_field_value_t field;
        std::memset(&field, 0, sizeof field);
        const int type = variant.userType();
        if (type == qMetaTypeId<QAmqpTable>()) {
            field.kind = AMQP_FIELD_KIND_TABLE;
            field.value.table = table(variant.value<QAmqpTable>());
            return field;
        }
        switch (type) {
        case QMetaType::UnknownType:
            field.kind = AMQP_FIELD_KIND_VOID;
            break;
        case QMetaType::Bool:
            field.kind = AMQP_FIELD_KIND_BOOLEAN;
            field.value.boolean = variant.toBool();
            break;
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Char:
        case QMetaType::SChar:
        case QMetaType::UChar:
            field.kind = AMQP_FIELD_KIND_I32;
            field.value.i32 = variant.toInt();
            break;
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::Long:
        case QMetaType::ULong:
            field.kind = AMQP_FIELD_KIND_I64;
            field.value.i64 = variant.toLongLong();
            break;
        case QMetaType::ULongLong:
            field.kind = AMQP_FIELD_KIND_U64;
            field.value.u64 = variant.toULongLong();
            break;
        case QMetaType::Float:
            field.kind = AMQP_FIELD_KIND_F32;
            field.value.f32 = variant.toFloat();
            break;
        case QMetaType::Double:
            field.kind = AMQP_FIELD_KIND_F64;
            field.value.f64 = variant.toDouble();
            break;
        case QMetaType::QByteArray:
            field.kind = AMQP_FIELD_KIND_BYTES;
            field.value.bytes = bytes(variant.toByteArray());
            break;
        case QMetaType::QDateTime:
            field.kind = AMQP_FIELD_KIND_TIMESTAMP;
            field.value.u64 = quint64(variant.toDateTime().toSecsSinceEpoch());
            break;
        case QMetaType::QVariantHash:
            field.kind = AMQP_FIELD_KIND_TABLE;
            field.value.table = table(variant.toHash());
            break;
        case QMetaType::QVariantMap: {
            const QVariantMap map = variant.toMap();
            QVariantHash hash;
            for (auto it = map.constBegin(); it != map.constEnd(); ++it)
                hash.insert(it.key(), it.value());
            field.kind = AMQP_FIELD_KIND_TABLE;
            field.value.table = table(hash);
            break;
        }
        case QMetaType::QVariantList:
        case QMetaType::QStringList: {
            const QVariantList list = variant.toList();
            m_values.emplace_back();
            std::vector<amqp_field_value_t> &values = m_values.back();
            for (const QVariant &item : list)
                values.push_back(value(item));
            field.kind = AMQP_FIELD_KIND_ARRAY;
            field.value.array.num_entries = int(values.size());
            field.value.array.entries = values.empty() ? nullptr : values.data();
            break;
        }
        default:
            field.kind = AMQP_FIELD_KIND_UTF8;
            field.value.bytes = bytes(variant.toString().toUtf8());
            break;
        }
        return field;
    }

    amqp_bytes_t bytes(const QByteArray &data)
    {
        m_bytes.push_back(data);
        return bytesOf(m_bytes.back());
    }

private:
    // Lists, so that what was handed out never moves.
    std::list<QByteArray> m_bytes;
    std::list<std::vector<amqp_table_entry_t>> m_entries;
    std::list<std::vector<amqp_field_value_t>> m_values;
};

QVariant decodeValue(const amqp_field_value_t &field);

QVariantHash decodeTable(const amqp_table_t &table)
{
    QVariantHash hash;
    for (int i = 0; i < table.num_entries; ++i)
        hash.insert(toText(table.entries[i].key), decodeValue(table.entries[i].value));
    return hash;
}

QVariant decodeValue(const amqp_field_value_t &field)
{
    switch (field.kind) {
    case AMQP_FIELD_KIND_BOOLEAN: return bool(field.value.boolean);
    case AMQP_FIELD_KIND_I8: return int(field.value.i8);
    case AMQP_FIELD_KIND_U8: return int(field.value.u8);
    case AMQP_FIELD_KIND_I16: return int(field.value.i16);
    case AMQP_FIELD_KIND_U16: return int(field.value.u16);
    case AMQP_FIELD_KIND_I32: return int(field.value.i32);
    case AMQP_FIELD_KIND_U32: return qlonglong(field.value.u32);
    case AMQP_FIELD_KIND_I64: return qlonglong(field.value.i64);
    case AMQP_FIELD_KIND_U64: return qulonglong(field.value.u64);
    case AMQP_FIELD_KIND_F32: return field.value.f32;
    case AMQP_FIELD_KIND_F64: return field.value.f64;
    case AMQP_FIELD_KIND_DECIMAL: {
        double value = field.value.decimal.value;
        for (int i = 0; i < field.value.decimal.decimals; ++i)
            value /= 10;
        return value;
    }
    case AMQP_FIELD_KIND_UTF8: return toText(field.value.bytes);
    case AMQP_FIELD_KIND_BYTES: return toByteArray(field.value.bytes);
    case AMQP_FIELD_KIND_TIMESTAMP:
        return QDateTime::fromSecsSinceEpoch(qint64(field.value.u64), Qt::UTC);
    case AMQP_FIELD_KIND_TABLE: return decodeTable(field.value.table);
    case AMQP_FIELD_KIND_ARRAY: {
        QVariantList list;
        for (int i = 0; i < field.value.array.num_entries; ++i)
            list.append(decodeValue(field.value.array.entries[i]));
        return list;
    }
    default: return QVariant();
    }
}

QAmqpMessage::PropertyHash decodeProperties(const amqp_basic_properties_t &p)
{
    QAmqpMessage::PropertyHash hash;
    const auto text = [&](QAmqpMessage::Property property, amqp_flags_t flag, amqp_bytes_t value) {
        if (p._flags & flag)
            hash.insert(property, toText(value));
    };
    text(QAmqpMessage::ContentType, AMQP_BASIC_CONTENT_TYPE_FLAG, p.content_type);
    text(QAmqpMessage::ContentEncoding, AMQP_BASIC_CONTENT_ENCODING_FLAG, p.content_encoding);
    if (p._flags & AMQP_BASIC_HEADERS_FLAG)
        hash.insert(QAmqpMessage::Headers, QVariant::fromValue(QAmqpTable(decodeTable(p.headers))));
    if (p._flags & AMQP_BASIC_DELIVERY_MODE_FLAG)
        hash.insert(QAmqpMessage::DeliveryMode, int(p.delivery_mode));
    if (p._flags & AMQP_BASIC_PRIORITY_FLAG)
        hash.insert(QAmqpMessage::Priority, int(p.priority));
    text(QAmqpMessage::CorrelationId, AMQP_BASIC_CORRELATION_ID_FLAG, p.correlation_id);
    text(QAmqpMessage::ReplyTo, AMQP_BASIC_REPLY_TO_FLAG, p.reply_to);
    text(QAmqpMessage::Expiration, AMQP_BASIC_EXPIRATION_FLAG, p.expiration);
    text(QAmqpMessage::MessageId, AMQP_BASIC_MESSAGE_ID_FLAG, p.message_id);
    if (p._flags & AMQP_BASIC_TIMESTAMP_FLAG)
        hash.insert(QAmqpMessage::Timestamp, QDateTime::fromSecsSinceEpoch(qint64(p.timestamp), Qt::UTC));
    text(QAmqpMessage::Type, AMQP_BASIC_TYPE_FLAG, p.type);
    text(QAmqpMessage::UserId, AMQP_BASIC_USER_ID_FLAG, p.user_id);
    text(QAmqpMessage::AppId, AMQP_BASIC_APP_ID_FLAG, p.app_id);
    text(QAmqpMessage::ClusterID, AMQP_BASIC_CLUSTER_ID_FLAG, p.cluster_id);
    return hash;
}

amqp_basic_properties_t encodeProperties(const QAmqpMessage::PropertyHash &hash, TableEncoder &encoder)
{
    amqp_basic_properties_t p;
    std::memset(&p, 0, sizeof p);
    for (auto it = hash.constBegin(); it != hash.constEnd(); ++it) {
        const QVariant &v = it.value();
        const amqp_flags_t flag = amqp_flags_t(it.key());
        switch (it.key()) {
        case QAmqpMessage::ContentType: p.content_type = encoder.bytes(v.toString().toUtf8()); break;
        case QAmqpMessage::ContentEncoding: p.content_encoding = encoder.bytes(v.toString().toUtf8()); break;
        case QAmqpMessage::Headers: {
            const QVariantHash headers = v.userType() == qMetaTypeId<QAmqpTable>()
                ? QVariantHash(v.value<QAmqpTable>()) : v.toHash();
            p.headers = encoder.table(headers);
            break;
        }
        case QAmqpMessage::DeliveryMode: p.delivery_mode = uint8_t(v.toUInt()); break;
        case QAmqpMessage::Priority: p.priority = uint8_t(v.toUInt()); break;
        case QAmqpMessage::CorrelationId: p.correlation_id = encoder.bytes(v.toString().toUtf8()); break;
        case QAmqpMessage::ReplyTo: p.reply_to = encoder.bytes(v.toString().toUtf8()); break;
        case QAmqpMessage::Expiration: p.expiration = encoder.bytes(v.toString().toUtf8()); break;
        case QAmqpMessage::MessageId: p.message_id = encoder.bytes(v.toString().toUtf8()); break;
        case QAmqpMessage::Timestamp:
            p.timestamp = v.userType() == QMetaType::QDateTime
                ? quint64(v.toDateTime().toSecsSinceEpoch()) : v.toULongLong();
            break;
        case QAmqpMessage::Type: p.type = encoder.bytes(v.toString().toUtf8()); break;
        case QAmqpMessage::UserId: p.user_id = encoder.bytes(v.toString().toUtf8()); break;
        case QAmqpMessage::AppId: p.app_id = encoder.bytes(v.toString().toUtf8()); break;
        case QAmqpMessage::ClusterID: p.cluster_id = encoder.bytes(v.toString().toUtf8()); break;
        default: continue;
        }
        p._flags |= flag;
    }
    return p;
}

QString describeReply(const amqp_rpc_reply_t &reply)
{
    switch (reply.reply_type) {
    case AMQP_RESPONSE_NORMAL:
        return QStringLiteral("ok");
    case AMQP_RESPONSE_NONE:
        return QStringLiteral("no reply from the broker");
    case AMQP_RESPONSE_LIBRARY_EXCEPTION:
        return QString::fromUtf8(amqp_error_string2(reply.library_error));
    case AMQP_RESPONSE_SERVER_EXCEPTION:
        if (reply.reply.id == AMQP_CONNECTION_CLOSE_METHOD) {
            const auto *m = static_cast<const amqp_connection_close_t *>(reply.reply.decoded);
            return QStringLiteral("%1 %2").arg(m->reply_code).arg(toText(m->reply_text));
        }
        if (reply.reply.id == AMQP_CHANNEL_CLOSE_METHOD) {
            const auto *m = static_cast<const amqp_channel_close_t *>(reply.reply.decoded);
            return QStringLiteral("%1 %2").arg(m->reply_code).arg(toText(m->reply_text));
        }
        return QStringLiteral("unexpected method 0x%1").arg(reply.reply.id, 8, 16, QLatin1Char('0'));
    }
    return QString();
}

} // namespace

class QAmqpWorker
{
public:
    explicit QAmqpWorker(std::shared_ptr<QAmqpLink> link) : m_link(std::move(link)) {}

    void run();

private:
    enum class Rpc { Ok, ChannelClosed, ConnectionLost };
    enum class Read { Got, Nothing, ConnectionLost };

    bool stopping();
    void post(QAmqpEvent::Kind kind, int channel = 0, const QString &text = QString());
    void drainWake();
    bool waitReadable(int fd, short events, int timeoutMs);
    bool sleepUnlessStopped(int ms);

    bool connectOnce(QString *error);
    int openSocket(QString *error);
    void setSocketFd(int fd, bool loggedIn);
    QString serve();
    void closeConnection(bool graceful);

    bool execute(QAmqpCommand &command, QString *why);
    Rpc checkRpc(int channel, QString *why);
    Read readOne(QString *why);
    bool handleMethod(const amqp_frame_t &frame, QString *why);
    void channelClosedByBroker(int channel, const amqp_channel_close_t *close);

    std::shared_ptr<QAmqpLink> m_link;
    amqp_connection_state_t m_conn = nullptr;
    quint64 m_epoch = 0;
    std::set<int> m_openChannels;
};

bool QAmqpWorker::stopping()
{
    std::lock_guard<std::mutex> lock(m_link->mutex);
    return m_link->stopping;
}

void QAmqpWorker::post(QAmqpEvent::Kind kind, int channel, const QString &text)
{
    QAmqpEvent event;
    event.kind = kind;
    event.epoch = m_epoch;
    event.channel = channel;
    event.text = text;
    m_link->post(std::move(event));
}

void QAmqpWorker::drainWake()
{
    quint64 count;
    while (::read(m_link->wakeFd, &count, sizeof count) > 0) {
    }
}

// True when fd became ready; false on a wake-up or the timeout.
bool QAmqpWorker::waitReadable(int fd, short events, int timeoutMs)
{
    pollfd fds[2];
    fds[0].fd = fd;
    fds[0].events = events;
    fds[0].revents = 0;
    fds[1].fd = m_link->wakeFd;
    fds[1].events = POLLIN;
    fds[1].revents = 0;
    int n;
    do {
        n = ::poll(fds, 2, timeoutMs);
    } while (n < 0 && errno == EINTR);
    return n > 0 && fds[0].revents != 0;
}

bool QAmqpWorker::sleepUnlessStopped(int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        drainWake();
        if (stopping())
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return true;
        pollfd fd;
        fd.fd = m_link->wakeFd;
        fd.events = POLLIN;
        fd.revents = 0;
        ::poll(&fd, 1, int(left));
    }
}

void QAmqpWorker::setSocketFd(int fd, bool loggedIn)
{
    std::lock_guard<std::mutex> lock(m_link->mutex);
    m_link->socketFd = fd;
    m_link->loggedIn = loggedIn;
}

// A non-blocking connect that a stop can interrupt; the descriptor is then
// handed to librabbitmq.
int QAmqpWorker::openSocket(QString *error)
{
    const QAmqpSettings &s = m_link->settings;
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *addresses = nullptr;
    const QByteArray port = QByteArray::number(s.port);
    const int rc = ::getaddrinfo(s.host.constData(), port.constData(), &hints, &addresses);
    if (rc != 0) {
        *error = QStringLiteral("cannot resolve %1: %2").arg(QString::fromUtf8(s.host), QString::fromUtf8(gai_strerror(rc)));
        return -1;
    }
    int result = -1;
    *error = QStringLiteral("no address for %1").arg(QString::fromUtf8(s.host));
    for (addrinfo *ai = addresses; ai && result < 0; ai = ai->ai_next) {
        const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) {
            *error = QString::fromLocal8Bit(std::strerror(errno));
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(m_link->mutex);
            if (m_link->stopping) {
                ::close(fd);
                break;
            }
            m_link->socketFd = fd;
        }
        int err = 0;
        if (::connect(fd, ai->ai_addr, ai->ai_addrlen) < 0) {
            err = errno;
            if (err == EINPROGRESS) {
                const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ConnectTimeoutMs);
                err = ETIMEDOUT;
                for (;;) {
                    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                          deadline - std::chrono::steady_clock::now()).count();
                    if (left <= 0)
                        break;
                    if (waitReadable(fd, POLLOUT, int(left))) {
                        socklen_t len = sizeof err;
                        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) < 0)
                            err = errno;
                        break;
                    }
                    drainWake();
                    if (stopping()) {
                        err = ECANCELED;
                        break;
                    }
                }
            }
        }
        if (err == 0) {
            result = fd;
        } else {
            setSocketFd(-1, false);
            ::close(fd);
            *error = QString::fromLocal8Bit(std::strerror(err));
        }
    }
    ::freeaddrinfo(addresses);
    if (result >= 0) {
        const int one = 1;
        ::setsockopt(result, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ::setsockopt(result, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
    }
    return result;
}

bool QAmqpWorker::connectOnce(QString *error)
{
    const QAmqpSettings &s = m_link->settings;
    const int fd = openSocket(error);
    if (fd < 0)
        return false;

    m_conn = amqp_new_connection();
    amqp_socket_t *socket = m_conn ? amqp_tcp_socket_new(m_conn) : nullptr;
    if (!socket) {
        *error = QStringLiteral("out of memory");
        setSocketFd(-1, false);
        ::close(fd);
        if (m_conn)
            amqp_destroy_connection(m_conn);
        m_conn = nullptr;
        return false;
    }
    amqp_tcp_socket_set_sockfd(socket, fd);   // the connection owns fd from here on
    const timeval handshake = seconds(HandshakeTimeoutSeconds);
    amqp_set_handshake_timeout(m_conn, &handshake);
    const amqp_rpc_reply_t reply = amqp_login(m_conn, s.virtualHost.constData(), 0, AMQP_DEFAULT_FRAME_SIZE,
                                              HeartbeatSeconds, AMQP_SASL_METHOD_PLAIN,
                                              s.username.constData(), s.password.constData());
    if (reply.reply_type != AMQP_RESPONSE_NORMAL) {
        *error = QStringLiteral("login refused or failed: %1").arg(describeReply(reply));
        closeConnection(false);
        return false;
    }
    setSocketFd(fd, true);
    const timeval rpc = seconds(RpcTimeoutSeconds);
    amqp_set_rpc_timeout(m_conn, &rpc);
    m_openChannels.clear();
    return true;
}

void QAmqpWorker::closeConnection(bool graceful)
{
    if (!m_conn)
        return;
    if (graceful) {
        const timeval quick = seconds(CloseTimeoutSeconds);
        amqp_set_rpc_timeout(m_conn, &quick);
        amqp_connection_close(m_conn, AMQP_REPLY_SUCCESS);
    }
    setSocketFd(-1, false);   // before the descriptor is closed and its number freed
    amqp_destroy_connection(m_conn);
    m_conn = nullptr;
    m_openChannels.clear();
}

void QAmqpWorker::run()
{
    int delay = 0;
    for (;;) {
        if (stopping())
            break;
        QString error;
        if (connectOnce(&error)) {
            delay = 0;
            m_epoch = ++lastEpoch;
            post(QAmqpEvent::Connected);
            const QString why = serve();
            if (why.isNull()) {   // asked to stop
                closeConnection(true);
                break;
            }
            closeConnection(false);
            post(QAmqpEvent::Lost, 0, why);
        } else {
            if (stopping())
                break;
            post(QAmqpEvent::AttemptFailed, 0, error);
        }
        int firstDelay;
        {
            std::lock_guard<std::mutex> lock(m_link->mutex);
            if (!m_link->autoReconnect)
                break;
            firstDelay = std::max(1, m_link->firstRetryDelay);
        }
        delay = delay == 0 ? firstDelay : std::min(delay * 2, std::max(firstDelay, MaxRetryDelaySeconds));
        if (!sleepUnlessStopped(delay * 1000))
            break;
    }
    closeConnection(false);
    post(QAmqpEvent::Finished);
}

// Runs an open connection. Returns a null string when asked to stop, else
// why the connection was lost.
QString QAmqpWorker::serve()
{
    const int fd = amqp_get_sockfd(m_conn);
    QString why;
    for (;;) {
        drainWake();
        std::deque<QAmqpCommand> commands;
        bool stop;
        {
            std::lock_guard<std::mutex> lock(m_link->mutex);
            commands.swap(m_link->commands);
            stop = m_link->stopping;
        }
        // Whatever was handed over before a stop still goes out.
        for (QAmqpCommand &command : commands) {
            if (!execute(command, &why))
                return why;
        }
        if (stop)
            return QString();

        for (int i = 0; i < FramesPerRound; ++i) {
            const Read read = readOne(&why);
            if (read == Read::ConnectionLost)
                return why;
            if (read == Read::Nothing)
                break;
        }
        if (amqp_frames_enqueued(m_conn) || amqp_data_in_buffer(m_conn))
            continue;
        {
            std::lock_guard<std::mutex> lock(m_link->mutex);
            if (!m_link->commands.empty() || m_link->stopping)
                continue;
            m_link->idleConnection = m_conn;
            m_link->idleEpoch = m_epoch;
            if (m_link->idleChannels != m_openChannels)
                m_link->idleChannels = m_openChannels;
        }
        waitReadable(fd, POLLIN, IdlePollMs);
        std::lock_guard<std::mutex> lock(m_link->mutex);
        m_link->idleConnection = nullptr;
    }
}

void QAmqpWorker::channelClosedByBroker(int channel, const amqp_channel_close_t *close)
{
    amqp_channel_close_ok_t ok;
    std::memset(&ok, 0, sizeof ok);
    amqp_send_method(m_conn, amqp_channel_t(channel), AMQP_CHANNEL_CLOSE_OK_METHOD, &ok);
    m_openChannels.erase(channel);
    post(QAmqpEvent::ChannelClosed, channel,
         QStringLiteral("%1 %2").arg(close->reply_code).arg(toText(close->reply_text)));
}

QAmqpWorker::Rpc QAmqpWorker::checkRpc(int channel, QString *why)
{
    const amqp_rpc_reply_t reply = amqp_get_rpc_reply(m_conn);
    if (reply.reply_type == AMQP_RESPONSE_NORMAL)
        return Rpc::Ok;
    if (reply.reply_type == AMQP_RESPONSE_SERVER_EXCEPTION && reply.reply.id == AMQP_CHANNEL_CLOSE_METHOD) {
        channelClosedByBroker(channel, static_cast<const amqp_channel_close_t *>(reply.reply.decoded));
        return Rpc::ChannelClosed;
    }
    if (reply.reply_type == AMQP_RESPONSE_SERVER_EXCEPTION && reply.reply.id == AMQP_CONNECTION_CLOSE_METHOD) {
        amqp_connection_close_ok_t ok;
        std::memset(&ok, 0, sizeof ok);
        amqp_send_method(m_conn, 0, AMQP_CONNECTION_CLOSE_OK_METHOD, &ok);
    }
    *why = describeReply(reply);
    return Rpc::ConnectionLost;
}

// False when the connection is lost.
bool QAmqpWorker::execute(QAmqpCommand &command, QString *why)
{
    const bool publish = command.kind == QAmqpCommand::Publish;
    if (command.epoch != m_epoch) {
        if (publish)
            post(QAmqpEvent::Log, command.channel,
                 QStringLiteral("QAmqpClient: message to \"%1\" not published: its connection was lost")
                     .arg(QString::fromUtf8(command.name)));
        return true;
    }
    const int ch = command.channel;
    const amqp_channel_t channel = amqp_channel_t(ch);
    if (command.kind == QAmqpCommand::OpenChannel) {
        amqp_channel_open(m_conn, channel);
        const Rpc rpc = checkRpc(ch, why);
        if (rpc == Rpc::Ok) {
            m_openChannels.insert(ch);
            post(QAmqpEvent::ChannelOpened, ch);
        }
        return rpc != Rpc::ConnectionLost;
    }
    if (!m_openChannels.count(ch)) {
        if (publish)
            post(QAmqpEvent::Log, ch, QStringLiteral("QAmqpClient: message to \"%1\" not published: channel %2 is closed")
                                          .arg(QString::fromUtf8(command.name)).arg(ch));
        return true;
    }

    TableEncoder encoder;
    const amqp_table_t arguments = encoder.table(command.arguments);
    Rpc rpc = Rpc::Ok;
    switch (command.kind) {
    case QAmqpCommand::OpenChannel:
        break;
    case QAmqpCommand::CloseChannel:
        m_openChannels.erase(ch);
        amqp_channel_close(m_conn, channel, AMQP_REPLY_SUCCESS);
        rpc = checkRpc(ch, why);
        break;
    case QAmqpCommand::DeclareExchange:
        amqp_exchange_declare(m_conn, channel, bytesOf(command.name), bytesOf(command.key),
                              (command.options & 0x01) != 0, (command.options & 0x02) != 0,
                              (command.options & 0x04) != 0, (command.options & 0x08) != 0, arguments);
        rpc = checkRpc(ch, why);
        if (rpc == Rpc::Ok)
            post(QAmqpEvent::ExchangeDeclared, ch);
        break;
    case QAmqpCommand::Publish: {
        const amqp_basic_properties_t properties = encodeProperties(command.properties, encoder);
        const int status = amqp_basic_publish(m_conn, channel, bytesOf(command.name), bytesOf(command.key),
                                              (command.options & 0x01) != 0, 0, &properties,
                                              bytesOf(command.body));
        if (status != AMQP_STATUS_OK) {
            *why = QStringLiteral("publish failed: %1").arg(QString::fromUtf8(amqp_error_string2(status)));
            rpc = Rpc::ConnectionLost;
        }
        break;
    }
    case QAmqpCommand::DeclareQueue: {
        const amqp_queue_declare_ok_t *ok =
            amqp_queue_declare(m_conn, channel, bytesOf(command.name), (command.options & 0x01) != 0,
                               (command.options & 0x02) != 0, (command.options & 0x04) != 0,
                               (command.options & 0x08) != 0, arguments);
        rpc = checkRpc(ch, why);
        if (rpc == Rpc::Ok && ok)
            post(QAmqpEvent::QueueDeclared, ch, toText(ok->queue));
        break;
    }
    case QAmqpCommand::Bind:
        amqp_queue_bind(m_conn, channel, bytesOf(command.name), bytesOf(command.exchange),
                        bytesOf(command.key), arguments);
        rpc = checkRpc(ch, why);
        if (rpc == Rpc::Ok)
            post(QAmqpEvent::QueueBound, ch);
        break;
    case QAmqpCommand::Consume: {
        const amqp_basic_consume_ok_t *ok =
            amqp_basic_consume(m_conn, channel, bytesOf(command.name), amqp_empty_bytes,
                               (command.options & 0x01) != 0, (command.options & 0x02) != 0,
                               (command.options & 0x04) != 0, arguments);
        rpc = checkRpc(ch, why);
        if (rpc == Rpc::Ok && ok)
            post(QAmqpEvent::Consuming, ch, toText(ok->consumer_tag));
        break;
    }
    }
    return rpc != Rpc::ConnectionLost;
}

QAmqpWorker::Read QAmqpWorker::readOne(QString *why)
{
    amqp_maybe_release_buffers(m_conn);
    amqp_envelope_t envelope;
    timeval now = seconds(0);
    const amqp_rpc_reply_t reply = amqp_consume_message(m_conn, &envelope, &now, 0);
    if (reply.reply_type == AMQP_RESPONSE_NORMAL) {
        QAmqpEvent event;
        event.kind = QAmqpEvent::Delivery;
        event.epoch = m_epoch;
        event.channel = envelope.channel;
        QAmqpMessage &m = event.message;
        m.m_valid = true;
        m.m_payload = toByteArray(envelope.message.body);
        m.m_properties = decodeProperties(envelope.message.properties);
        m.m_exchangeName = toText(envelope.exchange);
        m.m_routingKey = toText(envelope.routing_key);
        m.m_deliveryTag = envelope.delivery_tag;
        m.m_redelivered = envelope.redelivered != 0;
        amqp_destroy_envelope(&envelope);
        m_link->post(std::move(event));
        return Read::Got;
    }
    if (reply.reply_type == AMQP_RESPONSE_LIBRARY_EXCEPTION) {
        if (reply.library_error == AMQP_STATUS_TIMEOUT)
            return Read::Nothing;
        if (reply.library_error == AMQP_STATUS_UNEXPECTED_STATE) {
            amqp_frame_t frame;
            const int status = amqp_simple_wait_frame(m_conn, &frame);
            if (status != AMQP_STATUS_OK) {
                *why = QString::fromUtf8(amqp_error_string2(status));
                return Read::ConnectionLost;
            }
            if (frame.frame_type == AMQP_FRAME_METHOD && !handleMethod(frame, why))
                return Read::ConnectionLost;
            return Read::Got;
        }
    }
    *why = describeReply(reply);
    return Read::ConnectionLost;
}

// A method that is no reply to a call of ours. False when the connection ends.
bool QAmqpWorker::handleMethod(const amqp_frame_t &frame, QString *why)
{
    const int ch = frame.channel;
    switch (frame.payload.method.id) {
    case AMQP_CHANNEL_CLOSE_METHOD:
        channelClosedByBroker(ch, static_cast<const amqp_channel_close_t *>(frame.payload.method.decoded));
        return true;
    case AMQP_CONNECTION_CLOSE_METHOD: {
        const auto *close = static_cast<const amqp_connection_close_t *>(frame.payload.method.decoded);
        *why = QStringLiteral("closed by the broker: %1 %2").arg(close->reply_code).arg(toText(close->reply_text));
        amqp_connection_close_ok_t ok;
        std::memset(&ok, 0, sizeof ok);
        amqp_send_method(m_conn, 0, AMQP_CONNECTION_CLOSE_OK_METHOD, &ok);
        return false;
    }
    case AMQP_BASIC_RETURN_METHOD: {
        const auto *ret = static_cast<const amqp_basic_return_t *>(frame.payload.method.decoded);
        const QString text = QStringLiteral("QAmqpClient: message to \"%1\" with key \"%2\" returned: %3 %4")
                                 .arg(toText(ret->exchange), toText(ret->routing_key))
                                 .arg(ret->reply_code).arg(toText(ret->reply_text));
        amqp_message_t message;
        const amqp_rpc_reply_t reply = amqp_read_message(m_conn, frame.channel, &message, 0);
        if (reply.reply_type != AMQP_RESPONSE_NORMAL) {
            *why = describeReply(reply);
            return false;
        }
        amqp_destroy_message(&message);
        post(QAmqpEvent::Log, ch, text);
        return true;
    }
    case AMQP_BASIC_CANCEL_METHOD:
        post(QAmqpEvent::Log, ch, QStringLiteral("QAmqpClient: the broker cancelled the consumer of channel %1").arg(ch));
        return true;
    case AMQP_CONNECTION_BLOCKED_METHOD:
        post(QAmqpEvent::Log, 0, QStringLiteral("QAmqpClient: the broker blocks publishing"));
        return true;
    case AMQP_CONNECTION_UNBLOCKED_METHOD:
        post(QAmqpEvent::Log, 0, QStringLiteral("QAmqpClient: the broker accepts publishing again"));
        return true;
    default:
        return true;
    }
}

QAmqpLink::QAmqpLink()
    : wakeFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
}

QAmqpLink::~QAmqpLink()
{
    if (wakeFd >= 0)
        ::close(wakeFd);
}

void QAmqpLink::wake()
{
    const quint64 one = 1;
    ssize_t n;
    do {
        n = ::write(wakeFd, &one, sizeof one);
    } while (n < 0 && errno == EINTR);
}

void QAmqpLink::post(QAmqpEvent &&event)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!receiver)
        return;
    events.push_back(std::move(event));
    if (!eventPosted) {
        eventPosted = true;
        QCoreApplication::postEvent(receiver, new QEvent(QEvent::Type(qamqpEventType())));
    }
}

int qamqpEventType()
{
    static const int type = QEvent::registerEventType();
    return type;
}

bool qamqpPublishNow(QAmqpLink &link, const QAmqpCommand &command, QString *error)
{
    std::lock_guard<std::mutex> lock(link.mutex);
    auto conn = static_cast<amqp_connection_state_t>(link.idleConnection);
    if (!conn || !link.commands.empty() || command.epoch != link.idleEpoch
        || !link.idleChannels.count(command.channel))
        return false;
    const int size = command.body.size() + command.name.size() + command.key.size() + 1024;
    if (size > DirectPublishLimit)
        return false;
    const int fd = amqp_get_sockfd(conn);
    int queued = 0;
    int buffer = 0;
    socklen_t length = sizeof buffer;
    if (::ioctl(fd, SIOCOUTQ, &queued) < 0 || ::getsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer, &length) < 0)
        return false;
    // Wide margin: the kernel counts its own overhead against the buffer too.
    if (2 * (queued + size) > buffer / 2)
        return false;
    TableEncoder encoder;
    const amqp_basic_properties_t properties = encodeProperties(command.properties, encoder);
    const int status = amqp_basic_publish(conn, amqp_channel_t(command.channel), bytesOf(command.name),
                                          bytesOf(command.key), (command.options & 0x01) != 0, 0, &properties,
                                          bytesOf(command.body));
    if (status != AMQP_STATUS_OK)
        *error = QString::fromUtf8(amqp_error_string2(status));
    return true;
}

bool qamqpStartWorker(const std::shared_ptr<QAmqpLink> &link)
{
    if (link->wakeFd < 0)
        return false;
    try {
        std::thread([link] { QAmqpWorker(link).run(); }).detach();
    } catch (const std::system_error &) {
        return false;
    }
    return true;
}
