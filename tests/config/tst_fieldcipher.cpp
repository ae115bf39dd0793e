#include "configkey.h"
#include "fieldcipher.h"

#include <QScopeGuard>
#include <QtTest>

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
    { "another key", configCipherKey, "AwLOLxvhtZ7VlD2fRru53Q==", "", FieldCipher::CipherIntegrityFailed, "" },
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

QStringList logLines;

// Collects the debug log into logLines until the returned guard goes.
auto recordingLog()
{
    logLines.clear();
    const auto previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &text) { logLines << text; });
    return qScopeGuard([previous] { qInstallMessageHandler(previous); });
}

FieldCipher makeCipher(quint64 key) { return key ? FieldCipher(key) : FieldCipher(); }

// One row per entry of a table, named after it.
template<typename Row, size_t count> void addRows(const Row (&rows)[count])
{
    QTest::addColumn<int>("row");
    for (size_t row = 0; row < count; ++row)
        QTest::newRow(rows[row].name) << int(row);
}

} // namespace

class TestFieldCipher : public QObject
{
    Q_OBJECT

private slots:
    void decipher_data() { addRows(vectors); }
    void decipher();
    void encipher_data() { addRows(layouts); }
    void encipher();
};

void TestFieldCipher::decipher()
{
    QFETCH(int, row);
    const Vector &v = vectors[row];
    FieldCipher cipher = makeCipher(v.key);
    const auto log = recordingLog();
    cipher.decipher(QByteArray(3, '\0'));   // CipherBadVersion, or CipherNoKey, for short inputs to keep
    logLines.clear();
    QCOMPARE(cipher.decipherText(QString::fromUtf8(v.base64)), QString::fromUtf8(v.plain));
    QCOMPARE(cipher.lastError(), v.error);
    QVERIFY2(*v.log ? logLines.size() == 1 && logLines.at(0).startsWith(QLatin1String(v.log)) : logLines.isEmpty(),
             qPrintable(logLines.join('|')));
}

void TestFieldCipher::encipher()
{
    QFETCH(int, row);
    const Layout &l = layouts[row];
    FieldCipher cipher = makeCipher(l.key);
    cipher.setCompressionPolicy(l.policy);
    cipher.setIntegrityMode(l.integrity);
    const auto log = recordingLog();
    const QByteArray bytes = cipher.encipher(l.plain);
    QCOMPARE(logLines, l.flags < 0 ? QStringList(QStringLiteral("No key set.")) : QStringList());
    QCOMPARE(bytes.isEmpty(), l.flags < 0);
    if (l.flags < 0)
        return;
    QCOMPARE(bytes.left(2), QByteArray("\x03") + char(l.flags));
    if (l.size >= 0)
        QCOMPARE(bytes.size(), l.size);
    QCOMPARE(cipher.decipher(bytes), l.plain);
    QCOMPARE(cipher.lastError(), FieldCipher::CipherOk);
}

QTEST_APPLESS_MAIN(TestFieldCipher)
#include "tst_fieldcipher.moc"
