#include "fuzz.h"
#include "ticket.h"

#include <QRegularExpression>
#include <QTextDocument>

// Hostile row values: markup, placeholders, zero bytes, long texts, any amount.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
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
    // No value adds markup of its own, and each prints as typed.
    static const QRegularExpression ownTags(QStringLiteral("<(/?strong|br|p style='font-size:1[36]px')>"));
    FUZZ_CHECK(!QString(html).remove(ownTags).contains(QRegularExpression(QStringLiteral("[<>]"))));
    FUZZ_CHECK(html.contains(c.nome.toHtmlEscaped() + QStringLiteral("<br>Fone: ")));
    // The total is what the amounts printed above it add up to.
    const QString sums = html.mid(html.lastIndexOf(QStringLiteral("<strong>Valor: R$")));
    const float shown = sums.contains(QStringLiteral("<br>Desconto: R$")) ? c.desconto : 0;
    FUZZ_CHECK(sums.contains(QStringLiteral("Total: R$%1<br>").arg(textoDinheiro(qMax(0.0f, c.valor + c.taxaEntrega - shown)))));
    // Laid out for printing, the ticket still ends where it should.
    QTextDocument document;
    document.setHtml(html);
    FUZZ_CHECK(document.toPlainText().trimmed().endsWith(QStringLiteral("Não é documento fiscal")));
    return 0;
}
