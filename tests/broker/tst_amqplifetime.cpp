#include "amqptestsupport.h"
#include "looplag.h"
#include "testenv.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUuid>
#include <QtTest>

// Clients come and go at any moment and leave nothing behind.
class TestAmqpLifetime : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void deletingAtAnyMoment_data();
    void deletingAtAnyMoment();
    void replacingClientsWhileTheBrokerIsAway_data();
    void replacingClientsWhileTheBrokerIsAway();
    void neverDeletedClientDoesNotHoldTheExit_data();
    void neverDeletedClientDoesNotHoldTheExit();

private:
    int m_idleThreads = 0;
};

namespace {

// Accepts and stays silent; closes its side when the client goes.
class SilentListener : public QObject
{
public:
    SilentListener()
    {
        server.listen(QHostAddress::LocalHost, 0);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = server.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    int port() const { return server.serverPort(); }
    QTcpServer server;
};

int refusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const int port = probe.serverPort();
    probe.close();
    return port;
}

} // namespace

void TestAmqpLifetime::initTestCase()
{
    m_idleThreads = threadCount();
}

// Workers of the previous test's clients may still be saying goodbye.
void TestAmqpLifetime::init()
{
    QTRY_COMPARE_WITH_TIMEOUT(threadCount(), m_idleThreads, 5000);
}

void TestAmqpLifetime::deletingAtAnyMoment_data()
{
    QTest::addColumn<QString>("state");
    QTest::newRow("never connected") << "idle";
    QTest::newRow("connecting to a silent listener") << "silent";
    QTest::newRow("waiting to retry a refused port") << "refused";
    QTest::newRow("connected") << "connected";
    QTest::newRow("publish just made") << "publishing";
    QTest::newRow("publish waiting for the connection") << "early";
    QTest::newRow("consuming a flood") << "consuming";
    QTest::newRow("stuck sending to a peer that stopped reading") << "stalled";
}

void TestAmqpLifetime::deletingAtAnyMoment()
{
    QFETCH(QString, state);
    const bool needsBroker = state == QLatin1String("connected") || state == QLatin1String("publishing")
        || state == QLatin1String("consuming") || state == QLatin1String("stalled");
    if (needsBroker)
        TRV_REQUIRE_SERVERS();

    SilentListener silent;
    QScopedPointer<ChainReceiver> receiver;
    QScopedPointer<Publisher> publisher;
    if (needsBroker) {
        receiver.reset(new ChainReceiver);
        publisher.reset(new Publisher);
        QTRY_VERIFY_WITH_TIMEOUT(receiver->isReady() && publisher->ready, 10000);
    }
    const int threads = threadCount();
    const int files = openFileCount();

    QScopedPointer<FreezableProxy> proxy;
    int port = -1;
    if (state == QLatin1String("stalled")) {
        proxy.reset(new FreezableProxy);
        port = proxy->port();
    } else if (state == QLatin1String("silent"))
        port = silent.port();
    else if (state == QLatin1String("refused") || state == QLatin1String("early"))
        port = refusedPort();
    auto *client = new QAmqpClient(nullptr);
    configureClient(client, port);
    int signalsAfterDeletion = 0;
    bool deleted = false;
    const auto count = [&] { if (deleted) ++signalsAfterDeletion; };
    connect(client, &QAmqpClient::connected, this, count);
    connect(client, &QAmqpClient::disconnected, this, count);

    const QByteArray text = "last-words:" + QUuid::createUuid().toByteArray();
    if (state == QLatin1String("early")) {
        QAmqpExchange *exchange = client->createExchange(QStringLiteral("logs"));
        exchange->declare(QAmqpExchange::FanOut);
        exchange->publish(QString::fromLatin1(text), QString());
    }
    if (state != QLatin1String("idle"))
        client->connectToHost(QString());

    if (state == QLatin1String("silent") || state == QLatin1String("refused")) {
        QTest::qWait(300);
    } else if (needsBroker) {
        QTRY_VERIFY_WITH_TIMEOUT(client->isConnected(), 10000);
        QAmqpExchange *exchange = client->createExchange(QStringLiteral("logs"));
        QSignalSpy declared(exchange, SIGNAL(declared()));
        exchange->declare(QAmqpExchange::FanOut);
        QTRY_COMPARE_WITH_TIMEOUT(declared.count(), 1, 5000);
        if (state == QLatin1String("publishing")) {
            exchange->publish(QString::fromLatin1(text), QString());
        } else if (state == QLatin1String("consuming")) {
            QAmqpQueue *queue = client->createQueue();
            connect(queue, &QAmqpQueue::declared, queue, [queue] { queue->bind(QStringLiteral("logs"), queue->name()); });
            connect(queue, &QAmqpQueue::bound, queue, [queue] { queue->consume(QAmqpQueue::coNoAck); });
            connect(queue, &QAmqpQueue::messageReceived, queue, [queue] { queue->dequeue(); });
            QSignalSpy consuming(queue, SIGNAL(consuming(QString)));
            queue->declare(QAmqpQueue::Exclusive);
            QTRY_COMPARE_WITH_TIMEOUT(consuming.count(), 1, 5000);
            for (int i = 0; i < 3000; ++i)
                publisher->exchange->publish(QStringLiteral("flood %1").arg(i), QString());
            QSignalSpy received(queue, SIGNAL(messageReceived()));
            QTRY_VERIFY_WITH_TIMEOUT(received.count() > 0, 5000);
        } else if (state == QLatin1String("stalled")) {
            // More than the socket buffers on both sides of the proxy hold.
            proxy->freeze();
            const QByteArray chunk(1 << 20, 'x');
            for (int i = 0; i < 24; ++i)
                exchange->publish(chunk, QString(), QStringLiteral("application/octet-stream"));
            QTest::qWait(500);
        }
    }

    LoopLagMeter lag;
    lag.start();
    QElapsedTimer deleting;
    deleting.start();
    deleted = true;
    delete client;
    QVERIFY2(deleting.elapsed() < 50, qPrintable(QString::number(deleting.elapsed())));

    QTRY_COMPARE_WITH_TIMEOUT(threadCount(), threads, 6000);
    proxy.reset();
    QTRY_COMPARE_WITH_TIMEOUT(openFileCount(), files, 5000);
    if (state == QLatin1String("publishing")) {
        // Handed over while the connection was open: it still goes out, once.
        QTRY_COMPARE_WITH_TIMEOUT(receiver->payloads.count(text), 1, 5000);
    }
    QTest::qWait(200);
    QCOMPARE(signalsAfterDeletion, 0);
    if (receiver) {
        QCOMPARE(receiver->payloads.count(text), state == QLatin1String("publishing") ? 1 : 0);
        QCOMPARE(receiver->disconnectedCount, 0);
    }
    QVERIFY2(lag.maxLagMs() < 50, qPrintable(QString::number(lag.maxLagMs())));
}

