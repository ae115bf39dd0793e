#include "connectionsettings.h"
#include "dbfixture.h"
#include "resumodia.h"
#include "printedtickets.h"

#include <QtTest>
#include <QtWidgets>

class TestDaySummary : public QObject
{
    Q_OBJECT

private slots:
    void summary_data()
    {
        QTest::addColumn<QString>("orders");     // (id, store: 7 is read, moment, status, modo_pag, valor, desconto, taxa, troco, info)
        QTest::addColumn<int>("chosenDay");      // picked by the operator, in days from the one of @d (its start) to @e
        QTest::addColumn<QString>("expected");   // parts of the summary, '|' between them
        QTest::newRow("every status and form") << "(1,7,@d,0,1,10.00,0,5.00,'Troco para 50',''),(2,7,@d+3600,1,4,42.50,"
            "2.50,0,NULL,''),(3,7,@d+7200,3,1,33.33,NULL,6.67,' ',''),(4,7,@d+9000,2,1,99.99,0,5,'Troco para 100',"
            "'motivo:Cliente desistiu'),(5,7,@d+9999,4,4,20,0,0,NULL,'Fora da área'),(6,7,@e-1,3,2,0.29,1.00,0.50,NULL,'')"
            << 0 << "Pedidos: 6 Novos: 1 Aprovados: 1 Entregues: 2 Cancelados: 2 Pedidos não cancelados: 4 Valor: R$86.12 "
                    "Desconto: R$3.50 Taxa de Entrega: R$12.17 Total: R$95.00 Pagamento em Dinheiro: 2 pedido(s) Valor: R$43.33 "
                    "Desconto: R$0.00 Taxa de Entrega: R$11.67 Total: R$55.00 Outra forma de pagamento (2): 1 pedido(s) Valor: R$0.29 "
                    "Desconto: R$1.00 Taxa de Entrega: R$0.50 Total: R$0.00 Máquina de Cartão: 1 pedido(s) Valor: R$42.50 "
                    "Desconto: R$2.50 Taxa de Entrega: R$0.00 Total: R$40.00 Troco pedido em dinheiro: Pedido 1 (Total: R$15.00): "
                    "Troco para 50 Cancelados: Pedido 4: Cliente desistiu Pedido 5: Fora da área";
        QTest::newRow("a float's sum drifts") << "(1,7,@d,1,1,65536.01,0,0,NULL,''),(2,7,@d+1,3,1,4321.09,0,0,NULL,'')"
                                              << 0 << "Valor: R$69857.10|Total: R$69857.10";
        const QString around("(1,8,@d+10,1,1,5,0,0,NULL,''),(2,7,@d-1,1,1,7,0,0,NULL,''),(3,7,@e,1,1,9,0,0,NULL,'')");
        QTest::newRow("another store's, the days around") << around << 0 << "Pedidos: 0 |Total: R$0.00";
        QTest::newRow("the day before, chosen") << around << -1 << "Pedidos: 1 |Valor: R$7.00";
        QTest::newRow("the day after, chosen") << around << 1 << "Pedidos: 1 |Valor: R$9.00";
        QTest::newRow("read fails") << "" << 0 << "Não foi possível ler os pedidos do dia:";
    }

    void summary()
    {
        QFETCH(QString, orders);
        QFETCH(int, chosenDay);
        DbFixture db;
        QVERIFY2(db.clearAll(), qPrintable(db.lastError()));
        TestEnv::useDatabase(connectionSettings);
        connectionSettings.printerList = QStringList{TestEnv::value("TRV_PRINTER1"), TestEnv::value("TRV_PRINTER2")};
        const QDate first(2024, 3, 8), day = first.addDays(chosenDay);
        const auto start = [](const QDate &d) { return QString::number(d.startOfDay().toSecsSinceEpoch()); };
        orders.replace("@d", start(first)).replace("@e", start(first.addDays(1)));
        QVERIFY2(orders.isEmpty() || db.exec("insert into pedido (id_pedido, id_pizzaria, data, status, modo_pag, valor, desconto, "
                                             "taxa_entrega, troco_txt, info_final) values " + orders), qPrintable(db.lastError()));
        connectionSettings.dbPort = orders.isEmpty() ? "1" : connectionSettings.dbPort;
        ResumoDia dialog;
        dialog.show();
        dialog.Inicializa(7, first);
        auto *state = dialog.findChild<QLabel *>("label_estado");
        auto *print = dialog.findChild<QPushButton *>("pushButton_imprimir");
        QVERIFY(state->text() == "Lendo pedidos..." && !print->isEnabled());   // open at once, filled in later
        QTRY_VERIFY(state->text() != "Lendo pedidos...");
        if (chosenDay)
            QTest::keyClicks(dialog.findChild<QDateEdit *>(), day.toString("ddMMyyyy"));
        QTRY_VERIFY(state->text() != "Lendo pedidos..." && print->isEnabled() != orders.isEmpty());
        QStringList texts{state->text() + ' ' + dialog.findChild<QPlainTextEdit *>()->toPlainText()};
        if (!orders.isEmpty()) {   // one copy, on the first printer only, holding the same figures
            const PrintedTickets printed;
            QTest::mouseClick(print, Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(printed.since(1).size(), 1, 20000);
            QTest::qWait(1000);
            QVERIFY(printed.since(2).isEmpty());
            texts << printed.texts(1);
        }
        QFETCH(QString, expected);
        for (const QString &text : texts)
            for (const QString &part : expected.split('|'))
                QVERIFY2(text.simplified().contains(part), qPrintable(part + " not in " + text));
    }
};

QTEST_MAIN(TestDaySummary)
#include "tst_daysummary.moc"
