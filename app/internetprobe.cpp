#include "internetprobe.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <memory>

namespace {
// A stable page made for connectivity checks; it answers with a short text body.
const char compiledProbeUrl[] = "http://detectportal.firefox.com/success.txt";
}

InternetProbe::InternetProbe(QObject *parent)
    : QObject(parent)
    , url(defaultUrl())
{
}

QUrl InternetProbe::defaultUrl()
{
    const QByteArray overridden = qgetenv("TROVANTA_PROBE_URL");
    return QUrl(QString::fromUtf8(overridden.isEmpty() ? QByteArray(compiledProbeUrl) : overridden));
}

bool InternetProbe::check()
{
    // A manager per check, as a fresh one also notices a changed network.
    auto manager = std::make_unique<QNetworkAccessManager>();
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(timeLimitMs);
    QNetworkReply *reply = manager->get(request);

    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    connect(&limit, &QTimer::timeout, reply, &QNetworkReply::abort);
    limit.start(timeLimitMs);
    if (!reply->isFinished())
        loop.exec();
    return reply->error() == QNetworkReply::NoError && reply->bytesAvailable() != 0;
}
