#pragma once

#include "sqlresult.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariantMap>

class QSqlQueryModel;

// Doors for the named slots whose callers hand a query model over or wait
// for a value: the statement runs on the caller's thread, on the connection
// of that name, opened anew. The console's own work goes through StatementRunner.
// The model keeps its rows unless the statement ran; *error says why not.
bool readIntoModel(const QString &connection, const QString &statement, const QVariantMap &bindings,
                   QSqlQueryModel *model, QString *error = nullptr);
SqlResult runHere(const QString &connection, const QString &statement, const QVariantMap &bindings);
bool writeOn(const QString &connection, const QString &statement, const QVariantMap &bindings, QString *error = nullptr);

// The limits of the console's statements, as MYSQL_OPT_* connect options.
inline const QString databaseStatementLimits =
    QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=5;MYSQL_OPT_READ_TIMEOUT=10;MYSQL_OPT_WRITE_TIMEOUT=10");

// Where a connection goes, copied from connectionSettings so that another
// thread can use it.
struct DatabaseTarget
{
    QString host, name, port, user, password, caFile;
    static DatabaseTarget current();
};

// Adds the connection name (replacing one of that name) towards target, with
// limits as MYSQL_OPT_* connect options.
QSqlDatabase addDatabaseConnection(const QString &name, const DatabaseTarget &target, const QString &limits);

// Opens db. With an authority the server's chain and name are verified, and
// TLS insisted on, during the handshake, before the login goes out.
// False with *why set when it cannot be used.
bool openDatabaseConnection(QSqlDatabase &db, const DatabaseTarget &target, QString *why);

// Whether a why of openDatabaseConnection says the server was refused over
// TLS (rather than not reached), and that reason without the mark.
bool refusedOverTls(const QString &why);
QString tlsReason(const QString &why);
