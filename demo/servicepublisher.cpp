#include "servicepublisher.h"

#include <amqp.h>
#include <amqp_ssl_socket.h>
#include <amqp_tcp_socket.h>

#include <QFile>

#include <sys/time.h>

namespace {

QString replyError(const amqp_rpc_reply_t &reply, const char *what)
{
    if (reply.reply_type == AMQP_RESPONSE_NORMAL)
        return QString();
    if (reply.reply_type == AMQP_RESPONSE_LIBRARY_EXCEPTION)
        return QStringLiteral("%1: %2").arg(QLatin1String(what), QLatin1String(amqp_error_string2(reply.library_error)));
    return QStringLiteral("%1: refused by the broker").arg(QLatin1String(what));
}

amqp_bytes_t bytesOf(const QByteArray &data)
{
    amqp_bytes_t bytes;
    bytes.len = size_t(data.size());
    bytes.bytes = const_cast<char *>(data.constData());
    return bytes;
}

// The service trusts its own authority; checking names is the consoles' part.
amqp_socket_t *newSocket(amqp_connection_state_t conn, const QString &caFile)
{
    if (caFile.isEmpty())
        return amqp_tcp_socket_new(conn);
    amqp_socket_t *socket = amqp_ssl_socket_new(conn);
    if (!socket || amqp_ssl_socket_set_cacert(socket, QFile::encodeName(caFile).constData()) != AMQP_STATUS_OK)
        return nullptr;
    amqp_ssl_socket_set_verify_peer(socket, 1);
    amqp_ssl_socket_set_verify_hostname(socket, 0);
    return socket;
}

} // namespace

QString publishOnLogs(const BrokerAccount &account, const QList<QByteArray> &messages)
{
    amqp_connection_state_t conn = amqp_new_connection();
    struct Closer {
        amqp_connection_state_t conn;
        bool open = false;
        ~Closer()
        {
            if (open) {
                amqp_channel_close(conn, 1, AMQP_REPLY_SUCCESS);
                amqp_connection_close(conn, AMQP_REPLY_SUCCESS);
            }
            amqp_destroy_connection(conn);
        }
    } closer{conn};

    amqp_socket_t *socket = newSocket(conn, account.caFile);
    if (!socket)
        return QStringLiteral("no socket");
    struct timeval timeout{5, 0};
    const QByteArray host = account.host.toUtf8();
    const int status = amqp_socket_open_noblock(socket, host.constData(), account.port, &timeout);
    if (status != AMQP_STATUS_OK)
        return QStringLiteral("cannot reach the broker at %1:%2: %3")
            .arg(account.host).arg(account.port).arg(QLatin1String(amqp_error_string2(status)));

    const QByteArray vhost = account.virtualHost.isEmpty() ? QByteArray("/") : account.virtualHost.toUtf8();
    const QByteArray user = account.user.toUtf8();
    const QByteArray password = account.password.toUtf8();
    QString error = replyError(amqp_login(conn, vhost.constData(), 0, 131072, 0, AMQP_SASL_METHOD_PLAIN,
                                          user.constData(), password.constData()),
                               "login");
    if (!error.isEmpty())
        return error;
    amqp_channel_open(conn, 1);
    if (!(error = replyError(amqp_get_rpc_reply(conn), "channel")).isEmpty())
        return error;
    closer.open = true;

    amqp_exchange_declare(conn, 1, amqp_cstring_bytes("logs"), amqp_cstring_bytes("fanout"), 0, 0, 0, 0,
                          amqp_empty_table);
    if (!(error = replyError(amqp_get_rpc_reply(conn), "exchange")).isEmpty())
        return error;

    for (const QByteArray &message : messages) {
        const int published = amqp_basic_publish(conn, 1, amqp_cstring_bytes("logs"), amqp_cstring_bytes(""), 0, 0,
                                                 nullptr, bytesOf(message));
        if (published != AMQP_STATUS_OK)
            return QStringLiteral("publish: %1").arg(QLatin1String(amqp_error_string2(published)));
    }
    return QString();
}
