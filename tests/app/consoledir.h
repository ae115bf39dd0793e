#pragma once

#include "configfile.h"

#include <QString>
#include <QTemporaryDir>

// A working directory for one console under test: the resources beside it,
// a config.conf when asked for, and the process moved into it until destroyed.
class ConsoleDir
{
public:
    ConsoleDir();
    ~ConsoleDir();

    QString path() const { return dir.path(); }

    // Settings that reach the private servers, logging in as login/password.
    static ConfigValues serverConfig(const QString &login, const QString &password);

    bool writeConfig(const ConfigValues &values);
    bool writeRaw(const QByteArray &bytes);

private:
    QTemporaryDir dir;
    QString previous;
};
