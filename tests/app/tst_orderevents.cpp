#include "runningconsole.h"

#include <QAction>
#include <QLCDNumber>
#include <QRadioButton>

namespace {
// Debug lines of the console: one per new order of the store it dispatches, one per list refresh.
QAtomicInt newOrderLines;
QAtomicInt refreshLines;
QtMessageHandler previousHandler = nullptr;

void countingHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    newOrderLines.fetchAndAddRelaxed(message == QLatin1String("atualizarlista ") ? 1 : 0);
    refreshLines.fetchAndAddRelaxed(message.startsWith(QLatin1String("LerUltimosPedidos ")) ? 1 : 0);
    previousHandler(type, context, message);
}

const QString newOrderNotice = QStringLiteral("Novo Pedido|Novo pedido recebido!!!");
const QString receiverOk = QStringLiteral("Login para recepção de pedidos: [ok]");
}

// The service's order events as the running console receives them, also while
// its broker or the Internet fail, or a check is slow.
class TestOrderEvents : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void newOrderRingsUntilHandledElsewhere_data();
    void newOrderRingsUntilHandledElsewhere();
    void burstIsHandledWithOneRefreshPerTick();
    void storeMessagesReadTheStatusOrEndTheConsole();
    void cutoffIsStrictAndFailedRefreshKeepsTheRows();
    void brokerStoppedAndStartedAgain();
    void slowHandshakesAreWaitedFor();
    void internetLostAndRecovered();
    void dialogOpenedWhileTheCheckWaits();
    void orderAnnouncedWhileTheReceiverReconnects();

private:
    void start(quint16 brokerPort = 0);
    void slowLooks();
    int newOrder(int store) { return db->addOrder(store, QDateTime::currentSecsSinceEpoch(), 42.5, 0, 0); }
    static bool announce(int store, int order)
    {
        return RunningConsole::publish({QStringLiteral("pedido_novo:%1:%2:0").arg(store).arg(order)});
    }
    int statusOf(int store, const char *column = "status")
    {
        return db->scalar(QStringLiteral("select %1 from status where id_pizzaria=:id").arg(QLatin1String(column)),
                          {{":id", store}}).toInt();
    }
    void refresh() { QMetaObject::invokeMethod(console->window(), "atualizarlista", Qt::DirectConnection); }
    QString internet() const { return console->label("label_conexaoIinternet"); }

    std::unique_ptr<DbFixture> db;
    std::unique_ptr<RunningConsole> console;
    int store = 0;
    int otherStore = 0;
};

void TestOrderEvents::initTestCase()
{
    TRV_REQUIRE_SERVERS();
    db = std::make_unique<DbFixture>();
    QVERIFY2(db->isOpen(), qPrintable(db->lastError()));
    previousHandler = qInstallMessageHandler(countingHandler);
}

void TestOrderEvents::init()
{
    QVERIFY(db->clearAll());
    store = db->addOwnedStore(QStringLiteral("dono"), QStringLiteral("segredo"));
    otherStore = db->addOwnedStore(QStringLiteral("vizinho"), QStringLiteral("outra"));
    QVERIFY(db->setStatus(store, 1, 35) && db->setStatus(otherStore, 1, 20));
}

void TestOrderEvents::cleanup()
{
    console.reset();
    // Whatever happened, leave the broker running for the next test.
    if (QByteArray(QTest::currentTestFunction()) == "brokerStoppedAndStartedAgain")
        TestEnv::serverControl({QStringLiteral("broker-start")});
}

// A slow page: each tick looks at the receiver about 2.5 s after it starts,
// once every 3 s. Returns just after a look.
void TestOrderEvents::slowLooks()
{
    console->probe().setDelay(2500);
    for (int look = 0; look < 2; ++look) {
        const QString clock = console->label("label_relogio");
        QTRY_VERIFY_WITH_TIMEOUT(console->label("label_relogio") != clock, 10000);
    }
}

void TestOrderEvents::start(quint16 brokerPort)
{
    console = std::make_unique<RunningConsole>(QStringLiteral("dono"), QStringLiteral("segredo"), brokerPort);
    QVERIFY(console->ready());
    QCOMPARE(console->label("label_recepcao"), receiverOk);
}

void TestOrderEvents::newOrderRingsUntilHandledElsewhere_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("newStatus");
    QTest::newRow("approved") << "aprovado" << 1;
    QTest::newRow("cancelled") << "cancelado" << 2;
}

