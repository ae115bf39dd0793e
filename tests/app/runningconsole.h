#pragma once

#include "brokerrelay.h"
#include "configfile.h"
#include "consoleoptions.h"
#include "connectionsettings.h"
#include "statementrunner.h"
#include "dbfixture.h"
#include "internetprobe.h"
#include "mainwindow.h"
#include "recentorders.h"
#include "modalanswer.h"
#include "servicepublisher.h"
#include "testenv.h"
#include "traynotifier.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMediaPlayer>
#include <QSemaphore>
#include <QTableView>
#include <QTcpSocket>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <memory>

// A tiny local web page standing in for the Internet in the console's probe.
class LocalProbePage : public QObject
{
    Q_OBJECT

public:
    enum Mode { Answer, EmptyBody, Silent };

    bool listen();
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/success.txt").arg(server.serverPort())); }
    void setMode(Mode newMode) { mode = newMode; }
    void setDelay(int ms) { delayMs = ms; }   // answers that long after each request
    int requests() const { return requestCount; }

signals:
    void requested();

private:
    QTcpServer server;
    Mode mode = Answer;
    int delayMs = 0;
    int requestCount = 0;
};

// A relay serving from a thread of its own, for the database: the console's
// statements block the thread they run on, which must not be the relay's.
class RelayThread : public QThread
{
public:
    explicit RelayThread(quint16 targetPort) : targetPort(targetPort) { start(); ready.acquire(); }
    ~RelayThread() override { quit(); wait(); }
    quint16 port() const { return listening; }
    void freeze() { QMetaObject::invokeMethod(relay, [this] { relay->freeze(); }, Qt::BlockingQueuedConnection); }
    void release() { QMetaObject::invokeMethod(relay, [this] { relay->release(); }, Qt::BlockingQueuedConnection); }
    void cut() { QMetaObject::invokeMethod(relay, [this] { relay->cut(); }, Qt::BlockingQueuedConnection); }
    int heldChunks() const
    {
        int held = 0;
        QMetaObject::invokeMethod(relay, [&] { held = relay->heldChunks(); }, Qt::BlockingQueuedConnection);
        return held;
    }
    void holdWhen(const QByteArray &pattern, BrokerRelay::Hold what, int ms)
    {
        QMetaObject::invokeMethod(relay, [=] { relay->holdWhen(pattern, what, ms); }, Qt::BlockingQueuedConnection);
    }

protected:
    void run() override
    {
        BrokerRelay served(targetPort, 0);
        relay = &served;
        listening = served.serverPort();
        ready.release();
        exec();
        relay = nullptr;   // served ends with this function
    }

private:
    quint16 targetPort, listening = 0;
    BrokerRelay *relay = nullptr;
    QSemaphore ready;
};

// A working directory for one console: the resources beside it, a
// config.conf when asked for, and the process moved into it until destroyed.
class ConsoleDir
{
public:
    ConsoleDir();
    ~ConsoleDir() { QDir::setCurrent(previous); }

    // Settings that reach the private servers, logging in as login/password.
    static ConfigValues serverConfig(const QString &login, const QString &password);
    bool writeConfig(const ConfigValues &values) { return writeConfigFile(dir.filePath("config.conf"), values); }

private:
    QTemporaryDir dir;
    QString previous = QDir::currentPath();
};

// A logged-in console on the private servers, its Internet probe answered by a
// local page, receiving the service's messages. Tests of the app include this
// one header for their helpers and QtTest.
// Where a console's config.conf points: a port 0 or an empty host is the
// private server's; a caFile is installed as the console's tls/ca.pem.
struct ConsoleServers
{
    quint16 brokerPort = 0, dbPort = 0;
    QString host, caFile;
    QString printerLine = QStringLiteral(":");   // and what else its files say
    bool autoApproval = false;
};

class RunningConsole
{
public:
    explicit RunningConsole(const QString &login = QStringLiteral("dono"), const QString &password = QStringLiteral("segredo"),
                            const ConsoleServers &servers = {})
    {
        probePage.listen();
        ConfigValues config = ConsoleDir::serverConfig(login, password);
        config.portbroker = QString::number(servers.brokerPort ? servers.brokerPort : TestEnv::amqpPort());
        if (servers.dbPort)
            config.dbPort = QString::number(servers.dbPort);
        if (!servers.host.isEmpty())
            config.host = servers.host;
        config.printerLine = servers.printerLine;
        dir.writeConfig(config);
        ConsoleOptions().setAutoApproval(servers.autoApproval);
        if (!servers.caFile.isEmpty() && !(QDir().mkdir(QStringLiteral("tls")) && QFile::copy(servers.caFile, QStringLiteral("tls/ca.pem"))))
            qWarning() << "cannot install" << servers.caFile;
        console = std::make_unique<MainWindow>();
        console->findChild<InternetProbe *>()->setUrl(probePage.url());
        notifierSpy = std::make_unique<QSignalSpy>(console->findChild<TrayNotifier *>(), &TrayNotifier::shown);
        playerSpy = std::make_unique<QSignalSpy>(console->findChild<QMediaPlayer *>(), &QMediaPlayer::stateChanged);
        console->startReceiver();
        console->show();
    }

