#include "connection.h"
#include "connectionsettings.h"
#include "testenv.h"

#include <QSqlQuery>
#include <QtTest>

class TestConnection : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { connectionSettings.defaultDb = QSqlDatabase(); }

    void open_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("dbName");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QStringList>("texts");   // server and user status texts afterwards
        const QString db = TestEnv::dbName(), right = TestEnv::dbPassword(), defaultName = QSqlDatabase::defaultConnection;
        const QStringList failed{"Servidor não conectado!", "---"};
        QTest::newRow("default") << defaultName << db << right << QStringList{"Servidor Conectado!", "antes"};
        QTest::newRow("default, wrong password") << defaultName << db << "errada" << failed;
        // The server accepts the account, but without a database nothing works.
        QTest::newRow("default, no database name") << defaultName << "" << right << failed;
        // The texts belong to the default connection only.
        QTest::newRow("named") << "db2" << db << right << QStringList{"", "antes"};
    }

    void open()
    {
        QFETCH(QString, name);
        QFETCH(QString, dbName);
        QFETCH(QString, password);
        TRV_REQUIRE_SERVERS();
        TestEnv::useDatabase(connectionSettings);
        connectionSettings.dbName = dbName;
        connectionSettings.dbPassword = password;
        connectionSettings.serverStatusText.clear();
        connectionSettings.userStatusText = QStringLiteral("antes");
        const bool usable = dbName == TestEnv::dbName() && password == TestEnv::dbPassword();
        const bool isDefault = name == QLatin1String(QSqlDatabase::defaultConnection);

        // Opened twice: the second replaces the first, and one connection of that name is left.
        QSqlDatabase named;
        QSqlDatabase &db = isDefault ? connectionSettings.defaultDb : named;
        for (int i = 0; i < 2; ++i)
            QCOMPARE(isDefault ? ConectaBanco() : AbreConexao(name, &named), usable);
        QCOMPARE(db.connectionName(), name);
        QCOMPARE(QSqlDatabase::connectionNames().count(name), 1);
        QTEST(QStringList({connectionSettings.serverStatusText, connectionSettings.userStatusText}), "texts");
        if (!usable)
            return;

        // An invalid handle reaches the default connection.
        QSqlQuery query(isDefault ? QSqlDatabase() : db);
        QVERIFY(query.exec(QStringLiteral("select 1")) && query.next());
        FechaConexao(&db);
        QVERIFY(!db.isOpen());
    }
};

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_connection.moc"
