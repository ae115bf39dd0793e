#include "configsample.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

QList<QByteArray> diskLines(const QStringList &values)
{
    QList<QByteArray> lines;
    for (int i = 0; i < values.size(); ++i)
        lines << (isPasswordLine(i) ? FieldCipher(configCipherKey).encipherText(values.at(i)).toLatin1()
                                    : values.at(i).toLocal8Bit());
    return lines;
}

QByteArray joined(const QList<QByteArray> &lines, const QByteArray &end)
{
    QByteArray out;
    for (const QByteArray &line : lines)
        out += line + end;
    return out;
}

QStringList sampleExcept(int index, const QString &value)
{
    QStringList out = sampleFields;
    out[index] = value;
    return out;
}

long peakResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

qint64 bytesReadByProcess()
{
    const QList<QByteArray> lines = readRaw(QStringLiteral("/proc/self/io")).split('\n');
    for (const QByteArray &line : lines)
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    return -1;
}

} // namespace

class TestConfigFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void read_data();
    void read();
    void unopenable_data();
    void unopenable();
    void oversized();
    void write();
    void failedWrite_data();
    void failedWrite();

private:
    QScopedPointer<QTemporaryDir> dir;
    QString path;
};

void TestConfigFile::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
    path = dir->filePath(QString::fromLatin1(configFileName));
}

void TestConfigFile::read_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("printers");   // empty: line 12 not split

    const QList<QByteArray> lines = diskLines(sampleFields);
    auto with = [&lines](int index, const QByteArray &line) {
        QList<QByteArray> changed = lines;
        changed[index] = line;
        return joined(changed, "\n");
    };
    const QStringList both = { "Cozinha", "Balcao" };
    const QStringList none = fields(ConfigValues());
    QTest::newRow("LF") << joined(lines, "\n") << sampleFields << both;
    QTest::newRow("CR LF") << joined(lines, "\r\n") << sampleFields << both;
    QTest::newRow("no final line end") << joined(lines, "\n").chopped(1) << sampleFields << both;
    QTest::newRow("lines after the twelfth") << joined(lines + diskLines({ "linha 13", "x", "" }), "\n") << sampleFields << both;
    QTest::newRow("empty file") << QByteArray() << none << QStringList();
    QTest::newRow("four lines") << joined(lines.mid(0, 4), "\n") << QStringList(sampleFields.mid(0, 4) + none.mid(4)) << QStringList();
    QTest::newRow("no printer chosen") << with(11, ":") << sampleExcept(11, ":") << QStringList({ "", "" });
    QTest::newRow("no colon") << with(11, "Cozinha") << sampleExcept(11, "Cozinha") << QStringList({ "Cozinha" });
    QTest::newRow("a colon in a name") << with(11, "ipp:cozinha:Balcao") << sampleExcept(11, "ipp:cozinha:Balcao")
                                       << QStringList({ "ipp", "cozinha", "Balcao" });
    // A password line that does not decipher loses that field only.
    QTest::newRow("password, other key") << with(1, FieldCipher(424242).encipherText("senha").toLatin1())
                                         << sampleExcept(1, "") << both;
    QTest::newRow("password, prose") << with(1, "minha senha em claro!") << sampleExcept(1, "") << both;
    QTest::newRow("password, cut short") << with(1, lines.at(1).chopped(6)) << sampleExcept(1, "") << both;
    const QByteArray junk("lo\0ja\xff\xfe\x03", 7);
    QTest::newRow("binary junk") << with(0, junk) << sampleExcept(0, QTextCodec::codecForLocale()->toUnicode(junk)) << both;
}

void TestConfigFile::read()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, printers);

    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    ConfigValues values;
    QVERIFY(readConfigFile(path, &values));
    QCOMPARE(fields(values), expected);
    if (!printers.isEmpty())
        QCOMPARE(splitPrinterLine(values.printerLine), printers);
}

