#include "amqptestsupport.h"
#include "connectionsettings.h"
#include "dbfixture.h"
#include "orderrows.h"
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
#include <QtTest>

#include <functional>
#include <memory>

namespace {

using Resposta = std::function<void(QWidget *)>;

// Answers the modal windows as they open, one answer each in order, and
// keeps "title|text" of each.
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
            vistas << modal->windowTitle() + '|' + (box ? box->text() : QString());
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

// "Sim", "Não", "OK": that button; "" closes the window; other text is typed as the reason.
Resposta resposta(const QString &texto)
{
    return [texto](QWidget *modal) {
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

QPushButton *button(QWidget *w, const char *name)
{
    return w->findChild<QPushButton *>(QLatin1String(name));
}

// "1" for each enabled button of aprovar, cancelar, entrega, imprimir, the first count of them.
QString enabled(QWidget *p, int count)
{
    QString flags;
    for (const char *name : {"pushButton_aprovar", "pushButton_cancelar", "pushButton_entrega", "pushButton_imprimir"})
        flags += button(p, name)->isEnabled() ? '1' : '0';
    return flags.left(count);
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
    void actions_data();
    void actions();
    void brokerLossNeitherQuitsNorRepeats();
    void closedDialogStillAnnounces();
    void fromTheConsole_data();
    void fromTheConsole();
    void consoleRefusals();

private:
    std::unique_ptr<Pedido> abre(int order, int port = -1);
    QString status(int order);
    int mensagens(int order, int code);
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

std::unique_ptr<Pedido> TestPedido::abre(int order, int port)
{
    auto p = std::make_unique<Pedido>();
    p->CarregarPedido(order, store, &noNewOrder);
    p->SetAmqp(TestEnv::dbHost(), TestEnv::amqpVirtualHost(), QString::number(port < 0 ? TestEnv::amqpPort() : port),
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
    QFETCH(QString, expected);
    const int order = insertFullOrder(*db, store, 0);
    if (!change.isEmpty())
        QVERIFY2(db->exec(change), qPrintable(db->lastError()));
    Respostas respostas({resposta("OK")});
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
    QTest::newRow("none configured: the operator is asked") << QStringList{} << "" << 0 << 0 << "Imprimir Pedido|";
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
        QCOMPARE(QProcess::execute("cupsreject", {refusing}), 0);
    const QStringList before = pdfs("TRV_PDF_DIR1") + pdfs("TRV_PDF_DIR2");
    const int order = insertFullOrder(*db, store, 0);
    auto p = abre(order);
    Respostas respostas({resposta("")});
    QTest::mouseClick(button(p.get(), "pushButton_imprimir"), Qt::LeftButton);
    if (!refusing.isEmpty())
        QProcess::execute("cupsaccept", {refusing});
    QCOMPARE(respostas.vistas.size(), warning.isEmpty() ? 0 : 1);
    QVERIFY2(respostas.vistas.join(QString()).contains(warning), qPrintable(respostas.vistas.join(QString())));

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
        QProcess pdftotext;
        pdftotext.start("pdftotext", {file, "-"});
        pdftotext.waitForFinished();
        const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
        QVERIFY2(text.contains(QString("Pedido: %1").arg(order)) && text.contains("(1/2) Calabresa")
                     && text.contains("Não é documento"), qPrintable(text));
    }
}

void TestPedido::actions_data()
{
    QTest::addColumn<int>("initial");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("answers");
    // status|info_final; code in the message (0: none); noNewOrder; aprovar, cancelar, entrega; boxes seen
    QTest::addColumn<QString>("expected");

    const QString approve = "pushButton_aprovar", cancel = "pushButton_cancelar", deliver = "pushButton_entrega";
    QTest::newRow("approve") << 0 << "" << approve << QStringList{"Sim"} << "1|sem troco;1;1;000;Aprovar Pedido";
    QTest::newRow("approve, Não") << 0 << "" << approve << QStringList{"Não"} << "0|sem troco;0;0;110;Aprovar Pedido";
    QTest::newRow("cancel with a reason") << 0 << "" << cancel << QStringList{"Sim", "cliente <desistiu>"}
                                          << "2|motivo:cliente <desistiu>;2;1;000;Cancelar Pedido,Dialog";
    QTest::newRow("cancel, reason closed") << 0 << "" << cancel << QStringList{"Sim", ""}
                                           << "2|motivo:;2;1;000;Cancelar Pedido,Dialog";
    QTest::newRow("cancel, Não") << 0 << "" << cancel << QStringList{"Não"} << "0|sem troco;0;0;110;Cancelar Pedido";
    QTest::newRow("deliver") << 1 << "" << deliver << QStringList{} << "3|sem troco;3;0;000;";
    QTest::newRow("no Internet") << 0 << "internet" << approve << QStringList{"OK"} << "0|sem troco;0;0;110;Internet";
    QTest::newRow("write fails") << 0 << "db" << approve << QStringList{"Sim", "OK"}
                                 << "0|sem troco;0;0;110;Aprovar Pedido,Pedido";
    QTest::newRow("write fails, deliver") << 1 << "db" << deliver << QStringList{"OK"} << "1|sem troco;0;0;001;Pedido";
}

void TestPedido::actions()
{
    QFETCH(int, initial);
    QFETCH(QString, fault);
    QFETCH(QString, action);
    QFETCH(QStringList, answers);
    QFETCH(QString, expected);
    const int order = insertFullOrder(*db, store, initial);
    const QStringList before = pdfs("TRV_PDF_DIR1");
    auto p = abre(order);
    connectionSettings.internetOk = fault != "internet";
    const QString port = connectionSettings.dbPort;
    if (fault == "db")
        connectionSettings.dbPort = QStringLiteral("1");
    QList<Resposta> lista;
    for (const QString &answer : answers)
        lista << resposta(answer);
    Respostas respostas(lista);
    QTest::mouseClick(button(p.get(), qPrintable(action)), Qt::LeftButton);
    connectionSettings.dbPort = port;

    QStringList outcome{status(order), QString(), QString::number(noNewOrder), enabled(p.get(), 3), QString()};
    for (const QString &v : respostas.vistas)
        outcome[4] += (outcome[4].isEmpty() ? "" : ",") + v.section('|', 0, 0);
    const int code = expected.section(';', 1, 1).toInt();
    outcome[1] = QString::number(code);
    QCOMPARE(outcome.join(';'), expected);
    if (code)
        QTRY_COMPARE_WITH_TIMEOUT(mensagens(order, code), 1, 10000);
    // Only an approval prints.
    QTRY_COMPARE_WITH_TIMEOUT(pdfs("TRV_PDF_DIR1").size(), before.size() + (code == 1), 30000);
    QTest::qWait(1000);
    QCOMPARE(consumer->payloads.size(), code ? 1 : 0);
}

void TestPedido::brokerLossNeitherQuitsNorRepeats()
{
    FreezableProxy proxy;
    const int order = insertFullOrder(*db, store, 2);
    auto p = abre(order, proxy.port());
    Respostas respostas({resposta("Sim"), resposta("x")});
    QTest::mouseClick(button(p.get(), "pushButton_cancelar"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(mensagens(order, 2), 1, 10000);

    for (QTcpSocket *socket : proxy.findChildren<QTcpSocket *>())
        socket->abort();
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
    FreezableProxy proxy;
    const quint16 port = proxy.port();
    proxy.server.close();
    const int order = insertFullOrder(*db, store, 1);
    auto p = abre(order, port);
    QTest::mouseClick(button(p.get(), "pushButton_entrega"), Qt::LeftButton);
    QCOMPARE(status(order), QString("3|sem troco"));
    p.reset();

    QTest::qWait(500);
    QVERIFY(consumer->payloads.isEmpty());
    QVERIFY(proxy.server.listen(QHostAddress::LocalHost, port));
    QTRY_COMPARE_WITH_TIMEOUT(mensagens(order, 3), 1, 30000);
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
    const QPoint cell = view->visualRect(view->model()->index(row, 2)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell);
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
    const int order = insertFullOrder(*db, store, 0);
    const int other = db->addOrder(store, QDateTime::currentSecsSinceEpoch(), 10, 0, 1);
    auto c = console();
    bool timedOut = false;
    const auto open = [&](QWidget *modal) {
        QTimer::singleShot(15000, modal, [&timedOut, modal] { timedOut = modal->close(); });
        if (approve)
            QTimer::singleShot(0, modal, [modal] { button(modal, "pushButton_aprovar")->click(); });
        else
            QCOMPARE(publishOnLogs(RunningConsole::broker(), {QString("status:%1:%2:1").arg(store).arg(order).toUtf8(),
                                                               QString("pedido_novo:%1:%2:0").arg(store).arg(other).toUtf8()}),
                     QString());
    };
    Respostas respostas({open, resposta("Sim")});
    auto *number = c->window()->findChild<QLineEdit *>(QStringLiteral("lineEdit_numpedido"));
    if (byNumber) {
        number->setText(QString::number(order));
        QTest::mouseClick(button(c->window(), "pushButton_numpedido"), Qt::LeftButton);
    } else {
        doubleClick(c.get(), order);
    }
    QCOMPARE(respostas.vistas.size(), approve ? 2 : 1);
    QVERIFY(!timedOut);
    QCOMPARE(status(order), stored);
    QCOMPARE(number->text(), QString());
}

void TestPedido::consoleRefusals()
{
    auto c = console();
    const int order = db->addOrder(store, QDateTime::currentSecsSinceEpoch(), 10, 0, 1);
    Respostas respostas({resposta("OK")});
    QVERIFY(!c->lists(order));
    QTest::mouseClick(button(c->window(), "pushButton_numpedido"), Qt::LeftButton);
    QVERIFY(c->lists(order));
    QVERIFY(respostas.vistas.isEmpty());

    c->probe().setMode(LocalProbePage::EmptyBody);
    QTRY_COMPARE_WITH_TIMEOUT(c->label("label_conexaoIinternet"), QString("Internet NOK"), 10000);
    doubleClick(c.get(), order);
    QCOMPARE(respostas.vistas, QStringList{"Internet|Erro de Internet!!!"});
}

QTEST_MAIN(TestPedido)
#include "tst_pedido.moc"
