#include "amqptestsupport.h"
#include "looplag.h"
#include "operatoractions.h"
#include "orderdelegates.h"
#include "runningconsole.h"

#include <QAction>
#include <QLineEdit>
#include <QScopeGuard>

#include <ctime>

const QString newOrderNotice = QStringLiteral("Novo Pedido|Novo pedido recebido!!!");

// The service's order events as the running console receives them, also while
// its broker or the Internet fail, or a check is slow.
class TestOrderEvents : public StoreFixture
{
    Q_OBJECT

private slots:
    void cleanup() { console.reset(); }

    void cellTexts_data()
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
        QTest::newRow("after 2038, as text") << 1 << QVariant(QStringLiteral("4102444800")) << "31/12/99 21:00";
        QTest::newRow("NULL is an empty cell") << 3 << QVariant(QVariant::Double) << "";
        QTest::newRow("DECIMAL column arrives as text") << 2 << QVariant(QStringLiteral("75.40")) << "     75,40";
        QTest::newRow("grouped, longer than ten is not cut") << 2 << QVariant(123456789.0) << "123.456.789,00";
    }

    void cellTexts()
    {
        QFETCH(int, column);
        QFETCH(QVariant, value);
        // Three hours behind UTC all year, like São Paulo today.
        qputenv("TZ", "<-03>3");
        tzset();
        DateFormatDelegate date;
        NumberFormatDelegate money;
        StatusDelegate status;
        const QStyledItemDelegate *delegates[] = {nullptr, &date, &money, &money, &status};
        QTEST(delegates[column]->displayText(value, QLocale(QLocale::Portuguese, QLocale::Brazil)), "text");
    }

    void newOrderRingsUntilHandledElsewhere_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("newStatus");
        QTest::newRow("approved") << "aprovado" << 1;
        QTest::newRow("cancelled") << "cancelado" << 2;
    }

    void newOrderRingsUntilHandledElsewhere()
    {
        QFETCH(QString, kind);
        QFETCH(int, newStatus);
        start();
        console->clearAlarm();
        const int order = newOrder(store);
        QVERIFY(!console->lists(order));
        QVERIFY(announce(store, order));
        QTRY_VERIFY_WITH_TIMEOUT(console->lists(order), 5000);
        QVERIFY(console->alarmStarted());
        QCOMPARE(console->window()->lastAnnouncedOrder(), order);
        // While it waits, every tick notifies again, except in minutes divisible by ten.
        const QList<QPair<QTime, bool>> moments{{{12, 9, 59}, true}, {{12, 10, 0}, false}, {{12, 10, 59}, false},
                                                {{12, 11, 0}, true}, {{0, 0, 30}, false},  {{23, 59, 59}, true}};
        for (const auto &moment : moments) {
            console->window()->setClock([at = QDateTime(QDate::currentDate(), moment.first)] { return at; });
            console->clearNotifications();
            console->tick();
            QCOMPARE(console->notified(newOrderNotice), moment.second);
        }
        // Announced for another store, an order is not listed here; its number is taken.
        const int unannounced = db->addOrder(store, QDateTime::currentSecsSinceEpoch(), 42.5, 0, 1);
        QVERIFY(announce(otherStore, unannounced));
        QTRY_COMPARE_WITH_TIMEOUT(console->window()->lastAnnouncedOrder(), unannounced, 5000);
        QVERIFY(!console->lists(unannounced));

        // Handled at another console: the order changes, then the news arrives;
        // the marker after it tells when it has been handled.
        QVERIFY(db->exec(QStringLiteral("update pedido set status=:s where id_pedido=:id"), {{":s", newStatus}, {":id", order}}));
        QVERIFY(RunningConsole::publish({QStringLiteral("%1:%2:%3").arg(kind).arg(store).arg(order), "status:0:4242:0"}));
        QTRY_COMPARE_WITH_TIMEOUT(console->window()->lastAnnouncedOrder(), 4242, 5000);
        console->clearNotifications();
        console->tick();
        QVERIFY(!console->alarmPlaying());
        QVERIFY(!console->notified(newOrderNotice));
    }

    void burstIsHandledWithOneRefreshPerTick()
    {
        start();
        // New orders of this store interleaved with order news of another store;
        // published in one go, they arrive within a tick or two.
        QStringList burst;
        QList<int> ours;
        for (int i = 0; i < 100; i += 2) {
            ours.append(newOrder(store));
            burst << QStringLiteral("pedido_novo:%1:%2:0").arg(store).arg(ours.last())
                  << QStringLiteral("status:%1:%2:0").arg(otherStore).arg(900001 + i);
        }
        // Debug lines: one per new order of the store dispatched, one per list refresh.
        DebugCapture log;
        QVERIFY(RunningConsole::publish(burst));
        QTRY_COMPARE_WITH_TIMEOUT(log.count(QStringLiteral("atualizarlista ")), ours.size(), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(console->window()->lastAnnouncedOrder(), 900099, 5000);
        QTRY_VERIFY(std::all_of(ours.cbegin(), ours.cend(), [this](int order) { return console->lists(order); }));
        const int refreshes = log.count(QStringLiteral("LerUltimosPedidos "));
        QVERIFY2(refreshes <= 2, qPrintable(QString::number(refreshes)));
    }

    void cutoffIsStrictAndFailedRefreshIsRetried()
    {
        start();
        const QDateTime now = QDateTime::currentDateTime();
        console->window()->setClock([now] { return now; });
        const qint64 cutoff = now.addDays(-2).toSecsSinceEpoch();
        db->addOrder(store, cutoff, 10, 0, 0);
        const int justAfter = db->addOrder(store, cutoff + 1, 10, 0, 1);
        db->addOrder(otherStore, cutoff + 60, 10, 0, 1);
        QVERIFY(refresh());
        QTRY_COMPARE(console->listedOrders(), QList<int>{justAfter});

        // The database goes away as an order is announced: the refresh fails and the rows
        // stay; once it is back the list is refreshed and the order rings, with no other message.
        const int late = db->addOrder(store, cutoff + 120, 99999999.99, 0, 0);
        const auto restart = qScopeGuard([] { TestEnv::serverControl({QStringLiteral("start"), QStringLiteral("mariadb")}, 60000); });
        QVERIFY(TestEnv::serverControl({QStringLiteral("stop"), QStringLiteral("mariadb")}, 60000));
        console->clearAlarm();
        QVERIFY(announce(store, late));
        QTRY_COMPARE_WITH_TIMEOUT(console->label("label_conexao"), QStringLiteral("Servidor não conectado!"), 5000);
        QCOMPARE(console->listedOrders(), QList<int>{justAfter});
        QTest::qWait(2000);
        QVERIFY(TestEnv::serverControl({QStringLiteral("start"), QStringLiteral("mariadb")}, 60000));
        QTRY_VERIFY_WITH_TIMEOUT(console->lists(late) && console->alarmStarted(), 3000);
        // Its value, wider than any listed before, is not cut.
        auto *view = console->window()->findChild<QTableView *>(QStringLiteral("tableView_pedidos"));
        QVERIFY(view->columnWidth(2) >= view->sizeHintForIndex(view->model()->index(0, 2)).width());
    }

    void receiverLosesTheBroker_data()
    {
        QTest::addColumn<QString>("loss");
        QTest::addColumn<int>("holdMs");   // each connection through the relay waits that long for the broker
        QTest::newRow("broker stopped and started") << "stop" << 0;
        // The connection stays up, but its consumer is gone.
        QTest::newRow("only the queue deleted") << "queue" << 0;
        QTest::newRow("relay cut, back between two looks") << "cut" << 0;
        // Seen down long after the start: the client's own reconnection is waited
        // for, not thrown away by a rebuild.
        QTest::newRow("relay cut, slow handshake, seen down") << "cut" << 4000;
    }

    void receiverLosesTheBroker()
    {
        QFETCH(QString, loss);
        QFETCH(int, holdMs);
        const QString failed = QStringLiteral("Falha no login para recepção de pedidos");
        BrokerRelay relay(static_cast<quint16>(TestEnv::amqpPort()), holdMs);
        start(loss == "cut" ? relay.serverPort() : 0);
        console->clearNotifications();
        const auto restart = qScopeGuard([] { TestEnv::serverControl({QStringLiteral("broker-start")}); });
        if (loss == "cut") {
            // A slow page: each tick looks at the receiver about 2.5 s after it
            // starts, once every 3 s. The connection drops just after a look.
            QTest::qWait(6000);
            console->probe().setDelay(2500);
            for (int look = 0; look < 2; ++look) {
                const QString clock = console->label("label_relogio");
                QTRY_VERIFY_WITH_TIMEOUT(console->label("label_relogio") != clock, 10000);
            }
            relay.cut();
        } else {
            QVERIFY(TestEnv::serverControl(loss == "stop" ? QStringList{QStringLiteral("broker-stop")} : QStringList{
                QStringLiteral("broker-ctl"), QStringLiteral("eval"),
                QStringLiteral("[rabbit_amqqueue:delete(Q, false, false, <<\"test\">>) || Q <- rabbit_amqqueue:list(),"
                               " binary:match(element(4, amqqueue:get_name(Q)), <<\"amq.gen-\">>) =/= nomatch].")}));
            QTRY_COMPARE_WITH_TIMEOUT(console->label("label_recepcao"), failed, 10000);
            QTRY_VERIFY_WITH_TIMEOUT(console->notified(QStringLiteral("Mensagem|Erro no Broker para recepção de pedidos")), 3000);
        }
        // Written, and announced, while the console could not hear it: the broker keeps
        // nothing for it, but the database tells of it before long.
        console->clearAlarm();
        const int missed = newOrder(store);
        QVERIFY(loss != "cut" || announce(store, missed));
        if (holdMs)
            QTRY_COMPARE_WITH_TIMEOUT(console->label("label_recepcao"), failed, 5000);
        QVERIFY(loss != "stop" || QTest::qWaitFor([&] { return console->lists(missed) && console->alarmStarted(); }, 20000));
        if (loss == "stop") {
            // Two checkouts at once: the lower number commits after the higher one was listed.
            const int higher = newOrder(store) + 1;
            QVERIFY(db->exec("update pedido set id_pedido=id_pedido+1 where id_pedido=:o", {{":o", higher - 1}}));
            QVERIFY(QTest::qWaitFor([&] { return console->lists(higher); }, 20000));
            QVERIFY(db->exec("insert into pedido (id_pedido, id_pizzaria, data, valor, desconto, taxa_entrega, modo_pag, status) "
                             "select id_pedido-1, id_pizzaria, data, valor, 0, 0, 1, 0 from pedido where id_pedido=:o", {{":o", higher}}));
            QVERIFY(QTest::qWaitFor([&] { return console->lists(higher - 1); }, 20000));
        }
        QVERIFY(loss != "stop" || TestEnv::serverControl({QStringLiteral("broker-start")}));
        QTRY_VERIFY_WITH_TIMEOUT(console->receiving(), 60000);
        QTRY_VERIFY_WITH_TIMEOUT(console->lists(missed), loss == "cut" ? 15000 : 3000);
        QVERIFY(console->alarmStarted());
        QCOMPARE(relay.connections(), loss == "cut" ? 2 : 0);
        const int announced = newOrder(store);
        QVERIFY(announce(store, announced));
        QTRY_VERIFY_WITH_TIMEOUT(console->lists(announced), 5000);
    }

    void databaseStopsAnswering()
    {
        // The store's opening period starts as the line drops.
        const QDate today = QDate::currentDate();
        QVERIFY(addPeriod(today.dayOfWeek() % 7, QStringLiteral("10:00"), QStringLiteral("11:00")));
        QVERIFY(db->setStatus(store, 0, 35));
        // A running clock, set back or forward by offset seconds.
        const auto offset = std::make_shared<qint64>(QDateTime::currentDateTime().secsTo(QDateTime(today, QTime(9, 0))));
        RelayThread relay(static_cast<quint16>(TestEnv::dbPort()));
        console = std::make_unique<RunningConsole>(QStringLiteral("dono"), QStringLiteral("segredo"),
                                                   ConsoleServers{0, relay.port(), {}, {}});
        console->window()->setClock([offset] { return QDateTime::currentDateTime().addSecs(*offset); });
        QVERIFY(console->ready());
        LoopLagMeter lag;
        lag.start();
        // Nothing is refused: every connection waits. The console says so and goes on
        // serving its window, also for an order announced as the line drops.
        const int order = newOrder(store);
        console->clearAlarm();
        relay.freeze();
        const QDateTime opening(today, QTime(10, 0));
        *offset = QDateTime::currentDateTime().secsTo(opening);
        QVERIFY(announce(store, order));
        QTRY_COMPARE_WITH_TIMEOUT(console->label("label_conexao"), QStringLiteral("Servidor não conectado!"), 10000);
        const QString clock = console->label("label_relogio");
        QTest::qWait(4000);
        QVERIFY(!console->lists(order));
        QVERIFY(console->label("label_relogio") != clock);
        QVERIFY2(lag.maxLagMs() < LoopLagMeter::stallLimitMs, qPrintable(QString::number(lag.maxLagMs())));
        relay.release();
        QTRY_VERIFY_WITH_TIMEOUT(console->lists(order) && console->alarmStarted(), 10000);
        // The opening left pending is written once the server answers.
        QTRY_COMPARE_WITH_TIMEOUT(statusRow("status", store), QStringLiteral("1"), 15000);
        QVERIFY(statusRow("ts_open", store).toLongLong() >= opening.toSecsSinceEpoch());
        QTRY_COMPARE_WITH_TIMEOUT(console->widget<QAbstractButton>("pushButton_status")->text(), QStringLiteral("Status: ABERTO"), 3000);
    }

    void internetLostAndRecovered()
    {
        start();
        console->clearNotifications();
        console->probe().setMode(LocalProbePage::EmptyBody);   // an empty page is no answer
        QTRY_COMPARE_WITH_TIMEOUT(console->label("label_conexaoIinternet"), QStringLiteral("Internet NOK"), 5000);
        QVERIFY(console->notified(QStringLiteral("Internet|Erro de Internet")));
        // A page that never answers: each check gives up after its limit, and the
        // timer firing meanwhile starts no other check beside it (that would be six).
        console->probe().setMode(LocalProbePage::Silent);
        const int requestsBefore = console->probe().requests();
        QTest::qWait(6500);
        const int requests = console->probe().requests() - requestsBefore;
        QVERIFY2(requests >= 2 && requests <= 3, qPrintable(QString::number(requests)));
        QCOMPARE(console->label("label_conexaoIinternet"), QStringLiteral("Internet NOK"));

        const int missed = newOrder(store);
        console->probe().setMode(LocalProbePage::Answer);
        QTRY_COMPARE_WITH_TIMEOUT(console->label("label_conexaoIinternet"), QStringLiteral("Internet OK"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(console->lists(missed), 3000);

        // Then a slow page: the operator opens the settings while a check waits for it.
        console->probe().setDelay(2500);
        auto *settings = console->widget<QAction>("actionAbrir_CFG");
        QMetaObject::Connection opener = connect(&console->probe(), &LocalProbePage::requested, settings, [&opener, settings] {
            disconnect(opener);
            QTimer::singleShot(0, settings, &QAction::trigger);
        });
        bool listed = false, rang = false;
        ModalAnswer answer([&](QWidget *dialog) {
            console->clearAlarm();
            const int order = newOrder(store);
            listed = announce(store, order) && QTest::qWaitFor([&] { return console->lists(order); }, 10000);
            rang = console->alarmStarted();
            ModalAnswer::accept(dialog);
        });
        QTRY_VERIFY_WITH_TIMEOUT(answer.seen(), 10000);
        QVERIFY(listed && rang);
    }

private:
    void start(quint16 brokerPort = 0)
    {
        console = std::make_unique<RunningConsole>(QStringLiteral("dono"), QStringLiteral("segredo"),
                                                   ConsoleServers{brokerPort, 0, {}, {}});
        QVERIFY(console->ready() && console->receiving());
    }
    int newOrder(int store) { return db->addOrder(store, QDateTime::currentSecsSinceEpoch(), 42.5, 0, 0); }
    static bool announce(int store, int order) { return RunningConsole::publish({QStringLiteral("pedido_novo:%1:%2:0").arg(store).arg(order)}); }
    bool refresh() { return QMetaObject::invokeMethod(console->window(), "atualizarlista", Qt::DirectConnection); }

    std::unique_ptr<RunningConsole> console;
};

QTEST_MAIN(TestOrderEvents)
#include "tst_orderevents.moc"
