#include "amqptestsupport.h"
#include "brokerrelay.h"
#include "looplag.h"
#include "testenv.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QThread>
#include <QUuid>
#include <QtTest>

#include <utility>

namespace {

// Longest the event loop may go unserved. A blocking call on the GUI thread
// shows as seconds (handshakes, sends without a deadline); the broker's large
// sends take longer to hand over than the console's other steps.
constexpr qint64 LagLimitMs = LoopLagMeter::stallLimitMs * 10 / 3;

// Threads and file descriptors of this process, to see that nothing leaks.
int entriesIn(const char *path) { return int(QDir(QLatin1String(path)).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size()); }
int threadCount() { return entriesIn("/proc/self/task"); }
int openFileCount() { return entriesIn("/proc/self/fd"); }

QByteArray token() { return QUuid::createUuid().toByteArray(QUuid::WithoutBraces); }

int refusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

// The client against a real broker: what peers see of the messages; connecting,
// failing, losing the broker, its channels or its consumers, and getting them
// back; clients coming and going at any moment and leaving nothing behind.
class TestAmqpClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_idleThreads = threadCount(); }
    // Workers of the previous test's clients may still be saying goodbye.
    void init() { QTRY_COMPARE_WITH_TIMEOUT(threadCount(), m_idleThreads, 5000); }

    void everyConsumerGetsEverythingInOrder_data()
    {
        QTest::addColumn<int>("stallMs");
        QTest::newRow("receivers keep up") << 0;
        QTest::newRow("receivers' thread stalls") << 3000;
    }

    void everyConsumerGetsEverythingInOrder()
    {
        QFETCH(int, stallMs);
        TRV_REQUIRE_SERVERS();
        DebugCapture log;
        ChainReceiver first;
        ChainReceiver second;
        Publisher publisher;
        QTRY_VERIFY_WITH_TIMEOUT(first.readyQueue && second.readyQueue && publisher.exchange, 10000);

        // Every byte value, a megabyte of noise and trailing zeros, then thousands of texts.
        const QByteArray prefix = token() + ':';
        QByteArray binary = prefix;
        for (int i = 0; i < 256; ++i)
            binary.append(char(i));
        QRandomGenerator random(20240601);
        while (binary.size() < (1 << 20))
            binary.append(char(random.bounded(256)));
        binary.append(QByteArray(2, '\0'));
        const QAmqpTable headers(QVariantHash{{QStringLiteral("loja"), 7}});
        QList<QByteArray> sent{binary};
        LoopLagMeter lag;
        lag.start();
        publisher.exchange->publish(binary, QStringLiteral("any.key"), QStringLiteral("application/octet-stream"),
                                    {{QAmqpMessage::Headers, QVariant::fromValue(headers)}});
        // In slices, as a GUI would: the test must not hold its own loop either.
        for (int i = 0; i < 10000; ++i) {
            sent.append(prefix + QByteArray::number(i));
            publisher.exchange->publish(QString::fromLatin1(sent.last()), QString());
            if (i % 500 == 499)
                QCoreApplication::processEvents();
        }
        if (stallMs > 0) {
            // Deliveries pile up meanwhile: the worker stops reading at its
            // bound and says so, and the broker keeps the rest.
            QThread::msleep(ulong(stallMs));
            lag.start();
        }
        for (const ChainReceiver *receiver : {&first, &second})
            QTRY_COMPARE_WITH_TIMEOUT(receiver->payloads.size(), sent.size(), 60000);
        QTest::qWait(200);   // nothing more may follow
        QCOMPARE(first.payloads, sent);
        QCOMPARE(second.payloads, sent);
        QVERIFY2(lag.maxLagMs() < LagLimitMs, qPrintable(QString::number(lag.maxLagMs())));
        QVERIFY(stallMs == 0 || log.count(QStringLiteral("reading paused")) > 0);
        QCOMPARE(first.disconnectedCount + second.disconnectedCount, 0);

        // What the broker adds, and what it keeps; the wire form is checked apart.
        const QAmqpMessage &bytes = first.messages.first();
        QCOMPARE(first.messages.last().property(QAmqpMessage::ContentType).toString(), QStringLiteral("text/plain"));
        QCOMPARE(bytes.property(QAmqpMessage::ContentType).toString(), QStringLiteral("application/octet-stream"));
        QCOMPARE(bytes.headers(), headers);
        QCOMPARE(bytes.routingKey(), QStringLiteral("any.key"));
        QCOMPARE(bytes.exchangeName(), QStringLiteral("logs"));
        QVERIFY(bytes.isValid() && !bytes.isRedelivered());
    }

    void brokerSideEvents_data()
    {
        QTest::addColumn<QString>("event");
        QTest::newRow("queue deleted") << "delete";
        QTest::newRow("channel closed") << "close";
        QTest::newRow("resource alarm") << "alarm";
    }

    void brokerSideEvents()
    {
        QFETCH(QString, event);
        TRV_REQUIRE_SERVERS();
        DebugCapture log;
        ChainReceiver receiver;
        Publisher publisher;
        QTRY_VERIFY_WITH_TIMEOUT(receiver.readyQueue && publisher.exchange, 10000);
        QAmqpQueue *queue = receiver.readyQueue;
        QSignalSpy cancelled(queue, &QAmqpQueue::cancelled);
        QSignalSpy closed(queue, &QAmqpChannel::closed);
        LoopLagMeter lag;
        // The broker's own tools hold the test's loop; they are not measured.
        const auto control = [&lag](const QString &command, const QString &argument) {
            const bool done = TestEnv::serverControl({QStringLiteral("broker-ctl"), command, argument});
            lag.start();
            return done;
        };
        const QString watermark = QStringLiteral("set_vm_memory_high_watermark");
        lag.start();
        const QByteArray text = event.toLatin1() + ':' + token();

        if (event != QLatin1String("alarm")) {
            if (event == QLatin1String("delete"))
                QVERIFY(control(QStringLiteral("delete_queue"), queue->name()));
            else
                queue->bind(QStringLiteral("no-such-exchange-") + QString::fromLatin1(token()), queue->name());
            QTRY_COMPARE_WITH_TIMEOUT(cancelled.count() + closed.count(), 1, 10000);
            QCOMPARE(cancelled.count(), event == QLatin1String("delete") ? 1 : 0);
            QVERIFY(!queue->isConsuming());
            QCOMPARE(queue->isOpen(), event == QLatin1String("delete"));
            // The consumer is gone but the connection is not.
            QVERIFY(receiver.client->isConnected());
        } else {
            // The broker stops reading a connection that publishes during the
            // alarm: requests wait until it lifts, and nothing is torn down.
            auto restore = qScopeGuard([&] { control(watermark, QStringLiteral("0.4")); });
            QVERIFY(control(watermark, QStringLiteral("0")));
            publisher.exchange->publish(QString::fromLatin1(text), QString());
            QTRY_COMPARE_WITH_TIMEOUT(log.count(QStringLiteral("blocks publishing")), 1, 10000);
            QAmqpQueue *other = publisher.client->createQueue();
            QSignalSpy declared(other, &QAmqpQueue::declared);
            other->declare(QAmqpQueue::Exclusive);
            QTest::qWait(11000);   // longer than a request may wait for its answer
            QVERIFY(control(watermark, QStringLiteral("0.4")));
            restore.dismiss();
            QTRY_COMPARE_WITH_TIMEOUT(declared.count(), 1, 10000);
            QTRY_COMPARE_WITH_TIMEOUT(receiver.count(text), 1, 10000);
            QVERIFY(queue->isConsuming() && publisher.client->isConnected());
        }
        QCOMPARE(receiver.disconnectedCount, 0);
        QVERIFY2(lag.maxLagMs() < LagLimitMs, qPrintable(QString::number(lag.maxLagMs())));
    }

    void connectToHostUsesTheSettingsGiven_data()
    {
        QTest::addColumn<QString>("state");
        QTest::newRow("open: confirmed again") << "open";
        // Lost with no automatic reconnection, and connected again from disconnected().
        QTest::newRow("lost: hung up") << "cut";
        QTest::newRow("lost: peer silent while idle, seen by heartbeats") << "idle";
        QTest::newRow("lost: peer stopped reading amid a send") << "sending";
    }

    void connectToHostUsesTheSettingsGiven()
    {
        QFETCH(QString, state);
        TRV_REQUIRE_SERVERS();
        const auto is = [&state](const char *name) { return state == QLatin1String(name); };
        const bool lost = is("cut") || is("idle") || is("sending");
        DebugCapture log;
        ChainReceiver receiver;
        QTRY_VERIFY_WITH_TIMEOUT(receiver.readyQueue, 10000);
        BrokerRelay proxy(static_cast<quint16>(TestEnv::amqpPort()));
        QAmqpClient client;
        configureClient(&client, lost ? proxy.serverPort() : -1);
        QSignalSpy connected(&client, &QAmqpClient::connected);
        QSignalSpy disconnected(&client, &QAmqpClient::disconnected);
        const QByteArray text = state.toLatin1() + ':' + token();
        QAmqpExchange *exchange = nullptr;
        const auto publish = [&] {
            exchange = client.createExchange(QStringLiteral("logs"));
            exchange->declare(QAmqpExchange::FanOut);
            exchange->publish(QString::fromLatin1(text), QString());
        };
        const bool frozen = is("idle") || is("sending");

        if (lost) {
            client.setAutoReconnect(false);
            connect(&client, &QAmqpClient::disconnected, this, [&client] { configureClient(&client); client.connectToHost(); });
        }
        client.connectToHost();
        if (is("open") || lost)
            QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 10000);
        LoopLagMeter lag;
        lag.start();
        if (is("open")) {
            client.connectToHost();   // as an order dialog's second action does, waiting for connected()
        } else if (is("cut")) {
            proxy.cut();
        } else if (frozen) {
            publish();
            QTRY_COMPARE_WITH_TIMEOUT(receiver.count(text), 1, 10000);
            proxy.freeze();
            for (int i = 0; is("sending") && i < 24; ++i)   // more than the socket buffers on both sides hold
                exchange->publish(QByteArray(1 << 20, 'x'), QString(), QStringLiteral("application/octet-stream"));
        }
        QTRY_COMPARE_WITH_TIMEOUT(disconnected.count(), int(lost), 32000);
        QTRY_COMPARE_WITH_TIMEOUT(connected.count(), is("open") || lost ? 2 : 1, 5000);
        publish();
        QTRY_COMPARE_WITH_TIMEOUT(receiver.count(text), 1 + int(frozen), 5000);
        QTest::qWait(200);
        QCOMPARE(receiver.count(text), 1 + int(frozen));
        QVERIFY2(lag.maxLagMs() < LagLimitMs, qPrintable(QString::number(lag.maxLagMs())));
        // What never went out is told, once.
        QCOMPARE(log.count(QStringLiteral("not published")), int(is("sending")));

        client.disconnect(this);
        client.disconnectFromHost();
        QVERIFY(!client.isConnected());
        QCOMPARE(disconnected.count(), 1 + int(lost));
    }

    void deletingAtAnyMoment_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("attempts");   // in 6.5 s; -1: not counted
        QTest::newRow("never connected") << "idle" << -1;
        QTest::newRow("connecting to a silent listener") << "silent" << 1;   // still waiting for the greeting
        QTest::newRow("retrying a refused port") << "refused" << -1;
        QTest::newRow("retrying a wrong password") << "password" << -1;
        // Attempts at about 0 s, 1 s and 3 s, the next at 7 s: only the back-off
        // keeps them apart, also when the login succeeded each time.
        QTest::newRow("retrying a peer that hangs up at once") << "hangUp" << 3;
        QTest::newRow("retrying a peer that closes right after the login") << "shortLived" << 3;
        QTest::newRow("publish waiting for the connection") << "early" << -1;
        QTest::newRow("publish just made") << "publishing" << -1;
        QTest::newRow("consuming a flood") << "consuming" << -1;
        QTest::newRow("stuck sending to a peer that stopped reading") << "stalled" << -1;
        QTest::newRow("small publishes with large headers to a peer that stopped reading") << "headers" << -1;
        QTest::newRow("after thousands of channels came and went") << "churned" << -1;
    }

    // Clients in every state, failing ones retried quietly; deleting one at any
    // moment leaves nothing behind.
    void deletingAtAnyMoment()
    {
        QFETCH(QString, state);
        QFETCH(int, attempts);
        const auto is = [&state](const char *name) { return state == QLatin1String(name); };
        const bool stalled = is("stalled") || is("headers");
        const bool failing = is("silent") || is("refused") || is("password") || is("hangUp") || is("shortLived");
        const bool offline = is("idle") || is("silent") || is("refused") || is("hangUp") || is("early");
        if (!offline)
            TRV_REQUIRE_SERVERS();
        DebugCapture log;
        QScopedPointer<ChainReceiver> receiver(offline ? nullptr : new ChainReceiver);
        if (!offline)
            QTRY_VERIFY_WITH_TIMEOUT(receiver->isReady(), 10000);
        const int threads = threadCount();
        const int files = openFileCount();

        QScopedPointer<BrokerRelay> proxy(new BrokerRelay(static_cast<quint16>(TestEnv::amqpPort()), 0, is("hangUp") ? 0 : is("shortLived") ? 300 : -1));
        if (is("silent"))
            proxy->freeze();
        const QString wrongPassword = QStringLiteral("wrong-") + QString::fromLatin1(token());
        const int port = stalled || is("silent") || is("hangUp") || is("shortLived") ? proxy->serverPort()
            : is("refused") || is("early") ? refusedPort() : TestEnv::amqpPort();
        // A consumer's client is taken over, to be deleted amid a flood.
        QScopedPointer<ChainReceiver> consumer(is("consuming") ? new ChainReceiver : nullptr);
        // Owned here too, so that a failed check does not leave its worker behind.
        QScopedPointer<QAmqpClient> client(consumer ? std::exchange(consumer->client, nullptr) : new QAmqpClient);
        configureClient(client.data(), port, is("password") ? wrongPassword : QString());
        QSignalSpy connected(client.data(), &QAmqpClient::connected);
        QSignalSpy disconnected(client.data(), &QAmqpClient::disconnected);
        const QByteArray text = "last-words:" + token();
        QAmqpExchange *exchange = client->createExchange(QStringLiteral("logs"));
        QSignalSpy declared(exchange, &QAmqpExchange::declared);
        exchange->declare(QAmqpExchange::FanOut);
        if (is("early"))
            exchange->publish(QString::fromLatin1(text), QString());
        LoopLagMeter lag;
        lag.start();
        if (!is("idle"))
            client->connectToHost();

        if (failing) {
            QTest::qWait(6500);
            if (attempts > 0)
                QVERIFY2(qAbs(proxy->connections() - attempts) <= 1, qPrintable(QString::number(proxy->connections())));
            QCOMPARE(connected.count(), is("shortLived") ? proxy->connections() : 0);
            QVERIFY(!client->isConnected());
            QCOMPARE(log.count(QStringLiteral("cannot connect")) > 0, !is("silent") && !is("shortLived"));
            QCOMPARE(log.count(wrongPassword), 0);
        } else if (offline) {
            QTest::qWait(300);
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(declared.count(), 1, 10000);
        }
        if (is("publishing")) {
            exchange->publish(QString::fromLatin1(text), QString());
        } else if (is("churned")) {
            // Past the broker's highest channel number: numbers must be used again.
            for (int i = 0; i < 2100; ++i)
                delete client->createExchange(QStringLiteral("logs"));
            QAmqpExchange *last = client->createExchange(QStringLiteral("logs"));
            QSignalSpy opened(last, &QAmqpChannel::opened);
            QTRY_COMPARE_WITH_TIMEOUT(opened.count(), 1, 10000);
            QVERIFY(last->channelNumber() < 10);
        } else if (consumer) {
            QTRY_VERIFY_WITH_TIMEOUT(consumer->isReady(), 10000);
            for (int i = 0; i < 3000; ++i)
                receiver->exchange->publish(QStringLiteral("flood %1").arg(i), QString());
            QTRY_VERIFY_WITH_TIMEOUT(!consumer->payloads.isEmpty(), 5000);
        } else if (stalled) {
            proxy->freeze();
            const QAmqpTable headers(QVariantHash{{QStringLiteral("padding"), QByteArray(100000, 'h')}});
            // More than the socket buffers on both sides hold, apart, so that
            // the connection is idle before each one.
            const int size = is("stalled") ? 1 << 20 : 100000;
            for (int sent = 0; sent < (24 << 20); sent += size, QTest::qWait(10)) {
                if (is("stalled"))
                    exchange->publish(QByteArray(size, 'x'), QString(), QStringLiteral("application/octet-stream"));
                else
                    exchange->publish(QByteArray("small"), QString(), QString(), {{QAmqpMessage::Headers, QVariant::fromValue(headers)}});
            }
        }

        QElapsedTimer deleting;
        deleting.start();
        const int signalsBefore = connected.count() + disconnected.count();
        client.reset();
        QVERIFY2(deleting.elapsed() < 50, qPrintable(QString::number(deleting.elapsed())));
        QTRY_COMPARE_WITH_TIMEOUT(threadCount(), threads, 6000);
        // Handed over while the connection was open: it still goes out, once.
        if (receiver)
            QTRY_COMPARE_WITH_TIMEOUT(receiver->count(text), int(is("publishing")), 5000);
        QTest::qWait(200);
        QCOMPARE(connected.count() + disconnected.count(), signalsBefore);
        QVERIFY(!receiver || receiver->disconnectedCount == 0);
        QVERIFY2(lag.maxLagMs() < LagLimitMs, qPrintable(QString::number(lag.maxLagMs())));
        // What could not be sent is told once; nothing else is lost.
        QCOMPARE(log.count(QStringLiteral("not published")), int(stalled || is("early")));

        if (is("silent") || is("refused") || is("publishing")) {
            // A process that never deletes such a client still exits, and cleanly.
            QProcess probe;
            probe.setProcessChannelMode(QProcess::ForwardedChannels);
            probe.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--exit-probe"), QString::number(port), state});
            QVERIFY(probe.waitForFinished(8000));
            QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
            QCOMPARE(probe.exitCode(), 0);
        }
        proxy.reset();
        QTRY_COMPARE_WITH_TIMEOUT(openFileCount(), files, 5000);
    }

private:
    int m_idleThreads = 0;
};

// Ends its event loop while a client it never deletes is connected,
// connecting or retrying: the process must still exit, and cleanly.
static int exitProbe(quint16 port, bool publish)
{
    auto *client = new QAmqpClient(nullptr);
    configureClient(client, port);
    QAmqpExchange *exchange = client->createExchange(QStringLiteral("logs"));
    exchange->declare(QAmqpExchange::FanOut);
    if (publish) {
        exchange->publish(QStringLiteral("exit-probe"), QString());
        QObject::connect(client, &QAmqpClient::connected, &QCoreApplication::quit);
    }
    QTimer::singleShot(publish ? 10000 : 500, [publish] { QCoreApplication::exit(publish ? 3 : 0); });
    client->connectToHost(QString());
    return QCoreApplication::exec();
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--exit-probe") == 0)
        return exitProbe(QByteArray(argv[2]).toUShort(), qstrcmp(argv[3], "publishing") == 0);
    TestAmqpClient test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_amqpclient.moc"
