#include "databasewatch.h"

#include "connection.h"
#include "connectionsettings.h"
#include "statementrunner.h"
#include "dblog.h"

namespace {

constexpr int checkUpMs = 3000;
constexpr int checkDownMs = 1000;
// A server refused over TLS is not retried sooner than one that answers: each
// try is a handshake with whoever holds the line, and the pause grows to this.
constexpr int refusedLongestMs = 60000;

} // namespace

DatabaseWatch::DatabaseWatch(QObject *parent)
    : QObject(parent)
    , probe(new StatementRunner(QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=2;MYSQL_OPT_READ_TIMEOUT=2;MYSQL_OPT_WRITE_TIMEOUT=2"), this))
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
    probe->run(QStringLiteral("select 1"), {}, [this](const SqlResult &result) { checked(result.ok(), result.error); });
}

void DatabaseWatch::checked(bool ok, const QString &why)
{
    inFlight = false;
    if (ok || !refusedOverTls(why))
        refusedPauseMs = 0;
    else
        refusedPauseMs = refusedPauseMs == 0 ? checkUpMs : qMin(2 * refusedPauseMs, refusedLongestMs);
    timer.setInterval(ok ? checkUpMs : refusedPauseMs > 0 ? refusedPauseMs : checkDownMs);
    // Said once per outage and once more when its reason changes.
    if (!ok && why != downReason)
        qCWarning(lcDatabase).noquote() << QStringLiteral("Database: %1 does not answer: %2").arg(connectionSettings.host, why);
    downReason = ok ? QString() : why;
    if (ok == answering)
        return;
    answering = ok;
    emit answersChanged(ok);
}
