#include "connectivity.h"
#include "amqptestsupport.h"
#include "operatoractions.h"
#include "orderrows.h"
#include "printedtickets.h"

// "1" for each enabled button of aprovar, cancelar, entrega, imprimir.
static QString enabled(QWidget *p)
{
    QString flags;
    for (const char *name : {"pushButton_aprovar", "pushButton_cancelar", "pushButton_entrega", "pushButton_imprimir"})
        flags += p->findChild<QPushButton *>(name)->isEnabled() ? '1' : '0';
    return flags;
}

class TestPedido : public StoreFixture
{
    Q_OBJECT

private slots:
    void init()
    {
        StoreFixture::init();
        QTRY_VERIFY_WITH_TIMEOUT(consumer.isReady(), 15000);
        TestEnv::useDatabase(connectionSettings);   // after a test that broke it
        links.setInternet(true);
        connectionSettings.printerList = QStringList{TestEnv::value("TRV_PRINTER1")};
        printed.mark();   // every file there now came from earlier tests
        consumer.payloads.clear();
        noNewOrder = false;
    }

    void loading_data()
    {
        QTest::addColumn<QString>("change");    // statements, ';' between them
        QTest::addColumn<QString>("widgets");   // labels, "rows" (the table past its first row) or "buttons"
        QTest::addColumn<QString>("expected");
        // Each label once; the texts themselves are the ticket's, checked there.
        QTest::newRow("labels") << "update endereco set apto_num='12', complemento='Bloco B';update pedido set modo_pag=4, "
                                   "desconto=40;update usuarios set cpf='123', nome_user='<h1>Ana</h1>'"
                                << "label_rua label_pagamento label_total label_desconto label_cpf label_obsfinal label_nome"
                                << "Rua: Rua A, 10 (Bloco B-ap. 12)|Máquina de Cartão: Visa|Total: R$0.00|Desconto: R$40.00|"
                                   "CPF:123|Obs. final:sem troco|<h1>Ana</h1>";
        QTest::newRow("two flavours, tipo 1") << "" << "rows" << "1|Pizzas|Grande|(1/2) Mussarela||2|Pizzas|| Coca|gelada";
        QTest::newRow("status 2") << "update pedido set status=2" << "buttons" << "1111";
        QTest::newRow("status 3") << "update pedido set status=3" << "buttons" << "0001";
        QTest::newRow("another store's") << "update pedido set id_pizzaria=id_pizzaria+1" << "buttons"
                                         << "0000 Pedido|Pedido não encontrado!!!";
    }

    void loading()
    {
        QFETCH(QString, change);
        QFETCH(QString, widgets);
        const int order = insertFullOrder(*db, store, 0);
        for (const QString &statement : change.split(';'))
            QVERIFY2(statement.isEmpty() || db->exec(statement), qPrintable(db->lastError()));
        std::unique_ptr<Pedido> p;
        const QStringList vistas = respondendo({"OK"}, [&] { p = abre(order); });

        QStringList shown;
        if (widgets == "buttons") {
            shown << (QStringList(enabled(p.get())) + vistas).join(' ');
        } else if (widgets == "rows") {
            auto *table = p->findChild<QTableWidget *>();   // past its first row, cell by cell
            for (int cell = table->columnCount(); cell < table->rowCount() * table->columnCount(); ++cell)
                shown << table->item(cell / table->columnCount(), cell % table->columnCount())->text();
        } else {
            for (const QString &name : widgets.split(' ')) {
                auto *label = p->findChild<QLabel *>(name);
                shown << (label->textFormat() == Qt::PlainText ? label->text() : "rich text");
            }
        }
        QFETCH(QString, expected);
        QCOMPARE(shown.join('|'), expected);
    }

