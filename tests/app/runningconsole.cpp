#include "runningconsole.h"

bool LocalProbePage::listen()
{
    connect(&server, &QTcpServer::newConnection, this, [this] {
        QTcpSocket *socket = server.nextPendingConnection();
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
    });
    return server.listen(QHostAddress::LocalHost);
}

ConsoleDir::ConsoleDir()
{
    for (const QString folder : {"sound", "images"}) {
        const QDir source(QStringLiteral(TRV_RESOURCES_DIR "/") + folder);
        QDir(dir.path()).mkpath(folder);
        for (const QString &name : source.entryList(QDir::Files))
            QFile::copy(source.filePath(name), dir.filePath(folder + QLatin1Char('/') + name));
    }
    QDir::setCurrent(dir.path());
}

ConfigValues ConsoleDir::serverConfig(const QString &login, const QString &password)
{
    return {login, password, TestEnv::dbHost(), TestEnv::dbName(), QString::number(TestEnv::dbPort()), TestEnv::dbUser(),
            TestEnv::dbPassword(), TestEnv::amqpUser(), TestEnv::amqpPassword(), TestEnv::amqpVirtualHost(),
            QString::number(TestEnv::amqpPort()), QStringLiteral(":")};
}

