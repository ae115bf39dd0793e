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

QString compoe(const QVariantList &colunas, const QVariantList &linhas, qint64 data = 0)
{
    QVector<PedidoLinha> lidas;
    for (const QVariant &l : linhas)
        lidas.append(PedidoLinha::lerColunas(l.toList()));
    return compoeTicket(7, data, PedidoCliente::lerColunas(colunas), lidas);
}

} // namespace

class TestTicket : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("TZ", "UTC"); }
    void wholeTicketInOrder();
    void composition_data();
    void composition();
};

void TestTicket::wholeTicketInOrder()
{
    QCOMPARE(compoe(cliente(), {}),
             QStringLiteral("<strong><p style='font-size:16px'>Pedido: 7 (01/01/70 00:00)</strong>"
                            "<p style='font-size:13px'>Ana<br>Fone: 1111 / 2222<br>Rua: Rua A, 10 <br>"
                            "Centro-Natal<br>Obs. final: <br>-----------------<br><strong>Qtde |Item |Tamanho "
                            "|Obs.<br></strong>-----------------<br><strong>Valor: R$30.00<br>Taxa de Entrega: "
                            "R$5.00<br>Total: R$35.00<br>Pagamento em Dinheiro <br></strong>Não é documento "
                            "fiscal<br>"));
}

void TestTicket::composition_data()
{
    QTest::addColumn<QVariantList>("colunas");
    QTest::addColumn<QVariantList>("linhas");
    QTest::addColumn<qint64>("data");
    QTest::addColumn<QString>("trecho");
    QTest::addColumn<bool>("presente");

    const QVariantList pizza{linha(1, "Pizzas", "Calabresa", 2, "sem cebola", 0, 100),
                             linha(1, "Pizzas", "Mussarela", 2, "", 0, 100),
                             linha(2, "Bebidas", "Coca", 1, "gelada", 1, 200)};
    QTest::newRow("one product, then another after an empty line")
        << cliente() << pizza << qint64(0)
        << "</strong>1 Pizzas:((1/2) Calabresa) Grande (sem cebola)<br>    Pizzas:((1/2) Mussarela) Grande ()<br>"
           "<br>2 Bebidas:  Coca (gelada)<br>-----"
        << true;
    QTest::newRow("first line at time 0 continues") << cliente() << QVariantList{linha(1, "Pizzas", "Calabresa", 1, "", 0, 0)}
                                                     << qint64(0) << "</strong>    Pizzas:( Calabresa) Grande ()<br>" << true;
    QTest::newRow("moment after 2038") << cliente() << QVariantList{} << qint64(2200000000) << "(18/09/39 23:06)" << true;
    QTest::newRow("no reference line") << cliente() << QVariantList{} << qint64(0) << "Referência" << false;
    QTest::newRow("reference") << cliente({{9, "Praça"}}) << QVariantList{} << qint64(0) << "Natal<br>Referência: Praça<br>" << true;
    QTest::newRow("no CPF line") << cliente() << QVariantList{} << qint64(0) << "CPF" << false;
    QTest::newRow("CPF") << cliente({{18, "123"}}) << QVariantList{} << qint64(0) << "-<br>CPF: 123<br><strong>" << true;
    QTest::newRow("no zero discount") << cliente() << QVariantList{} << qint64(0) << "Desconto" << false;
    QTest::newRow("discount") << cliente({{20, 5.5}}) << QVariantList{} << qint64(0)
                              << "Valor: R$30.00<br>Desconto: R$5.50<br>Taxa de Entrega: R$5.00<br>Total: R$29.50<br>" << true;
    QTest::newRow("total never negative") << cliente({{20, 40.0}}) << QVariantList{} << qint64(0) << "Total: R$0.00<br>" << true;
    QTest::newRow("apartment") << cliente({{5, "12"}, {7, "Bloco B"}}) << QVariantList{} << qint64(0)
                               << "Rua: Rua A, 10 (Bloco B-ap. 12)<br>" << true;
    QTest::newRow("cash with change") << cliente({{14, "50"}}) << QVariantList{} << qint64(0)
                                      << "Pagamento em Dinheiro Troco para 50<br>" << true;
    QTest::newRow("card machine") << cliente({{12, 4}, {17, "Visa"}}) << QVariantList{} << qint64(0)
                                  << "Máquina de Cartão: Visa<br>" << true;
    QTest::newRow("other payment, empty line") << cliente({{12, 2}}) << QVariantList{} << qint64(0)
                                               << "R$35.00<br><br></strong>" << true;
    QTest::newRow("placeholder in a name") << cliente({{0, "%1 %2"}}) << QVariantList{} << qint64(0)
                                           << "%1 %2<br>Fone: 1111 / 2222<br>" << true;
    QTest::newRow("markup in a name") << cliente({{0, "<h1>Ana & Bia</h1>"}}) << QVariantList{} << qint64(0)
                                      << "&lt;h1&gt;Ana &amp; Bia&lt;/h1&gt;<br>" << true;
    QTest::newRow("markup in the remark") << cliente({{16, "motivo:</strong><!--"}}) << QVariantList{} << qint64(0)
                                          << "Obs. final: motivo:&lt;/strong&gt;&lt;!--<br>" << true;
    QTest::newRow("markup in the address") << cliente({{3, "A<br>B"}, {6, "<s>C</s>"}}) << QVariantList{} << qint64(0)
                                           << "Rua: A&lt;br&gt;B, 10 <br>&lt;s&gt;C&lt;/s&gt;-Natal" << true;
    QTest::newRow("markup in a line") << cliente() << QVariantList{linha(1, "M&M", "<i>X</i>", 1, "a<b", 1, 5)}
                                      << qint64(0) << "1 M&amp;M:  &lt;i&gt;X&lt;/i&gt; (a&lt;b)<br>" << true;
}

void TestTicket::composition()
{
    QFETCH(QVariantList, colunas);
    QFETCH(QVariantList, linhas);
    QFETCH(qint64, data);
    QFETCH(QString, trecho);
    QFETCH(bool, presente);
    const QString html = compoe(colunas, linhas, data);
    QVERIFY2(html.contains(trecho) == presente, qPrintable(html));
}

QTEST_MAIN(TestTicket)
#include "tst_ticket.moc"
