#include "brokermessage.h"
#include "messageinbox.h"
#include "qamqpcodec.h"

#include <QtTest>

// What comes over the wire and how it is read, with no broker: field tables
// (the client's capabilities), and the service's texts.
class TestBrokerMessage : public QObject
{
    Q_OBJECT

private slots:
    void tableValueRoundTrip_data()
    {
        QTest::addColumn<QVariant>("sent");
        QTest::addColumn<QVariant>("received");   // wider types come back widened
        const QAmqpTable nested(QVariantHash{{QStringLiteral("loja"), 7}});
        QTest::newRow("utf-8 text") << QVariant(QStringLiteral("pão de queijo")) << QVariant(QStringLiteral("pão de queijo"));
        QTest::newRow("bool") << QVariant(true) << QVariant(true);
        QTest::newRow("bytes with a zero") << QVariant(QByteArray("a\0b", 3)) << QVariant(QByteArray("a\0b", 3));
        QTest::newRow("nested table") << QVariant::fromValue(nested) << QVariant(QVariantHash(nested));
    }

    void tableValueRoundTrip()
    {
        QFETCH(QVariant, sent);
        QFETCH(QVariant, received);
        const QAmqpTable table(QVariantHash{{QStringLiteral("before"), 1}, {QStringLiteral("value"), sent}, {QStringLiteral("after"), QStringLiteral("x")}});
        const QByteArray wire = qamqpEncodeTable(table);
        QAmqpTable decoded;
        // Cut short or followed by more, it is refused.
        QVERIFY(!qamqpDecodeTable(wire.left(wire.size() - 1), &decoded));
        QVERIFY(!qamqpDecodeTable(wire + "x", &decoded));
        QVERIFY(qamqpDecodeTable(wire, &decoded));
        QCOMPARE(decoded.size(), 3);
        QCOMPARE(decoded.value(QStringLiteral("value")).userType(), received.userType());
        QCOMPARE(decoded.value(QStringLiteral("value")), received);
        QCOMPARE(decoded.value(QStringLiteral("after")).toString(), QStringLiteral("x"));
    }

    void oversizedPropertiesAreRefused()
    {
        // Too big for a frame: refused, not cut.
        const QAmqpTable big(QVariantHash{{QStringLiteral("big"), QString(200000, QLatin1Char('x'))}});
        QVERIFY(qamqpEncodeTable(big).isEmpty());
        QVERIFY(qamqpEncodeProperties({{QAmqpMessage::Headers, QVariant::fromValue(big)}}).isEmpty());
    }

    void reading_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("store");
        QTest::addColumn<bool>("matches");
        QTest::addColumn<int>("order");     // remembered as the last announced order; -1: none
        QTest::addColumn<bool>("changes");  // closes an open dialog of store's order 1520
        QTest::newRow("new order for the store") << QByteArray("pedido_novo:7:1520:0") << "pedido_novo" << 7 << true << 1520 << false;
        QTest::newRow("new order for another store") << QByteArray("pedido_novo:7:1520:0") << "pedido_novo" << 8 << false << 1520 << false;
        QTest::newRow("a console's echo") << QByteArray("status:7:1520:1") << "status" << 7 << true << 1520 << true;
        QTest::newRow("approved by the service") << QByteArray("aprovado:7:1520:1") << "aprovado" << 7 << true << 1520 << true;
        QTest::newRow("three fields: a change, no number") << QByteArray("cancelado:7:1520") << "cancelado" << 7 << true << -1 << true;
        QTest::newRow("two fields are enough for the kind") << QByteArray("aprovado:7") << "aprovado" << 7 << true << -1 << false;
        QTest::newRow("one field is not") << QByteArray("aprovado") << "aprovado" << 0 << false << -1 << false;
        QTest::newRow("store status names no order") << QByteArray("statussite:7:1520:5") << "statussite" << 7 << true << -1 << false;
        QTest::newRow("closing names no order") << QByteArray("closeloja:sete:1520:4") << "closeloja" << 0 << true << -1 << false;
        QTest::newRow("unknown kind") << QByteArray("promocao:7:1520:1") << "promocao" << 7 << true << -1 << false;
        QTest::newRow("capital letter") << QByteArray("Status:7:1520:1") << "status" << 7 << false << -1 << false;
        QTest::newRow("text stops at a zero byte") << QByteArray("status:7\0:1520:1", 16) << "status" << 7 << true << -1 << false;
        QTest::newRow("empty") << QByteArray() << "" << 0 << false << -1 << false;
    }

    void reading()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QString, kind);
        QFETCH(int, store);
        QFETCH(bool, matches);
        QFETCH(int, order);
        QFETCH(bool, changes);
        const BrokerMessage message(BrokerMessage::textOfPayload(payload));
        QCOMPARE(message.isFor(kind, store), matches);
        QCOMPARE(message.carriesOrder(), order >= 0);
        if (order >= 0)
            QCOMPARE(message.order(), order);
        QCOMPARE(message.changesOrder() && message.store() == store && message.order() == 1520, changes);
    }

    void inboxDropsOnlyBeyondItsCap()
    {
        MessageInbox inbox;
        for (int i = 0; i < MessageInbox::capacity + 2; ++i)
            inbox.push(QString::number(i));
        QCOMPARE(inbox.size(), MessageInbox::capacity);
        QCOMPARE(inbox.takeFirst(), QStringLiteral("2"));
    }
};

QTEST_APPLESS_MAIN(TestBrokerMessage)
#include "tst_brokermessage.moc"
