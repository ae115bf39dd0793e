#include "configfile.h"
#include "configkey.h"
#include "configuracao.h"
#include "fieldcipher.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrinterInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

// The eleven text fields in file order (config lines 1 to 11).
const char *const textFields[] = {
    "lineEdit_usuariotv", "lineEdit_senhatv", "lineEdit_hostname", "lineEdit_dbname",
    "lineEdit_port", "lineEdit_hostuser", "lineEdit_hostpass", "lineEdit_userbroker",
    "lineEdit_passbroker", "lineEdit_virtualhost", "lineEdit_brokerport",
};

const QStringList typedValues = {
    QStringLiteral("loja@pizzaria"), QStringLiteral("senhaçã1"), QStringLiteral("127.0.0.1"),
    QStringLiteral("trovanta"), QStringLiteral("3306"), QStringLiteral("console"),
    QStringLiteral("bancõ"), QStringLiteral("guest"), QStringLiteral("coelho"),
    QStringLiteral("/"), QStringLiteral("5672"),
};

const QString fillAllText = QStringLiteral("Por favor, preencha todos os campos do formulário");
const QString noPermissionText = QStringLiteral("Você não tem permissão para gravar arquivos");

struct BoxSeen {
    bool seen = false;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// QTest::keyClicks only knows ASCII; other characters arrive as the text of a key event.
void typeText(QWidget *target, const QString &text)
{
    for (const QChar ch : text) {
        if (ch.unicode() < 0x80)
            QTest::keyClicks(target, QString(ch));
        else
            QTest::sendKeyEvent(QTest::Click, target, Qt::Key(ch.toUpper().unicode()), QString(ch), Qt::NoModifier);
    }
}

QByteArray readRaw(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A file holding typedValues and the given printer line.
bool writeTypedValues(const QString &printerLine)
{
    ConfigValues v;
    QString *const fields[] = { &v.loginName, &v.loginPassword, &v.host, &v.dbName, &v.dbPort, &v.dbUser,
                                &v.dbPassword, &v.userbroker, &v.passbroker, &v.virtualhost, &v.portbroker };
    for (int i = 0; i < 11; ++i)
        *fields[i] = typedValues.at(i);
    v.printerLine = printerLine;
    return writeConfigFile(QString::fromLatin1(configFileName), v);
}

QString decipher(const QString &text)
{
    return FieldCipher(configCipherKey).decipherText(text);
}

} // namespace

class TestConfiguracao : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void formWidgets();
    void startsEmptyWithoutFile();
    void loadsExistingFile();
    void refusesEmptyField_data();
    void refusesEmptyField();
    void savesTwelveLines();
    void unwritableFileKeepsDialogOpen();
    void uninstalledPrinterIsDropped();
    void liveEncipheredUserName();
    void chosenPrintersSavedAndLoaded();

private:
    Configuracao *openDialog();
    template<typename T> T *widget(const char *name);
    void typeAll();
    BoxSeen clickSave();

    std::unique_ptr<QTemporaryDir> workDir;
    QString previousDir;
    std::unique_ptr<Configuracao> dialog;
};

void TestConfiguracao::init()
{
    workDir.reset(new QTemporaryDir);
    QVERIFY(workDir->isValid());
    previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(workDir->path()));
}

void TestConfiguracao::cleanup()
{
    dialog.reset();
    QDir::setCurrent(previousDir);
    workDir.reset();
}

Configuracao *TestConfiguracao::openDialog()
{
    dialog.reset(new Configuracao);
    dialog->show();
    return dialog.get();
}

template<typename T>
T *TestConfiguracao::widget(const char *name)
{
    T *found = dialog->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("form has no %s", name);
    return found;
}

void TestConfiguracao::typeAll()
{
    for (int i = 0; i < 11; ++i)
        typeText(widget<QLineEdit>(textFields[i]), typedValues.at(i));
}

// Clicks "Salvar" and answers the message box it raises, if any, with OK
// as the operator would. The click returns once the box is closed.
BoxSeen TestConfiguracao::clickSave()
{
    BoxSeen seen;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&seen, &watcher] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        watcher.stop();
        seen.seen = true;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.buttons = box->standardButtons();
        seen.icon = box->icon();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    watcher.start(10);
    QTest::mouseClick(widget<QPushButton>("pushButton"), Qt::LeftButton);
    return seen;
}

