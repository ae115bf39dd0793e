#include "configfile.h"
#include "configkey.h"
#include "configuracao.h"
#include "consoleoptions.h"
#include "fieldcipher.h"
#include "debugcapture.h"
#include "modalanswer.h"
#include "rowtable.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

// key 0: a cipher built without a key; plain in UTF-8; log: start of the one debug line expected, "" for none.
struct Vector { const char *name; quint64 key; const char *base64, *plain; FieldCipher::CipherError error; const char *log; };

const Vector vectors[] = {
    // Enciphered or forged by make_cipher_vectors.py (Python stdlib only, no Qt).
    { "empty, checksum", configCipherKey, "AwLtxM8=", "", FieldCipher::CipherOk, "" },
    { "password, checksum", configCipherKey, "AwK3siZVZghgIIvNtMClhA==", "s3nh@Forte!", FieldCipher::CipherOk, "" },
    { "long, compressed + checksum", configCipherKey, "AwNOm7i4uLj4gLe1dtpwOm4mhWAibkQOI23U1f5vYGB7RrOr", "pizza calabresa pizza calabresa pizza calabresa pizza calabresa ", FieldCipher::CipherOk, "" },
    { "password, sha1", configCipherKey, "AwTsiY1Z+JlbktPL+DA5pZZQC1lnwgZ1RiitxInmlOCFpA==", "s3nh@Forte!", FieldCipher::CipherOk, "" },
    { "flags 06 test the checksum only", configCipherKey, "AwYpLkcm5UKBO7X9hKiI2xi7OTBxHm2uByvmosgLrG/M7ONI79o=", "a\303\247\303\272car, S\303\243o Jos\303\251, ma\303\247\303\243 \342\202\2545", FieldCipher::CipherOk, "" },
    { "password, no integrity", configCipherKey, "AwB0LhZ4EFAWeea71fQ=", "s3nh@Forte!", FieldCipher::CipherOk, "" },
    { "64-bit key", Q_UINT64_C(0x0123456789ABCDEF), "AwLOLxvhtZ7VlD2fRru53Q==", "s3nh@Forte!", FieldCipher::CipherOk, "" },
    { "checksum wrong", configCipherKey, "AwK/uy9cbwFpKYLEvcmsjQ==", "", FieldCipher::CipherIntegrityFailed, "" },
    { "sha1 digest wrong", configCipherKey, "AwS/2t4Kq8pIgcDY6yMqtoVDGEp00RVmVTu+15r1h/OWtw==", "", FieldCipher::CipherIntegrityFailed, "" },
    { "checksum, body too short", configCipherKey, "AwK/lw==", "", FieldCipher::CipherIntegrityFailed, "" },
    { "sha1, body too short", configCipherKey, "AwS/8p35nfmd+XA9UjZSNlI2v/Kd+Q==", "", FieldCipher::CipherIntegrityFailed, "" },
    { "flags 06 with a sha1 digest", configCipherKey, "Awa/2t4Kq8oIwYCYq2Nq9sUDWAo0kVUmFXv+l9q1x7PW9w==", "", FieldCipher::CipherIntegrityFailed, "" },
    { "compressed, length prefix far beyond the stream", configCipherKey, "AwO/JL39/f39qBBsMmcyZzI=", "", FieldCipher::CipherIntegrityFailed, "" },
    { "compressed, not a zlib stream", configCipherKey, "AwO/d5aWlpaG6Go3HH1dJ0siraTcqNq/3rM=", "", FieldCipher::CipherIntegrityFailed, "qUncompress" },
    { "compressed, shorter than its length prefix", configCipherKey, "AwG/lp0=", "", FieldCipher::CipherIntegrityFailed, "" },
    // Short inputs keep the error the call before left.
    { "two bytes", configCipherKey, "AwI=", "", FieldCipher::CipherBadVersion, "" },
    { "prose", configCipherKey, "!!!! não é base64 ####", "", FieldCipher::CipherBadVersion, "Invalid version or not a cyphertext." },
    { "no key", 0, "AwK3siZVZghgIIvNtMClhA==", "", FieldCipher::CipherNoKey, "No key set." },
};

// flags -1: refused; size -1: left to zlib.
struct Layout { const char *name; quint64 key; FieldCipher::CompressionPolicy policy; FieldCipher::IntegrityMode integrity; QByteArray plain; int flags, size; };

