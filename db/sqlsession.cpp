#include "sqlsession.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <utility>

namespace {

SqlRows fetchRows(QSqlQuery &query)
{
    SqlRows rows;
    rows.columns = query.record().count();
    if (query.size() > 0)
        rows.values.reserve(query.size());
    while (query.next()) {
        QVector<QVariant> row;
        row.reserve(rows.columns);
        for (int column = 0; column < rows.columns; ++column)
            row.append(query.value(column));
        rows.values.append(row);
    }
    return rows;
}

bool operator!=(const DatabaseTarget &a, const DatabaseTarget &b)
{
    return a.host != b.host || a.name != b.name || a.port != b.port || a.user != b.user || a.password != b.password
        || a.caFile != b.caFile;
}

} // namespace

SqlSession::SqlSession(const QString &connectionName, const QString &limits)
    : name(connectionName)
    , limits(limits)
{
}

SqlSession::~SqlSession()
{
    drop();
}

void SqlSession::setTarget(const DatabaseTarget &newTarget)
{
    if (newTarget != target)
        targetChanged = true;
    target = newTarget;
}

void SqlSession::drop()
{
    // What a transaction wrote is gone with its connection: its next
    // statements must not run alone on a new one.
    transactionLost = inTransaction;
    inTransaction = false;
    if (QSqlDatabase::contains(name)) {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
    open = false;
}

bool SqlSession::ensureOpen(QString *why)
{
    if (transactionLost) {
        *why = QStringLiteral("the connection of the transaction was lost");
        return false;
    }
    if (open && !targetChanged)
        return true;
    drop();
    targetChanged = false;
    QSqlDatabase db = addDatabaseConnection(name, target, limits);
    open = openDatabaseConnection(db, target, why);
    if (!open && why->isEmpty())
        *why = QStringLiteral("database not open");
    return open;
}

SqlResult SqlSession::execOnce(const QString &statement, const QVariantMap &bindings, bool batch, bool *sent)
{
    SqlResult result;
    *sent = false;
    if (!ensureOpen(&result.error))
        return result;
    QSqlQuery query(QSqlDatabase::database(name, false));
    query.setForwardOnly(true);
    if (!query.prepare(statement)) {
        result.error = query.lastError().text();
        drop();
        return result;
    }
    for (auto binding = bindings.cbegin(); binding != bindings.cend(); ++binding)
        query.bindValue(binding.key(), binding.value());
    *sent = true;
    if (!(batch ? query.execBatch() : query.exec())) {
        result.error = query.lastError().text();
        // A lost connection is not used again; a statement refused on a
        // sound one (a syntax or constraint error) leaves it open.
        if (!QSqlDatabase::database(name, false).isOpen() || query.lastError().type() == QSqlError::ConnectionError)
            drop();
        return result;
    }
    static_cast<SqlRows &>(result) = fetchRows(query);
    result.rowsAffected = query.numRowsAffected();
    result.lastInsertId = query.lastInsertId();
    return result;
}

SqlResult SqlSession::exec(const QString &statement, const QVariantMap &bindings)
{
    return execRetried(statement, bindings, false);
}

SqlResult SqlSession::execBatch(const QString &statement, const QVariantMap &lists)
{
    return execRetried(statement, lists, true);
}

SqlResult SqlSession::execRetried(const QString &statement, const QVariantMap &bindings, bool batch)
{
    // Within a transaction a new connection would run the rest outside it.
    const bool reused = open && !targetChanged && !inTransaction;
    bool sent = false;
    SqlResult result = execOnce(statement, bindings, batch, &sent);
    // A connection left idle may have been closed by the server: the prepare
    // finds it, before anything of the statement ran.
    if (!result.ok() && reused && !sent)
        result = execOnce(statement, bindings, batch, &sent);
    return result;
}

bool SqlSession::transaction()
{
    QString why;
    if (!ensureOpen(&why))
        return false;
    inTransaction = QSqlDatabase::database(name, false).transaction();
    if (!inTransaction) {
        // An idle connection the server closed: once more on a new one.
        drop();
        inTransaction = ensureOpen(&why) && QSqlDatabase::database(name, false).transaction();
    }
    return inTransaction;
}

bool SqlSession::commit()
{
    inTransaction = false;
    if (std::exchange(transactionLost, false))
        return false;
    if (QSqlDatabase::database(name, false).commit())
        return true;
    drop();
    return false;
}

void SqlSession::rollback()
{
    inTransaction = false;
    if (!std::exchange(transactionLost, false) && !QSqlDatabase::database(name, false).rollback())
        drop();
}
