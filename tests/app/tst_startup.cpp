#include "connectionsettings.h"
#include "consoledir.h"
#include "dbfixture.h"
#include "mainwindow.h"
#include "modalanswer.h"
#include "testenv.h"

#include <QAction>
#include <QLCDNumber>
#include <QLabel>
#include <QLineEdit>
#include <QMediaPlayer>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QHeaderView>
#include <QtTest>

#include <memory>

// Start-up: the form, config.conf into the window, and what a bad file does.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void formHoldsEveryWidget_data();
    void formHoldsEveryWidget();
    void windowShellAfterConstruction();
    void printerLineReachesTheSettings_data();
    void printerLineReachesTheSettings();
    void damagedConfigStillOpensTheWindow_data();
    void damagedConfigStillOpensTheWindow();
    void missingConfigOpensTheDialogFirst();
    void leavingRecordsTheStoreClosed();
    void alarmTestGoesOnAfterTheSettingsDialog();

private:
    std::unique_ptr<MainWindow> startWith(bool *boxSeen = nullptr);

    std::unique_ptr<DbFixture> db;
    std::unique_ptr<ConsoleDir> dir;
    int store = 0;
};

void TestStartup::initTestCase()
{
    TRV_REQUIRE_SERVERS();
    db = std::make_unique<DbFixture>();
    QVERIFY2(db->isOpen(), qPrintable(db->lastError()));
}

void TestStartup::init()
{
    QVERIFY(db->clearAll());
    store = db->addOwnedStore(QStringLiteral("dono"), QStringLiteral("segredo"));
    QVERIFY(store > 0);
    dir = std::make_unique<ConsoleDir>();
    connectionSettings = ConnectionSettings();
}

void TestStartup::cleanup()
{
    dir.reset();
}

std::unique_ptr<MainWindow> TestStartup::startWith(bool *boxSeen)
{
    ModalAnswer answer;
    auto window = std::make_unique<MainWindow>();
    if (boxSeen)
        *boxSeen = answer.seen();
    return window;
}

void TestStartup::formHoldsEveryWidget_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<int>("pointSize");   // 0: the default font

    auto row = [](const char *name, const char *cls, const QString &text, QRect geometry, int pt = 0) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(cls) << text << geometry << pt;
    };
    row("label_pic", "QLabel", "", {240, 80, 131, 101});
    row("label_conexao", "QLabel", "Servidor conectado!", {190, 370, 171, 21});
    row("label_usuario", "QLabel", "Usuário logado!", {10, 370, 151, 21});
    row("frame", "QFrame", QString(), {230, 10, 201, 61});
    row("label_alarme", "QLabel", "Alarme", {10, -1, 181, 31});
    row("pushButton_play", "QPushButton", "Play", {10, 30, 81, 22});
    row("pushButton_stop", "QPushButton", "Stop", {110, 30, 81, 22});
    row("frame_2", "QFrame", QString(), {400, 140, 251, 51});
    row("lineEdit_numpedido", "QLineEdit", "", {10, 10, 181, 31}, 12);
    row("pushButton_numpedido", "QPushButton", "", {190, 10, 51, 31}, 12);
    row("pushButton_status", "QPushButton", "Status: FECHADO", {10, 130, 201, 61}, 14);
    row("lcdNumber", "QLCDNumber", QString(), {450, 50, 111, 81});
    row("pushButton_espera", "QPushButton", "Espera", {560, 50, 91, 81}, 13);
    row("tableView_pedidos", "QTableView", QString(), {10, 200, 641, 161}, 11);
    row("pushButton_gerenciar", "QPushButton", "Gerenciar Itens", {10, 10, 201, 51}, 14);
    row("label_recepcao", "QLabel", "[conexão Broker]", {10, 400, 321, 21});
    row("label_release", "QLabel", "200715", {580, 400, 71, 21});
    row("label_conexaoIinternet", "QLabel", "[conexão Internet]", {420, 370, 131, 21});
    row("radioButton_auto", "QRadioButton", "Automático", {10, 90, 111, 23}, 12);
    row("radioButton_manual", "QRadioButton", "Manual", {130, 90, 91, 23}, 12);
    row("label_funcionamento", "QLabel", "", {10, 430, 321, 21});
    row("pushButton_fechar", "QPushButton", "Fechar", {519, 10, 131, 31}, 15);
    row("label_relogio", "QLabel", QString(), {500, 430, 151, 31}, 15);
}

