#pragma once

#include "connection.h"
#include "sqlresult.h"

#include <QSqlDatabase>
#include <QVariantMap>

// A statement runner's one connection, used on the runner's thread only.
// Opened when first needed, kept open between statements, opened again after
// a failure or when the settings changed.
class SqlSession
{
public:
    SqlSession(const QString &connectionName, const QString &limits);
    ~SqlSession();   // on the runner's thread

    void setTarget(const DatabaseTarget &target);
    // Every value bound by name. A statement the server never received (a
    // connection found dead by the prepare) is tried once more on a new one.
    SqlResult exec(const QString &statement, const QVariantMap &bindings);
    // Once per element of the lists bound by name (execBatch).
    SqlResult execBatch(const QString &statement, const QVariantMap &lists);
    // Around a group of statements: all of them or none.
    bool transaction();
    bool commit();
    void rollback();

private:
    SqlResult execRetried(const QString &statement, const QVariantMap &bindings, bool batch);
    SqlResult execOnce(const QString &statement, const QVariantMap &bindings, bool batch, bool *sent);
    bool ensureOpen(QString *why);
    void drop();

    QString name;
    QString limits;
    DatabaseTarget target;
    bool open = false;
    bool targetChanged = true;
    bool inTransaction = false;
    bool transactionLost = false;   // until its rollback or commit
};
