#include "runningconsole.h"

#include "connectionsettings.h"
#include "internetprobe.h"
#include "testenv.h"
#include "traynotifier.h"

#include <QDir>
#include <QLabel>
#include <QMediaPlayer>
#include <QTableView>
#include <QTest>

ConsoleDir::ConsoleDir()
    : previous(QDir::currentPath())
{
    for (const char *folder : {"sound", "images"}) {
        const QDir source(QStringLiteral(TRV_RESOURCES_DIR "/%1").arg(QLatin1String(folder)));
        QDir(dir.path()).mkpath(QLatin1String(folder));
        for (const QString &name : source.entryList(QDir::Files))
            QFile::copy(source.filePath(name), QStringLiteral("%1/%2/%3").arg(dir.path(), QLatin1String(folder), name));
    }
    QDir::setCurrent(dir.path());
}

ConsoleDir::~ConsoleDir()
{
    QDir::setCurrent(previous);
}

ConfigValues ConsoleDir::serverConfig(const QString &login, const QString &password)
{
    return {login, password, TestEnv::dbHost(), TestEnv::dbName(), QString::number(TestEnv::dbPort()), TestEnv::dbUser(),
            TestEnv::dbPassword(), TestEnv::amqpUser(), TestEnv::amqpPassword(), TestEnv::amqpVirtualHost(),
            QString::number(TestEnv::amqpPort()), QStringLiteral(":")};
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

RunningConsole::RunningConsole(const QString &login, const QString &password, quint16 brokerPort)
{
    probePage.listen();
    qputenv("TROVANTA_PROBE_URL", probePage.url().toString().toUtf8());
    dir = std::make_unique<ConsoleDir>();
    ConfigValues config = ConsoleDir::serverConfig(login, password);
    if (brokerPort)
        config.portbroker = QString::number(brokerPort);
    dir->writeConfig(config);
    console = std::make_unique<MainWindow>();
    notifierSpy = std::make_unique<QSignalSpy>(console->findChild<TrayNotifier *>(), &TrayNotifier::shown);
    playerSpy = std::make_unique<QSignalSpy>(console->findChild<QMediaPlayer *>(), &QMediaPlayer::stateChanged);
    console->startReceiver();
    console->show();
}

RunningConsole::~RunningConsole()
{
    notifierSpy.reset();
    playerSpy.reset();
    console.reset();
    qunsetenv("TROVANTA_PROBE_URL");
}

bool RunningConsole::ready()
{
    // A marker comes back once the queue consumes; the tick that handles it
    // has already run the connection's catch-up refresh.
    static int marker = 700000;
    const int expected = ++marker;
    return QTest::qWaitFor(
        [&] {
            if (connectionSettings.lastAnnouncedOrder != expected) {
                publish({QStringLiteral("status:0:%1:0").arg(expected)});
                QTest::qWait(300);
            }
            return connectionSettings.lastAnnouncedOrder == expected && label("label_conexaoIinternet") == "Internet OK";
        },
        20000);
}

QString RunningConsole::label(const char *name) const
{
    auto *widget = console->findChild<QLabel *>(QLatin1String(name));
    return widget ? widget->text() : QString();
}

QList<int> RunningConsole::listedOrders() const
{
    QList<int> orders;
    QAbstractItemModel *model = console->findChild<QTableView *>(QStringLiteral("tableView_pedidos"))->model();
    for (int row = 0; model && row < model->rowCount(); ++row)
        orders.append(model->data(model->index(row, 0)).toInt());
    return orders;
}

QStringList RunningConsole::notifications() const
{
    QStringList shown;
    for (const QList<QVariant> &arguments : *notifierSpy)
        shown.append(arguments.at(0).toString() + QLatin1Char('|') + arguments.at(1).toString());
    return shown;
}

bool RunningConsole::alarmStarted() const
{
    for (const QList<QVariant> &arguments : *playerSpy)
        if (arguments.at(0).value<QMediaPlayer::State>() == QMediaPlayer::PlayingState)
            return true;
    return false;
}

bool RunningConsole::alarmPlaying() const
{
    return console->findChild<QMediaPlayer *>()->state() == QMediaPlayer::PlayingState;
}

void RunningConsole::tick()
{
    // The tick ends when its Internet check answers; one the timer started
    // first would read the clock as it was.
    QObject *probe = console->findChild<InternetProbe *>();
    if (!QTest::qWaitFor([probe] { return !probe->property("pending").toBool(); }, 5000))
        return;
    QSignalSpy done(probe, SIGNAL(finished(bool)));
    QMetaObject::invokeMethod(console.get(), "task", Qt::DirectConnection);
    if (done.isValid())
        done.wait(5000);
}

BrokerAccount RunningConsole::broker()
{
    return {TestEnv::dbHost(), TestEnv::amqpPort(), TestEnv::amqpVirtualHost(), TestEnv::amqpUser(), TestEnv::amqpPassword()};
}

bool RunningConsole::publish(const QStringList &texts)
{
    QList<QByteArray> messages;
    for (const QString &text : texts)
        messages.append(text.toLatin1());
    const QString error = publishOnLogs(broker(), messages);
    if (!error.isEmpty())
        qWarning() << "publishing failed:" << error;
    return error.isEmpty();
}
