#include "amqptestsupport.h"
#include "openingschedule.h"
#include "runningconsole.h"
#include "storestate.h"

#include <QAction>
#include <QLCDNumber>
#include <QPushButton>
#include <QScopeGuard>

namespace {
// Wednesday 9 December 2026.
QDateTime at(int day, int hour, int minute)
{
    return QDateTime(QDate(2026, 12, 9 + day), QTime(hour, minute));
}

const QDateTime evening(QDate::currentDate(), QTime(19, 0));

// periods: "dia_semana hora_inicio hora_final", separated by ";". mode 2:
// manual, and the status button pressed. refused -2: written at once;
// otherwise the first write fails, then a "statussite" of the store brings
// this status (-1: none comes). The console starts on startDay, at midnight.
struct ScheduleCase
{
    QString periods;
    int mode, refused, initial, startDay;
    QDateTime tick;
    int written;
    QString modeText;
};

// The state's background statements are done.
bool settled(const StoreState &state)
{
    return QTest::qWaitFor([&state] { return !state.isBusy(); }, 15000);
}

// Runs the event loop; false when the application was told to quit meanwhile.
bool serveFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, [&loop] { loop.exit(1); });
    return loop.exec() == 1;
}
}

Q_DECLARE_METATYPE(ScheduleCase)

// The store's opening state: schedule, status and waiting time, on the private servers.
class TestStoreState : public StoreFixture
{
    Q_OBJECT

private slots:
    // A service database with TIME columns reads "22:00:00", which ours cannot hold.
    void timeColumnTexts()
    {
        const OpeningPeriod period = OpeningPeriod::onDay(at(0, 0, 0).date(), "22:00:00", "02:00:00");
        QVERIFY(period.contains(at(0, 22, 0)) && period.contains(at(1, 1, 59)) && !period.contains(at(1, 2, 0)));
        // Where the clocks skip this day's midnight, a period from it opens when they jump.
        const QByteArray tz = qgetenv("TZ");
        const auto restore = qScopeGuard([&tz] { tz.isNull() ? qunsetenv("TZ") : qputenv("TZ", tz); });
        qputenv("TZ", "<-03>3<-02>,M12.2.3/0,M2.3.0/0");
        QVERIFY(OpeningPeriod::onDay(at(0, 12, 0).date(), "0:00", "2:00").contains(at(0, 1, 30)));
    }

    void schedule_data()
    {
        QTest::addColumn<ScheduleCase>("c");
        const QString day = QStringLiteral("3 18:00 23:30;3 11:00 14:00;2 18:00 23:59");
        const auto opened = [](const char *from, const char *to) { return QStringLiteral("Automático (Abertura: %1 Fechamento: %2)").arg(from, to); };
        QTest::newRow("opens at the start") << ScheduleCase{day, 0, -2, 0, 0, at(0, 18, 0), 1, opened("18:00", "23:30")};
        QTest::newRow("the end does not close") << ScheduleCase{day, 0, -2, 1, 0, at(0, 23, 30), 1, ""};
        QTest::newRow("manual is never opened") << ScheduleCase{day, 1, -2, 0, 0, at(0, 19, 0), 0, ""};
        QTest::newRow("opened by hand") << ScheduleCase{day, 2, -2, 0, 0, at(0, 19, 0), 1, ""};
        QTest::newRow("closed by hand from any open value") << ScheduleCase{day, 2, -2, 2, 0, at(0, 19, 0), 0, ""};
        QTest::newRow("refused, then closed elsewhere") << ScheduleCase{day, 0, 0, 0, 0, at(0, 18, 0), 0, ""};
        QTest::newRow("no periods: manual") << ScheduleCase{"", 0, -2, 0, 0, at(0, 19, 0), 0, "Manual"};
        QTest::newRow("Sunday is day 0") << ScheduleCase{"0 10:00 12:00", 0, -2, 0, -3, at(-3, 11, 0), 1, opened("10:00", "12:00")};
        QTest::newRow("across midnight") << ScheduleCase{"3 22:00 02:00", 0, -2, 0, 0, at(0, 23, 59), 1, opened("22:00", "02:00")};
        QTest::newRow("before the opening minute") << ScheduleCase{day, 0, -2, 0, 0, at(0, 17, 59), 0, ""};
        QTest::newRow("across midnight, early hours of the same date") << ScheduleCase{"3 22:00 02:00", 0, -2, 0, 0, at(0, 1, 0), 0, ""};
        QTest::newRow("one-digit hours") << ScheduleCase{"3 8:00 9:30", 0, -2, 0, 0, at(0, 8, 0), 1, opened("08:00", "09:30")};
        QTest::newRow("not a time") << ScheduleCase{"3 18h 23:30", 0, -2, 0, 0, at(0, 20, 0), 0, ""};
        QTest::newRow("next day's periods") << ScheduleCase{"3 18:00 23:30;4 08:00 09:00", 0, -2, 0, 0, at(1, 8, 30), 1, opened("08:00", "09:00")};
        QTest::newRow("next day without periods") << ScheduleCase{"3 08:00 23:00", 0, -2, 0, 0, at(1, 9, 0), 0, "Manual"};
        QTest::newRow("a day without, then one with") << ScheduleCase{"4 08:00 09:00", 0, -2, 0, 0, at(1, 8, 30), 1, opened("08:00", "09:00")};
    }

