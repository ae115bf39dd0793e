#pragma once

#include "storeclient.h"

#include <QDialog>
#include <QSqlDatabase>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>

class Connectivity;
class StorePublisher;
class QSqlQueryModel;

namespace Ui {
class Pedido;
}

// One order of the store: customer, payment, lines and kitchen ticket, and the
// actions that approve, cancel or deliver it. Closes itself once the broker
// announces a status change of its order, its own included.
class Pedido : public QDialog
{
    Q_OBJECT

public:
    explicit Pedido(QWidget *parent = nullptr);
    ~Pedido() override;

    void CarregarPedido(int numpedido, int id_pizzaria, bool *alterado);
    // What the window knows of the Internet: the actions ask for it.
    void setConnectivity(const Connectivity *links) { this->links = links; }
    void SetAmqp(const QString &servername, const QString &virtualhost, const QString &portbroker,
                 const QString &userbroker, const QString &passbroker);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void spoolerTimeout();
    void on_pushButton_aprovar_clicked();
    bool AtualStatusPedido(int status, int numpedido, int id_pizzaria, const QString &motivo);
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
    // Writes the status; on failure tells the operator and returns false.
    bool gravaStatus(int codigo, const QString &motivo);
    void anuncia(int codigo);
    void imprime();
    void criaCliente();
    void liberaCliente();
    void desabilitaAcoes();

    Ui::Pedido *ui;
    StorePublisher *publisher = nullptr;   // its own once let go, until its messages are out
    int numpedido = 0;
    int id_pizzaria = 0;
    int status = 0;
    std::unique_ptr<QSqlQueryModel> modelCliente;
    std::unique_ptr<QSqlQueryModel> modelPedido;
    QString html;
    QString mensagem;
    bool *alterado = nullptr;
    bool anunciado = false;    // a change of this order was announced: close
    int alteracoes = 0;        // changes of this order announced since it opened
    std::optional<StoreBrokerAccount> amqpAccount;   // once SetAmqp gave it
    QString erroStatus;
    bool imprimindo = false;
    QString erroLeitura;
    QTimer timer;
    const Connectivity *links = nullptr;
    QSqlDatabase dbCliente;
    QSqlDatabase dbStatus;
};
