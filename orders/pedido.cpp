#include "pedido.h"
#include "ui_pedido.h"

#include "brokermessage.h"
#include "confirmar.h"
#include "connection.h"
#include "connectionsettings.h"
#include "connectivity.h"
#include "frase.h"
#include "imprimirtexto.h"
#include "orderannouncements.h"
#include "pedidostatements.h"
#include "statementrunner.h"
#include "storepublisher.h"
#include "ticket.h"

#include "orderslog.h"

#include <QDebug>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QVector>

#include <utility>

namespace {

QVariantMap chaves(int numpedido, int id_pizzaria)
{
    return {{QStringLiteral(":id"), id_pizzaria}, {QStringLiteral(":id_pedido"), numpedido}};
}

} // namespace

Pedido::Pedido(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::Pedido)
{
    ui->setupUi(this);
    setWindowFlags(Qt::WindowFlags());
    // Names, addresses and remarks are typed by customers: never rich text.
    for (QLabel *label : findChildren<QLabel *>())
        label->setTextFormat(Qt::PlainText);
    // Only changes announced after the dialog opened reach it; the echo of
    // its own action closes it at once rather than at its next tick.
    connect(OrderAnnouncements::instance(), &OrderAnnouncements::orderChanged, this, [this](int store, int order) {
        if (store != id_pizzaria || order != numpedido)
            return;
        ++alteracoes;
        anunciado = true;
        QTimer::singleShot(0, this, &Pedido::spoolerTimeout);
    });
    connect(&timer, &QTimer::timeout, this, &Pedido::spoolerTimeout);
    timer.start(1000);
    // Return never presses a button of this window by itself: an Enter meant for
    // "Sim", pressed twice or held, would land on "Imprimir" once "Aprovar" is
    // disabled, and print the ticket once per key.
    for (QPushButton *button : findChildren<QPushButton *>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
        button->installEventFilter(this);
    }
}

Pedido::~Pedido()
{
    timer.stop();
    liberaCliente();
    delete ui;
}

// A message still waiting goes out after the dialog; the publisher goes with it.
void Pedido::liberaCliente()
{
    if (publisher)
        publisher->finish();
    publisher = nullptr;
}

// A held key repeats: no repeat may press a button a second time.
bool Pedido::eventFilter(QObject *watched, QEvent *event)
{
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)
        && static_cast<QKeyEvent *>(event)->isAutoRepeat())
        return true;
    return QDialog::eventFilter(watched, event);
}

// ---------------------------------------------------------------- loading

bool Pedido::LerCliente(int numpedido, int id_pizzaria, QSqlQueryModel *model)
{
    if (!model)   // a slot: the meta-object passes any pointer
        return false;
    return readIntoModel(QStringLiteral("cliente"), PedidoSql::cliente, chaves(numpedido, id_pizzaria), model);
}

bool Pedido::LerPedido(int numpedido, int id_pizzaria, QSqlQueryModel *model)
{
    if (!model)
        return false;
    QString erro;
    const bool executed = readIntoModel(QStringLiteral("db2"), PedidoSql::linhas, chaves(numpedido, id_pizzaria), model, &erro);
    qCDebug(lcOrders) << erro;
    return executed;
}

void Pedido::CarregarPedido(int numpedido, int id_pizzaria, bool *alterado)
{
    this->numpedido = numpedido;
    this->id_pizzaria = id_pizzaria;
    this->alterado = alterado;
    html = QString(QLatin1String(""));
    const int esta = ++leitura;
    desabilitaAcoes();
    ui->textEdit_teste->setPlainText(QStringLiteral("Lendo pedido..."));
    const QVariantMap bindings = chaves(numpedido, id_pizzaria);
    statements()->run(PedidoSql::cliente, bindings, enquantoAberto([this, esta](const SqlResult &result) {
        if (esta == leitura)
            clienteLido = result;
    }));
    statements()->run(PedidoSql::linhas, bindings, enquantoAberto([this, esta](const SqlResult &result) {
        if (esta != leitura)
            return;
        qCDebug(lcOrders) << result.error;
        // An order that could not be read may well exist: say why, not that it is missing.
        if (!clienteLido.ok() || !result.ok())
            return falhaLeitura(clienteLido.ok() ? result.error : clienteLido.error);
        mostraPedido(clienteLido, result);
    }));
}