void TestOrderEvents::newOrderRingsUntilHandledElsewhere()
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
    QCOMPARE(connectionSettings.lastAnnouncedOrder, order);
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
    QTRY_COMPARE_WITH_TIMEOUT(connectionSettings.lastAnnouncedOrder, unannounced, 5000);
    QVERIFY(!console->lists(unannounced));

    // Handled at another console: the order changes, then the news arrives;
    // the marker after it tells when it has been handled.
    QVERIFY(db->exec(QStringLiteral("update pedido set status=:s where id_pedido=:id"), {{":s", newStatus}, {":id", order}}));
    QVERIFY(RunningConsole::publish({QStringLiteral("%1:%2:%3").arg(kind).arg(store).arg(order), "status:0:4242:0"}));
    QTRY_COMPARE_WITH_TIMEOUT(connectionSettings.lastAnnouncedOrder, 4242, 5000);
    console->clearNotifications();
    console->tick();
    QVERIFY(!console->alarmPlaying());
    QVERIFY(!console->notified(newOrderNotice));
}

void TestOrderEvents::burstIsHandledWithOneRefreshPerTick()
{
    start();
    // New orders of this store interleaved with order news of another store;
    // published in one go, they arrive within a tick or two.
    QStringList burst;
    QList<int> ours;
    int lastNumber = 0;
    for (int i = 0; i < 100; ++i) {
        lastNumber = i % 2 ? 900000 + i : newOrder(store);
        burst.append(QStringLiteral("%1:%2:%3:0").arg(i % 2 ? "status" : "pedido_novo").arg(i % 2 ? otherStore : store).arg(lastNumber));
        if (i % 2 == 0)
            ours.append(lastNumber);
    }
    newOrderLines = 0;
    refreshLines = 0;
    QVERIFY(RunningConsole::publish(burst));
    QTRY_COMPARE_WITH_TIMEOUT(int(newOrderLines), ours.size(), 15000);
    QTRY_COMPARE_WITH_TIMEOUT(connectionSettings.lastAnnouncedOrder, lastNumber, 5000);
    const QList<int> listed = console->listedOrders();
    for (int order : ours)
        QVERIFY2(listed.contains(order), qPrintable(QString::number(order)));
    QVERIFY2(refreshLines <= 2, qPrintable(QString::number(refreshLines)));
}

void TestOrderEvents::storeMessagesReadTheStatusOrEndTheConsole()
{
    start();
    auto *lcd = console->window()->findChild<QLCDNumber *>(QStringLiteral("lcdNumber"));
    QCOMPARE(lcd->intValue(), 35);
    QVERIFY(db->exec(QStringLiteral("update status set espera=50 where id_pizzaria=:id"), {{":id", store}}));
    QVERIFY(RunningConsole::publish({QStringLiteral("statussite:%1:1:5").arg(store)}));
    QTRY_COMPARE_WITH_TIMEOUT(lcd->intValue(), 50, 5000);
    QVERIFY(console->window()->findChild<QRadioButton *>(QStringLiteral("radioButton_manual"))->isChecked());
    QCOMPARE(connectionSettings.lastAnnouncedOrder, 1);

    // Another store's closing does nothing here but take its number.
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    QVERIFY(RunningConsole::publish({QStringLiteral("closeloja:%1:0:4").arg(otherStore), "status:0:4243:0"}));
    QTRY_COMPARE_WITH_TIMEOUT(connectionSettings.lastAnnouncedOrder, 4243, 5000);
    QVERIFY(console->window()->isVisible());
    QCOMPARE(statusOf(otherStore), 1);
    QVERIFY(RunningConsole::publish({QStringLiteral("closeloja:%1:0:4").arg(store)}));
    QTRY_VERIFY_WITH_TIMEOUT(!console->window()->isVisible(), 5000);
    QCOMPARE(statusOf(store), 0);
    QVERIFY(statusOf(store, "ts_close") >= before);
}

void TestOrderEvents::cutoffIsStrictAndFailedRefreshKeepsTheRows()
{
    start();
    const QDateTime now = QDateTime::currentDateTime();
    console->window()->setClock([now] { return now; });
    const qint64 cutoff = now.addDays(-2).toSecsSinceEpoch();
    db->addOrder(store, cutoff, 10, 0, 0);
    const int justAfter = db->addOrder(store, cutoff + 1, 10, 0, 1);
    db->addOrder(otherStore, cutoff + 60, 10, 0, 1);
    refresh();
    QCOMPARE(console->listedOrders(), QList<int>{justAfter});

    // The server refuses the account now: the refresh fails after replacing the connection.
    const QString password = connectionSettings.dbPassword;
    connectionSettings.dbPassword = QStringLiteral("no longer valid");
    refresh();
    console->tick();
    QCOMPARE(console->label("label_conexao"), QStringLiteral("Servidor não conectado!"));
    QCOMPARE(console->listedOrders(), QList<int>{justAfter});
    connectionSettings.dbPassword = password;
}

