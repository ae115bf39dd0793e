#include "amqptestsupport.h"
#include "looplag.h"
#include "testenv.h"

#include <QScopeGuard>
#include <QSignalSpy>
#include <QUrl>
#include <QtTest>

// Connecting, failing, losing the broker, its channels or its consumers, and
// getting them back.
class TestAmqpConnection : public QObject
{
    Q_OBJECT

private slots:
    void failingPeerIsRetriedQuietly_data();
    void failingPeerIsRetriedQuietly();
    void brokerSideEvents_data();
    void brokerSideEvents();
    void lostPeerIsNoticed_data();
    void lostPeerIsNoticed();
    void connectToHostUsesTheSettingsGiven_data();
    void connectToHostUsesTheSettingsGiven();
};

void TestAmqpConnection::failingPeerIsRetriedQuietly_data()
{
    QTest::addColumn<QString>("peer");
    QTest::addColumn<int>("attempts");   // in 6.5 s; -1: not counted
    QTest::newRow("refused port") << "refused" << -1;
    QTest::newRow("wrong password") << "password" << -1;
    QTest::newRow("silent listener") << "silent" << 1;   // still waiting for the greeting
    // Attempts at about 0 s, 1 s and 3 s, the next at 7 s: only the back-off
    // keeps them apart, also when the login succeeded each time.
    QTest::newRow("hangs up at once") << "hangUp" << 3;
    QTest::newRow("closes right after the login") << "shortLived" << 3;
}

void TestAmqpConnection::failingPeerIsRetriedQuietly()
{
    QFETCH(QString, peer);
    QFETCH(int, attempts);
    if (peer == QLatin1String("password") || peer == QLatin1String("shortLived"))
        TRV_REQUIRE_SERVERS();
    DebugCapture log;
    FreezableProxy proxy(peer == QLatin1String("silent"), peer == QLatin1String("hangUp") ? 0 : 300);
    const QString wrongPassword = QStringLiteral("wrong-") + QString::fromLatin1(token());
    LoopLagMeter lag;
    lag.start();
    QAmqpClient client;
    configureClient(&client, peer == QLatin1String("refused") ? refusedPort() : peer == QLatin1String("password") ? -1 : proxy.port(),
                    peer == QLatin1String("password") ? wrongPassword : QString());
    QSignalSpy connected(&client, SIGNAL(connected()));
    client.connectToHost();
    QTest::qWait(6500);

    const bool logsIn = peer == QLatin1String("shortLived");
    if (attempts > 0)
        QVERIFY2(qAbs(proxy.accepted - attempts) <= 1, qPrintable(QString::number(proxy.accepted)));
    QCOMPARE(connected.count(), logsIn ? proxy.accepted : 0);
    QCOMPARE(client.isConnected(), false);
    QCOMPARE(log.count(QStringLiteral("cannot connect")) > 0, peer != QLatin1String("silent") && !logsIn);
    QCOMPARE(log.count(wrongPassword), 0);
    QVERIFY2(lag.maxLagMs() < LagLimitMs, qPrintable(QString::number(lag.maxLagMs())));
}

void TestAmqpConnection::brokerSideEvents_data()
{
    QTest::addColumn<QString>("event");
    QTest::newRow("queue deleted") << "delete";
    QTest::newRow("channel closed") << "close";
    QTest::newRow("resource alarm") << "alarm";
}