    void schedule()
    {
        QFETCH(ScheduleCase, c);
        for (const QString &period : c.periods.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QStringList field = period.split(QLatin1Char(' '));
            QVERIFY(addPeriod(field[0].toInt(), field[1], field[2]));
        }
        QVERIFY(db->setStatus(store, c.initial, 0));
        StoreState state([&c] { return c.tick; });
        state.start(store, at(c.startDay, 0, 0), [] {});
        QVERIFY(settled(state));
        if (c.mode > 0)
            state.setMode(1);   // the operator's choice; otherwise as chosen at start-up
        state.takeStatusRow();
        if (c.mode == 2) {
            auto result = StoreState::Toggle::Refused;
            state.toggleStatus(store, [&result](StoreState::Toggle answer) { result = answer; });
            QVERIFY(settled(state) && result == StoreState::Toggle::Written);
        }
        if (c.refused > -2) {
            connectionSettings.dbPassword = QStringLiteral("refused");
            state.VerificaPeriodoAbertura(store, c.tick);
            state.takeStatusRow();   // as the window does at the end of every tick
            connectionSettings.dbPassword = TestEnv::dbPassword();
            QVERIFY(settled(state));
            QCOMPARE(statusRow("status, ts_open, ts_close", store), QStringLiteral("%1 0 0").arg(c.initial));
        }
        if (c.refused >= 0) {
            state.statusSetByHand(store, c.refused);
            QVERIFY(settled(state));
            state.takeStatusRow();
        }

        // Two checks: a new day's periods are read by the first, in the background.
        for (int check = 0; check < 2; ++check) {
            state.VerificaPeriodoAbertura(store, c.tick);
            QVERIFY(settled(state));
        }
        QCOMPARE(state.currentModeText(), c.modeText);
        const qint64 moment = c.tick.toSecsSinceEpoch();
        QCOMPARE(statusRow("status, ts_open, ts_close", store),
                 QStringLiteral("%1 %2 %3").arg(c.written).arg(c.written ? moment : 0).arg(c.written ? 0 : moment));

        // Written once: the next check at the same moment changes nothing.
        QVERIFY(db->exec(QStringLiteral("update status set ts_open=0, ts_close=0")));
        state.takeStatusRow();
        state.VerificaPeriodoAbertura(store, c.tick);
        QVERIFY(settled(state));
        QCOMPARE(statusRow("status, ts_open, ts_close", store), QStringLiteral("%1 0 0").arg(c.written));
    }

