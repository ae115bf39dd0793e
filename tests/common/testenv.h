#pragma once

#include <QProcess>
#include <QString>

// Where the private servers started by scripts/test can be reached.
// Every value comes from the environment that scripts/test exports.
namespace TestEnv {

inline QString value(const char *name) { return QString::fromLocal8Bit(qgetenv(name)); }   // empty when unset
inline bool haveServers() { return !value("TRV_DB_PORT").isEmpty() && !value("TRV_AMQP_PORT").isEmpty(); }

inline QString dbHost() { return value("TRV_DB_HOST"); }
inline int dbPort() { return value("TRV_DB_PORT").toInt(); }
inline QString dbName() { return value("TRV_DB_NAME"); }
inline QString dbUser() { return value("TRV_DB_USER"); }
inline QString dbPassword() { return value("TRV_DB_PASS"); }

inline int amqpPort() { return value("TRV_AMQP_PORT").toInt(); }
inline QString amqpUser() { return value("TRV_AMQP_USER"); }
inline QString amqpPassword() { return value("TRV_AMQP_PASS"); }
inline QString amqpVirtualHost() { return value("TRV_AMQP_VHOST"); }

// Points the console's connection settings (a ConnectionSettings) at the private database.
template <class Settings> void useDatabase(Settings &settings)
{
    settings.host = dbHost();
    settings.dbPort = QString::number(dbPort());
    settings.dbName = dbName();
    settings.dbUser = dbUser();
    settings.dbPassword = dbPassword();
}

// Runs "bash $TRV_SERVERS <verb> ..." (for example "broker-stop", "broker-start");
// returns whether it exited with status 0. One still running after timeoutMs is killed.
inline bool serverControl(const QStringList &arguments, int timeoutMs = 120000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    if (!value("TRV_SERVERS").isEmpty())
        process.start(QStringLiteral("bash"), QStringList{value("TRV_SERVERS")} + arguments);
    return process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace TestEnv

// Fails the current test function when the servers are not there.
#define TRV_REQUIRE_SERVERS() \
    do { if (!TestEnv::haveServers()) \
             QFAIL("private servers not running: run the tests through scripts/test"); } while (0)
