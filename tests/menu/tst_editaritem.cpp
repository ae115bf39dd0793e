#include "gerenciar.h"
#include "menufixture.h"
#include "modalanswer.h"
#include "testenv.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

using namespace MenuUi;

class TestEditarItem : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void save_data();
    void save();

private:
    MenuFixture fixture;
};

void TestEditarItem::cleanup()
{
    fixture.exec("alter table precoitem drop constraint if exists recusa");
    fixture.exec("alter table cardapio drop constraint if exists recusa");
    fixture.exec("alter table item_cardapio modify id_itemcardapio int not null auto_increment");
}

void TestEditarItem::save_data()
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

void TestEditarItem::save()
{
    QFETCH(QString, button);
    QFETCH(QString, fault);
    QFETCH(QString, input);
    const QStringList fields = input.split('|');
    std::unique_ptr<Gerenciar> dialog = openGerenciar(&fixture);
    QVERIFY(dialog);
    choose(dialog->findChild<QComboBox *>("comboBox_menu"), "Pizzas Salgadas");
    clickRow(dialog->findChild<QTableView *>("tableView_ativos"), "MUS-G");
    const int broto = fixture.scalar("select id_tamanho from tamanho where id_pizzaria=7 and nome='Broto'").toInt();
    const QString sabotage = fault == "item_cardapio" ? "alter table item_cardapio modify id_itemcardapio int not null default 0"
                                                      : "alter table %1 add constraint recusa check (id_tamanho <> %2)";
    if (!fault.isEmpty())
        QVERIFY2(fixture.exec(sabotage.arg(fault).arg(broto)), qPrintable(fixture.lastError()));
    const QString before = fixture.snapshot(MenuFixture::loja), other = fixture.snapshot(MenuFixture::outraLoja);

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
    QTest::mouseClick(dialog->findChild<QPushButton *>(button == "Editar" ? "pushButton_editar" : "pushButton_item"),
                      Qt::LeftButton);
    QVERIFY(editor.seen() && box);
    QTEST(box->text(), "box");
    QFETCH(QString, saved);
    QCOMPARE(fixture.snapshot(MenuFixture::loja, saved.isEmpty() ? "%" : fields[1]), saved.isEmpty() ? before : saved);
    QCOMPARE(fixture.snapshot(MenuFixture::outraLoja), other);
}

QTEST_MAIN(TestEditarItem)
#include "tst_editaritem.moc"
