#include "connectionsettings.h"
#include "dbfixture.h"
#include "runningconsole.h"
#include "testenv.h"

#include <QLabel>
#include <QLCDNumber>
#include <QRadioButton>
#include <QTableView>
#include <QtTest>

#include <memory>

namespace {
// Counts the debug lines the tick writes before refreshing for a new order.
QAtomicInt newOrderRefreshes;
QtMessageHandler previousHandler = nullptr;

void countingHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message == QLatin1String("atualizarlista "))
        newOrderRefreshes.fetchAndAddRelaxed(1);
    previousHandler(type, context, message);
}

QDateTime atMinute(int hour, int minute, int second)
{
    return QDateTime(QDate::currentDate(), QTime(hour, minute, second));
}
}

// The service's order events, as the running console receives them.
class TestOrderEvents : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void newOrderOfTheStoreRingsAndIsListed();
    void everyMessageBetweenTwoTicksIsHandled_data();
    void everyMessageBetweenTwoTicksIsHandled();
    void approvalStopsTheAlarmAndNotifications_data();
    void approvalStopsTheAlarmAndNotifications();
    void messageForAnotherStoreOnlyTakesTheOrderNumber();
    void statusMessageChecksManualAndRereadsTheStatus();
    void closingMessageRecordsClosedAndEndsTheConsole();
    void newOrderNotificationSkipsEveryTenthMinute();
    void cutoffIsStrict();
    void failedRefreshKeepsTheRowsOnScreen();

private:
    int newOrder(int store) { return db->addOrder(store, QDateTime::currentSecsSinceEpoch(), 42.5, 0, 0); }
    void waitForReceiver();

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
    QVERIFY(db->setStatus(store, 1, 35));
    QVERIFY(db->setStatus(otherStore, 1, 20));
    connectionSettings.lastAnnouncedOrder = 0;
    console = std::make_unique<RunningConsole>(QStringLiteral("dono"), QStringLiteral("segredo"));
    waitForReceiver();
}

void TestOrderEvents::cleanup()
{
    console.reset();
}

void TestOrderEvents::waitForReceiver()
{
    QTRY_COMPARE_WITH_TIMEOUT(console->label("label_recepcao"), QStringLiteral("Login para recepção de pedidos: [ok]"),
                              20000);
    QTRY_COMPARE_WITH_TIMEOUT(console->label("label_conexaoIinternet"), QStringLiteral("Internet OK"), 5000);
}

void TestOrderEvents::newOrderOfTheStoreRingsAndIsListed()
{
    console->window()->setClock([] { return atMinute(12, 1, 0); });
    console->clearAlarm();
    const int order = newOrder(store);
    QVERIFY(!console->lists(order));

    QCOMPARE(RunningConsole::publish({QStringLiteral("pedido_novo:%1:%2:0").arg(store).arg(order).toLatin1()}), QString());
    QTRY_VERIFY_WITH_TIMEOUT(console->lists(order), 5000);
    QVERIFY(console->alarmStarted());
    QTRY_VERIFY_WITH_TIMEOUT(console->notifications().contains(QStringLiteral("Novo Pedido|Novo pedido recebido!!!")), 3000);
    QCOMPARE(connectionSettings.lastAnnouncedOrder, order);
}

void TestOrderEvents::everyMessageBetweenTwoTicksIsHandled_data()
{
    QTest::addColumn<int>("messages");
    QTest::newRow("two") << 2;
    QTest::newRow("a hundred") << 100;
}

void TestOrderEvents::everyMessageBetweenTwoTicksIsHandled()
{
    QFETCH(int, messages);
    // New orders of this store interleaved with order news of another store;
    // published in one go, they arrive within the same second.
    QList<QByteArray> batch;
    QList<int> ours;
    int lastNumber = 0;
    for (int i = 0; i < messages; ++i) {
        if (i % 2 == 0) {
            const int order = newOrder(store);
            ours.append(order);
            batch.append(QStringLiteral("pedido_novo:%1:%2:0").arg(store).arg(order).toLatin1());
            lastNumber = order;
        } else {
            lastNumber = 900000 + i;
            batch.append(QStringLiteral("status:%1:%2:1").arg(otherStore).arg(lastNumber).toLatin1());
        }
    }
    newOrderRefreshes = 0;
    QCOMPARE(RunningConsole::publish(batch), QString());

    QTRY_COMPARE_WITH_TIMEOUT(int(newOrderRefreshes), ours.size(), 15000);
    QTRY_COMPARE_WITH_TIMEOUT(connectionSettings.lastAnnouncedOrder, lastNumber, 5000);
    const QList<int> listed = console->listedOrders();
    for (int order : ours)
        QVERIFY2(listed.contains(order), qPrintable(QString::number(order)));
}

