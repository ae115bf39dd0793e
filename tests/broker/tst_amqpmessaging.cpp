#include "amqptestsupport.h"
#include "looplag.h"
#include "testenv.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QUuid>
#include <QtTest>

// What peers see of the messages: bytes, order, completeness, queue naming.
class TestAmqpMessaging : public QObject
{
    Q_OBJECT

private slots:
    void fanoutReachesEveryConsumerInOrder();
    void serverNamedQueueIsExclusive();
    void tenThousandMessagesArriveInOrder();
    void publishMadeBeforeTheConnectionOpensIsSentOnce();
    void propertiesAndHeadersSurviveTheTrip();
    void connectToHostOnAnOpenConnectionConfirmsIt();
};

namespace {

QByteArray token()
{
    return QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
}

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

QList<QByteArray> withPrefix(const QList<QByteArray> &received, const QByteArray &prefix)
{
    QList<QByteArray> result;
    for (const QByteArray &payload : received) {
        if (payload.startsWith(prefix))
            result.append(payload);
    }
    return result;
}

} // namespace

void TestAmqpMessaging::fanoutReachesEveryConsumerInOrder()
{
    TRV_REQUIRE_SERVERS();
    ChainReceiver first;
    ChainReceiver second;
    Publisher publisher;
    QTRY_VERIFY_WITH_TIMEOUT(first.isReady() && second.isReady() && publisher.ready, 10000);

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
    publisher.exchange->publish(QString::fromLatin1(sent[0]), QString(), QAmqpMessage::PropertyHash(), 0);
    for (int i = 1; i < sent.size() - 1; ++i)
        publisher.exchange->publish(sent[i], QString(), QStringLiteral("application/octet-stream"));
    publisher.exchange->publish(QString::fromLatin1(sent.last()), QString(), QAmqpMessage::PropertyHash(), 0);

    QTRY_COMPARE_WITH_TIMEOUT(ours(first.payloads, sent).size(), sent.size(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(ours(second.payloads, sent).size(), sent.size(), 10000);
    QTest::qWait(200);   // nothing more may follow
    QCOMPARE(ours(first.payloads, sent), sent);
    QCOMPARE(ours(second.payloads, sent), sent);
    QVERIFY2(lag.maxLagMs() < 50, qPrintable(QStringLiteral("event loop held %1 ms").arg(lag.maxLagMs())));
}

void TestAmqpMessaging::serverNamedQueueIsExclusive()
{
    TRV_REQUIRE_SERVERS();
    ChainReceiver owner;
    ChainReceiver other;
    QTRY_VERIFY_WITH_TIMEOUT(owner.isReady() && other.isReady(), 10000);

    const QString name = owner.readyQueue->name();
    QVERIFY2(name.startsWith(QLatin1String("amq.gen-")), qPrintable(name));
    QVERIFY(name != other.readyQueue->name());

    // Another connection may not use it; the broker closes that channel only.
    QAmqpQueue *intruder = other.client->createQueue(name);
    QSignalSpy declared(intruder, SIGNAL(declared()));
    QSignalSpy closed(intruder, SIGNAL(closed()));
    intruder->declare(QAmqpQueue::Passive);
    QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, 5000);
    QCOMPARE(declared.count(), 0);
    QVERIFY(!intruder->isOpen());
    QVERIFY(other.client->isConnected());

    // The rest of that connection still works.
    Publisher publisher;
    QTRY_VERIFY_WITH_TIMEOUT(publisher.ready, 10000);
    const QByteArray text = "after-refusal:" + token();
    publisher.exchange->publish(QString::fromLatin1(text), QString());
    QTRY_VERIFY_WITH_TIMEOUT(other.payloads.contains(text), 5000);
}

void TestAmqpMessaging::tenThousandMessagesArriveInOrder()
{
    TRV_REQUIRE_SERVERS();
    ChainReceiver receiver;
    Publisher publisher;
    QTRY_VERIFY_WITH_TIMEOUT(receiver.isReady() && publisher.ready, 10000);

    const QByteArray prefix = token() + ':';
    const int total = 10000;
    QList<QByteArray> sent;
    sent.reserve(total);
    for (int i = 0; i < total; ++i)
        sent.append(prefix + QByteArray::number(i));

    LoopLagMeter lag;
    lag.start();
    // In slices, as a GUI would: the test must not hold its own loop either.
    for (int i = 0; i < total; ++i) {
        publisher.exchange->publish(QString::fromLatin1(sent[i]), QString(), QAmqpMessage::PropertyHash(), 0);
        if (i % 500 == 499)
            QCoreApplication::processEvents();
    }
    QTRY_COMPARE_WITH_TIMEOUT(withPrefix(receiver.payloads, prefix).size(), total, 60000);
    QCOMPARE(withPrefix(receiver.payloads, prefix), sent);
    QVERIFY2(lag.maxLagMs() < 50, qPrintable(QStringLiteral("event loop held %1 ms").arg(lag.maxLagMs())));
}

void TestAmqpMessaging::publishMadeBeforeTheConnectionOpensIsSentOnce()
{
    TRV_REQUIRE_SERVERS();
    ChainReceiver receiver;
    QTRY_VERIFY_WITH_TIMEOUT(receiver.isReady(), 10000);

    const QByteArray text = "early:" + token();
    QAmqpClient client;
    configureClient(&client);
    QSignalSpy connected(&client, SIGNAL(connected()));
    QAmqpExchange *exchange = client.createExchange(QStringLiteral("logs"));
    QSignalSpy declared(exchange, SIGNAL(declared()));
    exchange->declare(QAmqpExchange::FanOut);
    exchange->publish(QString::fromLatin1(text), QString());
    QVERIFY(!client.isConnected());
    client.connectToHost(QString());

    QTRY_COMPARE_WITH_TIMEOUT(receiver.payloads.count(text), 1, 10000);
    QCOMPARE(connected.count(), 1);
    QCOMPARE(declared.count(), 1);
    QTest::qWait(300);
    QCOMPARE(receiver.payloads.count(text), 1);
}

void TestAmqpMessaging::propertiesAndHeadersSurviveTheTrip()
{
    TRV_REQUIRE_SERVERS();
    ChainReceiver receiver;
    Publisher publisher;
    QTRY_VERIFY_WITH_TIMEOUT(receiver.isReady() && publisher.ready, 10000);
    QAmqpQueue *queue = receiver.readyQueue;
    // This test takes the messages itself, whole.
    disconnect(queue, SIGNAL(messageReceived()), &receiver, SLOT(messageReceived()));
    QList<QAmqpMessage> messages;
    connect(queue, &QAmqpQueue::messageReceived, this, [&] { messages.append(queue->dequeue()); });
    const auto find = [&](const QByteArray &body) {
        for (const QAmqpMessage &m : qAsConst(messages)) {
            if (m.payload() == body)
                return m;
        }
        return QAmqpMessage();
    };
    const QByteArray body = "with-properties:" + token();

    QAmqpTable nested;
    nested.insert(QStringLiteral("loja"), 7);
    QAmqpTable headers;
    headers.insert(QStringLiteral("text"), QStringLiteral("pão de queijo"));
    headers.insert(QStringLiteral("small"), 1520);
    headers.insert(QStringLiteral("big"), qint64(1) << 40);
    headers.insert(QStringLiteral("flag"), true);
    headers.insert(QStringLiteral("ratio"), 0.25);
    headers.insert(QStringLiteral("raw"), QByteArray("a\0b", 3));
    headers.insert(QStringLiteral("list"), QVariantList{1, QStringLiteral("two")});
    headers.insert(QStringLiteral("nested"), QVariant::fromValue(nested));
    const QDateTime stamp = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
    QAmqpMessage::PropertyHash properties;
    properties.insert(QAmqpMessage::Headers, QVariant::fromValue(headers));
    properties.insert(QAmqpMessage::MessageId, QStringLiteral("m-1"));
    properties.insert(QAmqpMessage::Timestamp, stamp);
    properties.insert(QAmqpMessage::DeliveryMode, 2);
    publisher.exchange->publish(body, QStringLiteral("any.key"), QStringLiteral("application/x-test"), properties);

    QTRY_VERIFY_WITH_TIMEOUT(find(body).isValid(), 5000);
    const QAmqpMessage received = find(body);
    QCOMPARE(received.property(QAmqpMessage::ContentType).toString(), QStringLiteral("application/x-test"));
    QCOMPARE(received.property(QAmqpMessage::MessageId).toString(), QStringLiteral("m-1"));
    QCOMPARE(received.property(QAmqpMessage::Timestamp).toDateTime(), stamp);
    QCOMPARE(received.property(QAmqpMessage::DeliveryMode).toInt(), 2);
    QCOMPARE(received.routingKey(), QStringLiteral("any.key"));
    QCOMPARE(received.exchangeName(), QStringLiteral("logs"));
    const QAmqpTable got = received.headers();
    QCOMPARE(got.value(QStringLiteral("text")).toString(), QStringLiteral("pão de queijo"));
    QCOMPARE(got.value(QStringLiteral("small")).toInt(), 1520);
    QCOMPARE(got.value(QStringLiteral("big")).toLongLong(), qint64(1) << 40);
    QCOMPARE(got.value(QStringLiteral("flag")).toBool(), true);
    QCOMPARE(got.value(QStringLiteral("ratio")).toDouble(), 0.25);
    QCOMPARE(got.value(QStringLiteral("raw")).toByteArray(), QByteArray("a\0b", 3));
    QCOMPARE(got.value(QStringLiteral("list")).toList(), (QVariantList{1, QStringLiteral("two")}));
    QCOMPARE(got.value(QStringLiteral("nested")).toHash().value(QStringLiteral("loja")).toInt(), 7);

    // A plain text gets a text content type.
    const QByteArray text = "plain:" + token();
    publisher.exchange->publish(QString::fromLatin1(text), QString());
    QTRY_VERIFY_WITH_TIMEOUT(find(text).isValid(), 5000);
    QCOMPARE(find(text).property(QAmqpMessage::ContentType).toString(), QStringLiteral("text/plain"));
}

void TestAmqpMessaging::connectToHostOnAnOpenConnectionConfirmsIt()
{
    TRV_REQUIRE_SERVERS();
    ChainReceiver receiver;
    QTRY_VERIFY_WITH_TIMEOUT(receiver.isReady(), 10000);

    // An order dialog's second action connects again on an open client and
    // waits for connected() to publish.
    QAmqpClient client;
    configureClient(&client);
    QSignalSpy connected(&client, SIGNAL(connected()));
    QSignalSpy disconnected(&client, SIGNAL(disconnected()));
    client.connectToHost(QString());
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 10000);
    client.connectToHost(QString());
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 2, 2000);
    QCOMPARE(disconnected.count(), 0);

    const QByteArray text = "second-action:" + token();
    QAmqpExchange *exchange = client.createExchange(QStringLiteral("logs"));
    exchange->declare(QAmqpExchange::FanOut);
    exchange->publish(QString::fromLatin1(text), QString());
    QTRY_COMPARE_WITH_TIMEOUT(receiver.payloads.count(text), 1, 5000);

    client.disconnectFromHost();
    QCOMPARE(disconnected.count(), 1);
    QVERIFY(!client.isConnected());
    QTest::qWait(200);
    QCOMPARE(disconnected.count(), 1);
}

QTEST_MAIN(TestAmqpMessaging)
#include "tst_amqpmessaging.moc"
