#include "gerenciar.h"
#include "ui_gerenciar.h"

#include "connection.h"
#include "editaritem.h"
#include "keypad.h"
#include "menudata.h"
#include "orderdelegates.h"
#include "menulog.h"
#include "sqlsnapshotmodel.h"

#include <QDebug>
#include <QHeaderView>
#include <QMessageBox>
#include <QSortFilterProxyModel>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>

namespace {

// Columns of the items statement.
enum Coluna {
    ColCardapio = 0, ColMenu = 1, ColPrecoItem = 2, ColCodigo = 3, ColNome = 4, ColDescricao = 5,
    ColTipo = 6, ColNomeMenu = 7, ColTamanho = 8, ColPreco = 9, ColMascara = 10, ColItemCardapio = 11
};

QString semPrimeiraEscolha(const QComboBox *box, const QString &texto)
{
    return box->currentIndex() == 0 ? QString(QLatin1String("")) : texto;
}

} // namespace

Gerenciar::Gerenciar(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::Gerenciar)
    , menuModel(new QSqlQueryModel)
    , tiposModel(new QSqlQueryModel)
    , tamanhosModel(new QSqlQueryModel)
    // The dialog holds its connection until it closes: rows are read as shown.
    , ativosModel(new SqlSnapshotModel(nullptr, SqlSnapshotModel::Copy::OnDemand))
    , pausadosModel(new SqlSnapshotModel(nullptr, SqlSnapshotModel::Copy::OnDemand))
    , filtroMenu(QLatin1String(""))
    , filtroTipo(QLatin1String(""))
    , filtroTamanho(QLatin1String(""))
    , filtroNome(QLatin1String(""))
    , ativosProxy(new QSortFilterProxyModel(this))
    , pausadosProxy(new QSortFilterProxyModel(this))
{
    ui->setupUi(this);
    setWindowFlags(Qt::WindowFlags());
    ui->tabWidget->setCurrentIndex(0);

    // Wired once: a view given a new model at every refresh keeps each old
    // selection model alive until the dialog closes.
    const std::pair<QTableView *, QSortFilterProxyModel *> tabelas[] = {
        {ui->tableView_ativos, ativosProxy}, {ui->tableView_pausados, pausadosProxy}};
    ativosProxy->setSourceModel(ativosModel.get());
    pausadosProxy->setSourceModel(pausadosModel.get());
    for (const auto &[view, proxy] : tabelas) {
        proxy->setDynamicSortFilter(true);
        view->setModel(proxy);
        view->setItemDelegateForColumn(ColPreco, new NumberFormatDelegate(this));
        // The database's order until the operator clicks a header: sorting
        // reads every row, where showing reads only the visible ones.
        view->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
        view->setSortingEnabled(true);
        // Item texts are about as wide from row to row: a sample sizes the columns.
        view->horizontalHeader()->setResizeContentsPrecision(100);
    }

    AbreConexao(QStringLiteral("menu"), &db);
    ui->pushButton_item->setEnabled(false);
}

Gerenciar::~Gerenciar()
{
    delete ui;
}

void Gerenciar::Inicializa(int id_pizzaria)
{
    this->id_pizzaria = id_pizzaria;
    LerMenu(id_pizzaria, menuModel.get());
    preencheCaixa(ui->comboBox_menu, QStringLiteral("Escolha Menu..."), menuModel.get());
    LerTipos(id_pizzaria, tiposModel.get(), db);
    preencheCaixa(ui->comboBox_tipo, QStringLiteral("Escolha Tipo..."), tiposModel.get());
    LerTamanhos(id_pizzaria, tamanhosModel.get(), db);
    preencheCaixa(ui->comboBox_tamanho, QStringLiteral("Escolha Tamanho..."), tamanhosModel.get());
}

bool Gerenciar::LerMenu(int id, QSqlQueryModel *model)
{
    return lerParaModelo(QStringLiteral("select item_menu, id_menu from menu where id_pizzaria=:id_pizzaria"),
                         {{QStringLiteral(":id_pizzaria"), id}}, model, db);
}

