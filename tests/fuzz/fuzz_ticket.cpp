#include "fuzz.h"
#include "ticket.h"

// Hostile row values: markup, placeholders, zero bytes, long texts, any amount.
void fuzzOne(const QByteArray &, FuzzedDataProvider &in)
{
    QVariantList row;
    for (int i = 0; i < 21; ++i)
        row << (i == 10 || i == 11 || i == 20 ? QVariant(in.ConsumeFloatingPoint<float>()) : QVariant(fuzzText(in)));
    row[12] = in.ConsumeIntegralInRange(0, 5);
    const PedidoCliente c = PedidoCliente::lerColunas(row);
    QVector<PedidoLinha> lines(in.ConsumeIntegralInRange(0, 4));
    for (PedidoLinha &l : lines)
        l = PedidoLinha::lerColunas({fuzzText(in), fuzzText(in), fuzzText(in), fuzzText(in), in.ConsumeIntegral<int>(),
                                     fuzzText(in), in.ConsumeBool(), 0, in.ConsumeIntegralInRange(0, 3), 0});
    const QString html = compoeTicket(in.ConsumeIntegral<int>(), in.ConsumeIntegral<qint64>(), c, lines);
    // No value adds markup of its own; the name prints as typed.
    static const QRegularExpression ownTags(QStringLiteral("<(/?strong|br|p style='font-size:1[36]px')>"));
    FUZZ_CHECK(!QString(html).remove(ownTags).contains(QLatin1Char('<')) && html.contains(c.nome.toHtmlEscaped() + "<br>Fone: "));
    // The total is what the amounts printed above it add up to.
    const QString sums = html.mid(html.lastIndexOf(QStringLiteral("<strong>Valor: R$")));
    const float discount = sums.contains(QStringLiteral("<br>Desconto: R$")) ? c.desconto : 0;
    FUZZ_CHECK(sums.contains("Total: R$" + textoDinheiro(qMax(0.0f, c.valor + c.taxaEntrega - discount)) + "<br>"));
    // Laid out for printing, the ticket still ends where it should.
    QTextDocument document;
    document.setHtml(html);
    FUZZ_CHECK(document.toPlainText().trimmed().endsWith(QStringLiteral("Não é documento fiscal")));
}
