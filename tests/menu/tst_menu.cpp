#include "connectionsettings.h"
#include "dbfixture.h"
#include "gerenciar.h"
#include "modalanswer.h"
#include "testenv.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>

namespace {

constexpr int loja = 7;
constexpr int outraLoja = 8;

// Two stores with the same menu, item names and sizes; only the codes differ
// ("B-" in front for the other store). Every entry: mask 3, weekdays 62,
// info 5. Codes MUS-G, CAL-G (Pizzas Salgadas, Tradicional, Grande) and GUA-L
// on sale, COL-L paused (Bebidas, Refrigerante, Lata). Size Broto is unused.
class MenuFixture : public DbFixture
{
public:
    int add(const QString &statement, const QVariantMap &bindings)
    {
        return exec(statement, bindings) ? scalar("select last_insert_id()").toInt() : 0;
    }

    bool build()
    {
        if (!clearAll())
            return false;
        struct Entry { const char *code, *name, *type, *size, *menu; double price; int ativo; };
        const Entry entries[] = {{"MUS-G", "Mussarela", "Tradicional", "Grande", "Pizzas Salgadas", 49.9, 1},
                                 {"CAL-G", "Calabresa", "Tradicional", "Grande", "Pizzas Salgadas", 52.9, 1},
                                 {"GUA-L", "Guaraná", "Refrigerante", "Lata", "Bebidas", 6.5, 1},
                                 {"COL-L", "Cola", "Refrigerante", "Lata", "Bebidas", 6, 0}};
        for (int store : {loja, outraLoja}) {
            QMap<QString, int> ids;
            for (const char *menu : {"Pizzas Salgadas", "Bebidas"})
                ids[menu] = add("insert into menu (id_pizzaria, item_menu) values (:s, :n)", {{":s", store}, {":n", menu}});
            for (const char *type : {"Tradicional", "Refrigerante"})
                ids[type] = add("insert into tipocardapio (id_pizzaria, tipocardapio) values (:s, :n)",
                                {{":s", store}, {":n", type}});
            for (const char *size : {"Grande", "Lata", "Broto"})
                ids[size] = add("insert into tamanho (id_pizzaria, nome) values (:s, :n)", {{":s", store}, {":n", size}});
            for (const Entry &e : entries) {
                const int item = add("insert into item_cardapio (id_pizzaria, nome_item, descricao_item, id_tipocardapio) "
                                     "values (:s, :n, :d, :t)",
                                     {{":s", store}, {":n", e.name}, {":d", QString(e.name) + " da casa"}, {":t", ids[e.type]}});
                const int preco = add("insert into precoitem (id_itemcardapio, id_tamanho, preco, id) values (:i, :t, :p, :c)",
                                      {{":i", item}, {":t", ids[e.size]}, {":p", e.price},
                                       {":c", (store == loja ? "" : "B-") + QString(e.code)}});
                if (!add("insert into cardapio (id_pizzaria, id_menu, id_precoitem, id_tamanho, ativo, dia_semana, "
                         "info_cardapio, mask_cardapio) values (:s, :m, :p, :t, :a, 62, 5, 3)",
                         {{":s", store}, {":m", ids[e.menu]}, {":p", preco}, {":t", ids[e.size]}, {":a", e.ativo}}))
                    return false;
            }
        }
        return true;
    }