bool Gerenciar::LerItens(int id, const QString &filtro, const QString &menu, const QString &tipo,
                         const QString &tamanho, QSqlQueryModel *model, int ativo)
{
    if (!model)
        return false;
    const auto contem = [](const QString &valor) { return QString(QLatin1Char('%') + valor + QLatin1Char('%')); };
    QSqlQuery query(db);
    const bool ok = executaComValores(query, itensStatement,
                                      {{QStringLiteral(":id_pizzaria"), id},
                                       {QStringLiteral(":ativo"), ativo},
                                       {QStringLiteral(":menu"), contem(menu)},
                                       {QStringLiteral(":tamanho"), contem(tamanho)},
                                       {QStringLiteral(":tipo"), contem(tipo)},
                                       {QStringLiteral(":filtro"), contem(filtro)}});
    if (ok)
        model->setQuery(query);
    qCDebug(lcMenu) << query.lastError().text();
    return ok;
}

void Gerenciar::mostraItens(QTableView *view, QSqlQueryModel *model, int ativo)
{
    LerItens(id_pizzaria, filtroNome, filtroMenu, filtroTipo, filtroTamanho, model, ativo);
    for (int coluna : {ColCardapio, ColMenu, ColPrecoItem, ColNomeMenu, ColItemCardapio})
        view->hideColumn(coluna);
    // Named before sizing, so that each column also fits its title.
    const std::pair<int, QString> cabecalhos[] = {
        {ColCodigo, QStringLiteral("ID")},          {ColNome, QStringLiteral("Item")},
        {ColDescricao, QStringLiteral("Descrição")}, {ColTipo, QStringLiteral("Categoria")},
        {ColTamanho, QStringLiteral("Tamanho")},     {ColPreco, QStringLiteral("Preço\n(R$)")},
        {ColMascara, QStringLiteral("Máscara")}};
    for (const auto &[coluna, texto] : cabecalhos)
        model->setHeaderData(coluna, Qt::Horizontal, texto);
    view->resizeColumnsToContents();
    // Long names and descriptions would push the price out of sight; the
    // editor shows them whole.
    const int letra = view->fontMetrics().averageCharWidth();
    for (const auto &[coluna, letras] : {std::pair<int, int>{ColNome, 18}, {ColDescricao, 24}})
        view->setColumnWidth(coluna, qMin(view->columnWidth(coluna), letra * letras));
}

void Gerenciar::AtualizaTabelas()
{
    filtroNome = ui->lineEdit_filtro->text();
    mostraItens(ui->tableView_ativos, ativosModel.get(), 1);
    mostraItens(ui->tableView_pausados, pausadosModel.get(), 0);
}

bool Gerenciar::AtualizaPreco(int id, float preco)
{
    QSqlQuery query(db);
    if (executaComValores(query, QStringLiteral("update precoitem set preco=:preco where id_precoitem=:id"),
                          {{QStringLiteral(":id"), id}, {QStringLiteral(":preco"), preco}}))
        return true;
    erroGravacao = query.lastError().text();
    return false;
}

bool Gerenciar::AtualizaAtivo(const QVariantList &ids, const QVariantList &ativos)
{
    QSqlQuery query(db);
    bool ok = query.prepare(QStringLiteral("update cardapio set ativo=:ativo where id_cardapio=:id"));
    if (ok) {
        query.bindValue(QStringLiteral(":id"), ids);
        query.bindValue(QStringLiteral(":ativo"), ativos);
        ok = query.execBatch();
    }
    if (!ok)
        erroGravacao = query.lastError().text();
    return ok;
}

void Gerenciar::informaFalha()
{
    QMessageBox::critical(nullptr, QStringLiteral("Erro na gravação de dados"), erroGravacao, QMessageBox::Ok);
}

void Gerenciar::mudaVenda(QTableView *view, QSortFilterProxyModel *proxy, QSqlQueryModel *model, int ativo)
{
    if (model->rowCount() == 0) {
        QMessageBox::critical(nullptr, QStringLiteral("Seleção"), QStringLiteral("Nenhum pedido para selecionar"),
                              QMessageBox::Ok);
        return;
    }
    const QModelIndexList selecionados = view->selectionModel()->selectedIndexes();
    if (selecionados.isEmpty()) {
        QMessageBox::critical(nullptr, QStringLiteral("Seleção"), QStringLiteral("Nenhum pedido Selecionado"),
                              QMessageBox::Ok);
        return;
    }
    QVariantList ids;
    QVariantList ativos;
    for (const QModelIndex &index : selecionados) {
        const int row = proxy->mapToSource(index).row();
        ids.append(model->index(row, ColCardapio).data().toInt());
        ativos.append(ativo);
    }
    if (!AtualizaAtivo(ids, ativos))
        informaFalha();
    AtualizaTabelas();
}

