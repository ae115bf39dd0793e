#include "gerenciar.h"
#include "menufixture.h"
#include "modalanswer.h"
#include "testenv.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>

using namespace MenuUi;

class TestGerenciar : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void filters_data();
    void filters();
    void pauseAndResume();
    void priceOnKeypad_data();
    void priceOnKeypad();
    void failedUpdateIsTold_data();
    void failedUpdateIsTold();

private:
    template<typename T> T *widget(const char *name) { return dialog->findChild<T *>(name); }
    QVariant preco(const QString &code)
    {
        return fixture.scalar("select preco from precoitem where id=:c", {{":c", code}});
    }

    MenuFixture fixture;
    std::unique_ptr<Gerenciar> dialog;
    QString otherStore;
};

void TestGerenciar::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
}

void TestGerenciar::init()
{
    TRV_REQUIRE_SERVERS();
    QVERIFY2(fixture.build(), qPrintable(fixture.lastError()));
    otherStore = fixture.snapshot(MenuFixture::outraLoja);
    dialog.reset();
    dialog = std::make_unique<Gerenciar>();
    dialog->Inicializa(MenuFixture::loja);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    QVERIFY(codes(widget<QTableView>("tableView_ativos")).isEmpty());
}

void TestGerenciar::filters_data()
{
    QTest::addColumn<QStringList>("steps");     // box=entry, or filtro=text then the button
    QTest::addColumn<QStringList>("ativos");
    QTest::addColumn<QStringList>("pausados");
    QTest::addColumn<bool>("duplicar");
    const QStringList all{"CAL-G", "GUA-L", "MUS-G"};
    QTest::newRow("filtro alone") << QStringList{"filtro="} << all << QStringList{"COL-L"} << false;
    QTest::newRow("menu") << QStringList{"menu=Bebidas"} << QStringList{"GUA-L"} << QStringList{"COL-L"} << true;
    QTest::newRow("Escolha Menu... is a literal")
        << QStringList{"menu=Bebidas", "menu=Escolha Menu..."} << QStringList{} << QStringList{} << false;
    QTest::newRow("tipo and tamanho") << QStringList{"tipo=Tradicional", "tamanho=Grande"}
                                      << QStringList{"CAL-G", "MUS-G"} << QStringList{} << false;
    QTest::newRow("Escolha Tipo... clears")
        << QStringList{"tipo=Tradicional", "tipo=Escolha Tipo...", "tamanho=Lata"} << QStringList{"GUA-L"}
        << QStringList{"COL-L"} << false;
    QTest::newRow("Escolha Tamanho... clears")
        << QStringList{"tamanho=Broto", "tamanho=Escolha Tamanho..."} << all << QStringList{"COL-L"} << false;
    QTest::newRow("underscore is a wildcard") << QStringList{"filtro=c_l"} << QStringList{"CAL-G"}
                                              << QStringList{"COL-L"} << false;
    QTest::newRow("percent is a wildcard") << QStringList{"filtro=G%a"} << QStringList{"GUA-L"} << QStringList{} << false;
}

void TestGerenciar::filters()
{
    QFETCH(QStringList, steps);
    for (const QString &step : steps) {
        const QString box = step.section('=', 0, 0), entry = step.section('=', 1);
        if (box == "filtro") {
            widget<QLineEdit>("lineEdit_filtro")->setText(entry);
            QTest::mouseClick(widget<QPushButton>("pushButton_filtro"), Qt::LeftButton);
        } else {
            choose(dialog->findChild<QComboBox *>("comboBox_" + box), entry);
        }
    }
    QTEST(codes(widget<QTableView>("tableView_ativos")), "ativos");
    QTEST(codes(widget<QTableView>("tableView_pausados")), "pausados");
    QTEST(widget<QPushButton>("pushButton_item")->isEnabled(), "duplicar");
}

