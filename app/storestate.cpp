#include "storestate.h"

#include "connection.h"
#include "statementrunner.h"
#include "openingschedule.h"
#include "consolelog.h"

#include <QDebug>

#include <cmath>

namespace {

QString statusUpdate(int status)
{
    return status != 0 ? QStringLiteral("update status set status=:status, ts_open=:hora where id_pizzaria=:id ")
                       : QStringLiteral("update status set status=:status, ts_close=:hora where id_pizzaria=:id ");
}

const QString scheduleRead = QStringLiteral("select hora_inicio, hora_final from funcionamento where id_pizzaria=:id "
                                            "and dia_semana=:dia order by hora_inicio asc");

const QString esperaUpdate = QStringLiteral("update status set espera=:espera where id_pizzaria=:id ");

const QString statusRead = QStringLiteral("select status, espera from status where id_pizzaria=:id ");

// funcionamento counts Sunday as day 0.
int scheduleWeekday(int dayOfWeek)
{
    return dayOfWeek % 7;
}

} // namespace

StoreState::StoreState(std::function<QDateTime()> clock, QObject *owner)
    : clock(std::move(clock))
    , statements(std::make_unique<StatementRunner>(owner))
{
    statements->setObjectName(QStringLiteral("storeStatements"));
}

StoreState::~StoreState() = default;

bool StoreState::isBusy() const
{
    return statements->isBusy();
}

// Start-up: the day's periods, then the status row, behind whatever the row
// was given before. A failed read leaves the day without periods, in manual mode.
void StoreState::start(int idPizzaria, const QDateTime &now, const std::function<void()> &then)
{
    const QDate day = now.date();
    periods.clear();
    scheduleDay = day;
    mode = 1;
    status = 0;
    const QVariantMap bindings{{QStringLiteral(":id"), idPizzaria}, {QStringLiteral(":dia"), scheduleWeekday(day.dayOfWeek())}};
    statements->run(scheduleRead, bindings, [this, day](const SqlResult &rows) {
        if (!rows.ok()) {
            qCDebug(lcConsole) << "LerDiario" << rows.error;
        } else if (scheduleDay == day) {
            keepPeriods(rows);
            mode = hasPeriods() ? 0 : 1;
        }
    });
    readRowInBackground(idPizzaria, [then](bool) { then(); });
}

bool StoreState::hasPeriods() const
{
    return !periods.isEmpty();
}

void StoreState::keepPeriods(const SqlRows &rows)
{
    periods.clear();
    for (const QVector<QVariant> &period : rows.values)
        periods.append({period.value(0).toString(), period.value(1).toString()});
}

// A new day's periods, read in the background; the day gets them once read.
void StoreState::readScheduleInBackground(int idPizzaria, const QDate &day)
{
    if (isBusy() || !databaseUp)
        return;
    const QVariantMap bindings{{QStringLiteral(":id"), idPizzaria}, {QStringLiteral(":dia"), scheduleWeekday(day.dayOfWeek())}};
    statements->run(scheduleRead, bindings, [this, day](const SqlResult &rows) {
        const QString &error = rows.error;
        if (!error.isEmpty()) {
            qCDebug(lcConsole) << "LerDiario" << error;
            return;
        }
        const bool hadPeriods = hasPeriods();
        keepPeriods(rows);
        scheduleDay = day;
        // A day that gains or loses its periods gets its mode as at start-up.
        if (hadPeriods != hasPeriods())
            mode = hasPeriods() ? 0 : 1;
    });
}

// The named slots' doors, for callers that wait; the console's own work
// goes through the store's statements.
bool StoreState::LerDiario(int id, int dia, QSqlQueryModel *model)
{
    QString error;
    const QVariantMap bindings{{QStringLiteral(":id"), id}, {QStringLiteral(":dia"), scheduleWeekday(dia)}};
    if (readIntoModel(QStringLiteral("dbDiario"), scheduleRead, bindings, model, &error))
        return true;
    qCDebug(lcConsole) << "LerDiario" << error;
    return false;
}

