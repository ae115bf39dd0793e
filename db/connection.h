#pragma once

#include <QSqlDatabase>
#include <QString>

// Connections are re-created by name at every operation with the current
// settings of connectionSettings; none is kept open for reuse.

// Re-creates and opens the default connection; sets the server and user status texts.
bool ConectaBanco();

// Re-creates the connection nome, stores its handle in *db and opens it.
bool AbreConexao(const QString &nome, QSqlDatabase *db);

// Closes the connection whose handle *db holds.
void FechaConexao(QSqlDatabase *db);
