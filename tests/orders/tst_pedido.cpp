#include "amqptestsupport.h"
#include "orderrows.h"
#include "pedido.h"
#include "runningconsole.h"

#include <QtWidgets>

#include <memory>

namespace {

// Answers the modal windows in the order they open and keeps "title|text" of
// each: "Sim", "Não" and "OK" press that button, "" closes the window, other
// text is typed as the reason. An order dialog run by the console is left alone.
class Respostas : public QObject
{
public:
    explicit Respostas(const QStringList &lista) : fila(lista)
    {
        connect(&timer, &QTimer::timeout, this, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal || modal == ultimo || fila.isEmpty() || qobject_cast<Pedido *>(modal))
                return;
            ultimo = modal;
            auto *box = qobject_cast<QMessageBox *>(modal);
            vistas << modal->windowTitle() + '|' + (box ? box->text() : QString());
            const QString texto = fila.takeFirst();
            if (texto.isEmpty())
                return (void)modal->close();
            if (auto *reason = modal->findChild<QLineEdit *>(QStringLiteral("lineEdit_frase"))) {
                reason->setText(texto);
                return modal->findChild<QPushButton *>(QStringLiteral("pushButton"))->click();
            }
            for (QAbstractButton *b : modal->findChildren<QAbstractButton *>())
                if (b->text().remove('&') == texto)
                    return b->click();
            QFAIL(qPrintable(QStringLiteral("no button %1 on %2").arg(texto, modal->windowTitle())));
        });
        timer.start(20);
    }
    QStringList vistas;

private:
    QStringList fila;
    QPointer<QWidget> ultimo;
    QTimer timer;
};

QStringList pdfs(const char *dirVariable)
{
    QStringList files;
    QDirIterator it(TestEnv::value(dirVariable), {QStringLiteral("*.pdf")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    return files;
}

QPushButton *button(QWidget *w, const QString &name)
{
    return w->findChild<QPushButton *>(name);
}

// "1" for each enabled button of aprovar, cancelar, entrega, imprimir, the first count of them.
QString enabled(QWidget *p, int count)
{
    QString flags;
    for (const char *name : {"pushButton_aprovar", "pushButton_cancelar", "pushButton_entrega", "pushButton_imprimir"})
        flags += button(p, name)->isEnabled() ? '1' : '0';
    return flags.left(count);
}

void doubleClick(RunningConsole &c, int order)
{
    auto *view = c.window()->findChild<QTableView *>(QStringLiteral("tableView_pedidos"));
    const int row = c.listedOrders().indexOf(order);
    QVERIFY(row >= 0);
    const QPoint cell = view->visualRect(view->model()->index(row, 2)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell);
}

} // namespace

class TestPedido : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void loading_data();
    void loading();
    void actions_data();
    void actions();
    void brokerLossNeitherQuitsNorRepeats();
    void closedDialogStillAnnounces();
    void fromTheConsole_data();
    void fromTheConsole();
    void consoleRefusals();

private:
    std::unique_ptr<Pedido> abre(int order, quint16 port = 0);
    QString status(int order);
    int mensagens(int order, int code);
    QString impressos(QStringList *files = nullptr);

    std::unique_ptr<DbFixture> db;
    std::unique_ptr<ChainReceiver> consumer;
    QStringList antes;
    int store = 0;
    bool noNewOrder = false;
};

void TestPedido::initTestCase()
{
    TRV_REQUIRE_SERVERS();
    db = std::make_unique<DbFixture>();
    QVERIFY2(db->isOpen(), qPrintable(db->lastError()));
    consumer = std::make_unique<ChainReceiver>();
    QTRY_VERIFY_WITH_TIMEOUT(consumer->isReady(), 15000);
}

void TestPedido::init()
{
    QVERIFY(db->clearAll());
    store = db->addOwnedStore(QStringLiteral("dono"), QStringLiteral("segredo"));
    connectionSettings.host = TestEnv::dbHost();
    connectionSettings.dbName = TestEnv::dbName();
    connectionSettings.dbPort = QString::number(TestEnv::dbPort());
    connectionSettings.dbUser = TestEnv::dbUser();
    connectionSettings.dbPassword = TestEnv::dbPassword();
    connectionSettings.internetOk = true;
    connectionSettings.lastAnnouncedOrder = -1;
    connectionSettings.printerList = QStringList{TestEnv::value("TRV_PRINTER1")};
    QProcess::execute("cupsaccept", {TestEnv::value("TRV_PRINTER1"), TestEnv::value("TRV_PRINTER2")});
    antes = pdfs("TRV_PDF_DIR1") + pdfs("TRV_PDF_DIR2");
    consumer->payloads.clear();
    noNewOrder = false;
}

