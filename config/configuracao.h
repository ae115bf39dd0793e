#pragma once

#include <QDialog>

namespace Ui {
class Configuracao;
}

// Modal editor of config.conf: loads the file into the form, lists the
// installed printers and rewrites the whole file on "Salvar".
class Configuracao : public QDialog
{
    Q_OBJECT

public:
    explicit Configuracao(QWidget *parent = nullptr);
    ~Configuracao() override;

private slots:
    void on_pushButton_clicked();
    void LerConfiguracao();
    void LerImpressoras();
    void on_lineEdit_hostuser_textChanged(const QString &arg1);

private:
    Ui::Configuracao *ui;
};
