#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Publishes texts on the fanout exchange "logs" the way the online service
// does: a plain blocking librabbitmq connection, independent of the console's
// own broker classes.
struct BrokerAccount
{
    QString host = QStringLiteral("127.0.0.1");
    int port = 5672;
    QString virtualHost = QStringLiteral("/");
    QString user;
    QString password;
    QString caFile;   // TLS with this certificate authority; empty: plain TCP
};

// Returns an empty string on success, otherwise what went wrong.
QString publishOnLogs(const BrokerAccount &account, const QList<QByteArray> &messages);
