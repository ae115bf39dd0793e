#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QThread>
#include <QtEndian>

// A certificate and key (PEM) for a relay naming subjectAltName (such as
// "IP:127.0.0.1"), made by openssl in dir: issued by the authority whose
// certificate authorityPem has its key beside it as ca.key, or by an
// authority of its own when authorityPem is empty. False when openssl failed.
inline bool makeRelayCertificate(const QString &dir, QString authorityPem, const QString &subjectAltName,
                                 QByteArray *certificate, QByteArray *key)
{
    const auto openssl = [&dir](const QStringList &arguments) {
        QProcess process;
        process.setWorkingDirectory(dir);
        process.start(QStringLiteral("openssl"), arguments);
        return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    };
    if (authorityPem.isEmpty()) {
        authorityPem = QDir(dir).filePath(QStringLiteral("ca.pem"));
        if (!openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
                      "-subj", "/CN=Unknown Authority"}))
            return false;
    }
    QFile extension(QDir(dir).filePath(QStringLiteral("relay.ext")));
    if (!extension.open(QIODevice::WriteOnly) || extension.write("subjectAltName=" + subjectAltName.toLatin1() + '\n') <= 0)
        return false;
    extension.close();
    const QString authorityKey = QFileInfo(authorityPem).dir().filePath(QStringLiteral("ca.key"));
    QFile pem(QDir(dir).filePath(QStringLiteral("relay.pem"))), pemKey(QDir(dir).filePath(QStringLiteral("relay.key")));
    if (!openssl({"req", "-newkey", "rsa:2048", "-nodes", "-keyout", "relay.key", "-out", "relay.csr", "-subj", "/CN=relay"})
        || !openssl({"x509", "-req", "-in", "relay.csr", "-CA", authorityPem, "-CAkey", authorityKey, "-CAcreateserial",
                     "-out", "relay.pem", "-days", "2", "-extfile", "relay.ext"})
        || !pem.open(QIODevice::ReadOnly) || !pemKey.open(QIODevice::ReadOnly))
        return false;
    *certificate = pem.readAll();
    *key = pemKey.readAll();
    return true;
}

// The relay itself; MariadbRelay runs it.
class MariadbRelayServer : public QTcpServer
{
public:
    MariadbRelayServer(quint16 upstreamPort, const QByteArray &certificate, const QByteArray &key, bool stripTls)
        : upstreamPort(upstreamPort)
        , certificate(certificate)
        , key(key, QSsl::Rsa)
        , stripTls(stripTls)
    {
    }
    ~MariadbRelayServer() override { qDeleteAll(links); }

    int connections() const { return links.size(); }
    QByteArray received() const { return fromClients; }
    int logins() const { return loginPackets; }
    int sessions() const
    {
        int held = 0;
        for (const Link *link : links)
            held += link->authenticated && link->server->state() == QAbstractSocket::ConnectedState;
        return held;
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *link = new Link;
        links.append(link);
        // Unbuffered: what follows a TLS request must stay in the socket for the handshake.
        link->client->setSocketDescriptor(descriptor, QAbstractSocket::ConnectedState, QIODevice::ReadWrite | QIODevice::Unbuffered);
        link->client->setLocalCertificate(certificate);
        link->client->setPrivateKey(key);
        // The relay does not care whom it talks to upstream.
        link->server->setPeerVerifyMode(QSslSocket::VerifyNone);
        QObject::connect(link->server, &QSslSocket::readyRead, this, [this, link] { fromServer(link); });
        QObject::connect(link->client, &QSslSocket::readyRead, this, [this, link] { fromClient(link); });
        QObject::connect(link->server, &QSslSocket::encrypted, this, [this, link] { tlsReady(link); });
        QObject::connect(link->client, &QSslSocket::encrypted, this, [this, link] { tlsReady(link); });
        link->server->connectToHost(QHostAddress::LocalHost, upstreamPort);
    }

private:
    struct Link
    {
        QSslSocket *client = new QSslSocket;
        QSslSocket *server = new QSslSocket;
        bool greeted = false;     // the greeting went to the client
        bool asked = false;       // the client's first packet came: a TLS request or a login
        bool loggedIn = false;    // a login went to the server
        bool authenticated = false;
        QByteArray pending;       // the client's, waiting for TLS towards the server
        ~Link()
        {
            delete client;
            delete server;
        }
    };

    static constexpr quint32 clientSsl = 0x0800;   // the capability flag that offers or asks for TLS

    // One whole packet (4-byte header: length, sequence) of the socket's
    // unread bytes, read from it; empty while it is incomplete. Reads no
    // further, so the bytes of a TLS handshake that follow stay in the socket.
    static QByteArray takePacket(QSslSocket *socket)
    {
        const QByteArray header = socket->peek(4);
        if (header.size() < 4)
            return {};
        const qint64 length = 4 + (quint8(header[0]) | quint8(header[1]) << 8 | quint8(header[2]) << 16);
        return socket->bytesAvailable() >= length ? socket->read(length) : QByteArray();
    }

