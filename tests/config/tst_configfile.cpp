#include "configfile.h"
#include "configkey.h"
#include "fieldcipher.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

namespace {

QString encipher(const QString &text)
{
    return FieldCipher(configCipherKey).encipherText(text);
}

// Twelve lines with distinct values, as the dialog would save them.
QList<QByteArray> sampleLines()
{
    return {
        "pizzaria@exemplo.com.br",
        encipher(QStringLiteral("senha-da-loja")).toLatin1(),
        " 10.0.0.5 ",
        "trovanta",
        "3306",
        "console",
        encipher(QStringLiteral("senha-do-banco")).toLatin1(),
        "broker",
        encipher(QStringLiteral("senha-do-broker")).toLatin1(),
        "/",
        "5672",
        "Cozinha:Balcao",
    };
}

ConfigValues sampleValues()
{
    ConfigValues v;
    v.loginName = QStringLiteral("pizzaria@exemplo.com.br");
    v.loginPassword = QStringLiteral("senha-da-loja");
    v.host = QStringLiteral(" 10.0.0.5 ");   // nothing is trimmed
    v.dbName = QStringLiteral("trovanta");
    v.dbPort = QStringLiteral("3306");
    v.dbUser = QStringLiteral("console");
    v.dbPassword = QStringLiteral("senha-do-banco");
    v.userbroker = QStringLiteral("broker");
    v.passbroker = QStringLiteral("senha-do-broker");
    v.virtualhost = QStringLiteral("/");
    v.portbroker = QStringLiteral("5672");
    v.printerLine = QStringLiteral("Cozinha:Balcao");
    return v;
}

QStringList fields(const ConfigValues &v)
{
    return { v.loginName, v.loginPassword, v.host, v.dbName, v.dbPort, v.dbUser, v.dbPassword,
             v.userbroker, v.passbroker, v.virtualhost, v.portbroker, v.printerLine };
}

bool writeRaw(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readRaw(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray joined(const QList<QByteArray> &lines, const QByteArray &end)
{
    QByteArray out;
    for (const QByteArray &line : lines)
        out += line + end;
    return out;
}

#ifdef Q_OS_UNIX
long peakResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}
#endif

} // namespace

class TestConfigFile : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void readsEveryLine_data();
    void readsEveryLine();
    void missingOrUnopenable();
    void shortAndExtraLines();
    void printerLine_data();
    void printerLine();

    void badPasswordLines_data();
    void badPasswordLines();
    void binaryJunk();
    void overlongLines();
    void hugeFileWithoutLineEnds();
    void longestFieldTheDialogCanHold();

    void roundTrip();
    void rewritesWholeFile();
    void samePasswordTwice();
    void unwritablePath();
    void failedWriteKeepsOldFile();

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

void TestConfigFile::readsEveryLine_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QList<QByteArray> lines = sampleLines();
    QTest::newRow("LF") << joined(lines, "\n");
    QTest::newRow("CR LF") << joined(lines, "\r\n");
    QByteArray noFinalEnd = joined(lines, "\n");
    noFinalEnd.chop(1);
    QTest::newRow("no final line end") << noFinalEnd;
}

void TestConfigFile::readsEveryLine()
{
    QFETCH(QByteArray, bytes);
    QVERIFY(writeRaw(path, bytes));
    ConfigValues values;
    QVERIFY(readConfigFile(path, &values));
    QCOMPARE(fields(values), fields(sampleValues()));
}

