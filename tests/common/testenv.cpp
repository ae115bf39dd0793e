#include "testenv.h"

#include <QProcess>
#include <QStringList>

namespace TestEnv {

bool serverControl(const QStringList &arguments, int timeoutMs)
{
    const QString script = value("TRV_SERVERS");
    if (script.isEmpty())
        return false;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QStringLiteral("bash"), QStringList{script} + arguments);
    // One still running after timeoutMs is killed when process goes.
    return process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace TestEnv
