#include "connectionsettings.h"
#include "dbfixture.h"
#include "looplag.h"
#include "sqlsession.h"
#include "statementrunner.h"

#include <QtTest>

// The one way to the database: answers in order, a connection that outlives
// the server's patience, settings that cannot work, and an end that waits for
// no server.
class TestStatementRunner : public QObject
{
    Q_OBJECT

    // Runs the statements in the order given, each answer as it came.
    static QVector<SqlResult> runAll(StatementRunner &runner, const QStringList &statements)
    {
        QVector<SqlResult> answers;
        for (const QString &statement : statements)
            runner.run(statement, {{":v", 7}}, [&answers](const SqlResult &result) { answers.append(result); });
        [&] { QTRY_COMPARE_WITH_TIMEOUT(answers.size(), statements.size(), 20000); }();
        return answers;
    }

private slots:
    void initTestCase()
    {
        TRV_REQUIRE_SERVERS();
        TestEnv::useDatabase(connectionSettings);
    }

    void answers()
    {
        StatementRunner runner;
        DbFixture db;
        QVERIFY(db.exec("create table if not exists runner_rows (v int)") && db.exec("delete from runner_rows"));
        const QVector<SqlResult> got = runAll(runner, {"insert into runner_rows values (:v), (:v)", "select nonsense from nowhere",
                                                       "update runner_rows set v = v + 1 where v = :v", "select v from runner_rows"});
        QCOMPARE(got.at(0).rowsAffected, 2);
        // A refused statement leaves the connection for the next ones.
        QVERIFY(got.at(1).error.contains("nowhere"));
        QCOMPARE(got.at(2).rowsAffected, 2);
        QCOMPARE(got.at(3).values, (QVector<QVector<QVariant>>{{8}, {8}}));

        // The server ends the idle connection: the next statement gets a new one, and runs once.
        const QVariant id = runAll(runner, {"select connection_id()"}).first().values.value(0).value(0);
        QVERIFY(db.exec(QStringLiteral("kill %1").arg(id.toLongLong())));
        QVERIFY(runAll(runner, {"insert into runner_rows values (:v)"}).first().ok());
        QCOMPARE(runAll(runner, {"select count(*) from runner_rows where v = :v"}).first().values.value(0).value(0).toInt(), 1);

        // Lost within a transaction: what follows does not run alone on a new connection.
        bool committed = true;
        runner.run([](SqlSession &session) {
            session.transaction();
            session.exec(QStringLiteral("insert into runner_rows values (21)"), {});
            session.exec(QStringLiteral("kill connection_id()"), {});
            const SqlResult last = session.exec(QStringLiteral("insert into runner_rows values (22)"), {});
            if (!last.ok() || !session.commit())
                session.rollback();
            return last;
        }, [&committed](const SqlResult &last) { committed = last.ok(); });
        QTRY_VERIFY(!committed);
        QCOMPARE(runAll(runner, {"select count(*) from runner_rows where v > 20"}).first().values.value(0).value(0).toInt(), 0);
    }

    void unusableSettings_data()
    {
        QTest::addColumn<QString>("field");
        QTest::newRow("wrong password") << "dbPassword";
        // The server accepts the account, but without a database nothing works.
        QTest::newRow("no database name") << "dbName";
    }

    void unusableSettings()
    {
        QFETCH(QString, field);
        (field == "dbName" ? connectionSettings.dbName : connectionSettings.dbPassword) = QStringLiteral("");
        StatementRunner runner;
        const SqlResult answer = runAll(runner, {"select 1"}).first();
        TestEnv::useDatabase(connectionSettings);
        QVERIFY(!answer.ok() && answer.values.isEmpty());
        // Settings mended meanwhile are used by the next statement.
        QVERIFY(runAll(runner, {"select 1"}).first().ok());
    }

    // Gone while a statement waits on the server: the window goes on, and
    // the answer that comes later reaches no one.
    void endsWithoutWaiting()
    {
        LoopLagMeter lag;
        bool answered = false;
        auto runner = std::make_unique<StatementRunner>();
        runner->run(QStringLiteral("select sleep(3)"), {}, [&answered](const SqlResult &) { answered = true; });
        QTest::qWait(300);
        lag.start();
        runner.reset();
        QTest::qWait(4000);
        QVERIFY2(lag.maxLagMs() < 200, qPrintable(QString::number(lag.maxLagMs())));
        QVERIFY(!answered);
        // Nor may a program end in the middle of that statement: this one, run so.
        qputenv("TRV_END_WHILE_RUNNING", "1");
        const int ended = QProcess::execute(QCoreApplication::applicationFilePath(), QStringList());   // -1: crashed
        qunsetenv("TRV_END_WHILE_RUNNING");
        QCOMPARE(ended, 0);
    }
};

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet("TRV_END_WHILE_RUNNING")) {
        {
            QCoreApplication app(argc, argv);
            TestEnv::useDatabase(connectionSettings);
            auto *runner = new StatementRunner;
            runner->run(QStringLiteral("select sleep(1)"), {}, [](const SqlResult &) {});
            QTimer::singleShot(300, &app, [&] { delete runner, app.quit(); });
            app.exec();
        }
        QThread::sleep(2);   // the statement's answer arrives in what the application left
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestStatementRunner test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_statementrunner.moc"
