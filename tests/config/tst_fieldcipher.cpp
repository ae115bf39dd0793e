#include "configkey.h"
#include "fieldcipher.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

struct Vector {
    const char *name;
    quint64 key;   // 0: a cipher built without a key
    const char *base64;
    const char *plain;   // UTF-8
    FieldCipher::CipherError error;
    const char *log;   // start of the one expected debug line, or "" for none
};

const Vector vectors[] = {
    // Enciphered or forged by make_cipher_vectors.py (Python stdlib only, no Qt).
    { "empty, checksum", configCipherKey, "AwLtxM8=", "", FieldCipher::CipherOk, "" },
    { "password, checksum", configCipherKey, "AwK3siZVZghgIIvNtMClhA==", "s3nh@Forte!", FieldCipher::CipherOk, "" },
    { "accented, checksum", configCipherKey, "AwL6/ZT1NpFS6GYuV3tbCMto6uOizb591Pg1cRvYf7wfPzCbPAk=", "a\303\247\303\272car, S\303\243o Jos\303\251, ma\303\247\303\243 \342\202\2545", FieldCipher::CipherOk, "" },
    { "long, compressed + checksum", configCipherKey, "AwNOm7i4uLj4gLe1dtpwOm4mhWAibkQOI23U1f5vYGB7RrOr", "pizza calabresa pizza calabresa pizza calabresa pizza calabresa ", FieldCipher::CipherOk, "" },
    { "empty, compressed", configCipherKey, "AwOMYAEBAQEBeU5kb29vb24=", "", FieldCipher::CipherOk, "" },
    { "password, sha1", configCipherKey, "AwTsiY1Z+JlbktPL+DA5pZZQC1lnwgZ1RiitxInmlOCFpA==", "s3nh@Forte!", FieldCipher::CipherOk, "" },
    { "flags 06 test the checksum only", configCipherKey, "AwYpLkcm5UKBO7X9hKiI2xi7OTBxHm2uByvmosgLrG/M7ONI79o=", "a\303\247\303\272car, S\303\243o Jos\303\251, ma\303\247\303\243 \342\202\2545", FieldCipher::CipherOk, "" },
    { "password, no integrity", configCipherKey, "AwB0LhZ4EFAWeea71fQ=", "s3nh@Forte!", FieldCipher::CipherOk, "" },
    { "long, compressed, no integrity", configCipherKey, "AwH91N/fn+c9FjO2F10JQQ/DZwIjaUQKXna7AwcHHCE5CA==", "pizza calabresa pizza calabresa pizza calabresa pizza calabresa ", FieldCipher::CipherOk, "" },
    { "64-bit key", Q_UINT64_C(0x0123456789ABCDEF), "AwLOLxvhtZ7VlD2fRru53Q==", "s3nh@Forte!", FieldCipher::CipherOk, "" },
    { "another key", configCipherKey, "AwLOLxvhtZ7VlD2fRru53Q==", "", FieldCipher::CipherIntegrityFailed, "" },
    { "stray characters inside", configCipherKey, "AwK3siZ\001*\012VZghgIIvNtMClhA==", "s3nh@Forte!", FieldCipher::CipherOk, "" },
    { "truncated", configCipherKey, "AwL6/ZT1NpFS6GYuV3tb", "", FieldCipher::CipherIntegrityFailed, "" },
    { "checksum wrong", configCipherKey, "AwK/uy9cbwFpKYLEvcmsjQ==", "", FieldCipher::CipherIntegrityFailed, "" },
    { "sha1 digest wrong", configCipherKey, "AwS/2t4Kq8pIgcDY6yMqtoVDGEp00RVmVTu+15r1h/OWtw==", "", FieldCipher::CipherIntegrityFailed, "" },
    { "checksum, body too short", configCipherKey, "AwK/lw==", "", FieldCipher::CipherIntegrityFailed, "" },
    { "sha1, body too short", configCipherKey, "AwS/8p35nfmd+XA9UjZSNlI2v/Kd+Q==", "", FieldCipher::CipherIntegrityFailed, "" },
    { "flags 06 with a sha1 digest", configCipherKey, "Awa/2t4Kq8oIwYCYq2Nq9sUDWAo0kVUmFXv+l9q1x7PW9w==", "", FieldCipher::CipherIntegrityFailed, "" },
    { "compressed, length prefix far beyond the stream", configCipherKey, "AwO/JL39/f39qBBsMmcyZzI=", "", FieldCipher::CipherIntegrityFailed, "" },
    { "compressed, not a zlib stream", configCipherKey, "AwO/d5aWlpaG6Go3HH1dJ0siraTcqNq/3rM=", "", FieldCipher::CipherIntegrityFailed, "qUncompress" },
    { "compressed, shorter than its length prefix", configCipherKey, "AwG/lp0=", "", FieldCipher::CipherIntegrityFailed, "" },
    // Short inputs keep the error left by the call before.
    { "padding only", configCipherKey, "====", "", FieldCipher::CipherBadVersion, "" },
    { "two bytes", configCipherKey, "AwI=", "", FieldCipher::CipherBadVersion, "" },
    { "prose", configCipherKey, "!!!! não é base64 ####", "", FieldCipher::CipherBadVersion, "Invalid version or not a cyphertext." },
    { "no key", 0, "AwK3siZVZghgIIvNtMClhA==", "", FieldCipher::CipherNoKey, "No key set." },
};