    // Opened and closed again by hand at another console: this one only follows.
    void followingDoesNotWriteAgain()
    {
        const auto setElsewhere = [this](int status) {
            return db->exec(QStringLiteral("update status set status=:status where id_pizzaria=:id"), {{":status", status}, {":id", store}});
        };
        QVERIFY(setElsewhere(0));
        StoreState follower([] { return at(0, 17, 0); });
        follower.start(store, at(0, 17, 0), [] {});
        QVERIFY(settled(follower));
        follower.takeStatusRow();
        follower.VerificaPeriodoAbertura(store, at(0, 17, 0));
        QVERIFY(settled(follower));
        QVERIFY(setElsewhere(1));
        follower.statusSetByHand(store, 1);
        QVERIFY(settled(follower));
        follower.takeStatusRow();
        QVERIFY(setElsewhere(0));
        follower.VerificaPeriodoAbertura(store, at(0, 17, 0));
        QVERIFY(settled(follower));
        QCOMPARE(statusRow("status", store), QStringLiteral("0"));

        // Its read refused when the announcement came: read at the next check.
        follower.statusSetByHand(store, 0);
        QVERIFY(settled(follower));
        QVERIFY(setElsewhere(1));
        connectionSettings.dbPassword = QStringLiteral("refused");
        follower.statusSetByHand(store, 1);
        connectionSettings.dbPassword = TestEnv::dbPassword();
        QVERIFY(settled(follower));
        follower.VerificaPeriodoAbertura(store, at(0, 17, 0));
        QVERIFY(settled(follower));
        follower.takeStatusRow();
        QCOMPARE(follower.currentStatus(), 1);
    }

    void waitingTimeOnTheKeypad_data()
    {
        QTest::addColumn<QString>("keys");   // keypad buttons: 'c' AC, '=' Enter; then its window is closed
        QTest::addColumn<int>("written");
        QTest::addColumn<int>("shown");
        QTest::addColumn<bool>("box");
        QTest::newRow("12.9 is written as 12") << "c12.9=" << 12 << 12 << false;
        QTest::newRow("closed without Enter: nothing written") << "c7" << 50 << 50 << false;
        QTest::newRow("beyond an int") << "c99999999999=" << 50 << 50 << true;
    }

    void waitingTimeOnTheKeypad()
    {
        QFETCH(QString, keys);
        const auto running = console();
        // Changed elsewhere since the console read 35: the box's case shows the row again.
        QVERIFY(db->exec(QStringLiteral("update status set espera=50 where id_pizzaria=:id"), {{":id", store}}));

        std::unique_ptr<ModalAnswer> boxAnswer;
        ModalAnswer keypadAnswer([&](QWidget *keypad) {
            for (const QChar key : keys) {
                const QString name = key == 'c' ? "AC" : key == '=' ? "Enter" : key == '.' ? "Dot" : QString(key);
                keypad->findChild<QPushButton *>("pushButtonKey" + name)->click();
            }
            keypad->close();
            boxAnswer = std::make_unique<ModalAnswer>();
        });
        running->widget("pushButton_espera")->click();
        QVERIFY(keypadAnswer.seen());
        QVERIFY(QTest::qWaitFor([&] { return running->settled(); }, 15000));
        QFETCH(bool, box);
        QTRY_COMPARE(boxAnswer->seen(), box);
        QTEST(statusRow("espera", store).toInt(), "written");
        QTEST(running->widget<QLCDNumber>("lcdNumber")->intValue(), "shown");
    }