bool Pedido::isBusy() const
{
    return runner && runner->isBusy();
}

StatementRunner *Pedido::statements()
{
    if (!runner)
        runner = new StatementRunner(this);
    return runner;
}

std::function<void(const SqlResult &)> Pedido::enquantoAberto(const std::function<void(const SqlResult &)> &done)
{
    return [aberto = QPointer<Pedido>(this), done](const SqlResult &result) {
        if (aberto)
            done(result);
    };
}

void Pedido::falhaLeitura(const QString &erro)
{
    ui->textEdit_teste->clear();
    desabilitaAcoes();
    QMessageBox::critical(this, QStringLiteral("Pedido"),
                          QStringLiteral("Não foi possível ler o pedido %1:\n%2").arg(QString::number(numpedido), erro),
                          QMessageBox::Ok);
}

void Pedido::mostraPedido(const SqlRows &clienteRows, const SqlRows &linhasRows)
{
    ui->textEdit_teste->clear();
    if (clienteRows.values.isEmpty()) {
        // Not this store's order: nothing may be written, printed or announced for it.
        desabilitaAcoes();
        QMessageBox::critical(this, QStringLiteral("Pedido"), QStringLiteral("Pedido não encontrado!!!"),
                              QMessageBox::Ok);
        return;
    }

    const PedidoCliente cliente = PedidoCliente::lerColunas(colunasDa(clienteRows, 0));
    ui->label_numpedido->setText(QStringLiteral("Pedido: %1").arg(numpedido));
    ui->label_nome->setText(cliente.nome);
    ui->label_fone->setText(cliente.linhaFone());
    ui->label_rua->setText(cliente.linhaRua());
    ui->label_bairro->setText(cliente.bairro);
    ui->label_cidade->setText(cliente.cidade);
    ui->label_referencia->setText(cliente.referencia);
    ui->label_obsfinal->setText(QStringLiteral("Obs. final:") + cliente.infoFinal);
    ui->label_valor->setText(QStringLiteral("Valor: R$%1").arg(textoDinheiro(cliente.valor)));
    ui->label_desconto->setText(QStringLiteral("Desconto: R$%1").arg(textoDinheiro(cliente.desconto)));
    ui->label_entrega->setText(QStringLiteral("Taxa de Entrega: R$%1").arg(textoDinheiro(cliente.taxaEntrega)));
    ui->label_total->setText(QStringLiteral("Total: R$%1").arg(textoDinheiro(cliente.total())));
    ui->label_pagamento->setText(cliente.textoPagamento());
    if (!cliente.cpf.isEmpty())
        ui->label_cpf->setText(QStringLiteral("CPF:") + cliente.cpf);

    QTableWidget *table = ui->tableWidget_pedido;
    table->clear();
    table->setRowCount(0);
    table->setColumnCount(5);
    table->setHorizontalHeaderLabels({QStringLiteral("Qtde"), QStringLiteral("Menu"), QStringLiteral("Tamanho"),
                                      QStringLiteral("Item"), QStringLiteral("Obs.")});
    for (int i = 0; i < linhasRows.values.size(); ++i) {
        const PedidoLinha linha = PedidoLinha::lerColunas(colunasDa(linhasRows, i));
        status = linha.status;
        const int row = table->rowCount();
        table->insertRow(row);
        table->setColumnCount(5);
        const QStringList celulas{linha.qty, linha.menu, linha.textoTamanho(), linha.textoItem(), linha.info};
        for (int column = 0; column < celulas.size(); ++column)
            table->setItem(row, column, new QTableWidgetItem(celulas.at(column)));
    }
    html = ticketDasLinhas(numpedido, clienteRows, linhasRows);
    ui->textEdit_teste->setText(html);
    ui->textEdit_teste->setReadOnly(true);

    ui->pushButton_imprimir->setEnabled(true);
    switch (status) {
    case 0:
        ui->pushButton_aprovar->setEnabled(true);
        ui->pushButton_cancelar->setEnabled(true);
        ui->pushButton_entrega->setEnabled(false);
        break;
    case 1:
        ui->pushButton_aprovar->setEnabled(false);
        ui->pushButton_cancelar->setEnabled(false);
        ui->pushButton_entrega->setEnabled(true);
        break;
    case 3:
        ui->pushButton_aprovar->setEnabled(false);
        ui->pushButton_cancelar->setEnabled(false);
        ui->pushButton_entrega->setEnabled(false);
        break;
    default:
        ui->pushButton_aprovar->setEnabled(true);
        ui->pushButton_cancelar->setEnabled(true);
        ui->pushButton_entrega->setEnabled(true);
        break;
    }
    table->resizeColumnsToContents();
}

