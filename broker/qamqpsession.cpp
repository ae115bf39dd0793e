#include "qamqpsession.h"
#include "qamqpcodec_p.h"
#include "qamqplink.h"
#include "qamqpsocket.h"
#include "qamqptls.h"

#include <amqp_tcp_socket.h>

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr int HeartbeatSeconds = 10;        // a silent peer is dropped after two of them
constexpr int HandshakeTimeoutSeconds = 10;
constexpr int RpcTimeoutSeconds = 10;
constexpr int CloseTimeoutSeconds = 2;
constexpr int IdlePollMs = 1000;            // how often heartbeats get a look
constexpr int FramesPerRound = 256;         // keeps commands flowing under a flood
constexpr int ContentHeaderOverhead = 8 + 12;   // frame, then class, weight and body size

timeval seconds(int value)
{
    timeval tv;
    tv.tv_sec = value;
    tv.tv_usec = 0;
    return tv;
}

template <typename Method>
QString closeText(const Method *m)
{
    return QStringLiteral("%1 %2").arg(m->reply_code).arg(qamqpText(m->reply_text));
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
        if (reply.reply.id == AMQP_CONNECTION_CLOSE_METHOD)
            return closeText(static_cast<const amqp_connection_close_t *>(reply.reply.decoded));
        if (reply.reply.id == AMQP_CHANNEL_CLOSE_METHOD)
            return closeText(static_cast<const amqp_channel_close_t *>(reply.reply.decoded));
        return QStringLiteral("unexpected method 0x%1").arg(reply.reply.id, 8, 16, QLatin1Char('0'));
    }
    return QString();
}

} // namespace

QAmqpSession::QAmqpSession(QAmqpLink &link, quint64 epoch)
    : m_link(link)
    , m_epoch(epoch)
{
}

QAmqpSession::~QAmqpSession()
{
    close(false);
}

void QAmqpSession::post(QAmqpEvent::Kind kind, quint64 channelId, const QString &text)
{
    QAmqpEvent event;
    event.kind = kind;
    event.epoch = m_epoch;
    event.channelId = channelId;
    event.text = text;
    m_link.post(std::move(event));
}

bool QAmqpSession::open(QString *error)
{
    const QAmqpSettings &s = m_link.settings();
    m_conn = amqp_new_connection();
    if (!m_conn) {
        *error = QStringLiteral("out of memory");
        return false;
    }
    if (!(s.caFile.isEmpty() ? openTcp(error) : openTls(error))) {
        m_link.setSocket(-1, false);   // before the descriptor is closed and its number freed
        amqp_destroy_connection(m_conn);
        m_conn = nullptr;
        return false;
    }
    const timeval handshake = seconds(HandshakeTimeoutSeconds);
    amqp_set_handshake_timeout(m_conn, &handshake);
    // Without these the broker neither says that it cancelled a consumer nor
    // that a resource alarm blocks publishing.
    QAmqpTable capabilities;
    capabilities.insert(QStringLiteral("consumer_cancel_notify"), true);
    capabilities.insert(QStringLiteral("connection.blocked"), true);
    QAmqpTable clientProperties;
    clientProperties.insert(QStringLiteral("capabilities"), QVariant::fromValue(capabilities));
    QAmqpEncoder encoder;
    const amqp_table_t properties = encoder.table(clientProperties);
    const amqp_rpc_reply_t reply =
        amqp_login_with_properties(m_conn, s.virtualHost.constData(), 0, AMQP_DEFAULT_FRAME_SIZE, HeartbeatSeconds,
                                   &properties, AMQP_SASL_METHOD_PLAIN, s.username.constData(), s.password.constData());
    if (reply.reply_type != AMQP_RESPONSE_NORMAL) {
        *error = QStringLiteral("login refused or failed: %1").arg(describeReply(reply));
        close(false);
        return false;
    }
    m_link.setSocket(amqp_get_sockfd(m_conn), true);
    const timeval rpc = seconds(RpcTimeoutSeconds);
    amqp_set_rpc_timeout(m_conn, &rpc);
    return true;
}

bool QAmqpSession::openTcp(QString *error)
{
    amqp_socket_t *socket = amqp_tcp_socket_new(m_conn);
    if (!socket) {
        *error = QStringLiteral("out of memory");
        return false;
    }
    const int fd = qamqpConnectSocket(m_link, error);
    if (fd < 0)
        return false;
    amqp_tcp_socket_set_sockfd(socket, fd);   // the connection owns fd from here on
    return true;
}

bool QAmqpSession::openTls(QString *error)
{
    const int fd = qamqpOpenTls(m_conn, m_link.settings(), error);
    if (fd < 0)
        return false;
    // From here on a stop cuts the socket, as for plain connections.
    if (!m_link.setSocket(fd, false)) {
        *error = QStringLiteral("stopped");
        return false;
    }
    return true;
}

