#pragma once

#include <QSqlDatabase>
#include <QString>

// TLS towards the service's servers. A store turns it on by installing the
// certificate authority of those servers as tls/ca.pem in the console's
// working directory; without the file every link stays as it always was.

// The absolute path of tls/ca.pem when the working directory holds it, else empty.
QString installedCaFile();

// Why an open connection must not be used although TLS was asked for: not
// encrypted, a certificate that does not verify, or one that does not name
// host. Empty when the link is sound.
QString tlsRefusal(const QSqlDatabase &db, const QString &host);
