#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QVariantMap>

class QComboBox;
class QSqlQuery;
class QSqlQueryModel;

// The store's categories and sizes, shared by the item browser and the item editor.
bool LerTipos(int id_pizzaria, QSqlQueryModel *model, const QSqlDatabase &db);
bool LerTamanhos(int id_pizzaria, QSqlQueryModel *model, const QSqlDatabase &db);

// The browser's items; placeholders in this order: :id_pizzaria, :ativo,
// :menu, :tamanho, :tipo, :filtro.
extern const QString itensStatement;

// Runs statement on query's connection with every value bound by name.
bool executaComValores(QSqlQuery &query, const QString &statement, const QVariantMap &valores);

// Runs a select into model; the model keeps its rows unless the select ran.
bool lerParaModelo(const QString &statement, const QVariantMap &valores, QSqlQueryModel *model,
                   const QSqlDatabase &db);

// A filter box: the prompt with item data 0, then one entry per row
// (column 0 as the text, column 1 as the item data).
void preencheCaixa(QComboBox *box, const QString &prompt, QSqlQueryModel *model);

// "R$" and the price with two decimals and a point: 12.5 gives "R$12.50".
QString textoPreco(float preco);