const QByteArray longText = QByteArray("pizza calabresa ").repeated(4);
const Layout layouts[] = {
    { "empty text", configCipherKey, FieldCipher::CompressWhenSmaller, FieldCipher::IntegrityChecksum, "", 0x02, 5 },
    { "long text", configCipherKey, FieldCipher::CompressWhenSmaller, FieldCipher::IntegrityChecksum, longText, 0x03, -1 },
    { "always, empty", configCipherKey, FieldCipher::CompressAlways, FieldCipher::IntegrityChecksum, "", 0x03, -1 },
    { "never, long", configCipherKey, FieldCipher::CompressNever, FieldCipher::IntegrityChecksum, longText, 0x02, 69 },
    { "sha1", configCipherKey, FieldCipher::CompressWhenSmaller, FieldCipher::IntegritySha1, "s3nh@Forte!", 0x04, 34 },
    { "no integrity", configCipherKey, FieldCipher::CompressWhenSmaller, FieldCipher::IntegrityNone, "s3nh@Forte!", 0x00, 14 },
    { "no key", 0, FieldCipher::CompressWhenSmaller, FieldCipher::IntegrityChecksum, "s3nh@Forte!", -1, 0 },
};

// The fields of ConfigValues in file order, and distinct values as an operator would
// type them: nothing is trimmed or escaped.
QString ConfigValues::*const configFields[] = {
    &ConfigValues::loginName, &ConfigValues::loginPassword, &ConfigValues::host, &ConfigValues::dbName,
    &ConfigValues::dbPort, &ConfigValues::dbUser, &ConfigValues::dbPassword, &ConfigValues::userbroker,
    &ConfigValues::passbroker, &ConfigValues::virtualhost, &ConfigValues::portbroker, &ConfigValues::printerLine,
};
const QStringList sampleFields = {
    "pizzaria@exemplo", "senha çã", " 10.0.0.5 ", "trovanta", "3306", "usuário",
    "p:a;s\"s=", "broker", "coelho", "/", "5672", "Cozinha:Balcao",
};
// The dialog's eleven text fields in file order.
const char *const textFields[] = { "lineEdit_usuariotv", "lineEdit_senhatv", "lineEdit_hostname", "lineEdit_dbname",
    "lineEdit_port", "lineEdit_hostuser", "lineEdit_hostpass", "lineEdit_userbroker", "lineEdit_passbroker",
    "lineEdit_virtualhost", "lineEdit_brokerport" };

bool isPasswordLine(int index) { return index == 1 || index == 6 || index == 8; }
QString decipherLine(const QString &text) { return FieldCipher(configCipherKey).decipherText(text); }

QStringList fields(const ConfigValues &values)
{
    QStringList out;
    for (auto field : configFields)
        out << values.*field;
    return out;
}

ConfigValues valuesOf(const QStringList &list)
{
    ConfigValues values;
    for (int i = 0; i < 12; ++i)
        values.*configFields[i] = list.value(i);
    return values;
}

QStringList sampleExcept(int index, const QString &value)
{
    QStringList out = sampleFields;
    out[index] = value;
    return out;
}

QByteArray readRaw(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every line of the file, passwords deciphered; a final line end shows as a last empty entry.
QStringList decodeFile(const QString &path)
{
    QStringList out;
    const QList<QByteArray> lines = readRaw(path).split('\n');
    for (int i = 0; i < lines.size(); ++i)
        out << (isPasswordLine(i) ? decipherLine(QString::fromLatin1(lines.at(i))) : QString::fromLocal8Bit(lines.at(i)));
    return out;
}

// The file as it holds values, passwords enciphered, each line ended by end.
QByteArray fileOf(const QStringList &values, const QByteArray &end = "\n")
{
    QByteArray out;
    for (int i = 0; i < values.size(); ++i)
        out += (isPasswordLine(i) ? FieldCipher(configCipherKey).encipherText(values.at(i)).toLatin1() : values.at(i).toLocal8Bit()) + end;
    return out;
}

// What this process has read so far, in bytes.
qint64 bytesRead()
{
    const QByteArray io = readRaw(QStringLiteral("/proc/self/io"));
    return io.mid(io.indexOf("rchar:") + 6).split('\n').first().trimmed().toLongLong();
}

mode_t modeOf(const QString &path)   // 0: not there
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

} // namespace

