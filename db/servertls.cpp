#include "servertls.h"

#include <QFileInfo>
#include <QSqlDriver>
#include <QVariant>

#include <mysql.h>
// The connection's TLS object, as the client library's plugin headers describe it.
#define HAVE_TLS
#include <ma_pvio.h>

#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <memory>

QString installedCaFile()
{
    const QFileInfo file(QStringLiteral("tls/ca.pem"));
    return file.isFile() ? file.absoluteFilePath() : QString();
}

QString tlsRefusal(const QSqlDatabase &db, const QString &host)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (qstrcmp(handle.typeName(), "MYSQL*") != 0)
        return QStringLiteral("not a MariaDB connection");
    MYSQL *mysql = *static_cast<MYSQL *const *>(handle.data());
    // The client library verified all this in the handshake, before the login
    // (verifiedhandshake.cpp); looked at once more before the first statement.
    const MARIADB_PVIO *pvio = mysql ? mysql->net.pvio : nullptr;
    if (!mysql_get_ssl_cipher(mysql) || !pvio || !pvio->ctls || !pvio->ctls->ssl)
        return QStringLiteral("the server at %1 does not speak TLS").arg(host);
    SSL *ssl = static_cast<SSL *>(pvio->ctls->ssl);
    const long verified = SSL_get_verify_result(ssl);
    if (verified != X509_V_OK)
        return QStringLiteral("the certificate of %1 does not verify: %2")
            .arg(host, QString::fromUtf8(X509_verify_cert_error_string(verified)));
    const std::unique_ptr<X509, decltype(&X509_free)> certificate(SSL_get1_peer_certificate(ssl), &X509_free);
    const QByteArray name = host.toUtf8();
    int named = certificate ? X509_check_ip_asc(certificate.get(), name.constData(), 0) : 0;
    if (named == -2)   // not an address: a host name
        named = X509_check_host(certificate.get(), name.constData(), size_t(name.size()), 0, nullptr);
    return named == 1 ? QString() : QStringLiteral("the certificate of the server does not name %1").arg(host);
}
