#include "amqptestsupport.h"
#include "runningconsole.h"
#include "storestate.h"

#include <QLCDNumber>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>

namespace {
// Wednesday 9 December 2026.
QDateTime at(int day, int hour, int minute)
{
    return QDateTime(QDate(2026, 12, 9 + day), QTime(hour, minute));
}

const QDateTime evening(QDate::currentDate(), QTime(19, 0));

template <class W = QAbstractButton>
W *widget(const RunningConsole &console, const QString &name)
{
    return console.window()->findChild<W *>(name);
}

// Runs the event loop; false when the application was told to quit meanwhile.
bool serveFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, [&loop] { loop.exit(1); });
    return loop.exec() == 1;
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
    void followingDoesNotWriteAgain();
    void waitingTimeOnTheKeypad_data();
    void waitingTimeOnTheKeypad();
    void consolesOfTheStoreOnOneBroker();

private:
    // Columns of a store's status row, joined by blanks.
    QString row(const char *columns, int id) const;
    bool addPeriod(int dia, const QString &inicio, const QString &fim) const;
    std::unique_ptr<RunningConsole> console() const;

    std::unique_ptr<DbFixture> db;
    int store = 0;
    int otherStore = 0;
    QDateTime now;   // the consoles' clock
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
    otherStore = db->addOwnedStore(QStringLiteral("vizinho"), QStringLiteral("outra"));
    QVERIFY(db->setStatus(otherStore, 1, 20));
    now = evening;
}

QString TestStoreState::row(const char *columns, int id) const
{
    return db->scalar(QStringLiteral("select concat_ws(' ', %1) from status where id_pizzaria=:id").arg(QLatin1String(columns)),
                      {{":id", id}}).toString();
}

bool TestStoreState::addPeriod(int dia, const QString &inicio, const QString &fim) const
{
    return db->exec(QStringLiteral("insert into funcionamento (id_pizzaria, dia_semana, hora_inicio, hora_final) "
                                   "values (:id, :dia, :inicio, :fim)"),
                    {{":id", store}, {":dia", dia}, {":inicio", inicio}, {":fim", fim}});
}

std::unique_ptr<RunningConsole> TestStoreState::console() const
{
    auto running = std::make_unique<RunningConsole>(QStringLiteral("dono"), QStringLiteral("segredo"));
    running->window()->setClock([this] { return now; });
    return running;
}

void TestStoreState::schedule_data()
{
    QTest::addColumn<QString>("periods");   // "dia_semana hora_inicio hora_final", separated by ";"
    QTest::addColumn<int>("mode");           // 2: manual, and the status button pressed
    QTest::addColumn<bool>("refusedOnce");   // the first write fails
    QTest::addColumn<int>("setElsewhere");   // then a "statussite" of the store brings this status, or -1
    QTest::addColumn<int>("initial");
    QTest::addColumn<int>("startDay");      // the console starts that day, at midnight
    QTest::addColumn<QDateTime>("tick");
    QTest::addColumn<int>("written");
    QTest::addColumn<QString>("modeText");

    const QString day = QStringLiteral("3 18:00 23:30;3 11:00 14:00;2 18:00 23:59");
    const auto automatic = [](const char *opening, const char *closing) {
        return QStringLiteral("Automático (Abertura: %1 Fechamento: %2)").arg(QLatin1String(opening), QLatin1String(closing));
    };
    QTest::newRow("opens at the start") << day << 0 << false << -1 << 0 << 0 << at(0, 18, 0) << 1 << automatic("18:00", "23:30");
    QTest::newRow("closed a minute before") << day << 0 << false << -1 << 0 << 0 << at(0, 17, 59) << 0 << "";
    QTest::newRow("the end does not close") << day << 0 << false << -1 << 1 << 0 << at(0, 23, 30) << 1 << "";
    QTest::newRow("manual is never opened") << day << 1 << false << -1 << 0 << 0 << at(0, 19, 0) << 0 << "";
    QTest::newRow("opened by hand") << day << 2 << false << -1 << 0 << 0 << at(0, 19, 0) << 1 << "";
    QTest::newRow("closed by hand from any open value") << day << 2 << false << -1 << 2 << 0 << at(0, 19, 0) << 0 << "";
    QTest::newRow("refused once") << day << 0 << true << -1 << 0 << 0 << at(0, 18, 0) << 1 << automatic("18:00", "23:30");
    QTest::newRow("refused once, by hand") << day << 2 << true << -1 << 0 << 0 << at(0, 19, 0) << 1 << "";
    QTest::newRow("refused, then closed elsewhere") << day << 0 << true << 0 << 0 << 0 << at(0, 18, 0) << 0 << "";
    QTest::newRow("refused, then its own echo") << day << 2 << true << 1 << 0 << 0 << at(0, 19, 0) << 1 << "";
    QTest::newRow("no periods: manual") << "" << 0 << false << -1 << 0 << 0 << at(0, 19, 0) << 0 << "Manual";
    QTest::newRow("Sunday is day 0") << "0 10:00 12:00" << 0 << false << -1 << 0 << -3 << at(-3, 11, 0) << 1
                                     << automatic("10:00", "12:00");
    QTest::newRow("across midnight") << "3 22:00 02:00" << 0 << false << -1 << 0 << 0 << at(0, 23, 59) << 1
                                     << automatic("22:00", "02:00");
    QTest::newRow("across midnight, next date") << "3 22:00 02:00" << 0 << false << -1 << 0 << 0 << at(1, 1, 0) << 0 << "Manual";
    QTest::newRow("next day's periods") << "3 18:00 23:30;4 08:00 09:00" << 0 << false << -1 << 0 << 0 << at(1, 8, 30) << 1
                                        << automatic("08:00", "09:00");
    QTest::newRow("next day without periods") << "3 08:00 23:00" << 0 << false << -1 << 0 << 0 << at(1, 9, 0) << 0 << "Manual";
    QTest::newRow("a day without, then one with") << "4 08:00 09:00" << 0 << false << -1 << 0 << 0 << at(1, 8, 30) << 1
                                                  << automatic("08:00", "09:00");
}