void TestOrderEvents::approvalStopsTheAlarmAndNotifications_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("newStatus");
    QTest::newRow("approved") << "aprovado" << 1;
    QTest::newRow("cancelled") << "cancelado" << 2;
}

void TestOrderEvents::approvalStopsTheAlarmAndNotifications()
{
    QFETCH(QString, kind);
    QFETCH(int, newStatus);
    console->window()->setClock([] { return atMinute(15, 3, 0); });
    const int order = newOrder(store);
    QCOMPARE(RunningConsole::publish({QStringLiteral("pedido_novo:%1:%2:0").arg(store).arg(order).toLatin1()}), QString());
    QTRY_VERIFY_WITH_TIMEOUT(console->notifications().contains(QStringLiteral("Novo Pedido|Novo pedido recebido!!!")), 5000);

    // Handled at another console: the order changes, then the news arrives.
    QVERIFY(db->exec(QStringLiteral("update pedido set status=:s where id_pedido=:id"), {{":s", newStatus}, {":id", order}}));
    // The marker after it tells when the news has been handled.
    QCOMPARE(RunningConsole::publish({QStringLiteral("%1:%2:%3").arg(kind).arg(store).arg(order).toLatin1(),
                                      QByteArray("status:0:4242:0")}),
             QString());
    QTRY_COMPARE_WITH_TIMEOUT(connectionSettings.lastAnnouncedOrder, 4242, 5000);

    console->clearNotifications();
    QTest::qWait(2200);
    QVERIFY(!console->alarmPlaying());
    QVERIFY2(!console->notifications().contains(QStringLiteral("Novo Pedido|Novo pedido recebido!!!")),
             qPrintable(console->notifications().join(QLatin1Char(','))));
}

void TestOrderEvents::messageForAnotherStoreOnlyTakesTheOrderNumber()
{
    const int unannounced = newOrder(store);
    QCOMPARE(RunningConsole::publish({QStringLiteral("pedido_novo:%1:%2:0").arg(otherStore).arg(unannounced).toLatin1()}),
             QString());
    QTRY_COMPARE_WITH_TIMEOUT(connectionSettings.lastAnnouncedOrder, unannounced, 5000);
    QTest::qWait(1200);
    QVERIFY(!console->lists(unannounced));
}

void TestOrderEvents::statusMessageChecksManualAndRereadsTheStatus()
{
    auto *manual = console->window()->findChild<QRadioButton *>(QStringLiteral("radioButton_manual"));
    auto *lcd = console->window()->findChild<QLCDNumber *>(QStringLiteral("lcdNumber"));
    QCOMPARE(lcd->intValue(), 35);

    QVERIFY(db->exec(QStringLiteral("update status set espera=50 where id_pizzaria=:id"), {{":id", store}}));
    QCOMPARE(RunningConsole::publish({QStringLiteral("statussite:%1:1:5").arg(store).toLatin1()}), QString());
    QTRY_COMPARE_WITH_TIMEOUT(lcd->intValue(), 50, 5000);
    QVERIFY(manual->isChecked());
    QCOMPARE(connectionSettings.lastAnnouncedOrder, 1);
}

