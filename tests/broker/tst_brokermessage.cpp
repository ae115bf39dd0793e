#include "brokermessage.h"
#include "messageinbox.h"
#include "qamqpcodec.h"
#include "rowtable.h"

namespace {

// matches: isFor(kind, store); order: remembered as the last announced order, -1: none;
// changes: closes an open dialog of store's order 1520.
const struct Reading { const char *name; QByteArray payload; const char *kind; int store; bool matches; int order; bool changes; } readings[] = {
    {"new order for the store", "pedido_novo:7:1520:0", "pedido_novo", 7, true, 1520, false},
    {"new order for another store", "pedido_novo:7:1520:0", "pedido_novo", 8, false, 1520, false},
    {"a console's echo", "status:7:1520:1", "status", 7, true, 1520, true},
    {"approved by the service", "aprovado:7:1520:1", "aprovado", 7, true, 1520, true},
    {"three fields: a change, no number", "cancelado:7:1520", "cancelado", 7, true, -1, true},
    {"two fields are enough for the kind", "aprovado:7", "aprovado", 7, true, -1, false},
    {"one field is not", "aprovado", "aprovado", 0, false, -1, false},
    {"store status names no order", "statussite:7:1520:5", "statussite", 7, true, -1, false},
    {"closing names no order", "closeloja:sete:1520:4", "closeloja", 0, true, -1, false},
    {"unknown kind", "promocao:7:1520:1", "promocao", 7, true, -1, false},
    {"capital letter", "Status:7:1520:1", "status", 7, false, -1, false},
    {"text stops at a zero byte", QByteArray("status:7\0:1520:1", 16), "status", 7, true, -1, false},
    {"empty", QByteArray(), "", 0, false, -1, false},
};

} // namespace

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

    void reading_data() { addRows(readings); }
    void reading()
    {
        QFETCH(int, row);
        const Reading &r = readings[row];
        const BrokerMessage message(BrokerMessage::textOfPayload(r.payload));
        QCOMPARE(message.isFor(QLatin1String(r.kind), r.store), r.matches);
        QCOMPARE(message.carriesOrder(), r.order >= 0);
        if (r.order >= 0)
            QCOMPARE(message.order(), r.order);
        QCOMPARE(message.changesOrder() && message.store() == r.store && message.order() == 1520, r.changes);
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
