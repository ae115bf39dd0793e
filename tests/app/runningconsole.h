#pragma once

#include "brokerrelay.h"
#include "configfile.h"
#include "connectionsettings.h"
#include "dbfixture.h"
#include "mainwindow.h"
#include "modalanswer.h"
#include "servicepublisher.h"
#include "testenv.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMediaPlayer>
#include <QSemaphore>
#include <QTcpServer>
#include <QThread>
#include <QTcpSocket>
#include <QtTest>

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
    explicit RelayThread(quint16 targetPort)
        : targetPort(targetPort)
    {
        start();
        ready.acquire();
    }
    ~RelayThread() override
    {
        quit();
        wait();
    }
    quint16 port() const { return listening; }
    void freeze() { QMetaObject::invokeMethod(relay, [this] { relay->freeze(); }, Qt::BlockingQueuedConnection); }
    void release() { QMetaObject::invokeMethod(relay, [this] { relay->release(); }, Qt::BlockingQueuedConnection); }

protected:
    void run() override
    {
        BrokerRelay served(targetPort, 0);
        relay = &served;
        listening = served.serverPort();
        ready.release();
        exec();
    }

private:
    quint16 targetPort;
    BrokerRelay *relay = nullptr;
    quint16 listening = 0;
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
class RunningConsole
{
public:
    // A port 0: the private server itself.
    explicit RunningConsole(const QString &login = QStringLiteral("dono"), const QString &password = QStringLiteral("segredo"),
                            quint16 brokerPort = 0, quint16 dbPort = 0);

    MainWindow *window() const { return console.get(); }
    template <class W = QAbstractButton> W *widget(const char *name) const { return console->findChild<W *>(QLatin1String(name)); }
    LocalProbePage &probe() { return probePage; }
    // Consuming, with the catch-up refresh of its connection done.
    bool ready();

    QString label(const char *name) const { return widget<QLabel>(name)->text(); }
    bool receiving() const { return label("label_recepcao") == QStringLiteral("Login para recepção de pedidos: [ok]"); }
    QList<int> listedOrders() const;
    bool lists(int order) const { return listedOrders().contains(order); }

    // A notification "title|text" shown since the last clear.
    bool notified(const QString &titleAndText) const;
    void clearNotifications() { notifierSpy->clear(); }
    // The alarm went into playing since the last clear; is playing now.
    bool alarmStarted() const;
    bool alarmPlaying() const { return console->findChild<QMediaPlayer *>()->state() == QMediaPlayer::PlayingState; }
    void clearAlarm() { playerSpy->clear(); }

    // Runs one whole tick right now, as the timer would.
    void tick();

    static BrokerAccount broker()
    {
        return {TestEnv::dbHost(), TestEnv::amqpPort(), TestEnv::amqpVirtualHost(), TestEnv::amqpUser(), TestEnv::amqpPassword()};
    }
    static bool publish(const QStringList &texts);

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
    void initTestCase();
    void init();

protected:
    // Columns of a store's status row, joined by blanks.
    QString statusRow(const char *columns, int id) const
    {
        return db->scalar(QStringLiteral("select concat_ws(' ', %1) from status where id_pizzaria=:id").arg(QLatin1String(columns)),
                          {{":id", id}}).toString();
    }

    std::unique_ptr<DbFixture> db;
    int store = 0;
    int otherStore = 0;
};
