#include "amqptestsupport.h"
#include "looplag.h"
#include "testenv.h"

#include <QRandomGenerator>
#include <QThread>
#include <QtTest>

// What peers see of the messages: bytes, properties, order, completeness.
class TestAmqpMessaging : public QObject
{
    Q_OBJECT

private slots:
    void fanoutReachesEveryConsumerInOrder();
    void tenThousandMessagesArriveInOrder_data();
    void tenThousandMessagesArriveInOrder();
};

namespace {

// The payloads that start with prefix, in arrival order: other tests may
// share the exchange "logs".
QList<QByteArray> ours(const ChainReceiver &receiver, const QByteArray &prefix)
{
    QList<QByteArray> result;
    for (const QAmqpMessage &message : receiver.messages) {
        if (message.payload().startsWith(prefix))
            result.append(message.payload());
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
    QTRY_VERIFY_WITH_TIMEOUT(first.readyQueue && second.readyQueue && publisher.exchange, 10000);
    QVERIFY2(first.readyQueue->name().startsWith(QLatin1String("amq.gen-")), qPrintable(first.readyQueue->name()));
    QVERIFY(first.readyQueue->name() != second.readyQueue->name());

    const QByteArray tag = token();
    QByteArray everyByte = tag;
    for (int i = 0; i < 256; ++i)
        everyByte.append(char(i));
    QByteArray large(1 << 20, Qt::Uninitialized);
    QRandomGenerator random(20240601);
    for (char &c : large)
        c = char(random.bounded(256));
    large.replace(0, tag.size(), tag);
    const QList<QByteArray> sent = {tag + ":first", tag, tag + QByteArray("\0\0", 2), everyByte, large, tag + ":last"};
    QAmqpTable headers;
    headers.insert(QStringLiteral("loja"), 7);

    LoopLagMeter lag;
    lag.start();
    publisher.exchange->publish(QString::fromLatin1(sent[0]), QString());
    for (int i = 1; i < sent.size() - 1; ++i)
        publisher.exchange->publish(sent[i], QStringLiteral("any.key"), QStringLiteral("application/octet-stream"),
                                    {{QAmqpMessage::Headers, QVariant::fromValue(headers)}});
    publisher.exchange->publish(QString::fromLatin1(sent.last()), QString());

    for (const ChainReceiver *receiver : {&first, &second})
        QTRY_COMPARE_WITH_TIMEOUT(ours(*receiver, tag).size(), sent.size(), 10000);
    QTest::qWait(200);   // nothing more may follow
    QCOMPARE(ours(first, tag), sent);
    QCOMPARE(ours(second, tag), sent);
    QVERIFY2(lag.maxLagMs() < LagLimitMs, qPrintable(QString::number(lag.maxLagMs())));

    // What the broker adds, and what it keeps; the wire form is checked apart.
    const QAmqpMessage &text = first.messages[first.messages.size() - 1];
    const QAmqpMessage &binary = first.messages[first.messages.size() - 2];
    QCOMPARE(text.property(QAmqpMessage::ContentType).toString(), QStringLiteral("text/plain"));
    QCOMPARE(binary.property(QAmqpMessage::ContentType).toString(), QStringLiteral("application/octet-stream"));
    QCOMPARE(binary.headers(), headers);
    QCOMPARE(binary.routingKey(), QStringLiteral("any.key"));
    QCOMPARE(binary.exchangeName(), QStringLiteral("logs"));
    QVERIFY(binary.isValid() && !binary.isRedelivered());
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
    QTRY_VERIFY_WITH_TIMEOUT(receiver.readyQueue && publisher.exchange, 10000);

    const QByteArray prefix = token() + ':';
    QList<QByteArray> sent;
    LoopLagMeter lag;
    lag.start();
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
    QTRY_COMPARE_WITH_TIMEOUT(ours(receiver, prefix).size(), sent.size(), 60000);
    QCOMPARE(ours(receiver, prefix), sent);
    QVERIFY2(lag.maxLagMs() < LagLimitMs, qPrintable(QString::number(lag.maxLagMs())));
    QVERIFY(stallMs == 0 || log.count(QStringLiteral("reading paused")) > 0);
    QCOMPARE(receiver.disconnectedCount, 0);
}

QTEST_MAIN(TestAmqpMessaging)
#include "tst_amqpmessaging.moc"