    void actions_data()
    {
        QTest::addColumn<int>("initial");
        QTest::addColumn<QStringList>("printers");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("answers");
        // status|info_final; code announced (0: none); noNewOrder; buttons enabled; titles of
        // the boxes seen; tickets printed on each queue; a text the boxes hold
        QTest::addColumn<QString>("expected");
        // "internet", "internet later" (lost while the operator confirms), "closed while writing", "web 4" (the customer
        // cancels once the dialog showed the order), "other console" (approves it first, unheard
        // here), or a printer that refuses jobs
        QTest::addColumn<QString>("fault");

        const QString p1 = TestEnv::value("TRV_PRINTER1"), p2 = TestEnv::value("TRV_PRINTER2");
        const QStringList one{p1}, two{p1, p2};
        const auto row = [](const char *name, int initial, const QStringList &printers, const char *action,
                            const QStringList &answers, const QString &expected, const QString &fault = "") {
            QTest::newRow(name) << initial << printers << action << answers << expected << fault;
        };
        row("approve prints on both queues, closed meanwhile", 0, two, "aprovar", {"Sim"}, "1|sem troco;1;1;0001;Aprovar Pedido;11;",
            "closed while writing");
        row("approve, a printer not installed", 0, {"Nenhuma", p2}, "aprovar", {"Sim", "OK"},
            "1|sem troco;1;1;0001;Aprovar Pedido,Imprimir;01;\"Nenhuma\" não está instalada");
        row("print, a queue refusing", 0, two, "imprimir", {"OK"}, "0|sem troco;0;0;1101;Imprimir;10;" + p2 + "\" não imprimiu",
            p2);
        row("print, none configured: the operator is asked", 0, {}, "imprimir", {""}, "0|sem troco;0;0;1101;Imprimir Pedido;00;");
        row("print, the settings' line of none", 0, {"", ""}, "imprimir", {""}, "0|sem troco;0;0;1101;Imprimir Pedido;00;");
        row("approve, the Internet lost while confirming", 0, two, "aprovar", {"Sim"},
            "1|sem troco;1;1;0001;Aprovar Pedido;11;", "internet later");
        row("approve, Não", 0, one, "aprovar", {"Não"}, "0|sem troco;0;0;1101;Aprovar Pedido;00;");
        row("cancel with a reason", 0, one, "cancelar", {"Sim", "cliente <desistiu>"},
            "2|motivo:cliente <desistiu>;2;1;0001;Cancelar Pedido,Dialog;00;");
        row("cancel, reason closed", 0, one, "cancelar", {"Sim", ""}, "0|sem troco;0;0;1101;Cancelar Pedido,Dialog;00;");
        row("deliver", 1, one, "entrega", {}, "3|sem troco;3;0;0001;;00;");
        row("no Internet", 0, one, "aprovar", {"OK"}, "0|sem troco;0;0;1101;Internet;00;Erro de Internet", "internet");
        row("no Internet, deliver", 1, one, "entrega", {"OK"}, "1|sem troco;0;0;0011;Internet;00;Erro de Internet", "internet");
        // Written only over the status shown; the dialog then shows the order as it now is.
        const QString changed = "O pedido foi alterado enquanto esta janela estava aberta.";
        row("approve over a cancel on the web", 0, two, "aprovar", {"Sim", "OK"}, "4|sem troco;0;0;1111;Aprovar Pedido,Pedido;00;" + changed, "web 4");
        row("deliver over a cancel on the web", 1, one, "entrega", {"OK"}, "4|sem troco;0;0;1111;Pedido;00;" + changed, "web 4");
        row("approved first at another console", 0, two, "aprovar", {"Sim", "OK"}, "1|sem troco;1;1;0011;Aprovar Pedido,Pedido;11;" + changed,
            "other console");
        // Enter on "Sim", again 0.15 s later, then held: one ticket per printer.
        row("Enter twice and held", 0, two, "aprovar", {"Enter"}, "1|sem troco;1;1;0001;Aprovar Pedido;11;");
    }

    void actions()
    {
        QFETCH(int, initial);
        QFETCH(QStringList, printers);
        QFETCH(QString, action);
        QFETCH(QString, expected);
        QFETCH(QString, fault);
        connectionSettings.printerList = printers;
        QVERIFY(fault.isEmpty() || !printers.contains(fault) || QProcess::execute("cupsreject", {fault}) == 0);
        const int order = insertFullOrder(*db, store, initial);
        auto p = abre(order);
        QApplication::setActiveWindow(p.get());   // as the operator's click leaves it
        if (fault == "other console")
            respondendo({"Sim"}, [&] { clica(abre(order).get(), "pushButton_aprovar"); });
        QVERIFY(fault != "web 4" || db->exec("update pedido set status=4 where id_pedido=:p", {{":p", order}}));
        links.setInternet(fault != "internet");
        QFETCH(QStringList, answers);
        bool openWhileWriting = true;
        const QStringList vistas = respondendo(answers, [&] {
            if (fault != "closed while writing")
                return clica(p.get(), "pushButton_" + action);
            QTest::mouseClick(p->findChild<QPushButton *>("pushButton_" + action), Qt::LeftButton);
            p->reject();   // Escape as the write goes out
            openWhileWriting = p->isVisible();
            respondido(p.get());
        }, [&](QWidget *) {
            if (fault == "internet later")
                links.setInternet(false);
        });

        QStringList titles;
        for (const QString &v : vistas)
            titles << v.section('|', 0, 0);
        const int code = expected.section(';', 1, 1).toInt();
        QCOMPARE(QStringList({status(order), QString::number(code), QString::number(noNewOrder), enabled(p.get()),
                              titles.join(',')}).join(';'), expected.section(';', 0, 4));
        QVERIFY2(vistas.join('\n').contains(expected.section(';', 6)), qPrintable(vistas.join('\n')));
        QVERIFY(openWhileWriting && (fault != "closed while writing" || !p->isVisible()));
        if (code)
            QTRY_COMPARE_WITH_TIMEOUT(mensagens(order, code), 1, 10000);
        const auto copias = [this] { return QString::number(printed.since(1).size()) + QString::number(printed.since(2).size()); };
        QTRY_COMPARE_WITH_TIMEOUT(copias(), expected.section(';', 5, 5), 30000);
        QTest::qWait(1000);
        QCOMPARE(copias(), expected.section(';', 5, 5));
        QCOMPARE(consumer.payloads.size(), code ? 1 : 0);
        confereTickets(order);
    }

