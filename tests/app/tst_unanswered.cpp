#include "editaritem.h"
#include "gerenciar.h"
#include "keypad.h"
#include "looplag.h"
#include "operatoractions.h"
#include "orderrows.h"

// Plays the operator through one action: opens what it needs, calls hold just
// before the action's own click, answers every question, and closes what it
// opened once its statements have answered. Keeps the boxes, "title|text".
class Operator : public QObject
{
public:
    Operator(const QString &action, std::function<void()> hold) : action(action), hold(std::move(hold))
    {
        connect(&timer, &QTimer::timeout, this, &Operator::step);
        timer.start(20);
    }
    QStringList seen;
    bool acted = false;

private:
    static bool busy(QWidget *w)
    {
        auto *pedido = qobject_cast<Pedido *>(w);
        auto *runner = w->findChild<StatementRunner *>();
        return pedido ? pedido->isBusy() : runner && runner->isBusy();
    }
    // Later, so that the click's own modal loop does not run inside this step.
    void click(QWidget *w, const QString &name, bool twice = false)
    {
        QTimer::singleShot(0, w, [w, name, twice] {
            if (auto *view = w->findChild<QTableView *>(name)) {
                const QPoint at = view->visualRect(view->model()->index(0, 9)).center();
                QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
                if (twice)
                    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
            } else {
                w->findChild<QAbstractButton *>(name)->click();
            }
        });
    }
    void act(QWidget *w, const QString &name, bool twice = false)
    {
        acted = true;
        hold();
        click(w, name, twice);
    }
    void step()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal->property("answered").toBool())
            return;
        auto *menu = qobject_cast<Gerenciar *>(modal);
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            modal->setProperty("answered", true);
            seen << box->windowTitle() + '|' + box->text();
            for (QAbstractButton *b : box->buttons())
                if (b->text().remove('&') == "Sim" || box->buttonRole(b) == QMessageBox::AcceptRole)
                    return (void)QTimer::singleShot(0, b, &QAbstractButton::click);
        } else if (auto *keypad = qobject_cast<Keypad *>(modal)) {
            modal->setProperty("answered", true);
            if (!acted && (acted = true))
                hold();
            QTimer::singleShot(0, keypad, [keypad] {
                for (const char *key : {"pushButtonKeyAC", "pushButtonKey2", "pushButtonKey5", "pushButtonKeyEnter"})
                    keypad->findChild<QPushButton *>(key)->click();
            });
        } else if (auto *reason = modal->findChild<QLineEdit *>(QStringLiteral("lineEdit_frase"))) {
            modal->setProperty("answered", true);
            reason->setText(QStringLiteral("cliente desistiu"));
            click(modal, "pushButton");
        } else if (busy(modal)) {
            return;
        } else if (menu && !acted && action != "menu" && !menu->findChild<QTableView *>(QStringLiteral("tableView_ativos"))->model()->rowCount()) {
            click(modal, "pushButton_filtro");   // the items are read when asked for
        } else if (menu && !acted && action != "menu" && !modal->property("editing").toBool()) {
            click(modal, "tableView_ativos");
            if (action == "salvar" && modal->setProperty("editing", true))
                click(modal, "pushButton_editar");
            else
                act(modal, action == "preco" ? "tableView_ativos" : "pushButton_pausar", action == "preco");
        } else if (!acted && qobject_cast<EditarItem *>(modal) && modal->findChild<QPushButton *>("pushButton_ok")->isEnabled()) {
            modal->findChild<QLineEdit *>(QStringLiteral("lineEdit_nome"))->setText(QStringLiteral("Mussarela especial"));
            act(modal, "pushButton_ok");
        } else if (!acted && qobject_cast<Pedido *>(modal)) {
            act(modal, "pushButton_" + action);
        } else if (acted || action == "menu") {
            modal->setProperty("answered", true);   // done, or a print dialog
            QTimer::singleShot(0, modal, &QWidget::close);
        }
    }

    QString action;
    std::function<void()> hold;
    QTimer timer;
};

