#include "dbfixture.h"

#include "testenv.h"

#include <QCryptographicHash>
#include <QSqlError>

DbFixture::DbFixture()
{
    db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), QStringLiteral("fixture"));
    db.setHostName(TestEnv::dbHost());
    db.setPort(TestEnv::dbPort());
    db.setDatabaseName(TestEnv::dbName());
    // Some tests stop and start the server under it.
    db.setConnectOptions(QStringLiteral("MYSQL_OPT_RECONNECT=1"));
    if (!db.open(TestEnv::dbUser(), TestEnv::dbPassword()))
        error = db.lastError().text();
}

DbFixture::~DbFixture()
{
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("fixture"));
}

QSqlQuery DbFixture::run(const QString &statement, const QVariantMap &bindings)
{
    QSqlQuery query(db);
    query.prepare(statement);
    for (auto it = bindings.cbegin(); it != bindings.cend(); ++it)
        query.bindValue(it.key(), it.value());
    if (!query.exec())
        error = query.lastError().text();
    return query;
}

QVariant DbFixture::scalar(const QString &statement, const QVariantMap &bindings)
{
    QSqlQuery query = run(statement, bindings);
    return query.next() ? query.value(0) : QVariant();
}

bool DbFixture::clearAll()
{
    for (const char *table : {"pedido_detalhe", "pedido", "endereco", "bandeirascartao", "cardapio", "precoitem",
                              "item_cardapio", "menu", "tamanho", "tipocardapio", "funcionamento", "status", "pizzaria",
                              "usuarios"}) {
        if (!exec(QStringLiteral("delete from %1").arg(QLatin1String(table))))
            return false;
    }
    return true;
}

int DbFixture::addOwnedStore(const QString &login, const QString &password, int nivel)
{
    const QByteArray digest = QCryptographicHash::hash(password.toUtf8(), QCryptographicHash::Md5).toHex();
    const int owner = insert(QStringLiteral("insert into usuarios (login, senha, nivel) values (:login, :senha, :nivel)"),
                             {{":login", login}, {":senha", QString::fromLatin1(digest)}, {":nivel", nivel}});
    return owner ? insert(QStringLiteral("insert into pizzaria (owner_pizzaria) values (:owner)"), {{":owner", owner}}) : 0;
}

bool DbFixture::setStatus(int store, int status, int espera)
{
    return exec(QStringLiteral("replace into status (id_pizzaria, status, espera, ts_open, ts_close) "
                               "values (:id, :status, :espera, 0, 0)"),
                {{":id", store}, {":status", status}, {":espera", espera}});
}

int DbFixture::addOrder(int store, qint64 data, const QVariant &valor, const QVariant &desconto, int status)
{
    return insert(QStringLiteral("insert into pedido (id_pizzaria, data, valor, desconto, taxa_entrega, modo_pag, status) "
                                 "values (:id, :data, :valor, :desconto, 0, 1, :status)"),
                  {{":id", store}, {":data", data}, {":valor", valor}, {":desconto", desconto}, {":status", status}});
}