void TestConfiguracao::formWidgets()
{
    openDialog();
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Dialog"));
    QCOMPARE(dialog->size(), QSize(620, 499));
    QCOMPARE(widget<QPushButton>("pushButton")->text(), QStringLiteral("Salvar"));
    QCOMPARE(widget<QLabel>("label")->text(), QStringLiteral("Configuração"));
    QCOMPARE(widget<QLabel>("label")->font().pointSize(), 19);
    QVERIFY(widget<QLabel>("label")->font().bold());
    QCOMPARE(widget<QComboBox>("comboBox_prt1")->font().pointSize(), 12);
    QCOMPARE(widget<QComboBox>("comboBox_prt2")->font().pointSize(), 12);

    const char *const placeholders[] = {
        "nome de usuário", "senha", "HostName/IP", "DBName", "Port: 3306", "UserName",
        "Password", "Username", "Password", "VirtualHost \"/\"", "Port: 5672",
    };
    for (int i = 0; i < 11; ++i) {
        const QLineEdit *edit = widget<QLineEdit>(textFields[i]);
        QCOMPARE(edit->placeholderText(), QString::fromUtf8(placeholders[i]));
        QVERIFY2(edit->isClearButtonEnabled(), textFields[i]);
        const bool secret = i == 1 || i == 6 || i == 8;
        QCOMPARE(edit->echoMode(), secret ? QLineEdit::Password : QLineEdit::Normal);
    }
    QVERIFY(!widget<QLineEdit>("lineEdit_nomemd5")->isClearButtonEnabled());

    // Tab from the login down to "Salvar".
    const char *const tabOrder[] = {
        "lineEdit_usuariotv", "lineEdit_senhatv", "lineEdit_hostname", "lineEdit_dbname",
        "lineEdit_port", "lineEdit_hostuser", "lineEdit_hostpass", "pushButton",
    };
    for (int i = 0; i + 1 < 8; ++i) {
        QWidget *next = widget<QWidget>(tabOrder[i])->nextInFocusChain();
        while (next->focusPolicy() == Qt::NoFocus)
            next = next->nextInFocusChain();
        QCOMPARE(next->objectName(), QString::fromLatin1(tabOrder[i + 1]));
    }
}

void TestConfiguracao::startsEmptyWithoutFile()
{
    openDialog();
    for (const char *name : textFields)
        QVERIFY2(widget<QLineEdit>(name)->text().isEmpty(), name);
    for (const char *name : { "comboBox_prt1", "comboBox_prt2" }) {
        const QComboBox *box = widget<QComboBox>(name);
        QCOMPARE(box->currentIndex(), 0);
        QCOMPARE(box->currentText(), QStringLiteral("Escolha a impressora"));
        QCOMPARE(box->currentData().toString(), QString());
        QCOMPARE(box->count(), 1 + QPrinterInfo::availablePrinterNames().size());
    }
}

void TestConfiguracao::loadsExistingFile()
{
    QVERIFY(writeTypedValues(QStringLiteral(":")));
    openDialog();
    for (int i = 0; i < 11; ++i)
        QCOMPARE(widget<QLineEdit>(textFields[i])->text(), typedValues.at(i));
    QCOMPARE(decipher(widget<QLineEdit>("lineEdit_nomemd5")->text()), typedValues.at(5));
    QCOMPARE(widget<QComboBox>("comboBox_prt1")->currentIndex(), 0);
    QCOMPARE(widget<QComboBox>("comboBox_prt2")->currentIndex(), 0);
}

void TestConfiguracao::refusesEmptyField_data()
{
    QTest::addColumn<int>("emptied");
    QTest::newRow("no file, nothing typed") << -1;
    for (int i = 0; i < 11; ++i)
        QTest::newRow(textFields[i]) << i;
}

void TestConfiguracao::refusesEmptyField()
{
    QFETCH(int, emptied);
    const QString file = QString::fromLatin1(configFileName);

    QByteArray before;
    if (emptied >= 0) {
        QVERIFY(writeTypedValues(QStringLiteral(":")));
        before = readRaw(file);
        openDialog();
        QLineEdit *field = widget<QLineEdit>(textFields[emptied]);
        QVERIFY(!field->text().isEmpty());
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Delete);
        QVERIFY(field->text().isEmpty());
    } else {
        openDialog();
    }

    const BoxSeen box = clickSave();
    QVERIFY(box.seen);
    QCOMPARE(box.title, QStringLiteral("Salvar Configuração"));
    QCOMPARE(box.text, fillAllText);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box.icon, QMessageBox::Information);
    QVERIFY(dialog->isVisible());
    if (emptied >= 0)
        QCOMPARE(readRaw(file), before);
    else
        QVERIFY(!QFile::exists(file));
}

void TestConfiguracao::savesTwelveLines()
{
    openDialog();
    typeAll();
    const BoxSeen box = clickSave();
    QVERIFY2(!box.seen, qPrintable(box.text));
    QVERIFY(!dialog->isVisible());

    QList<QByteArray> lines = readRaw(QString::fromLatin1(configFileName)).split('\n');
    QCOMPARE(lines.takeLast(), QByteArray());
    QCOMPARE(lines.size(), 12);
    for (int i = 0; i < 11; ++i) {
        const QString line = QString::fromUtf8(lines.at(i));
        if (i == 1 || i == 6 || i == 8) {
            QVERIFY(line != typedValues.at(i));
            QCOMPARE(decipher(line), typedValues.at(i));
        } else {
            QCOMPARE(line, typedValues.at(i));
        }
    }
    QCOMPARE(lines.at(11), QByteArray(":"));
}

