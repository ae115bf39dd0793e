#include "amqptestsupport.h"
#include "looplag.h"
#include "testenv.h"

#include <QProcess>
#include <QSignalSpy>
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
    QTest::newRow("small publishes with large headers to a peer that stopped reading") << "headers";
    QTest::newRow("after thousands of channels came and went") << "churned";
}

void TestAmqpLifetime::deletingAtAnyMoment()
{
    QFETCH(QString, state);
    const bool stalled = state == QLatin1String("stalled") || state == QLatin1String("headers");
    const bool needsBroker = stalled || state == QLatin1String("connected") || state == QLatin1String("publishing")
        || state == QLatin1String("consuming") || state == QLatin1String("churned");
    if (needsBroker)
        TRV_REQUIRE_SERVERS();

    DebugCapture log;
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
    if (stalled) {
        proxy.reset(new FreezableProxy);
        port = proxy->port();
    } else if (state == QLatin1String("silent")) {
        port = silent.port();
    } else if (state == QLatin1String("refused") || state == QLatin1String("early")) {
        port = refusedPort();
    }
    auto *client = new QAmqpClient(nullptr);
    configureClient(client, port);
    int signalsAfterDeletion = 0;
    bool deleted = false;
    const auto count = [&] { if (deleted) ++signalsAfterDeletion; };
    connect(client, &QAmqpClient::connected, this, count);
    connect(client, &QAmqpClient::disconnected, this, count);

    const QByteArray text = "last-words:" + token();
    if (state == QLatin1String("early")) {
        QAmqpExchange *exchange = client->createExchange(QStringLiteral("logs"));
        exchange->declare(QAmqpExchange::FanOut);
        exchange->publish(QString::fromLatin1(text), QString());
    }
    if (state != QLatin1String("idle"))
        client->connectToHost(QString());

    LoopLagMeter lag;
    lag.start();
    if (state == QLatin1String("silent") || state == QLatin1String("refused")) {
        QTest::qWait(300);
    } else if (needsBroker) {
        QTRY_VERIFY_WITH_TIMEOUT(client->isConnected(), 10000);
        if (state == QLatin1String("churned")) {
            // Past the broker's highest channel number.
            for (int i = 0; i < 2100; ++i)
                delete client->createExchange(QStringLiteral("logs"));
        }
        QAmqpExchange *exchange = client->createExchange(QStringLiteral("logs"));
        QSignalSpy declared(exchange, SIGNAL(declared()));
        exchange->declare(QAmqpExchange::FanOut);
        QTRY_COMPARE_WITH_TIMEOUT(declared.count(), 1, 5000);
        // Numbers are used again, so a long-lived connection never runs out.
        QVERIFY(exchange->channelNumber() < 10);
        if (state == QLatin1String("publishing")) {
            exchange->publish(QString::fromLatin1(text), QString());
        } else if (state == QLatin1String("consuming")) {
            QAmqpQueue *queue = client->createQueue();
            connect(queue, &QAmqpQueue::declared, queue, [queue] { queue->bind(QStringLiteral("logs"), queue->name()); });
            connect(queue, &QAmqpQueue::bound, queue, [queue] { queue->consume(); });
            connect(queue, &QAmqpQueue::messageReceived, queue, [queue] { queue->dequeue(); });
            QSignalSpy consuming(queue, SIGNAL(consuming(QString)));
            queue->declare(QAmqpQueue::Exclusive);
            QTRY_COMPARE_WITH_TIMEOUT(consuming.count(), 1, 5000);
            for (int i = 0; i < 3000; ++i)
                publisher->exchange->publish(QStringLiteral("flood %1").arg(i), QString());
            QSignalSpy received(queue, SIGNAL(messageReceived()));
            QTRY_VERIFY_WITH_TIMEOUT(received.count() > 0, 5000);
        } else if (stalled) {
            proxy->freeze();
            QAmqpTable headers;
            headers.insert(QStringLiteral("padding"), QByteArray(100000, 'h'));
            // More than the socket buffers on both sides hold, apart, so
            // that the connection is idle before each one.
            for (int sent = 0; sent < (24 << 20); sent += state == QLatin1String("stalled") ? 1 << 20 : 100000) {
                if (state == QLatin1String("stalled"))
                    exchange->publish(QByteArray(1 << 20, 'x'), QString(), QStringLiteral("application/octet-stream"));
                else
                    exchange->publish(QByteArray("small"), QString(), QString(), {{QAmqpMessage::Headers, QVariant::fromValue(headers)}});
                QTest::qWait(10);
            }
        }
    }

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
    QVERIFY2(lag.maxLagMs() < LagLimitMs, qPrintable(QString::number(lag.maxLagMs())));
    // What the stuck worker could not send is reported once; nothing else is lost.
    QCOMPARE(log.count(QStringLiteral("not published")), stalled || state == QLatin1String("early") ? 1 : 0);
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
    QVERIFY2(lag.maxLagMs() < LagLimitMs, qPrintable(QString::number(lag.maxLagMs())));
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
