#pragma once

#include <QMutex>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QThread>

#include <functional>
#include <memory>

// A man in the middle of the link to a MariaDB that speaks TLS, as an attacker
// on the line would be: it passes the server's greeting on, or with its TLS
// flag cleared (stripTls), and when the client asks for TLS it answers with a
// certificate of its own (PEM) while it speaks TLS to the server. A login it
// is given goes on, and the session it opens is kept after the client's
// goodbye. Runs on a thread of its own: the console's connections block theirs.
class MariadbRelay : public QThread
{
public:
    struct Seen
    {
        int connections = 0, logins = 0;   // logins: handshake responses (user name, answer to the challenge)
        int sessions = 0;                  // server sessions a relayed login opened
        QByteArray bytes;   // every byte clients sent, in clear where the relay could decrypt it
    };

    MariadbRelay(quint16 serverPort, const QByteArray &certificate, const QByteArray &key, bool stripTls)
        : serverPort(serverPort), certificate(certificate), key(key, QSsl::Rsa), stripTls(stripTls)
    {
        listener.take = [this](qintptr descriptor) { relay(descriptor); };
        listener.listen(QHostAddress::LocalHost);
        listener.moveToThread(this);
        start();
    }
    ~MariadbRelay() override { quit(); wait(); }

    quint16 port() const { return listener.serverPort(); }
    Seen seen() const
    {
        QMutexLocker lock(&mutex);
        return record;
    }

protected:
    void run() override
    {
        exec();
        // Closed on its thread, where the sockets live.
        qDeleteAll(listener.findChildren<QSslSocket *>(QString(), Qt::FindDirectChildrenOnly));
        listener.close();
    }

private:
    struct Listener : QTcpServer
    {
        std::function<void(qintptr)> take;
        void incomingConnection(qintptr descriptor) override { take(descriptor); }
    };
    struct Link { bool greeted = false, asked = false, loggedIn = false, session = false; };

    // One whole packet (length, sequence number, payload) read from the
    // socket, empty while incomplete; what follows stays in the socket.
    static QByteArray takePacket(QSslSocket *socket)
    {
        const QByteArray header = socket->peek(4);
        const qint64 length = header.size() < 4 ? 1 << 30 : 4 + (quint8(header[0]) | quint8(header[1]) << 8 | quint8(header[2]) << 16);
        return socket->bytesAvailable() >= length ? socket->read(length) : QByteArray();
    }

    void note(const std::function<void(Seen &)> &change) { const QMutexLocker lock(&mutex); change(record); }

    void relay(qintptr descriptor)
    {
        auto *client = new QSslSocket(&listener);
        auto *server = new QSslSocket(&listener);
        auto link = std::make_shared<Link>();
        // Unbuffered: the handshake that follows a TLS request must stay in the socket.
        client->setSocketDescriptor(descriptor, QAbstractSocket::ConnectedState, QIODevice::ReadWrite | QIODevice::Unbuffered);
        client->setLocalCertificate(QSslCertificate(certificate));
        client->setPrivateKey(key);
        server->setPeerVerifyMode(QSslSocket::VerifyNone);
        note([](Seen &seen) { ++seen.connections; });

        connect(server, &QSslSocket::readyRead, server, [=] {
            if (!link->greeted) {
                QByteArray greeting = takePacket(server);
                if (greeting.isEmpty())
                    return;
                // After the server's version, thread id, 8 bytes of challenge and a filler: the flags, CLIENT_SSL 0x0800.
                const int flags = greeting.indexOf('\0', 5) + 1 + 4 + 8 + 1;
                if (stripTls && flags + 2 <= greeting.size())
                    greeting[flags + 1] = char(greeting[flags + 1] & ~0x08);
                link->greeted = true;
                client->write(greeting);
            }
            const QByteArray answer = server->readAll();
            if (link->loggedIn && !link->session && answer.size() > 4 && answer[4] == '\0')   // OK: logged in
                note([&](Seen &seen) { link->session = true, ++seen.sessions; });
            client->write(answer);
        });
        connect(client, &QSslSocket::readyRead, client, [=] {
            const QByteArray bytes = link->asked ? client->readAll() : takePacket(client);
            if (bytes.isEmpty())
                return;
            const bool tlsRequest = !link->asked && bytes.size() == 4 + 32 && (bytes[5] & 0x08);
            // A login: the first packet but a TLS request, in clear or inside TLS.
            const bool login = !link->loggedIn && !tlsRequest;
            note([&](Seen &seen) { seen.bytes += bytes, seen.logins += login; });
            link->loggedIn = link->loggedIn || login;
            if (tlsRequest) {
                server->write(bytes);
                server->startClientEncryption();
                client->startServerEncryption();
            } else if (bytes != QByteArray("\x01\0\0\0\x01", 5)) {   // the goodbye stays here: so does the session
                server->write(bytes);   // held back by the socket until its handshake is done
            }
            link->asked = true;
        });
        server->connectToHost(QHostAddress::LocalHost, serverPort);
    }

    const quint16 serverPort;
    const QByteArray certificate;
    const QSslKey key;
    const bool stripTls;
    Listener listener;   // on the thread
    mutable QMutex mutex;
    Seen record;
};