void TestConfigFile::missingOrUnopenable()
{
    ConfigValues values = sampleValues();
    QVERIFY(!readConfigFile(path, &values));
    QCOMPARE(fields(values), fields(sampleValues()));

    QVERIFY(QDir(dir->path()).mkdir(QString::fromLatin1(configFileName)));
    QVERIFY(!readConfigFile(path, &values));
    QCOMPARE(fields(values), fields(sampleValues()));

#ifdef Q_OS_UNIX
    // Opening a pipe for reading would wait for a writer forever.
    const QString fifo = dir->filePath(QStringLiteral("fifo.conf"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!readConfigFile(fifo, &values));
    QVERIFY(timer.elapsed() < 5000);
    QCOMPARE(fields(values), fields(sampleValues()));
#endif
}

void TestConfigFile::shortAndExtraLines()
{
    ConfigValues values = sampleValues();
    QVERIFY(writeRaw(path, QByteArray()));
    QVERIFY(readConfigFile(path, &values));
    for (const QString &field : fields(values))
        QVERIFY(field.isEmpty());

    const QList<QByteArray> lines = sampleLines();
    QVERIFY(writeRaw(path, joined(lines.mid(0, 4), "\n")));
    QVERIFY(readConfigFile(path, &values));
    QCOMPARE(values.loginName, QStringLiteral("pizzaria@exemplo.com.br"));
    QCOMPARE(values.loginPassword, QStringLiteral("senha-da-loja"));
    QCOMPARE(values.dbName, QStringLiteral("trovanta"));
    QVERIFY(values.dbPort.isEmpty());
    QVERIFY(values.dbPassword.isEmpty());
    QVERIFY(values.printerLine.isEmpty());

    QList<QByteArray> longer = lines;
    longer << "linha 13" << encipher(QStringLiteral("x")).toLatin1() << "";
    QVERIFY(writeRaw(path, joined(longer, "\n")));
    QVERIFY(readConfigFile(path, &values));
    QCOMPARE(fields(values), fields(sampleValues()));
}

void TestConfigFile::printerLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QStringList>("printers");

    QTest::newRow("no printer chosen") << QByteArray(":") << QStringList({ "", "" });
    QTest::newRow("second only") << QByteArray(":Balcao") << QStringList({ "", "Balcao" });
    QTest::newRow("both") << QByteArray("Cozinha:Balcao") << QStringList({ "Cozinha", "Balcao" });
    QTest::newRow("no colon") << QByteArray("Cozinha") << QStringList({ "Cozinha" });
    QTest::newRow("name with a colon") << QByteArray("ipp:cozinha:Balcao")
                                       << QStringList({ "ipp", "cozinha", "Balcao" });
}

void TestConfigFile::printerLine()
{
    QFETCH(QByteArray, line);
    QFETCH(QStringList, printers);

    QList<QByteArray> lines = sampleLines();
    lines[11] = line;
    QVERIFY(writeRaw(path, joined(lines, "\n")));
    ConfigValues values;
    QVERIFY(readConfigFile(path, &values));
    QCOMPARE(values.printerLine, QString::fromLatin1(line));
    QCOMPARE(splitPrinterLine(values.printerLine), printers);
    if (printers.size() == 2)
        QCOMPARE(joinPrinterLine(printers.at(0), printers.at(1)), QString::fromLatin1(line));
}

void TestConfigFile::badPasswordLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("badVersion");

    FieldCipher otherKey(424242);
    QTest::newRow("other key") << otherKey.encipherText(QStringLiteral("senha-da-loja")).toLatin1() << false;
    QTest::newRow("prose") << QByteArray("minha senha em claro!") << true;
    QTest::newRow("password in the clear") << QByteArray("senha123") << true;
    QByteArray header = QByteArray::fromBase64(encipher(QStringLiteral("senha-da-loja")).toLatin1());
    header[0] = '\x02';
    QTest::newRow("damaged version byte") << header.toBase64() << true;
    QByteArray cut = encipher(QStringLiteral("senha-da-loja")).toLatin1();
    QTest::newRow("cut short") << cut.left(cut.size() - 6) << false;
    QTest::newRow("one character") << QByteArray("A") << false;
}