    // How many rows of the store each table holds, then every entry of a store
    // (of items named like nome) with its three rows.
    QString snapshot(int store, const QString &nome = "%")
    {
        // Price rows of no store's item count for every store.
        return scalar("select concat((select count(*) from item_cardapio where id_pizzaria=:s), '/', "
                      "(select count(*) from precoitem where id_itemcardapio not in (select id_itemcardapio "
                      "from item_cardapio where id_pizzaria<>:s)), '/', (select count(*) from cardapio "
                      "where id_pizzaria=:s), ' ', group_concat(concat_ws(',', m.item_menu, c.ativo, c.dia_semana, "
                      "c.info_cardapio, c.mask_cardapio, t.nome, p.preco, p.id, i.nome_item, i.descricao_item, "
                      "k.tipocardapio) order by c.id_cardapio separator ';')) "
                      "from cardapio c join menu m on m.id_menu=c.id_menu join precoitem p on p.id_precoitem=c.id_precoitem "
                      "join tamanho t on t.id_tamanho=p.id_tamanho and t.id_tamanho=c.id_tamanho "
                      "join item_cardapio i on i.id_itemcardapio=p.id_itemcardapio "
                      "join tipocardapio k on k.id_tipocardapio=i.id_tipocardapio where c.id_pizzaria=:s and i.nome_item like :n",
                      {{":s", store}, {":n", nome}})
            .toString();
    }
};

void choose(QComboBox *box, const QString &text)
{
    const int index = box->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    box->setCurrentIndex(index);
    QMetaObject::invokeMethod(box, "activated", Q_ARG(QString, text));
}

QStringList codes(const QTableView *view)
{
    QStringList shown;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        shown << view->model()->index(row, 3).data().toString();
    shown.sort();
    return shown;
}

void clickRow(QTableView *view, const QString &code, bool twice = false)
{
    const QModelIndexList found = view->model()->match(view->model()->index(0, 3), Qt::DisplayRole, code, 1,
                                                       Qt::MatchExactly);
    QVERIFY2(!found.isEmpty(), qPrintable(code));
    const QPoint at = view->visualRect(found.first()).center();
    // A view takes a double click only on the cell its press chose.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    if (twice)
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
}

void pressKeys(QWidget *keypad, const QStringList &keys)
{
    const QMap<QString, QString> names{{"AC", "AC"}, {"+/-", "Return"}, {".", "Dot"}, {",", "Comma"}, {"Enter", "Enter"}};
    for (const QString &key : keys)
        keypad->findChild<QPushButton *>("pushButtonKey" + names.value(key, key))->click();
    if (keypad->isVisible())
        keypad->close();
}

} // namespace

class TestMenu : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void filters_data();
    void filters();
    void changeSale_data();
    void changeSale();
    void priceOnKeypad_data();
    void priceOnKeypad();
    void save_data();
    void save();

private:
    template<typename T> T *widget(const QString &name) { return dialog->findChild<T *>(name); }
    void checkFailureBox(const ModalAnswer *box);

    MenuFixture fixture;
    std::unique_ptr<Gerenciar> dialog;
    QString before, otherStore, sabotaged;
};

void TestMenu::init()
{
    TRV_REQUIRE_SERVERS();
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    connectionSettings.host = TestEnv::dbHost();
    connectionSettings.dbPort = QString::number(TestEnv::dbPort());
    connectionSettings.dbName = TestEnv::dbName();
    connectionSettings.dbUser = TestEnv::dbUser();
    connectionSettings.dbPassword = TestEnv::dbPassword();
    QVERIFY2(fixture.build(), qPrintable(fixture.lastError()));
    before = fixture.snapshot(loja);
    otherStore = fixture.snapshot(outraLoja);
    dialog.reset();
    dialog = std::make_unique<Gerenciar>();
    dialog->Inicializa(loja);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
}

void TestMenu::cleanup()
{
    dialog.reset();
    if (sabotaged == "item_cardapio")
        fixture.exec("alter table item_cardapio modify id_itemcardapio int not null auto_increment");
    else if (!sabotaged.isEmpty())
        fixture.exec("alter table " + sabotaged + " drop constraint if exists recusa");
    sabotaged.clear();
}

void TestMenu::checkFailureBox(const ModalAnswer *box)
{
    QFETCH(QString, error);
    const bool told = box && box->seen();
    QCOMPARE(told, !error.isEmpty());
    const QString text = told ? box->title() + ": " + box->text() : QString();
    QVERIFY2(!told || (text.startsWith("Erro na gravação de dados: ") && text.contains(error)), qPrintable(text));
    if (told)
        QCOMPARE(fixture.snapshot(loja), before);
    QCOMPARE(fixture.snapshot(outraLoja), otherStore);
}

