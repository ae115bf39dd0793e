#pragma once

#include <QObject>
#include <QTcpServer>
#include <QUrl>

class QTcpSocket;

// A tiny local web page standing in for the Internet in the console's probe.
class LocalProbePage : public QObject
{
    Q_OBJECT

public:
    enum Mode { Answer, EmptyBody, Silent };

    explicit LocalProbePage(QObject *parent = nullptr);

    bool listen();              // on a free port of 127.0.0.1
    void stopListening();       // connections are refused from now on
    bool resume();              // same port again
    QUrl url() const;

    void setMode(Mode mode) { this->mode = mode; }
    void setDelay(int ms) { delayMs = ms; }     // answers that long after each request
    int requests() const { return requestCount; }
    int mostAtOnce() const { return mostConcurrent; }

signals:
    void requested();

private:
    void accept();

    QTcpServer server;
    quint16 port = 0;
    Mode mode = Answer;
    int delayMs = 0;
    int requestCount = 0;
    int open = 0;
    int mostConcurrent = 0;
};
