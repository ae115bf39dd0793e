#include "testenv.h"

#include <QProcess>
#include <QStringList>

namespace TestEnv {

QString value(const char *name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}

bool haveServers()
{
    return !value("TRV_DB_PORT").isEmpty() && !value("TRV_AMQP_PORT").isEmpty();
}

QString dbHost() { return value("TRV_DB_HOST"); }
int dbPort() { return value("TRV_DB_PORT").toInt(); }
QString dbName() { return value("TRV_DB_NAME"); }
QString dbUser() { return value("TRV_DB_USER"); }
QString dbPassword() { return value("TRV_DB_PASS"); }

int amqpPort() { return value("TRV_AMQP_PORT").toInt(); }
QString amqpUser() { return value("TRV_AMQP_USER"); }
QString amqpPassword() { return value("TRV_AMQP_PASS"); }
QString amqpVirtualHost() { return value("TRV_AMQP_VHOST"); }

bool serverControl(const QStringList &arguments, int timeoutMs)
{
    const QString script = value("TRV_SERVERS");
    if (script.isEmpty())
        return false;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QStringLiteral("bash"), QStringList{script} + arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace TestEnv
