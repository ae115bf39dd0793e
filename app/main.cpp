#include "configfile.h"
#include "consolelog.h"
#include "consolestart.h"
#include "logfile.h"
#include "mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QMessageBox>

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("trovanta-console"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TROVANTA_VERSION));
    {
        // --help and --version answer in a terminal without a display.
        QCoreApplication early(argc, argv);
        readCommandLine(early.arguments(), false);
    }
    // Before the QApplication, so that a display or plugin Qt cannot load is in the log too.
    installLogFile(QDir::currentPath());
    if (!keepWorkingFilesPrivate(QDir::currentPath()))
        qCWarning(lcConsole) << "config.conf ou tls/ continua legível por outros usuários";
    QApplication application(argc, argv);
    readCommandLine(application.arguments(), true);
    qCDebug(lcConsole).noquote() << QStringLiteral("trovanta-console %1 iniciado em %2 (processo %3)")
                                        .arg(application.applicationVersion(), QDir::currentPath())
                                        .arg(application.applicationPid());

    QLockFile lock(QStringLiteral("trovanta-console.lock"));
    if (!lockWorkingDirectory(&lock)) {
        qCWarning(lcConsole).noquote() << secondConsoleText << "Este termina.";
        QMessageBox::warning(nullptr, QStringLiteral("Console Trovanta"), secondConsoleText);
        return 1;
    }
    if (!QFile::exists(QString::fromLatin1(configFileName)))
        qCDebug(lcConsole) << "sem config.conf: abre o diálogo de configuração";

    int exitCode = 0;
    {
        MainWindow window;
        window.startReceiver();
        window.show();
        exitCode = application.exec();
    }
    // A statement still waiting on a server that does not answer holds only
    // its own thread: a console started now must not be turned away.
    lock.unlock();
    qCDebug(lcConsole) << "encerrado com o código" << exitCode;
    return exitCode;
}
