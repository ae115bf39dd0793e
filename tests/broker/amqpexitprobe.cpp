// Ends its event loop while a client it never deletes is connected,
// connecting or retrying: the process must still exit, and cleanly.
//   amqpexitprobe <port> publish|<anything else: stay idle>
#include "qamqpclient.h"
#include "qamqpexchange.h"
#include "testenv.h"

#include <QCoreApplication>
#include <QTimer>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return 2;

    auto *client = new QAmqpClient(nullptr);
    client->setHost(QStringLiteral("127.0.0.1"));
    client->setPort(args[1].toUShort());
    client->setVirtualHost(TestEnv::amqpVirtualHost());
    client->setUsername(TestEnv::amqpUser());
    client->setPassword(TestEnv::amqpPassword());
    client->setAutoReconnect(true, 0);
    if (args[2] == QLatin1String("publish")) {
        QObject::connect(client, &QAmqpClient::connected, client, [client] {
            QAmqpExchange *exchange = client->createExchange(QStringLiteral("logs"));
            QObject::connect(exchange, &QAmqpExchange::declared, exchange, [exchange] {
                exchange->publish(QStringLiteral("exit-probe"), QString());
                QCoreApplication::quit();
            });
            exchange->declare(QAmqpExchange::FanOut);
        });
        QTimer::singleShot(10000, &app, [] { QCoreApplication::exit(3); });
    } else {
        QTimer::singleShot(500, &app, &QCoreApplication::quit);
    }
    client->connectToHost(QString());
    return app.exec();
}
