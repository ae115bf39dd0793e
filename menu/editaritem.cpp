#include "editaritem.h"
#include "ui_editaritem.h"

#include "keypad.h"
#include "menudata.h"
#include "sqlsession.h"

#include <QMessageBox>
#include <QPointer>

namespace {

// Runs an insert; its new row's id, or 0 with an error when the driver gives none:
// without it the next rows would point at nothing.
int insere(SqlSession &session, const QString &statement, const QVariantMap &valores, SqlResult *result)
{
    *result = session.exec(statement, valores);
    const int id = result->lastInsertId.toInt();
    if (result->ok() && id == 0)
        result->error = QStringLiteral("no id for the new row");
    return result->ok() ? id : 0;
}

// The three inserts of a new item; stops at the first that fails.
SqlResult criaItem(SqlSession &session, int idPizzaria, const QString &sku, const QString &nome, const QString &descr,
                   int tipo, int tamanho, float preco, int menu, int mascara)
{
    SqlResult result;
    const int idItem = insere(session, insereItemStatement,
                              {{QStringLiteral(":idPizzaria"), idPizzaria}, {QStringLiteral(":nome"), nome},
                               {QStringLiteral(":descr"), descr}, {QStringLiteral(":tipo"), tipo},
                               {QStringLiteral(":caixa"), 0}},
                              &result);
    const int idPreco = idItem == 0 ? 0
        : insere(session, inserePrecoStatement,
                 {{QStringLiteral(":idItem"), idItem}, {QStringLiteral(":tamanho"), tamanho},
                  {QStringLiteral(":preco"), preco}, {QStringLiteral(":desconto"), 0}, {QStringLiteral(":sku"), sku}},
                 &result);
    if (idPreco == 0)
        return result;
    return session.exec(insereCardapioStatement,
                        {{QStringLiteral(":idPizzaria"), idPizzaria}, {QStringLiteral(":idMenu"), menu},
                         {QStringLiteral(":idPreco"), idPreco}, {QStringLiteral(":idTam"), tamanho},
                         {QStringLiteral(":mascara"), mascara}});
}

// The three updates of an existing item; stops at the first that fails.
SqlResult alteraItem(SqlSession &session, int id, const QString &sku, const QString &nome, const QString &descr,
                     int tipo, int tamanho, float preco, int idPrecoItem, int idItemCardapio)
{
    SqlResult result = session.exec(alteraItemStatement, {{QStringLiteral(":nome"), nome}, {QStringLiteral(":descr"), descr},
                                                          {QStringLiteral(":tipo"), tipo},
                                                          {QStringLiteral(":id"), idItemCardapio}});
    if (result.ok())
        result = session.exec(alteraPrecoStatement, {{QStringLiteral(":tamanho"), tamanho}, {QStringLiteral(":preco"), preco},
                                                     {QStringLiteral(":sku"), sku}, {QStringLiteral(":id"), idPrecoItem}});
    if (result.ok())
        result = session.exec(alteraCardapioStatement, {{QStringLiteral(":idTam"), tamanho}, {QStringLiteral(":id"), id}});
    return result;
}

void escolheTexto(QComboBox *box, const QString &texto)
{
    box->setCurrentIndex(box->findText(texto, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

} // namespace

EditarItem::EditarItem(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::EditarItem)
{
    ui->setupUi(this);
    setWindowFlags(Qt::WindowFlags());
}

EditarItem::~EditarItem()
{
    delete ui;
}

void EditarItem::IniciaEdicao(int id_pizzaria, int id, int id_menu, const QString &menu, int mascara,
                              StatementRunner *statements)
{
    this->id_pizzaria = id_pizzaria;
    id_cardapio = id;
    mask_cardapio = mascara;
    this->id_menu = id_menu;
    this->statements = statements;
    ui->label_menu->setText(menu);
    // "Ok" waits for the boxes, so that no item is refused for want of a size not shown yet.
    ui->pushButton_ok->setEnabled(false);
    caixasPendentes = 2;
    const QPointer<EditarItem> self(this);
    const std::pair<QComboBox *, QString> caixas[] = {{ui->comboBox_tipo, QStringLiteral("Escolha Tipo...")},
                                                      {ui->comboBox_tamanho, QStringLiteral("Escolha Tamanho...")}};
    for (const auto &[box, prompt] : caixas) {
        preencheCaixa(box, prompt, SqlRows());
        statements->run(box == ui->comboBox_tipo ? tiposStatement : tamanhosStatement,
                        {{QStringLiteral(":id_pizzaria"), id_pizzaria}},
                        [self, box = box, prompt = prompt](const SqlResult &rows) {
            if (!self)
                return;
            if (rows.ok())
                preencheCaixa(box, prompt, rows);
            escolheTexto(box, box == self->ui->comboBox_tipo ? self->tipoInicial : self->tamanhoInicial);
            if (--self->caixasPendentes == 0)
                self->ui->pushButton_ok->setEnabled(true);
        });
    }
}

void EditarItem::PreencheItem(const QString &sku, const QString &nome, const QString &descricao, const QString &tipo,
                              const QString &tamanho, float preco, int id_precoitem, int id_itemcardapio)
{
    codigoInicial = sku;
    ui->lineEdit_sku->setText(sku);
    ui->lineEdit_nome->setText(nome);
    ui->lineEdit_descricao->setText(descricao);
    tipoInicial = tipo;
    tamanhoInicial = tamanho;
    // No selection while a box lacks them; chosen again when its rows arrive.
    escolheTexto(ui->comboBox_tipo, tipo);
    escolheTexto(ui->comboBox_tamanho, tamanho);
    this->preco = preco;
    ui->pushButton_preco->setText(textoPreco(preco));
    this->id_precoitem = id_precoitem;
    this->id_itemcardapio = id_itemcardapio;
}

void EditarItem::checarSku(int idPizzaria, const QString &sku, const std::function<void(std::optional<bool>)> &emUso)
{
    if (sku.isEmpty())
        return emUso(false);
    statements->run(codigoStatement, {{QStringLiteral(":sku"), sku}, {QStringLiteral(":idpizzaria"), idPizzaria}},
                    [emUso](const SqlResult &result) {
        emUso(result.ok() ? std::optional<bool>(!result.values.isEmpty()) : std::nullopt);
    });
}

StatementRunner::Work EditarItem::gravarItem(int id, int idPizzaria, const QString &sku, const QString &nome,
                                             const QString &descr, int tipo, int tamanho, float preco, int menu,
                                             int mascara, int idPrecoItem, int idItemCardapio)
{
    return [=](SqlSession &session) {
        SqlResult result;
        // Outside a transaction a failure would leave the rows already written.
        if (!session.transaction()) {
            result.error = QStringLiteral("no transaction");
            return result;
        }
        result = id == 0 ? criaItem(session, idPizzaria, sku, nome, descr, tipo, tamanho, preco, menu, mascara)
                         : alteraItem(session, id, sku, nome, descr, tipo, tamanho, preco, idPrecoItem, idItemCardapio);
        if (!result.ok())
            session.rollback();
        else if (!session.commit())
            result.error = QStringLiteral("no commit");
        return result;
    };
}

void EditarItem::gravado(const SqlResult &result)
{
    salvando = false;
    ui->pushButton_ok->setEnabled(true);
    if (result.ok())
        close();
    else
        recusa(QStringLiteral("Erro na gravação de dados"));
}

void EditarItem::reject()
{
    if (!salvando)
        QDialog::reject();
}

void EditarItem::recusa(const QString &texto)
{
    QMessageBox::critical(nullptr, QStringLiteral("Seleção"), texto, QMessageBox::Ok);
}

void EditarItem::on_pushButton_preco_clicked()
{
    Keypad::askAmount(&preco);
    ui->pushButton_preco->setText(textoPreco(preco));
}

void EditarItem::on_pushButton_ok_clicked()
{
    if (salvando || !statements)
        return;
    if (ui->lineEdit_nome->text().isEmpty()) {
        recusa(QStringLiteral("Favor preencher nome do item"));
        return;
    }
    // The code goes in as text, also when empty.
    const QString sku = ui->lineEdit_sku->text().isNull() ? QString(QLatin1String("")) : ui->lineEdit_sku->text();
    const QString nome = ui->lineEdit_nome->text();
    QString descr = ui->lineEdit_descricao->text();
    if (descr.isEmpty()) {
        descr = nome;
        ui->lineEdit_descricao->setText(descr);
    }
    if (ui->comboBox_tipo->currentIndex() <= 0 || ui->comboBox_tamanho->currentIndex() <= 0) {
        recusa(QStringLiteral("Favor selecionar tipo e/ou tamanho"));
        return;
    }
    const int tipo = ui->comboBox_tipo->currentData().toInt();
    const int tamanho = ui->comboBox_tamanho->currentData().toInt();
    // A second press waits for the first one's answer.
    salvando = true;
    ui->pushButton_ok->setEnabled(false);
    const StatementRunner::Work grava = gravarItem(id_cardapio, id_pizzaria, sku, nome, descr, tipo, tamanho, preco,
                                                   id_menu, mask_cardapio, id_precoitem, id_itemcardapio);
    if (id_cardapio == 0 || sku != codigoInicial) {
        checarSku(id_pizzaria, sku, [self = QPointer<EditarItem>(this), grava](std::optional<bool> emUso) {
            if (self)
                self->gravaSeLivre(grava, emUso);
        });
    } else {
        gravaSeLivre(grava, false);
    }
}

// emUso: whether the code is taken, nothing when that could not be read.
void EditarItem::gravaSeLivre(const StatementRunner::Work &grava, std::optional<bool> emUso)
{
    if (!emUso || *emUso) {
        salvando = false;
        ui->pushButton_ok->setEnabled(true);
        recusa(emUso ? QStringLiteral("Código de Item já cadastrado") : QStringLiteral("Erro na gravação de dados"));
        return;
    }
    statements->run(grava, [self = QPointer<EditarItem>(this)](const SqlResult &result) {
        if (self)
            self->gravado(result);
    });
}
