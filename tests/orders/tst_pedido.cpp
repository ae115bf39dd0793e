#include "amqptestsupport.h"
#include "connectionsettings.h"
#include "dbfixture.h"
#include "pedido.h"
#include "runningconsole.h"
#include "testenv.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTcpSocket>
#include <QTextEdit>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

using Resposta = std::function<void(QWidget *)>;

// Answers the modal windows that open, in order, one answer each, and keeps
// "title|text" of each.
class Respostas : public QObject
{
public:
    explicit Respostas(QList<Resposta> lista) : fila(std::move(lista))
    {
        connect(&timer, &QTimer::timeout, this, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal || modal == ultimo || fila.isEmpty())
                return;
            ultimo = modal;
            auto *box = qobject_cast<QMessageBox *>(modal);
            vistas << modal->windowTitle() + QLatin1Char('|') + (box ? box->text() : QString());
            fila.takeFirst()(modal);
        });
        timer.start(20);
    }
    QStringList vistas;

private:
    QList<Resposta> fila;
    QPointer<QWidget> ultimo;
    QTimer timer;
};

Resposta botao(const QString &texto)
{
    return [texto](QWidget *modal) {
        for (QAbstractButton *b : modal->findChildren<QAbstractButton *>())
            if (b->text().remove(QLatin1Char('&')) == texto)
                return b->click();
        QFAIL(qPrintable(QStringLiteral("no button %1 on %2").arg(texto, modal->windowTitle())));
    };
}

Resposta motivo(const QString &texto)
{
    return [texto](QWidget *modal) {
        if (texto.isNull())
            return (void)modal->close();
        modal->findChild<QLineEdit *>(QStringLiteral("lineEdit_frase"))->setText(texto);
        modal->findChild<QPushButton *>(QStringLiteral("pushButton"))->click();
    };
}

QStringList pdfs(const char *dirVariable)
{
    QStringList files;
    QDirIterator it(TestEnv::value(dirVariable), {QStringLiteral("*.pdf")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    return files;
}

QString pdfText(const QString &file)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {file, QStringLiteral("-")});
    p.waitForFinished();
    return QString::fromUtf8(p.readAllStandardOutput());
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
    void printing_data();
    void printing();
    void emptyPrinterListAsks();
    void actions_data();
    void actions();
    void brokerLossNeitherQuitsNorRepeats();
    void closedDialogStillAnnounces();
    void fromTheConsole_data();
    void fromTheConsole();
    void consoleRefusals();

private:
    int novoPedido(int status = 0);
    std::unique_ptr<Pedido> abre(int order, int port = -1);
    QPushButton *botaoDe(Pedido *p, const char *name) { return p->findChild<QPushButton *>(QLatin1String(name)); }
    QString botoes(Pedido *p);
    QString status(int order);
    int mensagens(const QString &text);
    std::unique_ptr<RunningConsole> console();
    void doubleClick(RunningConsole *c, int order);

    std::unique_ptr<DbFixture> db;
    std::unique_ptr<ChainReceiver> consumer;
    int store = 0;
    bool noNewOrder = false;
};

void TestPedido::initTestCase()
{
    TRV_REQUIRE_SERVERS();
    db = std::make_unique<DbFixture>();
    QVERIFY2(db->isOpen(), qPrintable(db->lastError()));
    connectionSettings.host = TestEnv::dbHost();
    connectionSettings.dbName = TestEnv::dbName();
    connectionSettings.dbPort = QString::number(TestEnv::dbPort());
    connectionSettings.dbUser = TestEnv::dbUser();
    connectionSettings.dbPassword = TestEnv::dbPassword();
    consumer = std::make_unique<ChainReceiver>();
    QTRY_VERIFY_WITH_TIMEOUT(consumer->isReady(), 15000);
}

void TestPedido::init()
{
    QVERIFY(db->clearAll());
    store = db->addOwnedStore(QStringLiteral("dono"), QStringLiteral("segredo"));
    connectionSettings.internetOk = true;
    connectionSettings.lastAnnouncedOrder = -1;
    connectionSettings.printerList = QStringList{TestEnv::value("TRV_PRINTER1")};
    consumer->payloads.clear();
    noNewOrder = false;
}

