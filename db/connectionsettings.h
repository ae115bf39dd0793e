#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// The one process-wide record of the database settings and of the few texts and
// flags that several windows share. host is also the broker host.
struct ConnectionSettings
{
    bool internetOk = false;
    QString userStatusText{QLatin1String("")};
    QString dbName;
    QString dbPassword;
    QString dbUser;
    QString dbPort;            // decimal digits as text, as read from config.conf
    QString host;
    QString caFile;            // the service's certificate authority: TLS on every link; empty: none
    QString serverStatusText{QLatin1String("")};
    QSqlDatabase defaultDb;
    int lastAnnouncedOrder = 0;
    QStringList printerList;
    // False while the database watch finds the server not answering: opening a
    // connection then fails at once instead of holding the window until its limit.
    bool databaseAnswers = true;
};

extern ConnectionSettings connectionSettings;
