#include "localprobepage.h"

#include <QTcpSocket>
#include <QTimer>

LocalProbePage::LocalProbePage(QObject *parent)
    : QObject(parent)
{
    connect(&server, &QTcpServer::newConnection, this, &LocalProbePage::accept);
}

bool LocalProbePage::listen()
{
    if (!server.listen(QHostAddress::LocalHost, port))
        return false;
    port = server.serverPort();
    return true;
}

void LocalProbePage::stopListening()
{
    server.close();
}

bool LocalProbePage::resume()
{
    return listen();
}

QUrl LocalProbePage::url() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/success.txt").arg(port));
}

void LocalProbePage::accept()
{
    while (QTcpSocket *socket = server.nextPendingConnection()) {
        ++open;
        mostConcurrent = qMax(mostConcurrent, open);
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            --open;
            socket->deleteLater();
        });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            if (!socket->readAll().contains("\r\n\r\n"))
                return;
            ++requestCount;
            emit requested();
            if (mode == Silent)
                return;
            const QByteArray body = mode == Answer ? QByteArray("success\n") : QByteArray();
            QTimer::singleShot(delayMs, socket, [socket, body] {
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\nContent-Length: "
                              + QByteArray::number(body.size()) + "\r\n\r\n" + body);
                socket->disconnectFromHost();
            });
        });
    }
}