// A customer with an address, and three lines: two flavours of one pizza and a drink.
int TestPedido::novoPedido(int status)
{
    const int user = db->addUser(QStringLiteral("ana"), QStringLiteral("x"), 1, QStringLiteral("Ana"));
    db->exec("update usuarios set fone='1111', cpf='' where id_user=:u", {{":u", user}});
    db->exec("insert into endereco (rua, numero, apto_num, bairro, complemento, cidade, referencia, fone) values "
             "('Rua A', '10', '0', 'Centro', '', 'Natal', 'Praça', '2222')");
    db->exec("insert into bandeirascartao (codigo, descricao) values (1, 'Visa')");
    db->exec("insert into pedido (id_pizzaria, id_user, id_endereco, codcartao, data, valor, desconto, "
             "taxa_entrega, modo_pag, troco_txt, status, info_final) values (:s, :u, (select "
             "max(id_endereco) from endereco), 1, :data, 30, 2, 5, 1, '', :st, 'sem troco')",
             {{":s", store}, {":u", user}, {":st", status}, {":data", QDateTime::currentSecsSinceEpoch()}});
    const int id = db->scalar("select max(id_pedido) from pedido").toInt();
    db->exec("insert into menu (id_pizzaria, item_menu) values (:s, 'Pizzas')", {{":s", store}});
    db->exec("insert into tamanho (id_pizzaria, nome) values (:s, 'Grande')", {{":s", store}});
    for (const char *item : {"Calabresa", "Mussarela", "Coca"}) {
        db->exec("insert into item_cardapio (id_pizzaria, nome_item, id_tipocardapio) values (:s, :n, 1)",
                 {{":s", store}, {":n", item}});
        db->exec("insert into precoitem (id_itemcardapio, id_tamanho) values ((select max(id_itemcardapio) from "
                 "item_cardapio), (select max(id_tamanho) from tamanho))");
        db->exec("insert into cardapio (id_pizzaria, id_menu, id_precoitem, id_tamanho) values (:s, (select "
                 "max(id_menu) from menu), (select max(id_precoitem) from precoitem), (select max(id_tamanho) "
                 "from tamanho))", {{":s", store}});
        const bool bebida = QByteArray(item) == "Coca";
        db->exec("insert into pedido_detalhe (id_pedido, id_cardapio, qty, max_item, info, tipo, time) values "
                 "(:p, (select max(id_cardapio) from cardapio), :q, 2, :i, :t, :time)",
                 {{":p", id}, {":q", bebida ? 2 : 1}, {":i", bebida ? "gelada" : ""}, {":t", bebida ? 1 : 0},
                  {":time", bebida ? 200 : 100}});
    }
    return id;
}

std::unique_ptr<Pedido> TestPedido::abre(int order, int port)
{
    auto p = std::make_unique<Pedido>();
    p->CarregarPedido(order, store, &noNewOrder);
    p->SetAmqp(TestEnv::dbHost(), TestEnv::amqpVirtualHost(), QString::number(port < 0 ? TestEnv::amqpPort() : port),
               TestEnv::amqpUser(), TestEnv::amqpPassword());
    p->show();
    return p;
}

QString TestPedido::botoes(Pedido *p)
{
    QString enabled;
    for (const char *name : {"pushButton_aprovar", "pushButton_cancelar", "pushButton_entrega", "pushButton_imprimir"})
        enabled += botaoDe(p, name)->isEnabled() ? '1' : '0';
    return enabled;
}

QString TestPedido::status(int order)
{
    return db->scalar("select concat(status, '|', info_final) from pedido where id_pedido=:p", {{":p", order}}).toString();
}

