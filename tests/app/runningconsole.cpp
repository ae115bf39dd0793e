#include "runningconsole.h"

#include "internetprobe.h"
#include "testenv.h"
#include "traynotifier.h"

#include <QLabel>
#include <QMediaPlayer>
#include <QTableView>
#include <QTest>

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
    dir.reset();
    qunsetenv("TROVANTA_PROBE_URL");
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
    if (!model)
        return orders;
    for (int row = 0; row < model->rowCount(); ++row)
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
    BrokerAccount account;
    account.host = TestEnv::dbHost();
    account.port = TestEnv::amqpPort();
    account.virtualHost = TestEnv::amqpVirtualHost();
    account.user = TestEnv::amqpUser();
    account.password = TestEnv::amqpPassword();
    return account;
}
