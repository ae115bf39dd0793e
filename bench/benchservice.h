#pragma once

#include "dbfixture.h"
#include "servicepublisher.h"

#include <amqp.h>
#include <amqp_tcp_socket.h>

#include <QString>

#include <unistd.h>

// The service's side of the console's benchmarks.

inline const QString benchPassword = QStringLiteral("bench-pw");

// A publisher that stays connected, so that a measurement starts at the
// publication itself and not at a broker handshake.
class LogsPublisher
{
public:
    explicit LogsPublisher(const BrokerAccount &account)
        : conn(amqp_new_connection())
    {
        amqp_socket_t *socket = amqp_tcp_socket_new(conn);
        timeval timeout{5, 0};
        const QByteArray host = account.host.toUtf8();
        if (!socket || amqp_socket_open_noblock(socket, host.constData(), account.port, &timeout) != AMQP_STATUS_OK) {
            problem = QStringLiteral("cannot reach the broker at %1:%2").arg(account.host).arg(account.port);
            return;
        }
        const QByteArray vhost = account.virtualHost.isEmpty() ? QByteArray("/") : account.virtualHost.toUtf8();
        const QByteArray user = account.user.toUtf8();
        const QByteArray password = account.password.toUtf8();
        if (amqp_login(conn, vhost.constData(), 0, 131072, 0, AMQP_SASL_METHOD_PLAIN, user.constData(),
                       password.constData())
                .reply_type
            != AMQP_RESPONSE_NORMAL) {
            problem = QStringLiteral("the broker refused the login");
            return;
        }
        loggedIn = true;
        amqp_channel_open(conn, 1);
        if (amqp_get_rpc_reply(conn).reply_type != AMQP_RESPONSE_NORMAL) {
            problem = QStringLiteral("the broker refused a channel");
            return;
        }
        channelOpen = true;
    }

    ~LogsPublisher()
    {
        if (channelOpen)
            amqp_channel_close(conn, 1, AMQP_REPLY_SUCCESS);
        if (loggedIn)
            amqp_connection_close(conn, AMQP_REPLY_SUCCESS);
        amqp_destroy_connection(conn);
    }

    LogsPublisher(const LogsPublisher &) = delete;
    LogsPublisher &operator=(const LogsPublisher &) = delete;

    QString error() const { return problem; }

    bool publish(const QByteArray &text)
    {
        amqp_bytes_t body;
        body.len = size_t(text.size());
        body.bytes = const_cast<char *>(text.constData());
        return amqp_basic_publish(conn, 1, amqp_cstring_bytes("logs"), amqp_cstring_bytes(""), 0, 0, nullptr, body)
            == AMQP_STATUS_OK;
    }

private:
    amqp_connection_state_t conn;
    bool loggedIn = false;
    bool channelOpen = false;
    QString problem;
};

// A store with its owner and status row, removed with everything it got.
class BenchStore
{
public:
    BenchStore(DbFixture &db, const char *what)
        : db(db)
        , login(QStringLiteral("bench-%1-%2").arg(QLatin1String(what)).arg(getpid()))
    {
        id = db.addOwnedStore(login, benchPassword);
        if (id && !db.setStatus(id, 1, 30))
            id = 0;
    }

    ~BenchStore()
    {
        if (!id)
            return;
        const QVariant owner = db.scalar(QStringLiteral("select owner_pizzaria from pizzaria where id_pizzaria=:id"),
                                         {{":id", id}});
        db.exec(QStringLiteral("delete from pedido where id_pizzaria=:id"), {{":id", id}});
        db.exec(QStringLiteral("delete from status where id_pizzaria=:id"), {{":id", id}});
        db.exec(QStringLiteral("delete from pizzaria where id_pizzaria=:id"), {{":id", id}});
        db.exec(QStringLiteral("delete from usuarios where id_user=:id"), {{":id", owner}});
    }

    BenchStore(const BenchStore &) = delete;
    BenchStore &operator=(const BenchStore &) = delete;

    DbFixture &db;
    const QString login;
    int id = 0;
};