void TestMenu::filters_data()
{
    QTest::addColumn<QStringList>("steps");     // box=entry, or filtro=text then the button
    QTest::addColumn<QStringList>("ativos");
    QTest::addColumn<QStringList>("pausados");
    QTest::addColumn<bool>("duplicar");
    const QStringList all{"CAL-G", "GUA-L", "MUS-G"}, cola{"COL-L"};
    QTest::newRow("filtro alone") << QStringList{"filtro="} << all << cola << false;
    QTest::newRow("menu") << QStringList{"menu=Bebidas"} << QStringList{"GUA-L"} << cola << true;
    QTest::newRow("Escolha Menu... is a literal")
        << QStringList{"menu=Bebidas", "menu=Escolha Menu..."} << QStringList{} << QStringList{} << false;
    QTest::newRow("tipo and tamanho") << QStringList{"tipo=Tradicional", "tamanho=Grande"}
                                      << QStringList{"CAL-G", "MUS-G"} << QStringList{} << false;
    QTest::newRow("Escolha Tipo... clears")
        << QStringList{"tipo=Tradicional", "tipo=Escolha Tipo...", "tamanho=Lata"} << QStringList{"GUA-L"} << cola << false;
    QTest::newRow("Escolha Tamanho... clears")
        << QStringList{"tamanho=Broto", "tamanho=Escolha Tamanho..."} << all << cola << false;
    QTest::newRow("underscore is a wildcard") << QStringList{"filtro=c_l"} << QStringList{"CAL-G"} << cola << false;
    QTest::newRow("percent is a wildcard") << QStringList{"filtro=G%a"} << QStringList{"GUA-L"} << QStringList{} << false;
}

void TestMenu::filters()
{
    QFETCH(QStringList, steps);
    for (const QString &step : steps) {
        const QString box = step.section('=', 0, 0), entry = step.section('=', 1);
        if (box == "filtro") {
            widget<QLineEdit>("lineEdit_filtro")->setText(entry);
            QTest::mouseClick(widget<QPushButton>("pushButton_filtro"), Qt::LeftButton);
        } else {
            choose(widget<QComboBox>("comboBox_" + box), entry);
        }
    }
    QTEST(codes(widget<QTableView>("tableView_ativos")), "ativos");
    QTEST(codes(widget<QTableView>("tableView_pausados")), "pausados");
    QTEST(widget<QPushButton>("pushButton_item")->isEnabled(), "duplicar");
}

void TestMenu::changeSale_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("code");          // its whole row selected
    QTest::addColumn<bool>("lost");             // the dialog's connection dropped first
    QTest::addColumn<QString>("selection");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QStringList>("paused");
    QTest::newRow("pause") << 0 << "MUS-G" << false << "" << "" << QStringList{"COL-L", "MUS-G"};
    QTest::newRow("resume") << 1 << "COL-L" << false << "" << "" << QStringList{};
    QTest::newRow("nothing selected") << 0 << "" << false << "Nenhum pedido Selecionado" << "" << QStringList{"COL-L"};
    QTest::newRow("failure told") << 0 << "MUS-G" << true << "" << "server" << QStringList{"COL-L"};
}

