#include "openingschedule.h"
#include "orderdelegates.h"
#include "ordertexts.h"

#include <QtTest>

#include <cstdlib>
#include <ctime>

// The texts the order list shows instead of raw database values.
class TestOrderTexts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void statusWords_data();
    void statusWords();
    void moments_data();
    void moments();
    void moneyInBrazilianPortuguese_data();
    void moneyInBrazilianPortuguese();
    void delegatesRenderThroughTheView();
    void cutoffIsTheSameClockTimeTwoDaysBefore();
    void openingPeriods_data();
    void openingPeriods();
};

void TestOrderTexts::initTestCase()
{
    // Three hours behind UTC all year, like São Paulo today.
    qputenv("TZ", "<-03>3");
    tzset();
}

void TestOrderTexts::statusWords_data()
{
    QTest::addColumn<QVariant>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("new") << QVariant(0) << "PEDIDO NOVO";
    QTest::newRow("approved") << QVariant(1) << "APROVADO";
    QTest::newRow("cancelled by the store") << QVariant(2) << "CANCELADO";
    QTest::newRow("delivered") << QVariant(3) << "ENTREGUE";
    QTest::newRow("cancelled, other code") << QVariant(4) << "CANCELADO";
    QTest::newRow("unknown code") << QVariant(7) << "7";
    QTest::newRow("negative code") << QVariant(-1) << "-1";
    QTest::newRow("code read as text") << QVariant(QStringLiteral("3")) << "ENTREGUE";
}

void TestOrderTexts::statusWords()
{
    QFETCH(QVariant, code);
    QFETCH(QString, text);
    QCOMPARE(orderStatusText(code), text);
    StatusDelegate delegate;
    QCOMPARE(delegate.displayText(code, QLocale(QLocale::Portuguese, QLocale::Brazil)), text);
}

void TestOrderTexts::moments_data()
{
    QTest::addColumn<QVariant>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("the epoch, local time") << QVariant(0) << "31/12/69 21:00";
    QTest::newRow("afternoon") << QVariant(qint64(1752595200)) << "15/07/25 13:00";
    QTest::newRow("past midnight UTC is still the day before here") << QVariant(qint64(1752541200)) << "14/07/25 22:00";
    QTest::newRow("text from the database") << QVariant(QStringLiteral("1752595200")) << "15/07/25 13:00";
    QTest::newRow("after 2038, a BIGINT") << QVariant(qint64(2208988800)) << "31/12/39 21:00";
    QTest::newRow("after 2038, as text") << QVariant(QStringLiteral("4102444800")) << "31/12/99 21:00";
}

void TestOrderTexts::moments()
{
    QFETCH(QVariant, seconds);
    QFETCH(QString, text);
    DateFormatDelegate delegate;
    QCOMPARE(delegate.displayText(seconds, QLocale(QLocale::Portuguese, QLocale::Brazil)), text);
}

void TestOrderTexts::moneyInBrazilianPortuguese_data()
{
    QTest::addColumn<QVariant>("amount");
    QTest::addColumn<QString>("text");
    QTest::newRow("decimal comma, padded to ten") << QVariant(12.5) << "     12,50";
    QTest::newRow("group separator") << QVariant(1234.5) << "  1.234,50";
    QTest::newRow("zero") << QVariant(0) << "      0,00";
    QTest::newRow("NULL is an empty cell") << QVariant(QVariant::Double) << "";
    QTest::newRow("DECIMAL column arrives as text") << QVariant(QStringLiteral("75.40")) << "     75,40";
    QTest::newRow("longer than ten is not cut") << QVariant(123456789.0) << "123.456.789,00";
    QTest::newRow("rounds to two decimals") << QVariant(2.005) << "      2,00";
}

void TestOrderTexts::moneyInBrazilianPortuguese()
{
    QFETCH(QVariant, amount);
    QFETCH(QString, text);
    NumberFormatDelegate delegate;
    QCOMPARE(delegate.displayText(amount, QLocale(QLocale::Portuguese, QLocale::Brazil)), text);
}

void TestOrderTexts::delegatesRenderThroughTheView()
{
    // The delegates change the text only: the model keeps the raw value.
    QStyleOptionViewItem option;
    option.locale = QLocale(QLocale::Portuguese, QLocale::Brazil);
    NumberFormatDelegate delegate;
    const QString shown = delegate.displayText(QVariant(99.9), option.locale);
    QCOMPARE(shown, QStringLiteral("     99,90"));
    QCOMPARE(moneyCellText(QVariant(99.9), QLocale::c()), QStringLiteral("     99.90"));
}

void TestOrderTexts::cutoffIsTheSameClockTimeTwoDaysBefore()
{
    const QDateTime now(QDate(2026, 3, 1), QTime(10, 15, 30));
    QCOMPARE(recentOrdersCutoff(now), QDateTime(QDate(2026, 2, 27), QTime(10, 15, 30)).toSecsSinceEpoch());
    QCOMPARE(now.toSecsSinceEpoch() - recentOrdersCutoff(now), qint64(2 * 24 * 3600));
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
    QTest::newRow("one-digit hour, before") << "8:00" << "9:30" << QTime(7, 59) << false;
    QTest::newRow("TIME column") << "18:00:00" << "23:30:00" << QTime(18, 0) << true;
    QTest::newRow("TIME column, closing second") << "18:00:00" << "23:30:00" << QTime(23, 30) << false;
    QTest::newRow("TIME column past midnight") << "22:00:00" << "02:00:00" << QTime(23, 0) << true;
    QTest::newRow("not a time") << "18h" << "23:30" << QTime(20, 0) << false;
    QTest::newRow("hour out of range") << "25:00" << "23:30" << QTime(20, 0) << false;
    QTest::newRow("minutes out of range") << "18:60" << "23:30" << QTime(20, 0) << false;
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