int QAmqpSession::channelMax() const
{
    const int max = m_conn ? amqp_get_channel_max(m_conn) : 0;
    return max > 0 ? max : 0xffff;
}

void QAmqpSession::close(bool graceful)
{
    if (!m_conn)
        return;
    if (graceful) {
        const timeval quick = seconds(CloseTimeoutSeconds);
        amqp_set_rpc_timeout(m_conn, &quick);
        amqp_connection_close(m_conn, AMQP_REPLY_SUCCESS);
    }
    m_link.setSocket(-1, false);   // before the descriptor is closed and its number freed
    amqp_destroy_connection(m_conn);
    m_conn = nullptr;
    m_channels.clear();
}

void QAmqpSession::dropUnsent(const std::deque<QAmqpCommand> &commands, const QString &why)
{
    const int lost = qamqpCountPublications(commands) + qamqpCountPublications(m_held);
    m_held.clear();
    if (lost > 0)
        m_link.log(QStringLiteral("QAmqpClient: %1 message(s) not published: %2").arg(lost).arg(why));
}

QString QAmqpSession::serve()
{
    const int fd = amqp_get_sockfd(m_conn);
    QString why;
    std::deque<QAmqpCommand> batch;
    auto lastHeartbeat = std::chrono::steady_clock::now();
    for (;;) {
        m_link.drainWake();
        const bool stop = !m_link.take(&batch);
        while (!batch.empty()) {
            QAmqpCommand command = std::move(batch.front());
            batch.pop_front();
            if (!execute(command, &why)) {
                m_link.take(&batch);   // so that everything lost is told at once
                dropUnsent(batch, QStringLiteral("connection lost (%1)").arg(why));
                return why;
            }
        }
        if (stop) {
            dropUnsent(batch, QStringLiteral("the broker blocked the connection until it closed"));
            return QString();
        }

        const bool mayRead = m_link.mayRead();
        if (!mayRead && !m_readPaused)
            m_link.log(QStringLiteral("QAmqpClient: deliveries pile up untaken; reading paused until they are taken"));
        m_readPaused = !mayRead;
        if (mayRead) {
            m_link.beginSend();   // a read may send a heartbeat
            Read read = Read::Got;
            for (int i = 0; i < FramesPerRound && read == Read::Got; ++i)
                read = readOne(&why);
            m_link.endSend();
            if (read == Read::ConnectionLost) {
                m_link.take(&batch);
                dropUnsent(batch, QStringLiteral("connection lost (%1)").arg(why));
                return why;
            }
            if (amqp_frames_enqueued(m_conn) || amqp_data_in_buffer(m_conn))
                continue;
        } else if (std::chrono::steady_clock::now() - lastHeartbeat > std::chrono::seconds(HeartbeatSeconds / 2)) {
            // Not reading means librabbitmq sends no heartbeat for us.
            amqp_frame_t heartbeat;
            std::memset(&heartbeat, 0, sizeof heartbeat);
            heartbeat.frame_type = AMQP_FRAME_HEARTBEAT;
            m_link.beginSend();
            const int status = amqp_send_frame(m_conn, &heartbeat);
            m_link.endSend();
            if (status != AMQP_STATUS_OK) {
                why = sendFailure(status);
                m_link.take(&batch);
                dropUnsent(batch, QStringLiteral("connection lost (%1)").arg(why));
                return why;
            }
            lastHeartbeat = std::chrono::steady_clock::now();
        }
        if (m_link.hasCommands())
            continue;
        qamqpWaitFor(m_link, mayRead ? fd : -1, POLLIN, IdlePollMs);
    }
}

QString QAmqpSession::sendFailure(int status) const
{
    if (m_link.wasCut())
        return QStringLiteral("the broker stopped reading: a send did not finish in time");
    return QString::fromUtf8(amqp_error_string2(status));
}

void QAmqpSession::channelClosedByBroker(int channel, const amqp_channel_close_t *close)
{
    amqp_channel_close_ok_t ok;
    std::memset(&ok, 0, sizeof ok);
    amqp_send_method(m_conn, amqp_channel_t(channel), AMQP_CHANNEL_CLOSE_OK_METHOD, &ok);
    const auto it = m_channels.find(channel);
    if (it == m_channels.end())
        return;
    const quint64 id = it->second;
    m_channels.erase(it);
    post(QAmqpEvent::ChannelClosed, id, closeText(close));
}

QAmqpSession::Rpc QAmqpSession::checkRpc(int channel, QString *why)
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