void TestStartup::formHoldsEveryWidget()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, text);
    QFETCH(QRect, geometry);
    QFETCH(int, pointSize);
    QVERIFY(dir->writeConfig(ConsoleDir::serverConfig(QStringLiteral("dono"), QStringLiteral("segredo"))));
    auto window = startWith();

    QWidget *widget = window->findChild<QWidget *>(name);
    QVERIFY2(widget, qPrintable(name));
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    QCOMPARE(widget->geometry(), geometry);
    if (pointSize)
        QCOMPARE(widget->font().pointSize(), pointSize);
    if (text.isNull())
        return;
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        if (name == QLatin1String("label_relogio"))
            QVERIFY(QTime::fromString(label->text(), QStringLiteral("hh:mm:ss")).isValid());
        else
            QCOMPARE(label->text(), text);
    } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
        QCOMPARE(button->text(), text);
    } else if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
        QCOMPARE(edit->text(), text);
        QCOMPARE(edit->placeholderText(), QStringLiteral("número do pedido"));
        QVERIFY(edit->isClearButtonEnabled());
    }
}

void TestStartup::windowShellAfterConstruction()
{
    QVERIFY(dir->writeConfig(ConsoleDir::serverConfig(QStringLiteral("dono"), QStringLiteral("segredo"))));
    auto window = startWith();

    QCOMPARE(window->windowTitle(), QStringLiteral("MainWindow"));
    QCOMPARE(window->size(), QSize(661, 524));
    const Qt::WindowFlags flags = window->windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(!(flags & Qt::WindowCloseButtonHint));

    auto *menu = window->findChild<QMenu *>(QStringLiteral("menuConfigura_o"));
    QVERIFY(menu);
    QCOMPARE(menu->title(), QStringLiteral("Configuração"));
    const QList<QAction *> actions = menu->actions();
    QCOMPARE(actions.size(), 3);
    QCOMPARE(actions.at(0)->text(), QStringLiteral("Abrir CFG"));
    QVERIFY(actions.at(1)->isSeparator());
    QCOMPARE(actions.at(2)->text(), QStringLiteral("Sair"));

    QVERIFY(!window->findChild<QLabel *>(QStringLiteral("label_pic"))->pixmap(Qt::ReturnByValue).isNull());
    QCOMPARE(window->findChild<QLCDNumber *>(QStringLiteral("lcdNumber"))->digitCount(), 3);
    QVERIFY(window->findChild<QTableView *>(QStringLiteral("tableView_pedidos"))->horizontalHeader()->stretchLastSection());

    auto *tray = window->findChild<QSystemTrayIcon *>();
    QVERIFY(tray);
    QVERIFY(!tray->icon().isNull());
    auto *player = window->findChild<QMediaPlayer *>();
    QVERIFY(player);
    QCOMPARE(player->media().request().url(),
             QUrl::fromLocalFile(QDir(dir->path()).absoluteFilePath(QStringLiteral("sound/fone.mp3"))));

    // No opening periods today: manual mode, automatic unavailable.
    QVERIFY(!window->findChild<QRadioButton *>(QStringLiteral("radioButton_auto"))->isEnabled());
    QVERIFY(window->findChild<QRadioButton *>(QStringLiteral("radioButton_manual"))->isChecked());
}

void TestStartup::printerLineReachesTheSettings_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("printers");
    const QStringList before{QStringLiteral("antes")};
    QTest::newRow("two printers") << "Cozinha:Balcao" << QStringList{"Cozinha", "Balcao"};
    QTest::newRow("none chosen") << ":" << QStringList{"", ""};
    QTest::newRow("one, no colon") << "Cozinha" << QStringList{"Cozinha"};
    QTest::newRow("name with a colon splits") << "HP:LaserJet:Balcao" << QStringList{"HP", "LaserJet", "Balcao"};
    QTest::newRow("empty keeps the list") << "" << before;
}

void TestStartup::printerLineReachesTheSettings()
{
    QFETCH(QString, line);
    QFETCH(QStringList, printers);
    connectionSettings.printerList = QStringList{QStringLiteral("antes")};
    ConfigValues config = ConsoleDir::serverConfig(QStringLiteral("dono"), QStringLiteral("segredo"));
    config.printerLine = line;
    QVERIFY(dir->writeConfig(config));

    auto window = startWith();
    QCOMPARE(connectionSettings.printerList, printers);
    QCOMPARE(connectionSettings.host, TestEnv::dbHost());
    QCOMPARE(connectionSettings.dbPassword, TestEnv::dbPassword());
}

