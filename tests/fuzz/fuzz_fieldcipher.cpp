#include "configkey.h"
#include "fieldcipher.h"
#include "fuzz.h"

// Any line of config.conf where a password is expected.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString line = QString::fromLatin1(fuzzBytes(data, size));
    FieldCipher cipher(configCipherKey);
    const QByteArray plain = cipher.decipherToBytes(line);
    // A damaged length prefix never makes it expand beyond what deflate can.
    FUZZ_CHECK(plain.size() <= (QByteArray::fromBase64(line.toLatin1()).size() + 1) * 1032);
    // A failure gives nothing; what deciphers enciphers and deciphers back.
    if (cipher.lastError() != FieldCipher::CipherOk)
        FUZZ_CHECK(plain.isEmpty());
    else
        FUZZ_CHECK(cipher.decipher(cipher.encipher(plain)) == plain && cipher.lastError() == FieldCipher::CipherOk);
    return 0;
}
