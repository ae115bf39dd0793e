#include "resumodia.h"
#include "ui_resumodia.h"

#include "connectionsettings.h"
#include "daysummary.h"
#include "imprimirtexto.h"
#include "statementrunner.h"

#include <QMessageBox>

ResumoDia::ResumoDia(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::ResumoDia)
    , reader(new StatementRunner(this))
{
    ui->setupUi(this);
    setWindowFlags(Qt::WindowFlags());
    ui->pushButton_imprimir->setEnabled(false);
    ui->dateEdit_dia->setDate(QDate::currentDate());
    connect(ui->dateEdit_dia, &QDateEdit::dateChanged, this, [this] {
        if (iniciado)
            LerDia();
    });
}

ResumoDia::~ResumoDia()
{
    delete ui;
}

void ResumoDia::Inicializa(int idPizzaria, const QDate &dia)
{
    this->idPizzaria = idPizzaria;
    iniciado = true;
    if (ui->dateEdit_dia->date() == dia)
        LerDia();
    else
        ui->dateEdit_dia->setDate(dia);
}

void ResumoDia::on_pushButton_hoje_clicked()
{
    ui->dateEdit_dia->setDate(QDate::currentDate());
}

void ResumoDia::on_pushButton_ontem_clicked()
{
    ui->dateEdit_dia->setDate(QDate::currentDate().addDays(-1));
}

// Only the summary of the day shown is printed: none while a read is under way.
void ResumoDia::LerDia()
{
    const QDate dia = ui->dateEdit_dia->date();
    const int leitura = ++leituras;
    texto.clear();
    ui->plainTextEdit_resumo->clear();
    ui->pushButton_imprimir->setEnabled(false);
    ui->label_estado->setText(QStringLiteral("Lendo pedidos..."));
    reader->run(TotaisDoDia::statement(), TotaisDoDia::bindings(idPizzaria, dia), [this, leitura, dia](const SqlResult &linhas) {
        if (leitura != leituras)
            return;
        TotaisDoDia totais;
        totais.dia = dia;
        QString erro = linhas.error;
        if (linhas.ok() && totais.lerLinhas(linhas.values, &erro)) {
            texto = totais.texto();
            ui->plainTextEdit_resumo->setPlainText(texto);
            ui->label_estado->clear();
            ui->pushButton_imprimir->setEnabled(true);
            return;
        }
        ui->label_estado->setText(QStringLiteral("Não foi possível ler os pedidos do dia:\n%1").arg(erro));
    });
}

// On the first printer configured, through the ticket's path; the print
// dialog and a failure box run event loops, in which a second press must not
// print again.
void ResumoDia::on_pushButton_imprimir_clicked()
{
    if (imprimindo || texto.isEmpty())
        return;
    imprimindo = true;
    QStringList impressoras = connectionSettings.printerList;
    impressoras.removeAll(QString());
    const QStringList falhas = ImprimirTexto(texto, false, impressoras.mid(0, 1), QStringLiteral("Resumo do dia"));
    if (!falhas.isEmpty())
        QMessageBox::warning(this, QStringLiteral("Imprimir"), falhas.join(QLatin1Char('\n')), QMessageBox::Ok);
    imprimindo = false;
}