std::unique_ptr<Pedido> TestPedido::abre(int order, quint16 port)
{
    auto p = std::make_unique<Pedido>();
    p->CarregarPedido(order, store, &noNewOrder);
    p->SetAmqp(TestEnv::dbHost(), TestEnv::amqpVirtualHost(), QString::number(port ? port : TestEnv::amqpPort()),
               TestEnv::amqpUser(), TestEnv::amqpPassword());
    p->show();
    return p;
}

QString TestPedido::status(int order)
{
    return db->scalar("select concat(status, '|', info_final) from pedido where id_pedido=:p", {{":p", order}}).toString();
}

int TestPedido::mensagens(int order, int code)
{
    return consumer->payloads.count(QString("status:%1:%2:%3").arg(store).arg(order).arg(code).toUtf8());
}

// How many files each queue printed since the test began, one digit each.
QString TestPedido::impressos(QStringList *files)
{
    QString counts;
    for (const char *dir : {"TRV_PDF_DIR1", "TRV_PDF_DIR2"}) {
        QStringList novos = pdfs(dir);
        for (const QString &file : qAsConst(antes))
            novos.removeAll(file);
        counts += QString::number(novos.size());
        if (files)
            *files += novos;
    }
    return counts;
}

void TestPedido::loading_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QString>("expected");

    QTest::newRow("apartment") << "update endereco set apto_num='12', complemento='Bloco B'" << "label_rua"
                               << "Rua: Rua A, 10 (Bloco B-ap. 12)";
    QTest::newRow("phones") << "" << "label_fone" << "1111 / 2222";
    QTest::newRow("card") << "update pedido set modo_pag=4" << "label_pagamento" << "Máquina de Cartão: Visa";
    QTest::newRow("other mode") << "update pedido set modo_pag=2" << "label_pagamento" << "";
    QTest::newRow("negative total") << "update pedido set desconto=40" << "label_total" << "Total: R$0.00";
    QTest::newRow("zero discount") << "update pedido set desconto=0" << "label_desconto" << "Desconto: R$0.00";
    QTest::newRow("CPF") << "update usuarios set cpf='123'" << "label_cpf" << "CPF:123";
    QTest::newRow("remark") << "" << "label_obsfinal" << "Obs. final:sem troco";
    QTest::newRow("markup as typed") << "update usuarios set nome_user='<h1>Ana</h1>'" << "label_nome" << "<h1>Ana</h1>";
    QTest::newRow("two flavours") << "" << "row 1" << "1|Pizzas|Grande|(1/2) Mussarela|";
    QTest::newRow("tipo 1") << "" << "row 2" << "2|Pizzas|| Coca|gelada";
    QTest::newRow("status 0") << "" << "buttons" << "1101";
    QTest::newRow("status 1") << "update pedido set status=1" << "buttons" << "0011";
    QTest::newRow("status 2") << "update pedido set status=2" << "buttons" << "1111";
    QTest::newRow("status 3") << "update pedido set status=3" << "buttons" << "0001";
    QTest::newRow("another store's") << "update pedido set id_pizzaria=id_pizzaria+1" << "buttons"
                                     << "0000 Pedido|Pedido não encontrado!!!";
}

void TestPedido::loading()
{
    QFETCH(QString, change);
    QFETCH(QString, widget);
    const int order = insertFullOrder(*db, store, 0);
    if (!change.isEmpty())
        QVERIFY2(db->exec(change), qPrintable(db->lastError()));
    Respostas respostas({"OK"});
    auto p = abre(order);

    QString shown;
    if (widget == "buttons") {
        shown = QStringList(QStringList{enabled(p.get(), 4)} + respostas.vistas).join(' ');
    } else if (widget.startsWith("row")) {
        auto *table = p->findChild<QTableWidget *>();
        QStringList cells;
        for (int column = 0; column < table->columnCount(); ++column)
            cells << table->item(widget.section(' ', 1).toInt(), column)->text();
        shown = cells.join('|');
    } else {
        auto *label = p->findChild<QLabel *>(widget);
        QCOMPARE(label->textFormat(), Qt::PlainText);
        shown = label->text();
    }
    QTEST(shown, "expected");
}

