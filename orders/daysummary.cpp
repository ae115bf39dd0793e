#include "daysummary.h"

#include <QDateTime>
#include <QStringList>

namespace {

enum Coluna { Numero, Status, Valor, Desconto, Taxa, ModoPag, TextoTroco, InfoFinal };

bool ehDigito(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// NULL reads as 0, as in the order dialog.
bool centavos(const QVariant &coluna, qint64 *valor)
{
    if (coluna.isNull()) {
        *valor = 0;
        return true;
    }
    return centavosDoTexto(coluna.toString(), valor);
}

QString nomeDaForma(int modoPag)
{
    switch (modoPag) {
    case 1: return QStringLiteral("Pagamento em Dinheiro");
    case 4: return QStringLiteral("Máquina de Cartão");
    default: return QStringLiteral("Outra forma de pagamento (%1)").arg(modoPag);
    }
}

QString linhasDaSoma(const SomaPedidos &soma)
{
    return QStringLiteral("Valor: R$%1\nDesconto: R$%2\nTaxa de Entrega: R$%3\nTotal: R$%4\n")
        .arg(textoCentavos(soma.valor), textoCentavos(soma.desconto), textoCentavos(soma.taxaEntrega),
             textoCentavos(soma.total));
}

} // namespace

bool centavosDoTexto(const QString &texto, qint64 *centavos)
{
    const QString t = texto.trimmed();
    int i = 0;
    bool negativo = false;
    if (i < t.size() && (t.at(i) == QLatin1Char('-') || t.at(i) == QLatin1Char('+')))
        negativo = t.at(i++) == QLatin1Char('-');
    qint64 reais = 0;
    int digitos = 0;
    for (; i < t.size() && ehDigito(t.at(i)); ++i, ++digitos) {
        if (digitos == 15)   // beyond any amount, and beyond qint64 in cents
            return false;
        reais = reais * 10 + t.at(i).digitValue();
    }
    int fracao = 0;   // the first three decimals
    if (i < t.size() && t.at(i) == QLatin1Char('.')) {
        int casas = 0;
        for (++i; i < t.size() && ehDigito(t.at(i)); ++i, ++casas) {
            if (casas < 3)
                fracao = fracao * 10 + t.at(i).digitValue();
        }
        for (; casas < 3; ++casas)
            fracao *= 10;
        digitos += casas;
    }
    if (digitos == 0 || i != t.size())
        return false;
    const qint64 absoluto = reais * 100 + fracao / 10 + (fracao % 10 >= 5 ? 1 : 0);
    *centavos = negativo ? -absoluto : absoluto;
    return true;
}

QString textoCentavos(qint64 centavos)
{
    const qint64 absoluto = centavos < 0 ? -centavos : centavos;
    return QStringLiteral("%1%2.%3")
        .arg(centavos < 0 ? QStringLiteral("-") : QString())
        .arg(absoluto / 100)
        .arg(absoluto % 100, 2, 10, QLatin1Char('0'));
}

QString TotaisDoDia::statement()
{
    // Amounts as text: the driver would hand decimals over as binary fractions.
    return QStringLiteral("select id_pedido, status, cast(valor as char), cast(desconto as char), "
                          "cast(taxa_entrega as char), modo_pag, troco_txt, info_final from pedido where "
                          "id_pizzaria=:id and data >= :inicio and data < :fim order by id_pedido");
}

QVariantMap TotaisDoDia::bindings(int idPizzaria, const QDate &dia)
{
    // startOfDay: a midnight skipped by a clock change starts the day at its first moment.
    return {{QStringLiteral(":id"), idPizzaria},
            {QStringLiteral(":inicio"), dia.startOfDay(Qt::LocalTime).toSecsSinceEpoch()},
            {QStringLiteral(":fim"), dia.addDays(1).startOfDay(Qt::LocalTime).toSecsSinceEpoch()}};
}

bool TotaisDoDia::lerLinhas(const QVector<QVector<QVariant>> &linhas, QString *erro)
{
    for (const QVector<QVariant> &linha : linhas) {
        const int pedido = linha.value(Numero).toInt();
        switch (linha.value(Status).toInt()) {
        case 0: ++novos; break;
        case 1: ++aprovados; break;
        case 3: ++entregues; break;
        case 2:
        case 4: {
            ++cancelados;
            QString motivo = linha.value(InfoFinal).toString();
            if (motivo.startsWith(QLatin1String("motivo:")))
                motivo = motivo.mid(7);
            motivos.append({pedido, motivo});
            continue;
        }
        default: ++outros; break;
        }
        SomaPedidos doPedido;
        if (!centavos(linha.value(Valor), &doPedido.valor) || !centavos(linha.value(Desconto), &doPedido.desconto)
            || !centavos(linha.value(Taxa), &doPedido.taxaEntrega)) {
            *erro = QStringLiteral("O pedido %1 tem um valor que não é um número.").arg(pedido);
            return false;
        }
        doPedido.pedidos = 1;
        doPedido.total = qMax<qint64>(0, doPedido.valor + doPedido.taxaEntrega - doPedido.desconto);
        const int modoPag = linha.value(ModoPag).toInt();
        for (SomaPedidos *soma : {&naoCancelados, &porForma[modoPag]}) {
            soma->pedidos += 1;
            soma->valor += doPedido.valor;
            soma->desconto += doPedido.desconto;
            soma->taxaEntrega += doPedido.taxaEntrega;
            soma->total += doPedido.total;
        }
        const QString troco = linha.value(TextoTroco).toString().trimmed();
        if (modoPag == 1 && !troco.isEmpty())
            trocos.append({pedido, doPedido.total, troco});
    }
    return true;
}

QString TotaisDoDia::texto() const
{
    QString t = QStringLiteral("Resumo do dia %1\n\n").arg(dia.toString(QStringLiteral("dd/MM/yyyy")));
    t += QStringLiteral("Pedidos: %1\nNovos: %2\nAprovados: %3\nEntregues: %4\nCancelados: %5\n")
             .arg(novos + aprovados + entregues + cancelados + outros)
             .arg(novos)
             .arg(aprovados)
             .arg(entregues)
             .arg(cancelados);
    if (outros > 0)
        t += QStringLiteral("Outros: %1\n").arg(outros);
    t += QStringLiteral("\nPedidos não cancelados: %1\n").arg(naoCancelados.pedidos) + linhasDaSoma(naoCancelados);
    for (auto forma = porForma.cbegin(); forma != porForma.cend(); ++forma)
        t += QStringLiteral("\n%1: %2 pedido(s)\n").arg(nomeDaForma(forma.key())).arg(forma->pedidos)
             + linhasDaSoma(*forma);
    t += QStringLiteral("\nTroco pedido em dinheiro:\n");
    for (const Troco &troco : trocos)
        t += QStringLiteral("Pedido %1 (Total: R$%2): %3\n").arg(troco.pedido).arg(textoCentavos(troco.total), troco.texto);
    if (trocos.isEmpty())
        t += QStringLiteral("nenhum\n");
    t += QStringLiteral("\nCancelados:\n");
    for (const auto &[pedido, motivo] : motivos)
        t += QStringLiteral("Pedido %1: %2\n").arg(pedido).arg(motivo);
    if (motivos.isEmpty())
        t += QStringLiteral("nenhum\n");
    return t;
}
