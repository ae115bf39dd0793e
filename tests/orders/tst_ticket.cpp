#include "ticket.h"

#include <QtTest>

namespace {

// A customer row by column position, with some columns replaced.
QVariantList cliente(const QHash<int, QVariant> &mudancas = {})
{
    QVariantList c{"Ana", "1111", "Casa", "Rua A", "10", 0, "Centro", "", "Natal", "", 30.0,
                   5.0, 1, "", "", 0, "", "", "", "2222", 0.0};
    for (auto it = mudancas.cbegin(); it != mudancas.cend(); ++it)
        c[it.key()] = it.value();
    return c;
}

QVariantList linha(int qty, const QString &menu, const QString &item, int maxItem, const QString &info, int tipo,
                   qint64 time)
{
    return {qty, menu, "Grande", item, maxItem, info, tipo, 0, time, 0};
}

} // namespace

class TestTicket : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("TZ", "UTC"); }

    void composition_data()
    {
        QTest::addColumn<QVariantList>("colunas");
        QTest::addColumn<QVariantList>("linhas");
        QTest::addColumn<qint64>("data");
        QTest::addColumn<QString>("trecho");
        const auto row = [](const char *name, const QVariantList &colunas, const QString &trecho,
                            const QVariantList &linhas = {}, qint64 data = 0) {
            QTest::newRow(name) << colunas << linhas << data << trecho;
        };

        row("whole ticket in order", cliente(),
            "<strong><p style='font-size:16px'>Pedido: 7 (01/01/70 00:00)</strong><p style='font-size:13px'>Ana<br>Fone: "
            "1111 / 2222<br>Rua: Rua A, 10 <br>Centro-Natal<br>Obs. final: <br>-----------------<br><strong>Qtde |Item "
            "|Tamanho |Obs.<br></strong>-----------------<br><strong>Valor: R$30.00<br>Taxa de Entrega: R$5.00<br>Total: "
            "R$35.00<br>Pagamento em Dinheiro <br></strong>Não é documento fiscal<br>");
        row("one product, then another after an empty line", cliente(),
            "</strong>1 Pizzas:((1/2) Calabresa) Grande (sem cebola)<br>    Pizzas:((1/2) Mussarela) Grande ()<br>"
            "<br>2 Bebidas:  Coca (gelada)<br>-----",
            {linha(1, "Pizzas", "Calabresa", 2, "sem cebola", 0, 100), linha(1, "Pizzas", "Mussarela", 2, "", 0, 100),
             linha(2, "Bebidas", "Coca", 1, "gelada", 1, 200)});
        row("first line at time 0 continues", cliente(), "</strong>    Pizzas:( Calabresa) Grande ()<br>",
            {QVariant(linha(1, "Pizzas", "Calabresa", 1, "", 0, 0))});
        row("moment after 2038", cliente(), "(18/09/39 23:06)", {}, 2200000000);
        // Fragments of one ticket are separated by "\n", which a ticket never holds.
        row("optional lines", cliente({{5, "12"}, {7, "Bloco B"}, {9, "Praça"}, {14, "50"}, {18, "123"}, {20, 5.5}}),
            "Rua: Rua A, 10 (Bloco B-ap. 12)<br>\nNatal<br>Referência: Praça<br>\n-<br>CPF: 123<br><strong>\n"
            "R$30.00<br>Desconto: R$5.50<br>Taxa de Entrega: R$5.00<br>Total: R$29.50<br>Pagamento em Dinheiro Troco para 50<br>");
        row("negative discount printed", cliente({{20, -5.0}}), "R$30.00<br>Desconto: R$-5.00<br>Taxa de Entrega: R$5.00<br>Total: R$40.00<br>");
        row("total never negative", cliente({{20, 40.0}}), "Total: R$0.00<br>");
        row("card machine", cliente({{12, 4}, {17, "Visa"}}), "Máquina de Cartão: Visa<br>");
        row("other payment, empty line", cliente({{12, 2}}), "R$35.00<br><br></strong>");
        row("placeholder in a name", cliente({{0, "%1 %2"}}), "%1 %2<br>Fone: 1111 / 2222<br>");
        row("markup as text", cliente({{0, "<h1>Ana & Bia</h1>"}, {16, "motivo:</strong><!--"}, {3, "A<br>B"}, {6, "<s>C</s>"}}),
            "&lt;h1&gt;Ana &amp; Bia&lt;/h1&gt;<br>\nRua: A&lt;br&gt;B, 10 <br>&lt;s&gt;C&lt;/s&gt;-Natal\n"
            "Obs. final: motivo:&lt;/strong&gt;&lt;!--<br>\n1 M&amp;M:  &lt;i&gt;X&lt;/i&gt; (a&lt;b)<br>",
            {QVariant(linha(1, "M&M", "<i>X</i>", 1, "a<b", 1, 5))});
    }

    void composition()
    {
        QFETCH(QVariantList, colunas);
        QFETCH(QVariantList, linhas);
        QFETCH(qint64, data);
        QFETCH(QString, trecho);
        QVector<PedidoLinha> lidas;
        for (const QVariant &l : linhas)
            lidas.append(PedidoLinha::lerColunas(l.toList()));
        const QString html = compoeTicket(7, data, PedidoCliente::lerColunas(colunas), lidas);
        // The whole ticket, when given, is all there is.
        QVERIFY2(!trecho.startsWith("<strong>") || html == trecho, qPrintable(html));
        for (const QString &fragment : trecho.split('\n'))
            QVERIFY2(html.contains(fragment), qPrintable(fragment + " not in " + html));
    }
};

QTEST_MAIN(TestTicket)
#include "tst_ticket.moc"
