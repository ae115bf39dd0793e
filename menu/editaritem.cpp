#include "editaritem.h"
#include "ui_editaritem.h"

#include "keypad.h"
#include "menudata.h"

#include <QMessageBox>
#include <QSqlQuery>
#include <QSqlQueryModel>

namespace {

// The id of the row a successful insert just wrote, or 0 when the driver gives none.
int idInserido(const QSqlQuery &query)
{
    const QVariant id = query.lastInsertId();
    return id.isValid() ? id.toInt() : 0;
}

// Runs the three inserts of a new item; stops at the first that fails.
bool criaItem(QSqlDatabase *db, int idPizzaria, const QString &sku, const QString &nome, const QString &descr,
              int tipo, int tamanho, float preco, int menu, int mascara)
{
    QSqlQuery query(*db);
    if (!executaComValores(query,
                           QStringLiteral("INSERT INTO item_cardapio (id_pizzaria, nome_item, descricao_item, "
                                          "id_tipocardapio, caixa) VALUES (:idPizzaria, :nome,:descr,:tipo,:caixa)"),
                           {{QStringLiteral(":idPizzaria"), idPizzaria}, {QStringLiteral(":nome"), nome},
                            {QStringLiteral(":descr"), descr}, {QStringLiteral(":tipo"), tipo},
                            {QStringLiteral(":caixa"), 0}}))
        return false;
    // Without the new row's id the next rows would point at nothing.
    const int idItem = idInserido(query);
    if (idItem == 0)
        return false;
    if (!executaComValores(query,
                           QStringLiteral("INSERT INTO precoitem (id_itemcardapio, id_tamanho,preco,desconto,id) "
                                          "VALUES (:idItem,:tamanho,:preco,:desconto,:sku)"),
                           {{QStringLiteral(":idItem"), idItem}, {QStringLiteral(":tamanho"), tamanho},
                            {QStringLiteral(":preco"), preco}, {QStringLiteral(":desconto"), 0},
                            {QStringLiteral(":sku"), sku}}))
        return false;
    const int idPreco = idInserido(query);
    if (idPreco == 0)
        return false;
    return executaComValores(query,
                             QStringLiteral("INSERT INTO cardapio (id_pizzaria, id_menu,id_precoitem,id_tamanho,ativo,"
                                            "dia_semana,info_cardapio,mask_cardapio) VALUES (:idPizzaria,:idMenu,"
                                            ":idPreco,:idTam,1,127,0,:mascara)"),
                             {{QStringLiteral(":idPizzaria"), idPizzaria}, {QStringLiteral(":idMenu"), menu},
                              {QStringLiteral(":idPreco"), idPreco}, {QStringLiteral(":idTam"), tamanho},
                              {QStringLiteral(":mascara"), mascara}});
}

// Runs the three updates of an existing item; stops at the first that fails.
bool alteraItem(QSqlDatabase *db, int id, const QString &sku, const QString &nome, const QString &descr, int tipo,
                int tamanho, float preco, int idPrecoItem, int idItemCardapio)
{
    QSqlQuery query(*db);
    return executaComValores(query,
                             QStringLiteral("update item_cardapio set nome_item=:nome, descricao_item=:descr, "
                                            "id_tipocardapio=:tipo where id_itemcardapio=:id"),
                             {{QStringLiteral(":nome"), nome}, {QStringLiteral(":descr"), descr},
                              {QStringLiteral(":tipo"), tipo}, {QStringLiteral(":id"), idItemCardapio}})
        && executaComValores(query,
                             QStringLiteral("update precoitem set id_tamanho=:tamanho, preco=:preco, id=:sku "
                                            "where id_precoitem=:id"),
                             {{QStringLiteral(":tamanho"), tamanho}, {QStringLiteral(":preco"), preco},
                              {QStringLiteral(":sku"), sku}, {QStringLiteral(":id"), idPrecoItem}})
        && executaComValores(query, QStringLiteral("update cardapio set id_tamanho=:idTam where id_cardapio=:id"),
                             {{QStringLiteral(":idTam"), tamanho}, {QStringLiteral(":id"), id}});
}

} // namespace

