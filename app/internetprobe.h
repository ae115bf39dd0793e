#pragma once

#include <QObject>
#include <QUrl>

// Asks a public web page whether the Internet answers: a GET that returns a
// non-empty body within the time limit. Waits in a local event loop, so the
// window keeps running meanwhile.
class InternetProbe : public QObject
{
    Q_OBJECT

public:
    static constexpr int timeLimitMs = 3000;

    explicit InternetProbe(QObject *parent = nullptr);

    // The compiled-in page, or TROVANTA_PROBE_URL when set.
    static QUrl defaultUrl();

    bool check();
    QUrl probeUrl() const { return url; }
    void setUrl(const QUrl &newUrl) { url = newUrl; }

private:
    QUrl url;
};
