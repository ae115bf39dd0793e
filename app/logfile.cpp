#include "logfile.h"

#include "configfile.h"
#include "consolelog.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>

namespace {

// The texts under which a password can reach a line: as it is, inside the
// quotes QDebug puts around a QString or a QByteArray (with its escapes),
// percent-encoded in a URL, and as the MD5 the login compares.
QStringList formsOf(const QString &secret)
{
    QString quotedText;
    QString quotedBytes;
    QDebug(&quotedText).nospace() << secret;
    QDebug(&quotedBytes).nospace() << secret.toUtf8();
    return {secret,
            quotedText.mid(1, quotedText.size() - 2),
            quotedBytes.mid(1, quotedBytes.size() - 2),
            QString::fromLatin1(QUrl::toPercentEncoding(secret)),
            QString::fromLatin1(QCryptographicHash::hash(secret.toUtf8(), QCryptographicHash::Md5).toHex())};
}

const char *levelName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg: return "debug";
    case QtInfoMsg: return "info";
    case QtWarningMsg: return "warning";
    case QtCriticalMsg: return "critical";
    case QtFatalMsg: return "fatal";
    }
    return "?";
}

class LogFile
{
public:
    explicit LogFile(const QString &dir)
        : logsDir(QDir(dir).filePath(QStringLiteral("logs")))
        , configPath(QDir(dir).filePath(QString::fromLatin1(configFileName)))
    {
    }

    const QString logsDir;

    // Called before every line, outside the mutex: reading the file can log.
    // A password saved while the console runs is masked from then on, and
    // the old one stays masked, since connections made with it live on.
    void learnSecrets()
    {
        struct stat info;
        QByteArray stamp;
        if (::stat(QFile::encodeName(configPath).constData(), &info) == 0) {
            stamp = QByteArray::number(qulonglong(info.st_ino)) + ' ' + QByteArray::number(qlonglong(info.st_size))
                + ' ' + QByteArray::number(qlonglong(info.st_mtim.tv_sec)) + '.'
                + QByteArray::number(qlonglong(info.st_mtim.tv_nsec));
        }
        {
            QMutexLocker lock(&mutex);
            if (stamp == configStamp)
                return;
            configStamp = stamp;
        }
        const QStringList found = readConfigSecrets(configPath);
        QMutexLocker lock(&mutex);
        for (const QString &secret : found) {
            for (const QString &form : formsOf(secret)) {
                if (!form.isEmpty() && !forms.contains(form))
                    forms.append(form);
            }
        }
        // A password that holds another is masked whole.
        std::sort(forms.begin(), forms.end(), [](const QString &a, const QString &b) { return a.size() > b.size(); });
    }

    // Writes the message to the day's file and returns it as it may be shown elsewhere.
    QString write(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        const QDateTime now = QDateTime::currentDateTime();
        QMutexLocker lock(&mutex);
        QString text = message;
        for (const QString &form : qAsConst(forms))
            text.replace(form, QStringLiteral("***"));

        // Every line of a message carries the time, so none is read out of its place.
        const QString prefix = QStringLiteral("%1 %2 %3: ")
                                   .arg(now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
                                        QLatin1String(levelName(type)),
                                        QLatin1String(context.category ? context.category : "default"));
        QString lines;
        for (const QString &line : text.split(QLatin1Char('\n')))
            lines += prefix + line + QLatin1Char('\n');

        if (fileDate != now.date()) {
            // A console left on past midnight starts the next day's file.
            fileDate = now.date();
            file.close();
            file.setFileName(QDir(logsDir).filePath(fileDate.toString(Qt::ISODate) + QStringLiteral(".log")));
            QDir().mkpath(logsDir);
            // The log tells hosts, accounts and orders: its owner's alone, older days' folder included.
            QFile::setPermissions(logsDir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
                std::fprintf(stderr, "trovanta-console: cannot write the log %s: %s\n",
                             qPrintable(file.fileName()), qPrintable(file.errorString()));
            else
                file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        }
        if (file.isOpen()) {
            // Flushed at once: the lines before a crash are the ones wanted.
            file.write(lines.toUtf8());
            file.flush();
        }
        return text;
    }

private:
    const QString configPath;
    QMutex mutex;
    QByteArray configStamp;
    QStringList forms;
    QFile file;
    QDate fileDate;
};

// Lives until the process ends: Qt still logs while its statics are destroyed.
LogFile *logFile = nullptr;
QtMessageHandler previousHandler = nullptr;

void handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    static thread_local bool learning = false;
    if (!learning) {
        learning = true;
        logFile->learnSecrets();
        learning = false;
    }
    previousHandler(type, context, logFile->write(type, context, message));
}

} // namespace

int pruneLogFiles(const QString &logsDir, const QDate &today, int keepDays)
{
    static const QRegularExpression dayFile(QStringLiteral("^(\\d{4}-\\d{2}-\\d{2})\\.log$"));
    QDir dir(logsDir);
    const QDate oldestKept = today.addDays(-keepDays);
    int removed = 0;
    for (const QString &name : dir.entryList({QStringLiteral("*.log")}, QDir::Files)) {
        const QRegularExpressionMatch match = dayFile.match(name);
        const QDate day = match.hasMatch() ? QDate::fromString(match.captured(1), Qt::ISODate) : QDate();
        if (day.isValid() && day < oldestKept && dir.remove(name))
            ++removed;
    }
    return removed;
}

void installLogFile(const QString &dir, int keepDays)
{
    if (logFile)
        return;
    logFile = new LogFile(dir);
    previousHandler = qInstallMessageHandler(handleMessage);
    const int removed = pruneLogFiles(logFile->logsDir, QDate::currentDate(), keepDays);
    if (removed > 0)
        qCDebug(lcConsole).noquote() << QStringLiteral("logs: %1 arquivo(s) de mais de %2 dias removido(s)").arg(removed).arg(keepDays);
}
