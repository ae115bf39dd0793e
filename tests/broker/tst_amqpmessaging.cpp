#include "amqptestsupport.h"
#include "looplag.h"
#include "testenv.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

// What peers see of the messages: bytes, order, completeness, queue naming.
class TestAmqpMessaging : public QObject
{
    Q_OBJECT

private slots:
    void fanoutReachesEveryConsumerInOrder();
    void tenThousandMessagesArriveInOrder_data();
    void tenThousandMessagesArriveInOrder();
    void publishMadeBeforeTheConnectionOpensIsSentOnce();
    void propertiesSurviveTheTrip();
};

namespace {

// The payloads of `received` that belong to `sent`, in arrival order: other
// tests may share the exchange "logs".
QList<QByteArray> ours(const QList<QByteArray> &received, const QList<QByteArray> &sent)
{
    QList<QByteArray> result;
    for (const QByteArray &payload : received) {
        if (sent.contains(payload))
            result.append(payload);
    }
    return result;
}

QString lagText(const LoopLagMeter &lag)
{
    return QStringLiteral("event loop held %1 ms").arg(lag.maxLagMs());
}

} // namespace

void TestAmqpMessaging::fanoutReachesEveryConsumerInOrder()
{
    TRV_REQUIRE_SERVERS();
    ChainReceiver first;
    ChainReceiver second;
    Publisher publisher;
    QTRY_VERIFY_WITH_TIMEOUT(first.isReady() && second.isReady() && publisher.ready, 10000);
    QVERIFY2(first.readyQueue->name().startsWith(QLatin1String("amq.gen-")), qPrintable(first.readyQueue->name()));
    QVERIFY(first.readyQueue->name() != second.readyQueue->name());

    const QByteArray tag = token();
    QByteArray everyByte;
    for (int i = 0; i < 256; ++i)
        everyByte.append(char(i));
    QByteArray large(1 << 20, Qt::Uninitialized);
    QRandomGenerator random(20240601);
    for (char &c : large)
        c = char(random.bounded(256));
    large.replace(0, tag.size(), tag);
    const QList<QByteArray> sent = {
        "fanout-first:" + tag,
        QByteArray(),
        QByteArray("\0\0" + tag + "\0", tag.size() + 3),
        everyByte + tag,
        large,
        "fanout-last:" + tag,
    };

    LoopLagMeter lag;
    lag.start();
    publisher.exchange->publish(QString::fromLatin1(sent[0]), QString());
    for (int i = 1; i < sent.size() - 1; ++i)
        publisher.exchange->publish(sent[i], QString(), QStringLiteral("application/octet-stream"));
    publisher.exchange->publish(QString::fromLatin1(sent.last()), QString());

    QTRY_COMPARE_WITH_TIMEOUT(ours(first.payloads, sent).size(), sent.size(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(ours(second.payloads, sent).size(), sent.size(), 10000);
    QTest::qWait(200);   // nothing more may follow
    QCOMPARE(ours(first.payloads, sent), sent);
    QCOMPARE(ours(second.payloads, sent), sent);
    QVERIFY2(lag.maxLagMs() < LagLimitMs, qPrintable(lagText(lag)));
}

void TestAmqpMessaging::tenThousandMessagesArriveInOrder_data()
{
    QTest::addColumn<int>("stallMs");
    QTest::newRow("receiver keeps up") << 0;
    QTest::newRow("receiver's thread stalls") << 3000;
}

void TestAmqpMessaging::tenThousandMessagesArriveInOrder()
{
    QFETCH(int, stallMs);
    TRV_REQUIRE_SERVERS();
    DebugCapture log;
    ChainReceiver receiver;
    Publisher publisher;
    QTRY_VERIFY_WITH_TIMEOUT(receiver.isReady() && publisher.ready, 10000);

    const QByteArray prefix = token() + ':';
    QList<QByteArray> sent;
    for (int i = 0; i < 10000; ++i)
        sent.append(prefix + QByteArray::number(i));
    LoopLagMeter lag;
    lag.start();
    // In slices, as a GUI would: the test must not hold its own loop either.
    for (int i = 0; i < sent.size(); ++i) {
        publisher.exchange->publish(QString::fromLatin1(sent[i]), QString());
        if (i % 500 == 499)
            QCoreApplication::processEvents();
    }
    if (stallMs > 0) {
        // Deliveries pile up meanwhile: the worker stops reading at its
        // bound and says so, and the broker keeps the rest.
        QThread::msleep(ulong(stallMs));
        lag.start();
    }
    const auto arrived = [&] {
        QList<QByteArray> result;
        for (const QByteArray &payload : qAsConst(receiver.payloads)) {
            if (payload.startsWith(prefix))
                result.append(payload);
        }
        return result;
    };
    QTRY_COMPARE_WITH_TIMEOUT(arrived().size(), sent.size(), 60000);
    QCOMPARE(arrived(), sent);
    QVERIFY2(lag.maxLagMs() < LagLimitMs, qPrintable(lagText(lag)));
    if (stallMs > 0)
        QVERIFY(log.count(QStringLiteral("reading paused")) > 0);
    QCOMPARE(receiver.disconnectedCount, 0);
}

void TestAmqpMessaging::publishMadeBeforeTheConnectionOpensIsSentOnce()
{
    TRV_REQUIRE_SERVERS();
    ChainReceiver receiver;
    QTRY_VERIFY_WITH_TIMEOUT(receiver.isReady(), 10000);

    const QByteArray text = "early:" + token();
    QAmqpClient client;
    configureClient(&client);
    QAmqpExchange *exchange = client.createExchange(QStringLiteral("logs"));
    QSignalSpy declared(exchange, SIGNAL(declared()));
    exchange->declare(QAmqpExchange::FanOut);
    exchange->publish(QString::fromLatin1(text), QString());
    client.connectToHost(QString());

    QTRY_COMPARE_WITH_TIMEOUT(receiver.payloads.count(text), 1, 10000);
    QCOMPARE(declared.count(), 1);
    QTest::qWait(300);
    QCOMPARE(receiver.payloads.count(text), 1);
}

// The wire form is checked without a broker; this is what the broker adds.
void TestAmqpMessaging::propertiesSurviveTheTrip()
{
    TRV_REQUIRE_SERVERS();
    ChainReceiver receiver;
    Publisher publisher;
    QTRY_VERIFY_WITH_TIMEOUT(receiver.isReady() && publisher.ready, 10000);
    QAmqpQueue *queue = receiver.readyQueue;
    disconnect(queue, SIGNAL(messageReceived()), &receiver, SLOT(messageReceived()));
    QList<QAmqpMessage> messages;
    connect(queue, &QAmqpQueue::messageReceived, this, [&] { messages.append(queue->dequeue()); });

    const QByteArray body = "with-properties:" + token();
    const QByteArray text = "plain:" + token();
    QAmqpTable headers;
    headers.insert(QStringLiteral("loja"), 7);
    publisher.exchange->publish(body, QStringLiteral("any.key"), QStringLiteral("application/x-test"),
                                {{QAmqpMessage::Headers, QVariant::fromValue(headers)}});
    publisher.exchange->publish(QString::fromLatin1(text), QString());
    QTRY_VERIFY_WITH_TIMEOUT(messages.size() >= 2 && messages.last().payload() == text, 5000);
    const QAmqpMessage &received = messages[messages.size() - 2];
    QCOMPARE(received.payload(), body);
    QCOMPARE(received.property(QAmqpMessage::ContentType).toString(), QStringLiteral("application/x-test"));
    QCOMPARE(received.headers(), headers);
    QCOMPARE(received.routingKey(), QStringLiteral("any.key"));
    QCOMPARE(received.exchangeName(), QStringLiteral("logs"));
    QVERIFY(received.isValid() && !received.isRedelivered());
    // A plain text gets a text content type.
    QCOMPARE(messages.last().property(QAmqpMessage::ContentType).toString(), QStringLiteral("text/plain"));
}

QTEST_MAIN(TestAmqpMessaging)
#include "tst_amqpmessaging.moc"
