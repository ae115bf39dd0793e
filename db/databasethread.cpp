#include "databasethread.h"

#include "connection.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

// Runs on the thread only, on a connection no other thread uses.
QString run(const QString &connection, const DatabaseTarget &target, const QString &limits, const QString &statement,
            const QVariantMap &bindings, SqlRows *rows)
{
    QString error;
    {
        QSqlDatabase db = addDatabaseConnection(connection, target, limits);
        if (openDatabaseConnection(db, target, &error)) {
            QSqlQuery query(db);
            query.prepare(statement);
            for (auto binding = bindings.cbegin(); binding != bindings.cend(); ++binding)
                query.bindValue(binding.key(), binding.value());
            if (query.exec())
                *rows = fetchRows(query);
            else
                error = query.lastError().text();
            if (error.isEmpty() && !query.isActive())
                error = QStringLiteral("not executed");
        } else if (error.isEmpty()) {
            error = QStringLiteral("database not open");
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return error;
}

} // namespace

SqlRows fetchRows(QSqlQuery &query)
{
    SqlRows rows;
    rows.columns = query.record().count();
    while (query.next()) {
        QVector<QVariant> row;
        row.reserve(rows.columns);
        for (int column = 0; column < rows.columns; ++column)
            row.append(query.value(column));
        rows.values.append(row);
    }
    return rows;
}

DatabaseThread::DatabaseThread(QObject *parent)
    : DatabaseThread(databaseStatementLimits, parent)
{
}

DatabaseThread::DatabaseThread(const QString &limits, QObject *parent)
    : QObject(parent)
    , limits(limits)
    , worker(new QObject)
{
    worker->moveToThread(&thread);
    connect(&thread, &QThread::finished, worker, &QObject::deleteLater);
    thread.start();
}

DatabaseThread::~DatabaseThread()
{
    thread.quit();
    thread.wait();
}

void DatabaseThread::select(const QString &statement, const QVariantMap &bindings, const Done &done)
{
    // The settings are read here, on the GUI thread that writes them.
    const QString connection = connectionName();
    const DatabaseTarget target = DatabaseTarget::current();
    ++pending;
    QMetaObject::invokeMethod(worker, [this, connection, target, statement, bindings, done] {
        SqlRows rows;
        const QString error = run(connection, target, limits, statement, bindings, &rows);
        QMetaObject::invokeMethod(this, [this, done, error, rows] {
            --pending;
            done(error, rows);
        }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
}

QString DatabaseThread::selectAndWait(const QString &statement, const QVariantMap &bindings)
{
    const QString connection = connectionName();
    const DatabaseTarget target = DatabaseTarget::current();
    QString error;
    QMetaObject::invokeMethod(worker, [&] {
        SqlRows rows;
        error = run(connection, target, limits, statement, bindings, &rows);
    }, Qt::BlockingQueuedConnection);
    return error;
}

QString DatabaseThread::connectionName() const
{
    return QStringLiteral("databasethread-%1").arg(quintptr(this), 0, 16);
}
