#include "operatorlogin.h"

#include "configfile.h"
#include "connection.h"
#include "connectionsettings.h"
#include "consolelog.h"
#include "servertls.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>

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

int storeOfOwner(const QString &login, const QString &password, bool *failed)
{
    ConectaBanco();
    QSqlQuery query(QSqlDatabase{});
    connectionSettings.userStatusText = QStringLiteral("Usuário ou senha errados!");
    query.prepare(ownerStoreStatement);
    const QVariantMap bindings = ownerStoreBindings(login, password);
    for (auto binding = bindings.cbegin(); binding != bindings.cend(); ++binding)
        query.bindValue(binding.key(), binding.value());
    const bool executed = query.exec();
    if (failed)
        *failed = !executed;
    qCDebug(lcConsole) << query.lastError().text() << query.size();
    if (executed && query.size() > 0 && query.next()) {
        connectionSettings.userStatusText = QStringLiteral("Usuário logado!");
        const int id = query.value(0).toInt();
        qCDebug(lcConsole) << " achou" << id;
        return id;
    }
    qCDebug(lcConsole) << " ferrou" << query.lastError().text();
    return 0;
}
