#pragma once

#include "statementrunner.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <optional>

class QComboBox;

namespace Ui {
class EditarItem;
}

// Edits a menu item, or creates a new one from a copy (item id 0). An item
// spans item_cardapio, precoitem and cardapio; a save writes all three or none.
class EditarItem : public QDialog
{
    Q_OBJECT

public:
    explicit EditarItem(QWidget *parent = nullptr);
    ~EditarItem() override;

    // statements: the browser's, which outlives the editor; the boxes fill in as their rows arrive.
    void IniciaEdicao(int id_pizzaria, int id, int id_menu, const QString &menu, int mascara,
                      StatementRunner *statements);
    void PreencheItem(const QString &sku, const QString &nome, const QString &descricao, const QString &tipo,
                      const QString &tamanho, float preco, int id_precoitem, int id_itemcardapio);

public slots:
    // Not while a save runs: its outcome is still to be told.
    void reject() override;

private slots:
    void on_pushButton_preco_clicked();
    void on_pushButton_ok_clicked();

private:
    // The duplicate-code check, then emUso with its answer: empty when the
    // check itself failed, which must not pass for "free".
    void checarSku(int idPizzaria, const QString &sku, const std::function<void(std::optional<bool>)> &emUso);
    // The save, one transaction, to run on the runner's thread.
    static StatementRunner::Work gravarItem(int id, int idPizzaria, const QString &sku, const QString &nome,
                                            const QString &descr, int tipo, int tamanho, float preco, int menu,
                                            int mascara, int idPrecoItem, int idItemCardapio);
    void gravado(const SqlResult &result);
    void gravaSeLivre(const StatementRunner::Work &grava, std::optional<bool> emUso);
    void recusa(const QString &texto);

    Ui::EditarItem *ui;
    StatementRunner *statements = nullptr;
    int id_pizzaria = 0;
    int id_cardapio = 0;
    int mask_cardapio = 0;
    int id_menu = 0;
    int id_precoitem = 0;
    int id_itemcardapio = 0;
    QString codigoInicial{QLatin1String("")};
    float preco = 0;
    QString tipoInicial;      // chosen in its box once the rows are there
    QString tamanhoInicial;
    int caixasPendentes = 0;
    bool salvando = false;
};
