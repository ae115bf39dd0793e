#include "connection.h"

#include "connectionsettings.h"

namespace {

const QString mysqlDriver = QStringLiteral("QMYSQL");

// Adding a connection under a name in use replaces it; handles to the old one stop working.
QSqlDatabase createConnection(const QString &name)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(mysqlDriver, name);
    db.setDatabaseName(connectionSettings.dbName);
    db.setHostName(connectionSettings.host);
    db.setPort(connectionSettings.dbPort.toInt()); // 0 when not a number
    db.setUserName(connectionSettings.dbUser);
    db.setPassword(connectionSettings.dbPassword);
    // Bounded waits: the console runs these on the GUI thread.
    db.setConnectOptions(QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=5;MYSQL_OPT_READ_TIMEOUT=10;MYSQL_OPT_WRITE_TIMEOUT=10"));
    return db;
}

bool openUsable(QSqlDatabase &db)
{
    return db.open() && !connectionSettings.dbName.isEmpty();
}

} // namespace

bool ConectaBanco()
{
    connectionSettings.serverStatusText = QStringLiteral("Servidor não conectado!");
    connectionSettings.defaultDb = createConnection(QLatin1String(QSqlDatabase::defaultConnection));
    if (openUsable(connectionSettings.defaultDb)) {
        connectionSettings.serverStatusText = QStringLiteral("Servidor Conectado!");
        return true;
    }
    connectionSettings.userStatusText = QStringLiteral("---");
    return false;
}

bool AbreConexao(const QString &nome, QSqlDatabase *db)
{
    *db = createConnection(nome);
    return openUsable(*db);
}

void FechaConexao(QSqlDatabase *db)
{
    db->close();
}
