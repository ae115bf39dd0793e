#include "openingschedule.h"
#include "orderdelegates.h"

#include <QtTest>

#include <cstdlib>
#include <ctime>

// The texts the order list shows instead of raw database values, and the
// opening periods read from the schedule's texts.
class TestOrderTexts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cellTexts_data();
    void cellTexts();
    void openingPeriods_data();
    void openingPeriods();
};

void TestOrderTexts::initTestCase()
{
    // Three hours behind UTC all year, like São Paulo today.
    qputenv("TZ", "<-03>3");
    tzset();
}

void TestOrderTexts::cellTexts_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("new") << 4 << QVariant(0) << "PEDIDO NOVO";
    QTest::newRow("cancelled by the store") << 4 << QVariant(2) << "CANCELADO";
    QTest::newRow("delivered, read as text") << 4 << QVariant(QStringLiteral("3")) << "ENTREGUE";
    QTest::newRow("cancelled, other code") << 4 << QVariant(4) << "CANCELADO";
    QTest::newRow("unknown code") << 4 << QVariant(-1) << "-1";
    QTest::newRow("past midnight UTC is the day before here") << 1 << QVariant(qint64(1752541200)) << "14/07/25 22:00";
    QTest::newRow("moment as text") << 1 << QVariant(QStringLiteral("1752595200")) << "15/07/25 13:00";
    QTest::newRow("after 2038, a BIGINT") << 1 << QVariant(qint64(2208988800)) << "31/12/39 21:00";
    QTest::newRow("after 2038, as text") << 1 << QVariant(QStringLiteral("4102444800")) << "31/12/99 21:00";
    QTest::newRow("decimal comma, padded to ten") << 2 << QVariant(12.5) << "     12,50";
    QTest::newRow("group separator") << 3 << QVariant(1234.5) << "  1.234,50";
    QTest::newRow("NULL is an empty cell") << 3 << QVariant(QVariant::Double) << "";
    QTest::newRow("DECIMAL column arrives as text") << 2 << QVariant(QStringLiteral("75.40")) << "     75,40";
    QTest::newRow("longer than ten is not cut") << 2 << QVariant(123456789.0) << "123.456.789,00";
}

void TestOrderTexts::cellTexts()
{
    QFETCH(int, column);
    QFETCH(QVariant, value);
    QFETCH(QString, text);
    DateFormatDelegate date;
    NumberFormatDelegate money;
    StatusDelegate status;
    const QStyledItemDelegate *delegates[] = {nullptr, &date, &money, &money, &status};
    QCOMPARE(delegates[column]->displayText(value, QLocale(QLocale::Portuguese, QLocale::Brazil)), text);
}

void TestOrderTexts::openingPeriods_data()
{
    QTest::addColumn<QString>("inicio");
    QTest::addColumn<QString>("fim");
    QTest::addColumn<QTime>("moment");
    QTest::addColumn<bool>("open");
    QTest::newRow("opening minute is open") << "18:00" << "23:30" << QTime(18, 0) << true;
    QTest::newRow("before opening") << "18:00" << "23:30" << QTime(17, 59, 59) << false;
    QTest::newRow("closing minute is closed") << "18:00" << "23:30" << QTime(23, 30) << false;
    QTest::newRow("past midnight period, evening") << "22:00" << "02:00" << QTime(23, 59) << true;
    QTest::newRow("past midnight period, early hours of the same date") << "22:00" << "02:00" << QTime(1, 0) << false;
    QTest::newRow("one-digit hour") << "8:00" << "9:30" << QTime(8, 0) << true;
    QTest::newRow("TIME column") << "18:00:00" << "23:30:00" << QTime(18, 0) << true;
    QTest::newRow("TIME column past midnight") << "22:00:00" << "02:00:00" << QTime(23, 0) << true;
    QTest::newRow("not a time") << "18h" << "23:30" << QTime(20, 0) << false;
    QTest::newRow("hour out of range") << "25:00" << "23:30" << QTime(20, 0) << false;
    QTest::newRow("empty") << "" << "23:30" << QTime(20, 0) << false;
    QTest::newRow("blank before") << " 18:00" << "23:30" << QTime(20, 0) << false;
}

void TestOrderTexts::openingPeriods()
{
    QFETCH(QString, inicio);
    QFETCH(QString, fim);
    QFETCH(QTime, moment);
    QFETCH(bool, open);
    const QDate day(2026, 12, 6);
    QCOMPARE(OpeningPeriod::onDay(day, inicio, fim).contains(QDateTime(day, moment)), open);
}

QTEST_MAIN(TestOrderTexts)
#include "tst_ordertexts.moc"
