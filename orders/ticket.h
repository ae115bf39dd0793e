#pragma once

#include <QString>
#include <QVariant>
#include <QVector>

struct SqlRows;

// The order as the dialog and the kitchen ticket read it: plain values taken
// by column position from the two order queries, and the texts made of them.

// Row 0 of the customer query.
struct PedidoCliente
{
    static PedidoCliente lerColunas(const QVariantList &colunas);

    QString nome;
    QString fone;
    QString rua;
    QString numero;
    QString apto;
    int aptoNum = 0;
    QString bairro;
    QString complemento;
    QString cidade;
    QString referencia;
    float valor = 0;
    float taxaEntrega = 0;
    int modoPag = 0;
    QString troco;
    QString infoFinal;
    QString descricao;
    QString cpf;
    QString foneEndereco;
    float desconto = 0;

    QString textoApartamento() const;
    QString linhaFone() const;
    QString linhaRua() const;
    QString textoPagamento() const;
    float total() const;   // never below 0, kept in single precision
};

// One row of the order-lines query.
struct PedidoLinha
{
    static PedidoLinha lerColunas(const QVariantList &colunas);

    QString qty;
    QString menu;
    QString tamanho;
    QString item;
    int maxItem = 0;
    QString info;
    int tipo = 0;
    int status = 0;
    qint64 time = 0;
    qint64 data = 0;   // the order's moment, seconds since the epoch

    QString textoTamanho() const;
    QString textoItem() const;
};

QString htmlFonte(int px);
QString htmlSeparador();
QString htmlNegrito();
QString htmlFimNegrito();

// Two decimals, '.' as the point, no grouping.
QString textoDinheiro(float valor);

// The kitchen ticket. Every text from the database is escaped, so what a
// customer or operator typed prints as typed and cannot change the layout.
QString compoeTicket(int numpedido, qint64 data, const PedidoCliente &cliente,
                     const QVector<PedidoLinha> &linhas);

// Row of one of the two order queries, as lerColunas takes it.
QVariantList colunasDa(const SqlRows &rows, int row);
// The ticket of the order as the two queries read it (customer, then lines);
// the order's moment comes from the lines, second 0 without any.
QString ticketDasLinhas(int numpedido, const SqlRows &cliente, const SqlRows &linhas);
