#include "amqptestsupport.h"
#include "mariadbrelay.h"
#include "operatoractions.h"
#include "orderrows.h"

#include <QTemporaryDir>

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
        const int tlsPort = TestEnv::value("TRV_TLS_AMQP_PORT").toInt();
        QTest::newRow("verified") << true << true << "127.0.0.1" << QStringList();
        QTest::newRow("certificate of another host")
            << true << true << "127.0.0.2"
            << QStringList{"Database: cannot use 127.0.0.2 over TLS: TLS/SSL error: Validation of SSL server certificate failed",
                           QStringLiteral("QAmqpClient: cannot connect to 127.0.0.2:%1: TLS: the broker's certificate is refused: "
                                          "IP address mismatch").arg(tlsPort)};
        QTest::newRow("servers in clear") << true << false << "127.0.0.1"
                                          << QStringList{"Database: cannot use 127.0.0.1 over TLS: TLS/SSL error: SSL is required, but the server does not support it",
                                                         QStringLiteral("QAmqpClient: cannot connect to 127.0.0.1:%1: TLS: ").arg(TestEnv::amqpPort())};
        QTest::newRow("no authority, servers in clear") << false << false << "127.0.0.1" << QStringList();
    }

    void links()
    {
        QFETCH(bool, authority);
        QFETCH(bool, tlsServers);
        QFETCH(QString, host);
        QFETCH(QStringList, refusals);
        DbFixture &db = tlsServers ? *tls : *plain;
        QVERIFY(db.clearAll());
        const int store = db.addOwnedStore(QStringLiteral("dono"), QStringLiteral("segredo"));
        BrokerAccount service = RunningConsole::broker();
        if (tlsServers) {
            service.port = TestEnv::value("TRV_TLS_AMQP_PORT").toInt();
            service.caFile = TestEnv::value("TRV_TLS_CA");
        }
        const ConsoleServers servers{quint16(service.port), quint16(tlsServers ? TestEnv::value("TRV_TLS_DB_PORT").toInt() : 0),
                                              host, authority ? TestEnv::value("TRV_TLS_CA") : QString()};
        connectionSettings = ConnectionSettings();   // every start as in a fresh process
        DebugCapture log;
        auto box = std::make_unique<ModalAnswer>();   // the login's, if any
        RunningConsole console(QStringLiteral("dono"), QStringLiteral("segredo"), servers);

        if (!refusals.isEmpty()) {
            for (const QString &refusal : refusals)
                QTRY_VERIFY2_WITH_TIMEOUT(log.count(refusal) > 0, qPrintable(refusal), 15000);
            // The login's box tells why; the labels say the links are down, and stay so.
            QVERIFY2(!box->text().isEmpty() && log.count(box->text()) > 0, qPrintable(box->text()));
            QTest::qWait(2000);
            QCOMPARE(console.label("label_conexao"), QStringLiteral("Servidor não conectado!"));
            QVERIFY(!console.receiving());
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
    }

    // A man in the middle of the database link gets no login and no session:
    // the handshake refuses it first. Through a relay that passes the
    // server's own certificate on, the login does reach it, as it would.
    void relayedDatabase_data()
    {
        QTest::addColumn<bool>("testAuthority");   // the relay's certificate issued by the test authority, else by one of its own
        QTest::addColumn<QString>("names");        // its subjectAltName; empty: the server's own certificate
        QTest::addColumn<bool>("stripTls");
        QTest::addColumn<QString>("refusal");      // the log's reason; empty: the link works
        QTest::newRow("test authority, another name")
            << true << "DNS:elsewhere.example" << false << "TLS/SSL error: Validation of SSL server certificate failed";
        QTest::newRow("unknown authority")
            << false << "IP:127.0.0.1" << false << "TLS/SSL error: unable to get local issuer certificate";
        QTest::newRow("greeting without TLS")
            << true << "" << true << "TLS/SSL error: SSL is required, but the server does not support it";
        QTest::newRow("server's own certificate") << true << "" << false << "";
    }

    void relayedDatabase()
    {
        QFETCH(bool, testAuthority);
        QFETCH(QString, names);
        QFETCH(bool, stripTls);
        QFETCH(QString, refusal);
        QVERIFY(tls->clearAll());
        tls->addOwnedStore(QStringLiteral("dono"), QStringLiteral("segredo"));
        const QString ca = TestEnv::value("TRV_TLS_CA");
        QByteArray certificate, key;
        QTemporaryDir dir;
        if (names.isEmpty()) {
            QFile pem(QFileInfo(ca).dir().filePath("server.pem")), pemKey(QFileInfo(ca).dir().filePath("server.key"));
            QVERIFY(pem.open(QIODevice::ReadOnly) && pemKey.open(QIODevice::ReadOnly));
            certificate = pem.readAll();
            key = pemKey.readAll();
        } else {
            QVERIFY(makeRelayCertificate(dir.path(), testAuthority ? ca : QString(), names, &certificate, &key));
        }
        MariadbRelay relay(quint16(TestEnv::value("TRV_TLS_DB_PORT").toInt()), certificate, key, stripTls);

        const ConsoleServers servers{quint16(TestEnv::value("TRV_TLS_AMQP_PORT").toInt()), relay.port(),
                                     QStringLiteral("127.0.0.1"), ca};
        connectionSettings = ConnectionSettings();
        DebugCapture log;
        auto box = std::make_unique<ModalAnswer>();
        RunningConsole console(QStringLiteral("dono"), QStringLiteral("segredo"), servers);
        const QByteArray user = TestEnv::dbUser().toUtf8();
        if (refusal.isEmpty()) {
            QTRY_VERIFY_WITH_TIMEOUT(console.receiving(), 15000);
            QCOMPARE(console.label("label_conexao"), QStringLiteral("Servidor conectado!"));
            QVERIFY(relay.logins() > 0 && relay.received().contains(user) && relay.sessions() > 0);
            return;
        }
        const QString said = QStringLiteral("Database: cannot use 127.0.0.1 over TLS: ") + refusal;
        QTRY_VERIFY2_WITH_TIMEOUT(log.count(said) > 0, qPrintable(said), 15000);
        QVERIFY2(!box->text().isEmpty() && log.count(box->text()) > 0, qPrintable(box->text()));
        // Tried again after 3, 6, 12 s..., not every second: a refusal starts no flood of handshakes.
        const int before = relay.connections();
        QTest::qWait(24000);
        QVERIFY2(relay.connections() - before <= 4, qPrintable(QString::number(relay.connections() - before)));
        QCOMPARE(console.label("label_conexao"), QStringLiteral("Servidor não conectado!"));
        QCOMPARE(relay.logins(), 0);
        QVERIFY(!relay.received().contains(user));
        QCOMPARE(relay.sessions(), 0);
    }

private:
    std::unique_ptr<DbFixture> plain, tls;
};

QTEST_MAIN(TestTls)
#include "tst_tls.moc"
