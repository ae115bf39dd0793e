#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

// Rows for the tests, written over a connection of its own ("fixture") so the
// console's named connections are left alone. Each test makes what it needs.
class DbFixture
{
public:
    DbFixture();
    ~DbFixture();

    bool isOpen() const { return db.isOpen(); }
    QString lastError() const { return error; }

    // Empties every table the console uses.
    bool clearAll();

    // A store and its owner's account (nivel 2: a store owner); returns the store id.
    int addOwnedStore(const QString &login, const QString &password, int nivel = 2);
    bool setStatus(int store, int status, int espera);
    int addOrder(int store, qint64 data, const QVariant &valor, const QVariant &desconto, int status);

    bool exec(const QString &statement, const QVariantMap &bindings = {}) { return run(statement, bindings).isActive(); }
    // One value of the first row of a statement, or an invalid QVariant.
    QVariant scalar(const QString &statement, const QVariantMap &bindings = {});

private:
    QSqlQuery run(const QString &statement, const QVariantMap &bindings);   // inactive after a failure
    int insert(const QString &statement, const QVariantMap &bindings) { return run(statement, bindings).lastInsertId().toInt(); }

    QSqlDatabase db;
    QString error;
};