    MainWindow *window() const { return console.get(); }
    template <class W = QAbstractButton> W *widget(const char *name) const { return console->findChild<W *>(QLatin1String(name)); }
    LocalProbePage &probe() { return probePage; }
    // Consuming, with the catch-up refresh of its connection done.
    bool ready()
    {
        // A marker comes back once the queue consumes; the tick that handles it
        // has already started the connection's catch-up refresh, which then ends.
        static int marker = 700000;
        const int expected = ++marker;
        return QTest::qWaitFor([&] {
            if (console->lastAnnouncedOrder() != expected && publish({QStringLiteral("status:0:%1:0").arg(expected)}))
                QTest::qWait(300);
            return console->lastAnnouncedOrder() == expected && label("label_conexaoIinternet") == "Internet OK"
                && settled();
        }, 20000);
    }

    // No statement of the tick still under way in the background.
    bool settled() const
    {
        return !console->findChild<RecentOrders *>()->isReading()
            && !console->findChild<StatementRunner *>(QStringLiteral("storeStatements"))->isBusy();
    }

    QString label(const char *name) const { return widget<QLabel>(name)->text(); }
    bool receiving() const { return label("label_recepcao") == QStringLiteral("Login para recepção de pedidos: [ok]"); }
    QList<int> listedOrders() const
    {
        QList<int> orders;
        QAbstractItemModel *model = console->findChild<QTableView *>(QStringLiteral("tableView_pedidos"))->model();
        for (int row = 0; model && row < model->rowCount(); ++row)
            orders.append(model->data(model->index(row, 0)).toInt());
        return orders;
    }
    bool lists(int order) const { return listedOrders().contains(order); }

    // A notification "title|text" shown since the last clear.
    bool notified(const QString &titleAndText) const
    {
        return std::any_of(notifierSpy->cbegin(), notifierSpy->cend(), [&](const QList<QVariant> &shown) {
            return shown.at(0).toString() + QLatin1Char('|') + shown.at(1).toString() == titleAndText;
        });
    }
    void clearNotifications() { notifierSpy->clear(); }
    // The alarm went into playing since the last clear; is playing now.
    bool alarmStarted() const
    {
        return std::any_of(playerSpy->cbegin(), playerSpy->cend(), [](const QList<QVariant> &state) {
            return state.at(0).value<QMediaPlayer::State>() == QMediaPlayer::PlayingState;
        });
    }
    bool alarmPlaying() const { return console->findChild<QMediaPlayer *>()->state() == QMediaPlayer::PlayingState; }
    void clearAlarm() { playerSpy->clear(); }

    // Runs one whole tick right now, as the timer would.
    void tick()
    {
        // The tick ends when its Internet check answers and the list read it started is done;
        // one the timer started first would read the old clock.
        auto *probe = console->findChild<InternetProbe *>();
        if (!QTest::qWaitFor([&] { return !probe->isPending() && settled(); }, 5000))
            return;
        QSignalSpy done(probe, &InternetProbe::finished);
        if (console->tickNow())
            done.wait(5000);
        if (!QTest::qWaitFor([this] { return settled(); }, 15000))
            qWarning() << "the statements of the tick did not end";
    }

    static BrokerAccount broker()
    {
        return {TestEnv::dbHost(), TestEnv::amqpPort(), TestEnv::amqpVirtualHost(), TestEnv::amqpUser(), TestEnv::amqpPassword(), QString()};
    }
    static bool publish(const QStringList &texts)
    {
        QList<QByteArray> messages;
        for (const QString &text : texts)
            messages.append(text.toLatin1());
        const QString error = publishOnLogs(broker(), messages);
        if (!error.isEmpty())
            qWarning() << "publishing failed:" << error;
        return error.isEmpty();
    }

private:
    LocalProbePage probePage;
    ConsoleDir dir;
    std::unique_ptr<MainWindow> console;
    std::unique_ptr<QSignalSpy> notifierSpy;
    std::unique_ptr<QSignalSpy> playerSpy;
};

// Tests of one store on the private servers: an empty database but for the
// owner "dono" of store and "vizinho" of otherStore, both open.
class StoreFixture : public QObject
{
    Q_OBJECT

protected slots:
    void initTestCase()
    {
        TRV_REQUIRE_SERVERS();
        db = std::make_unique<DbFixture>();
        QVERIFY2(db->isOpen(), qPrintable(db->lastError()));
        // For the store state driven without a window.
        TestEnv::useDatabase(connectionSettings);
    }
    void init()
    {
        QVERIFY(db->clearAll());
        store = db->addOwnedStore(QStringLiteral("dono"), QStringLiteral("segredo"));
        otherStore = db->addOwnedStore(QStringLiteral("vizinho"), QStringLiteral("outra"));
        QVERIFY(db->setStatus(store, 1, 35) && db->setStatus(otherStore, 1, 20));
    }

protected:
    // Columns of a store's status row, joined by blanks.
    QString statusRow(const char *columns, int id) const
    {
        return db->scalar(QStringLiteral("select concat_ws(' ', %1) from status where id_pizzaria=:id").arg(QLatin1String(columns)),
                          {{":id", id}}).toString();
    }
    bool addPeriod(int dia, const QString &inicio, const QString &fim) const
    {
        return db->exec(QStringLiteral("insert into funcionamento (id_pizzaria, dia_semana, hora_inicio, hora_final) "
                                       "values (:id, :dia, :inicio, :fim)"),
                        {{":id", store}, {":dia", dia}, {":inicio", inicio}, {":fim", fim}});
    }

    std::unique_ptr<DbFixture> db;
    int store = 0;
    int otherStore = 0;
};
