#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// Asks a public web page whether the Internet answers: a GET that returns a
// non-empty body within the time limit. Never waits: start() returns at once
// and the answer comes as finished().
class InternetProbe : public QObject
{
    Q_OBJECT

public:
    static constexpr int timeLimitMs = 3000;

    explicit InternetProbe(QObject *parent = nullptr);
    ~InternetProbe() override;

    // The compiled-in page, or TROVANTA_PROBE_URL when set.
    static QUrl defaultUrl();

    // False, and nothing started, while an earlier check is still pending.
    bool start();
    bool isPending() const { return !reply.isNull(); }
    QUrl probeUrl() const { return url; }
    void setUrl(const QUrl &newUrl) { url = newUrl; }

signals:
    void finished(bool answered);

private:
    void replyFinished();

    QUrl url;
    QNetworkAccessManager *manager = nullptr;
    QPointer<QNetworkReply> reply;
    QTimer limit;
};
