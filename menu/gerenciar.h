#pragma once

#include <QDialog>
#include <QModelIndex>
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

#include <memory>

class QSortFilterProxyModel;
class QSqlQueryModel;
class QTableView;

namespace Ui {
class Gerenciar;
}

// "Gerenciar Itens": the store's items on sale and paused, filtered by menu,
// category, size and name; pauses and resumes sales, changes prices and opens
// the item editor. Works on its own connection "menu".
class Gerenciar : public QDialog
{
    Q_OBJECT

public:
    explicit Gerenciar(QWidget *parent = nullptr);
    ~Gerenciar() override;

    // Fills the filter boxes; the tables stay empty until the first refresh.
    void Inicializa(int id_pizzaria);
    // Reloads both tables with the current filters.
    void AtualizaTabelas();

private slots:
    bool LerMenu(int id, QSqlQueryModel *model);
    bool LerItens(int id, QString filtro, QString menu, QString tipo, QString tamanho,
                  QSqlQueryModel *model, int ativo);
    // Both return whether the rows were written; the database's error is then in erroGravacao.
    bool AtualizaPreco(int id, float preco);
    bool AtualizaAtivo(QVariantList ids, QVariantList ativos);
    void on_pushButton_pausar_clicked();
    void on_comboBox_menu_activated(QString arg1);
    void on_comboBox_tamanho_activated(QString arg1);
    void on_comboBox_tipo_activated(QString arg1);
    void on_pushButton_filtro_clicked();
    void on_tableView_ativos_doubleClicked(QModelIndex index);
    void on_pushButton_venda_clicked();
    void on_pushButton_item_clicked();
    void on_tableView_ativos_clicked(QModelIndex index);
    void on_pushButton_editar_clicked();

private:
    void mudaVenda(QTableView *view, QSortFilterProxyModel *proxy, QSqlQueryModel *model, int ativo);
    void mostraItens(QTableView *view, QSqlQueryModel *model, int ativo);
    void copiaItem(QSqlQueryModel *model, int row);
    bool releItem();
    // A copy saves as a new item ("Duplicar"); otherwise the item is changed ("Editar").
    void abreEditor(bool copia);
    void informaFalha();

    Ui::Gerenciar *ui;
    std::unique_ptr<QSqlQueryModel> menuModel;
    std::unique_ptr<QSqlQueryModel> tiposModel;
    std::unique_ptr<QSqlQueryModel> tamanhosModel;
    std::unique_ptr<QSqlQueryModel> ativosModel;
    std::unique_ptr<QSqlQueryModel> pausadosModel;
    int id_pizzaria = 0;
    int id_menu = 0;
    int id_cardapio = 0;
    int id_precoitem = 0;
    int mask = 0;
    int id_itemcardapio = 0;
    QString filtroMenu;
    QString filtroTipo;
    QString filtroTamanho;
    QString filtroNome;
    QString descricao;
    QString nome;
    QString codigo;
    QString nomeTamanho;
    QString nomeTipo;
    QString nomeMenu;
    QString erroGravacao;
    float preco = 0;
    QSqlDatabase db;
    QSortFilterProxyModel *ativosProxy;
    QSortFilterProxyModel *pausadosProxy;
};
