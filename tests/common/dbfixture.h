#pragma once

#include <QDateTime>
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

    int addUser(const QString &login, const QString &password, int nivel, const QString &nome = QString());
    int addStore(int ownerId, const QString &twitter = QString());
    // A store with its owner (nivel 2) in one call; returns the store id.
    int addOwnedStore(const QString &login, const QString &password);
    bool setStatus(int store, int status, int espera);
    bool addPeriod(int store, int diaSemana, const QString &inicio, const QString &fim);
    int addOrder(int store, qint64 data, const QVariant &valor, const QVariant &desconto, int status);

    // One value of the first row of a statement, or an invalid QVariant.
    QVariant scalar(const QString &statement, const QVariantMap &bindings = {});

    bool exec(const QString &statement, const QVariantMap &bindings = {});

private:
    QSqlQuery run(const QString &statement, const QVariantMap &bindings, bool *ok);
    QVariant insert(const QString &statement, const QVariantMap &bindings);

    QSqlDatabase db;
    QString error;
};