void TestAmqpConnection::brokerSideEvents()
{
    QFETCH(QString, event);
    TRV_REQUIRE_SERVERS();
    DebugCapture log;
    ChainReceiver receiver;
    Publisher publisher;
    QTRY_VERIFY_WITH_TIMEOUT(receiver.readyQueue && publisher.exchange, 10000);
    QAmqpQueue *queue = receiver.readyQueue;
    QTRY_VERIFY_WITH_TIMEOUT(!queue->consumerTag().isEmpty(), 5000);
    QSignalSpy cancelled(queue, SIGNAL(cancelled(QString)));
    QSignalSpy closed(queue, SIGNAL(closed()));
    LoopLagMeter lag;
    // The broker's own tools hold the test's loop; they are not measured.
    const auto control = [&lag](const QStringList &arguments) {
        const bool done = TestEnv::serverControl(arguments);
        lag.start();
        return done;
    };
    const QStringList ctl{QStringLiteral("broker-ctl")};
    const QStringList watermark = ctl + QStringList{QStringLiteral("set_vm_memory_high_watermark")};
    lag.start();
    const QByteArray text = event.toLatin1() + ':' + token();

    if (event == QLatin1String("delete") || event == QLatin1String("close")) {
        if (event == QLatin1String("delete"))
            QVERIFY(control(ctl + QStringList{QStringLiteral("delete_queue"), queue->name()}));
        else
            queue->bind(QStringLiteral("no-such-exchange-") + QString::fromLatin1(token()), queue->name());
        QTRY_COMPARE_WITH_TIMEOUT(cancelled.count() + closed.count(), 1, 10000);
        QCOMPARE(cancelled.count(), event == QLatin1String("delete") ? 1 : 0);
        QVERIFY(!queue->isConsuming());
        QCOMPARE(queue->isOpen(), event == QLatin1String("delete"));
        // The consumer is gone but the connection is not.
        QVERIFY(receiver.client->isConnected());
        QCOMPARE(receiver.disconnectedCount, 0);
    } else {
        // The broker stops reading a connection that publishes during the
        // alarm: requests wait until it lifts, and nothing is torn down.
        auto restore = qScopeGuard([&] { TestEnv::serverControl(watermark + QStringList{QStringLiteral("0.4")}); });
        QVERIFY(control(watermark + QStringList{QStringLiteral("0")}));
        publisher.exchange->publish(QString::fromLatin1(text), QString());
        QTRY_COMPARE_WITH_TIMEOUT(log.count(QStringLiteral("blocks publishing")), 1, 10000);
        QAmqpQueue *other = publisher.client->createQueue();
        QSignalSpy declared(other, SIGNAL(declared()));
        other->declare(QAmqpQueue::Exclusive);
        QTest::qWait(11000);   // longer than a request may wait for its answer
        QVERIFY(control(watermark + QStringList{QStringLiteral("0.4")}));
        restore.dismiss();
        QTRY_COMPARE_WITH_TIMEOUT(declared.count(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(receiver.count(text), 1, 10000);
        QVERIFY(queue->isConsuming() && publisher.client->isConnected());
        QCOMPARE(receiver.disconnectedCount, 0);
    }
    QVERIFY2(lag.maxLagMs() < LagLimitMs, qPrintable(QString::number(lag.maxLagMs())));
}

void TestAmqpConnection::lostPeerIsNoticed_data()
{
    QTest::addColumn<bool>("sending");
    QTest::newRow("idle: heartbeats") << false;
    QTest::newRow("stuck in a send") << true;
}

void TestAmqpConnection::lostPeerIsNoticed()
{
    QFETCH(bool, sending);
    TRV_REQUIRE_SERVERS();
    DebugCapture log;
    FreezableProxy proxy;
    QAmqpClient client;
    configureClient(&client, proxy.port());
    QSignalSpy disconnected(&client, SIGNAL(disconnected()));
    client.connectToHost();
    QAmqpExchange *exchange = client.createExchange(QStringLiteral("logs"));
    QSignalSpy declared(exchange, SIGNAL(declared()));
    exchange->declare(QAmqpExchange::FanOut);
    QTRY_COMPARE_WITH_TIMEOUT(declared.count(), 1, 10000);

    proxy.freeze();
    LoopLagMeter lag;
    lag.start();
    QElapsedTimer sinceFreeze;
    sinceFreeze.start();
    for (int i = 0; sending && i < 24; ++i)   // more than the socket buffers on both sides hold
        exchange->publish(QByteArray(1 << 20, 'x'), QString(), QStringLiteral("application/octet-stream"));
    QTRY_COMPARE_WITH_TIMEOUT(disconnected.count(), 1, 40000);
    QVERIFY2(sinceFreeze.elapsed() < 32000, qPrintable(QString::number(sinceFreeze.elapsed())));
    QVERIFY2(lag.maxLagMs() < LagLimitMs, qPrintable(QString::number(lag.maxLagMs())));
    // What never went out is told, once.
    QCOMPARE(log.count(QStringLiteral("not published")), int(sending));
}

void TestAmqpConnection::connectToHostUsesTheSettingsGiven_data()
{
    QTest::addColumn<QString>("state");
    QTest::newRow("publish made before the first connection") << "early";
    QTest::newRow("open: confirmed again") << "open";
    QTest::newRow("from disconnected(), no automatic reconnection") << "lost";
    QTest::newRow("retrying, given a new address") << "retrying";
}

void TestAmqpConnection::connectToHostUsesTheSettingsGiven()
{
    QFETCH(QString, state);
    TRV_REQUIRE_SERVERS();
    ChainReceiver receiver;
    QTRY_VERIFY_WITH_TIMEOUT(receiver.readyQueue, 10000);
    FreezableProxy proxy;
    QAmqpClient client;
    configureClient(&client, state == QLatin1String("lost") ? proxy.port() : -1);
    QSignalSpy connected(&client, SIGNAL(connected()));
    QSignalSpy disconnected(&client, SIGNAL(disconnected()));
    const QByteArray text = state.toLatin1() + ':' + token();
    const auto publish = [&client, &text] {
        QAmqpExchange *exchange = client.createExchange(QStringLiteral("logs"));
        exchange->declare(QAmqpExchange::FanOut);
        exchange->publish(QString::fromLatin1(text), QString());
    };

    if (state == QLatin1String("early")) {
        publish();
        client.connectToHost();
    } else if (state == QLatin1String("open")) {
        // An order dialog's second action connects again and waits for connected().
        client.connectToHost();
        QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 10000);
        client.connectToHost();
    } else if (state == QLatin1String("lost")) {
        client.setAutoReconnect(false);
        connect(&client, &QAmqpClient::disconnected, this, [&client] { client.connectToHost(); });
        client.connectToHost();
        QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 10000);
        proxy.cutAll();
    } else {
        configureClient(&client, refusedPort());
        client.connectToHost();
        QTest::qWait(300);
        QUrl url(QStringLiteral("amqp://127.0.0.1/"));
        url.setPort(TestEnv::amqpPort());
        url.setUserName(TestEnv::amqpUser());
        url.setPassword(TestEnv::amqpPassword());
        url.setPath(QLatin1Char('/') + TestEnv::amqpVirtualHost());
        client.connectToHost(url.toString());
    }
    const bool twice = state == QLatin1String("open") || state == QLatin1String("lost");
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), twice ? 2 : 1, 5000);
    QCOMPARE(disconnected.count(), int(state == QLatin1String("lost")));
    if (state != QLatin1String("early"))
        publish();
    QTRY_COMPARE_WITH_TIMEOUT(receiver.count(text), 1, 5000);
    QTest::qWait(200);
    QCOMPARE(receiver.count(text), 1);

    client.disconnect(this);
    client.disconnectFromHost();
    QVERIFY(!client.isConnected());
    QCOMPARE(disconnected.count(), 1 + int(state == QLatin1String("lost")));
}

QTEST_MAIN(TestAmqpConnection)
#include "tst_amqpconnection.moc"