void TestOrderEvents::brokerStoppedAndStartedAgain()
{
    start();
    console->clearNotifications();
    QVERIFY(TestEnv::serverControl({QStringLiteral("broker-stop")}));
    QTRY_COMPARE_WITH_TIMEOUT(console->label("label_recepcao"), QStringLiteral("Falha no login para recepção de pedidos"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(console->notified(QStringLiteral("Mensagem|Erro no Broker para recepção de pedidos")), 3000);
    // Written while the console could not hear it: the broker keeps nothing for it.
    const int missed = newOrder(store);
    QVERIFY(TestEnv::serverControl({QStringLiteral("broker-start")}));
    QTRY_COMPARE_WITH_TIMEOUT(console->label("label_recepcao"), receiverOk, 60000);
    QTRY_VERIFY_WITH_TIMEOUT(console->lists(missed), 3000);
    const int announced = newOrder(store);
    QVERIFY(announce(store, announced));
    QTRY_VERIFY_WITH_TIMEOUT(console->lists(announced), 5000);
}

void TestOrderEvents::slowHandshakesAreWaitedFor()
{
    // Every connection through the relay takes 4 s before the broker answers.
    BrokerRelay relay(quint16(TestEnv::amqpPort()), 4000);
    start(relay.serverPort());
    QCOMPARE(relay.connections(), 1);
    // Long after the start, the connection drops just after a tick's look; the
    // next look finds the client's own reconnection under way: it is waited
    // for, not thrown away by a rebuild.
    QTest::qWait(6000);
    slowLooks();
    relay.cut();
    const int missed = newOrder(store);
    QTRY_COMPARE_WITH_TIMEOUT(console->label("label_recepcao"), QStringLiteral("Falha no login para recepção de pedidos"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(console->lists(missed), 15000);
    QCOMPARE(relay.connections(), 2);
}

void TestOrderEvents::internetLostAndRecovered()
{
    start();
    console->clearNotifications();
    console->probe().setMode(LocalProbePage::EmptyBody);   // an empty page is no answer
    QTRY_COMPARE_WITH_TIMEOUT(internet(), QStringLiteral("Internet NOK"), 5000);
    QVERIFY(!connectionSettings.internetOk);
    QVERIFY(console->notified(QStringLiteral("Internet|Erro de Internet")));
    // A page that never answers: each check gives up after its limit, and the
    // timer firing meanwhile starts no other check beside it (that would be six).
    console->probe().setMode(LocalProbePage::Silent);
    const int requestsBefore = console->probe().requests();
    QTest::qWait(6500);
    const int requests = console->probe().requests() - requestsBefore;
    QVERIFY2(requests >= 2 && requests <= 3, qPrintable(QString::number(requests)));
    QCOMPARE(internet(), QStringLiteral("Internet NOK"));

    const int missed = newOrder(store);
    console->probe().setMode(LocalProbePage::Answer);
    QTRY_COMPARE_WITH_TIMEOUT(internet(), QStringLiteral("Internet OK"), 5000);
    QVERIFY(connectionSettings.internetOk);
    QTRY_VERIFY_WITH_TIMEOUT(console->lists(missed), 3000);
}

void TestOrderEvents::dialogOpenedWhileTheCheckWaits()
{
    start();
    // The operator opens the settings while a check waits for a slow page.
    console->probe().setDelay(2500);
    auto *settings = console->window()->findChild<QAction *>(QStringLiteral("actionAbrir_CFG"));
    QMetaObject::Connection opener;
    opener = connect(&console->probe(), &LocalProbePage::requested, settings, [&opener, settings] {
        disconnect(opener);
        QTimer::singleShot(0, settings, &QAction::trigger);
    });
    bool listed = false;
    bool rang = false;
    ModalAnswer answer([&](QWidget *dialog) {
        console->clearAlarm();
        const int order = newOrder(store);
        listed = announce(store, order) && QTest::qWaitFor([&] { return console->lists(order); }, 10000);
        rang = console->alarmStarted();
        ModalAnswer::accept(dialog);
    });
    QTRY_VERIFY_WITH_TIMEOUT(answer.seen(), 10000);
    QVERIFY(listed);
    QVERIFY(rang);
}

void TestOrderEvents::orderAnnouncedWhileTheReceiverReconnects()
{
    BrokerRelay relay(quint16(TestEnv::amqpPort()), 0);
    start(relay.serverPort());
    // The connection drops and comes back between two looks.
    slowLooks();
    relay.cut();
    console->clearAlarm();
    const int missed = newOrder(store);
    QVERIFY(announce(store, missed));
    QTRY_VERIFY_WITH_TIMEOUT(console->lists(missed), 10000);
    QVERIFY(console->alarmStarted());
    QCOMPARE(relay.connections(), 2);
}

QTEST_MAIN(TestOrderEvents)
#include "tst_orderevents.moc"
