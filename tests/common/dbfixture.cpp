#include "dbfixture.h"

#include "testenv.h"

#include <QCryptographicHash>
#include <QSqlError>
#include <QSqlQuery>

namespace {
const QString fixtureConnection = QStringLiteral("fixture");
}

DbFixture::DbFixture()
{
    db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), fixtureConnection);
    db.setHostName(TestEnv::dbHost());
    db.setPort(TestEnv::dbPort());
    db.setDatabaseName(TestEnv::dbName());
    db.setUserName(TestEnv::dbUser());
    db.setPassword(TestEnv::dbPassword());
    if (!db.open())
        error = db.lastError().text();
}

DbFixture::~DbFixture()
{
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(fixtureConnection);
}

QSqlQuery DbFixture::run(const QString &statement, const QVariantMap &bindings, bool *ok)
{
    QSqlQuery query(db);
    query.prepare(statement);
    for (auto it = bindings.cbegin(); it != bindings.cend(); ++it)
        query.bindValue(it.key(), it.value());
    *ok = query.exec();
    if (!*ok)
        error = query.lastError().text();
    return query;
}

bool DbFixture::exec(const QString &statement, const QVariantMap &bindings)
{
    bool ok = false;
    run(statement, bindings, &ok);
    return ok;
}

QVariant DbFixture::insert(const QString &statement, const QVariantMap &bindings)
{
    bool ok = false;
    const QSqlQuery query = run(statement, bindings, &ok);
    return ok ? query.lastInsertId() : QVariant();
}

QVariant DbFixture::scalar(const QString &statement, const QVariantMap &bindings)
{
    bool ok = false;
    QSqlQuery query = run(statement, bindings, &ok);
    return ok && query.next() ? query.value(0) : QVariant();
}

bool DbFixture::clearAll()
{
    const QStringList tables{"pedido_detalhe", "pedido", "endereco", "bandeirascartao", "cardapio",
                             "precoitem", "item_cardapio", "menu", "tamanho", "tipocardapio",
                             "funcionamento", "status", "pizzaria", "usuarios"};
    for (const QString &table : tables) {
        if (!exec(QStringLiteral("delete from %1").arg(table)))
            return false;
    }
    return true;
}

int DbFixture::addUser(const QString &login, const QString &password, int nivel, const QString &nome)
{
    const QString digest =
        QString::fromLatin1(QCryptographicHash::hash(password.toUtf8(), QCryptographicHash::Md5).toHex());
    return insert(QStringLiteral("insert into usuarios (nome_user, login, senha, nivel) values (:nome, :login, :senha, :nivel)"),
                  {{":nome", nome.isEmpty() ? login : nome}, {":login", login}, {":senha", digest}, {":nivel", nivel}})
        .toInt();
}

int DbFixture::addStore(int ownerId, const QString &twitter)
{
    return insert(QStringLiteral("insert into pizzaria (owner_pizzaria, twitter) values (:owner, :twitter)"),
                  {{":owner", ownerId}, {":twitter", twitter}})
        .toInt();
}

int DbFixture::addOwnedStore(const QString &login, const QString &password)
{
    const int owner = addUser(login, password, 2);
    return owner ? addStore(owner) : 0;
}

bool DbFixture::setStatus(int store, int status, int espera)
{
    return exec(QStringLiteral("replace into status (id_pizzaria, status, espera, ts_open, ts_close) "
                               "values (:id, :status, :espera, 0, 0)"),
                {{":id", store}, {":status", status}, {":espera", espera}});
}

bool DbFixture::addPeriod(int store, int diaSemana, const QString &inicio, const QString &fim)
{
    return exec(QStringLiteral("insert into funcionamento (id_pizzaria, dia_semana, hora_inicio, hora_final) "
                               "values (:id, :dia, :inicio, :fim)"),
                {{":id", store}, {":dia", diaSemana}, {":inicio", inicio}, {":fim", fim}});
}

int DbFixture::addOrder(int store, qint64 data, const QVariant &valor, const QVariant &desconto, int status)
{
    return insert(QStringLiteral("insert into pedido (id_pizzaria, data, valor, desconto, taxa_entrega, modo_pag, status) "
                                 "values (:id, :data, :valor, :desconto, 0, 1, :status)"),
                  {{":id", store}, {":data", data}, {":valor", valor}, {":desconto", desconto}, {":status", status}})
        .toInt();
}
