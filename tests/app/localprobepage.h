#pragma once

#include <QObject>
#include <QTcpServer>
#include <QUrl>

// A tiny local web page standing in for the Internet in the console's probe.
class LocalProbePage : public QObject
{
    Q_OBJECT

public:
    enum Mode { Answer, EmptyBody, Silent };

    explicit LocalProbePage(QObject *parent = nullptr)
        : QObject(parent)
    {
        connect(&server, &QTcpServer::newConnection, this, &LocalProbePage::accept);
    }

    bool listen() { return server.listen(QHostAddress::LocalHost); }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/success.txt").arg(server.serverPort())); }

    void setMode(Mode mode) { this->mode = mode; }
    void setDelay(int ms) { delayMs = ms; }     // answers that long after each request
    int requests() const { return requestCount; }

signals:
    void requested();

private:
    void accept();

    QTcpServer server;
    Mode mode = Answer;
    int delayMs = 0;
    int requestCount = 0;
};
