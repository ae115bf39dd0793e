#include "gerenciar.h"
#include "ui_gerenciar.h"

#include "connection.h"
#include "editaritem.h"
#include "keypad.h"
#include "menudata.h"
#include "menulog.h"
#include "orderdelegates.h"
#include "sqlrowsmodel.h"
#include "sqlsession.h"
#include "statementrunner.h"

#include <QDebug>
#include <QHeaderView>
#include <QMessageBox>
#include <QSortFilterProxyModel>

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
    , ativosModel(new SqlRowsModel(this))
    , pausadosModel(new SqlRowsModel(this))
    , filtroMenu(QLatin1String(""))
    , filtroTipo(QLatin1String(""))
    , filtroTamanho(QLatin1String(""))
    , filtroNome(QLatin1String(""))
    , ativosProxy(new QSortFilterProxyModel(this))
    , pausadosProxy(new QSortFilterProxyModel(this))
    , statements(std::make_unique<StatementRunner>(this))
{
    ui->setupUi(this);
    setWindowFlags(Qt::WindowFlags());
    ui->tabWidget->setCurrentIndex(0);
    statements->setObjectName(QStringLiteral("menuStatements"));

    // Wired once: a view given a new model at every refresh keeps each old
    // selection model alive until the dialog closes.
    const std::pair<QTableView *, QSortFilterProxyModel *> tabelas[] = {
        {ui->tableView_ativos, ativosProxy}, {ui->tableView_pausados, pausadosProxy}};
    ativosProxy->setSourceModel(ativosModel);
    pausadosProxy->setSourceModel(pausadosModel);
    // Named before sizing, so that each column also fits its title.
    const std::pair<int, QString> cabecalhos[] = {
        {ColCodigo, QStringLiteral("ID")},          {ColNome, QStringLiteral("Item")},
        {ColDescricao, QStringLiteral("Descrição")}, {ColTipo, QStringLiteral("Categoria")},
        {ColTamanho, QStringLiteral("Tamanho")},     {ColPreco, QStringLiteral("Preço\n(R$)")},
        {ColMascara, QStringLiteral("Máscara")}};
    for (const auto &[coluna, texto] : cabecalhos) {
        ativosModel->setHeaderData(coluna, Qt::Horizontal, texto);
        pausadosModel->setHeaderData(coluna, Qt::Horizontal, texto);
    }
    for (const auto &[view, proxy] : tabelas) {
        proxy->setDynamicSortFilter(true);
        view->setModel(proxy);
        view->setItemDelegateForColumn(ColPreco, new NumberFormatDelegate(this));
        // The database's order until the operator clicks a header.
        view->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
        view->setSortingEnabled(true);
        // Item texts are about as wide from row to row: a sample sizes the columns.
        view->horizontalHeader()->setResizeContentsPrecision(100);
    }
    connect(ui->tabWidget, &QTabWidget::currentChanged, this, [this] {
        if (aMedir && ui->tabWidget->currentWidget()->isAncestorOf(aMedir))
            ajustaColunas(aMedir);
    });
    ui->pushButton_item->setEnabled(false);
}

Gerenciar::~Gerenciar()
{
    delete ui;
}

void Gerenciar::Inicializa(int id_pizzaria)
{
    this->id_pizzaria = id_pizzaria;
    const QVariantMap loja{{QStringLiteral(":id_pizzaria"), id_pizzaria}};
    const struct { QComboBox *box; QString prompt; const QString &statement; } caixas[] = {
        {ui->comboBox_menu, QStringLiteral("Escolha Menu..."), menuStatement},
        {ui->comboBox_tipo, QStringLiteral("Escolha Tipo..."), tiposStatement},
        {ui->comboBox_tamanho, QStringLiteral("Escolha Tamanho..."), tamanhosStatement}};
    for (const auto &caixa : caixas) {
        preencheCaixa(caixa.box, caixa.prompt, SqlRows());
        statements->run(caixa.statement, loja, [box = caixa.box, prompt = caixa.prompt](const SqlResult &rows) {
            if (rows.ok())
                preencheCaixa(box, prompt, rows);
        });
    }
}

bool Gerenciar::LerMenu(int id, QSqlQueryModel *model)
{
    return readIntoModel(QStringLiteral("menu"), menuStatement, {{QStringLiteral(":id_pizzaria"), id}}, model);
}

bool Gerenciar::LerItens(int id, const QString &filtro, const QString &menu, const QString &tipo,
                         const QString &tamanho, QSqlQueryModel *model, int ativo)
{
    if (!model)
        return false;
    QString error;
    const bool ok = readIntoModel(QStringLiteral("menu"), itensStatement,
                                  itensValores(id, filtro, menu, tipo, tamanho, ativo), model, &error);
    qCDebug(lcMenu) << error;
    return ok;
}