void TestConfigFile::badPasswordLines()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, badVersion);

    QList<QByteArray> lines = sampleLines();
    lines[1] = line;
    QVERIFY(writeRaw(path, joined(lines, "\n")));
    if (badVersion)
        QTest::ignoreMessage(QtWarningMsg, "Invalid version or not a cyphertext.");
    ConfigValues values;
    QVERIFY(readConfigFile(path, &values));

    // Only the damaged field is lost.
    ConfigValues expected = sampleValues();
    expected.loginPassword.clear();
    QCOMPARE(fields(values), fields(expected));
}

void TestConfigFile::binaryJunk()
{
    QRandomGenerator random(7);
    for (int round = 0; round < 50; ++round) {
        QByteArray junk(int(random.bounded(0, 8192)), '\0');
        for (char &c : junk)
            c = char(random.bounded(256));
        QVERIFY(writeRaw(path, junk));

        // Junk that happens to start like a cipher text warns; that is fine here.
        QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
        ConfigValues values;
        const bool read = readConfigFile(path, &values);
        qInstallMessageHandler(previous);

        QVERIFY(read);
        // Text mode drops every CR, not only the one before LF.
        const QByteArray first = junk.split('\n').first().replace('\r', QByteArray());
        QCOMPARE(values.loginName, QTextCodec::codecForLocale()->toUnicode(first));
    }
}

void TestConfigFile::overlongLines()
{
    // A 50 MB first line, written in pieces so the test itself stays small.
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QByteArray piece(1024 * 1024, 'x');
    for (int i = 0; i < 50; ++i)
        QCOMPARE(file.write(piece), qint64(piece.size()));
    QList<QByteArray> lines = sampleLines();
    lines[0].clear();
    file.write(joined(lines, "\n"));
    file.close();

#ifdef Q_OS_UNIX
    const long before = peakResidentKiB();
#endif
    ConfigValues values;
    QVERIFY(readConfigFile(path, &values));
#ifdef Q_OS_UNIX
    QVERIFY2(peakResidentKiB() - before < 20 * 1024, "reading held the long line in memory");
#endif
    ConfigValues expected = sampleValues();
    expected.loginName.clear();
    QCOMPARE(fields(values), fields(expected));
}

void TestConfigFile::hugeFileWithoutLineEnds()
{
    // 8 GiB of zero bytes, sparse: costs no disk, but reading it all would take long.
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    if (!file.resize(Q_INT64_C(8) << 30))
        QSKIP("the temporary file system has no sparse files");
    file.close();

    QElapsedTimer timer;
    timer.start();
    ConfigValues values = sampleValues();
    QVERIFY(readConfigFile(path, &values));
    QVERIFY2(timer.elapsed() < 10000, "the whole file was scanned");
    for (const QString &field : fields(values))
        QVERIFY(field.isEmpty());
}

void TestConfigFile::longestFieldTheDialogCanHold()
{
    // 32767 characters is the line edit's limit; mixed scripts keep it from compressing well.
    QRandomGenerator random(11);
    const QString alphabet = QStringLiteral("abcxyzçãéõ€漢字ABC0129!@#");
    QString longest;
    for (int i = 0; i < 32767; ++i)
        longest += alphabet.at(int(random.bounded(alphabet.size())));

    ConfigValues values = sampleValues();
    values.loginPassword = longest;
    values.dbPassword = longest;
    values.host = QString(32767, QLatin1Char('h'));
    QVERIFY(writeConfigFile(path, values));

    ConfigValues back;
    QVERIFY(readConfigFile(path, &back));
    QCOMPARE(fields(back), fields(values));
}