const QByteArray longText = QByteArray("pizza calabresa ").repeated(4);

// Collects the debug log while in scope.
struct LogRecorder {
    LogRecorder() : previous(qInstallMessageHandler(record)) { lines().clear(); }
    ~LogRecorder() { qInstallMessageHandler(previous); }
    static QStringList &lines()
    {
        static QStringList list;
        return list;
    }
    static void record(QtMsgType, const QMessageLogContext &, const QString &text) { lines().append(text); }
    QtMessageHandler previous;
};

FieldCipher makeCipher(quint64 key)
{
    return key ? FieldCipher(key) : FieldCipher();
}

} // namespace

class TestFieldCipher : public QObject
{
    Q_OBJECT

private slots:
    void decipher_data();
    void decipher();
    void encipher_data();
    void encipher();
    void freshRandomBytePerCipher();
    void randomJunkNeverCrashes();
};

void TestFieldCipher::decipher_data()
{
    QTest::addColumn<quint64>("key");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("plain");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("log");
    for (const Vector &v : vectors)
        QTest::newRow(v.name) << v.key << QString::fromUtf8(v.base64) << QString::fromUtf8(v.plain) << int(v.error)
                              << QString::fromLatin1(v.log);
    QTest::newRow("nothing in the alphabet") << configCipherKey << QString(4096, QChar(0x20ac)) << QString()
                                             << int(FieldCipher::CipherBadVersion) << QString();
}

void TestFieldCipher::decipher()
{
    QFETCH(quint64, key);
    QFETCH(QString, input);
    QFETCH(QString, plain);
    QFETCH(int, error);
    QFETCH(QString, log);

    FieldCipher cipher = makeCipher(key);
    LogRecorder recorder;
    cipher.decipher(QByteArray(3, '\0'));   // leaves CipherBadVersion, or CipherNoKey
    LogRecorder::lines().clear();
    QCOMPARE(cipher.decipherText(input), plain);
    QCOMPARE(int(cipher.lastError()), error);
    const QStringList lines = LogRecorder::lines();
    QVERIFY2(log.isEmpty() ? lines.isEmpty() : lines.size() == 1 && lines.at(0).startsWith(log), qPrintable(lines.join('|')));
}

