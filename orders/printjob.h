#pragma once

#include <QObject>
#include <QStringList>

class QProcess;
class QTemporaryDir;

// One text printed once on every printer listed, without waiting for the
// spooler: the copies are laid out at once, lp's answers come later. Ends with
// finished, whose lines are those of ImprimirTexto; an empty list is one
// failure too, since nobody is there to choose a printer. Deletes itself.
class PrintJob : public QObject
{
    Q_OBJECT

public:
    PrintJob(const QString &html, const QStringList &printers, const QString &trabalho, QObject *parent = nullptr);
    ~PrintJob() override;

signals:
    void finished(const QStringList &falhas);

private:
    void copyAnswered(const QString &impressora, QProcess *lp);
    void finishIfDone();

    QTemporaryDir *pdfs;
    QStringList falhas;
    int pending = 0;   // copies lp has not answered yet
    bool ended = false;
};