void TestConfigFile::unopenable_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("missing") << 0;
    QTest::newRow("a folder") << 1;
    QTest::newRow("a pipe") << 2;   // opening it would wait for a writer forever
}

void TestConfigFile::unopenable()
{
    QFETCH(int, kind);
    if (kind == 1)
        QVERIFY(QDir().mkdir(path));
    if (kind == 2)
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    ConfigValues values = valuesOf(sampleFields);
    QVERIFY(!readConfigFile(path, &values));
    QCOMPARE(fields(values), sampleFields);
}

void TestConfigFile::oversized()
{
    // A 50 MB first line is skipped without being held, and the lines after it still count.
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (int i = 0; i < 50; ++i)
        QCOMPARE(file.write(QByteArray(1 << 20, 'x')), qint64(1 << 20));
    file.write(joined(diskLines(sampleExcept(0, "")), "\n"));
    file.close();
    const long peakBefore = peakResidentKiB();
    ConfigValues values;
    QVERIFY(readConfigFile(path, &values));
    QVERIFY2(peakResidentKiB() - peakBefore < 20 * 1024, "the long line was held in memory");
    QCOMPARE(fields(values), sampleExcept(0, ""));

    // 8 GiB of zero bytes without a line end, sparse: only a bounded part is read.
    QVERIFY(file.open(QIODevice::WriteOnly));
    if (!file.resize(Q_INT64_C(8) << 30))
        QSKIP("the temporary file system has no sparse files");
    file.close();
    const qint64 readBefore = bytesReadByProcess();
    QVERIFY(readConfigFile(path, &values));
    QVERIFY(bytesReadByProcess() - readBefore < Q_INT64_C(256) << 20);
    QCOMPARE(fields(values), fields(ConfigValues()));
}

void TestConfigFile::write()
{
    // An older file, longer and with CR LF ends: nothing of it may survive.
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(joined(diskLines(sampleFields) << "linha 13 antiga" << QByteArray(100000, 'z'), "\r\n"));
    old.close();

    // The longest text a line edit holds; mixed scripts keep it from compressing much.
    QRandomGenerator random(11);
    const QString alphabet = QStringLiteral("abcxyzçãéõ€漢字ABC0129!@#");
    QString longest;
    for (int i = 0; i < 32767; ++i)
        longest += alphabet.at(int(random.bounded(alphabet.size())));
    QStringList written = sampleFields;
    written[2] = QString(32767, QChar(0xe9));   // two bytes each in UTF-8
    written[6] = longest;
    written[8] = QString();   // an empty password stays empty
    written[11] = QStringLiteral(":");
    QVERIFY(writeConfigFile(path, valuesOf(written)));

    QCOMPARE(decodeFile(path), written + QStringList(QString()));
    ConfigValues back;
    QVERIFY(readConfigFile(path, &back));
    QCOMPARE(fields(back), written);
}

void TestConfigFile::failedWrite_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("diskFull");
    QTest::newRow("a folder in the way") << "pasta" << false;
    QTest::newRow("no such folder") << "nao-existe/config.conf" << false;
    QTest::newRow("disk full halfway") << "config.conf" << true;
}

void TestConfigFile::failedWrite()
{
    QFETCH(QString, target);
    QFETCH(bool, diskFull);
    QVERIFY(writeConfigFile(path, valuesOf(sampleFields)));
    QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("pasta")));
    const QByteArray old = readRaw(path);
    ConfigValues values = valuesOf(sampleFields);
    values.host = QString(4000, QLatin1Char('h'));

    // A file size limit stops the write partway, as a full disk would.
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limit = saved;
    if (diskFull)
        limit.rlim_cur = 1024;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const bool written = writeConfigFile(dir->filePath(target), values);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(!written);
    QCOMPARE(readRaw(path), old);
    QCOMPARE(QDir(dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList({ "config.conf", "pasta" }));
    QVERIFY(QDir(dir->filePath(QStringLiteral("pasta"))).isEmpty());
}

QTEST_GUILESS_MAIN(TestConfigFile)
#include "tst_configfile.moc"