void TestPedido::loading_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("box");

    QTest::newRow("street") << "" << "label_rua" << "Rua: Rua A, 10 " << "";
    QTest::newRow("apartment") << "update endereco set apto_num='12', complemento='Bloco B'" << "label_rua"
                               << "Rua: Rua A, 10 (Bloco B-ap. 12)" << "";
    QTest::newRow("phones") << "" << "label_fone" << "1111 / 2222" << "";
    QTest::newRow("cash") << "" << "label_pagamento" << "Pagamento em Dinheiro " << "";
    QTest::newRow("card") << "update pedido set modo_pag=4" << "label_pagamento" << "Máquina de Cartão: Visa" << "";
    QTest::newRow("other mode") << "update pedido set modo_pag=2" << "label_pagamento" << "" << "";
    QTest::newRow("negative total") << "update pedido set desconto=40" << "label_total" << "Total: R$0.00" << "";
    QTest::newRow("zero discount") << "update pedido set desconto=0" << "label_desconto" << "Desconto: R$0.00" << "";
    QTest::newRow("no CPF") << "" << "label_cpf" << "CPF:" << "";
    QTest::newRow("CPF") << "update usuarios set cpf='123'" << "label_cpf" << "CPF:123" << "";
    QTest::newRow("remark") << "" << "label_obsfinal" << "Obs. final:sem troco" << "";
    QTest::newRow("markup as typed") << "update usuarios set nome_user='<h1>Ana</h1>'" << "label_nome"
                                     << "<h1>Ana</h1>" << "";
    QTest::newRow("fraction") << "" << "cell 0 3" << "(1/2) Calabresa" << "";
    QTest::newRow("size") << "" << "cell 1 2" << "Grande" << "";
    QTest::newRow("tipo 1 size") << "" << "cell 2 2" << "" << "";
    QTest::newRow("tipo 1 item") << "" << "cell 2 3" << " Coca" << "";
    QTest::newRow("ticket") << "" << "ticket" << "1 Pizzas:((1/2) Calabresa) Grande ()" << "";
    QTest::newRow("ticket markup") << "update usuarios set nome_user='<h1>Ana</h1>'" << "ticket" << "<h1>Ana</h1>"
                                   << "";
    QTest::newRow("status 0") << "" << "buttons" << "1101" << "";
    QTest::newRow("status 1") << "update pedido set status=1" << "buttons" << "0011" << "";
    QTest::newRow("status 2") << "update pedido set status=2" << "buttons" << "1111" << "";
    QTest::newRow("status 3") << "update pedido set status=3" << "buttons" << "0001" << "";
    QTest::newRow("another store's") << "update pedido set id_pizzaria=id_pizzaria+1" << "buttons" << "0000"
                                     << "Pedido|Pedido não encontrado!!!";
}

void TestPedido::loading()
{
    QFETCH(QString, change);
    QFETCH(QString, widget);
    QFETCH(QString, expected);
    QFETCH(QString, box);
    const int order = novoPedido();
    if (!change.isEmpty())
        QVERIFY2(db->exec(change), qPrintable(db->lastError()));
    Respostas respostas({botao("OK")});
    auto p = abre(order);
    QCOMPARE(respostas.vistas.join(QString()), box);

    QString shown;
    if (widget == "buttons") {
        shown = botoes(p.get());
    } else if (widget == "ticket") {
        shown = p->findChild<QTextEdit *>()->toPlainText();
        QVERIFY2(shown.contains(expected) && shown.contains("Não é documento fiscal"), qPrintable(shown));
        return;
    } else if (widget.startsWith("cell")) {
        const QStringList at = widget.split(' ');
        shown = p->findChild<QTableWidget *>()->item(at[1].toInt(), at[2].toInt())->text();
    } else {
        auto *label = p->findChild<QLabel *>(widget);
        QCOMPARE(label->textFormat(), Qt::PlainText);
        shown = label->text();
    }
    QCOMPARE(shown, expected);
}

void TestPedido::printing_data()
{
    QTest::addColumn<QStringList>("printers");
    QTest::addColumn<QString>("refusing");
    QTest::addColumn<int>("copies1");
    QTest::addColumn<int>("copies2");
    QTest::addColumn<QString>("warning");

    const QString p1 = TestEnv::value("TRV_PRINTER1"), p2 = TestEnv::value("TRV_PRINTER2");
    QTest::newRow("two printers") << QStringList{p1, p2} << "" << 1 << 1 << "";
    QTest::newRow("one not installed") << QStringList{"Nenhuma", p2} << "" << 0 << 1 << "\"Nenhuma\" não está instalada";
    QTest::newRow("one refusing") << QStringList{p1, p2} << p2 << 1 << 0 << QString("\"%1\" não imprimiu").arg(p2);
}

