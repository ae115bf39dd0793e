#include "ticket.h"

#include "sqlresult.h"

#include <QDateTime>

namespace {

QString texto(const QVariantList &colunas, int i)
{
    return colunas.value(i).toString();
}

QString esc(const QString &text)
{
    return text.toHtmlEscaped();
}

} // namespace

PedidoCliente PedidoCliente::lerColunas(const QVariantList &c)
{
    PedidoCliente p;
    p.nome = texto(c, 0);
    p.fone = texto(c, 1);
    p.rua = texto(c, 3);
    p.numero = texto(c, 4);
    p.apto = texto(c, 5);
    p.aptoNum = c.value(5).toInt();
    p.bairro = texto(c, 6);
    p.complemento = texto(c, 7);
    p.cidade = texto(c, 8);
    p.referencia = texto(c, 9);
    p.valor = c.value(10).toFloat();
    p.taxaEntrega = c.value(11).toFloat();
    p.modoPag = c.value(12).toInt();
    p.troco = texto(c, 14);
    p.infoFinal = texto(c, 16);
    p.descricao = texto(c, 17);
    p.cpf = texto(c, 18);
    p.foneEndereco = texto(c, 19);
    p.desconto = c.value(20).toFloat();
    return p;
}

QString PedidoCliente::textoApartamento() const
{
    if (aptoNum == 0)
        return QString(QLatin1String(""));
    return QStringLiteral("(%1-ap. %2)").arg(complemento, apto);
}

QString PedidoCliente::linhaFone() const
{
    return QStringLiteral("%1 / %2").arg(fone, foneEndereco);
}

QString PedidoCliente::linhaRua() const
{
    return QStringLiteral("Rua: %1, %2 %3").arg(rua, numero, textoApartamento());
}

QString PedidoCliente::textoPagamento() const
{
    switch (modoPag) {
    case 1: {
        QString pagamento = QStringLiteral("Pagamento em Dinheiro ");
        if (!troco.isEmpty())
            pagamento += QStringLiteral("Troco para %1").arg(troco);
        return pagamento;
    }
    case 4:
        return QStringLiteral("Máquina de Cartão: %1").arg(descricao);
    default:
        return QString(QLatin1String(""));
    }
}

float PedidoCliente::total() const
{
    const float soma = valor + taxaEntrega - desconto;
    return soma < 0 ? 0.0f : soma;
}

PedidoLinha PedidoLinha::lerColunas(const QVariantList &c)
{
    PedidoLinha l;
    l.qty = texto(c, 0);
    l.menu = texto(c, 1);
    l.tamanho = texto(c, 2);
    l.item = texto(c, 3);
    l.maxItem = c.value(4).toInt();
    l.info = texto(c, 5);
    l.tipo = c.value(6).toInt();
    l.status = c.value(7).toInt();
    l.time = c.value(8).toLongLong();
    l.data = c.value(9).toLongLong();
    return l;
}

QString PedidoLinha::textoTamanho() const
{
    return tipo == 0 ? tamanho : QString(QLatin1String(""));
}

QString PedidoLinha::textoItem() const
{
    const QString fracao = maxItem > 1 && tipo == 0 ? QStringLiteral("(1/%1)").arg(maxItem)
                                                     : QString(QLatin1String(""));
    return QStringLiteral("%1 %2").arg(fracao, item);
}

QString htmlFonte(int px)
{
    return QStringLiteral("<p style='font-size:%1px'>").arg(px);
}

QString htmlSeparador()
{
    return QStringLiteral("-----------------<br>");
}

QString htmlNegrito()
{
    return QStringLiteral("<strong>");
}

QString htmlFimNegrito()
{
    return QStringLiteral("</strong>");
}

QString textoDinheiro(float valor)
{
    return QString::number(double(valor), 'f', 2);
}

QString compoeTicket(int numpedido, qint64 data, const PedidoCliente &c, const QVector<PedidoLinha> &linhas)
{
    const QDateTime momento = QDateTime::fromSecsSinceEpoch(data, Qt::LocalTime);
    QString html = htmlNegrito();
    html += QStringLiteral("%1Pedido: %2 ").arg(htmlFonte(16)).arg(numpedido);
    html += momento.toString(QStringLiteral("(dd/MM/yy HH:mm)"));
    html += htmlFimNegrito() + htmlFonte(13);
    html += QStringLiteral("%1<br>Fone: %2<br>").arg(esc(c.nome), esc(c.linhaFone()));
    html += QStringLiteral("%1<br>").arg(esc(c.linhaRua()));
    html += QStringLiteral("%1-%2<br>").arg(esc(c.bairro), esc(c.cidade));
    if (!c.referencia.isEmpty())
        html += QStringLiteral("Referência: %1<br>").arg(esc(c.referencia));
    html += QStringLiteral("Obs. final: %1<br>").arg(esc(c.infoFinal));
    html += htmlSeparador();
    if (!c.cpf.isEmpty())
        html += QStringLiteral("CPF: %1<br>").arg(esc(c.cpf));
    html += QStringLiteral("%1Qtde |Item |Tamanho |Obs.<br>%2").arg(htmlNegrito(), htmlFimNegrito());

    // Lines of one product share a time; a time of 0 continues the first group.
    qint64 anterior = 0;
    for (const PedidoLinha &l : linhas) {
        QString qty = l.qty;
        if (l.time == anterior) {
            if (l.tipo == 0)
                qty = QStringLiteral("   ");
        } else {
            if (anterior != 0)
                html += QStringLiteral("<br>");
            anterior = l.time;
        }
        if (l.tipo == 0)
            html += QStringLiteral("%1 %2:(%3) %4 (%5)<br>")
                        .arg(esc(qty), esc(l.menu), esc(l.textoItem()), esc(l.textoTamanho()), esc(l.info));
        else
            html += QStringLiteral("%1 %2:%3 %4 (%5)<br>")
                        .arg(esc(qty), esc(l.menu), esc(l.textoTamanho()), esc(l.textoItem()), esc(l.info));
    }

    html += htmlSeparador() + htmlNegrito();
    html += QStringLiteral("Valor: R$%1<br>").arg(textoDinheiro(c.valor));
    // Whatever its sign, a discount in the total is printed, so the lines add up.
    if (c.desconto != 0)
        html += QStringLiteral("Desconto: R$%1<br>").arg(textoDinheiro(c.desconto));
    html += QStringLiteral("Taxa de Entrega: R$%1<br>").arg(textoDinheiro(c.taxaEntrega));
    html += QStringLiteral("Total: R$%1<br>").arg(textoDinheiro(c.total()));
    html += QStringLiteral("%1<br>").arg(esc(c.textoPagamento()));
    html += htmlFimNegrito() + QStringLiteral("Não é documento fiscal<br>");
    return html;
}

QVariantList colunasDa(const SqlRows &rows, int row)
{
    const QVector<QVariant> &values = rows.values.at(row);
    return QVariantList(values.cbegin(), values.cend());
}

QString ticketDasLinhas(int numpedido, const SqlRows &cliente, const SqlRows &linhas)
{
    QVector<PedidoLinha> lidas;
    for (int i = 0; i < linhas.values.size(); ++i)
        lidas.append(PedidoLinha::lerColunas(colunasDa(linhas, i)));
    const qint64 data = linhas.values.isEmpty() ? 0 : linhas.values.first().value(9).toLongLong();
    return compoeTicket(numpedido, data, PedidoCliente::lerColunas(colunasDa(cliente, 0)), lidas);
}