    void consolesOfTheStoreOnOneBroker()
    {
        QVERIFY(addPeriod(evening.date().dayOfWeek() % 7, QStringLiteral("18:00"), QStringLiteral("23:30")));
        QVERIFY(db->setStatus(store, 0, 0));
        now = evening.addSecs(-7200);   // before the period
        const auto first = console();
        const auto second = console();
        const auto third = console();
        RunningConsole neighbour(QStringLiteral("vizinho"), QStringLiteral("outra"));
        ChainReceiver outside;
        const auto receiving = [&] {
            return QTest::qWaitFor([&] { return outside.isReady() && first->receiving() && second->receiving() && third->receiving()
                                           && neighbour.receiving(); }, 60000);
        };
        QVERIFY(receiving());
        QAbstractButton *status = first->widget("pushButton_status");
        QList<QByteArray> seen;
        // Each press: the announcement the outside consumer sees, and the row.
        const auto published = [&](int value) {
            seen.append(QStringLiteral("statussite:%1:%2:5").arg(store).arg(value).toLatin1());
            return QTest::qWaitFor([&] { return outside.payloads == seen && statusRow("status", store) == QString::number(value); }, 10000);
        };

        status->click();   // automatic mode: nothing
        first->widget("radioButton_manual")->click();
        // With its tick held by an unanswered Internet check, only the press itself
        // can write the row before the other consoles read it on the announcement.
        first->probe().setMode(LocalProbePage::Silent);
        QVERIFY(serveFor(1200));
        status->click();
        QVERIFY(published(1));
        // Every console follows before the clock enters the period, or one still in
        // automatic mode would open the store by its schedule.
        for (const auto *console : {second.get(), third.get()})
            QTRY_COMPARE(console->widget("pushButton_status")->text(), QStringLiteral("Status: ABERTO"));
        first->probe().setMode(LocalProbePage::Answer);

        // Closed by hand in the period: the other console follows the operator, not its schedule.
        now = evening;
        QVERIFY(db->exec(QStringLiteral("update status set espera=50 where id_pizzaria=:id"), {{":id", store}}));
        status->click();
        QVERIFY(published(0));
        QTRY_COMPARE(second->widget("pushButton_status")->text(), QStringLiteral("Status: FECHADO"));
        second->tick();
        QCOMPARE(second->widget<QLCDNumber>("lcdNumber")->intValue(), 50);
        QCOMPARE(second->label("label_funcionamento"), QString());
        QVERIFY(second->widget("radioButton_manual")->isChecked());
        QCOMPARE(statusRow("status", store), QStringLiteral("0"));

        // Pressed twice before the first went out: only the newer status is published.
        status->click();
        status->click();
        QVERIFY(published(0));

        // A refused write: its box, and nothing announced.
        connectionSettings.dbPassword = QStringLiteral("refused");
        ModalAnswer refused;
        status->click();
        QTRY_VERIFY(refused.seen());
        connectionSettings.dbPassword = TestEnv::dbPassword();
        QCOMPARE(refused.text(), QStringLiteral("O status da loja não foi gravado."));

        // "Fechar" while the broker is away: dropped after a minute, and said so,
        // not published when the broker returns.
        const auto restart = qScopeGuard([] { TestEnv::serverControl({QStringLiteral("broker-start")}); });
        QVERIFY(TestEnv::serverControl({QStringLiteral("broker-stop")}));
        ModalAnswer dropped;
        first->widget("pushButton_fechar")->click();
        QVERIFY(QTest::qWaitFor([&] { return dropped.seen(); }, 70000));
        QVERIFY(dropped.text().contains(QStringLiteral("a loja não foi fechada e continua aberta para vendas online")));
        QVERIFY(TestEnv::serverControl({QStringLiteral("broker-start")}));
        QVERIFY(serveFor(1500));
        QCOMPARE(outside.payloads, seen);
        QCOMPARE(first->window()->findChildren<QAmqpClient *>().size(), 0);   // each released once published
        QVERIFY(receiving());
        status->click();
        QVERIFY(published(1));

        // "Fechar": every console of the store records the store closed and ends.
        first->widget("pushButton_fechar")->click();
        QTRY_VERIFY(!first->window()->isVisible() && !second->window()->isVisible() && !third->window()->isVisible());
        QCOMPARE(statusRow("status, ts_close", store), QStringLiteral("0 %1").arg(evening.toSecsSinceEpoch()));
        neighbour.tick();
        QVERIFY(neighbour.window()->isVisible());
        QCOMPARE(statusRow("status, ts_close", otherStore), QStringLiteral("1 0"));
    }

