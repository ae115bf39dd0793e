#include "configkey.h"
#include "fieldcipher.h"
#include "fuzz.h"

// Any line of config.conf where a password is expected: a damaged length never
// expands beyond what deflate can, a failure gives nothing, a success round-trips.
void fuzzOne(const QByteArray &line, FuzzedDataProvider &)
{
    FieldCipher cipher(configCipherKey);
    const QByteArray plain = cipher.decipherToBytes(QString::fromLatin1(line));
    FUZZ_CHECK(plain.size() <= (QByteArray::fromBase64(line).size() + 1) * 1032);
    FUZZ_CHECK(cipher.lastError() ? plain.isEmpty() : cipher.decipher(cipher.encipher(plain)) == plain);
}