void TestAmqpLifetime::replacingClientsWhileTheBrokerIsAway_data()
{
    QTest::addColumn<bool>("silentBroker");
    QTest::newRow("nothing listens") << false;
    QTest::newRow("a listener that never answers") << true;
}

// What the main window does every second while the broker is unreachable.
void TestAmqpLifetime::replacingClientsWhileTheBrokerIsAway()
{
    QFETCH(bool, silentBroker);
    SilentListener silent;
    const int port = silentBroker ? silent.port() : refusedPort();
    const int threads = threadCount();
    const int files = openFileCount();
    LoopLagMeter lag;
    lag.start();

    QAmqpClient *client = nullptr;
    for (int round = 0; round < 15; ++round) {
        if (client) {
            client->disconnect();
            delete client;
        }
        client = new QAmqpClient(nullptr);
        configureClient(client, port);
        client->connectToHost(QString());
        QTest::qWait(100);
        QVERIFY(!client->isConnected());
    }
    delete client;

    QTRY_COMPARE_WITH_TIMEOUT(threadCount(), threads, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(openFileCount(), files, 3000);
    QVERIFY2(lag.maxLagMs() < 50, qPrintable(QString::number(lag.maxLagMs())));
}

void TestAmqpLifetime::neverDeletedClientDoesNotHoldTheExit_data()
{
    QTest::addColumn<QString>("state");
    QTest::newRow("connected, just published") << "connected";
    QTest::newRow("connecting to a silent listener") << "silent";
    QTest::newRow("retrying a refused port") << "refused";
}

void TestAmqpLifetime::neverDeletedClientDoesNotHoldTheExit()
{
    QFETCH(QString, state);
    SilentListener silent;
    QString port = QString::number(refusedPort());
    if (state == QLatin1String("connected")) {
        TRV_REQUIRE_SERVERS();
        port = QString::number(TestEnv::amqpPort());
    } else if (state == QLatin1String("silent")) {
        port = QString::number(silent.port());
    }

    QProcess probe;
    probe.setProcessChannelMode(QProcess::ForwardedChannels);
    probe.start(QStringLiteral(TRV_EXIT_PROBE),
                {port, state == QLatin1String("connected") ? QStringLiteral("publish") : QStringLiteral("idle")});
    QVERIFY(probe.waitForStarted(5000));
    QTRY_COMPARE_WITH_TIMEOUT(probe.state(), QProcess::NotRunning, 8000);
    QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
    QCOMPARE(probe.exitCode(), 0);
}

QTEST_MAIN(TestAmqpLifetime)
#include "tst_amqplifetime.moc"