void TestStoreState::schedule()
{
    QFETCH(QString, periods);
    QFETCH(int, mode);
    QFETCH(bool, refusedOnce);
    QFETCH(int, setElsewhere);
    QFETCH(int, initial);
    QFETCH(int, startDay);
    QFETCH(QDateTime, tick);
    QFETCH(int, written);
    QFETCH(QString, modeText);

    for (const QString &period : periods.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList field = period.split(QLatin1Char(' '));
        QVERIFY(addPeriod(field[0].toInt(), field[1], field[2]));
    }
    QVERIFY(db->setStatus(store, initial, 0));
    const auto stored = [this] { return row("status, ts_open, ts_close", store); };
    StoreState state([&tick] { return tick; });
    state.start(store, at(startDay, 0, 0));
    if (mode > 0)
        state.setMode(1);   // the operator's choice; otherwise as chosen at start-up
    state.takeStatusRow();
    if (mode == 2)
        QCOMPARE(state.toggleStatus(), written);
    if (refusedOnce) {
        const QString password = connectionSettings.dbPassword;
        connectionSettings.dbPassword = QStringLiteral("refused");
        state.VerificaPeriodoAbertura(store, tick);
        state.takeStatusRow();   // as the window does at the end of every tick
        connectionSettings.dbPassword = password;
        QCOMPARE(stored(), QStringLiteral("%1 0 0").arg(initial));
    }
    if (setElsewhere >= 0) {
        state.statusSetByHand(store, setElsewhere);
        state.takeStatusRow();
    }

    state.VerificaPeriodoAbertura(store, tick);
    QCOMPARE(state.currentModeText(), modeText);
    const qint64 moment = tick.toSecsSinceEpoch();
    QCOMPARE(stored(), QStringLiteral("%1 %2 %3").arg(written).arg(written ? moment : 0).arg(written ? 0 : moment));

    // Written once: the next check at the same moment changes nothing.
    QVERIFY(db->exec(QStringLiteral("update status set ts_open=0, ts_close=0")));
    state.takeStatusRow();
    state.VerificaPeriodoAbertura(store, tick);
    QCOMPARE(stored(), QStringLiteral("%1 0 0").arg(written));
}

// Opened and closed again by hand at another console: this one only follows.
void TestStoreState::followingDoesNotWriteAgain()
{
    QVERIFY(db->setStatus(store, 0, 0));
    StoreState follower([] { return at(0, 17, 0); });
    follower.start(store, at(0, 17, 0));
    follower.takeStatusRow();
    follower.VerificaPeriodoAbertura(store, at(0, 17, 0));
    const QString set = QStringLiteral("update status set status=:status where id_pizzaria=:id");
    QVERIFY(db->exec(set, {{":status", 1}, {":id", store}}));
    follower.statusSetByHand(store, 1);
    follower.takeStatusRow();
    QVERIFY(db->exec(set, {{":status", 0}, {":id", store}}));
    follower.VerificaPeriodoAbertura(store, at(0, 17, 0));
    QCOMPARE(row("status", store), QStringLiteral("0"));
}

void TestStoreState::waitingTimeOnTheKeypad_data()
{
    QTest::addColumn<QString>("keys");   // keypad buttons: 'c' AC, '=' Enter; then its window is closed
    QTest::addColumn<bool>("refused");   // the database refuses the write
    QTest::addColumn<int>("written");
    QTest::addColumn<int>("shown");
    QTest::addColumn<bool>("box");
    QTest::newRow("12.9 is written as 12") << "c12.9=" << false << 12 << 12 << false;
    QTest::newRow("closed by its window: the old value") << "c7" << false << 35 << 35 << false;
    QTest::newRow("a failed write is shown") << "c5=" << true << 50 << 35 << true;
    QTest::newRow("beyond an int") << "c99999999999=" << false << 50 << 50 << true;
}

