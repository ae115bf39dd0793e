#include "operatorlogin.h"

#include "configfile.h"
#include "connection.h"
#include "connectionsettings.h"
#include "consolelog.h"
#include "servertls.h"

#include <QCryptographicHash>
#include <QDebug>

QString passwordDigest(const QString &password)
{
    return QString::fromLatin1(QCryptographicHash::hash(password.toUtf8(), QCryptographicHash::Md5).toHex());
}

void useConfig(const ConfigValues &values)
{
    connectionSettings.host = values.host;
    connectionSettings.dbName = values.dbName;
    connectionSettings.dbPort = values.dbPort;
    connectionSettings.dbUser = values.dbUser;
    connectionSettings.dbPassword = values.dbPassword;
    connectionSettings.caFile = installedCaFile();
    if (!values.printerLine.isEmpty())
        connectionSettings.printerList = splitPrinterLine(values.printerLine);
}

const QString ownerStoreStatement = QStringLiteral("select pizzaria.id_pizzaria from usuarios inner join pizzaria on "
                                                   "usuarios.id_user=pizzaria.owner_pizzaria where login=:login and "
                                                   "senha=:senha and nivel=2 ");

QVariantMap ownerStoreBindings(const QString &login, const QString &password)
{
    return {{QStringLiteral(":login"), login}, {QStringLiteral(":senha"), passwordDigest(password)}};
}

int storeOfRows(const SqlResult &rows)
{
    qCDebug(lcConsole) << rows.error << rows.values.size();
    if (rows.values.isEmpty()) {
        qCDebug(lcConsole) << " ferrou" << rows.error;
        return 0;
    }
    const int id = rows.values.first().value(0).toInt();
    qCDebug(lcConsole) << " achou" << id;
    return id;
}

int storeOfOwner(const QString &login, const QString &password, bool *failed)
{
    const SqlResult rows = runHere(QLatin1String(QSqlDatabase::defaultConnection), ownerStoreStatement,
                                   ownerStoreBindings(login, password));
    if (failed)
        *failed = !rows.ok();
    return storeOfRows(rows);
}
