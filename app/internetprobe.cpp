#include "internetprobe.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {
// A stable page made for connectivity checks; it answers with a short text body.
const char compiledProbeUrl[] = "http://detectportal.firefox.com/success.txt";
}

InternetProbe::InternetProbe(QObject *parent)
    : QObject(parent)
    , url(defaultUrl())
{
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, this, [this] {
        if (reply)
            reply->abort();
    });
}

InternetProbe::~InternetProbe()
{
    // No finished() from a probe that is going away.
    if (reply)
        reply->disconnect(this);
    delete manager;
}

QUrl InternetProbe::defaultUrl()
{
    const QByteArray overridden = qgetenv("TROVANTA_PROBE_URL");
    return QUrl(QString::fromUtf8(overridden.isEmpty() ? QByteArray(compiledProbeUrl) : overridden));
}

bool InternetProbe::start()
{
    if (isPending())
        return false;
    // A manager per check, as a fresh one also notices a changed network.
    delete manager;
    manager = new QNetworkAccessManager;
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(timeLimitMs);
    reply = manager->get(request);
    connect(reply, &QNetworkReply::finished, this, &InternetProbe::replyFinished);
    limit.start(timeLimitMs);
    return true;
}

void InternetProbe::replyFinished()
{
    limit.stop();
    QNetworkReply *done = reply;
    reply.clear();
    const bool answered = done->error() == QNetworkReply::NoError && done->bytesAvailable() != 0;
    done->deleteLater();
    emit finished(answered);
}
