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
    void everyConsumerGetsEverythingInOrder_data();
    void everyConsumerGetsEverythingInOrder();
};

// The payloads that start with prefix, in arrival order.
static QList<QByteArray> ours(const ChainReceiver &receiver, const QByteArray &prefix)
{
    QList<QByteArray> result;
    for (const QByteArray &payload : receiver.payloads) {
        if (payload.startsWith(prefix))
            result.append(payload);
    }
    return result;
}

void TestAmqpMessaging::everyConsumerGetsEverythingInOrder_data()
{
    QTest::addColumn<int>("stallMs");
    QTest::newRow("receivers keep up") << 0;
    QTest::newRow("receivers' thread stalls") << 3000;
}

void TestAmqpMessaging::everyConsumerGetsEverythingInOrder()
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
    QAmqpTable headers;
    headers.insert(QStringLiteral("loja"), 7);
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
        QTRY_COMPARE_WITH_TIMEOUT(ours(*receiver, prefix).size(), sent.size(), 60000);
    QTest::qWait(200);   // nothing more may follow
    QCOMPARE(ours(first, prefix), sent);
    QCOMPARE(ours(second, prefix), sent);
    QVERIFY2(lag.maxLagMs() < LagLimitMs, qPrintable(QString::number(lag.maxLagMs())));
    QVERIFY(stallMs == 0 || log.count(QStringLiteral("reading paused")) > 0);
    QCOMPARE(first.disconnectedCount + second.disconnectedCount, 0);

    // What the broker adds, and what it keeps; the wire form is checked apart.
    const QAmqpMessage &text = first.messages.last();
    const QAmqpMessage &bytes = first.messages[first.messages.size() - sent.size()];
    QCOMPARE(text.property(QAmqpMessage::ContentType).toString(), QStringLiteral("text/plain"));
    QCOMPARE(bytes.property(QAmqpMessage::ContentType).toString(), QStringLiteral("application/octet-stream"));
    QCOMPARE(bytes.headers(), headers);
    QCOMPARE(bytes.routingKey(), QStringLiteral("any.key"));
    QCOMPARE(bytes.exchangeName(), QStringLiteral("logs"));
    QVERIFY(bytes.isValid() && !bytes.isRedelivered());
}

QTEST_MAIN(TestAmqpMessaging)
#include "tst_amqpmessaging.moc"
