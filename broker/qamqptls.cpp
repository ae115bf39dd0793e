#include "qamqptls.h"

#include <amqp_ssl_socket.h>

#include <QHostAddress>

#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

namespace {

constexpr int OpenTimeoutSeconds = 10;

// Verifies as OpenSSL would and keeps the reason of a refusal, which
// librabbitmq would only report as a failed handshake.
int verifyAndKeepReason(X509_STORE_CTX *store, void *reason)
{
    const int ok = X509_verify_cert(store);
    if (ok <= 0)
        *static_cast<QString *>(reason) = QString::fromUtf8(X509_verify_cert_error_string(X509_STORE_CTX_get_error(store)));
    return ok;
}

} // namespace

int qamqpOpenTls(amqp_connection_state_t conn, const QAmqpSettings &settings, QString *error)
{
    amqp_socket_t *socket = amqp_ssl_socket_new(conn);
    if (!socket) {
        *error = QStringLiteral("TLS: no socket");
        return -1;
    }
    if (amqp_ssl_socket_set_cacert(socket, settings.caFile.constData()) != AMQP_STATUS_OK) {
        *error = QStringLiteral("TLS: cannot read the certificate authority %1").arg(QString::fromLocal8Bit(settings.caFile));
        return -1;
    }
    amqp_ssl_socket_set_ssl_versions(socket, AMQP_TLSv1_2, AMQP_TLSvLATEST);
    amqp_ssl_socket_set_verify_peer(socket, 1);
    // librabbitmq matches the host as a name only; OpenSSL is told below
    // whether it is a name or an address, and checks it with the chain.
    amqp_ssl_socket_set_verify_hostname(socket, 0);
    auto *context = static_cast<SSL_CTX *>(amqp_ssl_socket_get_context(socket));
    X509_VERIFY_PARAM *param = SSL_CTX_get0_param(context);
    const QString host = QString::fromUtf8(settings.host);
    const bool named = QHostAddress(host).isNull() ? X509_VERIFY_PARAM_set1_host(param, settings.host.constData(), 0)
                                                   : X509_VERIFY_PARAM_set1_ip_asc(param, settings.host.constData());
    if (!named) {
        *error = QStringLiteral("TLS: cannot check the name %1").arg(host);
        return -1;
    }
    QString reason;
    SSL_CTX_set_cert_verify_callback(context, verifyAndKeepReason, &reason);
    timeval timeout;
    timeout.tv_sec = OpenTimeoutSeconds;
    timeout.tv_usec = 0;
    const int status = amqp_socket_open_noblock(socket, settings.host.constData(), settings.port, &timeout);
    SSL_CTX_set_cert_verify_callback(context, nullptr, nullptr);   // reason ends with this function
    if (status != AMQP_STATUS_OK) {
        *error = reason.isEmpty() ? QStringLiteral("TLS: %1").arg(QString::fromUtf8(amqp_error_string2(status)))
                                  : QStringLiteral("TLS: the broker's certificate is refused: %1").arg(reason);
        return -1;
    }
    return amqp_socket_get_sockfd(socket);
}
