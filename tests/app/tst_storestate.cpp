#include "connectionsettings.h"
#include "dbfixture.h"
#include "storestate.h"
#include "testenv.h"

#include <QtTest>

#include <memory>

namespace {
// Wednesday 9 December 2026.
QDateTime at(int day, int hour, int minute)
{
    return QDateTime(QDate(2026, 12, 9 + day), QTime(hour, minute));
}
}

// The store's opening state: schedule, status and waiting time, on the private servers.
class TestStoreState : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void schedule_data();
    void schedule();
    void failedStatusWriteIsRetried_data();
    void failedStatusWriteIsRetried();

private:
    // "status ts_open ts_close" of the store's row.
    QString statusRow() const;

    std::unique_ptr<DbFixture> db;
    int store = 0;
};

void TestStoreState::initTestCase()
{
    TRV_REQUIRE_SERVERS();
    db = std::make_unique<DbFixture>();
    QVERIFY2(db->isOpen(), qPrintable(db->lastError()));
    connectionSettings.host = TestEnv::dbHost();
    connectionSettings.dbPort = QString::number(TestEnv::dbPort());
    connectionSettings.dbName = TestEnv::dbName();
    connectionSettings.dbUser = TestEnv::dbUser();
    connectionSettings.dbPassword = TestEnv::dbPassword();
}

void TestStoreState::init()
{
    QVERIFY(db->clearAll());
    store = db->addOwnedStore(QStringLiteral("dono"), QStringLiteral("segredo"));
    QVERIFY(db->addOwnedStore(QStringLiteral("vizinho"), QStringLiteral("outra")) > store);
}

QString TestStoreState::statusRow() const
{
    return db->scalar(QStringLiteral("select concat(status, ' ', ts_open, ' ', ts_close) from status where id_pizzaria=:id"),
                      {{":id", store}}).toString();
}

void TestStoreState::schedule_data()
{
    QTest::addColumn<QStringList>("periods");   // "dia_semana hora_inicio hora_final"
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("initial");
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<QDateTime>("tick");
    QTest::addColumn<int>("written");
    QTest::addColumn<QString>("modeText");

    const QStringList evening{"3 18:00 23:30", "3 11:00 14:00", "2 18:00 23:59"};
    const QString opened = QStringLiteral("Automático (Abertura: 18:00 Fechamento: 23:30)");
    QTest::newRow("opens at the start") << evening << 0 << 0 << at(0, 17, 0) << at(0, 18, 0) << 1 << opened;
    QTest::newRow("closed a minute before") << evening << 0 << 0 << at(0, 17, 0) << at(0, 17, 59) << 0 << "";
    QTest::newRow("the end does not close") << evening << 0 << 1 << at(0, 17, 0) << at(0, 23, 30) << 1 << "";
    QTest::newRow("manual is never opened") << evening << 1 << 0 << at(0, 17, 0) << at(0, 19, 0) << 0 << "";
    QTest::newRow("no periods: manual") << QStringList() << 0 << 0 << at(0, 17, 0) << at(0, 19, 0) << 0 << "Manual";
    QTest::newRow("Sunday is day 0") << QStringList{"0 10:00 12:00"} << 0 << 0 << at(-3, 9, 0) << at(-3, 11, 0) << 1
                                     << "Automático (Abertura: 10:00 Fechamento: 12:00)";
    QTest::newRow("across midnight") << QStringList{"3 22:00 02:00"} << 0 << 0 << at(0, 21, 0) << at(0, 23, 59) << 1
                                     << "Automático (Abertura: 22:00 Fechamento: 02:00)";
    QTest::newRow("across midnight, on the next date") << QStringList{"3 22:00 02:00"} << 0 << 0 << at(0, 21, 0)
                                                       << at(1, 1, 0) << 0 << "Manual";
    QTest::newRow("next day's periods") << QStringList{"3 18:00 23:30", "4 08:00 09:00"} << 0 << 0 << at(0, 12, 0)
                                        << at(1, 8, 30) << 1 << "Automático (Abertura: 08:00 Fechamento: 09:00)";
    QTest::newRow("next day without periods") << QStringList{"3 08:00 23:00"} << 0 << 0 << at(0, 12, 0)
                                              << at(1, 9, 0) << 0 << "Manual";
    QTest::newRow("manual day, then a day with periods") << QStringList{"4 08:00 09:00"} << 0 << 0 << at(0, 12, 0)
                                                         << at(1, 8, 30) << 1
                                                         << "Automático (Abertura: 08:00 Fechamento: 09:00)";
}

void TestStoreState::schedule()
{
    QFETCH(QStringList, periods);
    QFETCH(int, mode);
    QFETCH(int, initial);
    QFETCH(QDateTime, start);
    QFETCH(QDateTime, tick);
    QFETCH(int, written);
    QFETCH(QString, modeText);

    for (const QString &period : periods) {
        const QStringList field = period.split(QLatin1Char(' '));
        QVERIFY(db->addPeriod(store, field[0].toInt(), field[1], field[2]));
    }
    QVERIFY(db->setStatus(store, initial, 0));
    StoreState state([&tick] { return tick; });
    state.start(store, start);
    if (mode == 1)
        state.setMode(1);   // the operator's choice; otherwise as chosen at start-up
    state.takeStatusRow();

    state.VerificaPeriodoAbertura(tick);
    QCOMPARE(state.currentModeText(), modeText);
    const qint64 moment = tick.toSecsSinceEpoch();
    QCOMPARE(statusRow(), QStringLiteral("%1 %2 %3").arg(written).arg(written ? moment : 0).arg(written ? 0 : moment));

    // Written once: the next check at the same moment changes nothing.
    QVERIFY(db->exec(QStringLiteral("update status set ts_open=0, ts_close=0")));
    state.takeStatusRow();
    state.VerificaPeriodoAbertura(tick);
    QCOMPARE(statusRow(), QStringLiteral("%1 0 0").arg(written));
}

void TestStoreState::failedStatusWriteIsRetried_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("automatic, in a period") << 0;
    QTest::newRow("manual, set by hand") << 1;
}

void TestStoreState::failedStatusWriteIsRetried()
{
    QFETCH(int, mode);
    QVERIFY(db->addPeriod(store, 3, QStringLiteral("18:00"), QStringLiteral("23:30")));
    QVERIFY(db->setStatus(store, 0, 0));
    StoreState state([] { return at(0, 19, 0); });
    state.start(store, at(0, 19, 0));
    state.setMode(mode);
    state.takeStatusRow();
    if (mode == 1)
        QCOMPARE(state.toggleStatus(), 1);

    const QString password = connectionSettings.dbPassword;
    connectionSettings.dbPassword = QStringLiteral("refused");
    state.VerificaPeriodoAbertura(at(0, 19, 0));
    state.takeStatusRow();
    connectionSettings.dbPassword = password;
    QCOMPARE(statusRow(), QStringLiteral("0 0 0"));

    state.VerificaPeriodoAbertura(at(0, 19, 0));
    QCOMPARE(statusRow(), QStringLiteral("1 %1 0").arg(at(0, 19, 0).toSecsSinceEpoch()));
}

QTEST_MAIN(TestStoreState)
#include "tst_storestate.moc"
