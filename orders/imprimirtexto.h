#pragma once

#include <QString>
#include <QStringList>

class QPrinterInfo;
class QProcess;

// Prints text (HTML when isHtml) once on every printer of the configured
// printer list, in its order, without asking; with an empty list a print
// dialog lets the operator choose. Returns one line, naming the printer, per
// copy that could not be printed: a printer that is not installed, or a job
// that the printing system refused; or one line when no printer is installed
// at all. Empty names are unset printers: a list of only those is empty.
QStringList ImprimirTexto(const QString &texto, bool isHtml);
// The same on the printers listed, the spooler's job called trabalho.
QStringList ImprimirTexto(const QString &texto, bool isHtml, const QStringList &listadas, const QString &trabalho);

// The steps of one copy, for whatever prints without waiting (PrintJob).
void escrevePdf(const QPrinterInfo &info, const QString &texto, bool isHtml, const QString &caminho);
QStringList argumentosLp(const QString &impressora, const QString &trabalho, const QString &pdf);
// What a finished (or killed) lp said: null when it took the job.
QString respostaLp(QProcess &lp);
QString falhaNaoInstalada(const QString &impressora);
QString falhaDaCopia(const QString &impressora, const QString &erro);
