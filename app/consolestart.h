#pragma once

#include <QStringList>

class QLockFile;

// What a second console started in the same working directory says before it ends.
extern const QString secondConsoleText;

// Reads the command line. --help and --version print and end the process,
// which needs no display: call it first with strict false, before the
// QApplication exists. With strict true, once Qt has taken its own options,
// anything left that is not ours ends the process with an error.
void readCommandLine(const QStringList &arguments, bool strict);

// One console per working directory: false when a running console holds the
// lock. A lock left by a console that crashed is taken over.
bool lockWorkingDirectory(QLockFile *lock);
