#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QVariantMap>

class QComboBox;
class QSqlQueryModel;
struct SqlRows;

// The menu dialogs' statements.
extern const QString menuStatement;
extern const QString tiposStatement;
extern const QString tamanhosStatement;
// The browser's items; placeholders in this order: :id_pizzaria, :ativo,
// :menu, :tamanho, :tipo, :filtro.
extern const QString itensStatement;
extern const QString ativoStatement;
extern const QString precoStatement;
extern const QString codigoStatement;
// A new item: item_cardapio, then precoitem with its id, then cardapio with that one's.
extern const QString insereItemStatement;
extern const QString inserePrecoStatement;
extern const QString insereCardapioStatement;
// A changed item: the same three rows.
extern const QString alteraItemStatement;
extern const QString alteraPrecoStatement;
extern const QString alteraCardapioStatement;

// The items of the store on sale (ativo 1) or paused (0) whose texts contain the filters.
QVariantMap itensValores(int id_pizzaria, const QString &filtro, const QString &menu, const QString &tipo,
                         const QString &tamanho, int ativo);

// The store's categories and sizes into model, on a connection named like db
// opened anew; for callers that hand a model over. The dialogs read through
// their statement runner.
bool LerTipos(int id_pizzaria, QSqlQueryModel *model, const QSqlDatabase &db);
bool LerTamanhos(int id_pizzaria, QSqlQueryModel *model, const QSqlDatabase &db);

// A filter box: the prompt with item data 0, then one entry per row
// (column 0 as the text, column 1 as the item data).
void preencheCaixa(QComboBox *box, const QString &prompt, const SqlRows &rows);

// "R$" and the price with two decimals and a point: 12.5 gives "R$12.50".
QString textoPreco(float preco);
