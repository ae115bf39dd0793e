#include "amqptestsupport.h"
#include "debugcapture.h"
#include "operatoractions.h"
#include "orderdelegates.h"
#include "orderrows.h"
#include "printedtickets.h"

#include <QScopeGuard>

// Consoles of one store set to approve and print new orders by themselves,
// beside one that is not, over a burst of orders.
class TestAutoApproval : public StoreFixture
{
    Q_OBJECT

private slots:
    void burst_data()
    {
        QTest::addColumn<bool>("brokerUp");
        QTest::newRow("announced, an order waiting at the start") << true;
        QTest::newRow("broker down, found by the poll") << false;
    }

    // Each new order approved once, its ticket once on each printer and its
    // status announced once; an order already waiting stays for the operator.
    void burst()
    {
        QFETCH(bool, brokerUp);
        const PrintedTickets printed;
        ChainReceiver consumer;
        QTRY_VERIFY_WITH_TIMEOUT(consumer.isReady(), 15000);
        if (brokerUp)   // waiting before the consoles start
            insertFullOrder(*db, store, 0, 1);
        const quint16 brokerPort = brokerUp ? 0 : 1;   // nobody listens there
        std::vector<std::unique_ptr<RunningConsole>> consoles;
        for (const bool on : {true, false, true}) {
            consoles.push_back(std::make_unique<RunningConsole>("dono", "segredo", ConsoleServers{brokerPort, 0, {}, {}, printers(), on}));
            RunningConsole &c = *consoles.back();
            QVERIFY(brokerUp ? c.ready() : QTest::qWaitFor([&] { return c.label("label_usuario") == "Usuário logado!" && c.settled(); }, 20000));
            QCOMPARE(c.label("label_autoaprovacao") == "Aprovação automática" && c.widget<QLabel>("label_autoaprovacao")->isVisible(), on);
            c.clearAlarm();
        }
        QList<int> orders;
        for (int i = 0; i < 3; ++i)
            orders << insertFullOrder(*db, store, 0, 1);
        // The rows held until both consoles set to approve wait to write the first: they race for it.
        QVERIFY(db->exec("start transaction") && db->exec("select id_pedido from pedido where id_pizzaria=:s for update", {{":s", store}}));
        auto unlock = qScopeGuard([&] { db->exec("rollback"); });
        for (int order : orders)
            QVERIFY(!brokerUp || RunningConsole::publish({QString("pedido_novo:%1:%2:0").arg(store).arg(order)}));
        QTRY_COMPARE_WITH_TIMEOUT(db->scalar("select count(*) from information_schema.processlist where info like 'update pedido%'").toInt(), 2, 30000);
        unlock.dismiss();
        QVERIFY(db->exec("rollback"));
        const auto statuses = [&] { return db->scalar("select group_concat(status order by id_pedido separator '') from pedido").toString(); };
        QTRY_COMPARE_WITH_TIMEOUT(statuses(), QString(brokerUp ? "0111" : "111"), 40000);
        QTRY_COMPARE_WITH_TIMEOUT(printed.since(1).size() + printed.since(2).size(), 2 * orders.size(), 30000);
        QTest::qWait(3000);   // nothing more comes
        for (const int queue : {1, 2}) {
            const QString texts = printed.texts(queue).join('\n');
            for (int order : orders)
                QVERIFY2(texts.count(QString("Pedido: %1 ").arg(order)) == 1, qPrintable(texts));
        }
        for (int order : orders) {
            QCOMPARE(consumer.count(QString("status:%1:%2:1").arg(store).arg(order).toUtf8()), brokerUp ? 1 : 0);
            const QString notice = QString("Aprovação automática|Pedido %1 aprovado e impresso.").arg(order);
            QCOMPARE(std::count_if(consoles.cbegin(), consoles.cend(), [&](const auto &c) { return c->notified(notice); }), 1L);
        }
        // Those set to approve ring only for the order that was waiting.
        for (const int on : {0, 2})
            QCOMPARE(consoles[on]->alarmStarted(), brokerUp);
    }

    // A ticket that reached no printer keeps its order ringing and marked until
    // the operator prints it from its dialog.
    void missingPrinter()
    {
        DebugCapture log;
        const PrintedTickets printed;
        RunningConsole c("dono", "segredo", ConsoleServers{0, 0, {}, {}, TestEnv::value("TRV_PRINTER1") + ":Nenhuma", true});
        QVERIFY(c.ready());
        const int order = insertFullOrder(*db, store, 0, 1);
        QVERIFY(RunningConsole::publish({QString("pedido_novo:%1:%2:0").arg(store).arg(order)}));
        auto *view = c.window()->findChild<QTableView *>("tableView_pedidos");
        const auto shown = [&] {
            auto *status = qobject_cast<StatusDelegate *>(view->itemDelegateForColumn(4));
            return status && c.lists(order) ? status->shownText(view->model()->index(c.listedOrders().indexOf(order), 4)) : QString();
        };
        QTRY_COMPARE_WITH_TIMEOUT(shown(), QString("APROVADO - NÃO IMPRESSO"), 20000);
        QVERIFY(log.count(QString("Pedido %1 aprovado automaticamente, mas não impresso: A impressora \"Nenhuma\"").arg(order)) == 1);
        QCOMPARE(printed.since(1).size(), 1);
        const QString ringing = "Novo Pedido|Novo pedido recebido!!!";
        c.window()->setClock([] { return QDateTime(QDate::currentDate(), QTime(12, 11)); });
        c.clearNotifications();
        c.tick();
        QVERIFY(c.notified(ringing));
        // The printer put right, the operator prints it by hand.
        connectionSettings.printerList = QStringList{TestEnv::value("TRV_PRINTER1")};
        ModalAnswer dialog([](QWidget *modal) { QTimer::singleShot(0, modal, [modal] { clica(modal, "pushButton_imprimir"), modal->close(); }); });
        const QStringList seen = respondendo({"OK"}, [&] { doubleClick(c, order); });
        QVERIFY2(seen.isEmpty(), qPrintable(seen.join('\n')));
        QTRY_COMPARE(shown(), QString("APROVADO"));
        QTRY_COMPARE_WITH_TIMEOUT(printed.since(1).size(), 2, 20000);
        c.clearNotifications();
        c.tick();
        QVERIFY(!c.notified(ringing));
    }

private:
    static QString printers() { return TestEnv::value("TRV_PRINTER1") + ':' + TestEnv::value("TRV_PRINTER2"); }
};

QTEST_MAIN(TestAutoApproval)
#include "tst_autoapproval.moc"