void TestPedido::actions_data()
{
    QTest::addColumn<int>("initial");
    QTest::addColumn<QStringList>("printers");
    QTest::addColumn<QString>("fault");         // "internet", "db", or a printer that refuses jobs
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("answers");
    // status|info_final; code announced (0: none); noNewOrder; aprovar, cancelar, entrega enabled;
    // titles of the boxes seen; tickets printed on each queue
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("told");          // in the boxes' texts

    const QString p1 = TestEnv::value("TRV_PRINTER1"), p2 = TestEnv::value("TRV_PRINTER2");
    const QStringList one{p1}, two{p1, p2};
    QTest::newRow("approve prints on both queues")
        << 0 << two << "" << "aprovar" << QStringList{"Sim"} << "1|sem troco;1;1;000;Aprovar Pedido;11" << "";
    QTest::newRow("approve, a printer not installed") << 0 << QStringList{"Nenhuma", p2} << "" << "aprovar"
        << QStringList{"Sim", "OK"} << "1|sem troco;1;1;000;Aprovar Pedido,Imprimir;01" << "\"Nenhuma\" não está instalada";
    QTest::newRow("print, a queue refusing") << 0 << two << p2 << "imprimir" << QStringList{"OK"}
        << "0|sem troco;0;0;110;Imprimir;10" << p2 + "\" não imprimiu";
    QTest::newRow("print, none configured: the operator is asked") << 0 << QStringList{} << "" << "imprimir"
        << QStringList{""} << "0|sem troco;0;0;110;Imprimir Pedido;00" << "";
    QTest::newRow("approve, Não")
        << 0 << one << "" << "aprovar" << QStringList{"Não"} << "0|sem troco;0;0;110;Aprovar Pedido;00" << "";
    QTest::newRow("cancel with a reason") << 0 << one << "" << "cancelar" << QStringList{"Sim", "cliente <desistiu>"}
        << "2|motivo:cliente <desistiu>;2;1;000;Cancelar Pedido,Dialog;00" << "";
    QTest::newRow("cancel, reason closed") << 0 << one << "" << "cancelar" << QStringList{"Sim", ""}
        << "2|motivo:;2;1;000;Cancelar Pedido,Dialog;00" << "";
    QTest::newRow("cancel, Não")
        << 0 << one << "" << "cancelar" << QStringList{"Não"} << "0|sem troco;0;0;110;Cancelar Pedido;00" << "";
    QTest::newRow("deliver") << 1 << one << "" << "entrega" << QStringList{} << "3|sem troco;3;0;000;;00" << "";
    QTest::newRow("no Internet")
        << 0 << one << "internet" << "aprovar" << QStringList{"OK"} << "0|sem troco;0;0;110;Internet;00" << "";
    QTest::newRow("write fails") << 0 << one << "db" << "aprovar" << QStringList{"Sim", "OK"}
        << "0|sem troco;0;0;110;Aprovar Pedido,Pedido;00" << "Não foi possível gravar o pedido";
    QTest::newRow("write fails, deliver") << 1 << one << "db" << "entrega" << QStringList{"OK"}
        << "1|sem troco;0;0;001;Pedido;00" << "Não foi possível gravar o pedido";
}

