#pragma once

#include "testenv.h"

#include <QCryptographicHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

// Rows for the tests, written over a connection of its own ("fixture") so the
// console's named connections are left alone. Each test makes what it needs.
class DbFixture
{
public:
    // A socket path: that server's, reached through its socket (which needs no TLS).
    explicit DbFixture(const QString &socket = QString())
        : connection(socket.isEmpty() ? QStringLiteral("fixture") : QStringLiteral("fixture ") + socket)
        , db(QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), connection))
    {
        db.setHostName(socket.isEmpty() ? TestEnv::dbHost() : QStringLiteral("localhost"));   // else the socket goes unused
        db.setPort(TestEnv::dbPort());
        db.setDatabaseName(TestEnv::dbName());
        // Some tests stop and start the server under it.
        db.setConnectOptions(socket.isEmpty() ? QStringLiteral("MYSQL_OPT_RECONNECT=1") : QStringLiteral("UNIX_SOCKET=") + socket);
        if (!db.open(TestEnv::dbUser(), TestEnv::dbPassword()))
            error = db.lastError().text();
    }
    ~DbFixture()
    {
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connection);
    }

    bool isOpen() const { return db.isOpen(); }
    QString lastError() const { return error; }

    // Empties every table the console uses.
    bool clearAll()
    {
        for (const char *table : {"pedido_detalhe", "pedido", "endereco", "bandeirascartao", "cardapio", "precoitem",
                                  "item_cardapio", "menu", "tamanho", "tipocardapio", "funcionamento", "status", "pizzaria",
                                  "usuarios"}) {
            if (!exec(QStringLiteral("delete from %1").arg(QLatin1String(table))))
                return false;
        }
        return true;
    }

    // A store and its owner's account (nivel 2: a store owner); returns the store id.
    int addOwnedStore(const QString &login, const QString &password, int nivel = 2)
    {
        const QByteArray digest = QCryptographicHash::hash(password.toUtf8(), QCryptographicHash::Md5).toHex();
        const int owner = insert(QStringLiteral("insert into usuarios (login, senha, nivel) values (:login, :senha, :nivel)"),
                                 {{":login", login}, {":senha", QString::fromLatin1(digest)}, {":nivel", nivel}});
        return owner ? insert(QStringLiteral("insert into pizzaria (owner_pizzaria) values (:owner)"), {{":owner", owner}}) : 0;
    }
    bool setStatus(int store, int status, int espera)
    {
        return exec(QStringLiteral("replace into status (id_pizzaria, status, espera, ts_open, ts_close) "
                                   "values (:id, :status, :espera, 0, 0)"),
                    {{":id", store}, {":status", status}, {":espera", espera}});
    }
    int addOrder(int store, qint64 data, const QVariant &valor, const QVariant &desconto, int status)
    {
        return insert(QStringLiteral("insert into pedido (id_pizzaria, data, valor, desconto, taxa_entrega, modo_pag, status) "
                                     "values (:id, :data, :valor, :desconto, 0, 1, :status)"),
                      {{":id", store}, {":data", data}, {":valor", valor}, {":desconto", desconto}, {":status", status}});
    }

    bool exec(const QString &statement, const QVariantMap &bindings = {}) { return run(statement, bindings).isActive(); }
    // One value of the first row of a statement, or an invalid QVariant.
    QVariant scalar(const QString &statement, const QVariantMap &bindings = {})
    {
        QSqlQuery query = run(statement, bindings);
        return query.next() ? query.value(0) : QVariant();
    }

private:
    QSqlQuery run(const QString &statement, const QVariantMap &bindings)   // inactive after a failure
    {
        QSqlQuery query(db);
        query.prepare(statement);
        for (auto it = bindings.cbegin(); it != bindings.cend(); ++it)
            query.bindValue(it.key(), it.value());
        if (!query.exec())
            error = query.lastError().text();
        return query;
    }
    int insert(const QString &statement, const QVariantMap &bindings) { return run(statement, bindings).lastInsertId().toInt(); }

    QString connection;   // declared before db, which is made with it
    QSqlDatabase db;
    QString error;
};
