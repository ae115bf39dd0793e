#include "consoledir.h"

#include "testenv.h"

#include <QDir>
#include <QFile>

namespace {
void copyTree(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    const QDir source(from);
    for (const QString &name : source.entryList(QDir::Files))
        QFile::copy(source.filePath(name), to + QLatin1Char('/') + name);
}
}

ConsoleDir::ConsoleDir()
    : previous(QDir::currentPath())
{
    copyTree(QStringLiteral(TRV_RESOURCES_DIR "/sound"), dir.filePath(QStringLiteral("sound")));
    copyTree(QStringLiteral(TRV_RESOURCES_DIR "/images"), dir.filePath(QStringLiteral("images")));
    QDir::setCurrent(dir.path());
}

ConsoleDir::~ConsoleDir()
{
    QDir::setCurrent(previous);
}

ConfigValues ConsoleDir::serverConfig(const QString &login, const QString &password)
{
    ConfigValues values;
    values.loginName = login;
    values.loginPassword = password;
    values.host = TestEnv::dbHost();
    values.dbName = TestEnv::dbName();
    values.dbPort = QString::number(TestEnv::dbPort());
    values.dbUser = TestEnv::dbUser();
    values.dbPassword = TestEnv::dbPassword();
    values.userbroker = TestEnv::amqpUser();
    values.passbroker = TestEnv::amqpPassword();
    values.virtualhost = TestEnv::amqpVirtualHost();
    values.portbroker = QString::number(TestEnv::amqpPort());
    values.printerLine = QStringLiteral(":");
    return values;
}

bool ConsoleDir::writeConfig(const ConfigValues &values)
{
    return writeConfigFile(dir.filePath(QString::fromLatin1(configFileName)), values);
}

bool ConsoleDir::writeRaw(const QByteArray &bytes)
{
    QFile file(dir.filePath(QString::fromLatin1(configFileName)));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}
