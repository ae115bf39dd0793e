#include "databasewatch.h"

#include "connectionsettings.h"
#include "databasethread.h"
#include "dblog.h"

namespace {

constexpr int checkUpMs = 3000;
constexpr int checkDownMs = 1000;

} // namespace

DatabaseWatch::DatabaseWatch(QObject *parent)
    : QObject(parent)
    , probe(new DatabaseThread(QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=2;MYSQL_OPT_READ_TIMEOUT=2;MYSQL_OPT_WRITE_TIMEOUT=2"), this))
{
    connect(&timer, &QTimer::timeout, this, &DatabaseWatch::check);
}

DatabaseWatch::~DatabaseWatch() = default;

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
    probe->select(QStringLiteral("select 1"), {}, [this](const QString &error, const SqlRows &) { checked(error.isEmpty(), error); });
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
