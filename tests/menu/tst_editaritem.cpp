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
    void init();
    void cleanup();
    void save_data();
    void save();

private:
    MenuFixture fixture;
};

void TestEditarItem::init()
{
    TRV_REQUIRE_SERVERS();
    QVERIFY2(fixture.build(), qPrintable(fixture.lastError()));
}

void TestEditarItem::cleanup()
{
    fixture.exec("alter table precoitem drop constraint if exists recusa");
    fixture.exec("alter table cardapio drop constraint if exists recusa");
    fixture.exec("alter table item_cardapio modify id_itemcardapio int not null auto_increment");
}

void TestEditarItem::save_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("input");     // code, name, description, size, keypad keys
    QTest::addColumn<QString>("fault");         // a table that refuses what the save writes
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("saved");         // rows of that name afterwards; empty: nothing changed
    const QString copied = "5/5/5 Pizzas Salgadas,1,127,0,3,";
    const QString refused = "Erro na gravação de dados";
    QTest::newRow("copy keeping the code in use") << "Duplicar" << QStringList{"MUS-G", "Nova", "", "Grande", ""} << ""
                                                  << "Código de Item já cadastrado" << "";
    QTest::newRow("copy without a code, no description")
        << "Duplicar" << QStringList{"", "Nova", "", "Grande", ""} << "" << "" << copied + "Grande,49.90,,Nova,Nova,Tradicional";
    QTest::newRow("copy with the other store's code, new price")
        << "Duplicar" << QStringList{"B-MUS-G", "Nova", "Fina", "Broto", "AC 7 , 5 Enter"} << "" << ""
        << copied + "Broto,7.50,B-MUS-G,Nova,Fina,Tradicional";
    QTest::newRow("edit keeping its code") << "Editar" << QStringList{"MUS-G", "Nova", "Fina", "Broto", ""} << "" << ""
                                           << "4/4/4 Pizzas Salgadas,1,62,5,3,Broto,49.90,MUS-G,Nova,Fina,Tradicional";
    QTest::newRow("edit to a code in use") << "Editar" << QStringList{"CAL-G", "Nova", "", "Grande", ""} << ""
                                           << "Código de Item já cadastrado" << "";
    QTest::newRow("no name comes first") << "Duplicar" << QStringList{"MUS-G", "", "", "Escolha Tamanho...", ""} << ""
                                         << "Favor preencher nome do item" << "";
    QTest::newRow("no size before the code") << "Duplicar" << QStringList{"MUS-G", "Nova", "", "Escolha Tamanho...", ""}
                                             << "" << "Favor selecionar tipo e/ou tamanho" << "";
    QTest::newRow("copy, second insert fails") << "Duplicar" << QStringList{"N1", "Nova", "", "Broto", ""} << "precoitem"
                                               << refused << "";
    QTest::newRow("copy, third insert fails") << "Duplicar" << QStringList{"N1", "Nova", "", "Broto", ""} << "cardapio"
                                              << refused << "";
    QTest::newRow("copy, no id for the new item") << "Duplicar" << QStringList{"N1", "Nova", "", "Broto", ""}
                                                  << "item_cardapio" << refused << "";
    QTest::newRow("edit, second update fails") << "Editar" << QStringList{"MUS-G", "Nova", "", "Broto", ""} << "precoitem"
                                               << refused << "";
    QTest::newRow("edit, third update fails") << "Editar" << QStringList{"MUS-G", "Nova", "", "Broto", ""} << "cardapio"
                                              << refused << "";
}

void TestEditarItem::save()
{
    QFETCH(QString, button);
    QFETCH(QStringList, input);
    QFETCH(QString, fault);
    Gerenciar dialog;
    dialog.Inicializa(MenuFixture::loja);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    choose(dialog.findChild<QComboBox *>("comboBox_menu"), "Pizzas Salgadas");
    clickRow(dialog.findChild<QTableView *>("tableView_ativos"), "MUS-G");

    const int broto = fixture.id("select id_tamanho from tamanho where id_pizzaria=:s and nome=:n", MenuFixture::loja, "Broto");
    const QString sabotage = fault == "item_cardapio" ? "alter table item_cardapio modify id_itemcardapio int not null default 0"
                                                      : "alter table %1 add constraint recusa check (id_tamanho <> %2)";
    if (!fault.isEmpty())
        QVERIFY2(fixture.exec(sabotage.arg(fault).arg(broto)), qPrintable(fixture.lastError()));
    const QString before = fixture.snapshot(MenuFixture::loja), other = fixture.snapshot(MenuFixture::outraLoja);

    std::unique_ptr<ModalAnswer> box;
    ModalAnswer editor([&](QWidget *w) {
        w->findChild<QLineEdit *>("lineEdit_sku")->setText(input[0]);
        w->findChild<QLineEdit *>("lineEdit_nome")->setText(input[1]);
        w->findChild<QLineEdit *>("lineEdit_descricao")->setText(input[2]);
        auto *tamanho = w->findChild<QComboBox *>("comboBox_tamanho");
        tamanho->setCurrentIndex(tamanho->findText(input[3]));
        if (!input[4].isEmpty()) {
            ModalAnswer keypad([&](QWidget *k) { pressKeys(k, input[4].split(' ')); });
            QTest::mouseClick(w->findChild<QPushButton *>("pushButton_preco"), Qt::LeftButton);
            QCOMPARE(w->findChild<QPushButton *>("pushButton_preco")->text(), QString("R$7.50"));
        }
        box = std::make_unique<ModalAnswer>();
        QTest::mouseClick(w->findChild<QPushButton *>("pushButton_ok"), Qt::LeftButton);
        if (w->isVisible())
            w->close();
    });
    QTest::mouseClick(dialog.findChild<QPushButton *>(button == "Editar" ? "pushButton_editar" : "pushButton_item"),
                      Qt::LeftButton);
    QVERIFY(editor.seen() && box);
    QTEST(box->text(), "box");
    QFETCH(QString, saved);
    QCOMPARE(fixture.snapshot(MenuFixture::loja, saved.isEmpty() ? "%" : input[1]), saved.isEmpty() ? before : saved);
    QCOMPARE(fixture.snapshot(MenuFixture::outraLoja), other);
}

QTEST_MAIN(TestEditarItem)
#include "tst_editaritem.moc"