void TestGerenciar::pauseAndResume()
{
    auto *ativos = widget<QTableView>("tableView_ativos");
    auto *pausados = widget<QTableView>("tableView_pausados");
    const QString before = fixture.snapshot(MenuFixture::loja);
    for (const QString expected : {"Nenhum pedido para selecionar", "Nenhum pedido Selecionado"}) {
        ModalAnswer box;
        QTest::mouseClick(widget<QPushButton>("pushButton_pausar"), Qt::LeftButton);
        QCOMPARE(box.text(), expected);
        QTest::mouseClick(widget<QPushButton>("pushButton_filtro"), Qt::LeftButton);
    }
    QCOMPARE(fixture.snapshot(MenuFixture::loja), before);

    clickRow(ativos, "MUS-G");
    ativos->selectRow(ativos->currentIndex().row());
    QTest::mouseClick(widget<QPushButton>("pushButton_pausar"), Qt::LeftButton);
    QCOMPARE(codes(pausados), QStringList({"COL-L", "MUS-G"}));
    QCOMPARE(fixture.scalar("select group_concat(p.id order by p.id) from cardapio c join precoitem p "
                            "on p.id_precoitem=c.id_precoitem where c.ativo=0").toString(),
             QString("B-COL-L,COL-L,MUS-G"));

    widget<QTabWidget>("tabWidget")->setCurrentIndex(1);
    clickRow(pausados, "COL-L");
    QTest::mouseClick(widget<QPushButton>("pushButton_venda"), Qt::LeftButton);
    QCOMPARE(codes(ativos), QStringList({"CAL-G", "COL-L", "GUA-L"}));
    QCOMPARE(fixture.scalar("select group_concat(p.id order by p.id) from cardapio c join precoitem p "
                            "on p.id_precoitem=c.id_precoitem where c.ativo=0").toString(),
             QString("B-COL-L,MUS-G"));
    QCOMPARE(fixture.snapshot(MenuFixture::outraLoja), otherStore);
}

void TestGerenciar::priceOnKeypad_data()
{
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<double>("preco");
    QTest::addColumn<QString>("shown");
    QTest::newRow("typed") << QStringList{"AC", "1", "2", ",", "5", "Enter"} << 12.5 << "     12,50";
    QTest::newRow("closed unchanged") << QStringList{"7"} << 49.9 << "     49,90";
    QTest::newRow("failed Enter keeps the price") << QStringList{"AC", "+/-", "Enter"} << 49.9 << "     49,90";
}

void TestGerenciar::priceOnKeypad()
{
    QFETCH(QStringList, keys);
    auto *ativos = widget<QTableView>("tableView_ativos");
    QTest::mouseClick(widget<QPushButton>("pushButton_filtro"), Qt::LeftButton);
    ModalAnswer keypad([&](QWidget *w) { pressKeys(w, keys); });
    clickRow(ativos, "MUS-G", true);
    QVERIFY(keypad.seen());
    QTEST(preco("MUS-G").toDouble(), "preco");
    const QModelIndex cell = ativos->model()->match(ativos->model()->index(0, 3), Qt::DisplayRole, "MUS-G").first();
    auto *delegate = qobject_cast<QStyledItemDelegate *>(ativos->itemDelegateForColumn(9));
    QTEST(delegate->displayText(cell.siblingAtColumn(9).data(), ativos->locale()), "shown");
    QCOMPARE(preco("CAL-G").toDouble(), 52.9);
    QCOMPARE(fixture.snapshot(MenuFixture::outraLoja), otherStore);
}

void TestGerenciar::failedUpdateIsTold_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("error");
    QTest::newRow("pause on a lost connection") << "lost" << "server";
    QTest::newRow("price out of range") << "range" << "Out of range";
}

void TestGerenciar::failedUpdateIsTold()
{
    QFETCH(QString, fault);
    QFETCH(QString, error);
    auto *ativos = widget<QTableView>("tableView_ativos");
    QTest::mouseClick(widget<QPushButton>("pushButton_filtro"), Qt::LeftButton);
    const QString before = fixture.snapshot(MenuFixture::loja);
    std::unique_ptr<ModalAnswer> box;
    if (fault == "lost") {
        const QVariant menuConnection = fixture.scalar("select id from information_schema.processlist where "
                                                       "user=substring_index(current_user(), '@', 1) and id<>connection_id()");
        QVERIFY(fixture.exec("kill " + menuConnection.toString()));
        clickRow(ativos, "MUS-G");
        box = std::make_unique<ModalAnswer>();
        QTest::mouseClick(widget<QPushButton>("pushButton_pausar"), Qt::LeftButton);
    } else {
        ModalAnswer keypad([&](QWidget *w) {
            pressKeys(w, {"AC", "9", "9", "9", "9", "9", "9", "9", "9", "9", "9", "Enter"});
            box = std::make_unique<ModalAnswer>();
        });
        clickRow(ativos, "MUS-G", true);
    }
    QVERIFY(box && box->seen());
    QCOMPARE(box->title(), QString("Erro na gravação de dados"));
    QVERIFY2(box->text().contains(error), qPrintable(box->text()));
    QCOMPARE(fixture.snapshot(MenuFixture::loja), before);
}

QTEST_MAIN(TestGerenciar)
#include "tst_gerenciar.moc"