bool StoreState::LerStatus(int id, QSqlQueryModel *model)
{
    return readIntoModel(QStringLiteral("statusloja"), statusRead, {{QStringLiteral(":id"), id}}, model);
}

bool StoreState::AtualizaStatus(int id, int status)
{
    qCDebug(lcConsole) << "AtualizaStatus";
    const SqlResult result = runHere(QStringLiteral("db2"), statusUpdate(status), statusBindings(id, status));
    qCDebug(lcConsole) << result.error;
    return result.ok();
}

bool StoreState::AtualizaEspera(int id, int tempo)
{
    return runHere(QStringLiteral("db2"), esperaUpdate, {{QStringLiteral(":id"), id}, {QStringLiteral(":espera"), tempo}}).ok();
}

void StoreState::VerificaPeriodoAbertura(int idPizzaria, const QDateTime &now)
{
    if (closed)
        return;
    if (rowToFollow)
        followRow(idPizzaria);
    // A console left running past midnight follows the new day's periods;
    // until they are read, the old day's are not applied to the new date.
    const bool periodsOfToday = scheduleDay == now.date();
    if (!periodsOfToday)
        readScheduleInBackground(idPizzaria, now.date());

    modeText = QStringLiteral("Manual");
    for (int row = 0; periodsOfToday && row < periods.size(); ++row) {
        const OpeningPeriod period = OpeningPeriod::onDay(now.date(), periods.at(row).opening, periods.at(row).closing);
        modeText = QString(QLatin1String(""));
        if (mode == 0 && period.contains(now)) {
            status = 1;
            modeText = QStringLiteral("Automático (Abertura: %1 Fechamento: %2)")
                           .arg(period.opening.toString(QStringLiteral("hh:mm")),
                                period.closing.toString(QStringLiteral("hh:mm")));
            break;
        }
    }
    if (status == lastWrittenStatus)
        writeFailed = false;
    else if (!isBusy())
        writeStatus(idPizzaria, status);
}

// In the background, so that a server that stops answering holds only the
// statements' thread; a failed write is tried again at the next check.
void StoreState::writeStatus(int idPizzaria, int written)
{
    if (!databaseUp) {   // known down: left for the next check once it answers
        writeFailed = true;
        return;
    }
    qCDebug(lcConsole) << "AtualizaStatus";
    writing = true;
    const int startedAt = changesByHand;
    statements->run(statusUpdate(written), statusBindings(idPizzaria, written), [this, idPizzaria, written, startedAt](const SqlResult &result) {
        const QString &error = result.error;
        qCDebug(lcConsole) << error;
        writing = false;
        // A status set by hand meanwhile is newer than this one.
        if (startedAt != changesByHand)
            return;
        writeFailed = !error.isEmpty();
        if (writeFailed)
            return;
        // Should the read-back fail, the row holds at least what was written.
        lastWrittenStatus = lastRow.status = written;
        readRowInBackground(idPizzaria, [](bool) {});
    });
}

QVariantMap StoreState::statusBindings(int idPizzaria, int written) const
{
    return {{QStringLiteral(":id"), idPizzaria},
            {QStringLiteral(":status"), written},
            {QStringLiteral(":hora"), qint64(clock().toSecsSinceEpoch())}};
}

// A read begun before the operator changed the row holds what the operator
// replaced: it is dropped, as if it had failed.
void StoreState::readRowInBackground(int idPizzaria, const std::function<void(bool read)> &then)
{
    const int startedAt = changesByHand;
    statements->run(statusRead, {{QStringLiteral(":id"), idPizzaria}}, [this, then, startedAt](const SqlResult &rows) {
        const QString &error = rows.error;
        const bool read = error.isEmpty() && startedAt == changesByHand;
        if (read)
            keepRow(rows);
        then(read);
    });
}

void StoreState::keepRow(const SqlRows &rows)
{
    const QVector<QVariant> first = rows.values.value(0);
    lastRow = {first.value(0).toInt(), first.value(1).toInt()};
}

