#include "qamqpcodec.h"

#include <QtTest>

// Field tables and message properties through their wire form, no broker.
class TestAmqpCodec : public QObject
{
    Q_OBJECT

private slots:
    void tableValueRoundTrip_data();
    void tableValueRoundTrip();
    void propertiesRoundTrip();
    void oversizedOrDamagedInputIsRefused();
};

void TestAmqpCodec::tableValueRoundTrip_data()
{
    QTest::addColumn<QVariant>("sent");
    QTest::addColumn<QVariant>("received");   // wider types come back widened
    QAmqpTable nested;
    nested.insert(QStringLiteral("loja"), 7);
    const QDateTime stamp = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
    QTest::newRow("utf-8 text") << QVariant(QStringLiteral("pão de queijo")) << QVariant(QStringLiteral("pão de queijo"));
    QTest::newRow("empty text") << QVariant(QString()) << QVariant(QString());
    QTest::newRow("int") << QVariant(-1520) << QVariant(-1520);
    QTest::newRow("64-bit") << QVariant(qint64(1) << 40) << QVariant(qlonglong(1) << 40);
    QTest::newRow("unsigned 32-bit") << QVariant(4000000000u) << QVariant(qlonglong(4000000000u));
    QTest::newRow("unsigned 64-bit") << QVariant(~quint64(0)) << QVariant(qulonglong(~quint64(0)));
    QTest::newRow("bool") << QVariant(true) << QVariant(true);
    QTest::newRow("double") << QVariant(0.25) << QVariant(0.25);
    QTest::newRow("bytes with a zero") << QVariant(QByteArray("a\0b", 3)) << QVariant(QByteArray("a\0b", 3));
    QTest::newRow("timestamp") << QVariant(stamp) << QVariant(stamp);
    QTest::newRow("list") << QVariant(QVariantList{1, QStringLiteral("two")}) << QVariant(QVariantList{1, QStringLiteral("two")});
    QTest::newRow("nested table") << QVariant::fromValue(nested) << QVariant(QVariantHash(nested));
    QTest::newRow("void") << QVariant() << QVariant();
}

void TestAmqpCodec::tableValueRoundTrip()
{
    QFETCH(QVariant, sent);
    QFETCH(QVariant, received);
    QAmqpTable table;
    table.insert(QStringLiteral("before"), 1);
    table.insert(QStringLiteral("value"), sent);
    table.insert(QStringLiteral("after"), QStringLiteral("x"));
    QAmqpTable decoded;
    QVERIFY(qamqpDecodeTable(qamqpEncodeTable(table), &decoded));
    QCOMPARE(decoded.size(), 3);
    QCOMPARE(decoded.value(QStringLiteral("value")).userType(), received.userType());
    QCOMPARE(decoded.value(QStringLiteral("value")), received);
    QCOMPARE(decoded.value(QStringLiteral("after")).toString(), QStringLiteral("x"));
}

void TestAmqpCodec::propertiesRoundTrip()
{
    QAmqpTable headers;
    headers.insert(QStringLiteral("loja"), 7);
    QAmqpMessage::PropertyHash sent = {
        {QAmqpMessage::Headers, QVariant::fromValue(headers)},
        {QAmqpMessage::DeliveryMode, 2},
        {QAmqpMessage::Priority, 9},
        {QAmqpMessage::Timestamp, QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC)},
    };
    // Every other property is a short text.
    for (int flag = QAmqpMessage::ContentType; flag >= QAmqpMessage::ClusterID; flag >>= 1) {
        if (!sent.contains(QAmqpMessage::Property(flag)))
            sent.insert(QAmqpMessage::Property(flag), QStringLiteral("v%1").arg(flag));
    }
    QCOMPARE(sent.size(), 14);
    QAmqpMessage::PropertyHash decoded;
    QVERIFY(qamqpDecodeProperties(qamqpEncodeProperties(sent), &decoded));
    QCOMPARE(decoded.value(QAmqpMessage::Headers).value<QAmqpTable>(), headers);
    decoded.insert(QAmqpMessage::Headers, sent.value(QAmqpMessage::Headers));
    QCOMPARE(decoded, sent);

    // Only what was set comes back.
    QVERIFY(qamqpDecodeProperties(qamqpEncodeProperties({{QAmqpMessage::AppId, QStringLiteral("a")}}), &decoded));
    QCOMPARE(decoded.keys(), QList<QAmqpMessage::Property>{QAmqpMessage::AppId});
}

void TestAmqpCodec::oversizedOrDamagedInputIsRefused()
{
    QAmqpTable big;
    big.insert(QStringLiteral("big"), QString(200000, QLatin1Char('x')));
    QVERIFY(qamqpEncodeTable(big).isEmpty());
    QVERIFY(qamqpEncodeProperties({{QAmqpMessage::Headers, QVariant::fromValue(big)}}).isEmpty());

    QAmqpTable table;
    table.insert(QStringLiteral("text"), QStringLiteral("abc"));
    const QByteArray wire = qamqpEncodeTable(table);
    QAmqpTable decoded;
    QVERIFY(!qamqpDecodeTable(wire.left(wire.size() - 1), &decoded));
    QVERIFY(!qamqpDecodeTable(wire + "x", &decoded));
}

QTEST_APPLESS_MAIN(TestAmqpCodec)
#include "tst_amqpcodec.moc"