void TestFieldCipher::encipher_data()
{
    QTest::addColumn<quint64>("key");
    QTest::addColumn<int>("policy");
    QTest::addColumn<int>("integrity");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<int>("flags");   // -1: refused
    QTest::addColumn<int>("size");    // -1: left to zlib

    const int smaller = FieldCipher::CompressWhenSmaller;
    const int checksum = FieldCipher::IntegrityChecksum;
    const QByteArray password("s3nh@Forte!");
    const QByteArray accented = QStringLiteral("açúcar, São José, €5").toUtf8();
    QTest::newRow("empty text") << configCipherKey << smaller << checksum << QByteArray() << 0x02 << 5;
    QTest::newRow("password") << configCipherKey << smaller << checksum << password << 0x02 << 16;
    QTest::newRow("accented") << configCipherKey << smaller << checksum << accented << 0x02 << 5 + accented.size();
    QTest::newRow("long text") << configCipherKey << smaller << checksum << longText << 0x03 << -1;
    QTest::newRow("64-bit key") << Q_UINT64_C(0xFEDCBA9876543210) << smaller << checksum << accented << 0x02 << 5 + accented.size();
    QTest::newRow("always, short") << configCipherKey << int(FieldCipher::CompressAlways) << checksum << password << 0x03 << -1;
    QTest::newRow("always, empty") << configCipherKey << int(FieldCipher::CompressAlways) << checksum << QByteArray() << 0x03 << -1;
    QTest::newRow("never, long") << configCipherKey << int(FieldCipher::CompressNever) << checksum << longText << 0x02 << 69;
    QTest::newRow("sha1") << configCipherKey << smaller << int(FieldCipher::IntegritySha1) << password << 0x04 << 34;
    QTest::newRow("no integrity") << configCipherKey << smaller << int(FieldCipher::IntegrityNone) << password << 0x00 << 14;
    QTest::newRow("no key") << quint64(0) << smaller << checksum << password << -1 << 0;
}

void TestFieldCipher::encipher()
{
    QFETCH(quint64, key);
    QFETCH(int, policy);
    QFETCH(int, integrity);
    QFETCH(QByteArray, plain);
    QFETCH(int, flags);
    QFETCH(int, size);

    FieldCipher cipher = makeCipher(key);
    cipher.setCompressionPolicy(FieldCipher::CompressionPolicy(policy));
    cipher.setIntegrityMode(FieldCipher::IntegrityMode(integrity));
    LogRecorder recorder;
    const QByteArray bytes = cipher.encipher(plain);
    if (flags < 0) {
        QVERIFY(bytes.isEmpty());
        QCOMPARE(cipher.lastError(), FieldCipher::CipherNoKey);
        QCOMPARE(LogRecorder::lines(), QStringList{ QStringLiteral("No key set.") });
        return;
    }
    QCOMPARE(cipher.lastError(), FieldCipher::CipherOk);
    QCOMPARE(bytes.left(2), QByteArray("\x03") + char(flags));
    if (size >= 0)
        QCOMPARE(bytes.size(), size);
    QCOMPARE(cipher.decipher(bytes), plain);
    QCOMPARE(cipher.lastError(), FieldCipher::CipherOk);
    const QString text = QString::fromUtf8(plain);
    QCOMPARE(cipher.decipherText(cipher.encipherText(text)), text);
}

void TestFieldCipher::freshRandomBytePerCipher()
{
    // Every save builds its own cipher: the same password must not give the same line.
    QSet<QString> seen;
    for (int i = 0; i < 8; ++i) {
        QTest::qSleep(2);
        FieldCipher cipher(configCipherKey);
        const QString text = cipher.encipherText(QStringLiteral("mesma senha"));
        QCOMPARE(cipher.decipherText(text), QStringLiteral("mesma senha"));
        seen.insert(text);
    }
    QVERIFY(seen.size() > 1);
}

void TestFieldCipher::randomJunkNeverCrashes()
{
    QRandomGenerator random(20240611);
    FieldCipher cipher(configCipherKey);
    LogRecorder quiet;
    for (int i = 0; i < 3000; ++i) {
        QByteArray junk(int(random.bounded(3, 64)), '\0');
        for (char &c : junk)
            c = char(random.bounded(256));
        junk[0] = FieldCipher::formatVersion;
        junk[1] = char(random.bounded(8));
        const QByteArray out = cipher.decipher(junk);
        QVERIFY(cipher.lastError() == FieldCipher::CipherOk || out.isEmpty());
    }
}

QTEST_APPLESS_MAIN(TestFieldCipher)
#include "tst_fieldcipher.moc"
