#pragma once

#include <QDate>
#include <QString>

// Every message of the process also goes, with date and time, to
// <dir>/logs/<yyyy-MM-dd>.log, and still to the standard error as before.
// The passwords of <dir>/config.conf, in any form a line could carry them,
// are written as "***" in both. Day files older than keepDays are removed.
void installLogFile(const QString &dir, int keepDays = 14);

// Removes the <yyyy-MM-dd>.log files of logsDir dated before today - keepDays;
// other files are left alone. Returns how many were removed.
int pruneLogFiles(const QString &logsDir, const QDate &today, int keepDays);
