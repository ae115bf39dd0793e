#include "configfile.h"
#include "fuzz.h"

// Any bytes as config.conf: what is read is what the dialog would save and read again.
void fuzzOne(const QByteArray &bytes, FuzzedDataProvider &)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly | QIODevice::Text);
    const ConfigValues read = readConfigLines(buffer);
    // In memory where there is such a folder: the save syncs to disk.
    static const QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/fuzz-XXXXXX") : QString());
    const QString path = dir.filePath(QStringLiteral("config.conf"));
    ConfigValues again;
    FUZZ_CHECK(writeConfigFile(path, read) && readConfigFile(path, &again));
    const auto fields = [](const ConfigValues &v) { return QStringList{v.loginName, v.loginPassword, v.host, v.dbName,
        v.dbPort, v.dbUser, v.dbPassword, v.userbroker, v.passbroker, v.virtualhost, v.portbroker, v.printerLine}; };
    FUZZ_CHECK(fields(again) == fields(read));
}
