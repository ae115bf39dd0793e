#include "runningconsole.h"

#include "internetprobe.h"
#include "traynotifier.h"

#include <QTableView>

#include <algorithm>

bool LocalProbePage::listen()
{
    connect(&server, &QTcpServer::newConnection, this, [this] {
        QTcpSocket *socket = server.nextPendingConnection();
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            if (!socket->readAll().contains("\r\n\r\n"))
                return;
            ++requestCount;
            emit requested();
            if (mode == Silent)
                return;
            const QByteArray body = mode == Answer ? QByteArray("success\n") : QByteArray();
            QTimer::singleShot(delayMs, socket, [socket, body] {
                socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: "
                              + QByteArray::number(body.size()) + "\r\n\r\n" + body);
                socket->disconnectFromHost();
            });
        });
    });
    return server.listen(QHostAddress::LocalHost);
}

ConsoleDir::ConsoleDir()
{
    for (const QString folder : {"sound", "images"}) {
        const QDir source(QStringLiteral(TRV_RESOURCES_DIR "/") + folder);
        QDir(dir.path()).mkpath(folder);
        for (const QString &name : source.entryList(QDir::Files))
            QFile::copy(source.filePath(name), dir.filePath(folder + QLatin1Char('/') + name));
    }
    QDir::setCurrent(dir.path());
}

ConfigValues ConsoleDir::serverConfig(const QString &login, const QString &password)
{
    return {login, password, TestEnv::dbHost(), TestEnv::dbName(), QString::number(TestEnv::dbPort()), TestEnv::dbUser(),
            TestEnv::dbPassword(), TestEnv::amqpUser(), TestEnv::amqpPassword(), TestEnv::amqpVirtualHost(),
            QString::number(TestEnv::amqpPort()), QStringLiteral(":")};
}

RunningConsole::RunningConsole(const QString &login, const QString &password, quint16 brokerPort, quint16 dbPort)
{
    probePage.listen();
    ConfigValues config = ConsoleDir::serverConfig(login, password);
    config.portbroker = QString::number(brokerPort ? brokerPort : TestEnv::amqpPort());
    if (dbPort)
        config.dbPort = QString::number(dbPort);
    dir.writeConfig(config);
    console = std::make_unique<MainWindow>();
    console->findChild<InternetProbe *>()->setUrl(probePage.url());
    notifierSpy = std::make_unique<QSignalSpy>(console->findChild<TrayNotifier *>(), &TrayNotifier::shown);
    playerSpy = std::make_unique<QSignalSpy>(console->findChild<QMediaPlayer *>(), &QMediaPlayer::stateChanged);
    console->startReceiver();
    console->show();
}

bool RunningConsole::ready()
{
    // A marker comes back once the queue consumes; the tick that handles it
    // has already run the connection's catch-up refresh.
    static int marker = 700000;
    const int expected = ++marker;
    return QTest::qWaitFor([&] {
        if (connectionSettings.lastAnnouncedOrder != expected && publish({QStringLiteral("status:0:%1:0").arg(expected)}))
            QTest::qWait(300);
        return connectionSettings.lastAnnouncedOrder == expected && label("label_conexaoIinternet") == "Internet OK";
    }, 20000);
}

QList<int> RunningConsole::listedOrders() const
{
    QList<int> orders;
    QAbstractItemModel *model = console->findChild<QTableView *>(QStringLiteral("tableView_pedidos"))->model();
    for (int row = 0; model && row < model->rowCount(); ++row)
        orders.append(model->data(model->index(row, 0)).toInt());
    return orders;
}

bool RunningConsole::notified(const QString &titleAndText) const
{
    return std::any_of(notifierSpy->cbegin(), notifierSpy->cend(), [&](const QList<QVariant> &shown) {
        return shown.at(0).toString() + QLatin1Char('|') + shown.at(1).toString() == titleAndText;
    });
}

bool RunningConsole::alarmStarted() const
{
    return std::any_of(playerSpy->cbegin(), playerSpy->cend(), [](const QList<QVariant> &state) {
        return state.at(0).value<QMediaPlayer::State>() == QMediaPlayer::PlayingState;
    });
}

void RunningConsole::tick()
{
    // The tick ends when its Internet check answers; one the timer started
    // first would read the clock as it was.
    auto *probe = console->findChild<InternetProbe *>();
    if (!QTest::qWaitFor([probe] { return !probe->isPending(); }, 5000))
        return;
    QSignalSpy done(probe, &InternetProbe::finished);
    if (console->tickNow())
        done.wait(5000);
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

void StoreFixture::initTestCase()
{
    TRV_REQUIRE_SERVERS();
    db = std::make_unique<DbFixture>();
    QVERIFY2(db->isOpen(), qPrintable(db->lastError()));
    // For the store state driven without a window.
    TestEnv::useDatabase(connectionSettings);
}

void StoreFixture::init()
{
    QVERIFY(db->clearAll());
    store = db->addOwnedStore(QStringLiteral("dono"), QStringLiteral("segredo"));
    otherStore = db->addOwnedStore(QStringLiteral("vizinho"), QStringLiteral("outra"));
    QVERIFY(db->setStatus(store, 1, 35) && db->setStatus(otherStore, 1, 20));
}