void TestPedido::printing()
{
    QFETCH(QStringList, printers);
    QFETCH(QString, refusing);
    QFETCH(int, copies1);
    QFETCH(int, copies2);
    QFETCH(QString, warning);
    connectionSettings.printerList = printers;
    if (!refusing.isEmpty())
        QVERIFY(QProcess::execute("cupsreject", {refusing}) == 0);
    const QStringList before = pdfs("TRV_PDF_DIR1") + pdfs("TRV_PDF_DIR2");
    const int order = novoPedido();
    auto p = abre(order);
    Respostas respostas({botao("OK")});
    QTest::mouseClick(botaoDe(p.get(), "pushButton_imprimir"), Qt::LeftButton);
    if (!refusing.isEmpty())
        QProcess::execute("cupsaccept", {refusing});
    QVERIFY2(respostas.vistas.join(QString()).contains(warning), qPrintable(respostas.vistas.join(QString())));
    QCOMPARE(respostas.vistas.isEmpty(), warning.isEmpty());

    const auto novos = [&](const char *dir) {
        QStringList files = pdfs(dir);
        for (const QString &file : before)
            files.removeAll(file);
        return files;
    };
    QTRY_COMPARE_WITH_TIMEOUT(novos("TRV_PDF_DIR1").size() + novos("TRV_PDF_DIR2").size(), copies1 + copies2, 30000);
    QTest::qWait(1000);
    QCOMPARE(novos("TRV_PDF_DIR1").size(), copies1);
    QCOMPARE(novos("TRV_PDF_DIR2").size(), copies2);
    for (const QString &file : novos("TRV_PDF_DIR1") + novos("TRV_PDF_DIR2")) {
        const QString text = pdfText(file);
        QVERIFY2(text.contains(QString("Pedido: %1").arg(order)) && text.contains("Calabresa")
                     && text.contains("Não é documento"), qPrintable(text));
    }
}

void TestPedido::emptyPrinterListAsks()
{
    connectionSettings.printerList.clear();
    auto p = abre(novoPedido());
    Respostas respostas({motivo(QString())});
    QTest::mouseClick(botaoDe(p.get(), "pushButton_imprimir"), Qt::LeftButton);
    QCOMPARE(respostas.vistas, QStringList{"Imprimir Pedido|"});
}

int TestPedido::mensagens(const QString &text)
{
    return consumer->payloads.count(text.toUtf8());
}

void TestPedido::actions_data()
{
    QTest::addColumn<int>("initial");
    QTest::addColumn<bool>("internet");
    QTest::addColumn<bool>("dbDown");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("code");      // in the message; 0: none
    QTest::addColumn<bool>("flag");
    QTest::addColumn<QString>("buttons");
    QTest::addColumn<QString>("titles");

    const QString approve = "pushButton_aprovar", cancel = "pushButton_cancelar", deliver = "pushButton_entrega";
    QTest::newRow("approve") << 0 << true << false << approve << QStringList{"Sim"} << "1|sem troco" << 1 << true
                             << "0001" << "Aprovar Pedido";
    QTest::newRow("approve, Não") << 0 << true << false << approve << QStringList{"Não"} << "0|sem troco" << 0
                                  << false << "1101" << "Aprovar Pedido";
    QTest::newRow("cancel with a reason") << 0 << true << false << cancel << QStringList{"Sim", "cliente <desistiu>"}
                                          << "2|motivo:cliente <desistiu>" << 2 << true << "0001"
                                          << "Cancelar Pedido,Dialog";
    QTest::newRow("cancel, reason closed") << 0 << true << false << cancel << QStringList{"Sim", ""} << "2|motivo:"
                                           << 2 << true << "0001" << "Cancelar Pedido,Dialog";
    QTest::newRow("cancel, Não") << 0 << true << false << cancel << QStringList{"Não"} << "0|sem troco" << 0 << false
                                 << "1101" << "Cancelar Pedido";
    QTest::newRow("deliver") << 1 << true << false << deliver << QStringList{} << "3|sem troco" << 3 << false
                             << "0001" << "";
    QTest::newRow("no Internet") << 0 << false << false << approve << QStringList{"OK"} << "0|sem troco" << 0 << false
                                 << "1101" << "Internet";
    QTest::newRow("no Internet, deliver") << 1 << false << false << deliver << QStringList{"OK"} << "1|sem troco" << 0
                                          << false << "0011" << "Internet";
    QTest::newRow("write fails") << 0 << true << true << approve << QStringList{"Sim", "OK"} << "0|sem troco" << 0
                                 << false << "1101" << "Aprovar Pedido,Pedido";
    QTest::newRow("write fails, deliver") << 1 << true << true << deliver << QStringList{"OK"} << "1|sem troco" << 0
                                          << false << "0011" << "Pedido";
}

