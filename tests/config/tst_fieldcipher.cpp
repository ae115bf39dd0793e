#include "configkey.h"
#include "fieldcipher.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QtTest>

namespace {

// Worked out by make_cipher_vectors.py (Python stdlib only, no Qt).
const QByteArray plainEmpty = QByteArray("", 0);
const QByteArray plainPassword = QByteArray("s3nh@Forte!", 11);
const QByteArray plainAccented = QByteArray("a\303\247\303\272car, S\303\243o Jos\303\251, ma\303\247\303\243 \342\202\2545", 33);
const QByteArray plainLong = QByteArray("pizza calabresa ").repeated(40);

struct Vector {
    const char *name;
    const char *base64;
    const QByteArray &plain;
};

const Vector readableVectors[] = {
    { "empty, checksum", "AwLtxM8=", plainEmpty },
    { "empty, checksum, R ff", "AwISOzA=", plainEmpty },
    { "password, checksum", "AwK3siZVZghgIIvNtMClhA==", plainPassword },
    { "accented, checksum", "AwL6/ZT1NpFS6GYuV3tbCMto6uOizb591Pg1cRvYf7wfPzCbPAk=", plainAccented },
    { "long, compressed + checksum", "AwNOtMjIyMpKMgUHxGjCiNyUN9KQ3Pa8kd9mZ3SRHuwFzScOOVipSA==", plainLong },
    { "accented, compressed + checksum", "AwOv4Kurq6uK8sWnkCzQII5qQ0he2zv4c4B47RSfkD/rup/79P7Rh/8rcp2CgoxTXKY=", plainAccented },
    { "password, sha1", "AwTsiY1Z+JlbktPL+DA5pZZQC1lnwgZ1RiitxInmlOCFpA==", plainPassword },
    { "empty, sha1", "AwRtnqwP4b/Un39kOoVq/5+H+nyvqKE=", plainEmpty },
    { "long, compressed + sha1", "AwWTtxcSgW+vWMr73DWO/8sVH3HNrP7+/vyRwBE68l70vgdmI++m6sCKSi1yWkKnKNrePzMzD26ffg==", plainLong },
    { "accented, flags 06 checks crc only", "AwYpLkcm5UKBO7X9hKiI2xi7OTBxHm2uByvmosgLrG/M7ONI79o=", plainAccented },
    { "empty, flags 06", "Awbe9/w=", plainEmpty },
    { "password, no integrity", "AwB0LhZ4EFAWeea71fQ=", plainPassword },
    { "long, compressed, no integrity", "AwH91N/dXSX/1PF01Z/Lg80BpcDhq4bInLRBjQn7Etrd3QxEvl8=", plainLong },
    { "empty text compressed", "AwOMYAEBAQEBeU5kb29vb24=", plainEmpty },
};

// Made with key 123456.
const char *const otherKeyVectors[] = {
    "AwJhrzFCcR93NzG8z7ve/w==",
    "AwJCju2MT+grkbIxQm5OHd59UpDbtMcErYHhbg7NaqkKKojoRXA=",
};

// CRC-16/X-25 from its definition: reflected 0x1021, init 0xFFFF, final XOR 0xFFFF.
quint16 crc16x25(const QByteArray &data)
{
    quint16 crc = 0xFFFF;
    for (char ch : data) {
        crc ^= quint8(ch);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0x8408) : quint16(crc >> 1);
    }
    return crc ^ 0xFFFF;
}

quint8 keyByte(quint64 key, int j)
{
    return quint8(key >> (8 * (j % 8)));
}

QByteArray unscramble(const QByteArray &body, quint64 key)
{
    QByteArray out(body.size(), '\0');
    quint8 prev = 0;
    for (int j = 0; j < body.size(); ++j) {
        const quint8 c = quint8(body.at(j));
        out[j] = char(c ^ prev ^ keyByte(key, j));
        prev = c;
    }
    return out;
}

QByteArray scramble(const QByteArray &plainBody, quint64 key)
{
    QByteArray out(plainBody.size(), '\0');
    quint8 prev = 0;
    for (int j = 0; j < plainBody.size(); ++j) {
        prev = quint8(plainBody.at(j)) ^ keyByte(key, j) ^ prev;
        out[j] = char(prev);
    }
    return out;
}

