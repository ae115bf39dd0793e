#include "connectionsettings.h"
#include "dbfixture.h"
#include "runningconsole.h"
#include "brokerrelay.h"
#include "testenv.h"
#include "traynotifier.h"

#include "modalanswer.h"

#include <QAction>
#include <QtTest>

#include <memory>

namespace {
const QString receiverOk = QStringLiteral("Login para recepção de pedidos: [ok]");
const QString receiverFailed = QStringLiteral("Falha no login para recepção de pedidos");
const QString brokerNotice = QStringLiteral("Mensagem|Erro no Broker para recepção de pedidos");
const QString internetNotice = QStringLiteral("Internet|Erro de Internet");
}

// A console that loses its broker or the Internet and comes back.
class TestReceiverRecovery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void brokerStoppedAndStartedAgain();
    void slowHandshakeIsWaitedFor();
    void internetLostAndRecovered();
    void silentProbeRunsOutAndTicksDoNotNest();
    void dialogOpenedWhileTheCheckWaits();
    void orderAnnouncedWhileTheReceiverReconnects();

private:
    int newOrder() { return db->addOrder(store, QDateTime::currentSecsSinceEpoch(), 30, 0, 0); }

    std::unique_ptr<DbFixture> db;
    std::unique_ptr<RunningConsole> console;
    int store = 0;
};

void TestReceiverRecovery::initTestCase()
{
    TRV_REQUIRE_SERVERS();
    db = std::make_unique<DbFixture>();
    QVERIFY2(db->isOpen(), qPrintable(db->lastError()));
}

void TestReceiverRecovery::init()
{
    QVERIFY(db->clearAll());
    store = db->addOwnedStore(QStringLiteral("dono"), QStringLiteral("segredo"));
    QVERIFY(db->setStatus(store, 1, 30));
}

void TestReceiverRecovery::cleanup()
{
    console.reset();
    // Whatever happened, leave the broker running for the next test.
    TestEnv::serverControl({QStringLiteral("broker-start")});
}

