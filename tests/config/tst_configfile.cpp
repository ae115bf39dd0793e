#include "configsample.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

// The file as it holds values, passwords enciphered, each line ended by end.
QByteArray fileOf(const QStringList &values, const QByteArray &end = "\n")
{
    QByteArray out;
    for (int i = 0; i < values.size(); ++i)
        out += (isPasswordLine(i) ? FieldCipher(configCipherKey).encipherText(values.at(i)).toLatin1() : values.at(i).toLocal8Bit()) + end;
    return out;
}

QStringList sampleExcept(int index, const QString &value)
{
    QStringList out = sampleFields;
    out[index] = value;
    return out;
}

// What this process has read so far, in bytes.
qint64 bytesRead()
{
    const QByteArray io = readRaw(QStringLiteral("/proc/self/io"));
    return io.mid(io.indexOf("rchar:") + 6).split('\n').first().trimmed().toLongLong();
}

} // namespace

class TestConfigFile : public QObject
{
    Q_OBJECT

private slots:
    void init() { dir.reset(new QTemporaryDir); path = dir->filePath(QString::fromLatin1(configFileName)); }
    void read_data();
    void read();
    void oversized();
    void write();
    void diskFullKeepsOldFile();

private:
    void writeRaw(const QByteArray &bytes, QIODevice::OpenMode mode = QIODevice::WriteOnly)
    {
        QFile file(path);
        QVERIFY(file.open(mode) && file.write(bytes) == bytes.size());
    }

    QScopedPointer<QTemporaryDir> dir;
    QString path;
};

void TestConfigFile::read_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("expected");   // the first lines read, the rest empty; none: nothing read or changed

    const QByteArray sample = fileOf(sampleFields);
    const int line2 = sample.indexOf('\n') + 1;
    QTest::newRow("LF") << sample << sampleFields;
    QTest::newRow("CR LF") << fileOf(sampleFields, "\r\n") << sampleFields;
    QTest::newRow("no final line end") << sample.chopped(1) << sampleFields;
    QTest::newRow("lines after the twelfth") << sample + fileOf({ "linha 13", "x", "" }) << sampleFields;
    QTest::newRow("four lines") << fileOf(sampleFields.mid(0, 4)) << QStringList(sampleFields.mid(0, 4));
    // A password line that does not decipher loses that field only.
    QTest::newRow("password, prose") << sample.left(line2) + "minha senha em claro!" + sample.mid(sample.indexOf('\n', line2))
                                     << sampleExcept(1, "");
    const QByteArray junk("lo\0ja\xff\xfe\x03", 7);
    QTest::newRow("binary junk") << junk + sample.mid(line2 - 1)
                                 << sampleExcept(0, QTextCodec::codecForLocale()->toUnicode(junk));
    // Opening a pipe would wait for a writer forever.
    for (const char *unopenable : {"missing", "folder", "pipe"})
        QTest::newRow(unopenable) << QByteArray(unopenable) << QStringList();
}

void TestConfigFile::read()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, expected);
    if (bytes == "folder")
        QVERIFY(QDir().mkdir(path));
    else if (bytes == "pipe")
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    else if (bytes != "missing")
        writeRaw(bytes);
    ConfigValues values = valuesOf(sampleFields);
    QCOMPARE(readConfigFile(path, &values), !expected.isEmpty());
    QCOMPARE(fields(values), expected.isEmpty() ? sampleFields : QStringList(expected + fields(ConfigValues()).mid(expected.size())));
}

void TestConfigFile::oversized()
{
    // A 50 MB first line, written in pieces: it is skipped without being held, and the lines after it still count.
    for (int i = 0; i < 50; ++i)
        writeRaw(QByteArray(1 << 20, 'x'), QIODevice::Append);
    writeRaw(fileOf(sampleExcept(0, "")), QIODevice::Append);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    ConfigValues values;
    QVERIFY(readConfigFile(path, &values));
    getrusage(RUSAGE_SELF, &after);
    QVERIFY2(after.ru_maxrss - before.ru_maxrss < 20 * 1024, "the long line was held in memory");
    QCOMPARE(fields(values), sampleExcept(0, ""));

    // 8 GiB of zero bytes without a line end, sparse: only a bounded part is read.
    QVERIFY(QFile::resize(path, 0) && QFile::resize(path, Q_INT64_C(8) << 30));
    const qint64 readBefore = bytesRead();
    QVERIFY(readConfigFile(path, &values));
    QVERIFY(bytesRead() - readBefore < Q_INT64_C(256) << 20);
    QCOMPARE(fields(values), fields(ConfigValues()));
}

void TestConfigFile::write()
{
    // An older, longer file with CR LF ends: nothing of it may survive.
    writeRaw(fileOf(QStringList(sampleFields) << "linha 13 antiga" << QString(100000, 'z'), "\r\n"));
    QStringList written = sampleFields;
    written[2] = QString(32767, QChar(0xe9));   // as long as a line edit holds, two bytes each in UTF-8
    written[8].clear();   // an empty password stays empty
    written[11] = QStringLiteral(":");
    QVERIFY(writeConfigFile(path, valuesOf(written)));

    QCOMPARE(decodeFile(path), written + QStringList(QString()));
    ConfigValues back;
    QVERIFY(readConfigFile(path, &back));
    QCOMPARE(fields(back), written);
}

void TestConfigFile::diskFullKeepsOldFile()
{
    QVERIFY(writeConfigFile(path, valuesOf(sampleFields)));
    const QByteArray old = readRaw(path);

    // A file size limit stops the write partway, as a full disk would.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit limit{1024, saved.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);   // the write fails with EFBIG instead of killing the test
    setrlimit(RLIMIT_FSIZE, &limit);
    const bool written = writeConfigFile(path, valuesOf(sampleExcept(2, QString(4000, 'h'))));
    setrlimit(RLIMIT_FSIZE, &saved);

    QVERIFY(!written);
    QCOMPARE(readRaw(path), old);
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList(QString::fromLatin1(configFileName)));
}

QTEST_GUILESS_MAIN(TestConfigFile)
#include "tst_configfile.moc"
