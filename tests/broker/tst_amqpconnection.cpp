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
    void failedConnectionStaysQuiet_data();
    void failedConnectionStaysQuiet();
    void retriesAreSpacedOut_data();
    void retriesAreSpacedOut();
    void brokerSideEvents_data();
    void brokerSideEvents();
    void lostPeerIsNoticed_data();
    void lostPeerIsNoticed();
    void connectToHostUsesTheSettingsGiven_data();
    void connectToHostUsesTheSettingsGiven();
};

namespace {

QString lagText(const LoopLagMeter &lag)
{
    return QStringLiteral("event loop held %1 ms").arg(lag.maxLagMs());
}

} // namespace

void TestAmqpConnection::failedConnectionStaysQuiet_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("refused port") << "refused";
    QTest::newRow("silent listener") << "silent";
    QTest::newRow("wrong password") << "password";
}

void TestAmqpConnection::failedConnectionStaysQuiet()
{
    QFETCH(QString, kind);
    DebugCapture log;
    SilentListener silent;
    int port = -1;
    const QString wrongPassword = QStringLiteral("wrong-%1").arg(QString::fromLatin1(token()));
    QString password;
    if (kind == QLatin1String("refused")) {
        port = refusedPort();
    } else if (kind == QLatin1String("silent")) {
        port = silent.port();
    } else {
        TRV_REQUIRE_SERVERS();
        password = wrongPassword;
    }

    LoopLagMeter lag;
    lag.start();
    QAmqpClient client;
    configureClient(&client, port, password);
    QSignalSpy connected(&client, SIGNAL(connected()));
    QSignalSpy disconnected(&client, SIGNAL(disconnected()));
    client.connectToHost(QString());

    QTest::qWait(3000);
    QCOMPARE(connected.count(), 0);
    QCOMPARE(disconnected.count(), 0);
    QVERIFY(!client.isConnected());
    QVERIFY2(lag.maxLagMs() < LagLimitMs, qPrintable(lagText(lag)));
    if (kind == QLatin1String("silent"))
        QCOMPARE(silent.accepted, 1);   // still waiting for the broker's greeting
    else
        QVERIFY2(log.count(QStringLiteral("cannot connect")) > 0, qPrintable(log.lines().join('\n')));
    QCOMPARE(log.count(wrongPassword), 0);
}

void TestAmqpConnection::retriesAreSpacedOut_data()
{
    QTest::addColumn<bool>("afterLogin");
    QTest::newRow("hangs up at once") << false;
    QTest::newRow("closes right after the login") << true;
}

// Every attempt fails fast, so only the back-off keeps them apart.
void TestAmqpConnection::retriesAreSpacedOut()
{
    QFETCH(bool, afterLogin);
    if (afterLogin)
        TRV_REQUIRE_SERVERS();
    SilentListener hangUp(true);
    FreezableProxy shortLived(300);
    QAmqpClient client;
    configureClient(&client, afterLogin ? shortLived.port() : hangUp.port());
    QSignalSpy connected(&client, SIGNAL(connected()));
    client.connectToHost(QString());
    QTest::qWait(6500);
    // Attempts at about 0 s, 1 s and 3 s; the next one is due at 7 s.
    const int attempts = afterLogin ? shortLived.accepted : hangUp.accepted;
    QVERIFY2(attempts >= 2 && attempts <= 4, qPrintable(QString::number(attempts)));
    QCOMPARE(connected.count(), afterLogin ? attempts : 0);
}

