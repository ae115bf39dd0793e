#include "connection.h"

#include "connectionsettings.h"
#include "dblog.h"
#include "servertls.h"
#include "verifiedhandshake.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>

#include <errmsg.h>

namespace {

// Replaces the connection of that name; other handles to the old one stop working.
// The holder lets go first, so a plain replacement does not warn that the
// connection is still in use.
void createConnection(const QString &name, QSqlDatabase *holder)
{
    *holder = QSqlDatabase();
    *holder = addDatabaseConnection(name, DatabaseTarget::current(), databaseStatementLimits);
}

// Why the default connection could not be opened the last time.
QString defaultOpenError;

bool openUsable(QSqlDatabase &db, QString *why)
{
    if (!connectionSettings.databaseAnswers)
        return false;
    if (!openDatabaseConnection(db, DatabaseTarget::current(), why)) {
        if (!connectionSettings.caFile.isEmpty())
            qCWarning(lcDatabase).noquote() << QStringLiteral("Database: cannot use %1 over TLS: %2").arg(connectionSettings.host, tlsReason(*why));
        return false;
    }
    return !connectionSettings.dbName.isEmpty();
}

} // namespace

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
    if (tls && !handshakeVerifiesServer()) {
        *why = refusedMark + QStringLiteral("this program cannot verify the server before the login");
        return false;
    }
    if (!db.open()) {
        const QSqlError error = db.lastError();
        // The client library's handshake found the server unverified or without TLS.
        const bool refused = tls && error.nativeErrorCode() == QString::number(CR_SSL_CONNECTION_ERROR);
        *why = (refused ? refusedMark : QString()) + error.text();
        return false;
    }
    if (!tls)
        return true;
    // The handshake checked all this already; a second look costs nothing.
    const QString refusal = tlsRefusal(db, target.host);
    if (refusal.isEmpty())
        return true;
    *why = refusedMark + refusal;
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

bool ConectaBanco()
{
    connectionSettings.serverStatusText = QStringLiteral("Servidor não conectado!");
    createConnection(QLatin1String(QSqlDatabase::defaultConnection), &connectionSettings.defaultDb);
    defaultOpenError.clear();
    if (openUsable(connectionSettings.defaultDb, &defaultOpenError)) {
        connectionSettings.serverStatusText = QStringLiteral("Servidor Conectado!");
        return true;
    }
    defaultOpenError = tlsReason(defaultOpenError);
    connectionSettings.userStatusText = QStringLiteral("---");
    return false;
}

bool AbreConexao(const QString &nome, QSqlDatabase *db)
{
    createConnection(nome, db);
    QString why;
    return openUsable(*db, &why);
}

QString defaultConnectionError()
{
    return defaultOpenError;
}

void FechaConexao(QSqlDatabase *db)
{
    db->close();
}

namespace {

bool execOn(const QString &connection, QSqlDatabase &db, QSqlQuery &query, const QString &statement,
            const QVariantMap &bindings, QString *error)
{
    const bool opened = connection.isEmpty() ? ConectaBanco() : AbreConexao(connection, &db);
    if (connection.isEmpty())
        db = connectionSettings.defaultDb;
    query = QSqlQuery(db);
    bool ok = opened && query.prepare(statement);
    for (auto binding = bindings.cbegin(); ok && binding != bindings.cend(); ++binding)
        query.bindValue(binding.key(), binding.value());
    ok = ok && query.exec();
    if (!ok && error)
        *error = opened ? query.lastError().text() : QStringLiteral("database not open");
    return ok;
}

} // namespace

bool readIntoModel(const QString &connection, const QString &statement, const QVariantMap &bindings,
                   QSqlQueryModel *model, QString *error)
{
    if (!model)
        return false;
    QSqlDatabase db;
    QSqlQuery query;
    if (!execOn(connection, db, query, statement, bindings, error))
        return false;
    model->setQuery(query);
    return true;
}

bool writeOn(const QString &connection, const QString &statement, const QVariantMap &bindings, QString *error)
{
    QSqlDatabase db;
    bool ok = false;
    {
        QSqlQuery query;
        ok = execOn(connection, db, query, statement, bindings, error);
    }
    FechaConexao(&db);
    return ok;
}