void StoreState::refreshRow(int idPizzaria, const std::function<void()> &then)
{
    readRowInBackground(idPizzaria, [then](bool) { then(); });
}

void StoreState::takeStatusRow()
{
    espera = lastRow.espera;
    // The row read before a failed write would undo the status still to be written.
    if (!writeFailed && !writing)
        status = lastRow.status;
}

void StoreState::toggleStatus(int idPizzaria, const std::function<void(Toggle)> &done)
{
    if (mode == 0 || closed)
        return done(Toggle::Automatic);
    // Any status but 0 is open: one press closes it, whatever value the row held.
    const int flipped = (writesByHand > 0 ? pressedStatus : status) != 0 ? 0 : 1;
    pressedStatus = flipped;
    ++writesByHand;
    operatorChanged();
    qCDebug(lcConsole) << "AtualizaStatus";
    statements->run(statusUpdate(flipped), statusBindings(idPizzaria, flipped),
                       [this, idPizzaria, flipped, done](const SqlResult &result) {
        const QString &error = result.error;
        qCDebug(lcConsole) << error;
        --writesByHand;
        if (!error.isEmpty())
            return done(Toggle::Refused);
        status = lastWrittenStatus = lastRow.status = flipped;
        writeFailed = false;
        readRowInBackground(idPizzaria, [](bool) {});
        done(Toggle::Written);
    });
}

void StoreState::setEspera(int idPizzaria, float typed, const std::function<void(bool written)> &done)
{
    // Truncated toward zero; a value beyond an int is no waiting time.
    if (!(std::fabs(typed) < 2147483648.0f))
        return done(false);
    const int tempo = int(typed);
    operatorChanged();
    statements->run(esperaUpdate,
                       {{QStringLiteral(":id"), idPizzaria}, {QStringLiteral(":espera"), tempo}},
                       [this, tempo, done](const SqlResult &result) {
        const QString &error = result.error;
        if (error.isEmpty())
            lastRow.espera = tempo;
        done(error.isEmpty());
    });
}

void StoreState::close(int idPizzaria, const std::function<void(bool written)> &done)
{
    closed = true;
    operatorChanged();
    qCDebug(lcConsole) << "AtualizaStatus";
    statements->run(statusUpdate(0), statusBindings(idPizzaria, 0), [done](const SqlResult &result) {
        const QString &error = result.error;
        qCDebug(lcConsole) << error;
        done(error.isEmpty());
    });
}

bool StoreState::closeNow(int idPizzaria)
{
    closed = true;
    operatorChanged();
    qCDebug(lcConsole) << "AtualizaStatus";
    const QString error = statements->runAndWait(statusUpdate(0), statusBindings(idPizzaria, 0)).error;
    qCDebug(lcConsole) << error;
    return error.isEmpty();
}

void StoreState::statusSetByHand(int idPizzaria, int announced)
{
    mode = 1;
    ++changesByHand;
    // A write still to be retried here gives way to another status set since.
    if (writeFailed && announced >= 0)
        status = announced;
    followRow(idPizzaria);
}

// The row as the other console recorded it: writing it back later could undo
// what that console has changed since. A failed read is tried at every check
// until one succeeds, or this console would show the old status for good.
void StoreState::followRow(int idPizzaria)
{
    rowToFollow = true;
    if (isBusy() || !databaseUp)
        return;
    const int startedAt = changesByHand;
    readRowInBackground(idPizzaria, [this, startedAt](bool read) {
        // Pressed here since: the operator's own write is newer than what is followed.
        if (startedAt != changesByHand) {
            rowToFollow = false;
            return;
        }
        rowToFollow = !read;
        if (rowToFollow) {
            qCDebug(lcConsole) << "LerStatus: falhou; nova leitura na próxima verificação";
            return;
        }
        if (!writeFailed) {
            status = lastRow.status;
            lastWrittenStatus = status;
        }
    });
}
