#pragma once

#include <QString>
#include <QStringList>

// Prints text (HTML when isHtml) once on every printer of the configured
// printer list, in its order, without asking; with an empty list a print
// dialog lets the operator choose. Returns one line, naming the printer, per
// copy that could not be printed: a printer that is not installed, or a job
// that the printing system refused; or one line when no printer is installed
// at all. Empty names are unset printers: a list of only those is empty.
QStringList ImprimirTexto(const QString &texto, bool isHtml);
// The same on the printers listed, the spooler's job called trabalho.
QStringList ImprimirTexto(const QString &texto, bool isHtml, const QStringList &listadas, const QString &trabalho);
