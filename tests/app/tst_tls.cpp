#include "amqptestsupport.h"
#include "mariadbrelay.h"
#include "operatoractions.h"
#include "orderrows.h"

// The console's links once the store installed the service's certificate
// authority: encrypted and verified, or down and said so; never in clear.
// scripts/test runs a second MariaDB and RabbitMQ that speak TLS only.
class TestTls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TRV_REQUIRE_SERVERS();
        QVERIFY2(!TestEnv::value("TRV_TLS_CA").isEmpty(), "TLS servers not running: run the tests through scripts/test");
        plain = std::make_unique<DbFixture>();
        tls = std::make_unique<DbFixture>(TestEnv::value("TRV_TLS_DB_SOCKET"));
        QVERIFY2(plain->isOpen() && tls->isOpen(), qPrintable(plain->lastError() + tls->lastError()));
    }

    void links_data()
    {
        QTest::addColumn<bool>("authority");   // tls/ca.pem installed
        QTest::addColumn<bool>("tlsServers");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QStringList>("refusals");   // the log's reasons; none: all works
        QTest::addColumn<QString>("relay");   // a man in the middle of the database link, with this certificate of scripts/servers
        QTest::addColumn<bool>("stripTls");   // it clears the TLS flag of the server's greeting
        const int tlsPort = TestEnv::value("TRV_TLS_AMQP_PORT").toInt();
        const auto refused = [](const char *why) { return QStringList("Database: cannot use 127.0.0.1 over TLS: TLS/SSL error: " + QString(why)); };
        QTest::newRow("verified") << true << true << "127.0.0.1" << QStringList() << "" << false;
        QTest::newRow("relay, server's certificate") << true << true << "127.0.0.1" << QStringList() << "server" << false;
        QTest::newRow("relay, another name") << true << true << "127.0.0.1" << refused("Validation of SSL server certificate failed") << "other-name" << false;
        QTest::newRow("relay, unknown authority") << true << true << "127.0.0.1" << refused("unable to get local issuer certificate") << "unknown" << false;
        QTest::newRow("relay, greeting without TLS")
            << true << true << "127.0.0.1" << refused("SSL is required, but the server does not support it") << "server" << true;
        QTest::newRow("certificate of another host")
            << true << true << "127.0.0.2"
            << QStringList{"Database: cannot use 127.0.0.2 over TLS: TLS/SSL error: Validation of SSL server certificate failed",
                           QStringLiteral("QAmqpClient: cannot connect to 127.0.0.2:%1: TLS: the broker's certificate is refused: "
                                          "IP address mismatch").arg(tlsPort)} << "" << false;
        QTest::newRow("servers in clear") << true << false << "127.0.0.1"
                                          << QStringList{"Database: cannot use 127.0.0.1 over TLS: TLS/SSL error: SSL is required, but the server does not support it",
                                                         QStringLiteral("QAmqpClient: cannot connect to 127.0.0.1:%1: TLS: ").arg(TestEnv::amqpPort())}
                                          << "" << false;
        QTest::newRow("no authority, servers in clear") << false << false << "127.0.0.1" << QStringList() << "" << false;
    }

    void links()
    {
        QFETCH(bool, authority);
        QFETCH(bool, tlsServers);
        QFETCH(QString, host);
        QFETCH(QStringList, refusals);
        QFETCH(QString, relay);
        QFETCH(bool, stripTls);
        DbFixture &db = tlsServers ? *tls : *plain;
        QVERIFY(db.clearAll());
        const int store = db.addOwnedStore(QStringLiteral("dono"), QStringLiteral("segredo"));
        BrokerAccount service = RunningConsole::broker();
        if (tlsServers) {
            service.port = TestEnv::value("TRV_TLS_AMQP_PORT").toInt();
            service.caFile = TestEnv::value("TRV_TLS_CA");
        }
        const QDir folder = QFileInfo(TestEnv::value("TRV_TLS_CA")).dir();
        QFile pem(folder.filePath(relay + ".pem")), key(folder.filePath(relay + ".key"));
        QVERIFY(relay.isEmpty() || (pem.open(QIODevice::ReadOnly) && key.open(QIODevice::ReadOnly)));
        const quint16 dbPort = tlsServers ? TestEnv::value("TRV_TLS_DB_PORT").toInt() : 0;
        MariadbRelay man(dbPort, pem.isOpen() ? pem.readAll() : "", key.isOpen() ? key.readAll() : "", stripTls);
        const ConsoleServers servers{quint16(service.port), relay.isEmpty() ? dbPort : man.port(), host,
                                     authority ? TestEnv::value("TRV_TLS_CA") : QString()};
        connectionSettings = ConnectionSettings();   // every start as in a fresh process
        DebugCapture log;
        auto box = std::make_unique<ModalAnswer>();   // the login's, if any
        RunningConsole console(QStringLiteral("dono"), QStringLiteral("segredo"), servers);

        if (!refusals.isEmpty()) {
            for (const QString &refusal : refusals)
                QTRY_VERIFY2_WITH_TIMEOUT(log.count(refusal) > 0, qPrintable(refusal), 15000);
            // The login's box tells why; the labels say the links are down, and stay so.
            QTRY_VERIFY2_WITH_TIMEOUT(!box->text().isEmpty() && log.count(box->text()) > 0, qPrintable(box->text()), 15000);
            // Tried again after 3, 6, 12 s..., not every second: no flood of handshakes.
            const int before = man.seen().connections;
            QTest::qWait(relay.isEmpty() ? 2000 : 24000);
            QVERIFY2(man.seen().connections - before <= 4, qPrintable(QString::number(man.seen().connections - before)));
            QCOMPARE(console.label("label_conexao"), QStringLiteral("Servidor não conectado!"));
            QCOMPARE(console.receiving(), !relay.isEmpty());   // a relay leaves the broker's link sound
            // The man in the middle got neither a login (nor the user's name) nor a session.
            QVERIFY(man.seen().logins == 0 && !man.seen().bytes.contains(TestEnv::dbUser().toUtf8()) && man.seen().sessions == 0);
            return;
        }
        QVERIFY2(!box->seen(), qPrintable(box->text()));
        box.reset();
        QTRY_VERIFY_WITH_TIMEOUT(console.receiving(), 15000);
        const int order = insertFullOrder(db, store, 0);
        QCOMPARE(publishOnLogs(service, {QStringLiteral("pedido_novo:%1:%2:0").arg(store).arg(order).toLatin1()}), QString());
        QTRY_VERIFY_WITH_TIMEOUT(console.lists(order) && console.alarmStarted(), 10000);

        // Opened and approved: the dialog's own announcement comes back over the same kind of link.
        QTRY_COMPARE(console.label("label_conexaoIinternet"), QStringLiteral("Internet OK"));
        ModalAnswer dialog([](QWidget *pedido) {
            QTimer::singleShot(0, pedido, [pedido] { clica(pedido, "pushButton_aprovar"); });
            QTimer::singleShot(15000, pedido, &QWidget::close);   // its echo should have closed it long before
        });
        respondendo({"Sim"}, [&] { doubleClick(console, order); });
        QTRY_VERIFY_WITH_TIMEOUT(log.count(QStringLiteral("status:%1:%2:1").arg(store).arg(order)) > 0, 10000);
        // One that passes the server's certificate on sees the login, as it should.
        QCOMPARE(man.seen().logins > 0 && man.seen().bytes.contains(TestEnv::dbUser().toUtf8()), !relay.isEmpty());
    }

private:
    std::unique_ptr<DbFixture> plain, tls;
};

QTEST_MAIN(TestTls)
#include "tst_tls.moc"
