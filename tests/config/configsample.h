#pragma once

#include "configfile.h"
#include "configkey.h"
#include "fieldcipher.h"

#include <QFile>

// The fields of ConfigValues in file order.
inline QString ConfigValues::*const configFields[] = {
    &ConfigValues::loginName, &ConfigValues::loginPassword, &ConfigValues::host, &ConfigValues::dbName,
    &ConfigValues::dbPort, &ConfigValues::dbUser, &ConfigValues::dbPassword, &ConfigValues::userbroker,
    &ConfigValues::passbroker, &ConfigValues::virtualhost, &ConfigValues::portbroker, &ConfigValues::printerLine,
};

// Distinct values as an operator would type them; nothing is trimmed or escaped.
inline const QStringList sampleFields = {
    "pizzaria@exemplo", "senha çã", " 10.0.0.5 ", "trovanta", "3306", "usuário",
    "p:a;s\"s=", "broker", "coelho", "/", "5672", "Cozinha:Balcao",
};

inline bool isPasswordLine(int index) { return index == 1 || index == 6 || index == 8; }

inline QString decipher(const QString &text) { return FieldCipher(configCipherKey).decipherText(text); }

inline QStringList fields(const ConfigValues &values)
{
    QStringList out;
    for (auto field : configFields)
        out << values.*field;
    return out;
}

inline ConfigValues valuesOf(const QStringList &list)
{
    ConfigValues values;
    for (int i = 0; i < 12; ++i)
        values.*configFields[i] = list.value(i);
    return values;
}

inline QByteArray readRaw(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every line of the file, passwords deciphered; a final line end shows as a last empty entry.
inline QStringList decodeFile(const QString &path)
{
    QStringList out;
    const QList<QByteArray> lines = readRaw(path).split('\n');
    for (int i = 0; i < lines.size(); ++i)
        out << (isPasswordLine(i) ? decipher(QString::fromLatin1(lines.at(i))) : QString::fromLocal8Bit(lines.at(i)));
    return out;
}