EditarItem::EditarItem(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::EditarItem)
    , tiposModel(new QSqlQueryModel)
    , tamanhosModel(new QSqlQueryModel)
{
    ui->setupUi(this);
    setWindowFlags(Qt::WindowFlags());
}

EditarItem::~EditarItem()
{
    delete ui;
}

void EditarItem::IniciaEdicao(int id_pizzaria, int id, int id_menu, const QString &menu, int mascara, QSqlDatabase *db)
{
    this->id_pizzaria = id_pizzaria;
    id_cardapio = id;
    mask_cardapio = mascara;
    this->id_menu = id_menu;
    this->db = db;
    LerTipos(id_pizzaria, tiposModel.get(), *db);
    preencheCaixa(ui->comboBox_tipo, QStringLiteral("Escolha Tipo..."), tiposModel.get());
    LerTamanhos(id_pizzaria, tamanhosModel.get(), *db);
    preencheCaixa(ui->comboBox_tamanho, QStringLiteral("Escolha Tamanho..."), tamanhosModel.get());
    ui->label_menu->setText(menu);
}

void EditarItem::PreencheItem(const QString &sku, const QString &nome, const QString &descricao, const QString &tipo,
                              const QString &tamanho, float preco, int id_precoitem, int id_itemcardapio)
{
    codigoInicial = sku;
    ui->lineEdit_sku->setText(sku);
    ui->lineEdit_nome->setText(nome);
    ui->lineEdit_descricao->setText(descricao);
    ui->comboBox_tipo->setCurrentIndex(ui->comboBox_tipo->findText(tipo, Qt::MatchExactly | Qt::MatchCaseSensitive));
    ui->comboBox_tamanho->setCurrentIndex(
        ui->comboBox_tamanho->findText(tamanho, Qt::MatchExactly | Qt::MatchCaseSensitive));
    this->preco = preco;
    ui->pushButton_preco->setText(textoPreco(preco));
    this->id_precoitem = id_precoitem;
    this->id_itemcardapio = id_itemcardapio;
}

// Whether another entry of the store has the code; empty when the check itself
// failed, which must not pass for "free".
std::optional<bool> EditarItem::codigoEmUso(int idPizzaria, const QString &sku, QSqlDatabase *db)
{
    if (sku.isEmpty())
        return false;
    QSqlQuery query(*db);
    if (!executaComValores(query,
                           QStringLiteral("select precoitem.id_precoitem from cardapio inner join precoitem on "
                                          "cardapio.id_precoitem=precoitem.id_precoitem where id=:sku and "
                                          "id_pizzaria=:idpizzaria"),
                           {{QStringLiteral(":sku"), sku}, {QStringLiteral(":idpizzaria"), idPizzaria}}))
        return std::nullopt;
    return query.size() > 0;
}

bool EditarItem::checarSku(int idPizzaria, const QString &sku, QSqlDatabase *db)
{
    return codigoEmUso(idPizzaria, sku, db).value_or(false);
}

bool EditarItem::gravarItem(int id, int idPizzaria, const QString &sku, const QString &nome, const QString &descr,
                            int tipo, int tamanho, float preco, int menu, int mascara, QSqlDatabase *db,
                            int idPrecoItem, int idItemCardapio)
{
    // Outside a transaction a failure would leave the rows already written.
    if (!db->transaction())
        return false;
    const bool ok = id == 0 ? criaItem(db, idPizzaria, sku, nome, descr, tipo, tamanho, preco, menu, mascara)
                            : alteraItem(db, id, sku, nome, descr, tipo, tamanho, preco, idPrecoItem, idItemCardapio);
    if (!ok) {
        db->rollback();
        return false;
    }
    return db->commit();
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
    if (id_cardapio == 0 || sku != codigoInicial) {
        const std::optional<bool> emUso = codigoEmUso(id_pizzaria, sku, db);
        if (!emUso || *emUso) {
            recusa(emUso ? QStringLiteral("Código de Item já cadastrado") : QStringLiteral("Erro na gravação de dados"));
            return;
        }
    }
    if (gravarItem(id_cardapio, id_pizzaria, sku, nome, descr, tipo, tamanho, preco, id_menu, mask_cardapio, db,
                   id_precoitem, id_itemcardapio))
        close();
    else
        recusa(QStringLiteral("Erro na gravação de dados"));
}