// Cipher bytes for a hand-made body (R, integrity, payload) under the program key.
QByteArray forge(char flags, const QByteArray &plainBody)
{
    return QByteArray(1, '\x03') + QByteArray(1, flags) + scramble(plainBody, configCipherKey);
}

QByteArray bigEndian16(quint16 value)
{
    QByteArray bytes(2, '\0');
    bytes[0] = char(value >> 8);
    bytes[1] = char(value);
    return bytes;
}

// Collects the debug log instead of printing it, while in scope.
class MessageRecorder
{
public:
    MessageRecorder() : previous(qInstallMessageHandler(record)) { messages().clear(); }
    ~MessageRecorder() { qInstallMessageHandler(previous); }

    static QStringList &messages()
    {
        static QStringList list;
        return list;
    }

private:
    static void record(QtMsgType, const QMessageLogContext &, const QString &text) { messages().append(text); }
    QtMessageHandler previous;
};

} // namespace

class TestFieldCipher : public QObject
{
    Q_OBJECT

private slots:
    void readsIndependentVectors_data();
    void readsIndependentVectors();
    void rejectsOtherKey();

    void encipheredLayout_data();
    void encipheredLayout();
    void emptyText();
    void freshRandomBytePerEncipher();
    void compressionPolicies();
    void integrityModes();

    void withoutKey();
    void shortInputKeepsLastError();
    void badVersion();
    void damagedCipherTexts_data();
    void damagedCipherTexts();
    void invalidBase64_data();
    void invalidBase64();
    void randomJunkNeverCrashes();
};

void TestFieldCipher::readsIndependentVectors_data()
{
    QTest::addColumn<QString>("base64");
    QTest::addColumn<QByteArray>("plain");
    for (const Vector &v : readableVectors)
        QTest::newRow(v.name) << QString::fromLatin1(v.base64) << v.plain;
}

void TestFieldCipher::readsIndependentVectors()
{
    QFETCH(QString, base64);
    QFETCH(QByteArray, plain);

    FieldCipher cipher(configCipherKey);
    QCOMPARE(cipher.decipherText(base64), QString::fromUtf8(plain));
    QCOMPARE(cipher.lastError(), FieldCipher::CipherOk);
    QCOMPARE(cipher.decipherToBytes(base64), plain);
    QCOMPARE(cipher.decipherToText(QByteArray::fromBase64(base64.toLatin1())), QString::fromUtf8(plain));
}

void TestFieldCipher::rejectsOtherKey()
{
    for (const char *base64 : otherKeyVectors) {
        FieldCipher cipher(configCipherKey);
        QVERIFY(cipher.decipherText(QString::fromLatin1(base64)).isEmpty());
        QCOMPARE(cipher.lastError(), FieldCipher::CipherIntegrityFailed);

        FieldCipher right(123456);
        QVERIFY(!right.decipherText(QString::fromLatin1(base64)).isEmpty());
        QCOMPARE(right.lastError(), FieldCipher::CipherOk);
    }
}

void TestFieldCipher::encipheredLayout_data()
{
    QTest::addColumn<quint64>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("compressed");

    QTest::newRow("password") << configCipherKey << QStringLiteral("s3nh@Forte!") << false;
    QTest::newRow("accented") << configCipherKey << QString::fromUtf8(plainAccented) << false;
    QTest::newRow("one char") << configCipherKey << QStringLiteral("x") << false;
    QTest::newRow("long repetitive") << configCipherKey << QString::fromLatin1(plainLong) << true;
    QTest::newRow("all key bytes used") << Q_UINT64_C(0x0123456789ABCDEF)
                                        << QStringLiteral("abcdefghijklmnopqrstuvwxyz") << false;
}