// Every operator action while the database's line stops answering: the window
// goes on, the action ends with its box once the line gives up, and it works
// once the line is back.
class TestUnanswered : public StoreFixture
{
    Q_OBJECT

private slots:
    void actions_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("box");   // what the held action ends with; the box's text starts so
        const QString unread = QStringLiteral("Pedido|Não foi possível ler o pedido"), unwritten = QStringLiteral("Pedido|Não foi possível gravar o pedido");
        QTest::newRow("order by number") << "numpedido" << unread;
        QTest::newRow("order by double-click") << "double-click" << unread;
        QTest::newRow("approve") << "aprovar" << unwritten;
        QTest::newRow("cancel") << "cancelar" << unwritten;
        QTest::newRow("deliver") << "entrega" << unwritten;
        QTest::newRow("status button") << "status" << "Status|O status da loja não foi gravado.";
        QTest::newRow("waiting time") << "espera" << "Espera|O tempo de espera não foi gravado.";
        QTest::newRow("menu open") << "menu" << "";   // the filters keep their prompts
        QTest::newRow("pause") << "pausar" << "Erro na gravação de dados|";
        QTest::newRow("price") << "preco" << "Erro na gravação de dados|";
        QTest::newRow("save") << "salvar" << "Erro na gravação de dados|";
        QTest::newRow("leaving") << "sair" << "Fechar|O fechamento da loja não foi gravado";
    }

    void actions()
    {
        QFETCH(QString, action);
        QFETCH(QString, box);
        const int order = insertFullOrder(*db, store, action == "entrega" ? 1 : 0);
        QVERIFY(db->exec("insert into menu values (901, :s, 'Pizzas'); insert into tipocardapio values (902, :s, 'Tradicional');"
                         "insert into tamanho values (903, :s, 'Grande'); insert into item_cardapio (id_itemcardapio, "
                         "id_pizzaria, nome_item, descricao_item, id_tipocardapio) values (904, :s, 'Mussarela', 'Da casa', 902);"
                         "insert into precoitem (id_precoitem, id_itemcardapio, id_tamanho, preco, id) values (905, 904, 903, 40, 'MUS');"
                         "insert into cardapio (id_pizzaria, id_menu, id_precoitem, id_tamanho, ativo, dia_semana, info_cardapio, "
                         "mask_cardapio) values (:s, 901, 905, 903, 1, 127, 0, 1)", {{":s", store}}));
        RelayThread relay(static_cast<quint16>(TestEnv::dbPort()));
        const auto state = [&] {
            return db->scalar("select concat_ws(' ', (select status from pedido where id_pedido=:o), status, espera, "
                              "(select concat_ws(' ', ativo, preco, nome_item) from cardapio join precoitem using (id_precoitem) "
                              "join item_cardapio using (id_itemcardapio) where id_precoitem=905)) from status where "
                              "id_pizzaria=:s", {{":o", order}, {":s", store}}).toString();
        };
        auto c = std::make_unique<RunningConsole>(QStringLiteral("dono"), QStringLiteral("segredo"), ConsoleServers{0, relay.port(), {}, {}});
        QVERIFY(c->ready());
        QTRY_VERIFY(c->lists(order));
        const QString before = state();
        for (const bool held : {true, false}) {
            LoopLagMeter lag;
            bool cut = false;
            // Held for 1.5 s, then cut and still held: every statement under way, or
            // tried again, fails.
            const auto hold = [&] {
                if (!held)
                    return;
                relay.freeze();
                lag.start();
                QTimer::singleShot(1500, [&] { relay.cut(); cut = true; });
            };
            Operator op(action, hold);
            const bool byWindow = !QStringList{"aprovar", "cancelar", "entrega", "espera", "pausar", "preco", "salvar"}.contains(action);
            if (byWindow && (op.acted = true))
                hold();
            c->widget<QLineEdit>("lineEdit_numpedido")->setText(action == "numpedido" ? QString::number(order) : QString());
            if (action == "numpedido" || action == "status" || action == "espera")
                c->widget(qPrintable("pushButton_" + action))->click();
            else if (action == "menu" || action == "pausar" || action == "preco" || action == "salvar")
                c->widget("pushButton_gerenciar")->click();
            else if (action == "sair")
                c->widget<QAction>("actionSair")->trigger();
            else
                doubleClick(*c, order);
            // The action has ended once its box was answered and nothing is left open.
            const auto open = [] { return QApplication::activeModalWidget() ? QApplication::activeModalWidget()->metaObject()->className() : ""; };
            QTRY_VERIFY2_WITH_TIMEOUT(op.acted && (!held || cut) && !*open() && (!held || box.isEmpty() || op.seen.filter(box).size() == 1),
                                      qPrintable(QStringLiteral("open: %1 seen: %2").arg(open(), op.seen.join('|'))), 40000);
            const qint64 stalled = held ? lag.maxLagMs() : 0;
            relay.release();
            QVERIFY2(box.isEmpty() || op.seen.filter(box).size() == (held ? 1 : 0), qPrintable(op.seen.join('\n')));
            QVERIFY2(stalled < LoopLagMeter::stallLimitMs, qPrintable(QString::number(stalled)));
            // Nothing half done while held; done once the line is back (reads change nothing).
            if (held)
                QTRY_COMPARE_WITH_TIMEOUT(state(), before, 5000);
            else if (!byWindow || action == "status" || action == "sair")
                QTRY_VERIFY2_WITH_TIMEOUT(state() != before, qPrintable(state() + " seen: " + op.seen.join("|")), 10000);
            if (action == "sair") {   // the window went: the next console leaves
                c = std::make_unique<RunningConsole>(QStringLiteral("dono"), QStringLiteral("segredo"), ConsoleServers{0, relay.port(), {}, {}});
                QVERIFY(c->ready());
            }
        }
    }
};

QTEST_MAIN(TestUnanswered)
#include "tst_unanswered.moc"