bool QAmqpSession::publish(const QAmqpOp::Publish &p, amqp_channel_t channel, QString *why)
{
    QAmqpEncoder encoder;
    amqp_basic_properties_t properties = encoder.properties(p.properties);
    // librabbitmq finds out only after the method frame went out, which
    // leaves the connection broken: refuse the one message instead.
    const int header = qamqpEncodeProperties(&properties, &m_headerBuffer);
    if (header < 0 || header + ContentHeaderOverhead > amqp_get_frame_max(m_conn)) {
        m_link.log(QStringLiteral("QAmqpClient: message to \"%1\" not published: its properties do not fit in a frame")
                       .arg(QString::fromUtf8(p.exchange)));
        return true;
    }
    m_link.beginSend();
    const int status = amqp_basic_publish(m_conn, channel, qamqpBytes(p.exchange), qamqpBytes(p.routingKey),
                                          p.mandatory, false, &properties, qamqpBytes(p.body));
    m_link.endSend();
    if (status == AMQP_STATUS_OK)
        return true;
    *why = QStringLiteral("publish failed: %1").arg(sendFailure(status));
    return false;
}

// False when the connection is lost.
bool QAmqpSession::execute(QAmqpCommand &command, QString *why)
{
    const QAmqpOp::Publish *publication = command.publication();
    if (command.epoch != m_epoch) {
        if (publication)
            m_link.log(QStringLiteral("QAmqpClient: message to \"%1\" not published: its connection was lost")
                           .arg(QString::fromUtf8(publication->exchange)));
        return true;
    }
    // A blocked connection is not read by the broker: a request would only
    // time out, so everything waits for the block to lift.
    if (m_blocked) {
        m_held.push_back(std::move(command));
        return true;
    }
    const int ch = command.channel;
    const amqp_channel_t channel = amqp_channel_t(ch);
    if (std::holds_alternative<QAmqpOp::OpenChannel>(command.op)) {
        m_channels[ch] = command.channelId;
        amqp_channel_open(m_conn, channel);
        const Rpc rpc = checkRpc(ch, why);
        if (rpc == Rpc::Ok)
            post(QAmqpEvent::ChannelOpened, command.channelId);
        return rpc != Rpc::ConnectionLost;
    }
    const auto open = m_channels.find(ch);
    if (open == m_channels.end() || open->second != command.channelId) {
        if (publication)
            m_link.log(QStringLiteral("QAmqpClient: message to \"%1\" not published: channel %2 is closed")
                           .arg(QString::fromUtf8(publication->exchange)).arg(ch));
        return true;
    }
    if (publication)
        return publish(*publication, channel, why);

    QAmqpEncoder encoder;
    Rpc rpc = Rpc::Ok;
    if (std::holds_alternative<QAmqpOp::CloseChannel>(command.op)) {
        m_channels.erase(open);
        amqp_channel_close(m_conn, channel, AMQP_REPLY_SUCCESS);
        rpc = checkRpc(ch, why);
    } else if (const auto *d = std::get_if<QAmqpOp::DeclareExchange>(&command.op)) {
        amqp_exchange_declare(m_conn, channel, qamqpBytes(d->name), qamqpBytes(d->type), d->passive, d->durable,
                              d->autoDelete, d->internal, encoder.table(d->arguments));
        rpc = checkRpc(ch, why);
        if (rpc == Rpc::Ok)
            post(QAmqpEvent::ExchangeDeclared, command.channelId);
    } else if (const auto *q = std::get_if<QAmqpOp::DeclareQueue>(&command.op)) {
        const amqp_queue_declare_ok_t *ok = amqp_queue_declare(m_conn, channel, qamqpBytes(q->name), q->passive,
                                                               q->durable, q->exclusive, q->autoDelete,
                                                               encoder.table(q->arguments));
        rpc = checkRpc(ch, why);
        if (rpc == Rpc::Ok && ok)
            post(QAmqpEvent::QueueDeclared, command.channelId, qamqpText(ok->queue));
    } else if (const auto *b = std::get_if<QAmqpOp::Bind>(&command.op)) {
        amqp_queue_bind(m_conn, channel, qamqpBytes(b->queue), qamqpBytes(b->exchange), qamqpBytes(b->key),
                        amqp_empty_table);
        rpc = checkRpc(ch, why);
        if (rpc == Rpc::Ok)
            post(QAmqpEvent::QueueBound, command.channelId);
    } else if (const auto *c = std::get_if<QAmqpOp::Consume>(&command.op)) {
        const amqp_basic_consume_ok_t *ok = amqp_basic_consume(m_conn, channel, qamqpBytes(c->queue), amqp_empty_bytes,
                                                               c->noLocal, c->noAck, c->exclusive, amqp_empty_table);
        rpc = checkRpc(ch, why);
        if (rpc == Rpc::Ok && ok)
            post(QAmqpEvent::Consuming, command.channelId, qamqpText(ok->consumer_tag));
    }
    return rpc != Rpc::ConnectionLost;
}