    void brokerTrouble()
    {
        BrokerRelay relay(static_cast<quint16>(TestEnv::amqpPort()), 0);
        const quint16 port = relay.serverPort();
        const int order = insertFullOrder(*db, store, 2);
        auto p = abre(order, port);
        respondendo({"Sim", "x"}, [&] { clica(p.get(), "pushButton_cancelar"); });
        QTRY_COMPARE_WITH_TIMEOUT(mensagens(order, 2), 1, 10000);

        // A lost connection never quits (that would end this loop early); the client reconnects
        // by itself and the next action goes out once.
        relay.cut();
        QEventLoop loop;
        QTimer::singleShot(3000, &loop, [&loop] { loop.exit(7); });
        QCOMPARE(loop.exec(), 7);
        clica(p.get(), "pushButton_entrega");
        QTRY_COMPARE_WITH_TIMEOUT(mensagens(order, 3), 1, 20000);

        // Written while the broker is away, a status goes out after its dialog closed; then
        // the client closes its one connection and is gone.
        relay.close();
        const int late = insertFullOrder(*db, store, 1);
        p = abre(late, port);
        clica(p.get(), "pushButton_entrega");
        QCOMPARE(status(late), QString("3|sem troco"));
        p.reset();
        const int connections = relay.connections();
        QVERIFY(relay.listen(QHostAddress::LocalHost, port));
        QTRY_COMPARE_WITH_TIMEOUT(mensagens(late, 3), 1, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(relay.findChildren<QTcpSocket *>(QString(), Qt::FindDirectChildrenOnly).isEmpty(), 10000);
        QTest::qWait(1500);
        QCOMPARE(relay.connections(), connections + 1);
        QCOMPARE(consumer.payloads.size(), 3);
    }

    void fromTheConsole()
    {
        RunningConsole c(QStringLiteral("dono"), QStringLiteral("segredo"));
        QVERIFY(c.ready());
        connectionSettings.printerList = QStringList{TestEnv::value("TRV_PRINTER1"), TestEnv::value("TRV_PRINTER2")};
        // An empty number refreshes the list.
        const int rang = insertFullOrder(*db, store, 0);
        QVERIFY(!c.lists(rang));
        QVERIFY(respondendo({"OK"}, [&] { clica(c.window(), "pushButton_numpedido"); }).isEmpty());
        QTRY_VERIFY(c.lists(rang));

        // The order that just rang, opened by a double-click and approved after a moment's
        // reading: one message, a copy on each printer, and its echo closes the dialog.
        const auto anunciaNovo = [&](int order) {
            c.clearAlarm();
            QVERIFY(c.publish({QString("pedido_novo:%1:%2:0").arg(store).arg(order)}));
            // The sound may still be playing from the order before.
            QTRY_VERIFY_WITH_TIMEOUT(c.lists(order) && (c.alarmStarted() || c.alarmPlaying()), 10000);
        };
        // Opens the order by a double-click, lets lendo see its dialog, then approves; the
        // dialog must be answered before 15 s, or the answers come back as "timed out".
        bool timedOut = false;
        QPointer<QWidget> pedido;
        const auto aprovaAberto = [&](int order, const QStringList &answers, const std::function<void(QWidget *)> &lendo,
                                      const std::function<void(QWidget *)> &antes) {
            ModalAnswer dialog([&](QWidget *modal) {
                pedido = modal;
                QTimer::singleShot(15000, modal, [&timedOut, modal] { timedOut = modal->close(); });
                lendo(modal);
                QTimer::singleShot(0, modal, [modal] { clica(modal, "pushButton_aprovar"); });
            });
            const QStringList vistas = respondendo(answers, [&] { doubleClick(c, order); }, antes);
            return dialog.seen() && !timedOut ? vistas : QStringList{"timed out"};
        };
        const int first = insertFullOrder(*db, store, 0);
        anunciaNovo(first);
        QCOMPARE(aprovaAberto(first, {"Sim"}, [](QWidget *) {}, [](QWidget *) { QTest::qWait(1500); }),
                 QStringList{QString("Aprovar Pedido|Confirma aprovar pedido %1").arg(first)});
        // Both copies first, so that any copy of the next order would show.
        QTRY_COMPARE_WITH_TIMEOUT(printed.since(1).size() + printed.since(2).size(), 2, 30000);
        QCOMPARE(mensagens(first, 1), 1);

        // The next one stays open through its own announcement, a store status that names its
        // number, and another store's news of that number; an approval answered after the
        // service approved it meanwhile writes, prints and announces nothing.
        const int second = insertFullOrder(*db, store, 0);
        anunciaNovo(second);
        bool stillOpen = false;
        const QStringList vistas = aprovaAberto(second, {"Sim", "OK"}, [&](QWidget *modal) {
            QVERIFY(c.publish({QString("pedido_novo:%1:%2:0").arg(store).arg(second),
                               QString("statussite:%1:%2:5").arg(store).arg(second),
                               QString("aprovado:%1:%2:1").arg(otherStore).arg(second),
                               QString("closeloja:%1:%2:4").arg(otherStore).arg(second)}));
            QTest::qWait(3500);
            stillOpen = modal->isVisible();
        }, [&](QWidget *box) {
            if (box->windowTitle() != "Aprovar Pedido")
                return;
            QVERIFY(c.publish({QString("aprovado:%1:%2:1").arg(store).arg(second)}));
            QTRY_VERIFY_WITH_TIMEOUT(!pedido || !pedido->isVisible(), 5000);
        });
        QVERIFY(stillOpen);
        QCOMPARE(vistas.value(1), QString("Pedido|O pedido foi alterado enquanto esta janela estava aberta."));
        QCOMPARE(status(second), QString("0|sem troco"));
        QTest::qWait(1500);
        QCOMPARE(mensagens(second, 1), 0);
        QCOMPARE(printed.since(1).size() + printed.since(2).size(), 2);

        // Without the Internet a double-click opens nothing.
        c.probe().setMode(LocalProbePage::EmptyBody);
        QTRY_COMPARE_WITH_TIMEOUT(c.label("label_conexaoIinternet"), QString("Internet NOK"), 10000);
        QCOMPARE(respondendo({"OK"}, [&] { doubleClick(c, second); }), QStringList{"Internet|Erro de Internet!!!"});
    }

private:
    std::unique_ptr<Pedido> abre(int order, quint16 port = 0)
    {
        auto p = std::make_unique<Pedido>();
        p->setConnectivity(&links);
        p->CarregarPedido(order, store, &noNewOrder);
        p->SetAmqp(TestEnv::dbHost(), TestEnv::amqpVirtualHost(), QString::number(port ? port : TestEnv::amqpPort()),
                   TestEnv::amqpUser(), TestEnv::amqpPassword());
        p->show();
        respondido(p.get());
        return p;
    }

    QString status(int order)
    {
        return db->scalar("select concat(status, '|', info_final) from pedido where id_pedido=:p", {{":p", order}}).toString();
    }

    int mensagens(int order, int code)
    {
        return consumer.payloads.count(QString("status:%1:%2:%3").arg(store).arg(order).arg(code).toUtf8());
    }

    // Every ticket printed since the test began is this order's, dated with its own moment.
    void confereTickets(int order)
    {
        const QString moment = QDateTime::fromSecsSinceEpoch(db->scalar("select data from pedido where id_pedido=:p",
                                                                      {{":p", order}}).toLongLong())
                                   .toString("(dd/MM/yy HH:mm)");
        for (const QString &text : printed.texts(1) + printed.texts(2))
            QVERIFY2(text.contains(QString("Pedido: %1 %2").arg(order).arg(moment)) && text.contains("(1/2) Calabresa")
                         && text.contains("Não é documento"), qPrintable(text));
    }

    ChainReceiver consumer;
    PrintedTickets printed;
    bool noNewOrder = false;
    Connectivity links;
};

QTEST_MAIN(TestPedido)
#include "tst_pedido.moc"