void TestFieldCipher::encipheredLayout()
{
    QFETCH(quint64, key);
    QFETCH(QString, text);
    QFETCH(bool, compressed);

    FieldCipher cipher(key);
    const QString base64 = cipher.encipherText(text);
    QCOMPARE(cipher.lastError(), FieldCipher::CipherOk);
    const QByteArray bytes = QByteArray::fromBase64(base64.toLatin1());
    QCOMPARE(QString::fromLatin1(bytes.toBase64()), base64);

    QCOMPARE(quint8(bytes.at(0)), quint8(0x03));
    QCOMPARE(quint8(bytes.at(1)), quint8(compressed ? 0x03 : 0x02));

    const QByteArray body = unscramble(bytes.mid(2), key);
    const quint16 storedCrc = quint16((quint8(body.at(1)) << 8) | quint8(body.at(2)));
    const QByteArray payload = body.mid(3);
    QCOMPARE(storedCrc, crc16x25(payload));

    const QByteArray utf8 = text.toUtf8();
    if (compressed) {
        QVERIFY(payload.size() < utf8.size());
        const quint32 declared = (quint32(quint8(payload.at(0))) << 24) | (quint32(quint8(payload.at(1))) << 16)
                | (quint32(quint8(payload.at(2))) << 8) | quint32(quint8(payload.at(3)));
        QCOMPARE(declared, quint32(utf8.size()));
        QCOMPARE(qUncompress(payload), utf8);
    } else {
        QCOMPARE(payload, utf8);
        QCOMPARE(bytes.size(), 2 + 1 + 2 + utf8.size());
    }

    FieldCipher reader(key);
    QCOMPARE(reader.decipherText(base64), text);
}

void TestFieldCipher::emptyText()
{
    FieldCipher cipher(configCipherKey);
    const QString base64 = cipher.encipherText(QString());
    QCOMPARE(base64.size(), 8);
    const QByteArray bytes = QByteArray::fromBase64(base64.toLatin1());
    QCOMPARE(bytes.size(), 5);
    QCOMPARE(bytes.left(2), QByteArray("\x03\x02", 2));
    QCOMPARE(unscramble(bytes.mid(2), configCipherKey).mid(1), QByteArray(2, '\0'));

    const QString back = cipher.decipherText(base64);
    QVERIFY(back.isEmpty());
    QCOMPARE(cipher.lastError(), FieldCipher::CipherOk);
}

void TestFieldCipher::freshRandomBytePerEncipher()
{
    FieldCipher cipher(configCipherKey);
    QSet<QByteArray> seen;
    QByteArray first;
    for (int i = 0; i < 8; ++i) {
        const QByteArray bytes = cipher.encipherToBytes(QStringLiteral("mesma senha"));
        QCOMPARE(cipher.decipherToText(bytes), QStringLiteral("mesma senha"));
        if (first.isEmpty())
            first = bytes;
        // The chain spreads a change of R over every later byte by the same XOR.
        QCOMPARE(bytes.size(), first.size());
        const quint8 delta = quint8(bytes.at(2)) ^ quint8(first.at(2));
        for (int j = 3; j < bytes.size(); ++j)
            QCOMPARE(quint8(quint8(bytes.at(j)) ^ quint8(first.at(j))), delta);
        seen.insert(bytes);
    }
    QVERIFY2(seen.size() > 1, "eight encipherings with one cipher all drew the same random byte");
}

void TestFieldCipher::compressionPolicies()
{
    FieldCipher cipher(configCipherKey);
    const QByteArray shortText("abc");

    // Not smaller once compressed: stored as is.
    QByteArray bytes = cipher.encipher(shortText);
    QCOMPARE(quint8(bytes.at(1)), quint8(0x02));
    QCOMPARE(bytes.size(), 2 + 1 + 2 + shortText.size());

    cipher.setCompressionPolicy(FieldCipher::CompressAlways);
    QCOMPARE(cipher.compressionPolicy(), FieldCipher::CompressAlways);
    bytes = cipher.encipher(shortText);
    QCOMPARE(quint8(bytes.at(1)), quint8(0x03));
    QCOMPARE(qUncompress(unscramble(bytes.mid(2), configCipherKey).mid(3)), shortText);
    QCOMPARE(cipher.decipher(bytes), shortText);

    bytes = cipher.encipher(QByteArray());
    QCOMPARE(quint8(bytes.at(1)), quint8(0x03));
    QCOMPARE(cipher.decipher(bytes), QByteArray());
    QCOMPARE(cipher.lastError(), FieldCipher::CipherOk);

    cipher.setCompressionPolicy(FieldCipher::CompressNever);
    bytes = cipher.encipher(plainLong);
    QCOMPARE(quint8(bytes.at(1)), quint8(0x02));
    QCOMPARE(bytes.size(), 2 + 1 + 2 + plainLong.size());
    QCOMPARE(cipher.decipher(bytes), plainLong);
}

