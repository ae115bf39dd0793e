#include "frase.h"
#include "ui_frase.h"

#include <QMessageBox>

frase::frase(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::frase)
{
    ui->setupUi(this);
    setWindowFlags(Qt::WindowFlags());
}

frase::~frase()
{
    delete ui;
}

void frase::on_pushButton_clicked()
{
    m_motivo = ui->lineEdit_frase->text();
    if (!m_motivo.isEmpty()) {
        close();
        return;
    }
    QMessageBox::critical(this, QStringLiteral("Cancelamento"), QStringLiteral("Favor digitar um motivo!"),
                          QMessageBox::Ok);
}
