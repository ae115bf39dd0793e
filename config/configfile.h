#pragma once

#include <QIODevice>
#include <QString>
#include <QStringList>

// Opened by this relative name: the file lives in the current working directory.
constexpr char configFileName[] = "config.conf";

// The twelve lines of config.conf in file order, passwords in plain text.
struct ConfigValues
{
    QString loginName;      // line 1
    QString loginPassword;  // line 2, enciphered in the file
    QString host;           // line 3, database and broker host
    QString dbName;         // line 4
    QString dbPort;         // line 5, decimal text
    QString dbUser;         // line 6
    QString dbPassword;     // line 7, enciphered in the file
    QString userbroker;     // line 8
    QString passbroker;     // line 9, enciphered in the file
    QString virtualhost;    // line 10
    QString portbroker;     // line 11, decimal text
    QString printerLine;    // line 12 as stored: "first:second", possibly empty
};

// Reads the file at path into *out. Returns false, leaving *out untouched,
// when the file cannot be opened. Missing lines read as empty, lines after
// the twelfth are ignored, a password line that does not decipher reads as
// empty, and an overlong line (see configfile.cpp) reads as empty.
bool readConfigFile(const QString &path, ConfigValues *out);

// The same reading from a device already open for reading, such as a buffer
// of bytes: its lines from the current position on.
ConfigValues readConfigLines(QIODevice &device);

// Replaces the file at path with the twelve lines of values, enciphering
// lines 2, 7 and 9. Returns false when the file could not be written; the
// previous file is then left as it was.
bool writeConfigFile(const QString &path, const ConfigValues &values);

// Makes config.conf (0600) and the folder tls (0700) of the working directory
// dir their owner's alone, where they are there and not symbolic links: files
// left readable by an older console or by hand. False when one could not be.
bool keepWorkingFilesPrivate(const QString &dir);

// The password lines (2, 7 and 9) of the file at path as stored and as
// deciphered, without empty ones: what a log must never show.
QStringList readConfigSecrets(const QString &path);

// "a:b" -> {"a", "b"}; every ':' splits, empty parts are kept. Callers leave
// their printer list alone when line 12 is empty.
QStringList splitPrinterLine(const QString &line);

// Line 12 as the configuration dialog writes it.
QString joinPrinterLine(const QString &first, const QString &second);