void TestConfiguracao::unwritableFileKeepsDialogOpen()
{
    QVERIFY(QDir::current().mkdir(QString::fromLatin1(configFileName)));
    openDialog();
    typeAll();
    const BoxSeen box = clickSave();
    QVERIFY(box.seen);
    QCOMPARE(box.title, QStringLiteral("Salvar Configuração"));
    QCOMPARE(box.text, noPermissionText);
    QVERIFY(dialog->isVisible());
    QVERIFY(QFileInfo(QString::fromLatin1(configFileName)).isDir());
    QCOMPARE(widget<QLineEdit>("lineEdit_usuariotv")->text(), typedValues.at(0));
}

void TestConfiguracao::uninstalledPrinterIsDropped()
{
    QVERIFY(writeTypedValues(QStringLiteral("Impressora que saiu:Outra que saiu")));
    openDialog();
    QCOMPARE(widget<QComboBox>("comboBox_prt1")->currentIndex(), 0);
    QCOMPARE(widget<QComboBox>("comboBox_prt2")->currentIndex(), 0);
    QCOMPARE(clickSave().seen, false);

    ConfigValues back;
    QVERIFY(readConfigFile(QString::fromLatin1(configFileName), &back));
    QCOMPARE(back.printerLine, QStringLiteral(":"));
    QCOMPARE(back.loginPassword, typedValues.at(1));
}

void TestConfiguracao::liveEncipheredUserName()
{
    openDialog();
    QLineEdit *user = widget<QLineEdit>("lineEdit_hostuser");
    QLineEdit *shown = widget<QLineEdit>("lineEdit_nomemd5");
    QVERIFY(shown->text().isEmpty());

    QString typed;
    for (const QChar ch : QStringLiteral("usuário")) {
        typeText(user, QString(ch));
        typed += ch;
        QCOMPARE(decipher(shown->text()), typed);
    }

    // Emptying the name still shows the enciphering of the empty text.
    QTest::keyClick(user, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(user, Qt::Key_Backspace);
    QCOMPARE(shown->text().size(), 8);
    QCOMPARE(FieldCipher(configCipherKey).decipherText(shown->text()), QString());

    // Each change enciphers afresh: retyping the same name soon shows other bytes.
    QTest::keyClicks(user, QStringLiteral("root"));
    const QString first = shown->text();
    bool changed = false;
    for (int i = 0; i < 10 && !changed; ++i) {
        QTest::qWait(3);
        QTest::keyClick(user, Qt::Key_Backspace);
        QTest::keyClicks(user, QStringLiteral("t"));
        QCOMPARE(decipher(shown->text()), QStringLiteral("root"));
        changed = shown->text() != first;
    }
    QVERIFY(changed);
    QVERIFY(!QFile::exists(QString::fromLatin1(configFileName)));
}

void TestConfiguracao::chosenPrintersSavedAndLoaded()
{
    const QString first = QString::fromLocal8Bit(qgetenv("TRV_PRINTER1"));
    const QString second = QString::fromLocal8Bit(qgetenv("TRV_PRINTER2"));
    if (first.isEmpty() || second.isEmpty())
        QSKIP("TRV_PRINTER1 and TRV_PRINTER2 name no print queues here");

    openDialog();
    QComboBox *box1 = widget<QComboBox>("comboBox_prt1");
    QComboBox *box2 = widget<QComboBox>("comboBox_prt2");
    const int index1 = box1->findText(first);
    const int index2 = box2->findText(second);
    QVERIFY2(index1 > 0 && index2 > 0, "the print queues are not installed");
    QCOMPARE(box1->itemData(index1).toString(), first);

    typeAll();
    box1->setCurrentIndex(index1);
    box2->setCurrentIndex(index2);
    QCOMPARE(clickSave().seen, false);

    ConfigValues saved;
    QVERIFY(readConfigFile(QString::fromLatin1(configFileName), &saved));
    QCOMPARE(saved.printerLine, first + QLatin1Char(':') + second);

    openDialog();
    QCOMPARE(widget<QComboBox>("comboBox_prt1")->currentText(), first);
    QCOMPARE(widget<QComboBox>("comboBox_prt2")->currentText(), second);

    // Without a colon only the first printer is chosen.
    saved.printerLine = second;
    QVERIFY(writeConfigFile(QString::fromLatin1(configFileName), saved));
    openDialog();
    QCOMPARE(widget<QComboBox>("comboBox_prt1")->currentText(), second);
    QCOMPARE(widget<QComboBox>("comboBox_prt2")->currentIndex(), 0);
}

QTEST_MAIN(TestConfiguracao)
#include "tst_configuracao.moc"
