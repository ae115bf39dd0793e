#include "printjob.h"

#include "imprimirtexto.h"

#include <QPrinterInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

namespace {

// As long as the dialog's print waits for the spooler.
constexpr int spoolerLimitMs = 5000;

} // namespace

PrintJob::PrintJob(const QString &html, const QStringList &printers, const QString &trabalho, QObject *parent)
    : QObject(parent)
    , pdfs(new QTemporaryDir)
{
    QStringList impressoras = printers;
    impressoras.removeAll(QString());
    if (impressoras.isEmpty())
        falhas << QStringLiteral("Nenhuma impressora configurada.");
    for (int i = 0; i < impressoras.size(); ++i) {
        const QString &nome = impressoras.at(i);
        const QPrinterInfo info = QPrinterInfo::printerInfo(nome);
        if (info.isNull()) {
            falhas << falhaNaoInstalada(nome);
            continue;
        }
        const QString pdf = pdfs->filePath(QStringLiteral("copia-%1.pdf").arg(i));
        escrevePdf(info, html, true, pdf);
        auto *lp = new QProcess(this);
        ++pending;
        connect(lp, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
                [this, nome, lp] { copyAnswered(nome, lp); });
        connect(lp, &QProcess::errorOccurred, this, [this, nome, lp](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                copyAnswered(nome, lp);
        });
        QTimer::singleShot(spoolerLimitMs, lp, [lp] { lp->kill(); });
        lp->start(QStringLiteral("lp"), argumentosLp(nome, trabalho, pdf));
    }
    // Later, so that whoever made the job hears of copies that failed at once.
    QTimer::singleShot(0, this, &PrintJob::finishIfDone);
}

PrintJob::~PrintJob()
{
    delete pdfs;
}

void PrintJob::copyAnswered(const QString &impressora, QProcess *lp)
{
    lp->disconnect(this);   // one answer per copy
    const QString erro = respostaLp(*lp);
    if (!erro.isNull())
        falhas << falhaDaCopia(impressora, erro);
    --pending;
    finishIfDone();
}

void PrintJob::finishIfDone()
{
    if (pending > 0 || ended)
        return;
    ended = true;
    emit finished(falhas);
    deleteLater();
}