void TestPedido::actions()
{
    QFETCH(int, initial);
    QFETCH(bool, internet);
    QFETCH(bool, dbDown);
    QFETCH(QString, action);
    QFETCH(QStringList, answers);
    QFETCH(QString, stored);
    QFETCH(int, code);
    QFETCH(bool, flag);
    QFETCH(QString, buttons);
    QFETCH(QString, titles);
    const int order = novoPedido(initial);
    const QStringList before = pdfs("TRV_PDF_DIR1");
    auto p = abre(order);
    connectionSettings.internetOk = internet;
    const QString port = connectionSettings.dbPort;
    if (dbDown)
        connectionSettings.dbPort = QStringLiteral("1");
    QList<Resposta> lista;
    for (const QString &answer : answers)
        lista << (QStringList{"Sim", "Não", "OK"}.contains(answer) ? botao(answer) : motivo(answer.isEmpty() ? QString() : answer));
    Respostas respostas(lista);
    QTest::mouseClick(botaoDe(p.get(), qPrintable(action)), Qt::LeftButton);
    connectionSettings.dbPort = port;

    QStringList seen;
    for (const QString &v : respostas.vistas)
        seen << v.section('|', 0, 0);
    QCOMPARE(seen.join(','), titles);
    QCOMPARE(status(order), stored);
    QCOMPARE(noNewOrder, flag);
    QCOMPARE(botoes(p.get()), buttons);
    const QString message = QString("status:%1:%2:%3").arg(store).arg(order).arg(code);
    if (code)
        QTRY_COMPARE_WITH_TIMEOUT(mensagens(message), 1, 10000);
    // Only an approval prints.
    QTRY_COMPARE_WITH_TIMEOUT(pdfs("TRV_PDF_DIR1").size(), before.size() + (code == 1), 30000);
    QTest::qWait(1000);
    QCOMPARE(consumer->payloads.size(), code ? 1 : 0);
}

void TestPedido::brokerLossNeitherQuitsNorRepeats()
{
    FreezableProxy proxy;
    const int order = novoPedido(2);
    auto p = abre(order, proxy.port());
    Respostas respostas({botao("Sim"), motivo("x")});
    QTest::mouseClick(botaoDe(p.get(), "pushButton_cancelar"), Qt::LeftButton);
    const QString cancelled = QString("status:%1:%2:2").arg(store).arg(order);
    QTRY_COMPARE_WITH_TIMEOUT(mensagens(cancelled), 1, 10000);

    for (QTcpSocket *socket : proxy.findChildren<QTcpSocket *>())
        socket->abort();
    // A quit() would end this loop early.
    QEventLoop loop;
    QTimer::singleShot(3000, &loop, [&loop] { loop.exit(7); });
    QCOMPARE(loop.exec(), 7);

    QTest::mouseClick(botaoDe(p.get(), "pushButton_entrega"), Qt::LeftButton);
    const QString delivered = QString("status:%1:%2:3").arg(store).arg(order);
    QTRY_COMPARE_WITH_TIMEOUT(mensagens(delivered), 1, 20000);
    QTest::qWait(1500);
    QCOMPARE(consumer->payloads.size(), 2);
}

