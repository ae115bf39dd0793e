#include "configfile.h"
#include "fuzz.h"

#include <QBuffer>
#include <QTemporaryDir>

namespace {
QStringList fields(const ConfigValues &v)
{
    return {v.loginName, v.loginPassword, v.host, v.dbName, v.dbPort, v.dbUser, v.dbPassword,
            v.userbroker, v.passbroker, v.virtualhost, v.portbroker, v.printerLine};
}
}

// Any bytes as config.conf: what is read is what the dialog would save and read again.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes = fuzzBytes(data, size);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly | QIODevice::Text);
    const ConfigValues values = readConfigLines(buffer);
    // In memory where there is such a folder: the save syncs to disk.
    static const QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/fuzz-XXXXXX") : QString());
    const QString path = dir.filePath(QStringLiteral("config.conf"));
    ConfigValues again;
    FUZZ_CHECK(writeConfigFile(path, values) && readConfigFile(path, &again));
    FUZZ_CHECK(fields(again) == fields(values));
    return 0;
}
