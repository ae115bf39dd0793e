#pragma once

#include <QDialog>
#include <QSqlDatabase>
#include <QString>

#include <memory>
#include <optional>

class QSqlQuery;
class QSqlQueryModel;

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

    void IniciaEdicao(int id_pizzaria, int id, int id_menu, const QString &menu, int mascara, QSqlDatabase *db);
    void PreencheItem(const QString &sku, const QString &nome, const QString &descricao, const QString &tipo,
                      const QString &tamanho, float preco, int id_precoitem, int id_itemcardapio);

private slots:
    bool checarSku(int idPizzaria, const QString &sku, QSqlDatabase *db);
    bool gravarItem(int id, int idPizzaria, const QString &sku, const QString &nome, const QString &descr, int tipo,
                    int tamanho, float preco, int menu, int mascara, QSqlDatabase *db, int idPrecoItem,
                    int idItemCardapio);
    void on_pushButton_preco_clicked();
    void on_pushButton_ok_clicked();

private:
    static std::optional<bool> codigoEmUso(int idPizzaria, const QString &sku, QSqlDatabase *db);
    void recusa(const QString &texto);

    Ui::EditarItem *ui;
    std::unique_ptr<QSqlQueryModel> tiposModel;
    std::unique_ptr<QSqlQueryModel> tamanhosModel;
    QSqlDatabase *db = nullptr;
    int id_pizzaria = 0;
    int id_cardapio = 0;
    int mask_cardapio = 0;
    int id_menu = 0;
    int id_precoitem = 0;
    int id_itemcardapio = 0;
    QString codigoInicial{QLatin1String("")};
    float preco = 0;
};