void TestPedido::actions()
{
    QFETCH(int, initial);
    QFETCH(QStringList, printers);
    QFETCH(QString, fault);
    QFETCH(QString, action);
    QFETCH(QString, expected);
    connectionSettings.printerList = printers;
    if (printers.contains(fault))
        QCOMPARE(QProcess::execute("cupsreject", {fault}), 0);
    const int order = insertFullOrder(*db, store, initial);
    auto p = abre(order);
    connectionSettings.internetOk = fault != "internet";
    if (fault == "db")
        connectionSettings.dbPort = QStringLiteral("1");
    QFETCH(QStringList, answers);
    Respostas respostas(answers);
    QTest::mouseClick(button(p.get(), "pushButton_" + action), Qt::LeftButton);

    QStringList titles;
    for (const QString &v : respostas.vistas)
        titles << v.section('|', 0, 0);
    const int code = expected.section(';', 1, 1).toInt();
    QCOMPARE(QStringList({status(order), QString::number(code), QString::number(noNewOrder), enabled(p.get(), 3),
                          titles.join(',')}).join(';'), expected.section(';', 0, 4));
    QFETCH(QString, told);
    QVERIFY2(respostas.vistas.join('\n').contains(told), qPrintable(respostas.vistas.join('\n')));
    if (code)
        QTRY_COMPARE_WITH_TIMEOUT(mensagens(order, code), 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(impressos(), expected.section(';', 5), 30000);
    QTest::qWait(1000);
    QStringList files;
    QCOMPARE(impressos(&files), expected.section(';', 5));
    QCOMPARE(consumer->payloads.size(), code ? 1 : 0);
    for (const QString &file : files) {
        QProcess pdftotext;
        pdftotext.start("pdftotext", {file, "-"});
        pdftotext.waitForFinished();
        const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
        QVERIFY2(text.contains(QString("Pedido: %1").arg(order)) && text.contains("(1/2) Calabresa")
                     && text.contains("Não é documento"), qPrintable(text));
    }
}

void TestPedido::brokerLossNeitherQuitsNorRepeats()
{
    BrokerRelay relay(quint16(TestEnv::amqpPort()), 0);
    const int order = insertFullOrder(*db, store, 2);
    auto p = abre(order, relay.serverPort());
    Respostas respostas({"Sim", "x"});
    QTest::mouseClick(button(p.get(), "pushButton_cancelar"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(mensagens(order, 2), 1, 10000);

    relay.cut();
    // A quit() would end this loop early.
    QEventLoop loop;
    QTimer::singleShot(3000, &loop, [&loop] { loop.exit(7); });
    QCOMPARE(loop.exec(), 7);

    QTest::mouseClick(button(p.get(), "pushButton_entrega"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(mensagens(order, 3), 1, 20000);
    QTest::qWait(1500);
    QCOMPARE(consumer->payloads.size(), 2);
}

void TestPedido::closedDialogStillAnnounces()
{
    BrokerRelay relay(quint16(TestEnv::amqpPort()), 0);
    const quint16 port = relay.serverPort();
    relay.close();
    const int order = insertFullOrder(*db, store, 1);
    auto p = abre(order, port);
    QTest::mouseClick(button(p.get(), "pushButton_entrega"), Qt::LeftButton);
    QCOMPARE(status(order), QString("3|sem troco"));
    p.reset();

    QTest::qWait(500);
    QVERIFY(consumer->payloads.isEmpty());
    QVERIFY(relay.listen(QHostAddress::LocalHost, port));
    QTRY_COMPARE_WITH_TIMEOUT(mensagens(order, 3), 1, 30000);
    // Then the client closes its one connection and is gone.
    QTRY_VERIFY_WITH_TIMEOUT(relay.findChildren<QTcpSocket *>(QString(), Qt::FindDirectChildrenOnly).isEmpty(), 10000);
    QTest::qWait(1000);
    QCOMPARE(relay.connections(), 1);
    QCOMPARE(consumer->payloads.size(), 1);
}

void TestPedido::fromTheConsole_data()
{
    QTest::addColumn<bool>("byNumber");
    QTest::newRow("by number, approved, closed by its echo") << true;
    QTest::newRow("double-click, announced before another order in one tick") << false;
}

void TestPedido::fromTheConsole()
{
    QFETCH(bool, byNumber);
    const int order = insertFullOrder(*db, store, 0);
    const int other = db->addOrder(store, QDateTime::currentSecsSinceEpoch(), 10, 0, 1);
    RunningConsole c(QStringLiteral("dono"), QStringLiteral("segredo"));
    QVERIFY(c.ready());
    connectionSettings.printerList = QStringList{TestEnv::value("TRV_PRINTER1")};
    bool timedOut = false;
    Respostas respostas({"Sim"});
    ModalAnswer dialog([&](QWidget *modal) {
        QTimer::singleShot(15000, modal, [&timedOut, modal] { timedOut = modal->close(); });
        if (byNumber)
            QTimer::singleShot(0, modal, [modal] { button(modal, "pushButton_aprovar")->click(); });
        else
            QVERIFY(c.publish({QString("status:%1:%2:1").arg(store).arg(order),
                               QString("pedido_novo:%1:%2:0").arg(store).arg(other)}));
    });
    auto *number = c.window()->findChild<QLineEdit *>(QStringLiteral("lineEdit_numpedido"));
    if (byNumber) {
        number->setText(QString::number(order));
        QTest::mouseClick(button(c.window(), "pushButton_numpedido"), Qt::LeftButton);
    } else {
        doubleClick(c, order);
    }
    QVERIFY(dialog.seen() && !timedOut);
    QCOMPARE(respostas.vistas.size(), byNumber ? 1 : 0);
    QCOMPARE(status(order), QString(byNumber ? "1|sem troco" : "0|sem troco"));
    QCOMPARE(number->text(), QString());
}

void TestPedido::consoleRefusals()
{
    RunningConsole c(QStringLiteral("dono"), QStringLiteral("segredo"));
    QVERIFY(c.ready());
    const int order = db->addOrder(store, QDateTime::currentSecsSinceEpoch(), 10, 0, 1);
    Respostas respostas({"OK"});
    QVERIFY(!c.lists(order));
    QTest::mouseClick(button(c.window(), "pushButton_numpedido"), Qt::LeftButton);
    QVERIFY(c.lists(order));
    QVERIFY(respostas.vistas.isEmpty());

    c.probe().setMode(LocalProbePage::EmptyBody);
    QTRY_COMPARE_WITH_TIMEOUT(c.label("label_conexaoIinternet"), QString("Internet NOK"), 10000);
    doubleClick(c, order);
    QCOMPARE(respostas.vistas, QStringList{"Internet|Erro de Internet!!!"});
}

QTEST_MAIN(TestPedido)
#include "tst_pedido.moc"
