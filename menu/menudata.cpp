#include "menudata.h"

#include "connection.h"
#include "sqlresult.h"

#include <QComboBox>

const QString menuStatement = QStringLiteral("select item_menu, id_menu from menu where id_pizzaria=:id_pizzaria");
const QString tiposStatement =
    QStringLiteral("select tipocardapio, id_tipocardapio from tipocardapio where id_pizzaria=:id_pizzaria");
const QString tamanhosStatement = QStringLiteral("select nome, id_tamanho from tamanho where id_pizzaria=:id_pizzaria");

const QString itensStatement = QStringLiteral(
    "select id_cardapio, menu.id_menu,precoitem.id_precoitem,precoitem.id,item_cardapio.nome_item,"
    "item_cardapio.descricao_item, tipocardapio.tipocardapio,item_menu,tamanho.nome,precoitem.preco,"
    "cardapio.mask_cardapio,precoitem.id_itemcardapio from cardapio "
    "inner join menu on cardapio.id_menu=menu.id_menu "
    "inner join precoitem on cardapio.id_precoitem=precoitem.id_precoitem "
    "inner join tamanho on precoitem.id_tamanho=tamanho.id_tamanho "
    "inner join item_cardapio on precoitem.id_itemcardapio=item_cardapio.id_itemcardapio "
    "inner join tipocardapio on item_cardapio.id_tipocardapio=tipocardapio.id_tipocardapio "
    "where cardapio.id_pizzaria=:id_pizzaria and       cardapio.ativo=:ativo and       "
    "menu.item_menu like :menu and       tamanho.nome like :tamanho and       "
    "tipocardapio.tipocardapio like :tipo and       item_cardapio.nome_item like :filtro ");

const QString ativoStatement = QStringLiteral("update cardapio set ativo=:ativo where id_cardapio=:id");
const QString precoStatement = QStringLiteral("update precoitem set preco=:preco where id_precoitem=:id");
const QString codigoStatement =
    QStringLiteral("select precoitem.id_precoitem from cardapio inner join precoitem on "
                   "cardapio.id_precoitem=precoitem.id_precoitem where id=:sku and id_pizzaria=:idpizzaria");

const QString insereItemStatement =
    QStringLiteral("INSERT INTO item_cardapio (id_pizzaria, nome_item, descricao_item, id_tipocardapio, caixa) "
                   "VALUES (:idPizzaria, :nome,:descr,:tipo,:caixa)");
const QString inserePrecoStatement = QStringLiteral(
    "INSERT INTO precoitem (id_itemcardapio, id_tamanho,preco,desconto,id) VALUES (:idItem,:tamanho,:preco,:desconto,:sku)");
const QString insereCardapioStatement =
    QStringLiteral("INSERT INTO cardapio (id_pizzaria, id_menu,id_precoitem,id_tamanho,ativo,dia_semana,info_cardapio,"
                   "mask_cardapio) VALUES (:idPizzaria,:idMenu,:idPreco,:idTam,1,127,0,:mascara)");
const QString alteraItemStatement = QStringLiteral(
    "update item_cardapio set nome_item=:nome, descricao_item=:descr, id_tipocardapio=:tipo where id_itemcardapio=:id");
const QString alteraPrecoStatement =
    QStringLiteral("update precoitem set id_tamanho=:tamanho, preco=:preco, id=:sku where id_precoitem=:id");
const QString alteraCardapioStatement = QStringLiteral("update cardapio set id_tamanho=:idTam where id_cardapio=:id");

QVariantMap itensValores(int id_pizzaria, const QString &filtro, const QString &menu, const QString &tipo,
                         const QString &tamanho, int ativo)
{
    const auto contem = [](const QString &valor) { return QString(QLatin1Char('%') + valor + QLatin1Char('%')); };
    return {{QStringLiteral(":id_pizzaria"), id_pizzaria}, {QStringLiteral(":ativo"), ativo},
            {QStringLiteral(":menu"), contem(menu)},       {QStringLiteral(":tamanho"), contem(tamanho)},
            {QStringLiteral(":tipo"), contem(tipo)},       {QStringLiteral(":filtro"), contem(filtro)}};
}

namespace {

bool lerDaLoja(const QString &statement, int id_pizzaria, QSqlQueryModel *model, const QSqlDatabase &db)
{
    // An invalid handle stands for the default connection, which readIntoModel names with an empty name.
    const QString nome = db.connectionName() == QLatin1String(QSqlDatabase::defaultConnection) ? QString()
                                                                                             : db.connectionName();
    return readIntoModel(nome, statement, {{QStringLiteral(":id_pizzaria"), id_pizzaria}}, model);
}

} // namespace

bool LerTipos(int id_pizzaria, QSqlQueryModel *model, const QSqlDatabase &db)
{
    return lerDaLoja(tiposStatement, id_pizzaria, model, db);
}

bool LerTamanhos(int id_pizzaria, QSqlQueryModel *model, const QSqlDatabase &db)
{
    return lerDaLoja(tamanhosStatement, id_pizzaria, model, db);
}

void preencheCaixa(QComboBox *box, const QString &prompt, const SqlRows &rows)
{
    box->clear();
    box->addItem(prompt, 0);
    for (const QVector<QVariant> &row : rows.values)
        box->addItem(row.value(0).toString(), row.value(1).toInt());
}

QString textoPreco(float preco)
{
    return QStringLiteral("R$") + QString::number(preco, 'f', 2);
}
