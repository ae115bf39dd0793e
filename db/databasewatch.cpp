#include "databasewatch.h"

#include "connection.h"
#include "connectionsettings.h"
#include "dblog.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace {

constexpr int checkUpMs = 3000;
constexpr int checkDownMs = 1000;

// Runs on the watch's thread only, on a connection no other thread uses.
bool databaseAnswers(const QString &connection, const DatabaseTarget &target, QString *why)
{
    bool ok = false;
    {
        QSqlDatabase db = addDatabaseConnection(connection, target,
                                                QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=2;MYSQL_OPT_READ_TIMEOUT=2;MYSQL_OPT_WRITE_TIMEOUT=2"));
        if (openDatabaseConnection(db, target, why)) {
            QSqlQuery query(db);
            ok = query.exec(QStringLiteral("select 1"));
            if (!ok)
                *why = query.lastError().text();
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
    const QString connection = QStringLiteral("databasewatch-%1").arg(quintptr(this), 0, 16);
    const DatabaseTarget target = DatabaseTarget::current();
    QMetaObject::invokeMethod(worker, [this, connection, target] {
        QString why;
        const bool ok = databaseAnswers(connection, target, &why);
        QMetaObject::invokeMethod(this, [this, ok, why] { checked(ok, why); }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
}

void DatabaseWatch::checked(bool ok, const QString &why)
{
    inFlight = false;
    timer.setInterval(ok ? checkUpMs : checkDownMs);
    connectionSettings.databaseAnswers = ok;
    // Said once per outage and once more when its reason changes.
    if (!ok && why != downReason)
        qCWarning(lcDatabase).noquote() << QStringLiteral("Database: %1 does not answer: %2").arg(connectionSettings.host, why);
    downReason = ok ? QString() : why;
    if (ok == answering)
        return;
    answering = ok;
    emit answersChanged(ok);
}
