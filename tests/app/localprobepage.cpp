#include "localprobepage.h"

#include <QTcpSocket>
#include <QTimer>

void LocalProbePage::accept()
{
    while (QTcpSocket *socket = server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            if (!socket->readAll().contains("\r\n\r\n"))
                return;
            ++requestCount;
            emit requested();
            if (mode == Silent)
                return;
            const QByteArray body = mode == Answer ? QByteArray("success\n") : QByteArray();
            QTimer::singleShot(delayMs, socket, [socket, body] {
                socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: "
                              + QByteArray::number(body.size()) + "\r\n\r\n" + body);
                socket->disconnectFromHost();
            });
        });
    }
}
