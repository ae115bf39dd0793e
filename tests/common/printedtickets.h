#pragma once

#include "testenv.h"

#include <QDirIterator>
#include <QProcess>
#include <QStringList>

// What the cups-pdf queues 1 and 2 wrote since the last mark, and its text.
class PrintedTickets
{
public:
    PrintedTickets() { mark(); }
    void mark()   // and both queues take jobs again
    {
        QProcess::execute("cupsaccept", {TestEnv::value("TRV_PRINTER1"), TestEnv::value("TRV_PRINTER2")});
        before.clear();
        before = since(1) + since(2);
    }
    QStringList since(int queue) const
    {
        QStringList files;
        for (QDirIterator it(TestEnv::value(queue == 1 ? "TRV_PDF_DIR1" : "TRV_PDF_DIR2"), {"*.pdf"}, QDir::Files,
                             QDirIterator::Subdirectories); it.hasNext();)
            if (!before.contains(it.next()))
                files << it.filePath();
        return files;
    }
    QStringList texts(int queue) const
    {
        QStringList texts;
        for (const QString &file : since(queue)) {
            QProcess pdftotext;
            pdftotext.start("pdftotext", {file, "-"});
            pdftotext.waitForFinished();
            texts << QString::fromUtf8(pdftotext.readAllStandardOutput());
        }
        return texts;
    }

private:
    QStringList before;
};