void TestReceiverRecovery::brokerStoppedAndStartedAgain()
{
    console = std::make_unique<RunningConsole>(QStringLiteral("dono"), QStringLiteral("segredo"));
    QTRY_COMPARE_WITH_TIMEOUT(console->label("label_recepcao"), receiverOk, 20000);

    console->clearNotifications();
    QVERIFY(TestEnv::serverControl({QStringLiteral("broker-stop")}));
    QTRY_COMPARE_WITH_TIMEOUT(console->label("label_recepcao"), receiverFailed, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(console->notifications().contains(brokerNotice), 3000);

    // Announced while the console could not hear it: the broker keeps nothing for it.
    const int missed = newOrder();
    QVERIFY(TestEnv::serverControl({QStringLiteral("broker-start")}));
    QTRY_COMPARE_WITH_TIMEOUT(console->label("label_recepcao"), receiverOk, 60000);
    QTRY_VERIFY_WITH_TIMEOUT(console->lists(missed), 3000);

    // Messages flow again through the rebuilt queue.
    const int announced = newOrder();
    QCOMPARE(RunningConsole::publish({QStringLiteral("pedido_novo:%1:%2:0").arg(store).arg(announced).toLatin1()}),
             QString());
    QTRY_VERIFY_WITH_TIMEOUT(console->lists(announced), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(connectionSettings.lastAnnouncedOrder, announced, 3000);
}

void TestReceiverRecovery::slowHandshakeIsWaitedFor()
{
    // Every connection through the proxy takes 2.5 s before the broker answers.
    BrokerRelay proxy(quint16(TestEnv::amqpPort()), 2500);
    QVERIFY(proxy.listen());
    console = std::make_unique<RunningConsole>(QStringLiteral("dono"), QStringLiteral("segredo"), proxy.port());

    QTRY_COMPARE_WITH_TIMEOUT(console->label("label_recepcao"), receiverOk, 15000);
    QCOMPARE(proxy.connections(), 1);

    const int order = newOrder();
    QCOMPARE(RunningConsole::publish({QStringLiteral("pedido_novo:%1:%2:0").arg(store).arg(order).toLatin1()}), QString());
    QTRY_VERIFY_WITH_TIMEOUT(console->lists(order), 5000);
}

void TestReceiverRecovery::internetLostAndRecovered()
{
    console = std::make_unique<RunningConsole>(QStringLiteral("dono"), QStringLiteral("segredo"));
    QTRY_COMPARE_WITH_TIMEOUT(console->label("label_conexaoIinternet"), QStringLiteral("Internet OK"), 5000);
    QVERIFY(connectionSettings.internetOk);

    console->clearNotifications();
    console->probe().stopListening();
    QTRY_COMPARE_WITH_TIMEOUT(console->label("label_conexaoIinternet"), QStringLiteral("Internet NOK"), 5000);
    QVERIFY(!connectionSettings.internetOk);
    QVERIFY(console->notifications().contains(internetNotice));

    // An empty page is no answer either.
    console->probe().setMode(LocalProbePage::EmptyBody);
    QVERIFY(console->probe().resume());
    QTest::qWait(1500);
    QCOMPARE(console->label("label_conexaoIinternet"), QStringLiteral("Internet NOK"));

    const int missed = newOrder();
    console->probe().setMode(LocalProbePage::Answer);
    QTRY_COMPARE_WITH_TIMEOUT(console->label("label_conexaoIinternet"), QStringLiteral("Internet OK"), 5000);
    QVERIFY(connectionSettings.internetOk);
    QTRY_VERIFY_WITH_TIMEOUT(console->lists(missed), 3000);
}

void TestReceiverRecovery::silentProbeRunsOutAndTicksDoNotNest()
{
    console = std::make_unique<RunningConsole>(QStringLiteral("dono"), QStringLiteral("segredo"));
    QTRY_COMPARE_WITH_TIMEOUT(console->label("label_conexaoIinternet"), QStringLiteral("Internet OK"), 5000);

    // A page that never answers: each check gives up after its limit, and the
    // timer firing meanwhile does not start another check beside it.
    console->probe().setMode(LocalProbePage::Silent);
    QTRY_COMPARE_WITH_TIMEOUT(console->label("label_conexaoIinternet"), QStringLiteral("Internet NOK"), 8000);
    const int requestsBefore = console->probe().requests();
    QTest::qWait(6500);
    const int requests = console->probe().requests() - requestsBefore;
    QVERIFY2(requests >= 1 && requests <= 3, qPrintable(QString::number(requests)));
    QCOMPARE(console->probe().mostAtOnce(), 1);

    // The window stays usable meanwhile: messages are still taken in.
    QCOMPARE(RunningConsole::publish({QByteArray("status:0:31337:0")}), QString());
    QTRY_COMPARE_WITH_TIMEOUT(connectionSettings.lastAnnouncedOrder, 31337, 8000);
}

void TestReceiverRecovery::dialogOpenedWhileTheCheckWaits()
{
    console = std::make_unique<RunningConsole>(QStringLiteral("dono"), QStringLiteral("segredo"));
    QTRY_COMPARE_WITH_TIMEOUT(console->label("label_recepcao"), receiverOk, 20000);

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
        const int order = newOrder();
        if (RunningConsole::publish({QStringLiteral("pedido_novo:%1:%2:0").arg(store).arg(order).toLatin1()}).isEmpty())
            listed = QTest::qWaitFor([&] { return console->lists(order); }, 10000);
        rang = console->alarmStarted();
        ModalAnswer::accept(dialog);
    });
    QTRY_VERIFY_WITH_TIMEOUT(answer.seen(), 10000);
    QVERIFY(listed);
    QVERIFY(rang);
}

void TestReceiverRecovery::orderAnnouncedWhileTheReceiverReconnects()
{
    BrokerRelay relay(quint16(TestEnv::amqpPort()), 0);
    QVERIFY(relay.listen());
    console = std::make_unique<RunningConsole>(QStringLiteral("dono"), QStringLiteral("segredo"), relay.port());
    QTRY_COMPARE_WITH_TIMEOUT(console->label("label_recepcao"), receiverOk, 20000);

    // A slow page: each tick looks at the receiver about 2.5 s after it starts,
    // once every 3 s. The connection drops and comes back between two looks.
    console->probe().setDelay(2500);
    for (int look = 0; look < 2; ++look) {
        const QString clock = console->label("label_relogio");
        QTRY_VERIFY_WITH_TIMEOUT(console->label("label_relogio") != clock, 5000);
    }
    relay.cut();
    console->clearAlarm();
    const int missed = newOrder();
    QCOMPARE(RunningConsole::publish({QStringLiteral("pedido_novo:%1:%2:0").arg(store).arg(missed).toLatin1()}),
             QString());
    QTRY_VERIFY_WITH_TIMEOUT(console->lists(missed), 10000);
    QVERIFY(console->alarmStarted());
    QCOMPARE(relay.connections(), 2);
}

QTEST_MAIN(TestReceiverRecovery)
#include "tst_receiverrecovery.moc"