void TestPedido::closedDialogStillAnnounces()
{
    FreezableProxy proxy;
    const quint16 port = proxy.port();
    proxy.server.close();
    const int order = novoPedido(1);
    auto p = abre(order, port);
    QTest::mouseClick(botaoDe(p.get(), "pushButton_entrega"), Qt::LeftButton);
    QCOMPARE(status(order), QString("3|sem troco"));
    p.reset();

    QTest::qWait(500);
    QVERIFY(consumer->payloads.isEmpty());
    QVERIFY(proxy.server.listen(QHostAddress::LocalHost, port));
    QTRY_COMPARE_WITH_TIMEOUT(mensagens(QString("status:%1:%2:3").arg(store).arg(order)), 1, 30000);
    // Then the client closes its connection and is gone.
    const auto clientSideOpen = [&proxy] {
        for (QTcpSocket *socket : proxy.findChildren<QTcpSocket *>())
            if (socket->state() == QAbstractSocket::ConnectedState && socket->peerPort() != TestEnv::amqpPort())
                return true;
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(!clientSideOpen(), 10000);
    QTest::qWait(1000);
    QCOMPARE(consumer->payloads.size(), 1);
}

std::unique_ptr<RunningConsole> TestPedido::console()
{
    auto c = std::make_unique<RunningConsole>(QStringLiteral("dono"), QStringLiteral("segredo"));
    [&] {
        QTRY_COMPARE_WITH_TIMEOUT(c->label("label_recepcao"), QString("Login para recepção de pedidos: [ok]"), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(c->label("label_conexaoIinternet"), QString("Internet OK"), 5000);
    }();
    connectionSettings.printerList = QStringList{TestEnv::value("TRV_PRINTER1")};
    return c;
}

void TestPedido::doubleClick(RunningConsole *c, int order)
{
    auto *view = c->window()->findChild<QTableView *>(QStringLiteral("tableView_pedidos"));
    const int row = c->listedOrders().indexOf(order);
    QVERIFY(row >= 0);
    const QRect cell = view->visualRect(view->model()->index(row, 2));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
}

void TestPedido::fromTheConsole_data()
{
    QTest::addColumn<bool>("byNumber");
    QTest::addColumn<bool>("approve");
    QTest::addColumn<QString>("stored");
    QTest::newRow("by number, approved, closed by its echo") << true << true << "1|sem troco";
    QTest::newRow("double-click, announced before another order in one tick") << false << false << "0|sem troco";
}

void TestPedido::fromTheConsole()
{
    QFETCH(bool, byNumber);
    QFETCH(bool, approve);
    QFETCH(QString, stored);
    const int order = novoPedido();
    const int other = db->addOrder(store, QDateTime::currentSecsSinceEpoch(), 10, 0, 1);
    auto c = console();
    QPointer<Pedido> opened;
    bool timedOut = false;
    QTimer guard;
    connect(&guard, &QTimer::timeout, [&] {
        timedOut = true;
        if (opened)
            opened->close();
    });
    Respostas respostas({[&](QWidget *modal) {
                             opened = qobject_cast<Pedido *>(modal);
                             guard.start(15000);
                             if (approve)
                                 QTimer::singleShot(0, modal, [&] { botaoDe(opened, "pushButton_aprovar")->click(); });
                             else
                                 QCOMPARE(RunningConsole::publish({QString("status:%1:%2:1").arg(store).arg(order).toUtf8(),
                                                                   QString("pedido_novo:%1:%2:0").arg(store).arg(other).toUtf8()}),
                                          QString());
                         },
                         botao("Sim")});
    if (byNumber) {
        c->window()->findChild<QLineEdit *>(QStringLiteral("lineEdit_numpedido"))->setText(QString::number(order));
        QTest::mouseClick(c->window()->findChild<QPushButton *>(QStringLiteral("pushButton_numpedido")), Qt::LeftButton);
    } else {
        doubleClick(c.get(), order);
    }
    QVERIFY(opened.isNull() || !opened->isVisible());
    QVERIFY(!timedOut);
    QCOMPARE(status(order), stored);
    QCOMPARE(c->window()->findChild<QLineEdit *>(QStringLiteral("lineEdit_numpedido"))->text(), QString());
}

void TestPedido::consoleRefusals()
{
    auto c = console();
    const int order = db->addOrder(store, QDateTime::currentSecsSinceEpoch(), 10, 0, 1);
    Respostas respostas({botao("OK")});
    QVERIFY(!c->lists(order));
    QTest::mouseClick(c->window()->findChild<QPushButton *>(QStringLiteral("pushButton_numpedido")), Qt::LeftButton);
    QVERIFY(c->lists(order));
    QVERIFY(respostas.vistas.isEmpty());

    c->probe().stopListening();
    QTRY_COMPARE_WITH_TIMEOUT(c->label("label_conexaoIinternet"), QString("Internet NOK"), 10000);
    doubleClick(c.get(), order);
    QCOMPARE(respostas.vistas, QStringList{"Internet|Erro de Internet!!!"});
}

QTEST_MAIN(TestPedido)
#include "tst_pedido.moc"
