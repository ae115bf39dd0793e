#include "configuracao.h"
#include "ui_configuracao.h"

#include "configfile.h"
#include "configkey.h"
#include "consoleoptions.h"
#include "fieldcipher.h"

#include <QMessageBox>
#include <QPrinterInfo>

namespace {

const char saveTitle[] = "Salvar Configuração";

void selectByText(QComboBox *box, const QString &text)
{
    const int index = box->findText(text);
    if (index >= 0)
        box->setCurrentIndex(index);
}

} // namespace

Configuracao::Configuracao(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::Configuracao)
{
    ui->setupUi(this);
    setWindowFlags(Qt::WindowFlags());
    LerImpressoras();
    LerConfiguracao();
}

Configuracao::~Configuracao()
{
    delete ui;
}

void Configuracao::on_pushButton_clicked()
{
    const QLineEdit *required[] = {
        ui->lineEdit_usuariotv, ui->lineEdit_senhatv, ui->lineEdit_hostname,
        ui->lineEdit_dbname, ui->lineEdit_port, ui->lineEdit_hostuser,
        ui->lineEdit_hostpass, ui->lineEdit_userbroker, ui->lineEdit_passbroker,
        ui->lineEdit_virtualhost, ui->lineEdit_brokerport,
    };
    for (const QLineEdit *field : required) {
        if (field->text().isEmpty()) {
            QMessageBox::information(this, QString::fromUtf8(saveTitle),
                                     QStringLiteral("Por favor, preencha todos os campos do formulário"),
                                     QMessageBox::Ok);
            return;
        }
    }

    ConfigValues values;
    values.loginName = ui->lineEdit_usuariotv->text();
    values.loginPassword = ui->lineEdit_senhatv->text();
    values.host = ui->lineEdit_hostname->text();
    values.dbName = ui->lineEdit_dbname->text();
    values.dbPort = ui->lineEdit_port->text();
    values.dbUser = ui->lineEdit_hostuser->text();
    values.dbPassword = ui->lineEdit_hostpass->text();
    values.userbroker = ui->lineEdit_userbroker->text();
    values.passbroker = ui->lineEdit_passbroker->text();
    values.virtualhost = ui->lineEdit_virtualhost->text();
    values.portbroker = ui->lineEdit_brokerport->text();
    values.printerLine = joinPrinterLine(ui->comboBox_prt1->currentData().toString(),
                                         ui->comboBox_prt2->currentData().toString());

    if (!writeConfigFile(QString::fromLatin1(configFileName), values)
        || !ConsoleOptions().setAutoApproval(ui->checkBox_autoaprovacao->isChecked())) {
        QMessageBox::information(this, QString::fromUtf8(saveTitle),
                                 QStringLiteral("Você não tem permissão para gravar arquivos"),
                                 QMessageBox::Ok);
        return;
    }
    close();
}

void Configuracao::LerConfiguracao()
{
    ui->checkBox_autoaprovacao->setChecked(ConsoleOptions().autoApproval());
    ConfigValues values;
    if (!readConfigFile(QString::fromLatin1(configFileName), &values))
        return;

    ui->lineEdit_usuariotv->setText(values.loginName);
    ui->lineEdit_senhatv->setText(values.loginPassword);
    ui->lineEdit_hostname->setText(values.host);
    ui->lineEdit_dbname->setText(values.dbName);
    ui->lineEdit_port->setText(values.dbPort);
    ui->lineEdit_hostuser->setText(values.dbUser);
    ui->lineEdit_hostpass->setText(values.dbPassword);
    ui->lineEdit_userbroker->setText(values.userbroker);
    ui->lineEdit_passbroker->setText(values.passbroker);
    ui->lineEdit_virtualhost->setText(values.virtualhost);
    ui->lineEdit_brokerport->setText(values.portbroker);

    if (values.printerLine.isEmpty())
        return;
    const QStringList printers = splitPrinterLine(values.printerLine);
    selectByText(ui->comboBox_prt1, printers.at(0));
    if (printers.size() > 1)
        selectByText(ui->comboBox_prt2, printers.at(1));
}

void Configuracao::LerImpressoras()
{
    const QString none = QStringLiteral("Escolha a impressora");
    ui->comboBox_prt1->addItem(none, QString());
    ui->comboBox_prt2->addItem(none, QString());
    const QStringList names = QPrinterInfo::availablePrinterNames();
    for (const QString &name : names) {
        ui->comboBox_prt1->addItem(name, name);
        ui->comboBox_prt2->addItem(name, name);
    }
}

void Configuracao::on_lineEdit_hostuser_textChanged(const QString &arg1)
{
    FieldCipher cipher(configCipherKey);
    ui->lineEdit_nomemd5->setText(cipher.encipherText(arg1));
}
