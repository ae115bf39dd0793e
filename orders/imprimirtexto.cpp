#include "imprimirtexto.h"

#include "connectionsettings.h"

#include <QDir>
#include <QMarginsF>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QTemporaryFile>
#include <QTextDocument>

namespace {

constexpr qreal umMilimetro = 2.834645669291339;   // 72 / 25.4 points

void preparaPagina(QPrinter *printer)
{
    printer->setFullPage(true);
    printer->setPageMargins(QMarginsF(0, 0, 0, 0));
}

void imprimeDocumento(QPrinter *printer, const QString &texto, bool isHtml)
{
    QTextDocument document;
    document.setPageSize(printer->pageLayout().paintRectPixels(printer->resolution()).size());
    document.setDocumentMargin(umMilimetro);
    if (isHtml)
        document.setHtml(texto);
    else
        document.setPlainText(texto);
    document.print(printer);
}

// Printing through QPrinter alone drops the spooler's answer: each copy is
// laid out into a PDF and handed to lp, which says whether it took the job.
QString imprimeCopia(const QPrinterInfo &info, const QString &texto, bool isHtml, const QString &trabalho)
{
    QTemporaryFile pdf(QDir::tempPath() + QStringLiteral("/pedido-XXXXXX.pdf"));
    if (!pdf.open())
        return pdf.errorString();
    pdf.close();
    escrevePdf(info, texto, isHtml, pdf.fileName());
    // The spooler answers at once when it is up; a hung one must not hold
    // the window (and its tick) for long.
    QProcess lp;
    lp.start(QStringLiteral("lp"), argumentosLp(info.printerName(), trabalho, pdf.fileName()));
    if (!lp.waitForFinished(5000)) {
        lp.kill();
        lp.waitForFinished();
    }
    return respostaLp(lp);
}

} // namespace

void escrevePdf(const QPrinterInfo &info, const QString &texto, bool isHtml, const QString &caminho)
{
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(caminho);
    printer.setPageSize(info.defaultPageSize());
    preparaPagina(&printer);
    imprimeDocumento(&printer, texto, isHtml);
}

QStringList argumentosLp(const QString &impressora, const QString &trabalho, const QString &pdf)
{
    return {QStringLiteral("-d"), impressora, QStringLiteral("-t"), trabalho, pdf};
}

QString respostaLp(QProcess &lp)
{
    if (lp.error() == QProcess::FailedToStart)
        return QStringLiteral("lp não encontrado");
    if (lp.exitStatus() != QProcess::NormalExit)
        return QStringLiteral("o spooler não respondeu");
    if (lp.exitCode() == 0)
        return QString();
    const QString erro = QString::fromLocal8Bit(lp.readAllStandardError()).trimmed();
    return erro.isEmpty() ? QStringLiteral("lp terminou com o código %1").arg(lp.exitCode()) : erro;
}

QString falhaNaoInstalada(const QString &impressora)
{
    return QStringLiteral("A impressora \"%1\" não está instalada.").arg(impressora);
}

QString falhaDaCopia(const QString &impressora, const QString &erro)
{
    return QStringLiteral("A impressora \"%1\" não imprimiu: %2").arg(impressora, erro);
}

QStringList ImprimirTexto(const QString &texto, bool isHtml)
{
    return ImprimirTexto(texto, isHtml, connectionSettings.printerList, QStringLiteral("Pedido"));
}

QStringList ImprimirTexto(const QString &texto, bool isHtml, const QStringList &listadas, const QString &trabalho)
{
    // Empty names are unset printers: the settings write ":" when none is chosen.
    QStringList impressoras = listadas;
    impressoras.removeAll(QString());
    QStringList falhas;
    if (impressoras.isEmpty()) {
        if (QPrinterInfo::availablePrinters().isEmpty())
            return {QStringLiteral("Nenhuma impressora instalada.")};
        QPrinter printer(QPrinter::ScreenResolution);
        preparaPagina(&printer);
        QPrintDialog dialog(&printer, nullptr);
        dialog.setWindowTitle(QStringLiteral("Imprimir Pedido"));
        dialog.setModal(true);
        if (dialog.exec() == QDialog::Accepted)
            imprimeDocumento(&printer, texto, isHtml);
        return falhas;
    }
    for (const QString &nome : qAsConst(impressoras)) {
        const QPrinterInfo info = QPrinterInfo::printerInfo(nome);
        if (info.isNull()) {
            falhas << falhaNaoInstalada(nome);
            continue;
        }
        const QString erro = imprimeCopia(info, texto, isHtml, trabalho);
        if (!erro.isNull())
            falhas << falhaDaCopia(nome, erro);
    }
    return falhas;
}
