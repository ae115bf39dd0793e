#include "gerenciar.h"
#include "runningconsole.h"

#include <QAction>
#include <QComboBox>
#include <QScopeGuard>
#include <QSqlQueryModel>

// Start-up: config.conf into the window, the owner's login, what bad or
// missing settings do, and what leaving records.
class TestStartup : public StoreFixture
{
    Q_OBJECT

private slots:
    void init()
    {
        connectionSettings = ConnectionSettings();   // every start as in a fresh process
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

    void cleanup() { window.reset(); dir.reset(); }

    void constructedWindow()
    {
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        window = std::make_unique<MainWindow>();
        QTRY_COMPARE_WITH_TIMEOUT(text("label_conexao"), QStringLiteral("Servidor conectado!"), 10000);
        QTRY_COMPARE(text("pushButton_status"), QStringLiteral("Status: ABERTO"));
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
            QTRY_VERIFY(!dialog->findChild<StatementRunner *>()->isBusy());   // filled as the rows arrive
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

    // The reading slots are reachable through the meta-object, where nothing
    // stops a null model: refused without a crash, by the one door they share.
    void nullModels()
    {
        TestEnv::useDatabase(connectionSettings);   // the read would run, and then crash
        window = std::make_unique<MainWindow>();
        bool read = true;
        QVERIFY(QMetaObject::invokeMethod(window.get(), "LerDiario", Qt::DirectConnection, Q_RETURN_ARG(bool, read),
                                          Q_ARG(int, stores.value("dono.a")), Q_ARG(int, 1), Q_ARG(QSqlQueryModel *, nullptr)));
        QVERIFY(!read);
    }

    void settingsAndLogin_data()
    {
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("password");
        // null: settings reaching the servers; "-": no file; "port 1": nothing listening there.
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("storeOf");   // empty: none logged in
        QTest::addColumn<QString>("modal");     // what the operator sees first: class and title
        const QString box = QStringLiteral("QMessageBox Erro para conexão de DataBase");
        QTest::newRow("first store") << "dono.a" << "segredo" << QByteArray() << "dono.a" << "";
        QTest::newRow("second store") << "dono.b" << "outro" << QByteArray() << "dono.b" << "";
        // Digested from the UTF-8 bytes, as the service does.
        QTest::newRow("accented password") << "dona.acento" << "pão de açúcar ñ" << QByteArray() << "dona.acento" << "";
        QTest::newRow("empty password") << "dono.vazio" << "" << QByteArray() << "dono.vazio" << "";
        QTest::newRow("wrong password") << "dono.a" << "segredO" << QByteArray() << "" << box;
        QTest::newRow("customer, not an owner") << "cliente" << "segredo" << QByteArray() << "" << box;
        QTest::newRow("digest sent as the password") << "dono.a" << "40847951488f9395f242f30ed27cdc47" << QByteArray() << "" << box;
        QTest::newRow("unreachable server") << "dono.a" << "segredo" << QByteArray("port 1") << "" << box;
        QTest::newRow("no file: the settings dialog") << "" << "" << QByteArray("-") << "" << "Configuracao Dialog";
    }

    void settingsAndLogin()
    {
        QFETCH(QString, login);
        QFETCH(QString, password);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, storeOf);
        ConfigValues config = ConsoleDir::serverConfig(login, password);
        config.dbPort = bytes == "port 1" ? QStringLiteral("1") : config.dbPort;
        QVERIFY(bytes == "-" ? QFile::remove("config.conf") : dir->writeConfig(config));
        QString seen;
        ModalAnswer answer([&seen](QWidget *shown) {
            seen = QString::fromLatin1(shown->metaObject()->className()) + QLatin1Char(' ') + shown->windowTitle();
            ModalAnswer::accept(shown);
        });
        window = std::make_unique<MainWindow>();
        const int expected = stores.value(storeOf);
        // Unusable settings: the login could not even connect.
        QTRY_COMPARE_WITH_TIMEOUT(text("label_usuario"), !bytes.isNull() ? "---" : expected ? "Usuário logado!" : "Usuário ou senha errados!", 10000);
        QFETCH(QString, modal);
        QTRY_COMPARE(seen, modal);
        // A box says why the server could not be reached; none when the connection itself was fine.
        QCOMPARE(answer.text().isEmpty(), bytes.isNull() || bytes == "-");
        QTRY_COMPARE(text("label_conexao"), bytes.isNull() ? "Servidor conectado!" : "Servidor não conectado!");
        QCOMPARE(widget("pushButton_gerenciar")->isEnabled(), expected != 0 || bytes == "-");   // refused only by a login
        QCOMPARE(QFile::exists("config.conf"), bytes != "-");   // nothing saved: the dialog was closed
        int id = -1;
        QVERIFY(QMetaObject::invokeMethod(window.get(), "LerTVUser", Qt::DirectConnection, Q_RETURN_ARG(int, id)));
        QCOMPARE(id, expected);
    }

    // A login whose statement fails is tried again until it runs: the console never
    // goes on as store 0, and leaving closes the store it logged in as.
    void loginRetried()
    {
        QVERIFY(db->exec("rename table pizzaria to pizzaria_fora"));
        bool renamedBack = false;
        const auto restore = qScopeGuard([&] {
            if (!renamedBack)
                db->exec("rename table pizzaria_fora to pizzaria");
        });
        ModalAnswer box;
        window = std::make_unique<MainWindow>();
        QTRY_VERIFY(box.seen());
        QVERIFY(!widget("pushButton_gerenciar")->isEnabled());
        renamedBack = db->exec("rename table pizzaria_fora to pizzaria");
        QTRY_COMPARE_WITH_TIMEOUT(text("label_usuario"), QStringLiteral("Usuário logado!"), 20000);
        QVERIFY(widget("pushButton_gerenciar")->isEnabled());
        window.reset();
        QCOMPARE(statusRow("status", stores.value("dono.a")), QStringLiteral("0"));
    }

private:
    template <class T = QAbstractButton> T *widget(const char *name) const { return window->findChild<T *>(QLatin1String(name)); }
    QString text(const char *name) const { return widget<QLabel>(name) ? widget<QLabel>(name)->text() : widget(name)->text(); }

    std::unique_ptr<ConsoleDir> dir;
    std::unique_ptr<MainWindow> window;
    QHash<QString, int> stores;
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
