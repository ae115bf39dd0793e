#pragma once

#include "storeclient.h"

#include "sqlresult.h"

#include <QDialog>
#include <QString>
#include <QTimer>

#include <array>
#include <functional>
#include <optional>

class Connectivity;
class StatementRunner;
class StorePublisher;
class QPushButton;
class QSqlQueryModel;

namespace Ui {
class Pedido;
}

// One order of the store: customer, payment, lines and kitchen ticket, and the
// actions that approve, cancel or deliver it. Closes itself once the broker
// announces a status change of its order, its own included. Its statements
// run on a runner: it opens at once and fills in when the rows come.
class Pedido : public QDialog
{
    Q_OBJECT

public:
    explicit Pedido(QWidget *parent = nullptr);
    ~Pedido() override;

    // Returns at once; the order shows when its rows arrive.
    void CarregarPedido(int numpedido, int id_pizzaria, bool *alterado);
    // The window's runner for the order dialogs, its connection already open;
    // before CarregarPedido. Without one the dialog makes its own.
    void setStatementRunner(StatementRunner *shared) { runner = shared; }
    // A read or write of the dialog not answered yet.
    bool isBusy() const;
    // What the window knows of the Internet: the actions ask for it.
    void setConnectivity(const Connectivity *links) { this->links = links; }
    void SetAmqp(const QString &servername, const QString &virtualhost, const QString &portbroker,
                 const QString &userbroker, const QString &passbroker);

    // Held back while a status write is under way, until its outcome is shown.
    void done(int result) override;

signals:
    // Every copy of the ticket reached its printer.
    void impresso(int numpedido);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void spoolerTimeout();
    void on_pushButton_aprovar_clicked();
    // Starts the write; its outcome is shown as any action's.
    void AtualStatusPedido(int status, int numpedido, int id_pizzaria, const QString &motivo);
    // For outside callers: read on the caller's thread into model.
    bool LerCliente(int numpedido, int id_pizzaria, QSqlQueryModel *model);
    bool LerPedido(int numpedido, int id_pizzaria, QSqlQueryModel *model);
    void on_pushButton_cancelar_clicked();
    void on_pushButton_imprimir_clicked();
    void on_pushButton_entrega_clicked();

private:
    bool internetDisponivel();
    bool confirma(const QString &titulo, const QString &pergunta);
    void resolve(int codigo);
    // False, with a box, when the order changed elsewhere since alteracoesAntes.
    bool semAlteracaoDesde(int alteracoesAntes);
    void avisaAlteracao();
    void mostraPedido(const SqlRows &cliente, const SqlRows &linhas);
    void falhaLeitura(const QString &erro);
    // Writes the status; feito runs only once exactly one row changed. Failures
    // and refusals are told to the operator here.
    void gravaStatus(int codigo, int numpedido, int id_pizzaria, const QString &motivo,
                     const std::function<void()> &feito);
    void statusGravado(int codigo, const SqlResult &result, const std::function<void()> &feito);
    void anuncia(int codigo);
    void imprime();
    void criaCliente();
    void liberaCliente();
    std::array<QPushButton *, 4> acoes() const;   // aprovar, cancelar, entrega, imprimir
    void desabilitaAcoes();

    Ui::Pedido *ui;
    StorePublisher *publisher = nullptr;   // its own once let go, until its messages are out
    int numpedido = 0;
    int id_pizzaria = 0;
    int status = 0;
    StatementRunner *statements();
    // done, only while this dialog is still there: the runner may outlive it.
    std::function<void(const SqlResult &)> enquantoAberto(const std::function<void(const SqlResult &)> &done);

    StatementRunner *runner = nullptr;
    int leitura = 0;           // the latest loading: answers of an earlier one are stale
    SqlResult clienteLido;     // until the lines of the same loading arrive
    bool gravando = false;     // a status write is under way
    std::array<bool, 4> acoesAntes{};   // the buttons as the write found them
    std::optional<int> fechamento;     // a close asked for while writing
    QString html;
    QString mensagem;
    bool *alterado = nullptr;
    bool anunciado = false;    // a change of this order was announced: close
    int alteracoes = 0;        // changes of this order announced since it opened
    std::optional<StoreBrokerAccount> amqpAccount;   // once SetAmqp gave it
    bool imprimindo = false;
    QTimer timer;
    const Connectivity *links = nullptr;
};
