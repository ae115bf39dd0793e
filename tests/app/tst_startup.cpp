#include "runningconsole.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMediaPlayer>
#include <QPushButton>
#include <QRadioButton>

// Start-up: config.conf into the window, the owner's login, what bad or
// missing settings do, and what leaving records.
class TestStartup : public StoreFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void constructedWindow();
    void ownersLogIn_data();
    void ownersLogIn();
    void unusableSettingsStillOpenTheWindow_data();
    void unusableSettingsStillOpenTheWindow();

private:
    template <class T = QAbstractButton> T *widget(const char *name) const { return window->findChild<T *>(QLatin1String(name)); }
    QString text(const char *name) const { return widget<QLabel>(name) ? widget<QLabel>(name)->text() : widget(name)->text(); }

    std::unique_ptr<ConsoleDir> dir;
    std::unique_ptr<MainWindow> window;
    QHash<QString, int> stores;
};

void TestStartup::init()
{
    QVERIFY(db->clearAll());
    const QStringList owners{"dono.a", "segredo", "dono.b", "outro", "dona.acento", "pão de açúcar ñ", "dono.vazio", ""};
    for (int i = 0; i < owners.size(); i += 2)
        stores.insert(owners.at(i), db->addOwnedStore(owners.at(i), owners.at(i + 1)));
    // Owning a store does not make a customer an owner.
    QVERIFY(db->addOwnedStore(QStringLiteral("cliente"), QStringLiteral("segredo"), 1) > 0);
    QVERIFY(db->setStatus(stores.value("dono.a"), 1, 25));
    dir = std::make_unique<ConsoleDir>();
    QVERIFY(dir->writeConfig(ConsoleDir::serverConfig(QStringLiteral("dono.a"), QStringLiteral("segredo"))));
}

void TestStartup::cleanup()
{
    window.reset();
    dir.reset();
}

void TestStartup::constructedWindow()
{
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    window = std::make_unique<MainWindow>();
    QCOMPARE(text("label_conexao"), QStringLiteral("Servidor conectado!"));
    QCOMPARE(text("pushButton_status"), QStringLiteral("Status: ABERTO"));
    // The pictures and the sound are read from the working directory.
    QVERIFY(!widget<QLabel>("label_pic")->pixmap(Qt::ReturnByValue).isNull());
    QCOMPARE(window->findChild<QMediaPlayer *>()->media().request().url(),
             QUrl::fromLocalFile(QDir::current().absoluteFilePath(QStringLiteral("sound/fone.mp3"))));
    // No opening periods today: manual mode, automatic unavailable.
    QVERIFY(!widget("radioButton_auto")->isEnabled());
    QVERIFY(widget("radioButton_manual")->isChecked());
    // "Gerenciar Itens" opens the menu of the store logged in, and only that.
    QVERIFY(db->exec("insert into menu (id_pizzaria, item_menu) values (:a, 'Menu A'), (:b, 'Menu B')",
                     {{":a", stores.value("dono.a")}, {":b", stores.value("dono.b")}}));
    QStringList menus;
    ModalAnswer menu([&menus](QWidget *dialog) {
        const auto *box = dialog->findChild<QComboBox *>(QStringLiteral("comboBox_menu"));
        for (int i = 0; box && i < box->count(); ++i)
            menus << box->itemText(i);
        ModalAnswer::accept(dialog);
    });
    widget("pushButton_gerenciar")->click();
    QCOMPARE(menus, QStringList({"Escolha Menu...", "Menu A"}));
    // The settings dialog replaces the player: an alarm test's label and sound end together.
    QTest::mouseClick(widget("pushButton_play"), Qt::LeftButton);
    ModalAnswer settings;
    widget<QAction>("actionAbrir_CFG")->trigger();
    QVERIFY(settings.seen());
    QCOMPARE(text("label_alarme"), QStringLiteral("Alarme"));
    for (QMediaPlayer *player : window->findChildren<QMediaPlayer *>())
        QCOMPARE(player->state(), QMediaPlayer::StoppedState);
    // Leaving records the store closed and keeps its waiting time.
    window.reset();
    const QStringList row = statusRow("status, espera, ts_close", stores.value("dono.a")).split(' ');
    QCOMPARE(row.mid(0, 2), QStringList({"0", "25"}));
    QVERIFY(row.value(2).toLongLong() >= before);
}

