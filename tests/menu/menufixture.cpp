#include "menufixture.h"

#include "connectionsettings.h"
#include "gerenciar.h"
#include "testenv.h"

#include <QComboBox>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

int MenuFixture::add(const QString &statement, const QVariantMap &bindings)
{
    return exec(statement, bindings) ? scalar(QStringLiteral("select last_insert_id()")).toInt() : 0;
}

bool MenuFixture::build()
{
    connectionSettings.host = TestEnv::dbHost();
    connectionSettings.dbPort = QString::number(TestEnv::dbPort());
    connectionSettings.dbName = TestEnv::dbName();
    connectionSettings.dbUser = TestEnv::dbUser();
    connectionSettings.dbPassword = TestEnv::dbPassword();
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

QString MenuFixture::snapshot(int store, const QString &nome)
{
    // Price rows of no store's item count for every store.
    return scalar("select concat((select count(*) from item_cardapio where id_pizzaria=:s), '/', (select count(*) "
                  "from precoitem where id_itemcardapio not in (select id_itemcardapio from item_cardapio where "
                  "id_pizzaria<>:s)), '/', (select count(*) from cardapio where id_pizzaria=:s), ' ', group_concat(concat_ws(',', m.item_menu, c.ativo, "
                  "c.dia_semana, c.info_cardapio, c.mask_cardapio, t.nome, p.preco, p.id, i.nome_item, "
                  "i.descricao_item, k.tipocardapio) order by c.id_cardapio separator ';')) "
                  "from cardapio c join menu m on m.id_menu=c.id_menu join precoitem p on p.id_precoitem=c.id_precoitem "
                  "join tamanho t on t.id_tamanho=p.id_tamanho and t.id_tamanho=c.id_tamanho "
                  "join item_cardapio i on i.id_itemcardapio=p.id_itemcardapio "
                  "join tipocardapio k on k.id_tipocardapio=i.id_tipocardapio where c.id_pizzaria=:s and i.nome_item like :n",
                  {{":s", store}, {":n", nome}})
        .toString();
}

namespace MenuUi {

std::unique_ptr<Gerenciar> openGerenciar(MenuFixture *fixture)
{
    if (!TestEnv::haveServers() || !fixture->build()) {
        qWarning() << "no menu fixture:" << fixture->lastError();
        return nullptr;
    }
    auto dialog = std::make_unique<Gerenciar>();
    dialog->Inicializa(MenuFixture::loja);
    dialog->show();
    return QTest::qWaitForWindowExposed(dialog.get()) ? std::move(dialog) : nullptr;
}

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

void clickRow(QTableView *view, const QString &code, bool twice)
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

} // namespace MenuUi
