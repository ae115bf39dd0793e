#include "configfile.h"

#include "configkey.h"
#include "fieldcipher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextCodec>
#include <QTextStream>

namespace {

constexpr int lineCount = 12;

// A dialog field holds at most 32767 characters (the line edit's limit); even
// enciphered and in Base64 that stays under 256 KiB. A longer line was not
// written by the dialog: it reads as empty and is skipped, never held whole.
constexpr qint64 maxLineBytes = qint64(256) * 1024;
// Lines after an overlong one are still found, but past this much the rest of
// the file is not looked at, so a huge file costs bounded time.
constexpr qint64 maxScanBytes = qint64(64) * 1024 * 1024;
constexpr qint64 chunkBytes = qint64(64) * 1024;

// Reads one line and drops its LF or CR LF end. Returns false at the end of
// the file or of the scan budget.
bool readBoundedLine(QIODevice &device, qint64 *budget, QByteArray *line)
{
    line->clear();
    bool gotData = false;
    bool overlong = false;
    while (*budget > 0) {
        const QByteArray chunk = device.readLine(qBound(qint64(2), *budget, chunkBytes));
        if (chunk.isEmpty())
            break;
        gotData = true;
        *budget -= chunk.size();
        if (!overlong) {
            line->append(chunk);
            if (line->size() > maxLineBytes + 2) {
                overlong = true;
                line->clear();
                line->squeeze();
            }
        }
        if (chunk.endsWith('\n'))
            break;
    }
    if (overlong)
        line->clear();
    if (line->endsWith('\n'))
        line->chop(1);
    if (line->endsWith('\r'))
        line->chop(1);
    return gotData;
}

// The twelve lines as stored, from the device's current position.
QStringList readLines(QIODevice &device)
{
    // Plain lines are in the local 8-bit encoding, as a default QTextStream writes them.
    QTextCodec *codec = QTextCodec::codecForLocale();
    QStringList lines;
    qint64 budget = maxScanBytes;
    QByteArray raw;
    while (lines.size() < lineCount && readBoundedLine(device, &budget, &raw))
        lines.append(codec->toUnicode(raw));
    while (lines.size() < lineCount)
        lines.append(QString());
    return lines;
}

// The twelve lines as stored; false when the file cannot be opened.
bool readLines(const QString &path, QStringList *lines)
{
    // A directory, device or pipe under that name would fail or block.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return false;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    *lines = readLines(file);
    return true;
}

ConfigValues valuesOf(const QStringList &lines)
{
    FieldCipher cipher(configCipherKey);
    ConfigValues values;
    values.loginName = lines.at(0);
    values.loginPassword = cipher.decipherText(lines.at(1));
    values.host = lines.at(2);
    values.dbName = lines.at(3);
    values.dbPort = lines.at(4);
    values.dbUser = lines.at(5);
    values.dbPassword = cipher.decipherText(lines.at(6));
    values.userbroker = lines.at(7);
    values.passbroker = cipher.decipherText(lines.at(8));
    values.virtualhost = lines.at(9);
    values.portbroker = lines.at(10);
    values.printerLine = lines.at(11);
    return values;
}

} // namespace

bool readConfigFile(const QString &path, ConfigValues *out)
{
    QStringList lines;
    if (!readLines(path, &lines))
        return false;
    *out = valuesOf(lines);
    return true;
}

ConfigValues readConfigLines(QIODevice &device)
{
    return valuesOf(readLines(device));
}

bool writeConfigFile(const QString &path, const ConfigValues &values)
{
    // Written aside and renamed over the old file, so a failed write (full
    // disk, lost permission) cannot leave a truncated configuration behind.
    // Where only the file itself is writable it is rewritten in place.
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    // The passwords' cipher hides them from a glance only: the file is its
    // owner's alone, whatever mode an older one had, before a line is in it.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        file.cancelWriting();
        return false;
    }

    FieldCipher cipher(configCipherKey);
    const QStringList lines = {
        values.loginName,
        cipher.encipherText(values.loginPassword),
        values.host,
        values.dbName,
        values.dbPort,
        values.dbUser,
        cipher.encipherText(values.dbPassword),
        values.userbroker,
        cipher.encipherText(values.passbroker),
        values.virtualhost,
        values.portbroker,
        values.printerLine,
    };

    QTextStream stream(&file);
    for (const QString &line : lines)
        stream << line << '\n';
    stream.flush();
    if (stream.status() != QTextStream::Ok) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool keepWorkingFilesPrivate(const QString &dir)
{
    const QDir working(dir);
    // A link may point at what is not the console's to change.
    const QFileInfo config(working.filePath(QString::fromLatin1(configFileName)));
    bool kept = !config.isFile() || config.isSymLink()
        || QFile::setPermissions(config.filePath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QFileInfo tls(working.filePath(QStringLiteral("tls")));
    if (tls.isDir() && !tls.isSymLink())
        kept = QFile::setPermissions(tls.filePath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner) && kept;
    return kept;
}

QStringList readConfigSecrets(const QString &path)
{
    QStringList lines;
    QStringList secrets;
    if (!readLines(path, &lines))
        return secrets;
    FieldCipher cipher(configCipherKey);
    for (const int index : {1, 6, 8}) {
        secrets << lines.at(index) << cipher.decipherText(lines.at(index));
    }
    secrets.removeAll(QString());
    return secrets;
}

QStringList splitPrinterLine(const QString &line)
{
    return line.split(QLatin1Char(':'), Qt::KeepEmptyParts, Qt::CaseSensitive);
}

QString joinPrinterLine(const QString &first, const QString &second)
{
    return first + QLatin1Char(':') + second;
}