void TestFieldCipher::integrityModes()
{
    FieldCipher cipher(configCipherKey);
    cipher.setCompressionPolicy(FieldCipher::CompressNever);

    cipher.setIntegrityMode(FieldCipher::IntegritySha1);
    QCOMPARE(cipher.integrityMode(), FieldCipher::IntegritySha1);
    QByteArray bytes = cipher.encipher(plainPassword);
    QCOMPARE(quint8(bytes.at(1)), quint8(0x04));
    QCOMPARE(bytes.size(), 2 + 1 + 20 + plainPassword.size());
    const QByteArray body = unscramble(bytes.mid(2), configCipherKey);
    QCOMPARE(body.mid(1, 20), QCryptographicHash::hash(plainPassword, QCryptographicHash::Sha1));
    QCOMPARE(body.mid(21), plainPassword);
    QCOMPARE(cipher.decipher(bytes), plainPassword);

    cipher.setIntegrityMode(FieldCipher::IntegrityNone);
    bytes = cipher.encipher(plainPassword);
    QCOMPARE(quint8(bytes.at(1)), quint8(0x00));
    QCOMPARE(unscramble(bytes.mid(2), configCipherKey).mid(1), plainPassword);
    QCOMPARE(cipher.decipher(bytes), plainPassword);
}

void TestFieldCipher::withoutKey()
{
    FieldCipher cipher;
    QTest::ignoreMessage(QtWarningMsg, "No key set.");
    QVERIFY(cipher.encipherText(QStringLiteral("senha")).isEmpty());
    QCOMPARE(cipher.lastError(), FieldCipher::CipherNoKey);

    // A valid cipher text is still refused, and each call warns again.
    const QString valid = QString::fromLatin1(readableVectors[2].base64);
    QTest::ignoreMessage(QtWarningMsg, "No key set.");
    QVERIFY(cipher.decipherText(valid).isEmpty());
    QTest::ignoreMessage(QtWarningMsg, "No key set.");
    QVERIFY(cipher.decipher(QByteArray()).isEmpty());
    QCOMPARE(cipher.lastError(), FieldCipher::CipherNoKey);

    cipher.setKey(configCipherKey);
    QCOMPARE(cipher.decipherText(valid), QString::fromLatin1(plainPassword));
    QCOMPARE(cipher.lastError(), FieldCipher::CipherOk);
}

void TestFieldCipher::shortInputKeepsLastError()
{
    FieldCipher cipher(configCipherKey);
    QTest::ignoreMessage(QtWarningMsg, "Invalid version or not a cyphertext.");
    QVERIFY(cipher.decipher(QByteArray("\x02\x02\x00\x00\x00", 5)).isEmpty());
    QCOMPARE(cipher.lastError(), FieldCipher::CipherBadVersion);

    QVERIFY(cipher.decipherText(QString()).isEmpty());
    QVERIFY(cipher.decipherText(QStringLiteral("AwI=")).isEmpty());   // two bytes
    QCOMPARE(cipher.lastError(), FieldCipher::CipherBadVersion);

    QVERIFY(!cipher.decipherText(QString::fromLatin1(readableVectors[2].base64)).isEmpty());
    QVERIFY(cipher.decipher(QByteArray("\x03", 1)).isEmpty());
    QCOMPARE(cipher.lastError(), FieldCipher::CipherOk);
}

void TestFieldCipher::badVersion()
{
    FieldCipher cipher(configCipherKey);
    QByteArray bytes = QByteArray::fromBase64(readableVectors[2].base64);
    for (char version : { '\x00', '\x02', '\x04', '\xff' }) {
        bytes[0] = version;
        QTest::ignoreMessage(QtWarningMsg, "Invalid version or not a cyphertext.");
        QVERIFY(cipher.decipher(bytes).isEmpty());
        QCOMPARE(cipher.lastError(), FieldCipher::CipherBadVersion);
    }
}