std::array<QPushButton *, 4> Pedido::acoes() const
{
    return {ui->pushButton_aprovar, ui->pushButton_cancelar, ui->pushButton_entrega, ui->pushButton_imprimir};
}

void Pedido::desabilitaAcoes()
{
    for (QPushButton *button : acoes())
        button->setEnabled(false);
}

// Not about printing, whatever its name says: closes the dialog once a change
// of its order was announced. A new order's announcement, a store status or
// another store's order never close it: only a change announced since it opened.
void Pedido::spoolerTimeout()
{
    qCDebug(lcOrders) << "aqui";
    if (!anunciado)
        return;
    anunciado = false;
    qCDebug(lcOrders) << "fechando...";
    liberaCliente();
    close();
}

// ---------------------------------------------------------------- broker

void Pedido::SetAmqp(const QString &servername, const QString &virtualhost, const QString &portbroker,
                     const QString &userbroker, const QString &passbroker)
{
    amqpAccount = StoreBrokerAccount{servername, virtualhost, portbroker, userbroker, passbroker, connectionSettings.caFile};
    liberaCliente();
    criaCliente();
}

void Pedido::criaCliente()
{
    const StoreBrokerAccount account = *amqpAccount;
    publisher = new StorePublisher([account](QAmqpClient *client) { configureStoreClient(client, account); });
    // Only logged: the client reconnects by itself.
    connect(publisher, &StorePublisher::connectionLost, this,
            [this] { qCDebug(lcOrders) << "Pedido" << numpedido << ": conexão com o broker perdida"; });
}

void Pedido::anuncia(int codigo)
{
    mensagem = BrokerMessage::orderStatus(id_pizzaria, numpedido, codigo);
    // A written status is always announced, also once the dialog let its publisher go.
    if (!publisher && amqpAccount)
        criaCliente();
    if (!publisher)
        qCDebug(lcOrders) << "Pedido" << numpedido << ": sem broker para anunciar" << mensagem;
    else
        publisher->publish(mensagem);
}

// ---------------------------------------------------------------- actions

bool Pedido::internetDisponivel()
{
    if (!links || links->internet())
        return true;
    QMessageBox::critical(this, QStringLiteral("Internet"), QStringLiteral("Erro de Internet!!!"),
                          QMessageBox::Ok);
    return false;
}

// The modal windows of an action let the tick run: another console or the
// service may have changed the order meanwhile, and the operator's answer
// was given to an order that is no longer as shown.
bool Pedido::semAlteracaoDesde(int alteracoesAntes)
{
    if (alteracoes == alteracoesAntes)
        return true;
    avisaAlteracao();
    return false;
}

void Pedido::avisaAlteracao()
{
    QMessageBox::warning(this, QStringLiteral("Pedido"),
                         QStringLiteral("O pedido foi alterado enquanto esta janela estava aberta."), QMessageBox::Ok);
}

// Written only over the status this window showed: the customer, the service
// or another console may have changed the order since, and an answer given to
// an order no longer as shown must not undo that.
void Pedido::AtualStatusPedido(int status, int numpedido, int id_pizzaria, const QString &motivo)
{
    gravaStatus(status, numpedido, id_pizzaria, motivo, {});
}

void Pedido::gravaStatus(int codigo, int numpedido, int id_pizzaria, const QString &motivo,
                         const std::function<void()> &feito)
{
    if (gravando)
        return;
    gravando = true;
    for (std::size_t i = 0; i < acoes().size(); ++i)
        acoesAntes[i] = acoes()[i]->isEnabled();
    desabilitaAcoes();
    // Off the buttons: a key meant for the question just answered presses nothing.
    ui->textEdit_teste->setFocus();
    QVariantMap bindings{{QStringLiteral(":id"), numpedido}, {QStringLiteral(":idpizzaria"), id_pizzaria},
                         {QStringLiteral(":status"), codigo}, {QStringLiteral(":visto"), status}};
    if (codigo == 2)
        bindings.insert(QStringLiteral(":motivo"), motivo);
    statements()->run(codigo == 2 ? PedidoSql::cancela : PedidoSql::status, bindings,
                      enquantoAberto([this, codigo, feito](const SqlResult &result) { statusGravado(codigo, result, feito); }));
}