QAmqpSession::Read QAmqpSession::readOne(QString *why)
{
    amqp_maybe_release_buffers(m_conn);
    amqp_envelope_t envelope;
    std::memset(&envelope, 0, sizeof envelope);
    timeval now = seconds(0);
    const amqp_rpc_reply_t reply = amqp_consume_message(m_conn, &envelope, &now, 0);
    if (reply.reply_type == AMQP_RESPONSE_NORMAL) {
        QAmqpEvent event;
        event.kind = QAmqpEvent::Delivery;
        event.epoch = m_epoch;
        const auto channel = m_channels.find(envelope.channel);
        event.channelId = channel == m_channels.end() ? 0 : channel->second;
        QAmqpMessage &m = event.message;
        m.m_valid = true;
        m.m_payload = QByteArray(static_cast<const char *>(envelope.message.body.bytes), int(envelope.message.body.len));
        m.m_properties = qamqpDecodeProperties(envelope.message.properties);
        m.m_exchangeName = qamqpText(envelope.exchange);
        m.m_routingKey = qamqpText(envelope.routing_key);
        m.m_deliveryTag = envelope.delivery_tag;
        m.m_redelivered = envelope.redelivered != 0;
        amqp_destroy_envelope(&envelope);
        m_link.post(std::move(event));
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
            if (frame.frame_type == AMQP_FRAME_METHOD && !handleMethod(frame.channel, frame.payload.method, why))
                return Read::ConnectionLost;
            return Read::Got;
        }
    }
    // A close that came in the middle of a message: librabbitmq has already
    // released the envelope, but the close still needs its answer.
    if (reply.reply_type == AMQP_RESPONSE_SERVER_EXCEPTION) {
        const int channel = reply.reply.id == AMQP_CHANNEL_CLOSE_METHOD ? int(envelope.channel) : 0;
        return handleMethod(channel, reply.reply, why) ? Read::Got : Read::ConnectionLost;
    }
    *why = describeReply(reply);
    return Read::ConnectionLost;
}

// A method that is no reply to a call of ours. False when the connection ends.
bool QAmqpSession::handleMethod(int ch, const amqp_method_t &method, QString *why)
{
    switch (method.id) {
    case AMQP_CHANNEL_CLOSE_METHOD:
        channelClosedByBroker(ch, static_cast<const amqp_channel_close_t *>(method.decoded));
        return true;
    case AMQP_CONNECTION_CLOSE_METHOD: {
        *why = QStringLiteral("closed by the broker: %1")
                   .arg(closeText(static_cast<const amqp_connection_close_t *>(method.decoded)));
        amqp_connection_close_ok_t ok;
        std::memset(&ok, 0, sizeof ok);
        amqp_send_method(m_conn, 0, AMQP_CONNECTION_CLOSE_OK_METHOD, &ok);
        return false;
    }
    case AMQP_BASIC_RETURN_METHOD: {
        const auto *ret = static_cast<const amqp_basic_return_t *>(method.decoded);
        const QString text = QStringLiteral("QAmqpClient: message to \"%1\" with key \"%2\" returned: %3")
                                 .arg(qamqpText(ret->exchange), qamqpText(ret->routing_key), closeText(ret));
        amqp_message_t message;
        const amqp_rpc_reply_t reply = amqp_read_message(m_conn, amqp_channel_t(ch), &message, 0);
        if (reply.reply_type != AMQP_RESPONSE_NORMAL) {
            *why = describeReply(reply);
            return false;
        }
        amqp_destroy_message(&message);
        m_link.log(text);
        return true;
    }
    case AMQP_BASIC_CANCEL_METHOD: {
        const auto channel = m_channels.find(ch);
        if (channel != m_channels.end())
            post(QAmqpEvent::ConsumerCancelled, channel->second,
                 qamqpText(static_cast<const amqp_basic_cancel_t *>(method.decoded)->consumer_tag));
        return true;
    }
    case AMQP_CONNECTION_BLOCKED_METHOD:
        m_blocked = true;
        m_link.log(QStringLiteral("QAmqpClient: the broker blocks publishing (%1); requests wait")
                       .arg(qamqpText(static_cast<const amqp_connection_blocked_t *>(method.decoded)->reason)));
        return true;
    case AMQP_CONNECTION_UNBLOCKED_METHOD: {
        m_blocked = false;
        m_link.log(QStringLiteral("QAmqpClient: the broker accepts publishing again"));
        std::deque<QAmqpCommand> held;
        held.swap(m_held);
        while (!held.empty()) {
            QAmqpCommand command = std::move(held.front());
            held.pop_front();
            if (!execute(command, why)) {
                dropUnsent(held, QStringLiteral("connection lost (%1)").arg(*why));
                return false;
            }
        }
        return true;
    }
    default:
        return true;
    }
}
