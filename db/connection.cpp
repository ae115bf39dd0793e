#include "connection.h"

#include "connectionsettings.h"

namespace {

const QString mysqlDriver = QStringLiteral("QMYSQL");

// Replaces the connection of that name; other handles to the old one stop working.
// The holder lets go first, so a plain replacement does not warn that the
// connection is still in use.
void createConnection(const QString &name, QSqlDatabase *holder)
{
    *holder = QSqlDatabase();
    if (QSqlDatabase::contains(name))
        QSqlDatabase::removeDatabase(name);
    QSqlDatabase db = QSqlDatabase::addDatabase(mysqlDriver, name);
    db.setDatabaseName(connectionSettings.dbName);
    db.setHostName(connectionSettings.host);
    db.setPort(connectionSettings.dbPort.toInt()); // 0 when not a number
    db.setUserName(connectionSettings.dbUser);
    db.setPassword(connectionSettings.dbPassword);
    // Bounded waits: the console runs these on the GUI thread.
    db.setConnectOptions(QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=5;MYSQL_OPT_READ_TIMEOUT=10;MYSQL_OPT_WRITE_TIMEOUT=10"));
    *holder = db;
}

bool openUsable(QSqlDatabase &db)
{
    return connectionSettings.databaseAnswers && db.open() && !connectionSettings.dbName.isEmpty();
}

} // namespace

bool ConectaBanco()
{
    connectionSettings.serverStatusText = QStringLiteral("Servidor não conectado!");
    createConnection(QLatin1String(QSqlDatabase::defaultConnection), &connectionSettings.defaultDb);
    if (openUsable(connectionSettings.defaultDb)) {
        connectionSettings.serverStatusText = QStringLiteral("Servidor Conectado!");
        return true;
    }
    connectionSettings.userStatusText = QStringLiteral("---");
    return false;
}

bool AbreConexao(const QString &nome, QSqlDatabase *db)
{
    createConnection(nome, db);
    return openUsable(*db);
}

void FechaConexao(QSqlDatabase *db)
{
    db->close();
}