void TestMenu::changeSale()
{
    QFETCH(int, tab);
    QFETCH(QString, code);
    QFETCH(QStringList, paused);
    QTest::mouseClick(widget<QPushButton>("pushButton_filtro"), Qt::LeftButton);
    widget<QTabWidget>("tabWidget")->setCurrentIndex(tab);
    auto *view = widget<QTableView>(tab == 0 ? "tableView_ativos" : "tableView_pausados");
    if (!code.isEmpty()) {
        clickRow(view, code);
        view->selectRow(view->currentIndex().row());
    }
    QFETCH(bool, lost);
    if (lost) {
        QVERIFY(fixture.exec("kill " + fixture.scalar("select id from information_schema.processlist where user="
                                                      "substring_index(current_user(), '@', 1) and id<>connection_id()")
                                           .toString()));
    }
    ModalAnswer box;
    QTest::mouseClick(widget<QPushButton>(tab == 0 ? "pushButton_pausar" : "pushButton_venda"), Qt::LeftButton);
    QTEST(box.title() == "Seleção" ? box.text() : QString(), "selection");
    checkFailureBox(box.title() == "Seleção" ? nullptr : &box);
    QCOMPARE(codes(widget<QTableView>("tableView_pausados")), paused);
    QCOMPARE(fixture.scalar("select group_concat(p.id order by p.id) from cardapio c join precoitem p "
                            "on p.id_precoitem=c.id_precoitem where c.ativo=0").toString(),
             QStringList(QStringList{"B-COL-L"} + paused).join(','));
}

void TestMenu::priceOnKeypad_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<double>("preco");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("error");
    QTest::newRow("typed") << "AC 1 2 , 5 Enter" << 12.5 << "     12,50" << "";
    QTest::newRow("closed unchanged") << "7" << 49.9 << "     49,90" << "";
    QTest::newRow("failed Enter keeps the price") << "AC +/- Enter" << 49.9 << "     49,90" << "";
    QTest::newRow("failure told") << "AC 9 9 9 9 9 9 9 9 9 9 Enter" << 49.9 << "     49,90" << "Out of range";
}

void TestMenu::priceOnKeypad()
{
    QFETCH(QString, keys);
    auto *ativos = widget<QTableView>("tableView_ativos");
    QTest::mouseClick(widget<QPushButton>("pushButton_filtro"), Qt::LeftButton);
    std::unique_ptr<ModalAnswer> box;
    ModalAnswer keypad([&](QWidget *w) {
        pressKeys(w, keys.split(' '));
        box = std::make_unique<ModalAnswer>();
    });
    clickRow(ativos, "MUS-G", true);
    checkFailureBox(box.get());
    QTEST(fixture.scalar("select preco from precoitem where id='MUS-G'").toDouble(), "preco");
    const QModelIndex cell = ativos->model()->match(ativos->model()->index(0, 3), Qt::DisplayRole, "MUS-G").first();
    auto *delegate = qobject_cast<QStyledItemDelegate *>(ativos->itemDelegateForColumn(9));
    QTEST(delegate->displayText(cell.siblingAtColumn(9).data(), ativos->locale()), "shown");
    QCOMPARE(fixture.scalar("select preco from precoitem where id='CAL-G'").toDouble(), 52.9);
}

