#pragma once

#include <QDate>
#include <QDialog>
#include <QString>

class StatementRunner;

namespace Ui {
class ResumoDia;
}

// The store's day at closing time: orders by status, the sums of those not
// cancelled by payment form, the change asked for and the cancellations.
// Opens at once and fills in when the day's rows arrive.
class ResumoDia : public QDialog
{
    Q_OBJECT

public:
    explicit ResumoDia(QWidget *parent = nullptr);
    ~ResumoDia() override;

    void Inicializa(int idPizzaria, const QDate &dia = QDate::currentDate());

private slots:
    void on_pushButton_hoje_clicked();
    void on_pushButton_ontem_clicked();
    void on_pushButton_imprimir_clicked();

private:
    void LerDia();

    Ui::ResumoDia *ui;
    StatementRunner *reader;
    int idPizzaria = 0;
    bool iniciado = false;
    int leituras = 0;   // an answer to an older read is dropped
    QString texto;      // the summary shown, as it prints
    bool imprimindo = false;
};
