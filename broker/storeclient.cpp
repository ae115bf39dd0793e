#include "storeclient.h"

#include "qamqpclient.h"

void configureStoreClient(QAmqpClient *client, const StoreBrokerAccount &account)
{
    client->setHost(account.host);
    client->setVirtualHost(account.virtualHost);
    client->setPort(quint16(account.port.toInt()));
    client->setAutoReconnect(true, 0);
    client->setUsername(account.user);
    client->setPassword(account.password);
    client->setCaCertificateFile(account.caFile);
}
