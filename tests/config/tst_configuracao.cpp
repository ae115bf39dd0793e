#include "configsample.h"
#include "configuracao.h"
#include "modalanswer.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// The eleven text fields in file order.
const char *const textFields[] = { "lineEdit_usuariotv", "lineEdit_senhatv", "lineEdit_hostname", "lineEdit_dbname",
    "lineEdit_port", "lineEdit_hostuser", "lineEdit_hostpass", "lineEdit_userbroker", "lineEdit_passbroker",
    "lineEdit_virtualhost", "lineEdit_brokerport" };

const QString fileName = QString::fromLatin1(configFileName);

} // namespace

class TestConfiguracao : public QObject
{
    Q_OBJECT

private slots:
    void init() { workDir.reset(new QTemporaryDir); QVERIFY(QDir::setCurrent(workDir->path())); }
    void cleanup() { dialog.reset(); QDir::setCurrent(previousDir); }
    void save_data();
    void save();
    void printers_data();
    void printers();

private:
    QLineEdit *field(const char *name) const { return dialog->findChild<QLineEdit *>(QLatin1String(name)); }
    QStringList openAndSave(const std::function<void()> &operatorInput);

    std::unique_ptr<QTemporaryDir> workDir;
    QString previousDir = QDir::currentPath();
    std::unique_ptr<Configuracao> dialog;
};

// Opens the dialog, lets the operator type, clicks "Salvar" and answers a message box it
// raises with OK. Returns the box's title and text, or nothing when no box came up.
QStringList TestConfiguracao::openAndSave(const std::function<void()> &operatorInput)
{
    dialog.reset(new Configuracao);
    dialog->show();
    operatorInput();
    ModalAnswer answer;
    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("pushButton")), Qt::LeftButton);
    return answer.seen() ? QStringList({ answer.title(), answer.text() }) : QStringList();
}

void TestConfiguracao::save_data()
{
    QTest::addColumn<int>("untyped");   // the field left empty, or -1
    QTest::addColumn<bool>("folder");   // a folder in the way of config.conf
    QTest::addColumn<QString>("refusal");
    QTest::newRow("every field typed") << -1 << false << QString();
    for (int i = 0; i < 11; ++i)
        QTest::newRow(textFields[i]) << i << false << QStringLiteral("Por favor, preencha todos os campos do formulário");
    QTest::newRow("folder in the way") << -1 << true << QStringLiteral("Você não tem permissão para gravar arquivos");
}

void TestConfiguracao::save()
{
    QFETCH(int, untyped);
    QFETCH(bool, folder);
    QFETCH(QString, refusal);
    QVERIFY(!folder || QDir().mkdir(fileName));
    const QStringList box = openAndSave([&] {
        for (int i = 0; i < 11; ++i) {
            QLineEdit *edit = field(textFields[i]);
            QCOMPARE(edit->echoMode(), isPasswordLine(i) ? QLineEdit::Password : QLineEdit::Normal);
            // keyClicks knows only ASCII: each character goes as the text of a key event.
            for (const QChar ch : i == untyped ? QString() : sampleFields.at(i))
                QTest::sendKeyEvent(QTest::Click, edit, Qt::Key(ch.toUpper().unicode()), QString(ch), Qt::NoModifier);
        }
        QCOMPARE(decipher(field("lineEdit_nomemd5")->text()), untyped == 5 ? QString() : sampleFields.at(5));
    });
    if (refusal.isEmpty()) {
        QCOMPARE(box, QStringList());
        QVERIFY(!dialog->isVisible());
        QCOMPARE(decodeFile(fileName), QStringList(sampleFields.mid(0, 11)) << ":" << "");
    } else {
        QCOMPARE(box, QStringList({ QStringLiteral("Salvar Configuração"), refusal }));
        QVERIFY(dialog->isVisible());
        QVERIFY(!QFileInfo(fileName).isFile());
    }
}

void TestConfiguracao::printers_data()
{
    // %1 and %2 stand for the two installed print queues; an empty side is "Escolha a impressora".
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("saved");
    QTest::newRow("both installed") << "%1:%2" << "%1:%2";
    QTest::newRow("no colon") << "%2" << "%2:";
    QTest::newRow("no longer installed") << "Saiu:Outra que saiu" << ":";
}

void TestConfiguracao::printers()
{
    QFETCH(QString, line);
    QFETCH(QString, saved);
    const QString queues[] = { qEnvironmentVariable("TRV_PRINTER1"), qEnvironmentVariable("TRV_PRINTER2") };
    if (queues[0].isEmpty() || queues[1].isEmpty())
        QSKIP("TRV_PRINTER1 and TRV_PRINTER2 name no print queues here");
    const auto installed = [&](QString text) { return text.replace("%1", queues[0]).replace("%2", queues[1]); };

    // Loaded and saved again untouched: every field comes back as it was.
    const QStringList loaded = QStringList(sampleFields.mid(0, 11)) << installed(line);
    QVERIFY(writeConfigFile(fileName, valuesOf(loaded)));
    QCOMPARE(openAndSave([] {}), QStringList());
    QCOMPARE(decodeFile(fileName), QStringList(loaded.mid(0, 11)) << installed(saved) << "");
}

QTEST_MAIN(TestConfiguracao)
#include "tst_configuracao.moc"