void TestStartup::ownersLogIn_data()
{
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("storeOf");   // empty: refused
    QTest::newRow("first store") << "dono.a" << "segredo" << "dono.a";
    QTest::newRow("second store") << "dono.b" << "outro" << "dono.b";
    // Digested from the UTF-8 bytes, as the service does.
    QTest::newRow("accented password") << "dona.acento" << "pão de açúcar ñ" << "dona.acento";
    QTest::newRow("empty password") << "dono.vazio" << "" << "dono.vazio";
    QTest::newRow("wrong password") << "dono.a" << "segredO" << "";
    QTest::newRow("unknown login") << "ninguem" << "segredo" << "";
    QTest::newRow("customer, not an owner") << "cliente" << "segredo" << "";
    QTest::newRow("digest sent as the password") << "dono.a" << "40847951488f9395f242f30ed27cdc47" << "";
}

void TestStartup::ownersLogIn()
{
    QFETCH(QString, login);
    QFETCH(QString, password);
    QFETCH(QString, storeOf);
    QVERIFY(dir->writeConfig(ConsoleDir::serverConfig(login, password)));
    ModalAnswer answer;
    window = std::make_unique<MainWindow>();
    const int expected = stores.value(storeOf);
    QCOMPARE(answer.title(), expected ? QString() : QStringLiteral("Erro para conexão de DataBase"));
    QCOMPARE(answer.text(), QString());   // the connection itself was fine
    QCOMPARE(text("label_usuario"), expected ? QStringLiteral("Usuário logado!") : QStringLiteral("Usuário ou senha errados!"));
    QCOMPARE(widget("pushButton_gerenciar")->isEnabled(), expected != 0);
    int id = -1;
    QVERIFY(QMetaObject::invokeMethod(window.get(), "LerTVUser", Qt::DirectConnection, Q_RETURN_ARG(int, id)));
    QCOMPARE(id, expected);
}

void TestStartup::unusableSettingsStillOpenTheWindow_data()
{
    QTest::addColumn<QByteArray>("bytes");   // null: good settings but nothing listening at the port
    QTest::addColumn<QString>("modal");      // what the operator sees first: class and title
    QTest::newRow("unreachable server") << QByteArray() << "QMessageBox Erro para conexão de DataBase";
    QTest::newRow("no file: the settings dialog") << QByteArray("-") << "Configuracao Dialog";
    QTest::newRow("binary junk") << QByteArray("\0\x83\xff\r\n\x1b\n", 7).repeated(600) << "QMessageBox Erro para conexão de DataBase";
}

void TestStartup::unusableSettingsStillOpenTheWindow()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, modal);
    ConfigValues unreachable = ConsoleDir::serverConfig(QStringLiteral("dono.a"), QStringLiteral("segredo"));
    unreachable.dbPort = QStringLiteral("1");
    QVERIFY(bytes == "-" ? QFile::remove("config.conf") : bytes.isNull() ? dir->writeConfig(unreachable) : dir->writeRaw(bytes));
    QString seen;
    ModalAnswer answer([&seen](QWidget *shown) {
        seen = QString::fromLatin1(shown->metaObject()->className()) + QLatin1Char(' ') + shown->windowTitle();
        ModalAnswer::accept(shown);
    });
    window = std::make_unique<MainWindow>();
    QCOMPARE(seen, modal);
    if (bytes.isNull())
        QVERIFY2(!answer.text().isEmpty(), "the box shows why the server could not be reached");
    // The list refresh after the login failed to connect too, and says so last.
    QCOMPARE(text("label_usuario"), QStringLiteral("---"));
    QCOMPARE(text("label_conexao"), QStringLiteral("Servidor não conectado!"));
    QCOMPARE(widget("pushButton_gerenciar")->isEnabled(), bytes == "-");   // refused only by a login
    QCOMPARE(QFile::exists("config.conf"), bytes != "-");   // nothing saved: the dialog was closed
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