void TestAmqpConnection::brokerSideEvents_data()
{
    QTest::addColumn<QString>("event");
    QTest::newRow("broker restarted") << "restart";
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
    QTRY_VERIFY_WITH_TIMEOUT(receiver.isReady() && publisher.ready, 10000);
    QAmqpQueue *queue = receiver.readyQueue;
    QTRY_VERIFY_WITH_TIMEOUT(queue->isConsuming() && !queue->consumerTag().isEmpty(), 5000);
    QSignalSpy cancelled(queue, SIGNAL(cancelled(QString)));
    QSignalSpy closed(queue, SIGNAL(closed()));
    LoopLagMeter lag;
    // The broker's own tools hold the test's loop; they are not measured.
    const auto control = [&lag](const QStringList &arguments) {
        const bool done = TestEnv::serverControl(arguments);
        lag.start();
        return done;
    };
    const auto ctl = [&control](const QStringList &arguments) {
        return control(QStringList{QStringLiteral("broker-ctl")} + arguments);
    };
    lag.start();
    const QByteArray text = event.toLatin1() + ':' + token();

    if (event == QLatin1String("restart")) {
        QVERIFY(control({QStringLiteral("broker-stop")}));
        QTRY_COMPARE_WITH_TIMEOUT(receiver.disconnectedCount, 1, 15000);
        QTest::qWait(4000);   // several failed attempts while the broker is away
        QCOMPARE(receiver.connectedCount, 1);
        QVERIFY(control({QStringLiteral("broker-start")}));
        QTRY_VERIFY_WITH_TIMEOUT(receiver.connectedCount == 2 && receiver.isReady() && publisher.ready, 45000);
        QCOMPARE(receiver.disconnectedCount, 1);
        QVERIFY(receiver.readyQueue->name() != queue->name());
        publisher.exchange->publish(QString::fromLatin1(text), QString());
        QTRY_COMPARE_WITH_TIMEOUT(receiver.payloads.count(text), 1, 5000);
    } else if (event == QLatin1String("delete") || event == QLatin1String("close")) {
        if (event == QLatin1String("delete"))
            QVERIFY(ctl({QStringLiteral("delete_queue"), queue->name()}));
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
        auto restore = qScopeGuard([] {
            TestEnv::serverControl({QStringLiteral("broker-ctl"), QStringLiteral("set_vm_memory_high_watermark"),
                                    QStringLiteral("0.4")});
        });
        QVERIFY(ctl({QStringLiteral("set_vm_memory_high_watermark"), QStringLiteral("0")}));
        publisher.exchange->publish(QString::fromLatin1(text), QString());
        QTRY_COMPARE_WITH_TIMEOUT(log.count(QStringLiteral("blocks publishing")), 1, 10000);
        QAmqpQueue *other = publisher.client->createQueue();
        QSignalSpy declared(other, SIGNAL(declared()));
        other->declare(QAmqpQueue::Exclusive);
        QTest::qWait(11000);   // longer than a request may wait for its answer
        QVERIFY(publisher.client->isConnected());
        QVERIFY(ctl({QStringLiteral("set_vm_memory_high_watermark"), QStringLiteral("0.4")}));
        restore.dismiss();
        QTRY_COMPARE_WITH_TIMEOUT(declared.count(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(receiver.payloads.count(text), 1, 10000);
        QVERIFY(queue->isConsuming() && publisher.client->isConnected());
        QCOMPARE(receiver.disconnectedCount, 0);
    }
    QVERIFY2(lag.maxLagMs() < LagLimitMs, qPrintable(lagText(lag)));
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
    QSignalSpy connected(&client, SIGNAL(connected()));
    QSignalSpy disconnected(&client, SIGNAL(disconnected()));
    client.connectToHost(QString());
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 10000);
    QAmqpExchange *exchange = client.createExchange(QStringLiteral("logs"));
    QSignalSpy declared(exchange, SIGNAL(declared()));
    exchange->declare(QAmqpExchange::FanOut);
    QTRY_COMPARE_WITH_TIMEOUT(declared.count(), 1, 5000);

    proxy.freeze();
    LoopLagMeter lag;
    lag.start();
    QElapsedTimer sinceFreeze;
    sinceFreeze.start();
    const int chunks = 24;   // more than the socket buffers on both sides hold
    if (sending) {
        for (int i = 0; i < chunks; ++i)
            exchange->publish(QByteArray(1 << 20, 'x'), QString(), QStringLiteral("application/octet-stream"));
    }
    QTRY_COMPARE_WITH_TIMEOUT(disconnected.count(), 1, 40000);
    QVERIFY2(sinceFreeze.elapsed() < 32000, qPrintable(QString::number(sinceFreeze.elapsed())));
    QVERIFY(!client.isConnected());
    QVERIFY2(lag.maxLagMs() < LagLimitMs, qPrintable(lagText(lag)));
    // What never went out is reported, once.
    QCOMPARE(log.count(QStringLiteral("not published")), sending ? 1 : 0);
}

void TestAmqpConnection::connectToHostUsesTheSettingsGiven_data()
{
    QTest::addColumn<QString>("state");
    QTest::newRow("open: confirmed again") << "open";
    QTest::newRow("from disconnected(), no automatic reconnection") << "lost";
    QTest::newRow("retrying, given a new address") << "retrying";
}

void TestAmqpConnection::connectToHostUsesTheSettingsGiven()
{
    QFETCH(QString, state);
    TRV_REQUIRE_SERVERS();
    ChainReceiver receiver;
    QTRY_VERIFY_WITH_TIMEOUT(receiver.isReady(), 10000);
    FreezableProxy proxy;
    QAmqpClient client;
    configureClient(&client, state == QLatin1String("lost") ? proxy.port() : -1);
    QSignalSpy connected(&client, SIGNAL(connected()));
    QSignalSpy disconnected(&client, SIGNAL(disconnected()));

    if (state == QLatin1String("open")) {
        // An order dialog's second action connects again and waits for connected().
        client.connectToHost(QString());
        QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 10000);
        client.connectToHost(QString());
    } else if (state == QLatin1String("lost")) {
        client.setAutoReconnect(false);
        connect(&client, &QAmqpClient::disconnected, this, [&client] { client.connectToHost(QString()); });
        client.connectToHost(QString());
        QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 10000);
        proxy.cutAll();
        QTRY_COMPARE_WITH_TIMEOUT(disconnected.count(), 1, 5000);
    } else {
        configureClient(&client, refusedPort());
        client.connectToHost(QString());
        QTest::qWait(300);
        QUrl url;
        url.setScheme(QStringLiteral("amqp"));
        url.setHost(QStringLiteral("127.0.0.1"));
        url.setPort(TestEnv::amqpPort());
        url.setUserName(TestEnv::amqpUser());
        url.setPassword(TestEnv::amqpPassword());
        url.setPath(QLatin1Char('/') + TestEnv::amqpVirtualHost());
        client.connectToHost(url.toString());
    }
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 2 - int(state == QLatin1String("retrying")), 5000);
    QCOMPARE(disconnected.count(), int(state == QLatin1String("lost")));

    const QByteArray text = state.toLatin1() + ':' + token();
    QAmqpExchange *exchange = client.createExchange(QStringLiteral("logs"));
    exchange->declare(QAmqpExchange::FanOut);
    exchange->publish(QString::fromLatin1(text), QString());
    QTRY_COMPARE_WITH_TIMEOUT(receiver.payloads.count(text), 1, 5000);

    client.disconnect(this);
    client.disconnectFromHost();
    QVERIFY(!client.isConnected());
    QCOMPARE(disconnected.count(), 1 + int(state == QLatin1String("lost")));
}

QTEST_MAIN(TestAmqpConnection)
#include "tst_amqpconnection.moc"
