#include "menudata.h"

#include <QComboBox>
#include <QSqlQuery>
#include <QSqlQueryModel>

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

bool executaComValores(QSqlQuery &query, const QString &statement, const QVariantMap &valores)
{
    if (!query.prepare(statement))
        return false;
    for (auto it = valores.cbegin(); it != valores.cend(); ++it)
        query.bindValue(it.key(), it.value());
    return query.exec();
}

bool lerParaModelo(const QString &statement, const QVariantMap &valores, QSqlQueryModel *model,
                   const QSqlDatabase &db)
{
    // The menu's slots hand their model on; the meta-object lets it be null.
    if (!model)
        return false;
    QSqlQuery query(db);
    if (!executaComValores(query, statement, valores))
        return false;
    model->setQuery(query);
    return true;
}

bool LerTipos(int id_pizzaria, QSqlQueryModel *model, const QSqlDatabase &db)
{
    return lerParaModelo(QStringLiteral("select tipocardapio, id_tipocardapio from tipocardapio where id_pizzaria=:id_pizzaria"),
                         {{QStringLiteral(":id_pizzaria"), id_pizzaria}}, model, db);
}

bool LerTamanhos(int id_pizzaria, QSqlQueryModel *model, const QSqlDatabase &db)
{
    return lerParaModelo(QStringLiteral("select nome, id_tamanho from tamanho where id_pizzaria=:id_pizzaria"),
                         {{QStringLiteral(":id_pizzaria"), id_pizzaria}}, model, db);
}

void preencheCaixa(QComboBox *box, const QString &prompt, QSqlQueryModel *model)
{
    box->addItem(prompt, 0);
    // A query model hands out its rows in slices.
    while (model->canFetchMore())
        model->fetchMore();
    for (int row = 0; row < model->rowCount(); ++row)
        box->addItem(model->index(row, 0).data().toString(), model->index(row, 1).data().toInt());
}

QString textoPreco(float preco)
{
    return QStringLiteral("R$") + QString::number(preco, 'f', 2);
}
