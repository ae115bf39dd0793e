#pragma once

#include <QByteArray>
#include <QString>

// Keyed scrambler for short texts such as the passwords of config.conf.
// Cipher bytes: version 0x03, flags, then the key-chained XOR of a random byte,
// the integrity value (if any) and the payload (compressed or not).
// Text forms are standard Base64; plain text enters and leaves as UTF-8.
class FieldCipher
{
public:
    enum CompressionPolicy {
        CompressWhenSmaller = 0,
        CompressAlways = 1,
        CompressNever = 2
    };

    enum IntegrityMode {
        IntegrityNone = 0,
        IntegrityChecksum = 1,
        IntegritySha1 = 2
    };

    enum CipherError {
        CipherOk = 0,
        CipherNoKey = 1,
        CipherBadVersion = 2,
        CipherIntegrityFailed = 3
    };

    enum CipherFlag {
        FlagCompressed = 0x01,
        FlagChecksum = 0x02,
        FlagSha1 = 0x04
    };

    static constexpr char formatVersion = 0x03;

    // Both constructors reseed the process-wide qrand() generator.
    FieldCipher();
    explicit FieldCipher(quint64 key);

    void setKey(quint64 key);

    // The program keeps the defaults (CompressWhenSmaller, IntegrityChecksum);
    // deciphering honours whatever the header says regardless of these.
    void setCompressionPolicy(CompressionPolicy policy);
    CompressionPolicy compressionPolicy() const;
    void setIntegrityMode(IntegrityMode mode);
    IntegrityMode integrityMode() const;

    QByteArray encipher(const QByteArray &plain);
    QByteArray decipher(const QByteArray &cipher);

    QString encipherText(const QString &text);
    QString decipherText(const QString &base64);
    QByteArray encipherToBytes(const QString &text);
    QString encipherToText(const QByteArray &plain);
    QString decipherToText(const QByteArray &cipher);
    QByteArray decipherToBytes(const QString &base64);

    // Outcome of the last encipher or decipher; a decipher of fewer than
    // three bytes leaves it unchanged.
    CipherError lastError() const;

private:
    quint64 cipherKey = 0;
    QByteArray keyBytes;   // empty until a key is set, then 8 bytes, least significant first
    CompressionPolicy compression = CompressWhenSmaller;
    IntegrityMode integrity = IntegrityChecksum;
    CipherError error = CipherOk;
};
