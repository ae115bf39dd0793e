#include "connection.h"

#include "connectionsettings.h"
#include "dblog.h"
#include "servertls.h"
#include "verifiedhandshake.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QSqlRecord>

#include <errmsg.h>

DatabaseTarget DatabaseTarget::current()
{
    return {connectionSettings.host, connectionSettings.dbName, connectionSettings.dbPort,
            connectionSettings.dbUser, connectionSettings.dbPassword, connectionSettings.caFile};
}

QSqlDatabase addDatabaseConnection(const QString &name, const DatabaseTarget &target, const QString &limits)
{
    if (QSqlDatabase::contains(name))
        QSqlDatabase::removeDatabase(name);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), name);
    db.setDatabaseName(target.name);
    db.setHostName(target.host);
    db.setPort(target.port.toInt()); // 0 when not a number
    db.setUserName(target.user);
    db.setPassword(target.password);
    // With an authority the client library insists on TLS and checks the chain.
    db.setConnectOptions(target.caFile.isEmpty() ? limits : limits + QStringLiteral(";SSL_CA=") + target.caFile);
    return db;
}

namespace {

const QString refusedMark = QStringLiteral("refused over TLS: ");

} // namespace

bool openDatabaseConnection(QSqlDatabase &db, const DatabaseTarget &target, QString *why)
{
    const bool tls = !target.caFile.isEmpty();
    // The server accepts the account without a database, but nothing works then.
    if (target.name.isEmpty()) {
        *why = QStringLiteral("no database name");
        return false;
    }
    if (tls && !handshakeVerifiesServer()) {
        *why = refusedMark + QStringLiteral("this program cannot verify the server before the login");
        return false;
    }
    if (!db.open()) {
        const QSqlError error = db.lastError();
        // The client library's handshake found the server unverified or without TLS.
        const bool refused = tls && error.nativeErrorCode() == QString::number(CR_SSL_CONNECTION_ERROR);
        *why = (refused ? refusedMark : QString()) + error.text();
        if (tls)
            qCWarning(lcDatabase).noquote() << QStringLiteral("Database: cannot use %1 over TLS: %2").arg(target.host, error.text());
        return false;
    }
    if (!tls)
        return true;
    // The handshake checked all this already; a second look costs nothing.
    const QString refusal = tlsRefusal(db, target.host);
    if (refusal.isEmpty())
        return true;
    *why = refusedMark + refusal;
    qCWarning(lcDatabase).noquote() << QStringLiteral("Database: cannot use %1 over TLS: %2").arg(target.host, refusal);
    db.close();
    return false;
}

bool refusedOverTls(const QString &why)
{
    return why.startsWith(refusedMark);
}

QString tlsReason(const QString &why)
{
    return refusedOverTls(why) ? why.mid(refusedMark.size()) : why;
}

namespace {

// A door's own connection, opened anew for its one statement.
bool execHere(QSqlQuery &query, const QString &connection, const QString &statement, const QVariantMap &bindings,
              QString *error)
{
    const DatabaseTarget target = DatabaseTarget::current();
    QSqlDatabase db = addDatabaseConnection(connection, target, databaseStatementLimits);
    QString why;
    if (!openDatabaseConnection(db, target, &why)) {
        if (error)
            *error = tlsReason(why);
        return false;
    }
    query = QSqlQuery(db);
    bool ok = query.prepare(statement);
    for (auto binding = bindings.cbegin(); ok && binding != bindings.cend(); ++binding)
        query.bindValue(binding.key(), binding.value());
    ok = ok && query.exec();
    if (!ok && error)
        *error = query.lastError().text();
    return ok;
}

} // namespace

bool readIntoModel(const QString &connection, const QString &statement, const QVariantMap &bindings,
                   QSqlQueryModel *model, QString *error)
{
    if (!model)
        return false;
    QSqlQuery query;
    if (!execHere(query, connection, statement, bindings, error))
        return false;
    model->setQuery(query);
    return true;
}

SqlResult runHere(const QString &connection, const QString &statement, const QVariantMap &bindings)
{
    SqlResult result;
    {
        QSqlQuery query;
        if (execHere(query, connection, statement, bindings, &result.error)) {
            while (query.next()) {
                QVector<QVariant> row;
                for (int column = 0; column < query.record().count(); ++column)
                    row.append(query.value(column));
                result.values.append(row);
            }
            result.rowsAffected = query.numRowsAffected();
        } else if (result.error.isEmpty()) {
            result.error = QStringLiteral("not executed");
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return result;
}

bool writeOn(const QString &connection, const QString &statement, const QVariantMap &bindings, QString *error)
{
    const SqlResult result = runHere(connection, statement, bindings);
    if (error)
        *error = result.error;
    return result.ok();
}
