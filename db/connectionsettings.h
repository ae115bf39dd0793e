#pragma once

#include <QString>
#include <QStringList>

// The database and printer settings read from config.conf, where every
// connection and print job reads them. host is also the broker host.
struct ConnectionSettings
{
    QString dbName;
    QString dbPassword;
    QString dbUser;
    QString dbPort;            // decimal digits as text, as read from config.conf
    QString host;
    QString caFile;            // the service's certificate authority: TLS on every link; empty: none
    QStringList printerList;
};

extern ConnectionSettings connectionSettings;
