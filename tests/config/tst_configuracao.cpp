#include "configsample.h"
#include "configuracao.h"
#include "modalanswer.h"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

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

private:
    QLineEdit *field(const char *name) const { return dialog->findChild<QLineEdit *>(QLatin1String(name)); }

    std::unique_ptr<QTemporaryDir> workDir;
    QString previousDir = QDir::currentPath();
    std::unique_ptr<Configuracao> dialog;
};

void TestConfiguracao::save_data()
{
    // Without a printer line the operator types every field but untyped (-1: none) into the empty
    // form. With one, the sample fields and that line are in config.conf first and saved again
    // untouched; %1 and %2 stand for the two installed print queues, an empty side is "Escolha a impressora".
    QTest::addColumn<QString>("printers");
    QTest::addColumn<int>("untyped");
    QTest::addColumn<bool>("folder");     // a folder in the way of config.conf
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QString>("saved");   // line 12 afterwards
    QTest::newRow("every field typed") << QString() << -1 << false << QString() << ":";
    for (int i = 0; i < 11; ++i)
        QTest::newRow(textFields[i]) << QString() << i << false << "Por favor, preencha todos os campos do formulário" << "";
    QTest::newRow("folder in the way") << QString() << -1 << true << "Você não tem permissão para gravar arquivos" << "";
    QTest::newRow("both printers installed") << "%1:%2" << -1 << false << QString() << "%1:%2";
    QTest::newRow("printer line without a colon") << "%2" << -1 << false << QString() << "%2:";
    QTest::newRow("printers no longer installed") << "Saiu:Outra que saiu" << -1 << false << QString() << ":";
}

void TestConfiguracao::save()
{
    QFETCH(QString, printers);
    QFETCH(int, untyped);
    QFETCH(bool, folder);
    QFETCH(QString, refusal);
    QFETCH(QString, saved);
    const QString queues[] = { qEnvironmentVariable("TRV_PRINTER1"), qEnvironmentVariable("TRV_PRINTER2") };
    if (!printers.isEmpty() && (queues[0].isEmpty() || queues[1].isEmpty()))
        QSKIP("TRV_PRINTER1 and TRV_PRINTER2 name no print queues here");
    const auto installed = [&](QString text) { return text.replace("%1", queues[0]).replace("%2", queues[1]); };
    const QStringList loaded = QStringList(sampleFields.mid(0, 11)) << installed(printers);
    QVERIFY(!folder || QDir().mkdir(fileName));
    QVERIFY(printers.isEmpty() || writeConfigFile(fileName, valuesOf(loaded)));

    dialog.reset(new Configuracao);
    dialog->show();
    for (int i = 0; i < 11 && printers.isEmpty(); ++i) {
        QLineEdit *edit = field(textFields[i]);
        QCOMPARE(edit->echoMode(), isPasswordLine(i) ? QLineEdit::Password : QLineEdit::Normal);
        // keyClicks knows only ASCII: each character goes as the text of a key event.
        for (const QChar ch : i == untyped ? QString() : sampleFields.at(i))
            QTest::sendKeyEvent(QTest::Click, edit, Qt::Key(ch.toUpper().unicode()), QString(ch), Qt::NoModifier);
    }
    if (printers.isEmpty())
        QCOMPARE(decipher(field("lineEdit_nomemd5")->text()), untyped == 5 ? QString() : sampleFields.at(5));
    ModalAnswer answer;
    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("pushButton")), Qt::LeftButton);

    const QStringList box = answer.seen() ? QStringList({ answer.title(), answer.text() }) : QStringList();
    QCOMPARE(box, refusal.isEmpty() ? QStringList() : QStringList({ QStringLiteral("Salvar Configuração"), refusal }));
    QCOMPARE(dialog->isVisible(), !refusal.isEmpty());
    if (refusal.isEmpty())
        QCOMPARE(decodeFile(fileName), QStringList(loaded.mid(0, 11)) << installed(saved) << "");
    else
        QVERIFY(!QFileInfo(fileName).isFile());
}

QTEST_MAIN(TestConfiguracao)
#include "tst_configuracao.moc"