void TestFieldCipher::damagedCipherTexts_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("reachesUncompress");

    QByteArray flipped = QByteArray::fromBase64(readableVectors[2].base64);
    flipped[flipped.size() - 1] = char(flipped.at(flipped.size() - 1) ^ 0x01);
    QTest::newRow("checksum: last byte changed") << flipped << false;

    QByteArray sha = QByteArray::fromBase64(readableVectors[6].base64);
    sha[10] = char(sha.at(10) ^ 0x40);
    QTest::newRow("sha1: digest changed") << sha << false;

    QTest::newRow("checksum: body too short") << forge(0x02, QByteArray("R\x01", 2)) << false;
    QTest::newRow("sha1: body too short") << forge(0x04, QByteArray("R").append(QByteArray(19, 'd'))) << false;
    QTest::newRow("flags 06: sha1 digest, no checksum")
            << forge(0x06, QByteArray("R") + QCryptographicHash::hash(plainPassword, QCryptographicHash::Sha1) + plainPassword) << false;

    // Payloads that pass their checksum but do not decompress.
    const QByteArray bomb = QByteArray("\x40\x00\x00\x00", 4) + QByteArray(8, '\x55');
    QTest::newRow("compressed: length prefix far beyond the stream")
            << forge(0x03, QByteArray("R") + bigEndian16(crc16x25(bomb)) + bomb) << false;
    const QByteArray garbage = QByteArray("\x00\x00\x00\x10", 4) + QByteArray("not a zlib stream");
    QTest::newRow("compressed: not a zlib stream")
            << forge(0x03, QByteArray("R") + bigEndian16(crc16x25(garbage)) + garbage) << true;
    QTest::newRow("compressed: shorter than its length prefix")
            << forge(0x01, QByteArray("R\x00\x00", 3)) << false;
}

void TestFieldCipher::damagedCipherTexts()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, reachesUncompress);

    FieldCipher cipher(configCipherKey);
    QByteArray out;
    QStringList log;
    {
        MessageRecorder recorder;
        out = cipher.decipher(bytes);
        log = MessageRecorder::messages();
    }
    QVERIFY(out.isEmpty());
    QCOMPARE(cipher.lastError(), FieldCipher::CipherIntegrityFailed);
    // A lying length prefix must be refused before qUncompress sizes a buffer by it.
    QCOMPARE(!log.filter(QStringLiteral("qUncompress")).isEmpty(), reachesUncompress);
}

void TestFieldCipher::invalidBase64_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("expected");

    QTest::newRow("prose") << QStringLiteral("!!!! não é base64 ####")
                           << int(FieldCipher::CipherBadVersion) << QString();
    QTest::newRow("padding only") << QStringLiteral("====") << int(FieldCipher::CipherOk) << QString();
    QTest::newRow("nothing in the alphabet") << QString(4096, QChar(0x20ac))
                                             << int(FieldCipher::CipherOk) << QString();
    // The decoder skips characters outside the alphabet; the checksum still guards the result.
    QTest::newRow("stray characters inside")
            << QString::fromLatin1(readableVectors[2].base64).insert(7, QStringLiteral("\x01*\n"))
            << int(FieldCipher::CipherOk) << QString::fromLatin1(plainPassword);
    QTest::newRow("truncated") << QString::fromLatin1(readableVectors[3].base64).left(20)
                               << int(FieldCipher::CipherIntegrityFailed) << QString();
}

void TestFieldCipher::invalidBase64()
{
    QFETCH(QString, input);
    QFETCH(int, error);
    QFETCH(QString, expected);

    FieldCipher cipher(configCipherKey);
    if (error == FieldCipher::CipherBadVersion)
        QTest::ignoreMessage(QtWarningMsg, "Invalid version or not a cyphertext.");
    QCOMPARE(cipher.decipherText(input), expected);
    QCOMPARE(int(cipher.lastError()), error);
}

void TestFieldCipher::randomJunkNeverCrashes()
{
    QRandomGenerator random(20240611);
    FieldCipher cipher(configCipherKey);
    int accepted = 0;
    MessageRecorder quiet;
    for (int i = 0; i < 3000; ++i) {
        QByteArray junk(int(random.bounded(0, 64)), '\0');
        for (char &c : junk)
            c = char(random.bounded(256));
        if (i % 2 && junk.size() >= 2) {
            junk[0] = '\x03';
            junk[1] = char(random.bounded(8));
        }
        const FieldCipher::CipherError before = cipher.lastError();
        const QByteArray out = cipher.decipher(junk);
        if (junk.size() < 3) {
            QVERIFY(out.isEmpty());
            QCOMPARE(cipher.lastError(), before);
        } else if (junk.at(0) != '\x03') {
            QCOMPARE(cipher.lastError(), FieldCipher::CipherBadVersion);
        } else if (cipher.lastError() == FieldCipher::CipherOk) {
            ++accepted;
        } else {
            QVERIFY(out.isEmpty());
        }
    }
    // Flags 0x00 carry no integrity value, so some junk deciphers to something.
    QVERIFY(accepted > 0);
}

QTEST_APPLESS_MAIN(TestFieldCipher)
#include "tst_fieldcipher.moc"
