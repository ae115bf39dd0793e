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
    void initTestCase() { m_idleThreads = threadCount(); }
    // Workers of the previous test's clients may still be saying goodbye.
    void init() { QTRY_COMPARE_WITH_TIMEOUT(threadCount(), m_idleThreads, 5000); }
    void deletingAtAnyMoment_data();
    void deletingAtAnyMoment();
    void neverDeletedClientDoesNotHoldTheExit_data();
    void neverDeletedClientDoesNotHoldTheExit();

private:
    int m_idleThreads = 0;
};

void TestAmqpLifetime::deletingAtAnyMoment_data()
{
    QTest::addColumn<QString>("state");
    QTest::newRow("never connected") << "idle";
    QTest::newRow("connecting to a silent listener") << "silent";
    QTest::newRow("waiting to retry a refused port") << "refused";
    QTest::newRow("publish waiting for the connection") << "early";
    QTest::newRow("publish just made") << "publishing";
    QTest::newRow("consuming a flood") << "consuming";
    QTest::newRow("stuck sending to a peer that stopped reading") << "stalled";
    QTest::newRow("small publishes with large headers to a peer that stopped reading") << "headers";
    QTest::newRow("after thousands of channels came and went") << "churned";
}

void TestAmqpLifetime::deletingAtAnyMoment()
{
    QFETCH(QString, state);
    const bool stalled = state == QLatin1String("stalled") || state == QLatin1String("headers");
    const bool offline = state == QLatin1String("idle") || state == QLatin1String("silent")
        || state == QLatin1String("refused") || state == QLatin1String("early");
    if (!offline)
        TRV_REQUIRE_SERVERS();
    DebugCapture log;
    QScopedPointer<ChainReceiver> receiver(offline ? nullptr : new ChainReceiver);
    QScopedPointer<Publisher> publisher(offline ? nullptr : new Publisher);
    if (!offline)
        QTRY_VERIFY_WITH_TIMEOUT(receiver->readyQueue && publisher->exchange, 10000);
    const int threads = threadCount();
    const int files = openFileCount();

    QScopedPointer<FreezableProxy> proxy(new FreezableProxy(state == QLatin1String("silent")));
    auto *client = new QAmqpClient;
    configureClient(client, stalled || state == QLatin1String("silent") ? proxy->port()
                            : state == QLatin1String("refused") || state == QLatin1String("early") ? refusedPort() : -1);
    int signalsAfterDeletion = 0;
    bool deleted = false;
    const auto count = [&] { signalsAfterDeletion += int(deleted); };
    connect(client, &QAmqpClient::connected, this, count);
    connect(client, &QAmqpClient::disconnected, this, count);
    const QByteArray text = "last-words:" + token();
    QAmqpExchange *exchange = client->createExchange(QStringLiteral("logs"));
    QSignalSpy declared(exchange, SIGNAL(declared()));
    exchange->declare(QAmqpExchange::FanOut);
    if (state == QLatin1String("early"))
        exchange->publish(QString::fromLatin1(text), QString());
    if (state != QLatin1String("idle"))
        client->connectToHost();

    LoopLagMeter lag;
    lag.start();
    if (offline)
        QTest::qWait(300);
    else
        QTRY_COMPARE_WITH_TIMEOUT(declared.count(), 1, 10000);
    if (state == QLatin1String("publishing")) {
        exchange->publish(QString::fromLatin1(text), QString());
    } else if (state == QLatin1String("churned")) {
        // Past the broker's highest channel number.
        for (int i = 0; i < 2100; ++i)
            delete client->createExchange(QStringLiteral("logs"));
        QAmqpExchange *last = client->createExchange(QStringLiteral("logs"));
        QSignalSpy opened(last, SIGNAL(opened()));
        QTRY_COMPARE_WITH_TIMEOUT(opened.count(), 1, 10000);
        // Numbers are used again, so a long-lived connection never runs out.
        QVERIFY(last->channelNumber() < 10);
    } else if (state == QLatin1String("consuming")) {
        QAmqpQueue *queue = client->createQueue();
        connect(queue, &QAmqpQueue::declared, queue, [queue] { queue->bind(QStringLiteral("logs"), queue->name()); });
        connect(queue, &QAmqpQueue::bound, queue, [queue] { queue->consume(); });
        connect(queue, &QAmqpQueue::messageReceived, queue, [queue] { queue->dequeue(); });
        QSignalSpy received(queue, SIGNAL(messageReceived()));
        queue->declare(QAmqpQueue::Exclusive);
        QTRY_VERIFY_WITH_TIMEOUT(queue->isConsuming() && !queue->consumerTag().isEmpty(), 5000);
        for (int i = 0; i < 3000; ++i)
            publisher->exchange->publish(QStringLiteral("flood %1").arg(i), QString());
        QTRY_VERIFY_WITH_TIMEOUT(received.count() > 0, 5000);
    } else if (stalled) {
        proxy->freeze();
        QAmqpTable headers;
        headers.insert(QStringLiteral("padding"), QByteArray(100000, 'h'));
        // More than the socket buffers on both sides hold, apart, so that
        // the connection is idle before each one.
        const int size = state == QLatin1String("stalled") ? 1 << 20 : 100000;
        for (int sent = 0; sent < (24 << 20); sent += size) {
            if (state == QLatin1String("stalled"))
                exchange->publish(QByteArray(size, 'x'), QString(), QStringLiteral("application/octet-stream"));
            else
                exchange->publish(QByteArray("small"), QString(), QString(), {{QAmqpMessage::Headers, QVariant::fromValue(headers)}});
            QTest::qWait(10);
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
    // Handed over while the connection was open: it still goes out, once.
    if (receiver)
        QTRY_COMPARE_WITH_TIMEOUT(receiver->count(text), int(state == QLatin1String("publishing")), 5000);
    QTest::qWait(200);
    QCOMPARE(signalsAfterDeletion, 0);
    QVERIFY(!receiver || receiver->disconnectedCount == 0);
    QVERIFY2(lag.maxLagMs() < LagLimitMs, qPrintable(QString::number(lag.maxLagMs())));
    // What could not be sent is told once; nothing else is lost.
    QCOMPARE(log.count(QStringLiteral("not published")), int(stalled || state == QLatin1String("early")));
}

void TestAmqpLifetime::neverDeletedClientDoesNotHoldTheExit_data()
{
    QTest::addColumn<QString>("state");
    QTest::newRow("connected, just published") << "publish";
    QTest::newRow("connecting to a silent listener") << "silent";
    QTest::newRow("retrying a refused port") << "refused";
}

void TestAmqpLifetime::neverDeletedClientDoesNotHoldTheExit()
{
    QFETCH(QString, state);
    FreezableProxy silent(true);
    int port = state == QLatin1String("silent") ? silent.port() : refusedPort();
    if (state == QLatin1String("publish")) {
        TRV_REQUIRE_SERVERS();
        port = TestEnv::amqpPort();
    }
    QProcess probe;
    probe.setProcessChannelMode(QProcess::ForwardedChannels);
    probe.start(QStringLiteral(TRV_EXIT_PROBE), {QString::number(port), state});
    QVERIFY(probe.waitForStarted(5000));
    QTRY_COMPARE_WITH_TIMEOUT(probe.state(), QProcess::NotRunning, 8000);
    QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
    QCOMPARE(probe.exitCode(), 0);
}

QTEST_MAIN(TestAmqpLifetime)
#include "tst_amqplifetime.moc"