    // A closing while the operator types the waiting time: recorded at once, no
    // tick after it, and the window ends only once the keypad has done its work.
    void closingUnderADialog()
    {
        QVERIFY(addPeriod(evening.date().dayOfWeek() % 7, QStringLiteral("18:00"), QStringLiteral("23:30")));
        const auto running = console();
        QVERIFY(running->ready());
        QString clock, clockLater;
        bool shown = false, recorded = false;
        ModalAnswer keypad([&](QWidget *k) {
            RunningConsole::publish({QStringLiteral("closeloja:%1:0:4").arg(store)});
            recorded = QTest::qWaitFor([&] { return statusRow("status", store) == "0"; }, 10000);
            clock = running->label("label_relogio");
            now = evening.addSecs(60);
            serveFor(2500);
            clockLater = running->label("label_relogio");
            shown = running->window()->isVisible();
            for (const char *key : {"AC", "2", "5", "Enter"})
                k->findChild<QPushButton *>(QStringLiteral("pushButtonKey") + key)->click();
        });
        running->widget("pushButton_espera")->click();
        QVERIFY(keypad.seen() && shown && recorded);
        QCOMPARE(clockLater, clock);
        QTRY_COMPARE(statusRow("status, espera", store), QStringLiteral("0 25"));
        QTRY_VERIFY(!running->window()->isVisible());
    }

    // Statements of the store's row held on their way to the server, or answered
    // late, never land after what the operator did since: the closing stays last,
    // a press is not undone by a read taken before it.
    void rowWritesInOrder_data()
    {
        QTest::addColumn<bool>("closing");
        QTest::newRow("leaving as an opening period starts") << true;
        QTest::newRow("status pressed while a read is answered late") << false;
    }

    void rowWritesInOrder()
    {
        QFETCH(bool, closing);
        QVERIFY(addPeriod(evening.date().dayOfWeek() % 7, QStringLiteral("18:00"), QStringLiteral("23:30")));
        QVERIFY(db->setStatus(store, closing ? 0 : 1, 0));
        now = evening.addSecs(-7200);   // before the period
        RelayThread relay(static_cast<quint16>(TestEnv::dbPort()));
        BrokerRelay brokerRelay(static_cast<quint16>(TestEnv::amqpPort()));
        const auto running = console(relay.port(), brokerRelay.serverPort());
        QVERIFY(running->ready());
        auto *statements = running->window()->findChild<StatementRunner *>(QStringLiteral("storeStatements"));
        if (closing) {
            relay.holdWhen("ts_open", BrokerRelay::Requests, 3000);
            now = evening;
            QTRY_VERIFY(relay.heldChunks() > 0);
            running->widget<QAction>("actionSair")->trigger();
        } else {
            relay.holdWhen("select status, espera", BrokerRelay::Answers, 3000);
            // Opened at another console: this one follows the row, and goes manual.
            QVERIFY(RunningConsole::publish({QStringLiteral("statussite:%1:1:5").arg(store)}));
            QTRY_VERIFY(relay.heldChunks() > 0);   // read, its rows on their way
            // Its own announcement, which it would follow too, is not heard back.
            brokerRelay.freeze();
            running->widget("pushButton_status")->click();
        }
        const auto closed = [&] { return closing || running->widget("pushButton_status")->text() == QStringLiteral("Status: FECHADO"); };
        QVERIFY(QTest::qWaitFor([&] { return !statements->isBusy() && !running->window()->isVisible() == closing; }, 20000));
        running->tick();
        running->tick();
        QCOMPARE(statusRow("status", store), QStringLiteral("0"));
        QVERIFY(closed());
    }

private:
    std::unique_ptr<RunningConsole> console(quint16 dbPort = 0, quint16 brokerPort = 0) const
    {
        auto running = std::make_unique<RunningConsole>(QStringLiteral("dono"), QStringLiteral("segredo"), ConsoleServers{brokerPort, dbPort, {}, {}});
        running->window()->setClock([this] { return now; });
        return running;
    }

    QDateTime now = evening;   // the consoles' clock
};

QTEST_MAIN(TestStoreState)
#include "tst_storestate.moc"