void TestStoreState::waitingTimeOnTheKeypad()
{
    QFETCH(QString, keys);
    QFETCH(bool, refused);
    QFETCH(int, written);
    QFETCH(int, shown);
    QFETCH(bool, box);
    QVERIFY(db->setStatus(store, 0, 35));
    const auto running = console();
    QVERIFY(db->exec(QStringLiteral("update status set espera=50 where id_pizzaria=:id"), {{":id", store}}));

    const QString password = connectionSettings.dbPassword;
    std::unique_ptr<ModalAnswer> boxAnswer;
    ModalAnswer keypadAnswer([&](QWidget *keypad) {
        for (const QChar key : keys) {
            const QString name = key == 'c' ? "AC" : key == '=' ? "Enter" : key == '.' ? "Dot" : QString(key);
            keypad->findChild<QPushButton *>("pushButtonKey" + name)->click();
        }
        keypad->close();
        if (refused)
            connectionSettings.dbPassword = QStringLiteral("refused");
        boxAnswer = std::make_unique<ModalAnswer>();
    });
    widget(*running, "pushButton_espera")->click();
    connectionSettings.dbPassword = password;
    QVERIFY(keypadAnswer.seen());
    QCOMPARE(boxAnswer->seen(), box);
    QCOMPARE(row("espera", store).toInt(), written);
    QCOMPARE(widget<QLCDNumber>(*running, "lcdNumber")->intValue(), shown);
}

void TestStoreState::consolesOfTheStoreOnOneBroker()
{
    QVERIFY(addPeriod(evening.date().dayOfWeek() % 7, QStringLiteral("18:00"), QStringLiteral("23:30")));
    QVERIFY(db->setStatus(store, 0, 0));
    now = evening.addSecs(-7200);   // before the period
    const auto first = console();
    const auto second = console();
    RunningConsole neighbour(QStringLiteral("vizinho"), QStringLiteral("outra"));
    ChainReceiver outside;
    const auto receiving = [&] {
        return QTest::qWaitFor([&] {
            return outside.isReady() && first->label("label_recepcao") == QStringLiteral("Login para recepção de pedidos: [ok]")
                && second->label("label_recepcao") == first->label("label_recepcao")
                && neighbour.label("label_recepcao") == first->label("label_recepcao");
        }, 60000);
    };
    QVERIFY(receiving());
    QAbstractButton *status = widget(*first, "pushButton_status");
    QList<QByteArray> seen;
    const auto announce = [&](int value) { seen.append(QStringLiteral("statussite:%1:%2:5").arg(store).arg(value).toLatin1()); };

    status->click();   // automatic mode: nothing
    widget(*first, "radioButton_manual")->click();
    status->click();
    announce(1);
    QTRY_COMPARE(outside.payloads, seen);
    QTRY_COMPARE(row("status", store), QStringLiteral("1"));

    // Closed by hand in the period: the other console follows the operator, not its schedule.
    now = evening;
    status->click();
    announce(0);
    QTRY_COMPARE(outside.payloads, seen);
    QTRY_COMPARE(row("status", store), QStringLiteral("0"));
    second->tick();
    QCOMPARE(second->label("label_funcionamento"), QString());
    QVERIFY(widget(*second, "radioButton_manual")->isChecked());
    QCOMPARE(row("status", store), QStringLiteral("0"));

    // Pressed twice before the first went out: only the newer status is published.
    status->click();
    status->click();
    announce(0);
    QTRY_COMPARE(outside.payloads, seen);

    // Whatever happens, the broker runs again for the next tests.
    const auto restart = qScopeGuard([] { TestEnv::serverControl({QStringLiteral("broker-start")}); });
    QVERIFY(TestEnv::serverControl({QStringLiteral("broker-stop")}));
    QVERIFY(serveFor(1500));
    QVERIFY(TestEnv::serverControl({QStringLiteral("broker-start")}));
    QVERIFY(serveFor(1500));
    QCOMPARE(outside.payloads, seen);
    QCOMPARE(first->window()->findChildren<QAmqpClient *>().size(), 0);   // each released once published
    QVERIFY(receiving());
    status->click();
    announce(1);
    QTRY_COMPARE_WITH_TIMEOUT(outside.payloads, seen, 10000);

    // "Fechar": every console of the store records the store closed and ends.
    widget(*first, "pushButton_fechar")->click();
    QTRY_VERIFY(!first->window()->isVisible() && !second->window()->isVisible());
    QCOMPARE(row("status, ts_close", store), QStringLiteral("0 %1").arg(evening.toSecsSinceEpoch()));
    neighbour.tick();
    QVERIFY(neighbour.window()->isVisible());
    QCOMPARE(row("status, ts_close", otherStore), QStringLiteral("1 0"));
}

QTEST_MAIN(TestStoreState)
#include "tst_storestate.moc"