void Gerenciar::on_pushButton_pausar_clicked()
{
    mudaVenda(ui->tableView_ativos, ativosProxy, ativosModel.get(), 0);
}

void Gerenciar::on_pushButton_venda_clicked()
{
    mudaVenda(ui->tableView_pausados, pausadosProxy, pausadosModel.get(), 1);
}

void Gerenciar::on_comboBox_menu_activated(const QString &arg1)
{
    // "Escolha Menu..." filters by its own text, which names no menu.
    filtroMenu = arg1;
    AtualizaTabelas();
    ui->pushButton_item->setEnabled(ui->comboBox_menu->currentIndex() != 0);
}

void Gerenciar::on_comboBox_tamanho_activated(const QString &arg1)
{
    filtroTamanho = semPrimeiraEscolha(ui->comboBox_tamanho, arg1);
    AtualizaTabelas();
}

void Gerenciar::on_comboBox_tipo_activated(const QString &arg1)
{
    filtroTipo = semPrimeiraEscolha(ui->comboBox_tipo, arg1);
    AtualizaTabelas();
}

void Gerenciar::on_pushButton_filtro_clicked()
{
    AtualizaTabelas();
}

void Gerenciar::on_tableView_ativos_doubleClicked(QModelIndex index)
{
    const int row = ativosProxy->mapToSource(index).row();
    float novoPreco = ativosModel->index(row, ColPreco).data().toFloat();
    const int idPreco = ativosModel->index(row, ColPrecoItem).data().toInt();
    // Closed without "Enter": the price may have changed meanwhile elsewhere, so nothing goes back.
    if (!Keypad::askAmount(&novoPreco))
        return;
    if (!AtualizaPreco(idPreco, novoPreco))
        informaFalha();
    AtualizaTabelas();
}

void Gerenciar::on_tableView_ativos_clicked(QModelIndex index)
{
    copiaItem(ativosModel.get(), ativosProxy->mapToSource(index).row());
}

void Gerenciar::copiaItem(QSqlQueryModel *model, int row)
{
    const auto valor = [model, row](int coluna) { return model->index(row, coluna).data(); };
    id_cardapio = valor(ColCardapio).toInt();
    id_menu = valor(ColMenu).toInt();
    id_precoitem = valor(ColPrecoItem).toInt();
    mask = valor(ColMascara).toInt();
    id_itemcardapio = valor(ColItemCardapio).toInt();
    codigo = valor(ColCodigo).toString();
    nome = valor(ColNome).toString();
    descricao = valor(ColDescricao).toString();
    nomeTipo = valor(ColTipo).toString();
    nomeMenu = valor(ColNomeMenu).toString();
    nomeTamanho = valor(ColTamanho).toString();
    preco = valor(ColPreco).toFloat();
}

// The clicked item as the tables hold it now, on sale or paused: a price or
// pause since the click must not go back with the editor's save.
bool Gerenciar::releItem()
{
    for (QSqlQueryModel *model : {ativosModel.get(), pausadosModel.get()}) {
        while (model->canFetchMore())
            model->fetchMore();
        for (int row = 0; row < model->rowCount(); ++row) {
            if (model->index(row, ColCardapio).data().toInt() == id_cardapio) {
                copiaItem(model, row);
                return true;
            }
        }
    }
    return false;
}

void Gerenciar::abreEditor(bool copia)
{
    if (id_cardapio == 0 || !releItem()) {
        QMessageBox::critical(nullptr, QStringLiteral("Seleção"), QStringLiteral("Nenhum Item Selecionado"),
                              QMessageBox::Ok);
        return;
    }
    EditarItem editor;
    // The item's own menu, where a copy goes; the filter may match several.
    editor.IniciaEdicao(id_pizzaria, copia ? 0 : id_cardapio, id_menu, nomeMenu, mask, &db);
    editor.PreencheItem(codigo, nome, descricao, nomeTipo, nomeTamanho, preco, id_precoitem, id_itemcardapio);
    editor.setModal(true);
    editor.exec();
    AtualizaTabelas();
}

void Gerenciar::on_pushButton_item_clicked()
{
    abreEditor(true);
}

void Gerenciar::on_pushButton_editar_clicked()
{
    abreEditor(false);
}
