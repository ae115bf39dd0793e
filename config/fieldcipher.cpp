#include "fieldcipher.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QtDebug>

namespace {

QByteArray checksumBytes(const QByteArray &data)
{
    const quint16 sum = qChecksum(data.constData(), uint(data.size()));
    QByteArray bytes(2, '\0');
    bytes[0] = char(sum >> 8);
    bytes[1] = char(sum & 0xFF);
    return bytes;
}

quint16 readBigEndian16(const QByteArray &data)
{
    return quint16((quint8(data.at(0)) << 8) | quint8(data.at(1)));
}

// deflate never expands more than 1032 to 1; a length prefix claiming more
// than that would make qUncompress allocate whatever a damaged line says.
bool plausibleCompressedLength(const QByteArray &compressed)
{
    if (compressed.size() < 4)
        return false;
    const quint32 claimed = (quint32(quint8(compressed.at(0))) << 24)
            | (quint32(quint8(compressed.at(1))) << 16)
            | (quint32(quint8(compressed.at(2))) << 8)
            | quint32(quint8(compressed.at(3)));
    const quint64 streamSize = quint64(compressed.size() - 4);
    return quint64(claimed) <= (streamSize + 1) * 1032;
}

void seedRandom()
{
    // qsrand/qrand rather than QRandomGenerator: the random byte comes from
    // the process-wide generator that each cipher reseeds from the clock.
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
    qsrand(uint(QDateTime::currentMSecsSinceEpoch() & 0xFFFF));
QT_WARNING_POP
}

char randomByte()
{
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
    return char(qrand() & 0xFF);
QT_WARNING_POP
}

} // namespace

FieldCipher::FieldCipher()
{
    seedRandom();
}

FieldCipher::FieldCipher(quint64 key)
{
    seedRandom();
    setKey(key);
}

void FieldCipher::setKey(quint64 key)
{
    cipherKey = key;
    keyBytes.resize(8);
    for (int i = 0; i < 8; ++i)
        keyBytes[i] = char((key >> (8 * i)) & 0xFF);
}

void FieldCipher::setCompressionPolicy(CompressionPolicy policy)
{
    compression = policy;
}

FieldCipher::CompressionPolicy FieldCipher::compressionPolicy() const
{
    return compression;
}

void FieldCipher::setIntegrityMode(IntegrityMode mode)
{
    integrity = mode;
}

FieldCipher::IntegrityMode FieldCipher::integrityMode() const
{
    return integrity;
}

QByteArray FieldCipher::encipher(const QByteArray &plain)
{
    if (keyBytes.isEmpty()) {
        qWarning("No key set.");
        error = CipherNoKey;
        return QByteArray();
    }

    QByteArray payload = plain;
    char flags = 0;

    if (compression == CompressAlways) {
        payload = qCompress(payload, 9);
        flags |= FlagCompressed;
    } else if (compression == CompressWhenSmaller) {
        const QByteArray compressed = qCompress(payload, 9);
        if (compressed.size() < payload.size()) {
            payload = compressed;
            flags |= FlagCompressed;
        }
    }

    QByteArray integrityValue;
    if (integrity == IntegrityChecksum) {
        flags |= FlagChecksum;
        integrityValue = checksumBytes(payload);
    } else if (integrity == IntegritySha1) {
        flags |= FlagSha1;
        integrityValue = QCryptographicHash::hash(payload, QCryptographicHash::Sha1);
    }

    QByteArray body;
    body.reserve(1 + integrityValue.size() + payload.size());
    body.append(randomByte());
    body.append(integrityValue);
    body.append(payload);

    char prev = 0;
    for (int j = 0; j < body.size(); ++j) {
        const char out = char(body.at(j) ^ keyBytes.at(j % 8) ^ prev);
        body[j] = out;
        prev = out;
    }

    QByteArray result;
    result.reserve(2 + body.size());
    result.append(formatVersion);
    result.append(flags);
    result.append(body);
    error = CipherOk;
    return result;
}

QByteArray FieldCipher::decipher(const QByteArray &cipher)
{
    if (keyBytes.isEmpty()) {
        qWarning("No key set.");
        error = CipherNoKey;
        return QByteArray();
    }
    if (cipher.size() < 3)
        return QByteArray();
    if (cipher.at(0) != formatVersion) {
        error = CipherBadVersion;
        qWarning("Invalid version or not a cyphertext.");
        return QByteArray();
    }

    const char flags = cipher.at(1);
    QByteArray body = cipher.mid(2);

    char prev = 0;
    for (int j = 0; j < body.size(); ++j) {
        const char c = body.at(j);
        body[j] = char(c ^ prev ^ keyBytes.at(j % 8));
        prev = c;
    }
    body.remove(0, 1);

    if (flags & FlagChecksum) {
        if (body.size() < 2) {
            error = CipherIntegrityFailed;
            return QByteArray();
        }
        const quint16 stored = readBigEndian16(body);
        body.remove(0, 2);
        if (stored != qChecksum(body.constData(), uint(body.size()))) {
            error = CipherIntegrityFailed;
            return QByteArray();
        }
    } else if (flags & FlagSha1) {
        if (body.size() < 20) {
            error = CipherIntegrityFailed;
            return QByteArray();
        }
        const QByteArray stored = body.left(20);
        body.remove(0, 20);
        if (stored != QCryptographicHash::hash(body, QCryptographicHash::Sha1)) {
            error = CipherIntegrityFailed;
            return QByteArray();
        }
    }

    if (flags & FlagCompressed) {
        // A payload that does not decompress is a failed decipher, not an
        // empty secret; only a stored length of zero may expand to nothing.
        if (!plausibleCompressedLength(body)) {
            error = CipherIntegrityFailed;
            return QByteArray();
        }
        const bool emptyOriginal = body.startsWith(QByteArray(4, '\0'));
        body = qUncompress(body);
        if (body.isEmpty() && !emptyOriginal) {
            error = CipherIntegrityFailed;
            return QByteArray();
        }
    }

    error = CipherOk;
    return body;
}

QString FieldCipher::encipherText(const QString &text)
{
    return encipherToText(text.toUtf8());
}

QString FieldCipher::decipherText(const QString &base64)
{
    return decipherToText(QByteArray::fromBase64(base64.toLatin1()));
}

QByteArray FieldCipher::encipherToBytes(const QString &text)
{
    return encipher(text.toUtf8());
}

QString FieldCipher::encipherToText(const QByteArray &plain)
{
    const QByteArray cipher = encipher(plain);
    if (cipher.isEmpty())
        return QString();
    return QString::fromLatin1(cipher.toBase64());
}

QString FieldCipher::decipherToText(const QByteArray &cipher)
{
    return QString::fromUtf8(decipher(cipher));
}

QByteArray FieldCipher::decipherToBytes(const QString &base64)
{
    return decipher(QByteArray::fromBase64(base64.toLatin1()));
}

FieldCipher::CipherError FieldCipher::lastError() const
{
    return error;
}
