#pragma once

#include <QDate>
#include <QMap>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <QVector>

// Amounts of a decimal text as the server writes it ("42.5", "-3.10", "7") in
// cents, a third decimal rounding half away from zero: no binary fraction on
// the way, so a day's sum is exact. False for anything else.
bool centavosDoTexto(const QString &texto, qint64 *centavos);

// Cents in the money form of the order dialog: "42.50", no grouping.
QString textoCentavos(qint64 centavos);

// Sums of the orders of one group, in cents.
struct SomaPedidos
{
    int pedidos = 0;
    qint64 valor = 0;
    qint64 desconto = 0;
    qint64 taxaEntrega = 0;
    qint64 total = 0;   // per order as the order dialog shows it: never below 0
};

// The figures of one store's day, from the rows of its statement.
struct TotaisDoDia
{
    // The local day [00:00, next 00:00) of one store.
    static QString statement();
    static QVariantMap bindings(int idPizzaria, const QDate &dia);

    // False, naming the order, when an amount is not a number.
    bool lerLinhas(const QVector<QVector<QVariant>> &linhas, QString *erro);
    // The summary as the window shows it and the printer prints it.
    QString texto() const;

    QDate dia;
    int novos = 0;
    int aprovados = 0;
    int entregues = 0;
    int cancelados = 0;
    int outros = 0;   // status codes the console does not know
    SomaPedidos naoCancelados;
    QMap<int, SomaPedidos> porForma;   // by modo_pag
    struct Troco
    {
        int pedido;
        qint64 total;
        QString texto;   // as the customer typed it: "Troco para 100"
    };
    QVector<Troco> trocos;                  // cash orders not cancelled that asked for change
    QVector<QPair<int, QString>> motivos;   // cancelled orders: number, reason
};