// The field cipher, config.conf as read and written, and the settings dialog that
// writes it; each test in a working directory of its own.
class TestConfig : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        dir.reset(new QTemporaryDir);
        QVERIFY(QDir::setCurrent(dir->path()));
        path = dir->filePath(QString::fromLatin1(configFileName));
    }
    void cleanup() { dialog.reset(); QDir::setCurrent(previousDir); }

    void decipher_data() { addRows(vectors); }
    void decipher()
    {
        QFETCH(int, row);
        const Vector &v = vectors[row];
        FieldCipher cipher = v.key ? FieldCipher(v.key) : FieldCipher();
        cipher.decipher(QByteArray(3, '\0'));   // CipherBadVersion, or CipherNoKey, for short inputs to keep
        const DebugCapture log;
        QCOMPARE(cipher.decipherText(QString::fromUtf8(v.base64)), QString::fromUtf8(v.plain));
        QCOMPARE(cipher.lastError(), v.error);
        const QStringList lines = log.lines();
        QVERIFY2(*v.log ? lines.size() == 1 && lines.at(0).startsWith(QLatin1String(v.log)) : lines.isEmpty(), qPrintable(lines.join('|')));
    }

    void encipher_data() { addRows(layouts); }
    void encipher()
    {
        QFETCH(int, row);
        const Layout &l = layouts[row];
        FieldCipher cipher = l.key ? FieldCipher(l.key) : FieldCipher();
        cipher.setCompressionPolicy(l.policy);
        cipher.setIntegrityMode(l.integrity);
        const DebugCapture log;
        const QByteArray bytes = cipher.encipher(l.plain);
        QCOMPARE(log.lines(), l.flags < 0 ? QStringList(QStringLiteral("No key set.")) : QStringList());
        QCOMPARE(bytes.isEmpty(), l.flags < 0);
        if (l.flags < 0)
            return;
        QCOMPARE(bytes.left(2), QByteArray("\x03") + char(l.flags));
        if (l.size >= 0)
            QCOMPARE(bytes.size(), l.size);
        QCOMPARE(cipher.decipher(bytes), l.plain);
        QCOMPARE(cipher.lastError(), FieldCipher::CipherOk);
    }

    void read_data()
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

    void read()
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

    void oversized()
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
        QVERIFY2(after.ru_maxrss - before.ru_maxrss < 20L * 1024, "the long line was held in memory");
        QCOMPARE(fields(values), sampleExcept(0, ""));

        // 8 GiB of zero bytes without a line end, sparse: only a bounded part is read.
        QVERIFY(QFile::resize(path, 0) && QFile::resize(path, Q_INT64_C(8) << 30));
        const qint64 readBefore = bytesRead();
        QVERIFY(readConfigFile(path, &values));
        QVERIFY(bytesRead() - readBefore < Q_INT64_C(256) << 20);
        QCOMPARE(fields(values), fields(ConfigValues()));
    }

    void write()
    {
        // An older, longer file with CR LF ends: nothing of it may survive.
        writeRaw(fileOf(QStringList(sampleFields) << "linha 13 antiga" << QString(100000, 'z'), "\r\n"));
        QVERIFY(::chmod("config.conf", 0644) == 0);   // as older consoles left it
        QStringList written = sampleFields;
        written[2] = QString(32767, QChar(0xe9));   // as long as a line edit holds, two bytes each in UTF-8
        written[8].clear();   // an empty password stays empty
        written[11] = QStringLiteral(":");
        QVERIFY(writeConfigFile(path, valuesOf(written)));
        QCOMPARE(decodeFile(path), written + QStringList(QString()));
        QCOMPARE(modeOf(path), mode_t(0600));
        ConfigValues back;
        QVERIFY(readConfigFile(path, &back));
        QCOMPARE(fields(back), written);
    }

    void diskFullKeepsOldFile()
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

    void workingFilesPrivate()
    {
        // As older consoles left them; a link to what is not the console's is left alone.
        writeRaw("x\n");
        QTemporaryDir elsewhere;
        QVERIFY(QDir().mkdir("tls") && QFile::link(dir->filePath("tls"), elsewhere.filePath("tls")));
        QVERIFY(::chmod("config.conf", 0644) == 0 && ::chmod("tls", 0755) == 0);
        QVERIFY(keepWorkingFilesPrivate(elsewhere.path()) && modeOf("tls") == 0755);
        QVERIFY(keepWorkingFilesPrivate(dir->path()));
        QCOMPARE(modeOf(path), mode_t(0600));
        QCOMPARE(modeOf("tls"), mode_t(0700));
    }

    void dialogSaves_data()
    {
        // Without a printer line the operator types every field but untyped (-1: none) into the empty
        // form. With one, the sample fields and that line are in config.conf first and saved again
        // untouched; %1 and %2 stand for the two installed print queues, an empty side is "Escolha a impressora".
        QTest::addColumn<QString>("printers");
        QTest::addColumn<int>("untyped");
        QTest::addColumn<bool>("folder");     // a folder in the way of config.conf
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<QString>("saved");   // line 12 afterwards
        QTest::newRow("every field typed") << QString() << -1 << false << QString() << ":";
        for (int i = 0; i < 11; ++i)
            QTest::newRow(textFields[i]) << QString() << i << false << "Por favor, preencha todos os campos do formulário" << "";
        QTest::newRow("folder in the way") << QString() << -1 << true << "Você não tem permissão para gravar arquivos" << "";
        QTest::newRow("both printers installed") << "%1:%2" << -1 << false << QString() << "%1:%2";
        QTest::newRow("printer line without a colon") << "%2" << -1 << false << QString() << "%2:";
        QTest::newRow("printers no longer installed") << "Saiu:Outra que saiu" << -1 << false << QString() << ":";
    }

    void dialogSaves()
    {
        QFETCH(QString, printers);
        QFETCH(int, untyped);
        QFETCH(bool, folder);
        QFETCH(QString, refusal);
        QFETCH(QString, saved);
        const QString queues[] = { qEnvironmentVariable("TRV_PRINTER1"), qEnvironmentVariable("TRV_PRINTER2") };
        if (!printers.isEmpty() && (queues[0].isEmpty() || queues[1].isEmpty()))
            QSKIP("TRV_PRINTER1 and TRV_PRINTER2 name no print queues here");
        const auto installed = [&](QString text) { return text.replace("%1", queues[0]).replace("%2", queues[1]); };
        const QStringList loaded = QStringList(sampleFields.mid(0, 11)) << installed(printers);
        QVERIFY(!folder || QDir().mkdir(path));
        QVERIFY(printers.isEmpty() || writeConfigFile(path, valuesOf(loaded)));

        dialog.reset(new Configuracao);
        dialog->show();
        const auto field = [this](const char *name) { return dialog->findChild<QLineEdit *>(QLatin1String(name)); };
        for (int i = 0; i < 11 && printers.isEmpty(); ++i) {
            QLineEdit *edit = field(textFields[i]);
            QCOMPARE(edit->echoMode(), isPasswordLine(i) ? QLineEdit::Password : QLineEdit::Normal);
            // keyClicks knows only ASCII: each character goes as the text of a key event.
            for (const QChar ch : i == untyped ? QString() : sampleFields.at(i))
                QTest::sendKeyEvent(QTest::Click, edit, Qt::Key(ch.toUpper().unicode()), QString(ch), Qt::NoModifier);
        }
        if (printers.isEmpty())
            QCOMPARE(decipherLine(field("lineEdit_nomemd5")->text()), untyped == 5 ? QString() : sampleFields.at(5));
        // Ticked, the automatic approval goes to a file of its own: config.conf keeps its twelve lines.
        dialog->findChild<QCheckBox *>(QStringLiteral("checkBox_autoaprovacao"))->click();
        ModalAnswer answer;
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("pushButton")), Qt::LeftButton);

        const QStringList box = answer.seen() ? QStringList({ answer.title(), answer.text() }) : QStringList();
        QCOMPARE(box, refusal.isEmpty() ? QStringList() : QStringList({ QStringLiteral("Salvar Configuração"), refusal }));
        QCOMPARE(dialog->isVisible(), !refusal.isEmpty());
        if (refusal.isEmpty())
            QVERIFY(decodeFile(path) == (QStringList(loaded.mid(0, 11)) << installed(saved) << "") && modeOf(path) == 0600
                    && ConsoleOptions().autoApproval());
        else
            QVERIFY(!QFileInfo(path).isFile());
    }

private:
    void writeRaw(const QByteArray &bytes, QIODevice::OpenMode mode = QIODevice::WriteOnly)
    {
        QFile file(path);
        QVERIFY(file.open(mode) && file.write(bytes) == bytes.size());
    }

    QScopedPointer<QTemporaryDir> dir;
    QString path;
    const QString previousDir = QDir::currentPath();
    std::unique_ptr<Configuracao> dialog;
};

QTEST_MAIN(TestConfig)
#include "tst_config.moc"