// Done only when exactly one row changed; none changed with no error: someone
// else got there first.
void Pedido::statusGravado(int codigo, const SqlResult &result, const std::function<void()> &feito)
{
    gravando = false;
    for (std::size_t i = 0; i < acoes().size(); ++i)
        acoes()[i]->setEnabled(acoesAntes[i]);
    if (result.ok() && result.rowsAffected == 1) {
        status = codigo;   // what a further action of this opening finds
        if (feito)
            feito();
    } else if (result.ok()) {
        avisaAlteracao();
        // The operator decides again, on the order as it now is.
        CarregarPedido(numpedido, id_pizzaria, alterado);
    } else {
        QMessageBox::critical(this, QStringLiteral("Pedido"),
                              QStringLiteral("Não foi possível gravar o pedido %1:\n%2")
                                  .arg(QString::number(numpedido), result.error),
                              QMessageBox::Ok);
    }
    // A status written is announced before the dialog may go.
    if (fechamento)
        QDialog::done(*std::exchange(fechamento, std::nullopt));
}

void Pedido::done(int result)
{
    if (gravando)
        fechamento = result;
    else
        QDialog::done(result);
}

// The Internet, then the operator's "Sim" to an order that did not change meanwhile.
bool Pedido::confirma(const QString &titulo, const QString &pergunta)
{
    if (!internetDisponivel())
        return false;
    const int alteracoesAntes = alteracoes;
    return Confirmar(titulo, pergunta.arg(numpedido)) && semAlteracaoDesde(alteracoesAntes);
}

// Approved or cancelled: no longer new, and announced.
void Pedido::resolve(int codigo)
{
    ui->pushButton_aprovar->setEnabled(false);
    ui->pushButton_cancelar->setEnabled(false);
    if (alterado)
        *alterado = true;
    anuncia(codigo);
}

void Pedido::on_pushButton_aprovar_clicked()
{
    if (gravando || !confirma(QStringLiteral("Aprovar Pedido"), QStringLiteral("Confirma aprovar pedido %1")))
        return;
    gravaStatus(1, numpedido, id_pizzaria, QString(), [this] {
        resolve(1);
        qCDebug(lcOrders) << "enviou mensagem";
        // Printing needs no network: an approved order always reaches the kitchen,
        // once: only the console whose write changed the row gets here.
        imprime();
    });
}

void Pedido::on_pushButton_cancelar_clicked()
{
    if (gravando || !confirma(QStringLiteral("Cancelar Pedido"), QStringLiteral("Confirma cancelar pedido %1")))
        return;
    const int alteracoesAntes = alteracoes;
    QString texto;
    {
        frase dialog(nullptr);
        dialog.setModal(true);
        dialog.exec();
        texto = dialog.getMotivo();
    }
    // The reason window closed without a reason gives the cancellation up:
    // an order cancelled by a stray Escape is a customer lost.
    if (texto.isEmpty())
        return;
    if (!semAlteracaoDesde(alteracoesAntes))
        return;
    gravaStatus(2, numpedido, id_pizzaria, QStringLiteral("motivo:") + texto, [this] { resolve(2); });
}

void Pedido::on_pushButton_entrega_clicked()
{
    if (gravando || !internetDisponivel())
        return;
    gravaStatus(3, numpedido, id_pizzaria, QString(), [this] {
        ui->pushButton_aprovar->setEnabled(false);
        ui->pushButton_cancelar->setEnabled(false);
        anuncia(3);
        ui->pushButton_entrega->setEnabled(false);
    });
}

void Pedido::on_pushButton_imprimir_clicked()
{
    if (!internetDisponivel())
        return;
    imprime();
}

// The print dialog and the failure box run event loops of their own: a press
// of "Imprimir" meanwhile must not start a second print.
void Pedido::imprime()
{
    if (imprimindo)
        return;
    imprimindo = true;
    const QStringList falhas = ImprimirTexto(html, true);
    if (!falhas.isEmpty())
        QMessageBox::warning(this, QStringLiteral("Imprimir"), falhas.join(QLatin1Char('\n')), QMessageBox::Ok);
    imprimindo = false;
    if (falhas.isEmpty())
        emit impresso(numpedido);
}
