#include "gerenciar.h"
#include "menufixture.h"
#include "modalanswer.h"

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
    void init();
    void filters_data();
    void filters();
    void changeSale_data();
    void changeSale();
    void priceOnKeypad_data();
    void priceOnKeypad();

private:
    template<typename T> T *widget(const QString &name) { return dialog->findChild<T *>(name); }
    void checkFailureBox(const ModalAnswer *box);

    MenuFixture fixture;
    std::unique_ptr<Gerenciar> dialog;
    QString before, otherStore;
};

void TestGerenciar::init()
{
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    dialog.reset();
    dialog = openGerenciar(&fixture);
    QVERIFY(dialog);
    before = fixture.snapshot(MenuFixture::loja);
    otherStore = fixture.snapshot(MenuFixture::outraLoja);
}

// A failed write is told with the database's text and changes nothing.
void TestGerenciar::checkFailureBox(const ModalAnswer *box)
{
    QFETCH(QString, error);
    const bool told = box && box->seen();
    QCOMPARE(told, !error.isEmpty());
    const QString text = told ? box->title() + ": " + box->text() : QString();
    QVERIFY2(!told || (text.startsWith("Erro na gravação de dados: ") && text.contains(error)), qPrintable(text));
    if (told)
        QCOMPARE(fixture.snapshot(MenuFixture::loja), before);
    QCOMPARE(fixture.snapshot(MenuFixture::outraLoja), otherStore);
}

void TestGerenciar::filters_data()
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

void TestGerenciar::filters()
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

void TestGerenciar::changeSale_data()
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

void TestGerenciar::changeSale()
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

void TestGerenciar::priceOnKeypad_data()
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

void TestGerenciar::priceOnKeypad()
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

QTEST_MAIN(TestGerenciar)
#include "tst_gerenciar.moc"
