#include "connectionsettings.h"
#include "consoledir.h"
#include "dbfixture.h"
#include "mainwindow.h"
#include "modalanswer.h"
#include "testenv.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <memory>

// The store owner's account from config.conf decides which store the console serves.
class TestLogin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void ownerLogsInToTheStoreTheyOwn_data();
    void ownerLogsInToTheStoreTheyOwn();
    void refusedAccountShowsTheStartupBox_data();
    void refusedAccountShowsTheStartupBox();
    void unreachableServerShowsTheConnectionError();
    void loginAgainReplacesTheStore();
    void passwordsEncipheredElsewhereLogIn_data();
    void passwordsEncipheredElsewhereLogIn();

private:
    struct Started
    {
        std::unique_ptr<MainWindow> window;
        bool boxSeen = false;
        QString boxTitle;
        QString boxText;
    };
    Started start(const ConfigValues &config);
    static QString label(MainWindow &window, const char *name);
    static bool gerenciarEnabled(MainWindow &window);

    std::unique_ptr<DbFixture> db;
    std::unique_ptr<ConsoleDir> dir;
    int storeA = 0;
    int storeB = 0;
};

void TestLogin::initTestCase()
{
    TRV_REQUIRE_SERVERS();
    db = std::make_unique<DbFixture>();
    QVERIFY2(db->isOpen(), qPrintable(db->lastError()));
}

void TestLogin::init()
{
    QVERIFY(db->clearAll());
    storeA = db->addOwnedStore(QStringLiteral("dono.a"), QStringLiteral("segredo"));
    storeB = db->addOwnedStore(QStringLiteral("dono.b"), QStringLiteral("outro"));
    QVERIFY(storeA > 0 && storeB > 0);
    dir = std::make_unique<ConsoleDir>();
}

void TestLogin::cleanup()
{
    dir.reset();
}

TestLogin::Started TestLogin::start(const ConfigValues &config)
{
    Started started;
    if (!dir->writeConfig(config))
        return started;
    ModalAnswer answer;
    started.window = std::make_unique<MainWindow>();
    started.boxSeen = answer.seen();
    started.boxTitle = answer.title();
    started.boxText = answer.text();
    return started;
}

QString TestLogin::label(MainWindow &window, const char *name)
{
    auto *widget = window.findChild<QLabel *>(QLatin1String(name));
    return widget ? widget->text() : QStringLiteral("<no %1>").arg(QLatin1String(name));
}

bool TestLogin::gerenciarEnabled(MainWindow &window)
{
    return window.findChild<QPushButton *>(QStringLiteral("pushButton_gerenciar"))->isEnabled();
}

void TestLogin::ownerLogsInToTheStoreTheyOwn_data()
{
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("secondStore");
    QTest::newRow("first store") << "dono.a" << "segredo" << false;
    QTest::newRow("second store") << "dono.b" << "outro" << true;
    // Digested from the UTF-8 bytes, as the service does.
    QTest::newRow("accented password") << "dona.acento" << QString::fromUtf8("pão de açúcar ñ") << true;
    QTest::newRow("empty password") << "dono.vazio" << "" << true;
}

void TestLogin::ownerLogsInToTheStoreTheyOwn()
{
    QFETCH(QString, login);
    QFETCH(QString, password);
    QFETCH(bool, secondStore);
    int expected = secondStore ? storeB : storeA;
    if (login != QLatin1String("dono.a") && login != QLatin1String("dono.b")) {
        expected = db->addOwnedStore(login, password);
        QVERIFY(expected > 0);
    }

    Started started = start(ConsoleDir::serverConfig(login, password));
    QVERIFY(started.window);
    QVERIFY2(!started.boxSeen, qPrintable(started.boxText));
    QCOMPARE(label(*started.window, "label_usuario"), QStringLiteral("Usuário logado!"));
    QVERIFY(gerenciarEnabled(*started.window));

    int id = -1;
    QVERIFY(QMetaObject::invokeMethod(started.window.get(), "LerTVUser", Qt::DirectConnection, Q_RETURN_ARG(int, id)));
    QCOMPARE(id, expected);

    // "Gerenciar Itens" opens the menu of the store logged in, and only that.
    QVERIFY(db->exec("insert into menu (id_pizzaria, item_menu) values (:a, 'Menu A'), (:b, 'Menu B')",
                     {{":a", expected}, {":b", expected == storeA ? storeB : storeA}}));
    QStringList menus;
    ModalAnswer menu([&menus](QWidget *dialog) {
        const auto *box = dialog->findChild<QComboBox *>(QStringLiteral("comboBox_menu"));
        for (int i = 0; box && i < box->count(); ++i)
            menus << box->itemText(i);
        ModalAnswer::accept(dialog);
    });
    started.window->findChild<QPushButton *>(QStringLiteral("pushButton_gerenciar"))->click();
    QCOMPARE(menus, QStringList({"Escolha Menu...", "Menu A"}));
}

