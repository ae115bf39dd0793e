#pragma once

#include <QDialog>
#include <QModelIndex>
#include <QString>
#include <QVariantList>

#include <memory>

class QSortFilterProxyModel;
class QSqlQueryModel;
class QTableView;
class SqlRowsModel;
class StatementRunner;
struct SqlResult;

namespace Ui {
class Gerenciar;
}

// "Gerenciar Itens": the store's items on sale and paused, filtered by menu,
// category, size and name; pauses and resumes sales, changes prices and opens
// the item editor. Its statements run in order on its own runner, which the
// editor shares; the dialog answers the operator meanwhile.
class Gerenciar : public QDialog
{
    Q_OBJECT

public:
    explicit Gerenciar(QWidget *parent = nullptr);
    ~Gerenciar() override;

    // Fills the filter boxes as their rows arrive; the tables stay empty until the first refresh.
    void Inicializa(int id_pizzaria);
    // Reloads both tables with the current filters; each keeps its rows until the new ones arrive.
    void AtualizaTabelas();

private slots:
    // For callers that hand a model over: read at once on the connection "menu".
    bool LerMenu(int id, QSqlQueryModel *model);
    bool LerItens(int id, const QString &filtro, const QString &menu, const QString &tipo, const QString &tamanho,
                  QSqlQueryModel *model, int ativo);
    // Both write in the background: the box with the error when refused, then a refresh.
    void AtualizaPreco(int id, float preco);
    void AtualizaAtivo(const QVariantList &ids, const QVariantList &ativos);
    void on_pushButton_pausar_clicked();
    void on_comboBox_menu_activated(const QString &arg1);
    void on_comboBox_tamanho_activated(const QString &arg1);
    void on_comboBox_tipo_activated(const QString &arg1);
    void on_pushButton_filtro_clicked();
    void on_tableView_ativos_doubleClicked(QModelIndex index);
    void on_pushButton_venda_clicked();
    void on_pushButton_item_clicked();
    void on_tableView_ativos_clicked(QModelIndex index);
    void on_pushButton_editar_clicked();

private:
    void mudaVenda(QTableView *view, QSortFilterProxyModel *proxy, SqlRowsModel *model, int ativo);
    void mostraItens(QTableView *view, SqlRowsModel *model, int ativo, int leitura);
    void ajustaColunas(QTableView *view);
    void grava(const QString &statement, const QVariantMap &valores, bool lote);
    void gravando(bool sim);
    void copiaItem(SqlRowsModel *model, int row);
    bool releItem();
    // A copy saves as a new item ("Duplicar"); otherwise the item is changed ("Editar").
    void abreEditor(bool copia);
    void informaFalha();

    Ui::Gerenciar *ui;
    SqlRowsModel *ativosModel;
    SqlRowsModel *pausadosModel;
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
    QSortFilterProxyModel *ativosProxy;
    QSortFilterProxyModel *pausadosProxy;
    QTableView *aMedir = nullptr;   // rows shown, columns not sized yet
    int leituras = 0;          // table refreshes asked for; only the latest is shown
    bool emGravacao = false;   // a write and the refresh after it have not answered yet
    std::unique_ptr<StatementRunner> statements;   // last: gone first, with its answers
};