// A failed read leaves the table as it was; an answer overtaken by a newer
// refresh is not shown.
void Gerenciar::mostraItens(QTableView *view, SqlRowsModel *model, int ativo, int leitura)
{
    const QVariantMap valores = itensValores(id_pizzaria, filtroNome, filtroMenu, filtroTipo, filtroTamanho, ativo);
    statements->run(itensStatement, valores, [this, view, model, leitura](const SqlResult &result) {
        qCDebug(lcMenu) << result.error;
        if (!result.ok() || leitura != leituras)
            return;
        model->setRows(result);
        for (int coluna : {ColCardapio, ColMenu, ColPrecoItem, ColNomeMenu, ColItemCardapio})
            view->hideColumn(coluna);
        // Sizing reads a sample of the rows: the tab not shown waits until it is.
        if (ui->tabWidget->currentWidget()->isAncestorOf(view))
            ajustaColunas(view);
        else
            aMedir = view;
    });
}

void Gerenciar::ajustaColunas(QTableView *view)
{
    if (view == aMedir)
        aMedir = nullptr;
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
    const int leitura = ++leituras;
    mostraItens(ui->tableView_ativos, ativosModel, 1, leitura);
    mostraItens(ui->tableView_pausados, pausadosModel, 0, leitura);
}

// The buttons that write, and those that open the editor on the tables' rows,
// wait until the tables show what was written.
void Gerenciar::gravando(bool sim)
{
    emGravacao = sim;
    for (QPushButton *botao : {ui->pushButton_pausar, ui->pushButton_venda, ui->pushButton_editar})
        botao->setEnabled(!sim);
    ui->pushButton_item->setEnabled(!sim && ui->comboBox_menu->currentIndex() > 0);
}

void Gerenciar::grava(const QString &statement, const QVariantMap &valores, bool lote)
{
    gravando(true);
    statements->run(
        [statement, valores, lote](SqlSession &session) {
            return lote ? session.execBatch(statement, valores) : session.exec(statement, valores);
        },
        [this](const SqlResult &result) {
            AtualizaTabelas();
            // Answered in order: after the refresh's rows.
            statements->run([](SqlSession &) { return SqlResult(); }, [this](const SqlResult &) { gravando(false); });
            if (!result.ok()) {
                erroGravacao = result.error;
                informaFalha();
            }
        });
}

void Gerenciar::AtualizaPreco(int id, float preco)
{
    grava(precoStatement, {{QStringLiteral(":id"), id}, {QStringLiteral(":preco"), preco}}, false);
}

void Gerenciar::AtualizaAtivo(const QVariantList &ids, const QVariantList &ativos)
{
    grava(ativoStatement, {{QStringLiteral(":id"), ids}, {QStringLiteral(":ativo"), ativos}}, true);
}

void Gerenciar::informaFalha()
{
    QMessageBox::critical(nullptr, QStringLiteral("Erro na gravação de dados"), erroGravacao, QMessageBox::Ok);
}

void Gerenciar::mudaVenda(QTableView *view, QSortFilterProxyModel *proxy, SqlRowsModel *model, int ativo)
{
    if (emGravacao)
        return;
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
    AtualizaAtivo(ids, ativos);
}

void Gerenciar::on_pushButton_pausar_clicked()
{
    mudaVenda(ui->tableView_ativos, ativosProxy, ativosModel, 0);
}

void Gerenciar::on_pushButton_venda_clicked()
{
    mudaVenda(ui->tableView_pausados, pausadosProxy, pausadosModel, 1);
}

void Gerenciar::on_comboBox_menu_activated(const QString &arg1)
{
    // "Escolha Menu..." filters by its own text, which names no menu.
    filtroMenu = arg1;
    AtualizaTabelas();
    ui->pushButton_item->setEnabled(!emGravacao && ui->comboBox_menu->currentIndex() != 0);
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
    if (emGravacao)
        return;
    const int row = ativosProxy->mapToSource(index).row();
    float novoPreco = ativosModel->index(row, ColPreco).data().toFloat();
    const int idPreco = ativosModel->index(row, ColPrecoItem).data().toInt();
    // Closed without "Enter": the price may have changed meanwhile elsewhere, so nothing goes back.
    if (!Keypad::askAmount(&novoPreco))
        return;
    AtualizaPreco(idPreco, novoPreco);
}

void Gerenciar::on_tableView_ativos_clicked(QModelIndex index)
{
    copiaItem(ativosModel, ativosProxy->mapToSource(index).row());
}

void Gerenciar::copiaItem(SqlRowsModel *model, int row)
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
    for (SqlRowsModel *model : {ativosModel, pausadosModel}) {
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
    editor.IniciaEdicao(id_pizzaria, copia ? 0 : id_cardapio, id_menu, nomeMenu, mask, statements.get());
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
