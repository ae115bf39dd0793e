#include "connection.h"
#include "connectionsettings.h"
#include "testenv.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

class TestConnection : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void defaultConnectionStatusTexts_data();
    void defaultConnectionStatusTexts();
    void portThatIsNotANumberOpensWithPortZero();
    void replacingTheDefaultConnectionKeepsOneUsable();
    void namedConnectionReplacedByName();
    void emptyDatabaseNameIsAFailure();
    void closeLeavesTheHandleClosed();

private:
    void useTestServer();
};

void TestConnection::useTestServer()
{
    connectionSettings.host = TestEnv::dbHost();
    connectionSettings.dbPort = QString::number(TestEnv::dbPort());
    connectionSettings.dbName = TestEnv::dbName();
    connectionSettings.dbUser = TestEnv::dbUser();
    connectionSettings.dbPassword = TestEnv::dbPassword();
}

void TestConnection::init()
{
    TRV_REQUIRE_SERVERS();
    useTestServer();
    connectionSettings.serverStatusText.clear();
    connectionSettings.userStatusText = QStringLiteral("before");
}

void TestConnection::cleanup()
{
    connectionSettings.defaultDb = QSqlDatabase();
}

void TestConnection::defaultConnectionStatusTexts_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QString>("serverText");
    QTest::addColumn<QString>("userText");
    QTest::newRow("right account") << TestEnv::dbPassword() << true << "Servidor Conectado!" << "before";
    QTest::newRow("wrong password") << "not-the-password" << false << "Servidor não conectado!" << "---";
}

void TestConnection::defaultConnectionStatusTexts()
{
    QFETCH(QString, password);
    QFETCH(bool, opens);
    QFETCH(QString, serverText);
    QFETCH(QString, userText);
    connectionSettings.dbPassword = password;

    QCOMPARE(ConectaBanco(), opens);
    QCOMPARE(connectionSettings.serverStatusText, serverText);
    QCOMPARE(connectionSettings.userStatusText, userText);
    QCOMPARE(connectionSettings.defaultDb.isOpen(), opens);
    if (!opens)
        QVERIFY(!connectionSettings.defaultDb.lastError().text().isEmpty());
}

void TestConnection::portThatIsNotANumberOpensWithPortZero()
{
    connectionSettings.dbPort = QStringLiteral("33o6");
    ConectaBanco();
    QCOMPARE(connectionSettings.defaultDb.port(), 0);

    QSqlDatabase named;
    AbreConexao(QStringLiteral("statusloja"), &named);
    QCOMPARE(named.port(), 0);
}

void TestConnection::replacingTheDefaultConnectionKeepsOneUsable()
{
    QVERIFY(ConectaBanco());
    QVERIFY(ConectaBanco());
    QCOMPARE(QSqlDatabase::connectionNames().count(QLatin1String(QSqlDatabase::defaultConnection)), 1);

    // An invalid handle reaches the default connection.
    QSqlQuery query(QSqlDatabase{});
    QVERIFY2(query.exec(QStringLiteral("select 41 + 1")), qPrintable(query.lastError().text()));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toInt(), 42);
}

void TestConnection::namedConnectionReplacedByName()
{
    QSqlDatabase first;
    QSqlDatabase second;
    QVERIFY(AbreConexao(QStringLiteral("db2"), &first));
    QVERIFY(AbreConexao(QStringLiteral("db2"), &second));
    QCOMPARE(QSqlDatabase::connectionNames().count(QStringLiteral("db2")), 1);
    QCOMPARE(second.connectionName(), QStringLiteral("db2"));

    QSqlQuery query(second);
    QVERIFY(query.exec(QStringLiteral("select 1")));
    // The texts belong to the default connection only.
    QCOMPARE(connectionSettings.serverStatusText, QString());
    QCOMPARE(connectionSettings.userStatusText, QStringLiteral("before"));

    connectionSettings.dbPort = QStringLiteral("1");
    QSqlDatabase third;
    QVERIFY(!AbreConexao(QStringLiteral("db2"), &third));
}

void TestConnection::emptyDatabaseNameIsAFailure()
{
    connectionSettings.dbName.clear();
    QVERIFY(!ConectaBanco());
    QCOMPARE(connectionSettings.serverStatusText, QStringLiteral("Servidor não conectado!"));
    QCOMPARE(connectionSettings.userStatusText, QStringLiteral("---"));

    QSqlDatabase named;
    QVERIFY(!AbreConexao(QStringLiteral("menu"), &named));
}

void TestConnection::closeLeavesTheHandleClosed()
{
    QSqlDatabase db;
    QVERIFY(AbreConexao(QStringLiteral("db2"), &db));
    FechaConexao(&db);
    QVERIFY(!db.isOpen());
}

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_connection.moc"
