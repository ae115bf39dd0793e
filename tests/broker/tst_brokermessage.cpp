#include "brokermessage.h"
#include "messageinbox.h"

#include <QtTest>

// Reading the service's texts: which rule a message triggers for a store.
class TestBrokerMessage : public QObject
{
    Q_OBJECT

private slots:
    void kindAndStore_data();
    void kindAndStore();
    void orderNumber_data();
    void orderNumber();
    void payloadText_data();
    void payloadText();
    void inboxDropsOnlyBeyondItsCap();
};

void TestBrokerMessage::kindAndStore_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("store");
    QTest::addColumn<bool>("matches");
    QTest::newRow("new order for the store") << "pedido_novo:7:1520:0" << "pedido_novo" << 7 << true;
    QTest::newRow("new order for another store") << "pedido_novo:7:1520:0" << "pedido_novo" << 8 << false;
    QTest::newRow("two fields are enough") << "aprovado:7" << "aprovado" << 7 << true;
    QTest::newRow("one field is not") << "aprovado" << "aprovado" << 0 << false;
    QTest::newRow("capital letter") << "Aprovado:7" << "aprovado" << 7 << false;
    QTest::newRow("blank before the colon") << "aprovado :7" << "aprovado" << 7 << false;
    QTest::newRow("store not a number matches store 0") << "closeloja:sete:0:4" << "closeloja" << 0 << true;
    QTest::newRow("store not a number, real store") << "closeloja:sete:0:4" << "closeloja" << 7 << false;
    QTest::newRow("empty store field reads 0") << "statussite::1:5" << "statussite" << 0 << true;
    QTest::newRow("blanks around a number are read past") << "cancelado: 7 " << "cancelado" << 7 << true;
    QTest::newRow("extra fields are ignored") << "cancelado:7:1:2:x:y" << "cancelado" << 7 << true;
}

void TestBrokerMessage::kindAndStore()
{
    QFETCH(QString, text);
    QFETCH(QString, kind);
    QFETCH(int, store);
    QFETCH(bool, matches);
    QCOMPARE(BrokerMessage(text).isFor(kind, store), matches);
}

void TestBrokerMessage::orderNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("carries");
    QTest::addColumn<int>("order");
    QTest::newRow("four fields") << "status:7:1520:1" << true << 1520;
    QTest::newRow("three fields") << "aprovado:7:1520" << false << 1520;
    QTest::newRow("closing carries 0") << "closeloja:7:0:4" << true << 0;
    QTest::newRow("empty fields count") << ":::" << true << 0;
    QTest::newRow("order not a number") << "status:7:abc:1" << true << 0;
}

void TestBrokerMessage::orderNumber()
{
    QFETCH(QString, text);
    QFETCH(bool, carries);
    QFETCH(int, order);
    const BrokerMessage message(text);
    QCOMPARE(message.carriesOrder(), carries);
    QCOMPARE(message.order(), order);
}

void TestBrokerMessage::payloadText_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("text");
    QTest::newRow("ascii") << QByteArray("pedido_novo:7:1:0") << "pedido_novo:7:1:0";
    QTest::newRow("stops at a zero byte") << QByteArray("aprovado:7\0:99:1", 16) << "aprovado:7";
    QTest::newRow("utf-8") << QByteArray("statussite:7:1:5:s\xc3\xa3o") << QString::fromUtf8("statussite:7:1:5:são");
    QTest::newRow("empty") << QByteArray() << "";
}

void TestBrokerMessage::payloadText()
{
    QFETCH(QByteArray, payload);
    QFETCH(QString, text);
    QCOMPARE(BrokerMessage::textOfPayload(payload), text);
}

void TestBrokerMessage::inboxDropsOnlyBeyondItsCap()
{
    MessageInbox inbox;
    for (int i = 0; i < MessageInbox::capacity + 2; ++i)
        inbox.push(QString::number(i));
    QCOMPARE(inbox.size(), MessageInbox::capacity);
    QCOMPARE(inbox.takeFirst(), QStringLiteral("2"));
}

QTEST_GUILESS_MAIN(TestBrokerMessage)
#include "tst_brokermessage.moc"