void TestConfigFile::roundTrip()
{
    ConfigValues values;
    values.loginName = QStringLiteral("joão@pizzaria");
    values.loginPassword = QStringLiteral("açúcar e €uros");
    values.host = QStringLiteral("db.exemplo.com.br");
    values.dbName = QStringLiteral("trovanta_prod");
    values.dbPort = QStringLiteral("3307");
    values.dbUser = QStringLiteral("usuário");
    values.dbPassword = QStringLiteral("p:a;s\"s=");
    values.userbroker = QStringLiteral("guest");
    values.passbroker = QString();   // an empty password stays empty
    values.virtualhost = QStringLiteral("/loja");
    values.portbroker = QStringLiteral("5673");
    values.printerLine = QStringLiteral(":");
    QVERIFY(writeConfigFile(path, values));

    ConfigValues back = sampleValues();
    QVERIFY(readConfigFile(path, &back));
    QCOMPARE(fields(back), fields(values));
    QCOMPARE(splitPrinterLine(back.printerLine), QStringList({ "", "" }));

    // On disk: twelve lines, the passwords only as Base64.
    const QByteArray bytes = readRaw(path);
    QCOMPARE(bytes.count('\n'), 12);
    QVERIFY(bytes.endsWith("\n:\n"));
    const QList<QByteArray> lines = bytes.split('\n');
    for (int i : { 1, 6, 8 }) {
        QCOMPARE(QByteArray::fromBase64(lines.at(i)).toBase64(), lines.at(i));
        QCOMPARE(QByteArray::fromBase64(lines.at(i)).left(2), QByteArray("\x03\x02", 2));
    }
    QVERIFY(!bytes.contains(values.dbPassword.toUtf8()));
}

void TestConfigFile::rewritesWholeFile()
{
    QList<QByteArray> old = sampleLines();
    old[0] = QByteArray(5000, 'o');
    old << "linha 13 antiga" << "linha 14 antiga" << QByteArray(100000, 'z');
    QVERIFY(writeRaw(path, joined(old, "\r\n")));

    ConfigValues values = sampleValues();
    values.loginName = QStringLiteral("nova");
    values.printerLine = QStringLiteral(":");
    QVERIFY(writeConfigFile(path, values));

    const QByteArray bytes = readRaw(path);
    QCOMPARE(bytes.count('\n'), 12);
    QVERIFY(!bytes.contains("antiga"));
    QVERIFY(!bytes.contains('\r'));
    QVERIFY(bytes.startsWith("nova\n"));
    QVERIFY(bytes.endsWith("\n:\n"));
}

void TestConfigFile::samePasswordTwice()
{
    // One line each from two separate saves; R differs unless the clock's low bits repeat.
    QSet<QByteArray> seen;
    for (int i = 0; i < 6 && seen.size() < 2; ++i) {
        QVERIFY(writeConfigFile(path, sampleValues()));
        seen.insert(readRaw(path).split('\n').at(1));
        ConfigValues back;
        QVERIFY(readConfigFile(path, &back));
        QCOMPARE(back.loginPassword, QStringLiteral("senha-da-loja"));
        QTest::qWait(3);
    }
    QCOMPARE(seen.size(), 2);
}

void TestConfigFile::unwritablePath()
{
    QVERIFY(QDir(dir->path()).mkdir(QString::fromLatin1(configFileName)));
    QVERIFY(!writeConfigFile(path, sampleValues()));
    QVERIFY(QFileInfo(path).isDir());

    QVERIFY(!writeConfigFile(dir->filePath(QStringLiteral("nao-existe/config.conf")), sampleValues()));
}

void TestConfigFile::failedWriteKeepsOldFile()
{
#ifdef Q_OS_UNIX
    QVERIFY(writeConfigFile(path, sampleValues()));
    const QByteArray old = readRaw(path);

    // A file size limit makes the write fail halfway, as a full disk would.
    ConfigValues bigger = sampleValues();
    bigger.host = QString(4000, QLatin1Char('h'));
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 1024;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = writeConfigFile(path, bigger);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(!written);
    QCOMPARE(readRaw(path), old);
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList({ "config.conf" }));
#else
    QSKIP("needs a file size limit");
#endif
}

QTEST_GUILESS_MAIN(TestConfigFile)
#include "tst_configfile.moc"