    void fromServer(Link *link)
    {
        if (!link->greeted) {
            QByteArray greeting = takePacket(link->server);
            if (greeting.isEmpty())
                return;
            // Protocol version, server version up to its NUL, thread id, 8 bytes of challenge, a filler: then the flags.
            const int flags = greeting.indexOf('\0', 5) + 1 + 4 + 8 + 1;
            if (stripTls && flags + 2 <= greeting.size())
                greeting[flags + 1] = char(greeting[flags + 1] & ~(clientSsl >> 8));
            link->greeted = true;
            link->client->write(greeting);
        }
        const QByteArray answer = link->server->readAll();
        // An OK packet once a login went through: the server's session is open.
        if (link->loggedIn && answer.size() > 4 && answer[4] == '\0')
            link->authenticated = true;
        link->client->write(answer);
    }

    void fromClient(Link *link)
    {
        if (!link->asked) {
            const QByteArray packet = takePacket(link->client);
            if (packet.isEmpty())
                return;
            link->asked = true;
            fromClients += packet;
            const quint32 flags = packet.size() >= 8 ? qFromLittleEndian<quint32>(packet.constData() + 4) : 0;
            if (packet.size() == 4 + 32 && (flags & clientSsl)) {
                // A TLS request, no login in it: both sides go over to TLS.
                link->server->write(packet);
                link->server->startClientEncryption();
                link->client->startServerEncryption();
                return;
            }
            // A login in clear: the relay asks the server for TLS itself and passes the login on inside.
            QByteArray request = packet.left(4 + 32);
            request[0] = 32, request[1] = 0, request[2] = 0;
            qToLittleEndian<quint32>(flags | clientSsl, request.data() + 4);
            link->pending = packet;
            link->pending[3] = 2;
            countLogin(link);
            link->server->write(request);
            link->server->startClientEncryption();
            return;
        }
        const QByteArray bytes = link->client->readAll();
        if (bytes.isEmpty())
            return;
        fromClients += bytes;
        countLogin(link);   // the first packet inside TLS is the login
        // The client's goodbye is not passed on: the session stays the relay's.
        if (bytes.size() == 5 && bytes[4] == '\x01')
            return;
        if (link->server->isEncrypted())
            link->server->write(bytes);
        else
            link->pending += bytes;
    }

    void countLogin(Link *link)
    {
        if (!link->loggedIn)
            ++loginPackets;
        link->loggedIn = true;
    }

    void tlsReady(Link *link)
    {
        if (link->server->isEncrypted()) {
            link->server->write(link->pending);
            link->pending.clear();
        }
        if (link->client->bytesAvailable() > 0)
            fromClient(link);
    }

    const quint16 upstreamPort;
    const QSslCertificate certificate;
    const QSslKey key;
    const bool stripTls;
    QList<Link *> links;
    QByteArray fromClients;
    int loginPackets = 0;
};

// A man in the middle between a client and a MariaDB that speaks TLS, as an
// attacker on the line would be: it passes the server's greeting on (or one
// with the TLS flag cleared) and, when the client asks for TLS, answers the
// handshake with a certificate of its own while it speaks TLS to the server.
// Whatever login it is given it relays, and keeps the server session that
// login opens after the client is gone. It records what it was told. It runs
// on a thread of its own, since the console's connections block theirs.
class MariadbRelay
{
    template <class F> auto onThread(F f) const -> decltype(f())
    {
        decltype(f()) result{};
        QMetaObject::invokeMethod(relay, [&] { result = f(); }, Qt::BlockingQueuedConnection);
        return result;
    }

public:
    // A certificate and key in PEM; stripTls: the greeting offers no TLS.
    MariadbRelay(quint16 upstreamPort, const QByteArray &certificate, const QByteArray &key, bool stripTls)
        : relay(new MariadbRelayServer(upstreamPort, certificate, key, stripTls))
    {
        relay->moveToThread(&thread);
        thread.start();
        onThread([this] { return relay->listen(QHostAddress::LocalHost); });
    }
    ~MariadbRelay()
    {
        relay->deleteLater();   // done on its thread as it finishes
        thread.quit();
        thread.wait();
    }

    quint16 port() const { return onThread([this] { return relay->serverPort(); }); }
    int connections() const { return onThread([this] { return relay->connections(); }); }
    // Every byte a client sent, in clear where the relay could decrypt it.
    QByteArray received() const { return onThread([this] { return relay->received(); }); }
    // Handshake responses (a login: user name, challenge answer) clients sent.
    int logins() const { return onThread([this] { return relay->logins(); }); }
    // Server sessions that took a relayed login and are still held.
    int sessions() const { return onThread([this] { return relay->sessions(); }); }

private:
    QThread thread;
    MariadbRelayServer *relay;
};
