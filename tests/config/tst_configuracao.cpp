#include "configsample.h"
#include "configuracao.h"
#include "modalanswer.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// The eleven text fields in file order.
const char *const textFields[] = {
    "lineEdit_usuariotv", "lineEdit_senhatv", "lineEdit_hostname", "lineEdit_dbname",
    "lineEdit_port", "lineEdit_hostuser", "lineEdit_hostpass", "lineEdit_userbroker",
    "lineEdit_passbroker", "lineEdit_virtualhost", "lineEdit_brokerport",
};

const QString fileName = QString::fromLatin1(configFileName);

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
    void savesTypedFields();
    void saveRefused_data();
    void saveRefused();
    void liveEncipheredUserName();
    void printers_data();
    void printers();

private:
    void openDialog();
    template<typename T = QLineEdit> T *widget(const char *name) const;
    QStringList clickSave();

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

void TestConfiguracao::openDialog()
{
    dialog.reset(new Configuracao);
    dialog->show();
}

template<typename T>
T *TestConfiguracao::widget(const char *name) const
{
    T *found = dialog->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("form has no %s", name);
    return found;
}

// Clicks "Salvar" and answers a message box it raises with OK, as the operator would.
// Returns the box's title and text, or nothing when no box came up.
QStringList TestConfiguracao::clickSave()
{
    ModalAnswer answer;
    QTest::mouseClick(widget<QPushButton>("pushButton"), Qt::LeftButton);
    return answer.seen() ? QStringList({ answer.title(), answer.text() }) : QStringList();
}

void TestConfiguracao::savesTypedFields()
{
    openDialog();
    for (int i = 0; i < 11; ++i) {
        QLineEdit *edit = widget(textFields[i]);
        QCOMPARE(edit->echoMode(), isPasswordLine(i) ? QLineEdit::Password : QLineEdit::Normal);
        typeText(edit, sampleFields.at(i));
    }
    QCOMPARE(clickSave(), QStringList());
    QVERIFY(!dialog->isVisible());
    QCOMPARE(decodeFile(fileName), QStringList(sampleFields.mid(0, 11)) << ":" << "");
}

void TestConfiguracao::saveRefused_data()
{
    QTest::addColumn<int>("emptied");   // -1: the file is a folder now
    QTest::addColumn<QString>("message");
    for (int i = 0; i < 11; ++i)
        QTest::newRow(textFields[i]) << i << QStringLiteral("Por favor, preencha todos os campos do formulário");
    QTest::newRow("folder in the way") << -1 << QStringLiteral("Você não tem permissão para gravar arquivos");
}

void TestConfiguracao::saveRefused()
{
    QFETCH(int, emptied);
    QFETCH(QString, message);
    QVERIFY(writeConfigFile(fileName, valuesOf(sampleFields)));
    const QByteArray before = readRaw(fileName);
    openDialog();
    for (int i = 0; i < 11; ++i)
        QCOMPARE(widget(textFields[i])->text(), sampleFields.at(i));
    QCOMPARE(decipher(widget("lineEdit_nomemd5")->text()), sampleFields.at(5));

    if (emptied >= 0) {
        QTest::keyClick(widget(textFields[emptied]), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(widget(textFields[emptied]), Qt::Key_Delete);
    } else {
        QVERIFY(QFile::remove(fileName) && QDir().mkdir(fileName));
    }
    QCOMPARE(clickSave(), QStringList({ QStringLiteral("Salvar Configuração"), message }));
    QVERIFY(dialog->isVisible());
    QCOMPARE(readRaw(fileName), emptied >= 0 ? before : QByteArray());
}

void TestConfiguracao::liveEncipheredUserName()
{
    openDialog();
    QLineEdit *user = widget(textFields[5]);
    QLineEdit *shown = widget("lineEdit_nomemd5");
    QString typed;
    for (const QChar ch : QStringLiteral("usuário")) {
        typeText(user, QString(ch));
        typed += ch;
        QCOMPARE(decipher(shown->text()), typed);
    }
    // Emptied, it shows the enciphering of the empty text.
    QTest::keyClick(user, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(user, Qt::Key_Backspace);
    QCOMPARE(shown->text().size(), 8);
    QCOMPARE(decipher(shown->text()), QString());
    QVERIFY(!QFile::exists(fileName));
}

void TestConfiguracao::printers_data()
{
    // %1 and %2 stand for the two installed print queues.
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("first");   // empty: "Escolha a impressora"
    QTest::addColumn<QString>("second");
    QTest::newRow("both installed") << "%1:%2" << "%1" << "%2";
    QTest::newRow("no colon") << "%2" << "%2" << "";
    QTest::newRow("no longer installed") << "Saiu:Outra que saiu" << "" << "";
}

void TestConfiguracao::printers()
{
    QFETCH(QString, line);
    QFETCH(QString, first);
    QFETCH(QString, second);
    const QString queue1 = qEnvironmentVariable("TRV_PRINTER1");
    const QString queue2 = qEnvironmentVariable("TRV_PRINTER2");
    if (queue1.isEmpty() || queue2.isEmpty())
        QSKIP("TRV_PRINTER1 and TRV_PRINTER2 name no print queues here");
    const auto installed = [&](QString text) { return text.replace("%1", queue1).replace("%2", queue2); };

    QVERIFY(writeConfigFile(fileName, valuesOf(QStringList(sampleFields.mid(0, 11)) << installed(line))));
    openDialog();
    const QComboBox *boxes[] = { widget<QComboBox>("comboBox_prt1"), widget<QComboBox>("comboBox_prt2") };
    const QString chosen[] = { installed(first), installed(second) };
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(boxes[i]->currentData().toString(), chosen[i]);
        QCOMPARE(boxes[i]->currentText(), chosen[i].isEmpty() ? QStringLiteral("Escolha a impressora") : chosen[i]);
    }
    QCOMPARE(clickSave(), QStringList());
    QCOMPARE(decodeFile(fileName).value(11), chosen[0] + ':' + chosen[1]);
}

QTEST_MAIN(TestConfiguracao)
#include "tst_configuracao.moc"