void TestOrderEvents::closingMessageRecordsClosedAndEndsTheConsole()
{
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    QVERIFY(console->window()->isVisible());
    // Another store's closing does nothing here but take its number.
    QCOMPARE(RunningConsole::publish({QStringLiteral("closeloja:%1:0:4").arg(otherStore).toLatin1()}), QString());
    QTest::qWait(1500);
    QVERIFY(console->window()->isVisible());
    QCOMPARE(db->scalar(QStringLiteral("select status from status where id_pizzaria=:id"), {{":id", otherStore}}).toInt(), 1);

    QCOMPARE(RunningConsole::publish({QStringLiteral("closeloja:%1:0:4").arg(store).toLatin1()}), QString());
    QTRY_VERIFY_WITH_TIMEOUT(!console->window()->isVisible(), 5000);
    QCOMPARE(db->scalar(QStringLiteral("select status from status where id_pizzaria=:id"), {{":id", store}}).toInt(), 0);
    QVERIFY(db->scalar(QStringLiteral("select ts_close from status where id_pizzaria=:id"), {{":id", store}}).toLongLong()
            >= before);
}

void TestOrderEvents::newOrderNotificationSkipsEveryTenthMinute()
{
    const int order = newOrder(store);
    QCOMPARE(RunningConsole::publish({QStringLiteral("pedido_novo:%1:%2:0").arg(store).arg(order).toLatin1()}), QString());
    QTRY_VERIFY_WITH_TIMEOUT(console->lists(order), 5000);

    struct Moment { QDateTime at; bool notifies; };
    const QList<Moment> moments{{atMinute(12, 9, 58), true},  {atMinute(12, 9, 59), true},
                                {atMinute(12, 10, 0), false}, {atMinute(12, 10, 59), false},
                                {atMinute(12, 11, 0), true},  {atMinute(0, 0, 30), false},
                                {atMinute(23, 59, 59), true}};
    for (const Moment &moment : moments) {
        console->window()->setClock([at = moment.at] { return at; });
        console->clearNotifications();
        console->tick();
        QCOMPARE(console->notifications().contains(QStringLiteral("Novo Pedido|Novo pedido recebido!!!")),
                 moment.notifies);
    }
}

void TestOrderEvents::cutoffIsStrict()
{
    const QDateTime now = QDateTime::currentDateTime();
    console->window()->setClock([now] { return now; });
    const qint64 cutoff = now.addDays(-2).toSecsSinceEpoch();
    const int atCutoff = db->addOrder(store, cutoff, 10, 0, 0);
    const int justAfter = db->addOrder(store, cutoff + 1, 10, 0, 1);
    const int otherStoreOrder = db->addOrder(otherStore, cutoff + 60, 10, 0, 1);

    QMetaObject::invokeMethod(console->window(), "atualizarlista", Qt::DirectConnection);
    QVERIFY(!console->lists(atCutoff));
    QVERIFY(console->lists(justAfter));
    QVERIFY(!console->lists(otherStoreOrder));
}

void TestOrderEvents::failedRefreshKeepsTheRowsOnScreen()
{
    const int order = db->addOrder(store, QDateTime::currentSecsSinceEpoch(), QStringLiteral("19.90"), QVariant(), 1);
    QMetaObject::invokeMethod(console->window(), "atualizarlista", Qt::DirectConnection);
    QVERIFY(console->lists(order));

    // The server refuses the account now: the refresh fails after replacing the connection.
    const QString password = connectionSettings.dbPassword;
    connectionSettings.dbPassword = QStringLiteral("no longer valid");
    QMetaObject::invokeMethod(console->window(), "atualizarlista", Qt::DirectConnection);
    console->tick();
    QCOMPARE(console->label("label_conexao"), QStringLiteral("Servidor não conectado!"));
    QCOMPARE(console->listedOrders(), QList<int>{order});
    auto *view = console->window()->findChild<QTableView *>(QStringLiteral("tableView_pedidos"));
    QCOMPARE(view->model()->data(view->model()->index(0, 2)).toDouble(), 19.9);
    QVERIFY(view->model()->data(view->model()->index(0, 3)).isNull());
    view->grab();   // paints every visible cell through the delegates

    connectionSettings.dbPassword = password;
    console->tick();
    QMetaObject::invokeMethod(console->window(), "atualizarlista", Qt::DirectConnection);
    QCOMPARE(console->listedOrders(), QList<int>{order});
}

QTEST_MAIN(TestOrderEvents)
#include "tst_orderevents.moc"