void TestStartup::damagedConfigStillOpensTheWindow_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QByteArray junk(4096, '\0');
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = char((i * 131 + 7) % 256);
    QTest::newRow("binary junk") << junk;
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("three lines") << QByteArray("dono\nAwL7rYc=\n127.0.0.1\n");
    QTest::newRow("very long line") << (QByteArray(3 * 1024 * 1024, 'x') + "\n");
    QTest::newRow("passwords not base64") << QByteArray("dono\n***\n127.0.0.1\ntrovanta_test\n1\nu\n!!\nu\n@@\n/\n1\n:\n");
}

void TestStartup::damagedConfigStillOpensTheWindow()
{
    QFETCH(QByteArray, bytes);
    QVERIFY(dir->writeRaw(bytes));
    bool boxSeen = false;
    auto window = startWith(&boxSeen);
    QVERIFY(window);
    QVERIFY(boxSeen);
    // No usable server settings: the refresh after the login says so.
    QCOMPARE(window->findChild<QLabel *>(QStringLiteral("label_usuario"))->text(), QStringLiteral("---"));
    QCOMPARE(window->findChild<QLabel *>(QStringLiteral("label_conexao"))->text(),
             QStringLiteral("Servidor não conectado!"));
    QVERIFY(!window->findChild<QPushButton *>(QStringLiteral("pushButton_gerenciar"))->isEnabled());
}

void TestStartup::missingConfigOpensTheDialogFirst()
{
    QString dialogTitle;
    ModalAnswer answer([&dialogTitle](QWidget *modal) {
        dialogTitle = QString::fromLatin1(modal->metaObject()->className());
        ModalAnswer::accept(modal);
    });
    auto window = std::make_unique<MainWindow>();
    QCOMPARE(dialogTitle, QStringLiteral("Configuracao"));
    // Nothing to log in with: the failure texts, no store.
    QCOMPARE(window->findChild<QLabel *>(QStringLiteral("label_usuario"))->text(), QStringLiteral("---"));
    QCOMPARE(window->findChild<QLabel *>(QStringLiteral("label_conexao"))->text(),
             QStringLiteral("Servidor não conectado!"));
    QVERIFY(!QFile::exists(QStringLiteral("config.conf")));
}

void TestStartup::leavingRecordsTheStoreClosed()
{
    QVERIFY(db->setStatus(store, 1, 25));
    QVERIFY(dir->writeConfig(ConsoleDir::serverConfig(QStringLiteral("dono"), QStringLiteral("segredo"))));
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    {
        auto window = startWith();
        QCOMPARE(window->findChild<QPushButton *>(QStringLiteral("pushButton_status"))->text(),
                 QStringLiteral("Status: ABERTO"));
        QCOMPARE(window->findChild<QLCDNumber *>(QStringLiteral("lcdNumber"))->intValue(), 25);
    }
    QCOMPARE(db->scalar(QStringLiteral("select status from status where id_pizzaria=:id"), {{":id", store}}).toInt(), 0);
    QVERIFY(db->scalar(QStringLiteral("select ts_close from status where id_pizzaria=:id"), {{":id", store}}).toLongLong()
            >= before);
    QCOMPARE(db->scalar(QStringLiteral("select espera from status where id_pizzaria=:id"), {{":id", store}}).toInt(), 25);
}

void TestStartup::alarmTestGoesOnAfterTheSettingsDialog()
{
    QVERIFY(dir->writeConfig(ConsoleDir::serverConfig(QStringLiteral("dono"), QStringLiteral("segredo"))));
    auto window = startWith();
    QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("pushButton_play")), Qt::LeftButton);
    ModalAnswer answer;
    window->findChild<QAction *>(QStringLiteral("actionAbrir_CFG"))->trigger();
    QVERIFY(answer.seen());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const QList<QMediaPlayer *> players = window->findChildren<QMediaPlayer *>();
    QCOMPARE(players.size(), 1);
    QCOMPARE(window->findChild<QLabel *>(QStringLiteral("label_alarme"))->text(), QStringLiteral("Teste de Alarme ON"));
    QTRY_COMPARE(players.first()->state(), QMediaPlayer::PlayingState);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