void TestLogin::refusedAccountShowsTheStartupBox_data()
{
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("password");
    QTest::newRow("wrong password") << "dono.a" << "segredO";
    QTest::newRow("unknown login") << "ninguem" << "segredo";
    QTest::newRow("customer, not an owner") << "cliente" << "segredo";
    QTest::newRow("empty password against a real one") << "dono.a" << "";
    QTest::newRow("digest sent as the password") << "dono.a" << "2b0a0b2a0c3b0e0b3e3f8a0b9c8a7d6e";
}

void TestLogin::refusedAccountShowsTheStartupBox()
{
    QFETCH(QString, login);
    QFETCH(QString, password);
    const int customer = db->addUser(QStringLiteral("cliente"), QStringLiteral("segredo"), 1);
    QVERIFY(db->addStore(customer) > 0);   // owning a store does not make a customer an owner

    Started started = start(ConsoleDir::serverConfig(login, password));
    QVERIFY(started.window);
    QVERIFY(started.boxSeen);
    QCOMPARE(started.boxTitle, QStringLiteral("Erro para conexão de DataBase"));
    QCOMPARE(started.boxText, QString());   // the connection itself was fine
    QCOMPARE(label(*started.window, "label_usuario"), QStringLiteral("Usuário ou senha errados!"));
    QVERIFY(!gerenciarEnabled(*started.window));
}

void TestLogin::unreachableServerShowsTheConnectionError()
{
    ConfigValues config = ConsoleDir::serverConfig(QStringLiteral("dono.a"), QStringLiteral("segredo"));
    config.dbPort = QStringLiteral("1");   // nothing listens there

    Started started = start(config);
    QVERIFY(started.window);
    QVERIFY(started.boxSeen);
    QCOMPARE(started.boxTitle, QStringLiteral("Erro para conexão de DataBase"));
    QVERIFY2(!started.boxText.isEmpty(), "the box shows why the server could not be reached");
    // The list refresh after the login failed to connect too, and says so last.
    QCOMPARE(label(*started.window, "label_usuario"), QStringLiteral("---"));
    QCOMPARE(label(*started.window, "label_conexao"), QStringLiteral("Servidor não conectado!"));
    QVERIFY(!gerenciarEnabled(*started.window));
}

void TestLogin::loginAgainReplacesTheStore()
{
    Started started = start(ConsoleDir::serverConfig(QStringLiteral("dono.a"), QStringLiteral("segredo")));
    QVERIFY(started.window);
    QVERIFY(gerenciarEnabled(*started.window));

    // The owner's password changes on the service: the next attempt finds nobody.
    QVERIFY(db->exec(QStringLiteral("update usuarios set senha=md5('nova') where login='dono.a'")));
    int id = -1;
    QVERIFY(QMetaObject::invokeMethod(started.window.get(), "LerTVUser", Qt::DirectConnection, Q_RETURN_ARG(int, id)));
    QCOMPARE(id, 0);
    QCOMPARE(connectionSettings.userStatusText, QStringLiteral("Usuário ou senha errados!"));
}

void TestLogin::passwordsEncipheredElsewhereLogIn_data()
{
    QTest::addColumn<QString>("variant");
    for (const char *variant : {"checksum", "sha1", "compressed-checksum", "compressed-sha1", "both-flags"})
        QTest::newRow(variant) << QString::fromLatin1(variant);
}

void TestLogin::passwordsEncipheredElsewhereLogIn()
{
    QFETCH(QString, variant);
    // Written by an implementation of the file format that is not the console's.
    const QString password = QString::fromUtf8("senha forte ç");
    QVERIFY(db->addOwnedStore(QStringLiteral("dona.externa"), password) > 0);
    const ConfigValues plain = ConsoleDir::serverConfig(QStringLiteral("dona.externa"), password);
    const QStringList lines{plain.loginName,  plain.loginPassword, plain.host,        plain.dbName,
                            plain.dbPort,     plain.dbUser,        plain.dbPassword,  plain.userbroker,
                            plain.passbroker, plain.virtualhost,   plain.portbroker,  plain.printerLine};
    QProcess writer;
    writer.start(QStringLiteral("python3"), QStringList{QStringLiteral(TRV_SOURCE_DIR "/tests/app/write_foreign_config.py"),
                                                       QStringLiteral("config.conf"), variant} + lines);
    QVERIFY(writer.waitForFinished(30000));
    QVERIFY2(writer.exitCode() == 0, writer.readAllStandardError().constData());

    ModalAnswer answer;
    MainWindow window;
    QVERIFY2(!answer.seen(), qPrintable(answer.text()));
    QCOMPARE(label(window, "label_usuario"), QStringLiteral("Usuário logado!"));
}

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
