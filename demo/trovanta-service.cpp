// Plays the online service's side for the demo and the tests: announces new
// orders and any other message on the broker, using the connection settings
// of a console's config.conf.
#include "configfile.h"
#include "neworder.h"
#include "servicepublisher.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QTextStream>

namespace {

QTextStream out(stdout);
QTextStream err(stderr);

int usage()
{
    err << "uso:\n"
           "  trovanta-service novo <loja> [quantos]   grava pedidos novos da loja e anuncia cada um\n"
           "  trovanta-service publica <texto> ...      publica os textos em \"logs\"\n"
           "  trovanta-service config                   grava config.conf a partir de TRV_CFG_*\n"
           "Lê servidor, banco e broker do config.conf do diretório atual (ou de TRV_CONFIG).\n";
    return 2;
}

QString configPath()
{
    const QString overridden = QString::fromLocal8Bit(qgetenv("TRV_CONFIG"));
    return overridden.isEmpty() ? QString::fromLatin1(configFileName) : overridden;
}

BrokerAccount brokerOf(const ConfigValues &config)
{
    BrokerAccount account;
    account.host = config.host;
    account.port = config.portbroker.toInt();
    account.virtualHost = config.virtualhost;
    account.user = config.userbroker;
    account.password = config.passbroker;
    return account;
}

int writeConfig()
{
    auto env = [](const char *name) { return QString::fromLocal8Bit(qgetenv(name)); };
    ConfigValues values;
    values.loginName = env("TRV_CFG_LOGIN");
    values.loginPassword = env("TRV_CFG_PASSWORD");
    values.host = env("TRV_CFG_HOST");
    values.dbName = env("TRV_CFG_DBNAME");
    values.dbPort = env("TRV_CFG_DBPORT");
    values.dbUser = env("TRV_CFG_DBUSER");
    values.dbPassword = env("TRV_CFG_DBPASS");
    values.userbroker = env("TRV_CFG_BROKERUSER");
    values.passbroker = env("TRV_CFG_BROKERPASS");
    values.virtualhost = env("TRV_CFG_VHOST");
    values.portbroker = env("TRV_CFG_BROKERPORT");
    values.printerLine = joinPrinterLine(env("TRV_CFG_PRINTER1"), env("TRV_CFG_PRINTER2"));
    if (!writeConfigFile(configPath(), values)) {
        err << "não foi possível gravar " << configPath() << "\n";
        return 1;
    }
    out << configPath() << " gravado\n";
    return 0;
}

int announceNewOrders(const ConfigValues &config, int store, int count)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), QStringLiteral("service"));
    db.setHostName(config.host);
    db.setPort(config.dbPort.toInt());
    db.setDatabaseName(config.dbName);
    db.setUserName(config.dbUser);
    db.setPassword(config.dbPassword);
    if (!db.open()) {
        err << "banco: " << db.lastError().text() << "\n";
        return 1;
    }
    QList<QByteArray> messages;
    for (int i = 0; i < count; ++i) {
        QString error;
        const int order = insertNewOrder(db, store, &error);
        if (!order) {
            err << "pedido: " << error << "\n";
            return 1;
        }
        messages.append(QStringLiteral("pedido_novo:%1:%2:0").arg(store).arg(order).toLatin1());
    }
    const QString error = publishOnLogs(brokerOf(config), messages);
    if (!error.isEmpty()) {
        err << "broker: " << error << "\n";
        return 1;
    }
    for (const QByteArray &message : messages)
        out << "anunciado " << message << "\n";
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList args = application.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString &command = args.first();
    if (command == QLatin1String("config"))
        return writeConfig();

    ConfigValues config;
    if (!readConfigFile(configPath(), &config)) {
        err << "não foi possível ler " << configPath() << "\n";
        return 1;
    }
    if (command == QLatin1String("novo") && args.size() >= 2) {
        bool ok = false;
        const int store = args.at(1).toInt(&ok);
        const int count = args.size() >= 3 ? args.at(2).toInt() : 1;
        if (!ok || count < 1)
            return usage();
        return announceNewOrders(config, store, count);
    }
    if (command == QLatin1String("publica") && args.size() >= 2) {
        QList<QByteArray> messages;
        for (const QString &text : args.mid(1))
            messages.append(text.toUtf8());
        const QString error = publishOnLogs(brokerOf(config), messages);
        if (!error.isEmpty()) {
            err << "broker: " << error << "\n";
            return 1;
        }
        out << "publicado\n";
        return 0;
    }
    return usage();
}
