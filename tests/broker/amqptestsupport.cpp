#include "amqptestsupport.h"

#include "testenv.h"

void configureClient(QAmqpClient *client, int port, const QString &password)
{
    client->setHost(QStringLiteral("127.0.0.1"));
    client->setPort(quint16(port < 0 ? TestEnv::amqpPort() : port));
    client->setVirtualHost(TestEnv::amqpVirtualHost());
    client->setUsername(TestEnv::amqpUser());
    client->setPassword(password.isNull() ? TestEnv::amqpPassword() : password);
    client->setAutoReconnect(true, 0);
}

ChainReceiver::ChainReceiver(int port, bool consume)
    : client(new QAmqpClient)
{
    configureClient(client, port);
    QAmqpClient *own = client;   // still right once a test has taken the client over
    QObject::connect(client, &QAmqpClient::connected, client, [this, own, consume] {
        exchange = nullptr;
        readyQueue = nullptr;
        QAmqpExchange *declaring = own->createExchange(QStringLiteral("logs"));
        QObject::connect(declaring, &QAmqpExchange::declared, own, [this, own, consume, declaring] {
            exchange = declaring;
            if (!consume)
                return;
            QAmqpQueue *queue = own->createQueue();
            QObject::connect(queue, &QAmqpQueue::declared, [queue] { queue->bind(QStringLiteral("logs"), queue->name()); });
            QObject::connect(queue, &QAmqpQueue::bound, [queue] { queue->consume(); });
            QObject::connect(queue, &QAmqpQueue::consuming, [this, queue] { readyQueue = queue; });
            QObject::connect(queue, &QAmqpQueue::messageReceived, [this, queue] {
                messages.append(queue->dequeue());
                payloads.append(messages.last().payload());
            });
            queue->declare(QAmqpQueue::Exclusive);
        });
        declaring->declare(QAmqpExchange::FanOut);
    });
    QObject::connect(client, &QAmqpClient::disconnected, client, [this] { ++disconnectedCount; readyQueue = nullptr; });
    client->connectToHost();
}