void TestMenu::save_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("input");         // code|name|description|size|keypad keys
    QTest::addColumn<QString>("fault");         // a table that refuses what the save writes
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("saved");         // the entries of that name afterwards; empty: nothing changed
    const QString copy = "5/5/5 Pizzas Salgadas,1,127,0,3,", edit = "4/4/4 Pizzas Salgadas,1,62,5,3,";
    const QString inUse = "Código de Item já cadastrado", failed = "Erro na gravação de dados";
    QTest::newRow("copy keeping the code in use") << "Duplicar" << "MUS-G|Nova||Grande|" << "" << inUse << "";
    QTest::newRow("copy without a code or description")
        << "Duplicar" << "|Nova||Grande|" << "" << "" << copy + "Grande,49.90,,Nova,Nova,Tradicional";
    QTest::newRow("copy with the other store's code and a price") << "Duplicar" << "B-MUS-G|Nova|Fina|Broto|AC 7 , 5 Enter"
        << "" << "" << copy + "Broto,7.50,B-MUS-G,Nova,Fina,Tradicional";
    QTest::newRow("edit keeping its code")
        << "Editar" << "MUS-G|Nova|Fina|Broto|" << "" << "" << edit + "Broto,49.90,MUS-G,Nova,Fina,Tradicional";
    QTest::newRow("edit to a code in use") << "Editar" << "CAL-G|Nova||Grande|" << "" << inUse << "";
    QTest::newRow("no name first") << "Duplicar" << "MUS-G|||Escolha Tamanho...|" << "" << "Favor preencher nome do item" << "";
    QTest::newRow("no size before the code")
        << "Duplicar" << "MUS-G|Nova||Escolha Tamanho...|" << "" << "Favor selecionar tipo e/ou tamanho" << "";
    QTest::newRow("copy, second insert fails") << "Duplicar" << "N1|Nova||Broto|" << "precoitem" << failed << "";
    QTest::newRow("copy, third insert fails") << "Duplicar" << "N1|Nova||Broto|" << "cardapio" << failed << "";
    QTest::newRow("copy, no id for the new item") << "Duplicar" << "N1|Nova||Broto|" << "item_cardapio" << failed << "";
    QTest::newRow("edit, second update fails") << "Editar" << "MUS-G|Nova||Broto|" << "precoitem" << failed << "";
    QTest::newRow("edit, third update fails") << "Editar" << "MUS-G|Nova||Broto|" << "cardapio" << failed << "";
}

void TestMenu::save()
{
    QFETCH(QString, button);
    QFETCH(QString, fault);
    QFETCH(QString, input);
    const QStringList fields = input.split('|');
    choose(widget<QComboBox>("comboBox_menu"), "Pizzas Salgadas");
    clickRow(widget<QTableView>("tableView_ativos"), "MUS-G");
    const int broto = fixture.scalar("select id_tamanho from tamanho where id_pizzaria=7 and nome='Broto'").toInt();
    const QString sabotage = fault == "item_cardapio" ? "alter table item_cardapio modify id_itemcardapio int not null default 0"
                                                      : "alter table %1 add constraint recusa check (id_tamanho <> %2)";
    sabotaged = fault;
    if (!fault.isEmpty())
        QVERIFY2(fixture.exec(sabotage.arg(fault).arg(broto)), qPrintable(fixture.lastError()));

    std::unique_ptr<ModalAnswer> box;
    ModalAnswer editor([&](QWidget *w) {
        const auto field = [w](const char *name) { return w->findChild<QLineEdit *>(name); };
        field("lineEdit_sku")->setText(fields[0]);
        field("lineEdit_nome")->setText(fields[1]);
        field("lineEdit_descricao")->setText(fields[2]);
        auto *tamanho = w->findChild<QComboBox *>("comboBox_tamanho");
        tamanho->setCurrentIndex(tamanho->findText(fields[3]));
        if (!fields[4].isEmpty()) {
            ModalAnswer keypad([&](QWidget *k) { pressKeys(k, fields[4].split(' ')); });
            QTest::mouseClick(w->findChild<QPushButton *>("pushButton_preco"), Qt::LeftButton);
            QCOMPARE(w->findChild<QPushButton *>("pushButton_preco")->text(), QString("R$7.50"));
        }
        box = std::make_unique<ModalAnswer>();
        QTest::mouseClick(w->findChild<QPushButton *>("pushButton_ok"), Qt::LeftButton);
        if (w->isVisible())
            w->close();
    });
    QTest::mouseClick(widget<QPushButton>(button == "Editar" ? "pushButton_editar" : "pushButton_item"), Qt::LeftButton);
    QVERIFY(editor.seen() && box);
    QTEST(box->text(), "box");
    QFETCH(QString, saved);
    QCOMPARE(fixture.snapshot(loja, saved.isEmpty() ? "%" : fields[1]), saved.isEmpty() ? before : saved);
    QCOMPARE(fixture.snapshot(outraLoja), otherStore);
}

QTEST_MAIN(TestMenu)
#include "tst_menu.moc"
