#include "databasewatch.h"

#include "connectionsettings.h"

#include <QSqlDatabase>
#include <QSqlQuery>

namespace {

constexpr int checkUpMs = 3000;
constexpr int checkDownMs = 1000;

struct Target
{
    QString connection, host, name, port, user, password;
};

// Runs on the watch's thread only, on a connection no other thread uses.
bool databaseAnswers(const Target &target)
{
    const QString &connection = target.connection;
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), connection);
        db.setHostName(target.host);
        db.setDatabaseName(target.name);
        db.setPort(target.port.toInt());
        db.setUserName(target.user);
        db.setPassword(target.password);
        db.setConnectOptions(QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=2;MYSQL_OPT_READ_TIMEOUT=2;MYSQL_OPT_WRITE_TIMEOUT=2"));
        if (db.open()) {
            QSqlQuery query(db);
            ok = query.exec(QStringLiteral("select 1"));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return ok;
}

} // namespace

DatabaseWatch::DatabaseWatch(QObject *parent)
    : QObject(parent)
    , worker(new QObject)
{
    worker->moveToThread(&thread);
    connect(&thread, &QThread::finished, worker, &QObject::deleteLater);
    connect(&timer, &QTimer::timeout, this, &DatabaseWatch::check);
    thread.start();
}

DatabaseWatch::~DatabaseWatch()
{
    timer.stop();
    thread.quit();
    thread.wait();
}

void DatabaseWatch::start()
{
    timer.start(checkUpMs);
    check();
}

void DatabaseWatch::check()
{
    if (inFlight)
        return;
    inFlight = true;
    // The settings are read here, on the GUI thread that writes them.
    // One connection name per watch: a process may run several consoles.
    const Target target{QStringLiteral("databasewatch-%1").arg(quintptr(this), 0, 16), connectionSettings.host, connectionSettings.dbName, connectionSettings.dbPort,
                        connectionSettings.dbUser, connectionSettings.dbPassword};
    QMetaObject::invokeMethod(worker, [this, target] {
        const bool ok = databaseAnswers(target);
        QMetaObject::invokeMethod(this, [this, ok] { checked(ok); }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
}

void DatabaseWatch::checked(bool ok)
{
    inFlight = false;
    timer.setInterval(ok ? checkUpMs : checkDownMs);
    connectionSettings.databaseAnswers = ok;
    if (ok == answering)
        return;
    answering = ok;
    emit answersChanged(ok);
}
