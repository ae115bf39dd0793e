#include "amqptestsupport.h"
#include "looplag.h"
#include "testenv.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUuid>
#include <QtTest>

// Connecting, failing, losing the broker and getting it back.
class TestAmqpConnection : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void failedConnectionStaysQuiet_data();
    void failedConnectionStaysQuiet();
    void retriesAreSpacedOut();
    void brokerStoppedAndStartedAgain();
    void silentPeerIsNoticedByHeartbeats();
};

namespace {

QStringList debugLines;
QtMessageHandler previousHandler = nullptr;

void captureDebug(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    debugLines.append(text);
    if (previousHandler)
        previousHandler(type, context, text);
}

// Accepts connections and then never says a word; counts them.
class SilentListener : public QObject
{
public:
    explicit SilentListener(bool hangUp = false)
    {
        server.listen(QHostAddress::LocalHost, 0);
        connect(&server, &QTcpServer::newConnection, this, [this, hangUp] {
            while (QTcpSocket *socket = server.nextPendingConnection()) {
                ++accepted;
                socket->setParent(this);
                if (hangUp)
                    socket->abort();
            }
        });
    }
    int port() const { return server.serverPort(); }

    QTcpServer server;
    int accepted = 0;
};

int refusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const int port = probe.serverPort();
    probe.close();
    return port;
}

QString lagText(const LoopLagMeter &lag)
{
    return QStringLiteral("event loop held %1 ms").arg(lag.maxLagMs());
}

} // namespace

void TestAmqpConnection::init()
{
    debugLines.clear();
    previousHandler = qInstallMessageHandler(captureDebug);
}

void TestAmqpConnection::cleanup()
{
    qInstallMessageHandler(previousHandler);
}

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
    SilentListener silent;
    int port = -1;
    const QString wrongPassword = QStringLiteral("wrong-%1").arg(QUuid::createUuid().toString(QUuid::Id128));
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
    QElapsedTimer call;
    call.start();
    client.connectToHost(QString());
    QVERIFY(call.elapsed() < 50);

    QTest::qWait(3000);
    QCOMPARE(connected.count(), 0);
    QCOMPARE(disconnected.count(), 0);
    QVERIFY(!client.isConnected());
    QVERIFY2(lag.maxLagMs() < 50, qPrintable(lagText(lag)));
    if (kind == QLatin1String("silent")) {
        QCOMPARE(silent.accepted, 1);   // still waiting for the broker's greeting
    } else {
        QVERIFY2(!debugLines.filter(QStringLiteral("cannot connect")).isEmpty(), qPrintable(debugLines.join('\n')));
    }
    QVERIFY(debugLines.filter(wrongPassword).isEmpty());
}

void TestAmqpConnection::retriesAreSpacedOut()
{
    // A listener that hangs up at once: every attempt fails fast, so only
    // the back-off keeps them apart.
    SilentListener hangUp(true);
    QAmqpClient client;
    configureClient(&client, hangUp.port());
    QSignalSpy connected(&client, SIGNAL(connected()));
    QSignalSpy disconnected(&client, SIGNAL(disconnected()));
    client.connectToHost(QString());
    QTest::qWait(6500);
    // Attempts at about 0 s, 1 s and 3 s; the next one is due at 7 s.
    QVERIFY2(hangUp.accepted >= 2 && hangUp.accepted <= 4, qPrintable(QString::number(hangUp.accepted)));
    QCOMPARE(connected.count(), 0);
    QCOMPARE(disconnected.count(), 0);
}

void TestAmqpConnection::brokerStoppedAndStartedAgain()
{
    TRV_REQUIRE_SERVERS();
    ChainReceiver receiver;
    Publisher publisher;
    QTRY_VERIFY_WITH_TIMEOUT(receiver.isReady() && publisher.ready, 10000);
    const QString firstQueue = receiver.readyQueue->name();
    const QByteArray before = "before:" + QUuid::createUuid().toByteArray();
    publisher.exchange->publish(QString::fromLatin1(before), QString());
    QTRY_VERIFY_WITH_TIMEOUT(receiver.payloads.contains(before), 5000);

    QVERIFY(TestEnv::serverControl({QStringLiteral("broker-stop")}));
    LoopLagMeter lag;
    lag.start();
    QTRY_COMPARE_WITH_TIMEOUT(receiver.disconnectedCount, 1, 15000);
    QVERIFY(!receiver.client->isConnected());
    QTest::qWait(4000);   // several failed attempts while the broker is away
    QCOMPARE(receiver.disconnectedCount, 1);
    QCOMPARE(receiver.connectedCount, 1);
    QVERIFY2(lag.maxLagMs() < 50, qPrintable(lagText(lag)));

    QVERIFY(TestEnv::serverControl({QStringLiteral("broker-start")}));
    lag.start();
    QTRY_VERIFY_WITH_TIMEOUT(receiver.connectedCount == 2 && receiver.isReady() && publisher.ready, 45000);
    QCOMPARE(receiver.disconnectedCount, 1);
    QVERIFY(receiver.readyQueue->name() != firstQueue);

    const QByteArray after = "after:" + QUuid::createUuid().toByteArray();
    publisher.exchange->publish(QString::fromLatin1(after), QString());
    QTRY_VERIFY_WITH_TIMEOUT(receiver.payloads.contains(after), 5000);
    QCOMPARE(receiver.payloads.count(before), 1);
    QVERIFY2(lag.maxLagMs() < 50, qPrintable(lagText(lag)));
}

void TestAmqpConnection::silentPeerIsNoticedByHeartbeats()
{
    TRV_REQUIRE_SERVERS();
    FreezableProxy proxy;
    QAmqpClient client;
    configureClient(&client, proxy.port());
    QSignalSpy connected(&client, SIGNAL(connected()));
    QSignalSpy disconnected(&client, SIGNAL(disconnected()));
    client.connectToHost(QString());
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 10000);

    proxy.freeze();
    QElapsedTimer sinceFreeze;
    sinceFreeze.start();
    LoopLagMeter lag;
    lag.start();
    QTRY_COMPARE_WITH_TIMEOUT(disconnected.count(), 1, 40000);
    QVERIFY2(sinceFreeze.elapsed() < 32000, qPrintable(QString::number(sinceFreeze.elapsed())));
    QVERIFY(!client.isConnected());
    QVERIFY2(lag.maxLagMs() < 50, qPrintable(lagText(lag)));
}

QTEST_MAIN(TestAmqpConnection)
#include "tst_amqpconnection.moc"
