#include "connection.h"
#include "connectionsettings.h"
#include "testenv.h"

#include <QSqlQuery>
#include <QtTest>

class TestConnection : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { connectionSettings.defaultDb = QSqlDatabase(); }
    void open_data();
    void open();
    void portThatIsNotANumberIsZero();
};

void TestConnection::init()
{
    TRV_REQUIRE_SERVERS();
    connectionSettings.host = TestEnv::dbHost();
    connectionSettings.dbPort = QString::number(TestEnv::dbPort());
    connectionSettings.dbName = TestEnv::dbName();
    connectionSettings.dbUser = TestEnv::dbUser();
    connectionSettings.dbPassword = TestEnv::dbPassword();
    connectionSettings.serverStatusText.clear();
    connectionSettings.userStatusText = QStringLiteral("antes");
}

void TestConnection::open_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("dbName");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("serverText");
    QTest::addColumn<QString>("userText");
    const QString db = TestEnv::dbName();
    const QString defaultName = QLatin1String(QSqlDatabase::defaultConnection);
    const QString right = TestEnv::dbPassword();
    QTest::newRow("default") << defaultName << db << right << "Servidor Conectado!" << "antes";
    QTest::newRow("default, wrong password") << defaultName << db << "errada" << "Servidor não conectado!" << "---";
    // The server accepts the account, but without a database nothing works.
    QTest::newRow("default, no database name") << defaultName << "" << right << "Servidor não conectado!" << "---";
    // The texts belong to the default connection only.
    QTest::newRow("named") << "db2" << db << right << "" << "antes";
    QTest::newRow("named, no database name") << "menu" << "" << right << "" << "antes";
}

void TestConnection::open()
{
    QFETCH(QString, name);
    QFETCH(QString, dbName);
    QFETCH(QString, password);
    QFETCH(QString, serverText);
    QFETCH(QString, userText);
    connectionSettings.dbName = dbName;
    connectionSettings.dbPassword = password;
    const bool usable = dbName == TestEnv::dbName() && password == TestEnv::dbPassword();
    const bool isDefault = name == QLatin1String(QSqlDatabase::defaultConnection);

    // Opened twice: the second replaces the first, and one connection of that name is left.
    QSqlDatabase named;
    QSqlDatabase &db = isDefault ? connectionSettings.defaultDb : named;
    for (int i = 0; i < 2; ++i)
        QCOMPARE(isDefault ? ConectaBanco() : AbreConexao(name, &named), usable);
    QCOMPARE(db.connectionName(), name);
    QCOMPARE(QSqlDatabase::connectionNames().count(name), 1);
    QCOMPARE(connectionSettings.serverStatusText, serverText);
    QCOMPARE(connectionSettings.userStatusText, userText);
    if (!usable)
        return;

    // An invalid handle reaches the default connection.
    QSqlQuery query(isDefault ? QSqlDatabase() : db);
    QVERIFY(query.exec(QStringLiteral("select 1")) && query.next());
    FechaConexao(&db);
    QVERIFY(!db.isOpen());
}

void TestConnection::portThatIsNotANumberIsZero()
{
    connectionSettings.dbPort = QStringLiteral("33o6");
    QSqlDatabase named;
    ConectaBanco();
    AbreConexao(QStringLiteral("statusloja"), &named);
    QCOMPARE(connectionSettings.defaultDb.port(), 0);
    QCOMPARE(named.port(), 0);
}

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_connection.moc"
