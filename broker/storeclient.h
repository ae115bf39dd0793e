#pragma once

#include <QString>

class QAmqpClient;

// The store's broker account as config.conf gives it, with the certificate
// authority of the service's servers when the store installed it.
struct StoreBrokerAccount
{
    QString host, virtualHost, port, user, password, caFile;
};

// Every client of the console: automatic reconnection on, port text read as
// decimal, TLS when there is an authority.
void configureStoreClient(QAmqpClient *client, const StoreBrokerAccount &account);
